// Decodes a JPEG file with libjpeg, chroma replicated rather than interpolated, so that the
// colours of flat areas next to an edge come back as they were encoded.
#pragma once

#include <QByteArray>
#include <QImage>

namespace KestrinTest {

// A null image when the data is no JPEG file.
QImage DecodeJpegPlain(const QByteArray& data);

}  // namespace KestrinTest
