// Layers of the image view: a collection that owns its layers, a base layer with change
// notifications and mouse hooks, and the positioned layer with a float location.
#pragma once

#include <QCursor>
#include <memory>
#include <optional>
#include <vector>

#include "GR32.h"

namespace Kestrin {

class TImgView32;
class TLayerCollection;

class TCustomLayer {
 public:
  // Creates the layer inside owner, which owns it from then on (null: a free layer).
  explicit TCustomLayer(TLayerCollection* owner);
  virtual ~TCustomLayer();
  TCustomLayer(const TCustomLayer&) = delete;
  TCustomLayer& operator=(const TCustomLayer&) = delete;

  TLayerCollection* LayerCollection() const { return FLayerCollection; }
  bool Visible() const { return FVisible; }
  void SetVisible(bool visible);

  // Paints the layer into the view's buffer; respects buffer.ClipRect().
  virtual void Paint(TBitmap32& buffer) { (void)buffer; }

  // Change notifications: Changing() before a change, Changed() after it. Changed() makes
  // the view repaint what the layer covered before and covers now. A layer outside a
  // collection, or invisible, causes no repaint.
  void Changing();
  virtual void Changed();

  // Mouse handling, in view (buffer) coordinates. A layer that answers true to HitTest
  // receives the press and every move until the release.
  virtual bool HitTest(int x, int y) const {
    (void)x, (void)y;
    return false;
  }
  virtual void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
  virtual void MouseMove(Qt::KeyboardModifiers shift, int x, int y);
  virtual void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
  // The cursor over (x, y) while no button is down, or none for the view's own.
  virtual std::optional<Qt::CursorShape> CursorAt(int x, int y) const;

 protected:
  // The part of the buffer the layer paints on; nullopt means "anywhere".
  virtual std::optional<TRect> UpdateRect() const { return std::nullopt; }

 private:
  friend class TLayerCollection;
  TLayerCollection* FLayerCollection = nullptr;
  bool FVisible = true;
  std::optional<TRect> FOldArea;
  bool FAreaKnown = false;
};

class TPositionedLayer : public TCustomLayer {
 public:
  explicit TPositionedLayer(TLayerCollection* owner) : TCustomLayer(owner) {}

  const TFloatRect& Location() const { return FLocation; }
  void SetLocation(const TFloatRect& location);
  bool Scaled() const { return FScaled; }
  void SetScaled(bool scaled);

  // The location mapped into buffer coordinates: with the scaled flag through the view's
  // scale and offset, without it unchanged.
  TFloatRect GetAdjustedLocation() const;

 protected:
  std::optional<TRect> UpdateRect() const override;
  // Extra pixels around the location that the layer paints on (handles, outlines).
  virtual int UpdateMargin() const { return 1; }

 private:
  TFloatRect FLocation{0, 0, 64, 64};
  bool FScaled = false;
};

class TLayerCollection {
 public:
  explicit TLayerCollection(TImgView32* owner) : FOwner(owner) {}
  ~TLayerCollection();
  TLayerCollection(const TLayerCollection&) = delete;
  TLayerCollection& operator=(const TLayerCollection&) = delete;

  int Count() const { return static_cast<int>(FItems.size()); }
  TCustomLayer* Items(int index) const { return FItems.at(index).get(); }
  // Frees every layer.
  void Clear();
  TImgView32* Owner() const { return FOwner; }

  // Mapping of layer coordinates for scaled layers (set by the view).
  float Scale() const;
  float OffsetX() const;
  float OffsetY() const;

  // Called by layers.
  void Insert(TCustomLayer* layer);
  void Remove(TCustomLayer* layer);
  void LayerChanged(const std::optional<TRect>& oldArea, const std::optional<TRect>& newArea);

 private:
  TImgView32* FOwner;
  std::vector<std::unique_ptr<TCustomLayer>> FItems;
  bool FClearing = false;
};

}  // namespace Kestrin
