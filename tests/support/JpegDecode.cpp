#include "JpegDecode.h"

#include <csetjmp>
#include <cstdio>

extern "C" {
#include <jpeglib.h>
}

namespace KestrinTest {

namespace {

struct TError {
  jpeg_error_mgr Pub;
  std::jmp_buf Jump;
};

void ErrorExit(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<TError*>(cinfo->err)->Jump, 1);
}

bool DecodeInto(const QByteArray& data, TJpegFile& out, TError& err) {
  jpeg_decompress_struct cinfo;
  cinfo.err = jpeg_std_error(&err.Pub);
  err.Pub.error_exit = ErrorExit;
  if (setjmp(err.Jump)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(data.constData()),
               static_cast<unsigned long>(data.size()));
  jpeg_read_header(&cinfo, TRUE);
  out.Width = static_cast<int>(cinfo.image_width);
  out.Height = static_cast<int>(cinfo.image_height);
  out.Components = cinfo.num_components;
  out.ColorSpace = cinfo.jpeg_color_space;
  out.Progressive = cinfo.progressive_mode;
  for (int t = 0; t < NUM_QUANT_TBLS; ++t)
    if (cinfo.quant_tbl_ptrs[t])
      for (int i = 0; i < DCTSIZE2; ++i)
        if (cinfo.quant_tbl_ptrs[t]->quantval[i] != 1) out.AllQuantOnes = false;
  cinfo.out_color_space = JCS_RGB;
  cinfo.do_fancy_upsampling = FALSE;
  jpeg_start_decompress(&cinfo);
  out.Image = QImage(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height),
                     QImage::Format_RGB888);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = out.Image.scanLine(static_cast<int>(cinfo.output_scanline));
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

}  // namespace

TJpegFile DecodeJpegFile(const QByteArray& data) {
  TJpegFile out;
  TError err;
  out.Ok = DecodeInto(data, out, err);
  out.Image = out.Ok ? out.Image.convertToFormat(QImage::Format_RGB32) : QImage();
  return out;
}

QImage DecodeJpegPlain(const QByteArray& data) {
  return DecodeJpegFile(data).Image;
}

}  // namespace KestrinTest
