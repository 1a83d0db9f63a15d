#include "uThumbDecoder.h"

#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

#include "gfx/uPhotoLoader.h"

namespace Kestrin {

namespace {

// libjpeg reports fatal errors through error_exit, which must not return: it jumps back to
// the decoder's entry point. Warnings are counted quietly; running out of data is noted.
struct TJpegError {
  jpeg_error_mgr Pub;
  std::jmp_buf Jump;
  bool Truncated;
};

void ThumbErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<TJpegError*>(cinfo->err);
  std::longjmp(err->Jump, 1);
}

void ThumbEmitMessage(j_common_ptr cinfo, int msgLevel) {
  auto* err = reinterpret_cast<TJpegError*>(cinfo->err);
  if (msgLevel < 0) {
    ++err->Pub.num_warnings;
    if (err->Pub.msg_code == JWRN_JPEG_EOF) err->Truncated = true;
  }
}

enum class TDecode { Ok, Truncated, TooLarge, Failed };

struct TDecoded {
  unsigned char* Pixels;  // malloc'd, 4 bytes a pixel in QImage::Format_RGB32 layout
  int Width, Height;      // decoded (reduced) size
  int FullWidth, FullHeight;
};

// Only plain C data lives in this frame, so leaving it through longjmp skips no destructor.
TDecode DecodeReduced(const unsigned char* data, unsigned long size, int maxW, int maxH,
                      TDecoded& out) {
  jpeg_decompress_struct cinfo;
  TJpegError err;
  unsigned char* volatile pixels = nullptr;
  cinfo.err = jpeg_std_error(&err.Pub);
  err.Pub.error_exit = ThumbErrorExit;
  err.Pub.emit_message = ThumbEmitMessage;
  err.Truncated = false;
  if (setjmp(err.Jump)) {
    std::free(pixels);
    jpeg_destroy_decompress(&cinfo);
    return err.Truncated ? TDecode::Truncated : TDecode::Failed;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, size);
  jpeg_read_header(&cinfo, TRUE);
  out.FullWidth = static_cast<int>(cinfo.image_width);
  out.FullHeight = static_cast<int>(cinfo.image_height);
  if (static_cast<long long>(cinfo.image_width) * cinfo.image_height > kMaxPhotoPixels) {
    jpeg_destroy_decompress(&cinfo);
    return TDecode::TooLarge;
  }
  // The largest reduction whose output still covers the thumbnail's size.
  const double s = std::min(static_cast<double>(maxW) / cinfo.image_width,
                            static_cast<double>(maxH) / cinfo.image_height);
  const long wantW = std::max(1L, std::lround(cinfo.image_width * s));
  const long wantH = std::max(1L, std::lround(cinfo.image_height * s));
  unsigned denom = 1;
  while (denom < 8 && cinfo.image_width / (denom * 2) >= static_cast<unsigned long>(wantW) &&
         cinfo.image_height / (denom * 2) >= static_cast<unsigned long>(wantH))
    denom *= 2;
  cinfo.scale_num = 1;
  cinfo.scale_denom = denom;
  cinfo.out_color_space = JCS_EXT_BGRX;  // the byte order of QImage::Format_RGB32
  cinfo.dct_method = JDCT_IFAST;
  cinfo.do_fancy_upsampling = FALSE;
  cinfo.do_block_smoothing = FALSE;
  jpeg_start_decompress(&cinfo);
  const size_t stride = static_cast<size_t>(cinfo.output_width) * 4;
  pixels = static_cast<unsigned char*>(std::malloc(stride * cinfo.output_height));
  if (!pixels) {
    jpeg_destroy_decompress(&cinfo);
    return TDecode::Failed;
  }
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = pixels + stride * cinfo.output_scanline;
    jpeg_read_scanlines(&cinfo, &row, 1);
    if (err.Truncated) break;  // the rest would be filler
  }
  const bool truncated = err.Truncated;
  if (!truncated) jpeg_finish_decompress(&cinfo);
  out.Width = static_cast<int>(cinfo.output_width);
  out.Height = static_cast<int>(cinfo.output_height);
  jpeg_destroy_decompress(&cinfo);
  if (truncated) {
    std::free(pixels);
    return TDecode::Truncated;
  }
  out.Pixels = pixels;
  return TDecode::Ok;
}

QSize ThumbSize(int w, int h, int maxW, int maxH) {
  const double s = std::min(static_cast<double>(maxW) / w, static_cast<double>(maxH) / h);
  return {std::max(1, static_cast<int>(std::lround(w * s))),
          std::max(1, static_cast<int>(std::lround(h * s)))};
}

TThumbResult Fail(TThumbStatus status, const QString& text) {
  TThumbResult r;
  r.Status = status;
  r.Problem = text;
  return r;
}

}  // namespace

TThumbResult DecodeThumbnail(const QString& fileName, int maxW, int maxH) {
  const QString shown = QFileInfo(fileName).fileName();
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly))
    return Fail(TThumbStatus::Unreadable, QStringLiteral("파일을 읽을 수 없습니다: %1").arg(shown));
  const qint64 size = file.size();
  if (size <= 0) return Fail(TThumbStatus::Empty, QStringLiteral("빈 파일입니다: %1").arg(shown));

  const auto* data = file.map(0, size);
  QByteArray copy;
  if (!data) {  // not mappable (unusual file systems): read it instead
    copy = file.readAll();
    if (copy.size() != size)
      return Fail(TThumbStatus::Unreadable,
                  QStringLiteral("파일을 읽을 수 없습니다: %1").arg(shown));
    data = reinterpret_cast<const uchar*>(copy.constData());
  }

  const bool isJpeg = size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
  if (isJpeg) {
    TDecoded dec{};
    switch (DecodeReduced(data, static_cast<unsigned long>(size), maxW, maxH, dec)) {
      case TDecode::Ok:
        break;
      case TDecode::Truncated:
        return Fail(
            TThumbStatus::Truncated,
            QStringLiteral("사진 파일이 중간에 끊겨 있습니다 (손상된 파일): %1").arg(shown));
      case TDecode::TooLarge:
        return Fail(TThumbStatus::TooLarge, QStringLiteral("사진이 너무 큽니다 (%1 x %2): %3")
                                                .arg(dec.FullWidth)
                                                .arg(dec.FullHeight)
                                                .arg(shown));
      case TDecode::Failed:
        dec.Pixels = nullptr;
        break;
    }
    if (dec.Pixels) {
      // The header decides the thumbnail's size; the reduced decode is only its source.
      const QSize target = ThumbSize(dec.FullWidth, dec.FullHeight, maxW, maxH);
      const QImage reduced(dec.Pixels, dec.Width, dec.Height, dec.Width * 4, QImage::Format_RGB32,
                           std::free, dec.Pixels);
      TThumbResult r;
      r.Status = TThumbStatus::Ok;
      r.Image = reduced.size() == target
                    ? reduced.copy()
                    : reduced.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
      return r;
    }
    // A JPEG that this decoder refuses (CMYK, unusual sampling): Qt's reader may manage.
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
