// JPEG decoding straight through libjpeg-turbo into 32-bit pixels (QImage::Format_ARGB32
// layout, alpha 0xFF): the full-size photo without intermediate copies, or a reduced picture
// through the decoder's DCT scaling for thumbnails.
#pragma once

#include <QImage>
#include <cstddef>

namespace Kestrin {

enum class TJpegStatus {
  Ok,
  Truncated,  // the data ends before the picture does
  TooLarge,   // more pixels than kMaxPhotoPixels (nothing was allocated)
  NoMemory,   // the pixels could not be allocated
  Failed,     // not a JPEG this decoder reads, or damaged data
};

struct TJpegDecoded {
  TJpegStatus Status = TJpegStatus::Failed;
  QImage Image;                       // Format_ARGB32, opaque; null unless Status is Ok
  int FullWidth = 0, FullHeight = 0;  // from the header, when it could be read
  QString Detail;                     // the decoder's own message on failure
};

// Decodes the JPEG file held in data. With maxW and maxH above 0 the picture is reduced by
// the largest DCT scale (1/2, 1/4, 1/8) whose result still covers maxW x maxH (fast DCT, for
// thumbnails); otherwise it is decoded at full size with the accurate DCT. Never throws;
// safe on worker threads. Corrupt-data warnings count as Failed, a premature end as Truncated.
TJpegDecoded DecodeJpeg(const unsigned char* data, std::size_t size, int maxW = 0, int maxH = 0);

// True when data starts like a JPEG file (SOI marker).
inline bool LooksLikeJpeg(const unsigned char* data, std::size_t size) {
  return size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

}  // namespace Kestrin
