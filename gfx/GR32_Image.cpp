#include "GR32_Image.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace Kestrin {

TImgView32::TImgView32(QWidget* parent)
    : QWidget(parent), FLayers(std::make_unique<TLayerCollection>(this)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
}

TImgView32::~TImgView32() {
  FMouseLayer = nullptr;
  FLayers->Clear();
}

void TImgView32::BitmapChanged() {
  Invalidate();
}

void TImgView32::SetColor(TColor32 color) {
  FColor = color;
  Invalidate();
}
void TImgView32::SetScale(double scale) {
  FScale = scale > 0 ? scale : 1;
  Invalidate();
}
void TImgView32::SetScaleMode(TScaleMode mode) {
  FScaleMode = mode;
  Invalidate();
}
void TImgView32::SetCentered(bool centered) {
  FCentered = centered;
  Invalidate();
}

TImgView32::TMapping TImgView32::ComputeMapping() const {
  if (FRenderMapping) return *FRenderMapping;
  TMapping m;
  const int bw = FBitmap.Width(), bh = FBitmap.Height();
  const int vw = width(), vh = height();
  m.Scale = FScale;
  m.DrawWidth = RoundHalfEven(bw * FScale);
  m.DrawHeight = RoundHalfEven(bh * FScale);
  if (FScaleMode == smOptimal && bw > 0 && bh > 0 && vw > 0 && vh > 0 &&
      (m.DrawWidth > vw || m.DrawHeight > vh)) {
    // Shrunk to fit with the aspect ratio kept: the tighter direction fills the view, the
    // other is the photo's size at that scale to the nearest pixel.
    const double sx = static_cast<double>(vw) / bw, sy = static_cast<double>(vh) / bh;
    if (sx >= sy) {
      m.Scale = sy;
      m.DrawWidth = RoundHalfEven(bw * sy);
      m.DrawHeight = vh;
    } else {
      m.Scale = sx;
      m.DrawWidth = vw;
      m.DrawHeight = RoundHalfEven(bh * sx);
    }
  }
  if (FCentered) {
    // Whole pixels, so that the bitmap and the layers mapped with it share their edges.
    m.OffsetX = (vw - m.DrawWidth) / 2;
    m.OffsetY = (vh - m.DrawHeight) / 2;
  }
  return m;
}

float TImgView32::LayerScale() const {
  return static_cast<float>(ComputeMapping().Scale);
}
float TImgView32::LayerOffsetX() const {
  return static_cast<float>(ComputeMapping().OffsetX);
}
float TImgView32::LayerOffsetY() const {
  return static_cast<float>(ComputeMapping().OffsetY);
}

TRect TImgView32::GetBitmapRect() const {
  const TMapping m = ComputeMapping();
  const int left = RoundHalfEven(m.OffsetX), top = RoundHalfEven(m.OffsetY);
  return {left, top, left + m.DrawWidth, top + m.DrawHeight};
}

void TImgView32::Invalidate() {
  FBufferValid = false;
  FInvalid = QRegion();
  update();
}

void TImgView32::InvalidateRect(const TRect& r) {
  if (FRepaintMode == rmFull) {
    Invalidate();
    return;
  }
  const QRect q = r.ToQRect().intersected(rect());
  if (q.isEmpty()) return;
  FInvalid += q;
  update(q);
}

void TImgView32::LayerRemoved(TCustomLayer* layer) {
  if (FMouseLayer == layer) FMouseLayer = nullptr;
}

void TImgView32::DrawBitmapStage(TBitmap32& target) {
  if (FBitmap.Empty()) return;
  const TRect r = GetBitmapRect();
  if (r.Width() == FBitmap.Width() && r.Height() == FBitmap.Height()) {
    target.Draw(r, FBitmap.BoundsRect(), FBitmap);
    return;
  }
  if (r.IsEmpty()) return;
  // Scaling the whole bitmap is the expensive part of a repaint: keep the result while
  // neither the bitmap nor its drawn size change.
  BlitImage(target.Image(), r.Left, r.Top,
            FScaledBitmap.Get(FBitmap.Image(), r.Width(), r.Height(), FBitmap.Resampler()),
            target.ClipRect());
}

void TImgView32::RenderStages(TBitmap32& target, const TRect& clip) {
  for (unsigned i = 0; i < FPaintStages.size(); ++i) {
    target.SetClipRect(clip);
    switch (FPaintStages[i]) {
      case PST_CUSTOM:
        if (OnPaintStage) OnPaintStage(target, i);
        break;
      case PST_CLEAR_BACKGND:
        target.FillRectS(clip, FColor);
        break;
      case PST_DRAW_BITMAP:
        DrawBitmapStage(target);
        break;
      case PST_DRAW_LAYERS:
        for (int l = 0; l < FLayers->Count(); ++l) {
          TCustomLayer* layer = FLayers->Items(l);
          if (layer->Visible()) {
            target.SetClipRect(clip);
            layer->Paint(target);
          }
        }
        break;
    }
  }
  target.ResetClipRect();
}

void TImgView32::RenderBuffer() {
  if (FBuffer.Width() != width() || FBuffer.Height() != height()) {
    FBuffer.SetSize(width(), height());
    FBufferValid = false;
  }
  if (FBuffer.Empty()) return;
  if (!FBufferValid) {
    RenderStages(FBuffer, FBuffer.BoundsRect());
    FBufferValid = true;
  } else {
    for (const QRect& q : FInvalid) RenderStages(FBuffer, TRect::FromQRect(q));
  }
  FInvalid = QRegion();
}

void TImgView32::PaintTo(TBitmap32& dest, const TRect& destRect) {
  FRenderMapping = TMapping{1.0, static_cast<double>(destRect.Left),
                            static_cast<double>(destRect.Top), FBitmap.Width(), FBitmap.Height()};
  try {
    RenderStages(dest, destRect.Intersected(dest.BoundsRect()));
  } catch (...) {
    FRenderMapping.reset();
    throw;
  }
  FRenderMapping.reset();
}

void TImgView32::paintEvent(QPaintEvent* event) {
  RenderBuffer();
  QPainter painter(this);
  if (FBuffer.Empty()) return;
  for (const QRect& r : event->region()) painter.drawImage(r, FBuffer.Image(), r);
}

void TImgView32::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Invalidate();
  emit Resized();
}

TCustomLayer* TImgView32::LayerAt(int x, int y) const {
  for (int i = FLayers->Count() - 1; i >= 0; --i) {
    TCustomLayer* layer = FLayers->Items(i);
    if (layer->Visible() && layer->HitTest(x, y)) return layer;
  }
  return nullptr;
}

void TImgView32::mousePressEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (!FMouseLayer) FMouseLayer = LayerAt(p.x(), p.y());
  if (FMouseLayer) FMouseLayer->MouseDown(event->button(), event->modifiers(), p.x(), p.y());
  event->accept();
}

void TImgView32::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (FMouseLayer) {
    FMouseLayer->MouseMove(event->modifiers(), p.x(), p.y());
  } else {
    std::optional<Qt::CursorShape> shape;
    if (TCustomLayer* layer = LayerAt(p.x(), p.y())) shape = layer->CursorAt(p.x(), p.y());
    if (shape)
      setCursor(*shape);
    else
      unsetCursor();
  }
  event->accept();
}

void TImgView32::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (TCustomLayer* layer = FMouseLayer) {
    if (event->buttons() == Qt::NoButton) FMouseLayer = nullptr;
    layer->MouseUp(event->button(), event->modifiers(), p.x(), p.y());
  }
  event->accept();
}

}  // namespace Kestrin
