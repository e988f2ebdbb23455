#include "memoryfilelist.h"

#include <QDir>

MemoryFileList::MemoryFileList() : MemoryFileList(folderItems()) {}

MemoryFileList::MemoryFileList(const QStringList &items)
    : m_items(items), m_selected(std::size_t(items.size()), false)
{
}

void MemoryFileList::reread()
{
    m_items = folderItems();
    m_selected.assign(std::size_t(m_items.size()), false);
    ++m_rereads;
}

void MemoryFileList::selectAll()
{
    m_selected.assign(m_selected.size(), true);
}

QStringList MemoryFileList::folderItems()
{
    return itemsOf(QDir::currentPath());
}

QStringList MemoryFileList::itemsOf(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral("*.mp3")}, QDir::Files,
                                  QDir::Name | QDir::IgnoreCase);
}

WorkingFolder::WorkingFolder() : m_previous(QDir::currentPath())
{
    if (m_dir.isValid())
        QDir::setCurrent(m_dir.path());
}

WorkingFolder::~WorkingFolder()
{
    QDir::setCurrent(m_previous);
}

Folder here()
{
    return Folder::open(QDir::currentPath());
}
