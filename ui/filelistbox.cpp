#include "filelistbox.h"

#include "listitemdelegate.h"

#include <QDir>
#include <QItemSelection>
#include <QStringListModel>
#include <algorithm>

TFileListBox::TFileListBox(QWidget *parent) : QListView(parent), m_model(new QStringListModel(this))
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

void TFileListBox::setDirectory(const QString &directory)
{
    m_directory = directory;
    reread();
}

void TFileListBox::reread()
{
    m_pendingUnselect.clear();
    QStringList names;
    if (!m_directory.isEmpty()) {
        const QDir dir(m_directory);
        const QFileInfoList infos = dir.entryInfoList(
            QStringList{m_mask}, QDir::Files | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
        names.reserve(infos.size());
        for (const QFileInfo &info : infos) {
            // isFile() follows links: a link to a FIFO or a broken link is left out.
            if (info.isFile())
                names.append(info.fileName());
        }
    }
    m_model->setStringList(names);
}

int TFileListBox::count() const
{
    return m_model->rowCount();
}

QString TFileListBox::itemText(int row) const
{
    return m_model->index(row, 0).data().toString();
}

std::vector<bool> TFileListBox::selectedRows() const
{
    flushPendingUnselect();
    std::vector<bool> selected(std::size_t(count()), false);
    const QModelIndexList rows = selectionModel()->selectedRows();
    for (const QModelIndex &index : rows) {
        if (index.row() >= 0 && index.row() < count())
            selected[std::size_t(index.row())] = true;
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
    std::sort(rows.begin(), rows.end());
    QItemSelection selection;
    std::size_t i = 0;
    while (i < rows.size()) {
        std::size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1] <= rows[j] + 1)
            ++j;
        selection.select(m_model->index(rows[i], 0), m_model->index(rows[j], 0));
        i = j + 1;
    }
    selectionModel()->select(selection, QItemSelectionModel::Deselect);
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
