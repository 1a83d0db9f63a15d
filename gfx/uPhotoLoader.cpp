#include "uPhotoLoader.h"

#include <QFileInfo>
#include <QImageReader>
#include <cmath>

#include "uErrors.h"

namespace Kestrin {

namespace {

QImage ToOpaqueArgb(QImage image) {
  // Photos are opaque: alpha forced to 0xFF, layout 0xAARRGGBB.
  if (image.format() != QImage::Format_RGB32) image = image.convertToFormat(QImage::Format_RGB32);
  if (!image.isNull()) image.reinterpretAsFormat(QImage::Format_ARGB32);
  return image;
}

}  // namespace

void LoadPhotoFromFile(TBitmap32& bitmap, const QString& fileName) {
  const QString shown = QFileInfo(fileName).fileName();
  QFileInfo info(fileName);
  if (!info.exists())
    throw EKestrinError(QStringLiteral("파일을 찾을 수 없습니다: %1").arg(fileName));
  QImageReader reader(fileName);  // the decoder follows the suffix (".jpg" -> JPEG)
  reader.setAutoTransform(false);
  const QSize size = reader.size();
  if (size.isValid() && static_cast<qint64>(size.width()) * size.height() > kMaxPhotoPixels) {
    throw EKestrinError(
        QStringLiteral("사진이 너무 큽니다 (%1 x %2). %3만 화소 이하의 사진을 선택해 주세요")
            .arg(size.width())
            .arg(size.height())
            .arg(kMaxPhotoPixels / 10000));
  }
  // Room for the largest accepted photo decoded as 32-bit pixels.
  reader.setAllocationLimit(static_cast<int>(kMaxPhotoPixels * 4 / (1024 * 1024)) + 1);
  QImage image;
  if (!reader.read(&image)) {
    if (!info.isReadable())
      throw EKestrinError(QStringLiteral("파일을 읽을 수 없습니다: %1").arg(shown));
    throw EKestrinError(
        QStringLiteral("이미지를 읽을 수 없습니다 (%1): %2").arg(shown, reader.errorString()));
  }
  image = ToOpaqueArgb(std::move(image));
  if (image.isNull())
    throw EKestrinError(QStringLiteral("메모리가 부족하여 이미지를 처리할 수 없습니다"));
  bitmap.SetImage(std::move(image));
}

QImage LoadThumbnail(const QString& fileName, int maxW, int maxH) {
  QImageReader reader(fileName);
  reader.setAutoTransform(false);
  const QSize size = reader.size();
  if (!size.isValid() || size.isEmpty()) return QImage();
  if (static_cast<qint64>(size.width()) * size.height() > kMaxPhotoPixels) return QImage();
  const double s =
      std::min(static_cast<double>(maxW) / size.width(), static_cast<double>(maxH) / size.height());
  const int w = std::max(1, static_cast<int>(std::lround(size.width() * s)));
  const int h = std::max(1, static_cast<int>(std::lround(size.height() * s)));
  // The JPEG decoder reduces by its DCT scaling when asked for a smaller size, which is
  // far cheaper than a full decode followed by a reduction.
  reader.setScaledSize(QSize(w, h));
  reader.setAllocationLimit(static_cast<int>(kMaxPhotoPixels * 4 / (1024 * 1024)) + 1);
  QImage image;
  if (!reader.read(&image)) return QImage();
  if (image.size() != QSize(w, h))
    image = image.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  return ToOpaqueArgb(std::move(image));
}

}  // namespace Kestrin
