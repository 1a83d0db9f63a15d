// Renders the print sheet of every photo type as a PNG, so the sheets can be looked at:
//   render_sheets OUTDIR [PHOTO.jpg]
// Without a photo a generated portrait-like test picture is used.
#include <QApplication>
#include <QDir>
#include <QPainter>
#include <cstdio>

#include "gfx/GR32_Image.h"
#include "gfx/uPhotoLoader.h"
#include "sheet/uPhotoTypes.h"
#include "sheet/uTileLayer.h"
#include "uErrors.h"

using namespace Kestrin;

namespace {

QImage GeneratedPhoto() {
  QImage image(2400, 3000, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, 3000);
  sky.setColorAt(0, QColor(0x9c, 0xc3, 0xe6));
  sky.setColorAt(1, QColor(0xe8, 0xf0, 0xf8));
  p.fillRect(image.rect(), sky);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x2f, 0x3e, 0x5c));  // shoulders
  p.drawEllipse(QRectF(300, 2100, 1800, 1600));
  p.setBrush(QColor(0xf1, 0xc2, 0x9c));  // face
  p.drawEllipse(QRectF(750, 700, 900, 1150));
  p.setBrush(QColor(0x3a, 0x2a, 0x20));  // hair
  p.drawChord(QRectF(720, 620, 960, 700), 0, 180 * 16);
  p.setBrush(QColor(0x30, 0x30, 0x30));  // eyes
  p.drawEllipse(QRectF(960, 1160, 90, 60));
  p.drawEllipse(QRectF(1350, 1160, 90, 60));
  p.setPen(QPen(QColor(0xa0, 0x50, 0x50), 18));
  p.drawArc(QRectF(1000, 1350, 400, 250), 200 * 16, 140 * 16);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: render_sheets OUTDIR [PHOTO.jpg]\n");
    return 2;
  }
  const QString outDir = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(outDir);
  TBitmap32 photo;
  try {
    if (argc > 2)
      LoadPhotoFromFile(photo, QString::fromLocal8Bit(argv[2]));
    else
      photo.SetImage(GeneratedPhoto());
  } catch (const EKestrinError& e) {
    std::fprintf(stderr, "%s\n", e.Text().toLocal8Bit().constData());
    return 1;
  }
  photo.SetResampler(TResamplerKind::Draft);

  TPhotoTypes types;
  InitPhotoTypes(types);
  for (int i = 0; i < kPhotoTypeCount; ++i) {
    const PhotoType& t = types[i];
    TImgView32 view;
    view.Bitmap().SetSize(t.SheetWidth, t.SheetHeight);
    view.Bitmap().Clear(clWhite32);
    auto* layer = new TTileLayer(view.Layers());
    layer->SetScaled(true);
    layer->SetMargins(t.Margins);
    layer->SetGrid(t.Cols, t.Rows);
    layer->SetGaps(t.Gap, t.Gap);
    layer->SetLocation({0, 0, static_cast<float>(t.SheetWidth), static_cast<float>(t.SheetHeight)});
    if (layer->FPhoto().Empty() && photo.Width() >= layer->TileWidth() &&
        photo.Height() >= layer->TileHeight())
      layer->SetPhoto(photo);
    TBitmap32 sheet(t.SheetWidth, t.SheetHeight);
    view.PaintTo(sheet, sheet.BoundsRect());
    const QString file = QStringLiteral("%1/sheet-%2.png").arg(outDir).arg(i);
    if (!sheet.Image().save(file)) {
      std::fprintf(stderr, "cannot write %s\n", file.toLocal8Bit().constData());
      return 1;
    }
    std::printf("%s  %s  tile %d x %d\n", file.toLocal8Bit().constData(),
                t.Title.toUtf8().constData(), layer->TileWidth(), layer->TileHeight());
  }
  return 0;
}
