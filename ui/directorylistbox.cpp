#include "directorylistbox.h"

#include "filelistbox.h"
#include "filenames.h"
#include "folderscan.h"
#include "handler.h"
#include "ioerror.h"
#include "listitemdelegate.h"
#include "nametext.h"
#include "pictures.h"

#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <cerrno>
#include <unistd.h>

namespace
{
constexpr int PathRole = Qt::UserRole + 2;

} // namespace

TDirectoryListBox::TDirectoryListBox(QWidget *parent) : QListWidget(parent)
{
    setUniformItemSizes(false);
    setItemDelegate(new ListItemDelegate(16, this, 8));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setIconSize(QSize(16, 16));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(this, &QListWidget::itemDoubleClicked, this, [this] { openSelected(); });
}

void TDirectoryListBox::setDirectory(const QString &path)
{
    const QString target = QDir::cleanPath(QDir(m_directory).absoluteFilePath(path));
    if (::chdir(encodeFileName(target).constData()) != 0)
        throw IoError::fromErrno(errno);
    const QString entered = QDir::cleanPath(currentFolder());
    // One pass over the folder serves both lists. A folder that cannot be read to its end is
    // not shown in part: the current folder stays as it was.
    FolderScan scan;
    try {
        scan = readFolder(entered, m_fileList ? m_fileList->mask() : QStringLiteral("*.mp3"));
    } catch (...) {
        (void)::chdir(encodeFileName(m_directory).constData());
        throw;
    }
    m_directory = entered;
    rebuild(scan.folders);
    if (m_fileList)
        m_fileList->showFiles(m_directory, std::move(scan.files));
    emit changed();
}

QString TDirectoryListBox::itemPath(int row) const
{
    const QListWidgetItem *it = item(row);
    return it ? it->data(PathRole).toString() : QString();
}

void TDirectoryListBox::openSelected()
{
    const int row = currentRow();
    if (row < 0)
        return;
    const QString path = itemPath(row);
    runHandler(m_questions, [this, path] { setDirectory(path); });
}

void TDirectoryListBox::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openSelected();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void TDirectoryListBox::rebuild(const QStringList &subfolders)
{
    clear();
    const QIcon open = folderIcon(FolderPicture::Open);
    const QIcon current = folderIcon(FolderPicture::Current);
    const QIcon closed = folderIcon(FolderPicture::Closed);
    auto add = [this](const QIcon &icon, const QString &text, const QString &path, int level) {
        auto *it = new QListWidgetItem(icon, text, this);
        it->setData(PathRole, path);
        it->setData(ListItemDelegate::IndentRole, level);
    };

    const QStringList parts = m_directory.split(u'/', Qt::SkipEmptyParts);
    add(parts.isEmpty() ? current : open, QStringLiteral("/"), QStringLiteral("/"), 0);
    QString path;
    for (int i = 0; i < parts.size(); ++i) {
        path += u'/' + parts[i];
        add(i + 1 == parts.size() ? current : open, parts[i], path, i + 1);
    }
    const int currentRowIndex = int(parts.size());
    m_currentFolderRow = currentRowIndex;
    const QString prefix = m_directory.endsWith(u'/') ? m_directory : m_directory + u'/';
    for (const QString &name : subfolders)
        add(closed, name, prefix + name, currentRowIndex + 1);
    setCurrentRow(currentRowIndex);
}
