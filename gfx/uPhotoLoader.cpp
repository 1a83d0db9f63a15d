#include "uPhotoLoader.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <cmath>

#include "uErrors.h"
#include "uJpegDecoder.h"

namespace Kestrin {

namespace {

QImage ToOpaqueArgb(QImage image) {
  // Photos are opaque: alpha forced to 0xFF, layout 0xAARRGGBB.
  if (image.format() != QImage::Format_RGB32) image = image.convertToFormat(QImage::Format_RGB32);
  if (!image.isNull()) image.reinterpretAsFormat(QImage::Format_ARGB32);
  return image;
}

[[noreturn]] void ThrowTooLarge(int width, int height) {
  throw EKestrinError(
      QStringLiteral("사진이 너무 큽니다 (%1 x %2). %3만 화소 이하의 사진을 선택해 주세요")
          .arg(width)
          .arg(height)
          .arg(kMaxPhotoPixels / 10000));
}

// A ".jpg" file decoded straight into the bitmap's pixel layout: no intermediate image and
// no conversion, as fast as the decoder itself.
QImage LoadJpegFile(const QString& fileName, const QString& shown) {
  const TFileBytes file(fileName);
  if (file.Status() == TFileBytes::Empty)
    throw EKestrinError(QStringLiteral("빈 파일입니다: %1").arg(shown));
  if (file.Status() != TFileBytes::Ok)
    throw EKestrinError(
        QStringLiteral("파일을 읽을 수 없습니다: %1 (%2)").arg(shown, file.ErrorString()));
  const uchar* data = file.Data();
  const std::size_t size = file.Size();
  if (!LooksLikeJpeg(data, size))
    throw EKestrinError(QStringLiteral("JPEG 사진이 아니어서 읽을 수 없습니다: %1").arg(shown));
  TJpegDecoded dec = DecodeJpeg(data, size);
  switch (dec.Status) {
    case TJpegStatus::Ok:
      return std::move(dec.Image);
    case TJpegStatus::TooLarge:
      ThrowTooLarge(dec.FullWidth, dec.FullHeight);
    case TJpegStatus::Truncated:
      throw EKestrinError(
          QStringLiteral("사진 파일이 중간에 끊겨 있습니다 (손상된 파일): %1").arg(shown));
    case TJpegStatus::NoMemory:
      throw EKestrinError(QStringLiteral("메모리가 부족하여 이미지를 처리할 수 없습니다"));
    case TJpegStatus::Failed:
      break;
  }
  throw EKestrinError(
      dec.Detail.isEmpty()
          ? QStringLiteral("손상된 JPEG 사진입니다: %1").arg(shown)
          : QStringLiteral("손상된 JPEG 사진입니다 (%1): %2").arg(shown, dec.Detail));
}

}  // namespace

QSize ThumbnailSize(int width, int height, int maxW, int maxH) {
  const double s = std::min(static_cast<double>(maxW) / width, static_cast<double>(maxH) / height);
  return {std::max(1, static_cast<int>(std::lround(width * s))),
          std::max(1, static_cast<int>(std::lround(height * s)))};
}

TFileBytes::TFileBytes(const QString& fileName) : FFile(fileName) {
  if (!QFileInfo(fileName).isFile()) {
    FStatus = QFileInfo::exists(fileName) ? NotAFile : Unreadable;
    return;
  }
  if (!FFile.open(QIODevice::ReadOnly)) return;
  FSize = FFile.size();
  if (FSize <= 0) {
    FStatus = Empty;
    return;
  }
  FData = FFile.map(0, FSize);
  if (!FData) {  // not mappable (unusual file systems): read it instead
    FCopy = FFile.readAll();
    if (FCopy.size() != FSize) return;
    FData = reinterpret_cast<const uchar*>(FCopy.constData());
  }
  FStatus = Ok;
}

void LoadPhotoFromFile(TBitmap32& bitmap, const QString& fileName) {
  const QString shown = QFileInfo(fileName).fileName();
  QFileInfo info(fileName);
  if (!info.exists())
    throw EKestrinError(QStringLiteral("파일을 찾을 수 없습니다: %1").arg(fileName));
  // Only regular files: opening a pipe or a device named ".jpg" could wait for ever.
  if (!info.isFile())
    throw EKestrinError(QStringLiteral("사진 파일이 아니어서 읽을 수 없습니다: %1").arg(shown));
  const QString suffix = info.suffix().toLower();
  if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg")) {
    bitmap.SetImage(LoadJpegFile(fileName, shown));
    return;
  }
  QImageReader reader(fileName);  // the decoder follows the suffix (".jpg" -> JPEG)
  reader.setAutoTransform(false);
  const QSize size = reader.size();
  if (size.isValid() && static_cast<qint64>(size.width()) * size.height() > kMaxPhotoPixels)
    ThrowTooLarge(size.width(), size.height());
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
  const QSize thumb = ThumbnailSize(size.width(), size.height(), maxW, maxH);
  // The JPEG decoder reduces by its DCT scaling when asked for a smaller size, which is
  // far cheaper than a full decode followed by a reduction.
  reader.setScaledSize(thumb);
  reader.setAllocationLimit(static_cast<int>(kMaxPhotoPixels * 4 / (1024 * 1024)) + 1);
  QImage image;
  if (!reader.read(&image)) return QImage();
  if (image.size() != thumb)
    image = image.scaled(thumb, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  return ToOpaqueArgb(std::move(image));
}

}  // namespace Kestrin
