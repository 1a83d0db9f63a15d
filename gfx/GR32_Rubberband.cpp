#include "GR32_Rubberband.h"

#include <cstdlib>

namespace Kestrin {

namespace {

using LD = long double;

bool AffectsLeft(TDragState s) {
  return s == dsSizeL || s == dsSizeTL || s == dsSizeBL;
}
bool AffectsRight(TDragState s) {
  return s == dsSizeR || s == dsSizeTR || s == dsSizeBR;
}
bool AffectsTop(TDragState s) {
  return s == dsSizeT || s == dsSizeTL || s == dsSizeTR;
}
bool AffectsBottom(TDragState s) {
  return s == dsSizeB || s == dsSizeBL || s == dsSizeBR;
}

}  // namespace

TRubberbandLayer::TRubberbandLayer(TLayerCollection* owner) : TPositionedLayer(owner) {}

void TRubberbandLayer::SetHandles(TRBHandles handles) {
  if (handles == FHandles) return;
  Changing();
  FHandles = handles;
  Changed();
}

void TRubberbandLayer::SetHandleSize(int size) {
  if (size < 1) size = 1;
  if (size == FHandleSize) return;
  Changing();
  FHandleSize = size;
  Changed();
}

void TRubberbandLayer::SetHandleFrame(TColor32 color) {
  if (color == FHandleFrame) return;
  FHandleFrame = color;
  Changed();
}

void TRubberbandLayer::SetHandleFill(TColor32 color) {
  if (color == FHandleFill) return;
  FHandleFill = color;
  Changed();
}

void TRubberbandLayer::SetFrameStipple(const std::vector<TColor32>& pattern) {
  FFrameStipple = pattern;
  Changed();
}

bool TRubberbandLayer::HasHandle(TDragState state) const {
  const auto corner = [this](unsigned notFlag) {
    return (FHandles & rhCorners) != 0 && (FHandles & notFlag) == 0;
  };
  const auto side = [this](unsigned notFlag) {
    return (FHandles & rhSides) != 0 && (FHandles & notFlag) == 0;
  };
  switch (state) {
    case dsMove:
      return (FHandles & rhCenter) != 0;
    case dsSizeL:
      return side(rhNotLeftSide);
    case dsSizeR:
      return side(rhNotRightSide);
    case dsSizeT:
      return side(rhNotTopSide);
    case dsSizeB:
      return side(rhNotBottomSide);
    case dsSizeTL:
      return corner(rhNotTLCorner);
    case dsSizeTR:
      return corner(rhNotTRCorner);
    case dsSizeBL:
      return corner(rhNotBLCorner);
    case dsSizeBR:
      return corner(rhNotBRCorner);
    case dsNone:
      break;
  }
  return false;
}

TRect TRubberbandLayer::ScreenRect() const {
  return RoundRect(GetAdjustedLocation());
}

int TRubberbandLayer::UpdateMargin() const {
  // Handle squares reach FHandleSize past the rounded edge; one more pixel for rounding.
  if ((FHandles & (rhCorners | rhSides)) == 0) return 1;
  return FHandleSize + 2;
}

TDragState TRubberbandLayer::GetDragState(int x, int y) const {
  const TRect s = ScreenRect();
  const int t = FHandleSize + 1;
  const int l = s.Left, r = s.Right - 1, top = s.Top, b = s.Bottom - 1;
  const auto near = [t](int a, int b) { return std::abs(a - b) <= t; };
  // Corners first, so that a corner wins over the side and the inside next to it.
  if (HasHandle(dsSizeBR) && near(x, r) && near(y, b)) return dsSizeBR;
  if (HasHandle(dsSizeBL) && near(x, l) && near(y, b)) return dsSizeBL;
  if (HasHandle(dsSizeTR) && near(x, r) && near(y, top)) return dsSizeTR;
  if (HasHandle(dsSizeTL) && near(x, l) && near(y, top)) return dsSizeTL;
  const bool inX = x >= l && x <= r, inY = y >= top && y <= b;
  if (HasHandle(dsSizeL) && near(x, l) && inY) return dsSizeL;
  if (HasHandle(dsSizeR) && near(x, r) && inY) return dsSizeR;
  if (HasHandle(dsSizeT) && near(y, top) && inX) return dsSizeT;
  if (HasHandle(dsSizeB) && near(y, b) && inX) return dsSizeB;
  if (HasHandle(dsMove) && x >= s.Left && x < s.Right - 1 && y >= s.Top && y < s.Bottom - 1)
    return dsMove;
  return dsNone;
}

bool TRubberbandLayer::HitTest(int x, int y) const {
  return GetDragState(x, y) != dsNone;
}

std::optional<Qt::CursorShape> TRubberbandLayer::CursorAt(int x, int y) const {
  switch (GetDragState(x, y)) {
    case dsNone:
      return std::nullopt;
    case dsMove:
      return Qt::ArrowCursor;
    case dsSizeL:
    case dsSizeR:
      return Qt::SizeHorCursor;
    case dsSizeT:
    case dsSizeB:
      return Qt::SizeVerCursor;
    case dsSizeTL:
    case dsSizeBR:
      return Qt::SizeFDiagCursor;
    case dsSizeTR:
    case dsSizeBL:
      return Qt::SizeBDiagCursor;
  }
  return std::nullopt;
}

void TRubberbandLayer::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers, int x, int y) {
  if (FIsDragging || button != Qt::LeftButton) return;
  const TDragState state = GetDragState(x, y);
  if (state == dsNone) return;
  FDragState = state;
  FIsDragging = true;
  FOldLocation = Location();
  if (state == dsMove) {
    // Where the pointer holds the frame, relative to its unrounded on-screen corner.
    const TFloatRect a = GetAdjustedLocation();
    FGrabX = static_cast<float>(x - static_cast<LD>(a.Left));
    FGrabY = static_cast<float>(y - static_cast<LD>(a.Top));
  } else {
    FGrabX = FGrabY = 0;
  }
}

