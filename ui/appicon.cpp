#include "appicon.h"

#include <QIcon>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace
{

// Draws the 128 x 128 design scaled to size pixels.
QPixmap drawIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 128.0, size / 128.0);

    QLinearGradient bg(0, 0, 0, 128);
    bg.setColorAt(0, QColor(0x3a, 0x6e, 0xa5));
    bg.setColorAt(1, QColor(0x1f, 0x3f, 0x66));
    p.setPen(Qt::NoPen);
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(6, 6, 116, 116), 22, 22);

    QPainterPath tag;
    tag.moveTo(30, 40);
    tag.lineTo(62, 24);
    tag.lineTo(106, 24);
    tag.quadTo(110, 24, 110, 28);
    tag.lineTo(110, 100);
    tag.quadTo(110, 104, 106, 104);
    tag.lineTo(62, 104);
    tag.lineTo(30, 88);
    tag.closeSubpath();
    const QColor ink(0x10, 0x28, 0x40);
    p.setPen(QPen(ink, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(0xf4, 0xf1, 0xe8));
    p.drawPath(tag);
    p.setPen(QPen(ink, 3));
    p.setBrush(QColor(0x1f, 0x3f, 0x66));
    p.drawEllipse(QPointF(44, 64), 7, 7);

    const QColor note(0xc0, 0x39, 0x2b);
    p.setPen(QPen(note, 6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(86, 36), QPointF(86, 78));
    QPainterPath flag;
    flag.moveTo(86, 36);
    flag.quadTo(98, 40, 100, 54);
    flag.quadTo(94, 46, 86, 46);
    flag.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(note);
    p.drawPath(flag);
    p.translate(77, 80);
    p.rotate(-20);
    p.drawEllipse(QPointF(0, 0), 11, 8);
    return pixmap;
}

} // namespace

QIcon tracklingAppIcon()
{
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(drawIcon(size));
    return icon;
}
