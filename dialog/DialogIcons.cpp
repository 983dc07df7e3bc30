#include "dialog/DialogIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace qx6::dialog::DialogIcons {
namespace {

const QColor Ink(0x2f, 0x4f, 0x7f);
const QColor Accent(0x3c, 0x9d, 0x5d);
const QColor Warn(0xc0, 0x39, 0x2b);

QIcon Draw(const std::function<void(QPainter&)>& paint) {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(2, 2);  // drawn on a 16 x 16 grid, kept sharp on dense screens
  paint(p);
  p.end();
  return QIcon(pixmap);
}

void Sheet(QPainter& p) {
  p.setPen(QPen(Ink, 1));
  p.setBrush(Qt::white);
  p.drawRoundedRect(QRectF(2.5, 1.5, 11, 13), 1, 1);
}

void Arrow(QPainter& p, bool up) {
  QPainterPath path;
  if (up) {
    path.moveTo(8, 2); path.lineTo(14, 9); path.lineTo(10, 9); path.lineTo(10, 14);
    path.lineTo(6, 14); path.lineTo(6, 9); path.lineTo(2, 9);
  } else {
    path.moveTo(8, 14); path.lineTo(14, 7); path.lineTo(10, 7); path.lineTo(10, 2);
    path.lineTo(6, 2); path.lineTo(6, 7); path.lineTo(2, 7);
  }
  path.closeSubpath();
  p.setPen(QPen(Ink.darker(120), 1));
  p.setBrush(Ink.lighter(150));
  p.drawPath(path);
}

}  // namespace

QIcon FormatOptions() {
  return Draw([](QPainter& p) {
    Sheet(p);
    p.setPen(QPen(Ink, 1.2));
    for (int y : {5, 8, 11}) {
      p.drawLine(QPointF(5, y), QPointF(11, y));
      p.drawPoint(QPointF(12, y));
    }
  });
}

QIcon Columns() {
  return Draw([](QPainter& p) {
    p.setPen(QPen(Ink, 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(1.5, 2.5, 13, 11));
    p.fillRect(QRectF(2, 3, 12, 3), Ink.lighter(170));
    p.drawLine(QPointF(6, 3), QPointF(6, 13));
    p.drawLine(QPointF(10, 3), QPointF(10, 13));
    p.drawLine(QPointF(2, 6), QPointF(14, 6));
  });
}

QIcon Browse() {
  return Draw([](QPainter& p) {
    p.setPen(QPen(QColor(0x9a, 0x6b, 0x12), 1));
    p.setBrush(QColor(0xf4, 0xc4, 0x4e));
    QPainterPath folder;
    folder.moveTo(1.5, 4); folder.lineTo(6, 4); folder.lineTo(7.5, 5.5); folder.lineTo(14.5, 5.5);
    folder.lineTo(14.5, 13.5); folder.lineTo(1.5, 13.5);
    folder.closeSubpath();
    p.drawPath(folder);
  });
}

QIcon CheckDate() {
  return Draw([](QPainter& p) {
    p.setPen(QPen(Ink, 1));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(1.5, 2.5, 13, 12), 1, 1);
    p.fillRect(QRectF(2, 3, 12, 3), Warn);
    p.setPen(QPen(Accent, 1.6));
    p.drawLine(QPointF(4.5, 10), QPointF(7, 12.5));
    p.drawLine(QPointF(7, 12.5), QPointF(11.5, 7.5));
  });
}

QIcon AddRow() {
  return Draw([](QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(Accent);
    p.drawRoundedRect(QRectF(6.5, 2, 3, 12), 1, 1);
    p.drawRoundedRect(QRectF(2, 6.5, 12, 3), 1, 1);
  });
}

QIcon RemoveRow() {
  return Draw([](QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(Warn);
    p.drawRoundedRect(QRectF(2, 6.5, 12, 3), 1, 1);
  });
}

QIcon RemoveAll() {
  return Draw([](QPainter& p) {
    p.setPen(QPen(Warn, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
    p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
  });
}

QIcon MoveUp() {
  return Draw([](QPainter& p) { Arrow(p, true); });
}

QIcon MoveDown() {
  return Draw([](QPainter& p) { Arrow(p, false); });
}

}  // namespace qx6::dialog::DialogIcons
