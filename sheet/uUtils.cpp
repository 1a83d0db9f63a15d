#include "uUtils.h"

#include <cmath>
#include <cstdint>

namespace Kestrin {

// The arithmetic inside the floors runs in 80-bit extended precision (long double on
// x86-64), one rounding after each operation, in the order written: the results of the
// same-shape cases, e.g. 7 x 7 into 59 x 59 -> (1, 0, 58, 59), depend on it.

void FitRect(const TRect& A, const TRect& B, TRect& R) {
  const std::int32_t aw = A.Right - A.Left, ah = A.Bottom - A.Top;
  const std::int32_t bw = B.Right - B.Left, bh = B.Bottom - B.Top;
  if (aw <= 0 || ah <= 0) {
    R = B;  // no shape to fit: the bounds themselves
    return;
  }
  const TRect b = B;
  // The products in 64 bits: the same decision as 32-bit ones wherever those do not
  // overflow, and a correct one where they would.
  if (static_cast<std::int64_t>(aw) * bh > static_cast<std::int64_t>(ah) * bw) {
    long double q = static_cast<long double>(bw) / aw;
    q = q * ah;
    q = q - bh;
    q = q / 2;
    const std::int32_t d = static_cast<std::int32_t>(std::floor(q));
    R = {b.Left, b.Top - d, b.Right, b.Bottom + d};
  } else {
    long double q = static_cast<long double>(bh) / ah;
    q = q * aw;
    q = q - bw;
    q = q / 2;
    const std::int32_t d = static_cast<std::int32_t>(std::floor(q));
    R = {b.Left - d, b.Top, b.Right + d, b.Bottom};
  }
}

void FitFloatRect(const TFloatRect& A, const TFloatRect& B, TFloatRect& R) {
  const float aw = A.Right - A.Left, ah = A.Bottom - A.Top;
  const float bw = B.Right - B.Left, bh = B.Bottom - B.Top;
  if (!(aw > 0) || !(ah > 0)) {
    R = B;
    return;
  }
  const TFloatRect b = B;
  // Products compared unrounded: a float times a float is exact in long double.
  if (static_cast<long double>(ah) * bw >= static_cast<long double>(aw) * bh) {
    long double q = static_cast<long double>(bh) / ah;
    q = q * aw;
    q = q - bw;
    const float d = static_cast<float>(q / 2);
    R = {static_cast<float>(static_cast<long double>(b.Left) - d), b.Top,
         static_cast<float>(static_cast<long double>(b.Right) + d), b.Bottom};
  } else {
    long double q = static_cast<long double>(bw) / aw;
    q = q * ah;
    q = q - bh;
    const float d = static_cast<float>(q / 2);
    R = {b.Left, static_cast<float>(static_cast<long double>(b.Top) - d), b.Right,
         static_cast<float>(static_cast<long double>(b.Bottom) + d)};
  }
}

void OutwardRect(const TFloatRect& F, TRect& R) {
  R = {FloorToInt(F.Left), FloorToInt(F.Top), CeilToInt(F.Right), CeilToInt(F.Bottom)};
}

}  // namespace Kestrin
