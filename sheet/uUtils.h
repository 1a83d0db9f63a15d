// Geometry that places one rectangle inside another: the centred fit of a shape into
// bounds (integer and float) and the outward rounding of a float rectangle.
#pragma once

#include "gfx/GR32Types.h"

namespace Kestrin {

// R := the largest integer rectangle of A's shape centred in B, never larger than the exact
// fit (a fractional inset is rounded up). R may alias A or B. An A without area yields B.
void FitRect(const TRect& A, const TRect& B, TRect& R);

// The same on float rectangles, without rounding to integers. An A without area yields B.
void FitFloatRect(const TFloatRect& A, const TFloatRect& B, TFloatRect& R);

// R := the smallest integer rectangle that contains F.
void OutwardRect(const TFloatRect& F, TRect& R);

}  // namespace Kestrin
