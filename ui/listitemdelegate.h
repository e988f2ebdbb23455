#pragma once

#include <QStyledItemDelegate>

// Items of a fixed height, as wide as their list, indented by the level held in the item's
// IndentRole. A text too long for its item is elided in the middle (the start and the extension
// stay) and shown whole in a tooltip; texts are plain, never markup. The view's current item
// carries a dotted focus mark while the view has the focus.
class ListItemDelegate : public QStyledItemDelegate
{
public:
    static constexpr int IndentRole = Qt::UserRole + 1;

    ListItemDelegate(int itemHeight, QObject *parent, int indentStep = 0);

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

    // Whether the item's text is drawn elided in option's rectangle.
    bool isElided(const QStyleOptionViewItem &option, const QModelIndex &index) const;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;

private:
    QStyleOptionViewItem itemOption(const QStyleOptionViewItem &option,
                                    const QModelIndex &index) const;

    int m_itemHeight;
    int m_indentStep;
};
