#include "uTileLayer.h"

#include <cstring>

#include "sheet/uUtils.h"
#include "uErrors.h"

namespace Kestrin {

TTileLayer::TTileLayer(TLayerCollection* owner) : TPositionedLayer(owner) {}

TTileLayer::~TTileLayer() = default;

std::int32_t TTileLayer::TileWidth() const {
  const std::int32_t w =
      RoundHalfEven(static_cast<long double>(Location().Right) - Location().Left);
  if (FCols <= 0) return 0;
  return (w - FMargins.Right - FMargins.Left - (FCols - 1) * FHorzGap) / FCols;
}

std::int32_t TTileLayer::TileHeight() const {
  const std::int32_t h =
      RoundHalfEven(static_cast<long double>(Location().Bottom) - Location().Top);
  if (FRows <= 0) return 0;
  return (h - FMargins.Top - FMargins.Bottom - (FRows - 1) * FVertGap) / FRows;
}

void TTileLayer::SetPhoto(const TBitmap32& photo) {
  Changing();
  FPhoto_.Assign(photo);
  FitRect({0, 0, TileWidth(), TileHeight()}, FPhoto_.BoundsRect(), FCropRect_);
  Changed();
}

void TTileLayer::SetGrid(std::int32_t cols, std::int32_t rows) {
  Changing();
  FCols = cols;
  FRows = rows;
  Changed();
}

void TTileLayer::SetMargins(const TRect& margins) {
  Changing();
  FMargins = margins;
  Changed();
}

void TTileLayer::SetGaps(std::int32_t horzGap, std::int32_t vertGap) {
  Changing();
  FHorzGap = horzGap;
  FVertGap = vertGap;
  Changed();
}

void TTileLayer::SetCropRect(const TRect& cropRect) {
  Changing();
  FCropRect_ = cropRect;
  Changed();
}

void TTileLayer::Changed() {
  FSheetValid = false;
  TPositionedLayer::Changed();
}

TRect TTileLayer::CellRect(int col, int row) const {
  const std::int32_t tw = TileWidth(), th = TileHeight();
  const std::int32_t left = col * (tw + FHorzGap) + FMargins.Left;
  const std::int32_t top = row * (th + FVertGap) + FMargins.Top;
  return {left, top, left + tw, top + th};
}

void TTileLayer::BuildSheet() {
  const TFloatRect loc = Location();
  const std::int32_t w = RoundHalfEven(loc.Right) - RoundHalfEven(loc.Left);
  const std::int32_t h = RoundHalfEven(loc.Bottom) - RoundHalfEven(loc.Top);
  TBitmap32 sheet(std::max(w, 0), std::max(h, 0));
  sheet.Clear(clWhite32);
  if (!sheet.Empty() && FRows > 0 && FCols > 0) {
    const std::int32_t tw = TileWidth(), th = TileHeight();
    // The one scaled cell that every tile shows. The crop is clipped to the photo first, so
    // that a crop reaching outside it never reads outside the bitmap.
    TBitmap32 cell;
    const bool hasPhoto = !FPhoto_.Empty();
    if (hasPhoto && tw > 0 && th > 0) {
      cell.SetSize(tw, th);
      cell.Clear(clWhite32);
      cell.Draw(cell.BoundsRect(), FCropRect_, FPhoto_);
    }
    for (int r = 0; r < FRows; ++r) {
      for (int c = 0; c < FCols; ++c) {
        const TRect cellRect = CellRect(c, r);
        if (!hasPhoto) {
          sheet.FillRectS(cellRect, kCellColor);
        } else if (!cell.Empty() && !FCropRect_.IsEmpty()) {
          // Cells are drawn by copy from the scaled cell; an empty crop draws nothing and
          // leaves the cell white inside its outline.
          BlitImage(sheet.Image(), cellRect.Left, cellRect.Top, cell.Image(), sheet.ClipRect());
        }
        sheet.FrameRectS(cellRect, kCellColor);
      }
    }
  }
  FSheet = sheet.Image();
  FSheetPhotoKey = FPhoto_.CacheKey();
  FSheetValid = true;
}

const QImage& TTileLayer::SheetImage() {
  if (!FSheetValid || FSheetPhotoKey != FPhoto_.CacheKey()) BuildSheet();
  return FSheet;
}

void TTileLayer::Paint(TBitmap32& buffer) {
  const QImage& sheet = SheetImage();
  if (sheet.isNull()) return;
  const TRect dst = RoundRect(GetAdjustedLocation());
  if (dst.IsEmpty()) return;
  const TRect clip = buffer.ClipRect();
  if (dst.Width() == sheet.width() && dst.Height() == sheet.height()) {
    BlitImage(buffer.Image(), dst.Left, dst.Top, sheet, clip);  // one to one
    return;
  }
  // The sheet reaches the screen through the photo's resampler.
  BlitImage(buffer.Image(), dst.Left, dst.Top,
            FScreen.Get(sheet, dst.Width(), dst.Height(), FPhoto_.Resampler()), clip);
}

}  // namespace Kestrin
