#include "order/uUtils.h"

#include <QBuffer>
#include <csetjmp>
#include <cstdio>

#include "common/uErrors.h"
#include "gfx/GR32.h"
#include "net/uFtpClient.h"

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

namespace Kestrin {

namespace {

// libjpeg reports fatal errors through error_exit, which must not return: we jump back to
// the encoder's entry point and turn the message into an exception there.
struct TJpegError {
  jpeg_error_mgr Pub;
  std::jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<TJpegError*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->Message);
  std::longjmp(err->Jump, 1);
}

// Destination that writes the compressed bytes straight into the QBuffer.
constexpr size_t kDestBufferSize = 64 * 1024;

struct TJpegDest {
  jpeg_destination_mgr Pub;
  QBuffer* Stream;
  JOCTET Buffer[kDestBufferSize];
};

void DestInit(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<TJpegDest*>(cinfo->dest);
  dest->Pub.next_output_byte = dest->Buffer;
  dest->Pub.free_in_buffer = kDestBufferSize;
}

boolean DestEmpty(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<TJpegDest*>(cinfo->dest);
  const auto size = static_cast<qint64>(kDestBufferSize);
  if (dest->Stream->write(reinterpret_cast<const char*>(dest->Buffer), size) != size)
    ERREXIT(cinfo, JERR_FILE_WRITE);
  dest->Pub.next_output_byte = dest->Buffer;
  dest->Pub.free_in_buffer = kDestBufferSize;
  return TRUE;
}

void DestTerm(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<TJpegDest*>(cinfo->dest);
  const auto size = static_cast<qint64>(kDestBufferSize - dest->Pub.free_in_buffer);
  if (size > 0 && dest->Stream->write(reinterpret_cast<const char*>(dest->Buffer), size) != size)
    ERREXIT(cinfo, JERR_FILE_WRITE);
}

// Only plain C data lives in this frame, so leaving it through longjmp skips no destructor.
bool EncodeJpeg(const TBitmap32& bitmap, QBuffer& stream, TJpegDest& dest, TJpegError& err) {
  jpeg_compress_struct cinfo;
  cinfo.err = jpeg_std_error(&err.Pub);
  err.Pub.error_exit = JpegErrorExit;
  err.Message[0] = 0;
  if (setjmp(err.Jump)) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  dest.Stream = &stream;
  dest.Pub.init_destination = DestInit;
  dest.Pub.empty_output_buffer = DestEmpty;
  dest.Pub.term_destination = DestTerm;
  cinfo.dest = &dest.Pub;

  const int width = bitmap.Width();
  const int height = bitmap.Height();
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 100, TRUE);
  jpeg_start_compress(&cinfo, TRUE);

  JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                              static_cast<JDIMENSION>(width) * 3, 1);
  while (cinfo.next_scanline < cinfo.image_height) {
    const TColor32* src = bitmap.ScanLine(static_cast<int>(cinfo.next_scanline));
    JSAMPLE* out = row[0];
    for (int x = 0; x < width; ++x) {
      const TColor32 c = src[x];
      out[0] = static_cast<JSAMPLE>((c >> 16) & 0xFF);
      out[1] = static_cast<JSAMPLE>((c >> 8) & 0xFF);
      out[2] = static_cast<JSAMPLE>(c & 0xFF);
      out += 3;
    }
    jpeg_write_scanlines(&cinfo, row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

bool IsBlankOrControl(QChar c) {
  return c.unicode() <= 32;
}

bool OnlyBlanks(const QString& s) {
  for (QChar c : s)
    if (!IsBlankOrControl(c)) return false;
  return true;
}

}  // namespace

void BitmapToJpegStream(const TBitmap32& bitmap, QBuffer& stream) {
  if (bitmap.Empty())
    throw EKestrinError(QStringLiteral("빈 이미지는 JPEG 파일로 만들 수 없습니다"));
  if (!stream.isOpen() && !stream.open(QIODevice::ReadWrite))
    throw EKestrinError(QStringLiteral("JPEG 파일을 쓸 메모리 스트림을 열 수 없습니다"));
  auto dest = std::make_unique<TJpegDest>();
  auto err = std::make_unique<TJpegError>();
  if (!EncodeJpeg(bitmap, stream, *dest, *err))
    throw EKestrinError(QStringLiteral("JPEG 파일을 만들지 못했습니다: %1")
                            .arg(QString::fromLocal8Bit(err->Message)));
  stream.seek(0);
}

void ForceFtpDir(TFtpClient& ftp, const QString& path) {
  // Refuse before the first command, so that nothing of a bad path reaches the server.
  if (path.contains('\r') || path.contains('\n') || path.contains(QChar(0)))
    throw EKestrinError(
        QStringLiteral("폴더 이름에 줄바꿈 문자가 들어 있어 FTP 서버에 만들 수 없습니다"));
  const QStringList elements = path.split('/');
  if (path.startsWith('/')) ftp.ChangeDir(QStringLiteral("/"));
  for (const QString& element : elements) {
    if (OnlyBlanks(element)) continue;
    const QStringList names = ftp.List();
    if (!names.contains(element)) ftp.MakeDir(element);
    ftp.ChangeDir(element);
  }
}

}  // namespace Kestrin
