#include "shell/UToolIcons.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

const QColor kBlue(0, 138, 204);
const QColor kOrange(255, 108, 55);
const QColor kDark(40, 52, 64);

// A small camera body with its lens, the common part of every picture.
void DrawCamera(QPainter& p, const QRectF& body) {
  p.setPen(QPen(kDark, 1.5));
  p.setBrush(kBlue);
  p.drawRoundedRect(body, 3, 3);
  const qreal r = body.height() * 0.32;
  p.setBrush(Qt::white);
  p.drawEllipse(body.center(), r, r);
  p.setBrush(kDark);
  p.drawEllipse(body.center(), r * 0.5, r * 0.5);
}

QIcon ToolIcon(void (*draw)(QPainter&)) {
  QPixmap pixmap(64, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  draw(p);
  p.end();
  return QIcon(pixmap);
}

}  // namespace

QIcon DiscoverIcon() {
  return ToolIcon([](QPainter& p) {
    DrawCamera(p, QRectF(8, 6, 30, 20));
    // Magnifier over the camera: the search.
    p.setPen(QPen(kOrange, 3));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(44, 14), 8, 8);
    p.drawLine(QPointF(50, 20), QPointF(57, 28));
  });
}

QIcon AddDeviceIcon() {
  return ToolIcon([](QPainter& p) {
    DrawCamera(p, QRectF(8, 6, 30, 20));
    p.setPen(QPen(kOrange, 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(48, 8), QPointF(48, 24));
    p.drawLine(QPointF(40, 16), QPointF(56, 16));
  });
}

QIcon WebConfigIcon() {
  return ToolIcon([](QPainter& p) {
    const QPointF c(32, 16);
    p.setPen(QPen(kDark, 1.5));
    p.setBrush(kBlue);
    p.drawEllipse(c, 13, 13);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 1.5));
    p.drawEllipse(c, 6, 13);
    p.drawLine(QPointF(19, 16), QPointF(45, 16));
    p.drawLine(QPointF(32, 3), QPointF(32, 29));
  });
}

QIcon WindowIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  DrawCamera(p, QRectF(2, 7, 28, 18));
  p.end();
  return QIcon(pixmap);
}

QPixmap AboutPicture(const QSize& size) {
  QPixmap pixmap(size);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, size.width(), size.height());
  sky.setColorAt(0, QColor(0, 92, 150));
  sky.setColorAt(1, kBlue);
  p.fillRect(pixmap.rect(), sky);
  DrawCamera(p, QRectF(size.width() - 110, 25, 75, 50));
  QFont font;
  font.setPixelSize(30);
  font.setBold(true);
  font.setLetterSpacing(QFont::AbsoluteSpacing, 4);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRect(20, 0, size.width() - 140, size.height()), Qt::AlignVCenter | Qt::AlignLeft,
             QStringLiteral("TOVRA"));
  p.fillRect(QRect(22, size.height() / 2 + 20, 75, 4), kOrange);
  p.end();
  return pixmap;
}
