#include "listitemdelegate.h"

#include "nametext.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

ListItemDelegate::ListItemDelegate(int itemHeight, QObject *parent, int indentStep)
    : QStyledItemDelegate(parent), m_itemHeight(itemHeight), m_indentStep(indentStep)
{
}

QSize ListItemDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &index) const
{
    // No width of its own: an item is as wide as its list and elides what does not fit, rather
    // than widening the list into a horizontal scroll bar.
    return QSize(1 + m_indentStep * index.data(IndentRole).toInt(), m_itemHeight);
}

void ListItemDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    option->textElideMode = Qt::ElideMiddle;
}

QStyleOptionViewItem ListItemDelegate::itemOption(const QStyleOptionViewItem &option,
                                                  const QModelIndex &index) const
{
    QStyleOptionViewItem opt(option);
    if (m_indentStep)
        opt.rect.setLeft(opt.rect.left() + m_indentStep * index.data(IndentRole).toInt());
    return opt;
}

void ListItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                             const QModelIndex &index) const
{
    QStyleOptionViewItem opt = itemOption(option, index);
    const bool focus = opt.state & QStyle::State_HasFocus;
    // The style's own mark is faint or shown only after Tab; ours is drawn always.
    opt.state &= ~QStyle::State_HasFocus;
    QStyledItemDelegate::paint(painter, opt, index);
    if (!focus)
        return;
    painter->save();
    const bool selected = opt.state & QStyle::State_Selected;
    QPen pen(opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    pen.setStyle(Qt::DotLine);
    pen.setCosmetic(true);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(QRectF(opt.rect).adjusted(0.5, 0.5, -0.5, -0.5));
    painter->restore();
}

bool ListItemDelegate::isElided(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem opt = itemOption(option, index);
    initStyleOption(&opt, index);
    if (opt.text.isEmpty())
        return false;
    const QWidget *widget = opt.widget;
    const QStyle *style = widget ? widget->style() : QApplication::style();
    // As the style lays the text out: its rectangle less a margin on either side.
    const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    return opt.fontMetrics.horizontalAdvance(opt.text) > textRect.width() - 2 * margin;
}

bool ListItemDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view,
                                 const QStyleOptionViewItem &option, const QModelIndex &index)
{
    if (event && event->type() == QEvent::ToolTip && index.isValid() && view) {
        if (isElided(option, index)) {
            QToolTip::showText(event->globalPos(), plainToolTip(index.data().toString()), view,
                               option.rect);
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}
