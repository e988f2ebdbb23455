#include "listitemdelegate.h"

ListItemDelegate::ListItemDelegate(int itemHeight, QObject *parent, int indentStep)
    : QStyledItemDelegate(parent), m_itemHeight(itemHeight), m_indentStep(indentStep)
{
}

QSize ListItemDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(m_itemHeight);
    if (m_indentStep)
        size.rwidth() += m_indentStep * index.data(IndentRole).toInt();
    return size;
}

void ListItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                             const QModelIndex &index) const
{
    QStyleOptionViewItem opt(option);
    if (m_indentStep)
        opt.rect.setLeft(opt.rect.left() + m_indentStep * index.data(IndentRole).toInt());
    QStyledItemDelegate::paint(painter, opt, index);
}
