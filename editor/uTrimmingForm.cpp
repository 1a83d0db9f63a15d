#include "uTrimmingForm.h"

#include <QFrame>
#include <QHideEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QThread>
#include <QToolBar>
#include <QToolButton>
#include <QtConcurrent/QtConcurrentMap>
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "common/uErrors.h"
#include "gfx/uPhotoLoader.h"
#include "sheet/uUtils.h"
#include "ui/uForms.h"
#include "ui/uMessages.h"

namespace Kestrin {

namespace {

using LD = long double;

// ---------------------------------------------------------------------------------------
// Brightness
//
// Every pixel goes through a hue-saturation-value decomposition (value = largest channel),
// the value is scaled by (10 + step) / 10 and capped to [0, 1], and the colour is built
// again. All intermediates are 32-bit floats, each operation evaluated in extended precision
// and rounded to float when stored; the final x * 255 is floored unrounded.
//
// The result depends on the pixel's RGB only. Everything that depends on the largest channel
// alone (the new value) or on the largest and smallest channels (saturation and the smallest
// output channel) is tabulated once per call; only the hue and the two channels that depend
// on it are computed per pixel. The arithmetic is the same operation for operation, so the
// output is identical to evaluating every step for every pixel. X is the type the per-pixel
// expressions are evaluated in before each result is rounded to float.

struct TLightnessTables {
  std::array<float, 256> Unit;      // k / 255
  std::array<float, 256> Value;     // new value for a largest channel k
  std::array<quint8, 256> ValueCh;  // floor(Value * 255)
  std::vector<float> Sat;           // [max * 256 + min]: saturation
  std::vector<quint8> LowCh;        // [max * 256 + min]: floor(p * 255)
};

// floor(x * 255) limited to 0..255. x * 255 is exact in double (a float times an 8-bit
// integer), so no rounding precedes the floor; and since anything below 0 becomes 0 anyway,
// truncation toward zero gives the same result as floor.
inline int Channel(float x) {
  return std::clamp(static_cast<int>(static_cast<double>(x) * 255), 0, 255);
}

void BuildLightnessTables(int step, TLightnessTables& t) {
  for (int k = 0; k < 256; ++k) t.Unit[k] = static_cast<float>(static_cast<LD>(k) / 255);
  for (int k = 0; k < 256; ++k) {
    float v = t.Unit[k];
    v = static_cast<float>(v + static_cast<LD>(step) * v / 10);
    if (v > 1)
      v = 1;
    else if (!(v >= 0))
      v = 0;
    t.Value[k] = v;
    t.ValueCh[k] = static_cast<quint8>(Channel(v));
  }
  t.Sat.assign(65536, 0.0f);
  t.LowCh.assign(65536, 0);
  for (int mx = 1; mx < 256; ++mx) {
    for (int mn = 0; mn < mx; ++mn) {
      const float d = static_cast<float>(static_cast<LD>(t.Unit[mx]) - t.Unit[mn]);
      const float s = static_cast<float>(static_cast<LD>(d) / t.Unit[mx]);
      const float p = static_cast<float>((1 - static_cast<LD>(s)) * t.Value[mx]);
      t.Sat[mx * 256 + mn] = s;
      t.LowCh[mx * 256 + mn] = static_cast<quint8>(Channel(p));
    }
  }
}

template <typename X>
inline TColor32 LightnessPixel(TColor32 c, const TLightnessTables& t) {
  const int R = (c >> 16) & 0xFF, G = (c >> 8) & 0xFF, B = c & 0xFF;
  const int mxc = std::max({R, G, B}), mnc = std::min({R, G, B});
  if (mxc == mnc) {
    // Grey (or black): no saturation, every channel is the new value.
    const TColor32 v = t.ValueCh[mxc];
    return 0xFF000000u | (v << 16) | (v << 8) | v;
  }
  const float r = t.Unit[R], g = t.Unit[G], b = t.Unit[B];
  const float mx = t.Unit[mxc], mn = t.Unit[mnc];
  const float d = static_cast<float>(static_cast<X>(mx) - mn);
  // Which channel leads decides the hue's sector offset and numerator. Written as selects
  // rather than branches: on varied colours the branches would be mispredicted often.
  // (0 + x is exactly x, so the red case needs no branch of its own.)
  const bool redLeads = mx == r && mx != g;
  const bool greenLeads = !redLeads && mx == g && mx != b;
  const X num = redLeads     ? static_cast<X>(g) - b
                : greenLeads ? static_cast<X>(b) - r
                             : static_cast<X>(r) - g;
  const X offset = redLeads ? 0 : greenLeads ? 2 : 4;
  float H = static_cast<float>(offset + num / d);
  // A single operation on two floats, evaluated wider and rounded to float, is the correctly
  // rounded float result (both double and extended have more than 2 x 24 + 2 bits), so the
  // one-operation steps are done in float directly.
  H = H * 60.0f;

  const float V = t.Value[mxc];
  const float S = t.Sat[mxc * 256 + mnc];
  const float h = H / 60.0f;
  int i = static_cast<int>(h);  // floor: truncation, one less below zero
  i -= h < static_cast<float>(i);
  const float f = h - static_cast<float>(i);
  const float q = static_cast<float>((1 - static_cast<X>(S) * f) * V);
  const float tt = static_cast<float>((1 - (1 - static_cast<X>(f)) * S) * V);
  // The four candidate channels and, per sector, which goes to red, green and blue: sector
  // 0 (V, t, p), 1 (q, V, p), 2 (p, V, t), 3 (p, q, V), 4 (t, p, V), any other (V, p, q).
  const TColor32 ch[4] = {t.ValueCh[mxc], t.LowCh[mxc * 256 + mnc],
                          static_cast<TColor32>(Channel(q)), static_cast<TColor32>(Channel(tt))};
  enum { cV, cP, cQ, cT };
  constexpr auto pick = [](int a, int b, int c) { return a << 4 | b << 2 | c; };
  static constexpr int kSectors[7] = {pick(cV, cP, cQ), pick(cV, cT, cP), pick(cQ, cV, cP),
                                      pick(cP, cV, cT), pick(cP, cQ, cV), pick(cT, cP, cV),
                                      pick(cV, cP, cQ)};
  const unsigned k = static_cast<unsigned>(i + 1);
  const int sel = kSectors[k < 7 ? k : 0];
  return 0xFF000000u | ch[sel >> 4 & 3] << 16 | ch[sel >> 2 & 3] << 8 | ch[sel & 3];
}

// ---------------------------------------------------------------------------------------
// Icons of the tool bar, drawn here so that they need no files.

enum TEditorIcon { iiRotateCW, iiRotateCCW, iiFlipHorz, iiFlipVert, iiOK, iiCancel };

QIcon MakeEditorIcon(TEditorIcon kind) {
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor ink(0x1E, 0x3F, 0x7A);
  switch (kind) {
    case iiRotateCW:
    case iiRotateCCW: {
      const bool cw = kind == iiRotateCW;
      p.setPen(QPen(ink, 1.6));
      // Five sixths of a circle ending at the top, with the arrow head there pointing the way
      // it turns.
      p.drawArc(QRectF(3, 3, 10, 10), cw ? 30 * 16 : 150 * 16, cw ? -300 * 16 : 300 * 16);
      QPainterPath head;
      const qreal base = cw ? 6.5 : 9.5, tip = cw ? 11 : 5;
      head.moveTo(base, 0.5);
      head.lineTo(tip, 3);
      head.lineTo(base, 5.5);
      head.closeSubpath();
      p.fillPath(head, ink);
      break;
    }
    case iiFlipHorz:
    case iiFlipVert: {
      if (kind == iiFlipVert) {
        p.translate(16, 0);
        p.rotate(90);
      }
      QPainterPath left, right;
      left.moveTo(6.5, 3);
      left.lineTo(6.5, 13);
      left.lineTo(1.5, 13);
      left.closeSubpath();
      right.moveTo(9.5, 3);
      right.lineTo(9.5, 13);
      right.lineTo(14.5, 13);
      right.closeSubpath();
      p.fillPath(left, ink);
      p.setPen(QPen(ink, 1));
      p.drawPath(right);
      p.setPen(QPen(QColor(0xC0, 0x30, 0x30), 1, Qt::DotLine));
      p.drawLine(QPointF(8, 1), QPointF(8, 15));
      break;
    }
    case iiOK: {
      p.setPen(QPen(QColor(0x1E, 0x90, 0x2E), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.drawPolyline(QPolygonF({QPointF(3, 8.5), QPointF(6.5, 12), QPointF(13, 4)}));
      break;
    }
    case iiCancel: {
      p.setPen(QPen(QColor(0xC8, 0x28, 0x28), 2.4, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(4, 4), QPointF(12, 12));
      p.drawLine(QPointF(12, 4), QPointF(4, 12));
      break;
    }
  }
  p.end();
  return QIcon(pm);
}

QWidget* Spacer(QWidget* parent, int width) {
  auto* w = new QWidget(parent);
  w->setFixedSize(width, 1);
  return w;
}

}  // namespace

void AdjustLightness(TBitmap32& Bitmap, int Step) {
  if (Bitmap.Empty()) return;
  // Unshare the pixels here, on the calling thread, before any worker writes to them.
  uchar* bits = Bitmap.Image().bits();
  if (!bits) throw EKestrinError(QStringLiteral("메모리가 부족하여 이미지를 처리할 수 없습니다"));
  const qsizetype stride = Bitmap.Image().bytesPerLine();
  const int width = Bitmap.Width(), height = Bitmap.Height();

  TLightnessTables tables;
  BuildLightnessTables(Step, tables);
  // For the two steps the buttons use, double arithmetic gives the very same floats as
  // extended precision for every one of the 16.7 M colours (checked exhaustively by the
  // tests) and is several times faster; other steps take the extended path.
  const bool fast = Step == 1 || Step == -1;

  const auto run = [&](int y0, int y1) {
    const auto pixel = [&](TColor32 c) {
      return fast ? LightnessPixel<double>(c, tables) : LightnessPixel<LD>(c, tables);
    };
    // A photo uses few distinct colours in any one area: remember recent results in a small
    // direct-mapped cache keyed by the RGB value (alpha does not take part). An empty slot
    // holds a key no 24-bit colour can have.
    constexpr int kCacheBits = 15;
    std::vector<TColor32> keys(size_t{1} << kCacheBits, 0xFFFFFFFFu);
    std::vector<TColor32> values(size_t{1} << kCacheBits);
    for (int y = y0; y < y1; ++y) {
      auto* row = reinterpret_cast<TColor32*>(bits + y * stride);
      for (int x = 0; x < width; ++x) {
        const TColor32 c = row[x] & 0x00FFFFFFu;
        const TColor32 slot = (c * 0x9E3779B1u) >> (32 - kCacheBits);
        if (keys[slot] != c) {
          keys[slot] = c;
          values[slot] = pixel(c);
        }
        row[x] = values[slot];
      }
    }
  };

  const int threads = std::max(1, QThread::idealThreadCount());
  if (threads == 1 || static_cast<qint64>(width) * height < 65536) {
    run(0, height);
    return;
  }
  // Bands of rows, a few per thread so that an uneven share evens out.
  const int bands = std::min(height, threads * 8);
  std::vector<std::pair<int, int>> ranges;
  for (int k = 0; k < bands; ++k)
    ranges.emplace_back(static_cast<int>(static_cast<qint64>(height) * k / bands),
                        static_cast<int>(static_cast<qint64>(height) * (k + 1) / bands));
  QtConcurrent::blockingMap(ranges, [&](const std::pair<int, int>& r) { run(r.first, r.second); });
}

// ---------------------------------------------------------------------------------------

TTrimmingForm::TTrimmingForm(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  BuildControls();
  FormCreate();
}

TTrimmingForm::~TTrimmingForm() = default;

void TTrimmingForm::BuildControls() {
  setObjectName(QStringLiteral("TrimmingForm"));
  setWindowTitle(QStringLiteral("트리밍"));
  setFixedSize(614, 467);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, QColor(0xD1, 0xD1, 0xD1));
  setPalette(pal);

  sPanel1 = new QFrame(this);
  sPanel1->setObjectName(QStringLiteral("sPanel1"));
  sPanel1->setFrameShape(QFrame::StyledPanel);
  sPanel1->setGeometry(8, 8, 599, 450);

  sToolBar1 = new QToolBar(sPanel1);
  sToolBar1->setObjectName(QStringLiteral("sToolBar1"));
  sToolBar1->setGeometry(1, 1, 597, 40);
  sToolBar1->setMovable(false);
  sToolBar1->setFloatable(false);
  sToolBar1->setIconSize(QSize(16, 16));
  sToolBar1->setContentsMargins(2, 2, 2, 2);

  const auto iconButton = [this](const char* name, TEditorIcon icon, const QString& tip) {
    auto* b = new QToolButton(sToolBar1);
    b->setObjectName(QLatin1String(name));
    b->setIcon(MakeEditorIcon(icon));
    b->setToolTip(tip);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    sToolBar1->addWidget(b);
    return b;
  };
  const auto textButton = [this](const char* name, const QString& caption, int width) {
    auto* b = new QPushButton(caption, sToolBar1);
    b->setObjectName(QLatin1String(name));
    b->setFixedSize(width, 22);
    b->setAutoDefault(false);
    sToolBar1->addWidget(b);
    return b;
  };

  btnRotateCW = iconButton("btnRotateCW", iiRotateCW, QStringLiteral("오른쪽으로 회전"));
  btnRotateCCW = iconButton("btnRotateCCW", iiRotateCCW, QStringLiteral("왼쪽으로 회전"));
  sToolBar1->addWidget(Spacer(sToolBar1, 8));
  btnFlipHorz = iconButton("btnFlipHorz", iiFlipHorz, QStringLiteral("좌우 뒤집기"));
  FlipVert = iconButton("FlipVert", iiFlipVert, QStringLiteral("상하 뒤집기"));
  sToolBar1->addWidget(Spacer(sToolBar1, 8));
  btnBrightUp = textButton("btnBrightUp", QStringLiteral("밝게"), 34);
  btnBrightDown = textButton("btnBrightDown", QStringLiteral("어둡게"), 48);
  sToolBar1->addWidget(Spacer(sToolBar1, 8));
  btnRevert = textButton("btnRevert", QStringLiteral("원래대로"), 56);
  sToolBar1->addWidget(Spacer(sToolBar1, 24));
  BtnOK = textButton("BtnOK", QStringLiteral("확인"), 56);
  BtnOK->setIcon(MakeEditorIcon(iiOK));
  sToolBar1->addWidget(Spacer(sToolBar1, 8));
  btnCancel = textButton("btnCancel", QStringLiteral("취소"), 56);
  btnCancel->setIcon(MakeEditorIcon(iiCancel));

  ImgView = new TImgView32(sPanel1);
  ImgView->setObjectName(QStringLiteral("ImgView"));
  ImgView->setGeometry(8, 48, 583, 394);

  const auto bind = [this](auto* button, void (TTrimmingForm::*handler)()) {
    connect(button, &QAbstractButton::clicked, this,
            [this, handler] { GuardHandler(this, [this, handler] { (this->*handler)(); }); });
  };
  bind(btnRotateCW, &TTrimmingForm::btnRotateCWClick);
  bind(btnRotateCCW, &TTrimmingForm::btnRotateCCWClick);
  bind(btnFlipHorz, &TTrimmingForm::btnFlipHorzClick);
  bind(FlipVert, &TTrimmingForm::FlipVertClick);
  bind(btnBrightUp, &TTrimmingForm::btnBrightUpClick);
  bind(btnBrightDown, &TTrimmingForm::btnBrightDownClick);
  bind(btnRevert, &TTrimmingForm::btnRevertClick);
  // The modal result is set before the handler runs; the dialog closes after it.
  connect(BtnOK, &QPushButton::clicked, this, [this] {
    setResult(mrOk);
    bool done = false;
    GuardHandler(this, [this, &done] {
      BtnOKClick();
      done = true;
    });
    if (done) this->done(mrOk);
  });
  connect(btnCancel, &QPushButton::clicked, this, [this] { done(mrCancel); });
}

void TTrimmingForm::FormCreate() {
  // The checkerboard replaces the plain background; photo and frame are drawn over it.
  auto& stages = ImgView->PaintStages();
  if (!stages.empty() && stages.front() == TImgView32::PST_CLEAR_BACKGND)
    stages.front() = TImgView32::PST_CUSTOM;
  ImgView->OnPaintStage = [this](TBitmap32& buffer, unsigned stageNum) {
    ImgViewPaintStage(buffer, stageNum);
  };
  ImgView->Bitmap().SetResampler(TResamplerKind::Draft);
  ImgView->SetRepaintMode(TImgView32::rmOptimizer);
  ImgView->SetScale(1.0);
  ImgView->SetScaleMode(TImgView32::smOptimal);
  ImgView->SetCentered(true);

  FCropFrame = new TRubberbandLayer(ImgView->Layers());
  FCropFrame->SetScaled(true);
  FCropFrame->OnResizing = [this](TRubberbandLayer* sender, const TFloatRect& oldLocation,
                                  TFloatRect& newLocation, TDragState dragState,
                                  Qt::KeyboardModifiers shift) {
    RBResizing(sender, oldLocation, newLocation, dragState, shift);
  };
  FCropFrame->SetFrameStipple({0xFFFF0000});
  FCropFrame->SetHandles(1805);
  FCropFrame->SetHandleSize(5);
  FCropFrame->SetHandleFrame(0xFFFF0000);
  FCropFrame->SetHandleFill(0xFFFFFF00);

  FResult.SetSize(0, 0);
}

void TTrimmingForm::SetSourceFile(const QString& FileName) {
  FSourceFile = FileName;
}

void TTrimmingForm::SetCropFrame(const TRect& Rect) {
  FCropFrame->SetLocation(TFloatRect::FromRect(Rect));
}

void TTrimmingForm::GetCropRect(TRect& Rect) const {
  OutwardRect(FCropFrame->Location(), Rect);
}

TRect TTrimmingForm::GetCropRect() const {
  TRect r;
  GetCropRect(r);
  return r;
}

void TTrimmingForm::SetMinCropSize(float MinWidth, float MinHeight) {
  FCropFrame->SetMinWidth(MinWidth);
  FCropFrame->SetMinHeight(MinHeight);
}

void TTrimmingForm::ImgViewPaintStage(TBitmap32& Buffer, unsigned) {
  static constexpr TColor32 table[2] = {0xFFAAAAAA, 0xFFEEEEEE};
  constexpr int kSquare = 13;
  const int cols = Buffer.Width() / kSquare, rows = Buffer.Height() / kSquare;
  // Only the squares that meet the clip rectangle can change a pixel.
  const TRect clip = Buffer.ClipRect();
  if (clip.IsEmpty()) return;
  const int col0 = std::max(0, clip.Left / kSquare),
            col1 = std::min(cols, (clip.Right - 1) / kSquare);
  const int row0 = std::max(0, clip.Top / kSquare),
            row1 = std::min(rows, (clip.Bottom - 1) / kSquare);
  for (int row = row0; row <= row1; ++row) {
    for (int col = col0; col <= col1; ++col) {
      Buffer.FillRectS(
          {col * kSquare, row * kSquare, col * kSquare + kSquare, row * kSquare + kSquare},
          table[(col & 1) == (row & 1) ? 1 : 0]);
    }
  }
}

void TTrimmingForm::RBResizing(TRubberbandLayer*, const TFloatRect& OldLocation,
                               TFloatRect& NewLocation, TDragState DragState,
                               Qt::KeyboardModifiers) {
  const float W = static_cast<float>(ImgView->Bitmap().Width());
  const float H = static_cast<float>(ImgView->Bitmap().Height());
  const float wo = static_cast<float>(static_cast<LD>(OldLocation.Right) - OldLocation.Left);
  const float ho = static_cast<float>(static_cast<LD>(OldLocation.Bottom) - OldLocation.Top);
  TFloatRect& N = NewLocation;

  if (DragState == dsMove) {
    // Pushed back inside with its size unchanged.
    if (!(N.Top >= 0)) {
      N.Top = 0;
      N.Bottom = ho;
    }
    if (!(H >= N.Bottom)) {
      N.Bottom = H;
      N.Top = static_cast<float>(static_cast<LD>(H) - ho);
    }
    if (!(N.Left >= 0)) {
      N.Left = 0;
      N.Right = wo;
    }
    if (!(W >= N.Right)) {
      N.Right = W;
      N.Left = static_cast<float>(static_cast<LD>(W) - wo);
    }
  } else {
    // Each edge clipped to the photo on its own.
    if (!(N.Top >= 0)) N.Top = 0;
    if (!(H >= N.Bottom)) N.Bottom = H;
    if (!(N.Left >= 0)) N.Left = 0;
    if (!(W >= N.Right)) N.Right = W;
  }

  // Back to the shape the frame had when the drag began: the side that has grown relatively
  // gives way, moving only the right or the bottom edge. A frame without area has no shape.
  if (!(wo > 0) || !(ho > 0)) return;
  const float wn = static_cast<float>(static_cast<LD>(N.Right) - N.Left);
  const float hn = static_cast<float>(static_cast<LD>(N.Bottom) - N.Top);
  if (static_cast<LD>(ho) * wn >= static_cast<LD>(wo) * hn)
    N.Right = static_cast<float>(N.Right + (static_cast<LD>(hn) / ho * wo - wn));
  else
    N.Bottom = static_cast<float>(N.Bottom + (static_cast<LD>(wn) / wo * ho - hn));
}

void TTrimmingForm::RefitCropFrame() {
  const TBitmap32& photo = ImgView->Bitmap();
  TFloatRect r;
  FitFloatRect(
      FCropFrame->Location(),
      TFloatRect{0, 0, static_cast<float>(photo.Width()), static_cast<float>(photo.Height())}, r);
  FCropFrame->SetLocation(r);
}

void TTrimmingForm::Rotate(bool clockwise) {
  TBitmap32& photo = ImgView->Bitmap();
  // The turned photo must still hold the smallest crop.
  if (photo.Width() < FCropFrame->MinHeight() || photo.Height() < FCropFrame->MinWidth()) {
    ShowInfo(this, QString(), QStringLiteral("회전하면 최소사이즈보다 작아집니다"));
    return;
  }
  if (clockwise)
    photo.Rotate90();
  else
    photo.Rotate270();
  ImgView->BitmapChanged();
  RefitCropFrame();
}

void TTrimmingForm::btnRotateCWClick() {
  Rotate(true);
}
void TTrimmingForm::btnRotateCCWClick() {
  Rotate(false);
}

void TTrimmingForm::btnFlipHorzClick() {
  ImgView->Bitmap().FlipHorz();
  ImgView->BitmapChanged();
}

void TTrimmingForm::FlipVertClick() {
  ImgView->Bitmap().FlipVert();
  ImgView->BitmapChanged();
}

void TTrimmingForm::btnBrightUpClick() {
  AdjustLightness(ImgView->Bitmap(), 1);
  ImgView->Invalidate();
}

void TTrimmingForm::btnBrightDownClick() {
  AdjustLightness(ImgView->Bitmap(), -1);
  ImgView->Invalidate();
}

void TTrimmingForm::btnRevertClick() {
  if (FSourceFile.isEmpty())
    throw EKestrinError(QStringLiteral("원본 사진 파일을 알 수 없어 원래대로 되돌릴 수 없습니다"));
  // Decoded aside first: a file that has gone or no longer decodes changes nothing.
  TBitmap32 loaded;
  LoadPhotoFromFile(loaded, FSourceFile);
  ImgView->Bitmap().SetImage(std::move(loaded.Image()));
  RefitCropFrame();
  ImgView->Invalidate();
}

void TTrimmingForm::BtnOKClick() {
  FResult.Assign(ImgView->Bitmap());
}

void TTrimmingForm::FormHide() {
  ImgView->Bitmap().SetSize(0, 0);
  ImgView->BitmapChanged();
}

void TTrimmingForm::reject() {
  done(mrCancel);
}

void TTrimmingForm::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  // Only the dialog's own closing, not a minimised owner window.
  if (!event->spontaneous()) FormHide();
}

}  // namespace Kestrin
