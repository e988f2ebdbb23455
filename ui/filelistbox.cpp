#include "filelistbox.h"

#include "folderscan.h"
#include "listitemdelegate.h"

#include <QAbstractListModel>
#include <QItemSelection>
#include <algorithm>

// The file names of the list, decoded only when a row is shown or read.
class FileNameModel : public QAbstractListModel
{
public:
    using QAbstractListModel::QAbstractListModel;

    void setNames(EncodedNames names)
    {
        beginResetModel();
        m_names = std::move(names);
        m_cursor = EncodedNames::Cursor();
        endResetModel();
    }
    QString name(int row) const
    {
        return row >= 0 && row < m_names.size() ? m_names.at(row, m_cursor) : QString();
    }
    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : m_names.size();
    }
    // The view asks for every row's index when it lays the list out: answered without the
    // generic checks' further calls.
    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override
    {
        if (row < 0 || row >= m_names.size() || column != 0 || parent.isValid())
            return QModelIndex();
        return createIndex(row, column);
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
            return QVariant();
        return name(index.row());
    }

private:
    EncodedNames m_names;
    mutable EncodedNames::Cursor m_cursor; // the names are mostly read in order
};

TFileListBox::TFileListBox(QWidget *parent) : QListView(parent), m_model(new FileNameModel(this))
{
    setModel(m_model);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    setItemDelegate(new ListItemDelegate(16, this));
}

void TFileListBox::setMask(const QString &mask)
{
    m_mask = mask;
    reread();
}

void TFileListBox::showFiles(const QString &directory, const QStringList &names)
{
    showFiles(directory, EncodedNames(names));
}

void TFileListBox::showFiles(const QString &directory, EncodedNames names)
{
    m_directory = directory;
    m_pendingUnselect.clear();
    m_model->setNames(std::move(names));
}

void TFileListBox::setDirectory(const QString &directory)
{
    m_directory = directory;
    reread();
}

void TFileListBox::reread()
{
    m_pendingUnselect.clear();
    m_model->setNames(m_directory.isEmpty() ? EncodedNames()
                                            : scanFolder(m_directory, m_mask).files);
}

int TFileListBox::count() const
{
    return m_model->rowCount();
}

QString TFileListBox::itemText(int row) const
{
    return m_model->name(row);
}

std::vector<bool> TFileListBox::selectedRows() const
{
    flushPendingUnselect();
    // From the ranges, not row by row: asking the selection model row by row costs the number of
    // ranges for every row.
    const int n = count();
    std::vector<bool> selected(std::size_t(n), false);
    const QItemSelection selection = selectionModel()->selection();
    for (const QItemSelectionRange &range : selection) {
        for (int row = std::max(range.top(), 0); row <= std::min(range.bottom(), n - 1); ++row)
            selected[std::size_t(row)] = true;
    }
    return selected;
}

void TFileListBox::unselect(int row)
{
    if (row >= 0 && row < count())
        m_pendingUnselect.push_back(row);
}

void TFileListBox::flushPendingUnselect() const
{
    if (m_pendingUnselect.empty())
        return;
    std::vector<int> rows;
    rows.swap(m_pendingUnselect);
    // The new selection is worked out here and handed over in one change, a range per run of
    // selected rows: the selection model itself would compare every range with every other.
    std::vector<bool> selected = selectedRows();
    for (int row : rows)
        selected[std::size_t(row)] = false;
    applySelection(selected);
}

void TFileListBox::selectRows(const std::vector<bool> &selected)
{
    m_pendingUnselect.clear();
    applySelection(selected);
}

void TFileListBox::applySelection(const std::vector<bool> &selected) const
{
    QItemSelection selection;
    const int n = std::min(count(), int(selected.size()));
    for (int row = 0; row < n;) {
        if (!selected[std::size_t(row)]) {
            ++row;
            continue;
        }
        int last = row;
        while (last + 1 < n && selected[std::size_t(last + 1)])
            ++last;
        selection.append(QItemSelectionRange(m_model->index(row, 0), m_model->index(last, 0)));
        row = last + 1;
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

bool TFileListBox::isSelected(int row) const
{
    flushPendingUnselect();
    return selectionModel()->isSelected(m_model->index(row, 0));
}

void TFileListBox::setSelected(int row, bool selected)
{
    flushPendingUnselect();
    selectionModel()->select(m_model->index(row, 0), selected ? QItemSelectionModel::Select
                                                              : QItemSelectionModel::Deselect);
}

void TFileListBox::selectAllFiles()
{
    m_pendingUnselect.clear();
    const int n = count();
    if (n == 0)
        return;
    selectionModel()->select(QItemSelection(m_model->index(0, 0), m_model->index(n - 1, 0)),
                             QItemSelectionModel::Select);
}

void TFileListBox::clearFileSelection()
{
    m_pendingUnselect.clear();
    const int n = count();
    if (n == 0)
        return;
    selectionModel()->select(QItemSelection(m_model->index(0, 0), m_model->index(n - 1, 0)),
                             QItemSelectionModel::Deselect);
}

int TFileListBox::itemIndex() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

void TFileListBox::setItemIndex(int row)
{
    selectionModel()->setCurrentIndex(m_model->index(row, 0), QItemSelectionModel::NoUpdate);
}

void TFileListBox::reserveBottom(int height)
{
    if (viewportMargins().bottom() != height)
        setViewportMargins(0, 0, 0, height);
}
