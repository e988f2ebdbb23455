#pragma once

#include <QStyledItemDelegate>

// Items of a fixed height, indented by the level held in the item's IndentRole.
class ListItemDelegate : public QStyledItemDelegate
{
public:
    static constexpr int IndentRole = Qt::UserRole + 1;

    ListItemDelegate(int itemHeight, QObject *parent, int indentStep = 0);

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;

private:
    int m_itemHeight;
    int m_indentStep;
};
