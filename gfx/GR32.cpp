#include "GR32.h"

#include <QThread>
#include <QtConcurrent/QtConcurrentMap>
#include <algorithm>
#include <cstring>
#include <utility>

#include "uErrors.h"

namespace Kestrin {

namespace {

[[noreturn]] void OutOfMemory() {
  throw EKestrinError(QStringLiteral("메모리가 부족하여 이미지를 처리할 수 없습니다"));
}

// A read-only QImage over a rectangle of image's pixels, no copy. Format_RGB32 lets Qt's
// smooth scaler take its fast area-averaging path; our bitmaps are opaque.
QImage PartView(const QImage& image, const TRect& r) {
  const uchar* bits = image.constBits() + static_cast<qsizetype>(r.Top) * image.bytesPerLine() +
                      static_cast<qsizetype>(r.Left) * 4;
  return QImage(bits, r.Width(), r.Height(), image.bytesPerLine(), QImage::Format_RGB32);
}

}  // namespace

void TBitmap32::SetSize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == 0 || height == 0) {
    FImage = QImage();
  } else if (width != Width() || height != Height()) {
    QImage image(width, height, QImage::Format_ARGB32);
    if (image.isNull()) OutOfMemory();
    image.fill(0);
    FImage = std::move(image);
  }
  FClipRect = BoundsRect();
}

void TBitmap32::SetImage(QImage image) {
  if (!image.isNull() && image.format() != QImage::Format_ARGB32) {
    image = image.convertToFormat(QImage::Format_ARGB32);
    if (image.isNull()) OutOfMemory();
  }
  FImage = std::move(image);
  FClipRect = BoundsRect();
}

const char* TBitmap32::ResamplerClassName() const {
  return FResampler == TResamplerKind::Draft ? TDraftResampler::ClassName
                                             : TNearestResampler::ClassName;
}

void TBitmap32::Assign(const TBitmap32& source) {
  // QImage shares pixels until either side writes (copy on write), so a copy of a large
  // photo costs nothing until one of them changes it.
  FImage = source.FImage;
  FResampler = source.FResampler;
  FDrawMode = source.FDrawMode;
  FClipRect = BoundsRect();
}

void TBitmap32::Clear(TColor32 color) {
  if (!Empty()) FImage.fill(color);
}

void TBitmap32::FillRectS(const TRect& r, TColor32 color) {
  const TRect c = r.Intersected(FClipRect);
  if (c.IsEmpty()) return;
  for (int y = c.Top; y < c.Bottom; ++y) std::fill_n(ScanLine(y) + c.Left, c.Width(), color);
}

void TBitmap32::FrameRectS(const TRect& r, TColor32 color) {
  if (r.IsEmpty()) return;
  FillRectS({r.Left, r.Top, r.Right, r.Top + 1}, color);
  FillRectS({r.Left, r.Bottom - 1, r.Right, r.Bottom}, color);
  FillRectS({r.Left, r.Top + 1, r.Left + 1, r.Bottom - 1}, color);
  FillRectS({r.Right - 1, r.Top + 1, r.Right, r.Bottom - 1}, color);
}

QImage ScaleImagePart(const QImage& image, const TRect& src, int width, int height,
                      TResamplerKind kind) {
  if (src.IsEmpty() || width <= 0 || height <= 0 || image.isNull()) return QImage();
  if (src.Width() == width && src.Height() == height) {
    QImage copy = image.copy(src.ToQRect());
    if (copy.isNull()) OutOfMemory();
    return copy;
  }
  QImage out;
  if (kind == TResamplerKind::Draft) {
    out =
        PartView(image, src).scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (out.isNull()) OutOfMemory();
    if (out.format() != QImage::Format_RGB32) out = out.convertToFormat(QImage::Format_RGB32);
    // Format_RGB32 keeps 0xFF in the alpha byte, so the pixels read as opaque ARGB32.
    out.reinterpretAsFormat(QImage::Format_ARGB32);
  } else {
    out = QImage(width, height, QImage::Format_ARGB32);
    if (out.isNull()) OutOfMemory();
    std::vector<int> xs(width);
    for (int x = 0; x < width; ++x)
      xs[x] = src.Left + static_cast<int>((2LL * x + 1) * src.Width() / (2LL * width));
    for (int y = 0; y < height; ++y) {
      const int sy = src.Top + static_cast<int>((2LL * y + 1) * src.Height() / (2LL * height));
      const auto* s = reinterpret_cast<const TColor32*>(image.constScanLine(sy));
      auto* d = reinterpret_cast<TColor32*>(out.scanLine(y));
      for (int x = 0; x < width; ++x) d[x] = s[xs[x]];
    }
  }
  return out;
}

