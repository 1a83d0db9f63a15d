// Decoding photos from disk into a TBitmap32: the full-size load of a chosen photo and of
// the editor's revert, and the small thumbnails of the photo browser.
#pragma once

#include <QImage>
#include <QString>

#include "GR32.h"

namespace Kestrin {

// The largest photo accepted, in pixels: above any current camera (200 MP phones), and still
// small enough that the sheet, the editor and an order fit comfortably in memory.
constexpr qint64 kMaxPhotoPixels = 220'000'000;

// Loads the file at full size into bitmap as opaque 32-bit pixels, choosing the decoder by
// the file name's suffix. Orientation information in the file is not applied. On failure
// throws EKestrinError with a readable text and leaves bitmap untouched.
void LoadPhotoFromFile(TBitmap32& bitmap, const QString& fileName);

// Decodes a thumbnail that fits within maxW x maxH, aspect ratio kept, each side rounded
// and at least 1 (small images are enlarged). Uses the decoder's own downscaling. Returns a
// null image when the file cannot be decoded; never throws.
QImage LoadThumbnail(const QString& fileName, int maxW, int maxH);

}  // namespace Kestrin
