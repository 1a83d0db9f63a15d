// Speed of the photo editor on a 24 MP (6000 x 4000) photo: brightness, the 90 degree turns
// and mirrors, opening the dialog until its view is painted, and one drag step's repaint.
// Also times ImageMagick's "convert -modulate 110" on the same pixels for comparison.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <random>

#include "editor/uTrimmingForm.h"

using namespace Kestrin;

namespace {

constexpr int kW = 6000, kH = 4000;

// Photo-like content: smooth colour gradients with sensor-like noise, so that neighbouring
// pixels are rarely identical.
const TBitmap32& Photo() {
  static TBitmap32 photo = [] {
    TBitmap32 bmp(kW, kH);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> noise(-8, 8);
    for (int y = 0; y < kH; ++y) {
      TColor32* row = bmp.ScanLine(y);
      for (int x = 0; x < kW; ++x) {
        const int r = std::clamp(40 + x * 180 / kW + noise(rng), 0, 255);
        const int g = std::clamp(60 + y * 150 / kH + noise(rng), 0, 255);
        const int b = std::clamp(200 - (x + y) * 150 / (kW + kH) + noise(rng), 0, 255);
        row[x] = 0xFF000000u | (r << 16) | (g << 8) | b;
      }
    }
    bmp.SetResampler(TResamplerKind::Draft);
    return bmp;
  }();
  return photo;
}

void BM_AdjustLightness(benchmark::State& state) {
  TBitmap32 bmp(Photo());
  bmp.Image().bits();  // own pixels, so the copy is not timed
  int step = 1;
  for (auto _ : state) {
    AdjustLightness(bmp, step);
    step = -step;  // alternate so that the picture neither saturates nor goes black
  }
}
BENCHMARK(BM_AdjustLightness)->Unit(benchmark::kMillisecond)->UseRealTime();

// The worst case: every pixel an independent random colour, nothing repeats nearby.
void BM_AdjustLightnessRandomColours(benchmark::State& state) {
  TBitmap32 bmp(kW, kH);
  std::mt19937 rng(11);
  for (int y = 0; y < kH; ++y) {
    TColor32* row = bmp.ScanLine(y);
    for (int x = 0; x < kW; ++x) row[x] = 0xFF000000u | (rng() & 0xFFFFFF);
  }
  for (auto _ : state) AdjustLightness(bmp, 1);  // the colours stay varied under repeats
}
BENCHMARK(BM_AdjustLightnessRandomColours)->Unit(benchmark::kMillisecond)->UseRealTime();

template <void (TBitmap32::*Op)()>
void BM_Turn(benchmark::State& state) {
  TBitmap32 bmp(Photo());
  bmp.Image().bits();
  for (auto _ : state) (bmp.*Op)();
}
BENCHMARK(BM_Turn<&TBitmap32::Rotate90>)
    ->Name("BM_Rotate90")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Turn<&TBitmap32::Rotate270>)
    ->Name("BM_Rotate270")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Turn<&TBitmap32::FlipHorz>)
    ->Name("BM_FlipHorz")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Turn<&TBitmap32::FlipVert>)
    ->Name("BM_FlipVert")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// What the main window does to open the editor, until the view has painted the photo.
void BM_OpenEditor(benchmark::State& state) {
  const TBitmap32& photo = Photo();
  for (auto _ : state) {
    TTrimmingForm form(nullptr);
    form.ImgView->Bitmap().Assign(photo);
    form.ImgView->BitmapChanged();
    form.SetSourceFile(QString());
    form.SetCropFrame({1000, 0, 5000, 4000});
    form.SetMinCropSize(147, 177);
    form.show();
    form.ImgView->RenderBuffer();
    benchmark::DoNotOptimize(form.ImgView->Buffer().Pixel(10, 10));
    form.hide();
  }
}
BENCHMARK(BM_OpenEditor)->Unit(benchmark::kMillisecond)->UseRealTime();

// One mouse move of a frame drag, then the optimised repaint of what changed.
void BM_DragStep(benchmark::State& state) {
  TTrimmingForm form(nullptr);
  form.ImgView->Bitmap().Assign(Photo());
  form.ImgView->BitmapChanged();
  form.SetCropFrame({1000, 500, 3000, 3000});
  form.SetMinCropSize(147, 177);
  form.show();
  form.ImgView->RenderBuffer();
  TRubberbandLayer* frame = form.FCropFrame;
  const TFloatRect a = frame->GetAdjustedLocation();
  const int x0 = static_cast<int>(a.Left + a.Right) / 2,
            y0 = static_cast<int>(a.Top + a.Bottom) / 2;
  frame->MouseDown(Qt::LeftButton, Qt::NoModifier, x0, y0);
  int dx = 0;
  for (auto _ : state) {
    dx = dx == 20 ? -20 : dx + 1;
    frame->MouseMove(Qt::NoModifier, x0 + dx, y0);
    form.ImgView->RenderBuffer();
  }
  frame->MouseUp(Qt::LeftButton, Qt::NoModifier, x0 + dx, y0);
}
BENCHMARK(BM_DragStep)->Unit(benchmark::kMicrosecond)->UseRealTime();

// ImageMagick on the same pixels, from and to uncompressed PPM so that coding costs little;
// a plain copy through convert is timed too, to show what reading and writing take.
void ReportImageMagick() {
  QTemporaryDir dir;
  const QString in = dir.filePath("photo.ppm"), out = dir.filePath("out.ppm");
  if (!Photo().Image().convertToFormat(QImage::Format_RGB888).save(in, "PPM")) {
    std::printf("ImageMagick comparison skipped: could not write %s\n", qPrintable(in));
    return;
  }
  const auto run = [&](const QStringList& args) -> qint64 {
    qint64 best = -1;
    for (int i = 0; i < 3; ++i) {
      QElapsedTimer t;
      t.start();
      const int rc = QProcess::execute(QStringLiteral("convert"), args);
      const qint64 ms = t.elapsed();
      if (rc != 0) return -1;
      if (best < 0 || ms < best) best = ms;
    }
    return best;
  };
  const qint64 modulate = run({in, "-modulate", "110", out});
  const qint64 copy = run({in, out});
  if (modulate < 0 || copy < 0) {
    std::printf("ImageMagick comparison skipped: convert failed or is missing\n");
    return;
  }
  std::printf(
      "ImageMagick convert -modulate 110, %d x %d PPM: %lld ms "
      "(plain read+write through convert: %lld ms, so about %lld ms for the change)\n",
      kW, kH, static_cast<long long>(modulate), static_cast<long long>(copy),
      static_cast<long long>(modulate - copy));
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  ReportImageMagick();
  benchmark::Shutdown();
  return 0;
}
