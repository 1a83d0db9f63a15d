// Decodes a JPEG file with libjpeg itself, chroma replicated rather than interpolated, so that
// the colours of flat areas next to an edge come back as they were encoded; also reports the
// facts of the file's header that the order's files must have.
#pragma once

#include <QByteArray>
#include <QImage>

namespace KestrinTest {

struct TJpegFile {
  bool Ok = false;  // false when the data is no JPEG file libjpeg reads
  int Width = 0, Height = 0, Components = 0;
  int ColorSpace = 0;  // libjpeg's J_COLOR_SPACE of the stored data
  bool Progressive = false;
  bool AllQuantOnes = true;  // every quantisation table entry is 1 (quality 100)
  QImage Image;              // Format_RGB32
};

TJpegFile DecodeJpegFile(const QByteArray& data);

// The pixels alone; a null image when the data is no JPEG file.
QImage DecodeJpegPlain(const QByteArray& data);

}  // namespace KestrinTest
