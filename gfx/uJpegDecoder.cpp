#include "uJpegDecoder.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

#include "uPhotoLoader.h"

#include <sys/mman.h>
#include <unistd.h>

#include <thread>

namespace Kestrin {

namespace {

// libjpeg reports fatal errors through error_exit, which must not return: it jumps back to
// the decoder's entry point. Warnings are recorded; running out of data is noted apart.
struct TJpegError {
  jpeg_error_mgr Pub;
  std::jmp_buf Jump;
  bool Truncated;
  bool Corrupt;
  char Message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<TJpegError*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->Message);
  std::longjmp(err->Jump, 1);
}

void JpegEmitMessage(j_common_ptr cinfo, int msgLevel) {
  auto* err = reinterpret_cast<TJpegError*>(cinfo->err);
  if (msgLevel >= 0) return;  // trace messages
  ++err->Pub.num_warnings;
  if (err->Pub.msg_code == JWRN_JPEG_EOF) {
    err->Truncated = true;
  } else {
    err->Corrupt = true;
    (*cinfo->err->format_message)(cinfo, err->Message);
  }
}

// Maps the fresh pages of a large output buffer on the other core while the decoder fills it
// from the top. Faulting in 100 MB of new memory costs about as much as a third of the decode
// itself on this kind of machine; done alongside, the decoder finds its rows already mapped.
// MADV_POPULATE_WRITE never changes the contents of a page, so it cannot race with the rows
// the decoder has already written. Where the kernel does not know it, nothing happens.
class TPrefaulter {
 public:
  void Start(unsigned char* buffer, std::size_t size) {
#ifdef MADV_POPULATE_WRITE
    constexpr std::size_t kWorthIt = 16u << 20;
    if (size < kWorthIt || std::thread::hardware_concurrency() < 2) return;
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto begin = (reinterpret_cast<std::uintptr_t>(buffer) + page - 1) & ~(page - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(buffer) + size) & ~(page - 1);
    if (end <= begin) return;
    FThread = std::thread([begin, end] {
      constexpr std::uintptr_t kChunk = 4u << 20;
      for (std::uintptr_t p = begin; p < end; p += kChunk) {
        if (madvise(reinterpret_cast<void*>(p), std::min(kChunk, end - p), MADV_POPULATE_WRITE))
          return;
      }
    });
#else
    (void)buffer, (void)size;
#endif
  }
  void Join() {
    if (FThread.joinable()) FThread.join();
  }
  ~TPrefaulter() {
    Join();
  }

 private:
  std::thread FThread;
};

// Only plain C data and a QImage that is assigned after the last possible jump live across
// setjmp, so leaving through longjmp skips no destructor that matters.
TJpegStatus Decode(const unsigned char* data, std::size_t size, int maxW, int maxH,
                   TJpegDecoded& out, unsigned char*& pixels, TPrefaulter& prefaulter) {
  jpeg_decompress_struct cinfo;
  TJpegError err;
  cinfo.err = jpeg_std_error(&err.Pub);
  err.Pub.error_exit = JpegErrorExit;
  err.Pub.emit_message = JpegEmitMessage;
  err.Truncated = false;
  err.Corrupt = false;
  err.Message[0] = '\0';
  if (setjmp(err.Jump)) {
    jpeg_destroy_decompress(&cinfo);
    out.Detail = QString::fromLocal8Bit(err.Message);
    return err.Truncated ? TJpegStatus::Truncated : TJpegStatus::Failed;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  out.FullWidth = static_cast<int>(cinfo.image_width);
  out.FullHeight = static_cast<int>(cinfo.image_height);
  if (static_cast<long long>(cinfo.image_width) * cinfo.image_height > kMaxPhotoPixels) {
    jpeg_destroy_decompress(&cinfo);
    return TJpegStatus::TooLarge;
  }
  if (maxW > 0 && maxH > 0) {
    // The largest reduction whose output still covers the wanted size.
    const QSize want = ThumbnailSize(static_cast<int>(cinfo.image_width),
                                     static_cast<int>(cinfo.image_height), maxW, maxH);
    const auto wantW = static_cast<unsigned long>(want.width());
    const auto wantH = static_cast<unsigned long>(want.height());
    unsigned denom = 1;
    while (denom < 8 && cinfo.image_width / (denom * 2) >= wantW &&
           cinfo.image_height / (denom * 2) >= wantH)
      denom *= 2;
    cinfo.scale_num = 1;
    cinfo.scale_denom = denom;
    cinfo.dct_method = JDCT_IFAST;
    cinfo.do_fancy_upsampling = FALSE;
    cinfo.do_block_smoothing = FALSE;
  }
  // B, G, R, A bytes: 0xAARRGGBB words on this little-endian machine, alpha set to 0xFF.
  cinfo.out_color_space = JCS_EXT_BGRA;
  jpeg_start_decompress(&cinfo);
  const std::size_t stride = static_cast<std::size_t>(cinfo.output_width) * 4;
  pixels = static_cast<unsigned char*>(std::malloc(stride * cinfo.output_height));
  if (!pixels) {
    jpeg_destroy_decompress(&cinfo);
    return TJpegStatus::NoMemory;
  }
  prefaulter.Start(pixels, stride * cinfo.output_height);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW rows[4];
    const JDIMENSION n = std::min<JDIMENSION>(4, cinfo.output_height - cinfo.output_scanline);
    for (JDIMENSION i = 0; i < n; ++i) rows[i] = pixels + stride * (cinfo.output_scanline + i);
    jpeg_read_scanlines(&cinfo, rows, n);
    if (err.Truncated || err.Corrupt) break;  // the rest would be filler
  }
  if (!err.Truncated && !err.Corrupt) jpeg_finish_decompress(&cinfo);
  const int w = static_cast<int>(cinfo.output_width), h = static_cast<int>(cinfo.output_height);
  jpeg_destroy_decompress(&cinfo);
  if (err.Truncated) return TJpegStatus::Truncated;
  if (err.Corrupt) {
    out.Detail = QString::fromLocal8Bit(err.Message);
    return TJpegStatus::Failed;
  }
  prefaulter.Join();
  out.Image = QImage(pixels, w, h, static_cast<qsizetype>(stride), QImage::Format_ARGB32, std::free,
                     pixels);
  pixels = nullptr;  // owned by the image now
  return TJpegStatus::Ok;
}

}  // namespace

TJpegDecoded DecodeJpeg(const unsigned char* data, std::size_t size, int maxW, int maxH) {
  TJpegDecoded out;
  unsigned char* pixels = nullptr;
  {
    TPrefaulter prefaulter;  // joined before the buffer can be freed
    out.Status = Decode(data, size, maxW, maxH, out, pixels, prefaulter);
  }
  std::free(pixels);
  if (out.Status != TJpegStatus::Ok) out.Image = QImage();
  return out;
}

}  // namespace Kestrin
