#include "uThumbDecoder.h"

#include <QFileInfo>

#include "gfx/uJpegDecoder.h"
#include "gfx/uPhotoLoader.h"

namespace Kestrin {

namespace {

TThumbResult Fail(TThumbStatus status, const QString& text) {
  TThumbResult r;
  r.Status = status;
  r.Problem = text;
  return r;
}

}  // namespace

TThumbResult DecodeThumbnail(const QString& fileName, int maxW, int maxH) {
  const QString shown = QFileInfo(fileName).fileName();
  const TFileBytes file(fileName);
  if (file.Status() == TFileBytes::Empty)
    return Fail(TThumbStatus::Empty, QStringLiteral("빈 파일입니다: %1").arg(shown));
  if (file.Status() != TFileBytes::Ok)
    return Fail(TThumbStatus::Unreadable, QStringLiteral("파일을 읽을 수 없습니다: %1").arg(shown));
  const uchar* data = file.Data();
  const std::size_t size = file.Size();

  if (LooksLikeJpeg(data, size)) {
    const TJpegDecoded dec = DecodeJpeg(data, size, maxW, maxH);
    switch (dec.Status) {
      case TJpegStatus::Ok: {
        // The header decides the thumbnail's size; the reduced decode is only its source.
        const QSize target = ThumbnailSize(dec.FullWidth, dec.FullHeight, maxW, maxH);
        TThumbResult r;
        r.Status = TThumbStatus::Ok;
        r.Image = dec.Image.size() == target
                      ? dec.Image
                      : dec.Image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        return r;
      }
      case TJpegStatus::Truncated:
        return Fail(
            TThumbStatus::Truncated,
            QStringLiteral("사진 파일이 중간에 끊겨 있습니다 (손상된 파일): %1").arg(shown));
      case TJpegStatus::TooLarge:
        return Fail(TThumbStatus::TooLarge, QStringLiteral("사진이 너무 큽니다 (%1 x %2): %3")
                                                .arg(dec.FullWidth)
                                                .arg(dec.FullHeight)
                                                .arg(shown));
      case TJpegStatus::NoMemory:
      case TJpegStatus::Failed:
        break;  // CMYK, unusual sampling: Qt's reader may manage
    }
  }
  QImage image = LoadThumbnail(fileName, maxW, maxH);
  if (image.isNull())
    return Fail(
        TThumbStatus::Damaged,
        QStringLiteral("사진으로 읽을 수 없는 파일입니다 (손상되었거나 JPEG 사진이 아님): %1")
            .arg(shown));
  TThumbResult r;
  r.Status = TThumbStatus::Ok;
  r.Image = std::move(image);
  return r;
}

}  // namespace Kestrin
