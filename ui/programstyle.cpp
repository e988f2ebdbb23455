#include "programstyle.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOption>
#include <cmath>

ProgramStyle::ProgramStyle(QStyle *base) : QProxyStyle(base) {}

int ProgramStyle::styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                            QStyleHintReturn *returnData) const
{
    // Fusion opens a list without typing as a menu over the whole screen and ignores
    // maxVisibleItems.
    if (hint == SH_ComboBox_Popup)
        return 0;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

void ProgramStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option,
                                 QPainter *painter, const QWidget *widget) const
{
    const QTransform device = painter->deviceTransform();
    if (element != PE_Frame || !qobject_cast<const QAbstractScrollArea *>(widget) ||
        device.type() > QTransform::TxScale || device.m11() != device.m22()) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    // In device pixels: the control's edge pixels, and a line as thick as one pixel scaled down
    // to whole pixels.
    const qreal scale = device.m11();
    const QRectF edge = device.mapRect(QRectF(option->rect));
    const QRect pixels(QPoint(qRound(edge.left()), qRound(edge.top())),
                       QPoint(qRound(edge.right()) - 1, qRound(edge.bottom()) - 1));
    const int line = std::max(1, int(std::floor(scale)));
    // The colour Fusion gives a list's frame.
    const QColor frame = option->palette.color(QPalette::Window).darker(140).lighter(108);
    const auto *area = static_cast<const QAbstractScrollArea *>(widget);
    painter->save();
    // Drawn in device pixels.
    painter->setWorldTransform(device.inverted() * painter->worldTransform());
    // Between the frame and the contents, the contents' colour, not a stripe of the window's.
    painter->fillRect(pixels.adjusted(line, line, -line, -line),
                      option->palette.brush(area->viewport()->backgroundRole()));
    painter->fillRect(QRect(pixels.left(), pixels.top(), pixels.width(), line), frame);
    painter->fillRect(QRect(pixels.left(), pixels.bottom() - line + 1, pixels.width(), line),
                      frame);
    painter->fillRect(QRect(pixels.left(), pixels.top(), line, pixels.height()), frame);
    painter->fillRect(QRect(pixels.right() - line + 1, pixels.top(), line, pixels.height()), frame);
    painter->restore();
}

void useProgramStyle()
{
    if (qobject_cast<ProgramStyle *>(QApplication::style()))
        return;
    QApplication::setStyle(new ProgramStyle(QStyleFactory::create(QApplication::style()->name())));
}
