// Decoding photos from disk into a TBitmap32: the full-size load of a chosen photo and of
// the editor's revert, and the small thumbnails of the photo browser.
#pragma once

#include <QFile>
#include <QImage>
#include <QSize>
#include <QString>
#include <cstddef>

#include "GR32.h"

namespace Kestrin {

// The largest photo accepted, in pixels: above any current camera (200 MP phones), and still
// small enough that the sheet, the editor and an order fit comfortably in memory.
constexpr qint64 kMaxPhotoPixels = 220'000'000;

// The size of a thumbnail of a width x height picture within maxW x maxH: aspect ratio
// kept, each side rounded and at least 1 (small pictures are enlarged).
QSize ThumbnailSize(int width, int height, int maxW, int maxH);

// The bytes of a file, mapped into memory (read into a buffer where the file system cannot
// map it). Only regular files are opened: a pipe or a device named like a photo could make
// the open or the read wait for ever.
class TFileBytes {
 public:
  enum TStatus { Ok, NotAFile, Unreadable, Empty };
  explicit TFileBytes(const QString& fileName);
  TStatus Status() const { return FStatus; }
  const uchar* Data() const { return FData; }
  std::size_t Size() const { return static_cast<std::size_t>(FSize); }
  QString ErrorString() const { return FFile.errorString(); }

 private:
  QFile FFile;
  QByteArray FCopy;
  const uchar* FData = nullptr;
  qint64 FSize = 0;
  TStatus FStatus = Unreadable;
};

// Loads the file at full size into bitmap as opaque 32-bit pixels, choosing the decoder by
// the file name's suffix. Orientation information in the file is not applied. On failure
// throws EKestrinError with a readable text and leaves bitmap untouched.
void LoadPhotoFromFile(TBitmap32& bitmap, const QString& fileName);

// Decodes a thumbnail that fits within maxW x maxH, aspect ratio kept, each side rounded
// and at least 1 (small images are enlarged). Uses the decoder's own downscaling. Returns a
// null image when the file cannot be decoded; never throws.
QImage LoadThumbnail(const QString& fileName, int maxW, int maxH);

}  // namespace Kestrin
