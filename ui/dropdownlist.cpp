#include "dropdownlist.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QScrollBar>
#include <QStyledItemDelegate>

namespace
{

// Rows of one height, each as wide as its text (the list opens as wide as its widest item).
class RowHeightDelegate : public QStyledItemDelegate
{
public:
    RowHeightDelegate(int height, QObject *parent) : QStyledItemDelegate(parent), m_height(height)
    {
    }
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return {QStyledItemDelegate::sizeHint(option, index).width(), m_height};
    }

private:
    int m_height;
};

} // namespace

void setDropDownRows(QComboBox *box, int itemHeight, int rows)
{
    // Styles that open the list as a menu ignore the row count; the program's style does not
    // (see ProgramStyle).
    box->setMaxVisibleItems(rows);
    box->setItemDelegate(new RowHeightDelegate(itemHeight, box));
    fitDropDownWidth(box);
}

void fitDropDownWidth(QComboBox *box)
{
    QAbstractItemView *list = box->view();
    const int scrollBar = list->verticalScrollBar()->sizeHint().width();
    list->setMinimumWidth(list->sizeHintForColumn(0) + scrollBar + 2 * list->frameWidth());
}