void TRubberbandLayer::MouseMove(Qt::KeyboardModifiers shift, int x, int y) {
  if (!FIsDragging) return;
  const TFloatRect a = GetAdjustedLocation();
  const TFloatRect loc = Location();
  const LD aw = static_cast<LD>(a.Right) - a.Left, ah = static_cast<LD>(a.Bottom) - a.Top;
  if (!(aw > 0) || !(ah > 0)) return;  // nothing on screen to map the pointer through

  // The pointer (less the grab offset) in location units.
  float mx = static_cast<float>(x - static_cast<LD>(FGrabX));
  float my = static_cast<float>(y - static_cast<LD>(FGrabY));
  mx = static_cast<float>(
      (mx - static_cast<LD>(a.Left)) / aw * (static_cast<LD>(loc.Right) - loc.Left) + loc.Left);
  my = static_cast<float>(
      (my - static_cast<LD>(a.Top)) / ah * (static_cast<LD>(loc.Bottom) - loc.Top) + loc.Top);

  TFloatRect n = FOldLocation;
  const float w = static_cast<float>(static_cast<LD>(n.Right) - n.Left);
  const float h = static_cast<float>(static_cast<LD>(n.Bottom) - n.Top);
  const bool maxW = FMaxWidth >= FMinWidth, maxH = FMaxHeight >= FMinHeight;
  if (FDragState == dsMove) {
    n.Left = mx;
    n.Top = my;
    n.Right = static_cast<float>(static_cast<LD>(n.Left) + w);
    n.Bottom = static_cast<float>(static_cast<LD>(n.Top) + h);
  } else {
    if (AffectsLeft(FDragState)) {
      n.Left = mx;
      const LD width = static_cast<LD>(n.Right) - n.Left;
      if (width < FMinWidth)
        n.Left = static_cast<float>(static_cast<LD>(n.Right) - FMinWidth);
      else if (maxW && width > FMaxWidth)
        n.Left = static_cast<float>(static_cast<LD>(n.Right) - FMaxWidth);
    }
    if (AffectsRight(FDragState)) {
      n.Right = mx;
      const LD width = static_cast<LD>(n.Right) - n.Left;
      if (width < FMinWidth)
        n.Right = static_cast<float>(static_cast<LD>(n.Left) + FMinWidth);
      else if (maxW && width > FMaxWidth)
        n.Right = static_cast<float>(static_cast<LD>(n.Left) + FMaxWidth);
    }
    if (AffectsTop(FDragState)) {
      n.Top = my;
      const LD height = static_cast<LD>(n.Bottom) - n.Top;
      if (height < FMinHeight)
        n.Top = static_cast<float>(static_cast<LD>(n.Bottom) - FMinHeight);
      else if (maxH && height > FMaxHeight)
        n.Top = static_cast<float>(static_cast<LD>(n.Bottom) - FMaxHeight);
    }
    if (AffectsBottom(FDragState)) {
      n.Bottom = my;
      const LD height = static_cast<LD>(n.Bottom) - n.Top;
      if (height < FMinHeight)
        n.Bottom = static_cast<float>(static_cast<LD>(n.Top) + FMinHeight);
      else if (maxH && height > FMaxHeight)
        n.Bottom = static_cast<float>(static_cast<LD>(n.Top) + FMaxHeight);
    }
  }

  if (OnResizing) OnResizing(this, FOldLocation, n, FDragState, shift);
  if (!(n == Location())) SetLocation(n);
}

