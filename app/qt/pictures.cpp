#include "app/qt/pictures.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace kestravuna::app {

namespace {

constexpr int kGlyphSize = 16;
const QColor kLogoBlue(24, 70, 140);
const QColor kLogoTeal(32, 150, 160);

// A padlock in the box `box`; `open` lifts its shackle to one side.
void DrawPadlock(QPainter& painter, const QRectF& box, const QColor& body, bool open) {
  const qreal shackleWidth = box.width() * 0.56;
  const qreal bodyTop = box.top() + box.height() * 0.42;
  QRectF shackle(box.center().x() - shackleWidth / 2, box.top(), shackleWidth, box.height() * 0.66);
  if (open) shackle.translate(shackleWidth * 0.45, -box.height() * 0.08);
  painter.setPen(QPen(body.darker(140), box.width() * 0.13, Qt::SolidLine, Qt::FlatCap));
  painter.setBrush(Qt::NoBrush);
  QPainterPath arc;
  arc.moveTo(shackle.left(), bodyTop);
  arc.arcTo(shackle.left(), shackle.top(), shackle.width(), shackle.width(), 180, -180);
  arc.lineTo(shackle.right(), open ? shackle.top() + shackle.width() / 2 : bodyTop);
  painter.drawPath(arc);
  painter.setPen(QPen(body.darker(160), 1));
  painter.setBrush(body);
  const QRectF lockBody(box.left() + box.width() * 0.1, bodyTop, box.width() * 0.8,
                        box.bottom() - bodyTop);
  painter.drawRoundedRect(lockBody, box.width() * 0.08, box.width() * 0.08);
  painter.setBrush(body.darker(200));
  painter.drawEllipse(QPointF(lockBody.center().x(), lockBody.center().y() - 1), box.width() * 0.07,
                      box.width() * 0.07);
}

QPixmap DrawLogo() {
  QPixmap pixmap(100, 100);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient background(0, 0, 100, 100);
  background.setColorAt(0, kLogoTeal);
  background.setColorAt(1, kLogoBlue);
  painter.setPen(Qt::NoPen);
  painter.setBrush(background);
  painter.drawRect(0, 0, 100, 100);
  // The lock sits in the upper 81 rows, the part the main window shows.
  DrawPadlock(painter, QRectF(26, 8, 48, 66), QColor(250, 205, 60), false);
  return pixmap;
}

QPixmap DrawTitle() {
  QPixmap pixmap(300, 200);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient background(0, 0, 300, 200);
  background.setColorAt(0, kLogoBlue);
  background.setColorAt(1, kLogoTeal);
  painter.fillRect(pixmap.rect(), background);
  DrawPadlock(painter, QRectF(22, 40, 56, 78), QColor(250, 205, 60), false);
  painter.setPen(Qt::white);
  QFont name("DejaVu Sans");
  name.setPixelSize(30);
  name.setBold(true);
  painter.setFont(name);
  painter.drawText(QRect(92, 50, 200, 44), Qt::AlignLeft | Qt::AlignVCenter, "Kestravuna");
  QFont small("DejaVu Sans");
  small.setPixelSize(13);
  painter.setFont(small);
  painter.drawText(QRect(94, 94, 200, 20), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Version " KESTRAVUNA_VERSION));
  painter.drawText(QRect(0, 160, 300, 24), Qt::AlignCenter,
                   QStringLiteral("Ordner packen und verschließen"));
  return pixmap;
}

QPixmap DrawGlyph(Picture picture) {
  QPixmap pixmap(kGlyphSize, kGlyphSize);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF box(1, 1, 14, 14);
  switch (picture) {
    case Picture::Protect:
      DrawPadlock(painter, box, QColor(220, 170, 30), false);
      break;
    case Picture::Restore:
      DrawPadlock(painter, box, QColor(60, 160, 70), true);
      break;
    case Picture::Information: {
      painter.setPen(Qt::NoPen);
      painter.setBrush(QColor(40, 90, 200));
      painter.drawEllipse(box);
      painter.setBrush(Qt::white);
      painter.drawEllipse(QRectF(7, 3, 2.4, 2.4));
      painter.drawRect(QRectF(7, 6.5, 2.2, 6.5));
      break;
    }
    case Picture::Quit:
    case Picture::Cancel: {
      painter.setPen(Qt::NoPen);
      painter.setBrush(picture == Picture::Quit ? QColor(200, 40, 40) : QColor(220, 120, 20));
      painter.drawEllipse(box);
      painter.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap));
      if (picture == Picture::Quit) {
        painter.drawLine(QPointF(5, 5), QPointF(11, 11));
        painter.drawLine(QPointF(11, 5), QPointF(5, 11));
      } else {
        painter.drawLine(QPointF(4.5, 8), QPointF(11.5, 8));
      }
      break;
    }
    case Picture::Ok:
      painter.setPen(QPen(QColor(30, 120, 50), 2.4, Qt::SolidLine, Qt::RoundCap));
      painter.drawLine(QPointF(3, 8.5), QPointF(6.5, 12));
      painter.drawLine(QPointF(6.5, 12), QPointF(13, 4));
      break;
    case Picture::Close:  // an arrow back to the main window
      painter.setPen(QPen(QColor(40, 90, 200), 2.2, Qt::SolidLine, Qt::RoundCap));
      painter.drawLine(QPointF(3, 8), QPointF(13, 8));
      painter.drawLine(QPointF(3, 8), QPointF(7, 4));
      painter.drawLine(QPointF(3, 8), QPointF(7, 12));
      break;
    case Picture::None:
    case Picture::Logo:
    case Picture::Title:
      break;
  }
  return pixmap;
}

// The disabled image: the picture in light grey, as a disabled button shows it.
QPixmap Greyed(const QPixmap& pixmap) {
  QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor color = image.pixelColor(x, y);
      const int grey = 128 + qGray(color.rgb()) / 2;
      image.setPixelColor(x, y, QColor(grey, grey, grey, color.alpha()));
    }
  }
  return QPixmap::fromImage(image);
}

}  // namespace

QPixmap DrawPicture(Picture picture) {
  switch (picture) {
    case Picture::Logo:
      return DrawLogo();
    case Picture::Title:
      return DrawTitle();
    default:
      return DrawGlyph(picture);
  }
}

QIcon ButtonIcon(Picture picture) {
  const QPixmap normal = DrawPicture(picture);
  QIcon icon;
  icon.addPixmap(normal, QIcon::Normal);
  icon.addPixmap(Greyed(normal), QIcon::Disabled);
  return icon;
}

}  // namespace kestravuna::app