const QImage& TScaledImageCache::Get(const QImage& source, int width, int height,
                                     TResamplerKind kind) {
  if (FImage.isNull() || FKey != source.cacheKey() || FWidth != width || FHeight != height ||
      FKind != kind) {
    FImage = ScaleImagePart(source, {0, 0, source.width(), source.height()}, width, height, kind);
    FKey = source.cacheKey();
    FWidth = width;
    FHeight = height;
    FKind = kind;
  }
  return FImage;
}

void BlitImage(QImage& dst, int x, int y, const QImage& src, const TRect& clip) {
  const TRect target = TRect{x, y, x + src.width(), y + src.height()}.Intersected(clip).Intersected(
      {0, 0, dst.width(), dst.height()});
  if (target.IsEmpty()) return;
  const size_t bytes = static_cast<size_t>(target.Width()) * 4;
  for (int row = target.Top; row < target.Bottom; ++row) {
    std::memcpy(dst.scanLine(row) + static_cast<size_t>(target.Left) * 4,
                src.constScanLine(row - y) + static_cast<size_t>(target.Left - x) * 4, bytes);
  }
}

void TBitmap32::Draw(const TRect& dstRect, const TRect& srcRect, const TBitmap32& source) {
  if (dstRect.IsEmpty() || source.Empty() || Empty()) return;
  // Never read outside the source: shrink srcRect to the source, and dstRect with it in
  // proportion, so that what is inside is drawn exactly where it would have been.
  TRect src = srcRect.Intersected(source.BoundsRect());
  if (src.IsEmpty()) return;
  TRect dst = dstRect;
  if (!(src == srcRect)) {
    const long double sx = static_cast<long double>(dstRect.Width()) / srcRect.Width();
    const long double sy = static_cast<long double>(dstRect.Height()) / srcRect.Height();
    dst = {dstRect.Left + RoundHalfEven((src.Left - srcRect.Left) * sx),
           dstRect.Top + RoundHalfEven((src.Top - srcRect.Top) * sy),
           dstRect.Left + RoundHalfEven((src.Right - srcRect.Left) * sx),
           dstRect.Top + RoundHalfEven((src.Bottom - srcRect.Top) * sy)};
    if (dst.IsEmpty()) return;
  }
  const TRect visible = dst.Intersected(FClipRect);
  if (visible.IsEmpty()) return;
  if (src.Width() == dst.Width() && src.Height() == dst.Height()) {
    // One to one: copy the visible rows straight from the source.
    const size_t bytes = static_cast<size_t>(visible.Width()) * 4;
    for (int y = visible.Top; y < visible.Bottom; ++y) {
      std::memcpy(ScanLine(y) + visible.Left,
                  source.ScanLine(y - dst.Top + src.Top) + (visible.Left - dst.Left + src.Left),
                  bytes);
    }
    return;
  }
  const QImage scaled =
      ScaleImagePart(source.FImage, src, dst.Width(), dst.Height(), source.FResampler);
  BlitImage(FImage, dst.Left, dst.Top, scaled, visible);
}

