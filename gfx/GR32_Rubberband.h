// TRubberbandLayer: a rectangular frame over the view that the user moves by dragging inside
// it and resizes by its handles. Which handles exist is chosen by a flag set; the frame can
// have a minimum (and maximum) size, and an event lets the owner correct every drag step
// before it is applied.
#pragma once

#include <functional>
#include <vector>

#include "GR32_Layers.h"

namespace Kestrin {

// What the current drag does, in this order.
enum TDragState {
  dsNone,
  dsMove,
  dsSizeL,
  dsSizeT,
  dsSizeR,
  dsSizeB,
  dsSizeTL,
  dsSizeTR,
  dsSizeBL,
  dsSizeBR,
};

// Handle flags; a handle set is the sum of its flags.
enum TRBHandle : unsigned {
  rhCenter = 1u << 0,       // move by dragging inside the frame
  rhSides = 1u << 1,        // side handles
  rhCorners = 1u << 2,      // corner handles
  rhFrame = 1u << 3,        // outline
  rhNotLeftSide = 1u << 4,  // suppressions of single handles
  rhNotRightSide = 1u << 5,
  rhNotTopSide = 1u << 6,
  rhNotBottomSide = 1u << 7,
  rhNotTLCorner = 1u << 8,
  rhNotTRCorner = 1u << 9,
  rhNotBLCorner = 1u << 10,
  rhNotBRCorner = 1u << 11,
};
using TRBHandles = unsigned;

class TRubberbandLayer : public TPositionedLayer {
 public:
  using TRBResizingEvent = std::function<void(
      TRubberbandLayer* sender, const TFloatRect& oldLocation, TFloatRect& newLocation,
      TDragState dragState, Qt::KeyboardModifiers shift)>;

  explicit TRubberbandLayer(TLayerCollection* owner);

  // Called on every drag step with the location at the drag's start and the proposed new
  // location, which the handler may correct before it is applied.
  TRBResizingEvent OnResizing;

  TRBHandles Handles() const { return FHandles; }
  void SetHandles(TRBHandles handles);
  // Half the side of a handle square, in view pixels; values below 1 count as 1.
  int HandleSize() const { return FHandleSize; }
  void SetHandleSize(int size);
  TColor32 HandleFrame() const { return FHandleFrame; }
  void SetHandleFrame(TColor32 color);
  TColor32 HandleFill() const { return FHandleFill; }
  void SetHandleFill(TColor32 color);
  // Colours the outline repeats pixel by pixel along its way round; one entry is a solid line.
  const std::vector<TColor32>& FrameStipple() const { return FFrameStipple; }
  void SetFrameStipple(const std::vector<TColor32>& pattern);

  // Limits of sizing drags, in location units. A maximum counts only when it is at least the
  // minimum (so 0 means none).
  float MinWidth() const { return FMinWidth; }
  float MinHeight() const { return FMinHeight; }
  float MaxWidth() const { return FMaxWidth; }
  float MaxHeight() const { return FMaxHeight; }
  void SetMinWidth(float v) { FMinWidth = v; }
  void SetMinHeight(float v) { FMinHeight = v; }
  void SetMaxWidth(float v) { FMaxWidth = v; }
  void SetMaxHeight(float v) { FMaxHeight = v; }

  bool IsDragging() const { return FIsDragging; }
  TDragState DragState() const { return FDragState; }

  // What a press at (x, y) (view pixels) would start.
  TDragState GetDragState(int x, int y) const;

  void Paint(TBitmap32& buffer) override;
  bool HitTest(int x, int y) const override;
  void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) override;
  void MouseMove(Qt::KeyboardModifiers shift, int x, int y) override;
  void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) override;
  std::optional<Qt::CursorShape> CursorAt(int x, int y) const override;

 protected:
  int UpdateMargin() const override;

 private:
  bool HasHandle(TDragState state) const;
  // The location on screen, each side rounded to the nearest pixel.
  TRect ScreenRect() const;

  TRBHandles FHandles = rhCenter | rhSides | rhCorners | rhFrame;
  int FHandleSize = 3;
  TColor32 FHandleFrame = clBlack32;
  TColor32 FHandleFill = clWhite32;
  std::vector<TColor32> FFrameStipple{clWhite32, clWhite32, clBlack32, clBlack32};
  float FMinWidth = 10, FMinHeight = 10;
  float FMaxWidth = 0, FMaxHeight = 0;

  bool FIsDragging = false;
  TDragState FDragState = dsNone;
  TFloatRect FOldLocation;
  float FGrabX = 0, FGrabY = 0;
};

}  // namespace Kestrin
