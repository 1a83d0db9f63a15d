#include "uLook.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QStyleFactory>

// The resource file is compiled into a static library; register it explicitly (the macro
// must be used outside any namespace).
static void InitKestrinResources() {
  Q_INIT_RESOURCE(resources);
}

namespace Kestrin {

namespace {

// Theme colours.
const QColor kInk(0x2B, 0x4A, 0x74);       // outlines and text on icons
const QColor kBlue(0x4A, 0x7E, 0xC2);      // main accent
const QColor kPaleBlue(0xDD, 0xE9, 0xF8);  // card faces
const QColor kSkin(0xF2, 0xC9, 0xA5);      // the face of the person on the photo icons
const QColor kHair(0x4B, 0x39, 0x2E);
const QColor kCoat(0x36, 0x5D, 0x94);

// A head-and-shoulders portrait filling frame (in 32-unit icon coordinates).
void DrawPortrait(QPainter& p, const QRectF& frame, const QColor& background, const QColor& coat) {
  p.save();
  p.setPen(QPen(kInk, 1.2));
  p.setBrush(background);
  p.drawRoundedRect(frame, 1.5, 1.5);
  p.setClipRect(frame.adjusted(0.6, 0.6, -0.6, -0.6));
  const double cx = frame.center().x();
  const double w = frame.width(), h = frame.height();
  const double headR = std::min(w, h) * 0.22;
  const double headCy = frame.top() + h * 0.42;
  // Shoulders.
  p.setPen(Qt::NoPen);
  p.setBrush(coat);
  p.drawEllipse(QPointF(cx, frame.bottom() + h * 0.08), w * 0.42, h * 0.32);
  // Neck, face, hair.
  p.setBrush(kSkin);
  p.drawRect(QRectF(cx - headR * 0.4, headCy, headR * 0.8, headR * 1.4));
  p.drawEllipse(QPointF(cx, headCy), headR * 0.92, headR * 1.1);
  p.setBrush(kHair);
  QPainterPath hair;
  hair.moveTo(cx - headR * 0.98, headCy);
  hair.cubicTo(cx - headR * 1.1, headCy - headR * 1.6, cx + headR * 1.1, headCy - headR * 1.6,
               cx + headR * 0.98, headCy);
  hair.cubicTo(cx + headR * 0.6, headCy - headR * 0.6, cx - headR * 0.6, headCy - headR * 0.6,
               cx - headR * 0.98, headCy);
  p.drawPath(hair);
  p.restore();
}

// A small size badge in the lower right corner ("3x4", "5x5", ...).
void DrawBadge(QPainter& p, const QString& text, const QColor& fill) {
  p.save();
  QFont f(KoreanFontFamily());
  f.setPixelSize(8);
  f.setBold(true);
  p.setFont(f);
  const QRectF r(15, 22, 17, 10);
  p.setPen(Qt::NoPen);
  p.setBrush(fill);
  p.drawRoundedRect(r, 2.5, 2.5);
  p.setPen(Qt::white);
  p.drawText(r, Qt::AlignCenter, text);
  p.restore();
}

void DrawTypeIcon(QPainter& p, int index) {
  switch (index) {
    case 0:  // ID photo 2.5 x 3: one small portrait
      DrawPortrait(p, QRectF(6, 2, 20, 24), QColor(0xE8, 0xF0, 0xFB), kCoat);
      DrawBadge(p, QStringLiteral("2.5"), kBlue);
      break;
    case 1:  // half-size card 3 x 4: two overlapping portraits
      DrawPortrait(p, QRectF(2, 2, 16, 21), QColor(0xE8, 0xF0, 0xFB), kCoat);
      DrawPortrait(p, QRectF(11, 6, 17, 22), QColor(0xF5, 0xF8, 0xFD), kCoat);
      DrawBadge(p, QStringLiteral("3x4"), kBlue);
      break;
    case 2: {  // passport: a booklet with a globe, a portrait inside
      p.save();
      p.setPen(QPen(kInk, 1.2));
      p.setBrush(QColor(0x1F, 0x4E, 0x79));
      p.drawRoundedRect(QRectF(3, 2, 20, 27), 2, 2);
      p.setPen(QPen(QColor(0xE3, 0xC0, 0x6A), 1.1));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(QPointF(13, 11), 5.5, 5.5);
      p.drawLine(QPointF(7.5, 11), QPointF(18.5, 11));
      p.drawEllipse(QPointF(13, 11), 2.4, 5.5);
      p.drawLine(QPointF(8, 22), QPointF(18, 22));
      p.restore();
      DrawPortrait(p, QRectF(16, 10, 13, 16), QColor(0xF5, 0xF8, 0xFD), kCoat);
      break;
    }
    case 3: {  // US passport 5 x 5: a square portrait with a star
      DrawPortrait(p, QRectF(4, 4, 23, 23), QColor(0xF5, 0xF8, 0xFD), QColor(0x2E, 0x4C, 0x7A));
      p.save();
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(0xC8, 0x32, 0x3B));
      QPainterPath star;
      const QPointF c(24.5, 7.5);
      for (int i = 0; i < 10; ++i) {
        const double a = -M_PI / 2 + i * M_PI / 5;
        const double r = (i % 2) ? 2.2 : 5.2;
        const QPointF pt(c.x() + r * std::cos(a), c.y() + r * std::sin(a));
        if (i == 0)
          star.moveTo(pt);
        else
          star.lineTo(pt);
      }
      star.closeSubpath();
      p.drawPath(star);
      p.restore();
      break;
    }
    case 4: {  // civil service 4 x 5: portrait in suit and tie
      DrawPortrait(p, QRectF(5, 2, 22, 27), QColor(0xE8, 0xF0, 0xFB), QColor(0x27, 0x33, 0x45));
      p.save();
      p.setPen(Qt::NoPen);
      p.setBrush(Qt::white);
      QPolygonF collar;
      collar << QPointF(13, 23.5) << QPointF(16, 29) << QPointF(19, 23.5);
      p.drawPolygon(collar);
      p.setBrush(QColor(0xB0, 0x2A, 0x30));
      QPolygonF tie;
      tie << QPointF(15.2, 24) << QPointF(16.8, 24) << QPointF(17.3, 29) << QPointF(14.7, 29);
      p.drawPolygon(tie);
      p.restore();
      break;
    }
    case 5: {  // name card 5 x 7: a card with a portrait and text lines
      p.save();
      p.setPen(QPen(kInk, 1.2));
      p.setBrush(Qt::white);
      p.drawRoundedRect(QRectF(1.5, 7, 29, 19), 2, 2);
      p.setPen(QPen(QColor(0x8D, 0xA2, 0xC0), 1.6, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(15, 13), QPointF(27, 13));
      p.drawLine(QPointF(15, 17), QPointF(25, 17));
      p.drawLine(QPointF(15, 21), QPointF(22, 21));
      p.restore();
      DrawPortrait(p, QRectF(4, 9.5, 9, 13), QColor(0xE8, 0xF0, 0xFB), kCoat);
      break;
    }
    case 6: {  // wallet size: a wallet with a photo sticking out
      DrawPortrait(p, QRectF(8, 1.5, 16, 19), QColor(0xF5, 0xF8, 0xFD), kCoat);
      p.save();
      p.setPen(QPen(QColor(0x5A, 0x37, 0x1E), 1.2));
      p.setBrush(QColor(0x9C, 0x62, 0x33));
      p.drawRoundedRect(QRectF(2, 13, 28, 17), 3, 3);
      p.setBrush(QColor(0xB9, 0x7A, 0x45));
      p.drawRoundedRect(QRectF(18, 18, 12, 7), 2, 2);
      p.setBrush(QColor(0xE3, 0xC0, 0x6A));
      p.setPen(Qt::NoPen);
      p.drawEllipse(QPointF(22, 21.5), 1.6, 1.6);
      p.restore();
      break;
    }
    default:
      break;
  }
}

void DrawEditIcon(QPainter& p) {
  // A photo with crop corners and a pencil.
  DrawPortrait(p, QRectF(4, 4, 19, 22), QColor(0xE8, 0xF0, 0xFB), kCoat);
  p.save();
  p.setPen(QPen(QColor(0x1E, 0x9E, 0x5A), 2.2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  p.drawPolyline(QPolygonF({QPointF(1.5, 8), QPointF(1.5, 1.5), QPointF(8, 1.5)}));
  p.drawPolyline(QPolygonF({QPointF(19, 28.5), QPointF(25.5, 28.5), QPointF(25.5, 22)}));
  p.translate(23, 13);
  p.rotate(45);
  p.setPen(QPen(kInk, 1));
  p.setBrush(QColor(0xF5, 0xB9, 0x3B));
  p.drawRect(QRectF(-2.5, -11, 5, 15));
  p.setBrush(QColor(0xE9, 0x8A, 0x93));
  p.drawRect(QRectF(-2.5, -13.5, 5, 2.5));
  p.setBrush(kSkin);
  QPolygonF tip;
  tip << QPointF(-2.5, 4) << QPointF(2.5, 4) << QPointF(0, 9);
  p.drawPolygon(tip);
  p.restore();
}

void DrawOrderIcon(QPainter& p) {
  // A shopping cart carrying a print.
  p.save();
  p.setPen(QPen(kInk, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  p.drawPolyline(QPolygonF({QPointF(1.5, 5), QPointF(6, 5), QPointF(9.5, 21), QPointF(26, 21)}));
  p.setBrush(kPaleBlue);
  QPolygonF basket;
  basket << QPointF(7, 9) << QPointF(29.5, 9) << QPointF(26.5, 18) << QPointF(9, 18);
  p.drawPolygon(basket);
  p.setBrush(kInk);
  p.setPen(Qt::NoPen);
  p.drawEllipse(QPointF(11, 26), 2.6, 2.6);
  p.drawEllipse(QPointF(24, 26), 2.6, 2.6);
  p.restore();
  // The print in the basket.
  p.save();
  p.translate(17, 8);
  p.rotate(-12);
  DrawPortrait(p, QRectF(-5, -6, 10, 12), Qt::white, kBlue);
  p.restore();
}

QPixmap DrawWaitPicture(int size) {
  QPixmap pm(size, size);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 32.0, size / 32.0);
  // A ring of twelve dots fading round, the usual sign of "working".
  for (int i = 0; i < 12; ++i) {
    const double a = i * M_PI / 6 - M_PI / 2;
    QColor c = kBlue;
    c.setAlphaF(0.15 + 0.85 * (i / 11.0));
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(QPointF(16 + 11.5 * std::cos(a), 16 + 11.5 * std::sin(a)), 2.6, 2.6);
  }
  return pm;
}

}  // namespace

QPixmap ToolIconPixmap(int index, int size) {
  QPixmap pm(size, size);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.scale(size / 32.0, size / 32.0);
  if (index >= 0 && index < 7)
    DrawTypeIcon(p, index);
  else if (index == kIconEdit)
    DrawEditIcon(p);
  else if (index == kIconOrder)
    DrawOrderIcon(p);
  return pm;
}

QIcon ToolIcon(int index) {
  QIcon icon;
  icon.addPixmap(ToolIconPixmap(index, 32));
  icon.addPixmap(ToolIconPixmap(index, 64));
  return icon;
}

QPixmap WaitPicture() {
  return DrawWaitPicture(32);
}

QString KoreanFontFamily() {
  static const QString family = [] {
    const QStringList families = QFontDatabase::families();
    for (const char* name : {"NanumBarunGothic", "NanumGothic", "NanumSquare"})
      if (families.contains(QString::fromLatin1(name))) return QString::fromLatin1(name);
    return QApplication::font().family();
  }();
  return family;
}

QString StyleSheetText() {
  QFile f(QStringLiteral(":/style.qss"));
  if (!f.open(QIODevice::ReadOnly)) return QString();
  return QString::fromUtf8(f.readAll());
}

void ApplyLook(QApplication& app) {
  InitKestrinResources();
  app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  QPalette pal = app.style()->standardPalette();
  pal.setColor(QPalette::Window, QColor(0xD5, 0xE4, 0xF5));
  pal.setColor(QPalette::Base, QColor(0xFF, 0xFF, 0xFF));
  pal.setColor(QPalette::AlternateBase, QColor(0xEA, 0xF2, 0xFB));
  pal.setColor(QPalette::Button, QColor(0xE4, 0xEE, 0xFA));
  pal.setColor(QPalette::Highlight, QColor(0x3D, 0x7B, 0xC9));
  pal.setColor(QPalette::HighlightedText, Qt::white);
  pal.setColor(QPalette::WindowText, QColor(0x1E, 0x2F, 0x47));
  pal.setColor(QPalette::Text, QColor(0x1E, 0x2F, 0x47));
  pal.setColor(QPalette::ButtonText, QColor(0x1E, 0x2F, 0x47));
  app.setPalette(pal);
  QFont font(KoreanFontFamily());
  font.setPixelSize(12);
  app.setFont(font);
  app.setStyleSheet(StyleSheetText());
}

}  // namespace Kestrin
