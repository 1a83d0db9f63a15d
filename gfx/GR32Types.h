// Basic value types of the graphics layer: 32-bit colours and integer/float rectangles
// with exclusive right and bottom edges, plus the rounding rules the program relies on.
#pragma once

#include <QRect>
#include <QRectF>
#include <cfenv>
#include <cmath>
#include <cstdint>

namespace Kestrin {

using TColor32 = std::uint32_t;  // 0xAARRGGBB

constexpr TColor32 clWhite32 = 0xFFFFFFFF;
constexpr TColor32 clBlack32 = 0xFF000000;

// Rounds to the nearest integer, halves to even (the FPU's default mode).
inline std::int32_t RoundHalfEven(long double v) {
  return static_cast<std::int32_t>(std::nearbyintl(v));
}
inline std::int32_t FloorToInt(long double v) {
  return static_cast<std::int32_t>(std::floor(v));
}
inline std::int32_t CeilToInt(long double v) {
  return static_cast<std::int32_t>(std::ceil(v));
}

struct TRect {
  std::int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;

  constexpr std::int32_t Width() const { return Right - Left; }
  constexpr std::int32_t Height() const { return Bottom - Top; }
  constexpr bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  constexpr bool operator==(const TRect&) const = default;
  // Intersection; an empty result when they do not overlap.
  constexpr TRect Intersected(const TRect& o) const {
    TRect r{Left > o.Left ? Left : o.Left, Top > o.Top ? Top : o.Top,
            Right < o.Right ? Right : o.Right, Bottom < o.Bottom ? Bottom : o.Bottom};
    if (r.Right < r.Left) r.Right = r.Left;
    if (r.Bottom < r.Top) r.Bottom = r.Top;
    return r;
  }
  constexpr bool Contains(const TRect& o) const {
    return o.Left >= Left && o.Top >= Top && o.Right <= Right && o.Bottom <= Bottom;
  }
  QRect ToQRect() const { return QRect(Left, Top, Width(), Height()); }
  static TRect FromQRect(const QRect& q) {
    return {q.left(), q.top(), q.left() + q.width(), q.top() + q.height()};
  }
};

struct TFloatRect {
  float Left = 0, Top = 0, Right = 0, Bottom = 0;

  constexpr float Width() const { return Right - Left; }
  constexpr float Height() const { return Bottom - Top; }
  constexpr bool operator==(const TFloatRect&) const = default;
  static constexpr TFloatRect FromRect(const TRect& r) {
    return {static_cast<float>(r.Left), static_cast<float>(r.Top), static_cast<float>(r.Right),
            static_cast<float>(r.Bottom)};
  }
};

// Each coordinate rounded to the nearest integer, halves to even.
inline TRect RoundRect(const TFloatRect& f) {
  return {RoundHalfEven(f.Left), RoundHalfEven(f.Top), RoundHalfEven(f.Right),
          RoundHalfEven(f.Bottom)};
}

}  // namespace Kestrin
