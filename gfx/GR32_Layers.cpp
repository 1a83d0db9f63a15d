#include "GR32_Layers.h"

#include <algorithm>

#include "GR32_Image.h"

namespace Kestrin {

TCustomLayer::TCustomLayer(TLayerCollection* owner) {
  if (owner) owner->Insert(this);
}

TCustomLayer::~TCustomLayer() {
  if (FLayerCollection) FLayerCollection->Remove(this);
}

void TCustomLayer::SetVisible(bool visible) {
  if (visible == FVisible) return;
  Changing();
  FVisible = visible;
  // An invisible layer repaints nothing by itself; make the area it left repaint.
  if (FLayerCollection) FLayerCollection->LayerChanged(FOldArea, UpdateRect());
  FAreaKnown = false;
}

void TCustomLayer::Changing() {
  if (!FAreaKnown) {
    FOldArea = UpdateRect();
    FAreaKnown = true;
  }
}

void TCustomLayer::Changed() {
  const bool known = FAreaKnown;
  FAreaKnown = false;
  if (!FLayerCollection || !FVisible) return;
  FLayerCollection->LayerChanged(known ? FOldArea : std::nullopt, UpdateRect());
}

void TCustomLayer::MouseDown(Qt::MouseButton, Qt::KeyboardModifiers, int, int) {}
void TCustomLayer::MouseMove(Qt::KeyboardModifiers, int, int) {}
void TCustomLayer::MouseUp(Qt::MouseButton, Qt::KeyboardModifiers, int, int) {}
std::optional<Qt::CursorShape> TCustomLayer::CursorAt(int, int) const {
  return std::nullopt;
}

void TPositionedLayer::SetLocation(const TFloatRect& location) {
  if (location == FLocation) return;
  Changing();
  FLocation = location;
  Changed();
}

void TPositionedLayer::SetScaled(bool scaled) {
  if (scaled == FScaled) return;
  Changing();
  FScaled = scaled;
  Changed();
}

TFloatRect TPositionedLayer::GetAdjustedLocation() const {
  if (!FScaled || !LayerCollection()) return FLocation;
  // Computed in extended precision, then stored as floats like the location itself.
  const long double s = LayerCollection()->Scale();
  const long double ox = LayerCollection()->OffsetX();
  const long double oy = LayerCollection()->OffsetY();
  return {static_cast<float>(FLocation.Left * s + ox), static_cast<float>(FLocation.Top * s + oy),
          static_cast<float>(FLocation.Right * s + ox),
          static_cast<float>(FLocation.Bottom * s + oy)};
}

std::optional<TRect> TPositionedLayer::UpdateRect() const {
  const TFloatRect a = GetAdjustedLocation();
  const int m = UpdateMargin();
  return TRect{FloorToInt(a.Left) - m, FloorToInt(a.Top) - m, CeilToInt(a.Right) + m,
               CeilToInt(a.Bottom) + m};
}

TLayerCollection::~TLayerCollection() {
  Clear();
}

void TLayerCollection::Clear() {
  if (FItems.empty()) return;
  FClearing = true;
  auto items = std::move(FItems);
  FItems.clear();
  for (auto& layer : items) {
    layer->FLayerCollection = nullptr;
    // The view must not keep a layer that holds the mouse once it is freed.
    if (FOwner) FOwner->LayerRemoved(layer.get());
  }
  items.clear();
  FClearing = false;
  if (FOwner) FOwner->Invalidate();
}

void TLayerCollection::Insert(TCustomLayer* layer) {
  layer->FLayerCollection = this;
  FItems.emplace_back(layer);
  if (FOwner) FOwner->Invalidate();
}

void TLayerCollection::Remove(TCustomLayer* layer) {
  auto it = std::find_if(FItems.begin(), FItems.end(),
                         [layer](const auto& p) { return p.get() == layer; });
  if (it == FItems.end()) return;
  it->release();  // the layer is being destroyed by its own destructor
  FItems.erase(it);
  layer->FLayerCollection = nullptr;
  if (FOwner) {
    FOwner->LayerRemoved(layer);
    FOwner->Invalidate();
  }
}

float TLayerCollection::Scale() const {
  return FOwner ? FOwner->LayerScale() : 1.0f;
}
float TLayerCollection::OffsetX() const {
  return FOwner ? FOwner->LayerOffsetX() : 0.0f;
}
float TLayerCollection::OffsetY() const {
  return FOwner ? FOwner->LayerOffsetY() : 0.0f;
}

void TLayerCollection::LayerChanged(const std::optional<TRect>& oldArea,
                                    const std::optional<TRect>& newArea) {
  if (!FOwner || FClearing) return;
  if (!oldArea || !newArea) {
    FOwner->Invalidate();
    return;
  }
  FOwner->InvalidateRect(*oldArea);
  FOwner->InvalidateRect(*newArea);
}

}  // namespace Kestrin