void TRubberbandLayer::MouseUp(Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
  FIsDragging = false;
  FDragState = dsNone;
}

void TRubberbandLayer::Paint(TBitmap32& buffer) {
  const TRect s = ScreenRect();
  if ((FHandles & rhFrame) != 0 && !s.IsEmpty() && !FFrameStipple.empty()) {
    if (FFrameStipple.size() == 1) {
      buffer.FrameRectS(s, FFrameStipple.front());
    } else {
      // The pattern runs clockwise round the outline from the top-left pixel.
      const TRect clip = buffer.ClipRect();
      const size_t n = FFrameStipple.size();
      size_t i = 0;
      const auto plot = [&](int x, int y) {
        if (x >= clip.Left && x < clip.Right && y >= clip.Top && y < clip.Bottom)
          buffer.SetPixel(x, y, FFrameStipple[i % n]);
        ++i;
      };
      const int r = s.Right - 1, b = s.Bottom - 1;
      for (int x = s.Left; x <= r; ++x) plot(x, s.Top);
      for (int y = s.Top + 1; y <= b; ++y) plot(r, y);
      if (b > s.Top)
        for (int x = r - 1; x >= s.Left; --x) plot(x, b);
      if (r > s.Left)
        for (int y = b - 1; y > s.Top; --y) plot(s.Left, y);
    }
  }

  const int hs = FHandleSize;
  const auto handle = [&](int cx, int cy) {
    const TRect h{cx - hs, cy - hs, cx + hs, cy + hs};
    buffer.FillRectS(h, FHandleFill);
    buffer.FrameRectS(h, FHandleFrame);
  };
  const int mx = s.Left + (s.Right - s.Left) / 2, my = s.Top + (s.Bottom - s.Top) / 2;
  if (HasHandle(dsSizeL)) handle(s.Left, my);
  if (HasHandle(dsSizeR)) handle(s.Right, my);
  if (HasHandle(dsSizeT)) handle(mx, s.Top);
  if (HasHandle(dsSizeB)) handle(mx, s.Bottom);
  if (HasHandle(dsSizeTL)) handle(s.Left, s.Top);
  if (HasHandle(dsSizeTR)) handle(s.Right, s.Top);
  if (HasHandle(dsSizeBL)) handle(s.Left, s.Bottom);
  if (HasHandle(dsSizeBR)) handle(s.Right, s.Bottom);
}

}  // namespace Kestrin
