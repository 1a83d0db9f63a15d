// TBitmap32: a 32-bit ARGB bitmap (pixels 0xAARRGGBB, QImage::Format_ARGB32 layout) with the
// drawing properties that travel with it: the resampler used when it is drawn scaled, and
// the draw mode. All bitmaps of this program draw opaque.
#pragma once

#include <QImage>
#include <QString>
#include <functional>

#include "GR32Types.h"

namespace Kestrin {

// How a bitmap is scaled when drawn elsewhere.
enum class TResamplerKind {
  Nearest,  // TNearestResampler: each destination pixel takes one source pixel
  Draft,    // TDraftResampler: area average when reducing, linear when enlarging, per axis
};

struct TNearestResampler {
  static constexpr TResamplerKind Kind = TResamplerKind::Nearest;
  static constexpr const char* ClassName = "TNearestResampler";
};
struct TDraftResampler {
  static constexpr TResamplerKind Kind = TResamplerKind::Draft;
  static constexpr const char* ClassName = "TDraftResampler";
};

enum class TDrawMode { dmOpaque, dmBlend };

class TBitmap32 {
 public:
  TBitmap32() = default;
  TBitmap32(int width, int height) { SetSize(width, height); }
  TBitmap32(const TBitmap32& other) { Assign(other); }
  TBitmap32& operator=(const TBitmap32& other) {
    if (this != &other) Assign(other);
    return *this;
  }

  int Width() const { return FImage.width(); }
  int Height() const { return FImage.height(); }
  bool Empty() const { return FImage.isNull() || FImage.width() == 0 || FImage.height() == 0; }
  TRect BoundsRect() const { return {0, 0, Width(), Height()}; }

  // Resizes; the pixels of a resized bitmap are cleared to 0. Size 0 x 0 frees the pixels.
  // Throws EKestrinError when the memory cannot be had.
  void SetSize(int width, int height);

  TColor32* ScanLine(int y) { return reinterpret_cast<TColor32*>(FImage.scanLine(y)); }
  const TColor32* ScanLine(int y) const {
    return reinterpret_cast<const TColor32*>(FImage.constScanLine(y));
  }
  TColor32 Pixel(int x, int y) const { return ScanLine(y)[x]; }
  void SetPixel(int x, int y, TColor32 c) { ScanLine(y)[x] = c; }

  // The pixels as a QImage (Format_ARGB32). Writing through it is allowed.
  QImage& Image() { return FImage; }
  const QImage& Image() const { return FImage; }
  // Takes over an image as the pixels (converted to Format_ARGB32); properties stay.
  void SetImage(QImage image);
  // Changes whenever the pixels may have changed; used by caches.
  qint64 CacheKey() const { return FImage.cacheKey(); }

  // Drawing properties.
  TResamplerKind Resampler() const { return FResampler; }
  void SetResampler(TResamplerKind kind) { FResampler = kind; }
  const char* ResamplerClassName() const;
  TDrawMode DrawMode() const { return FDrawMode; }
  void SetDrawMode(TDrawMode mode) { FDrawMode = mode; }

  // Clip rectangle of the ...S operations; the bounds by default and after SetSize.
  TRect ClipRect() const { return FClipRect; }
  void SetClipRect(const TRect& r) { FClipRect = r.Intersected(BoundsRect()); }
  void ResetClipRect() { FClipRect = BoundsRect(); }

  // Copies size, pixels and drawing properties.
  void Assign(const TBitmap32& source);

  void Clear(TColor32 color);                       // whole bitmap, ignores the clip
  void FillRectS(const TRect& r, TColor32 color);   // clipped to ClipRect, replaces pixels
  void FrameRectS(const TRect& r, TColor32 color);  // one-pixel outline inside r, clipped

  // Draws the part srcRect of source scaled into dstRect of this bitmap, with the source's
  // resampler, opaque. dstRect is clipped to this bitmap's clip rectangle; srcRect is clipped
  // to the source's bounds first (its part outside the source is never read). Equal sizes
  // are copied one to one. An empty srcRect or dstRect draws nothing.
  void Draw(const TRect& dstRect, const TRect& srcRect, const TBitmap32& source);

  // 90 degree turns and mirrors, in place. Throw EKestrinError when memory runs out,
  // leaving the bitmap unchanged.
  void Rotate90();   // clockwise: (x, y) -> (H - 1 - y, x)
  void Rotate270();  // counter-clockwise: (x, y) -> (y, W - 1 - x)
  void FlipHorz();
  void FlipVert();

 private:
  void Turn(bool clockwise);  // the quarter turn of Rotate90 (true) and Rotate270 (false)

  QImage FImage;
  TResamplerKind FResampler = TResamplerKind::Nearest;
  TDrawMode FDrawMode = TDrawMode::dmOpaque;
  TRect FClipRect;
};

// Scales the part src of image to width x height with the given resampler, reading the
// pixels in place (no copy of the source). The result is opaque Format_ARGB32-compatible.
QImage ScaleImagePart(const QImage& image, const TRect& src, int width, int height,
                      TResamplerKind kind);

// A whole image scaled to a size, made once and kept while the source (by its cache key),
// the size and the resampler stay the same: the screen copy of a large picture.
class TScaledImageCache {
 public:
  const QImage& Get(const QImage& source, int width, int height, TResamplerKind kind);

 private:
  QImage FImage;
  qint64 FKey = 0;
  int FWidth = 0, FHeight = 0;
  TResamplerKind FKind = TResamplerKind::Nearest;
};

// Copies src (whole) into dst at (x, y), clipped to clip; replaces pixels.
void BlitImage(QImage& dst, int x, int y, const QImage& src, const TRect& clip);

}  // namespace Kestrin
