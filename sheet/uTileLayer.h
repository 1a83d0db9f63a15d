// TTileLayer: the layer of the main view that draws the whole print sheet: a grid of cells
// on white, each showing the same crop of the photo scaled to the cell and outlined in grey.
#pragma once

#include <QImage>

#include "gfx/GR32_Layers.h"

namespace Kestrin {

constexpr TColor32 kCellColor = 0xFF999999;

class TTileLayer : public TPositionedLayer {
 public:
  explicit TTileLayer(TLayerCollection* owner);
  ~TTileLayer() override;

  // Size of one tile in sheet pixels; valid once the grid and the location are set.
  std::int32_t TileWidth() const;
  std::int32_t TileHeight() const;

  // Copies the bitmap (pixels and drawing properties) and sets the automatic crop: the
  // largest area of the tile's shape centred in the photo.
  void SetPhoto(const TBitmap32& photo);
  void SetGrid(std::int32_t cols, std::int32_t rows);
  void SetMargins(const TRect& margins);
  void SetGaps(std::int32_t horzGap, std::int32_t vertGap);
  void SetCropRect(const TRect& cropRect);

  // The owner may empty FPhoto directly (SetSize(0, 0)) and then call Changed().
  TBitmap32& FPhoto() { return FPhoto_; }
  const TBitmap32& FPhoto() const { return FPhoto_; }
  const TRect& FCropRect() const { return FCropRect_; }

  void Paint(TBitmap32& buffer) override;
  void Changed() override;

  // The full-resolution sheet as Paint's first two steps build it (white, cells, photo,
  // outlines), of the location's rounded size.
  const QImage& SheetImage();

 private:
  TRect CellRect(int col, int row) const;
  void BuildSheet();

  TBitmap32 FPhoto_;
  TRect FCropRect_;
  std::int32_t FRows = 0;
  std::int32_t FCols = 0;
  TRect FMargins;
  std::int32_t FVertGap = 0;
  std::int32_t FHorzGap = 0;

  // Caches: every cell shows the same crop at the same size, so the sheet is built from one
  // scaled cell and kept until something it depends on changes; the screen image is kept
  // per destination size. The output equals a rebuild on every paint, pixel for pixel.
  QImage FSheet;
  bool FSheetValid = false;
  qint64 FSheetPhotoKey = 0;
  TScaledImageCache FScreen;
};

}  // namespace Kestrin
