// TImgView32: a widget that shows one bitmap with layers on top, scaled and centred, and
// can render the same picture into any bitmap at scale 1. Painting goes through stages
// (background or a custom stage, the bitmap, the layers) into a buffer of the widget's size.
#pragma once

#include <QRegion>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "GR32.h"
#include "GR32_Layers.h"

namespace Kestrin {

class TImgView32 : public QWidget {
  Q_OBJECT

 public:
  enum TScaleMode {
    smNormal,   // the bitmap at Scale
    smOptimal,  // at Scale when it fits, otherwise shrunk uniformly to fit ("fit" mode)
  };
  enum TRepaintMode {
    rmFull,       // every repaint renders the whole buffer
    rmOptimizer,  // only the areas that changed are rendered, each with all stages
  };
  enum TPaintStageKind { PST_CUSTOM, PST_CLEAR_BACKGND, PST_DRAW_BITMAP, PST_DRAW_LAYERS };
  using TPaintStageEvent = std::function<void(TBitmap32& buffer, unsigned stageNum)>;

  explicit TImgView32(QWidget* parent = nullptr);
  ~TImgView32() override;

  // The shown bitmap. After changing it in place call BitmapChanged().
  TBitmap32& Bitmap() { return FBitmap; }
  const TBitmap32& Bitmap() const { return FBitmap; }
  void BitmapChanged();

  TLayerCollection* Layers() { return FLayers.get(); }
  std::vector<TPaintStageKind>& PaintStages() { return FPaintStages; }
  TPaintStageEvent OnPaintStage;

  // Background colour around and under the bitmap.
  TColor32 Color() const { return FColor; }
  void SetColor(TColor32 color);

  double Scale() const { return FScale; }
  void SetScale(double scale);
  TScaleMode ScaleMode() const { return FScaleMode; }
  void SetScaleMode(TScaleMode mode);
  bool Centered() const { return FCentered; }
  void SetCentered(bool centered);
  TRepaintMode RepaintMode() const { return FRepaintMode; }
  void SetRepaintMode(TRepaintMode mode) { FRepaintMode = mode; }

  // Current mapping of bitmap pixels to view pixels: view = bitmap * LayerScale + offset.
  float LayerScale() const;
  float LayerOffsetX() const;
  float LayerOffsetY() const;
  // The bitmap's rectangle on screen (rounded).
  TRect GetBitmapRect() const;
  // The area the bitmap is shown in (the widget's size).
  QSize ViewportSize() const { return size(); }

  // Renders background, bitmap and layers at scale 1, the bitmap's origin at destRect's
  // top-left, into dest, clipped to destRect.
  void PaintTo(TBitmap32& dest, const TRect& destRect);

  // The buffer as last rendered (for tests and benchmarks). RenderBuffer() brings it up
  // to date without going through the window system.
  const TBitmap32& Buffer() const { return FBuffer; }
  void RenderBuffer();

  void Invalidate();
  void InvalidateRect(const TRect& r);
  void LayerRemoved(TCustomLayer* layer);

 signals:
  void Resized();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  struct TMapping {
    double Scale = 1;
    double OffsetX = 0, OffsetY = 0;
    int DrawWidth = 0, DrawHeight = 0;  // the bitmap's size on screen
  };
  TMapping ComputeMapping() const;
  void RenderStages(TBitmap32& target, const TRect& clip);
  void DrawBitmapStage(TBitmap32& target);
  TCustomLayer* LayerAt(int x, int y) const;

  TBitmap32 FBitmap;
  TBitmap32 FBuffer;
  std::unique_ptr<TLayerCollection> FLayers;
  std::vector<TPaintStageKind> FPaintStages{PST_CLEAR_BACKGND, PST_DRAW_BITMAP, PST_DRAW_LAYERS};
  TColor32 FColor = 0xFF808080;
  double FScale = 1;
  TScaleMode FScaleMode = smNormal;
  bool FCentered = true;
  TRepaintMode FRepaintMode = rmFull;

  bool FBufferValid = false;
  QRegion FInvalid;
  // A mapping forced while PaintTo renders at scale 1.
  std::optional<TMapping> FRenderMapping;
  // The bitmap scaled to the screen, kept while the bitmap and its drawn size stay.
  TScaledImageCache FScaledBitmap;

  TCustomLayer* FMouseLayer = nullptr;
};

}  // namespace Kestrin
