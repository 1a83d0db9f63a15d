// Thumbnails for the photo browser. JPEG files are decoded straight with libjpeg at a reduced
// DCT scale (1/2, 1/4 or 1/8: the decoder skips most of the work) and then smoothed to the
// exact size; other pictures that carry a .jpg name go through Qt's readers. A file that is
// empty, cut short, damaged or absurdly large yields no picture and a reason the user can read.
#pragma once

#include <QImage>
#include <QString>

namespace Kestrin {

enum class TThumbStatus {
  Ok,
  Unreadable,  // cannot be opened
  Empty,       // zero bytes
  Truncated,   // a JPEG that ends before its picture does
  TooLarge,    // more pixels than any photo the program accepts
  Damaged,     // neither a readable JPEG nor any other picture format
};

struct TThumbResult {
  QImage Image;  // null unless Status is Ok; fits within the requested box, aspect kept
  TThumbStatus Status = TThumbStatus::Damaged;
  QString Problem;  // Korean text for the user when Status is not Ok
};

// Decodes fileName to the largest size that fits within maxW x maxH, aspect ratio kept, each
// side rounded and at least 1 (smaller pictures are enlarged). Never throws; safe to call
// from worker threads.
TThumbResult DecodeThumbnail(const QString& fileName, int maxW, int maxH);

}  // namespace Kestrin
