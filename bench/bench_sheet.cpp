// Cost of the print sheet: building the full-resolution order image from a 24 MP photo,
// repainting an unchanged sheet into the main view, and the naive per-cell rebuild.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <fstream>

#include "gfx/GR32_Image.h"
#include "sheet/uPhotoTypes.h"
#include "sheet/uTileLayer.h"

using namespace Kestrin;

namespace {

TBitmap32 MakePhoto(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < w; ++x) line[x] = qRgb(x * 255 / w, y * 255 / h, (x ^ y) & 255);
  }
  TBitmap32 photo;
  photo.SetImage(image);
  photo.SetResampler(TResamplerKind::Draft);
  return photo;
}

long RssKb() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == "VmRSS:") {
      status >> value;
      return value;
    }
    status.ignore(1 << 10, '\n');
  }
  return 0;
}

struct TSheet {
  TImgView32 View;
  TTileLayer* Layer;
  TSheet() {
    TPhotoTypes types;
    InitPhotoTypes(types);
    const PhotoType& t = types[0];
    View.resize(700, 450);
    View.SetScaleMode(TImgView32::smOptimal);
    View.Bitmap().SetSize(t.SheetWidth, t.SheetHeight);
    View.Bitmap().Clear(clWhite32);
    Layer = new TTileLayer(View.Layers());
    Layer->SetScaled(true);
    Layer->SetMargins(t.Margins);
    Layer->SetGrid(t.Cols, t.Rows);
    Layer->SetGaps(t.Gap, t.Gap);
    Layer->SetLocation({0, 0, 1500, 2100});
  }
};

const TBitmap32& Photo() {
  static const TBitmap32 photo = MakePhoto(6000, 4000);
  return photo;
}

// The order image: the sheet rebuilt from the photo (nothing cached), rendered at scale 1.
void BM_BuildOrderImage(benchmark::State& state) {
  TSheet sheet;
  const long before = RssKb();
  sheet.Layer->SetPhoto(Photo());
  TBitmap32 order(1500, 2100);
  for (auto _ : state) {
    sheet.Layer->SetCropRect(sheet.Layer->FCropRect());  // drops the cached sheet
    sheet.View.PaintTo(order, order.BoundsRect());
    benchmark::DoNotOptimize(order.Pixel(200, 200));
  }
  state.counters["rss_growth_MB"] = (RssKb() - before) / 1024.0;
}
BENCHMARK(BM_BuildOrderImage)->Unit(benchmark::kMillisecond)->UseRealTime();

// What a rebuild on every paint would cost: one reduction of the crop per cell.
void BM_NaiveSheetOneReductionPerCell(benchmark::State& state) {
  TSheet sheet;
  sheet.Layer->SetPhoto(Photo());
  const TRect crop = sheet.Layer->FCropRect();
  for (auto _ : state) {
    TBitmap32 temp(1500, 2100);
    temp.Clear(clWhite32);
    for (int r = 0; r < 5; ++r)
      for (int c = 0; c < 4; ++c) {
        const int left = 103 + c * (295 + 38), top = 89 + r * (354 + 38);
        temp.Draw({left, top, left + 295, top + 354}, crop, sheet.Layer->FPhoto());
        temp.FrameRectS({left, top, left + 295, top + 354}, kCellColor);
      }
    benchmark::DoNotOptimize(temp.Pixel(200, 200));
  }
}
BENCHMARK(BM_NaiveSheetOneReductionPerCell)->Unit(benchmark::kMillisecond)->UseRealTime();

// Repainting the main view when nothing changed (e.g. another window uncovered it).
void BM_RepaintUnchangedSheet(benchmark::State& state) {
  TSheet sheet;
  sheet.Layer->SetPhoto(Photo());
  sheet.View.RenderBuffer();
  for (auto _ : state) {
    sheet.View.Invalidate();
    sheet.View.RenderBuffer();
    benchmark::DoNotOptimize(sheet.View.Buffer().Pixel(350, 225));
  }
}
BENCHMARK(BM_RepaintUnchangedSheet)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The first paint after a new photo: sheet build plus its reduction to the screen.
void BM_FirstPaintAfterNewPhoto(benchmark::State& state) {
  TSheet sheet;
  sheet.Layer->SetPhoto(Photo());
  for (auto _ : state) {
    sheet.Layer->SetCropRect(sheet.Layer->FCropRect());
    sheet.View.RenderBuffer();
    benchmark::DoNotOptimize(sheet.View.Buffer().Pixel(350, 225));
  }
}
BENCHMARK(BM_FirstPaintAfterNewPhoto)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