namespace {

// A quarter turn of src (W x H) into dst (H x W), as raw pixels: the workers must not call
// QImage's non-const accessors (they count detaches unsynchronised).
struct TTurnJob {
  const TColor32* SrcBits;
  qsizetype SrcStride;  // in pixels
  int W, H;             // of the source
  TColor32* DstBits;
  qsizetype DstStride;
  bool Clockwise;
};

TTurnJob MakeTurnJob(const QImage& src, QImage& dst, bool clockwise) {
  return {reinterpret_cast<const TColor32*>(src.constBits()),
          src.bytesPerLine() / 4,
          src.width(),
          src.height(),
          reinterpret_cast<TColor32*>(dst.bits()),
          dst.bytesPerLine() / 4,
          clockwise};
}

// Destination rows [y0, y1) of the turn. Clockwise: dst(X, Y) = src(Y, H - 1 - X);
// counter-clockwise: dst(X, Y) = src(W - 1 - Y, X). The destination is written row by row in
// tiles, so that the source lines a tile reads stay in cache while the neighbouring
// destination rows use them again.
void TurnRows(const TTurnJob& job, int y0, int y1) {
  constexpr int kTile = 64;
  const int w = job.W, h = job.H;
  const TColor32* sBits = job.SrcBits;
  const qsizetype sStride = job.SrcStride;
  TColor32* dBits = job.DstBits;
  const qsizetype dStride = job.DstStride;
  const bool clockwise = job.Clockwise;
  for (int by = y0; by < y1; by += kTile) {
    const int ey = std::min(by + kTile, y1);
    for (int bx = 0; bx < h; bx += kTile) {
      const int ex = std::min(bx + kTile, h);
      for (int Y = by; Y < ey; ++Y) {
        TColor32* d = dBits + Y * dStride;
        if (clockwise) {
          const TColor32* s = sBits + (h - 1 - bx) * sStride + Y;
          for (int X = bx; X < ex; ++X, s -= sStride) d[X] = *s;
        } else {
          const TColor32* s = sBits + bx * sStride + (w - 1 - Y);
          for (int X = bx; X < ex; ++X, s += sStride) d[X] = *s;
        }
      }
    }
  }
}

// Runs fn(y0, y1) over [0, rows) split into bands, on the pool's threads when the work is
// big enough to be worth it.
void ForBands(int rows, qint64 pixels, const std::function<void(int, int)>& fn) {
  const int threads = std::max(1, QThread::idealThreadCount());
  if (threads == 1 || pixels < 262144 || rows < 2) {
    fn(0, rows);
    return;
  }
  const int bands = std::min(rows, threads * 4);
  std::vector<std::pair<int, int>> ranges;
  for (int k = 0; k < bands; ++k)
    ranges.emplace_back(static_cast<int>(static_cast<qint64>(rows) * k / bands),
                        static_cast<int>(static_cast<qint64>(rows) * (k + 1) / bands));
  QtConcurrent::blockingMap(ranges, [&fn](const std::pair<int, int>& r) { fn(r.first, r.second); });
}

}  // namespace

void TBitmap32::Rotate90() {
  Turn(true);
}

void TBitmap32::Rotate270() {
  Turn(false);
}

void TBitmap32::Turn(bool clockwise) {
  if (Empty()) return;
  QImage out(Height(), Width(), QImage::Format_ARGB32);
  if (out.isNull()) OutOfMemory();
  const TTurnJob job = MakeTurnJob(FImage, out, clockwise);
  ForBands(out.height(), static_cast<qint64>(Width()) * Height(),
           [&job](int y0, int y1) { TurnRows(job, y0, y1); });
  FImage = std::move(out);
  FClipRect = BoundsRect();
}

void TBitmap32::FlipHorz() {
  if (Empty()) return;
  uchar* bits = FImage.bits();  // detaches a shared copy first
  if (!bits) OutOfMemory();
  const qsizetype stride = FImage.bytesPerLine();
  const int w = Width();
  ForBands(Height(), static_cast<qint64>(w) * Height(), [=](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      auto* row = reinterpret_cast<TColor32*>(bits + y * stride);
      std::reverse(row, row + w);
    }
  });
}

void TBitmap32::FlipVert() {
  if (Empty()) return;
  uchar* bits = FImage.bits();  // detaches a shared copy first
  if (!bits) OutOfMemory();
  const qsizetype stride = FImage.bytesPerLine();
  const int w = Width(), h = Height();
  // Row y swaps with row h - 1 - y; the bands cover the upper half.
  ForBands(h / 2, static_cast<qint64>(w) * h, [=](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      auto* a = reinterpret_cast<TColor32*>(bits + y * stride);
      auto* b = reinterpret_cast<TColor32*>(bits + (h - 1 - y) * stride);
      std::swap_ranges(a, a + w, b);
    }
  });
}

}  // namespace Kestrin
