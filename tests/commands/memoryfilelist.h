#pragma once

#include "filelist.h"
#include "folder.h"

#include <QStringList>
#include <QTemporaryDir>
#include <vector>

// A file list held in memory: the "*.mp3" files of the working directory (hidden ones left
// out, sorted by name regardless of letter case) or any items given, with their selection.
class MemoryFileList : public FileList
{
public:
    MemoryFileList();
    explicit MemoryFileList(const QStringList &items);

    int count() const override { return int(m_items.size()); }
    QString itemText(int row) const override { return m_items.at(row); }
    std::vector<bool> selectedRows() const override { return m_selected; }
    void unselect(int row) override { m_selected.at(std::size_t(row)) = false; }
    void reread() override;

    void select(int row) { m_selected.at(std::size_t(row)) = true; }
    void selectAll();
    bool isSelected(int row) const { return m_selected.at(std::size_t(row)); }
    QStringList items() const { return m_items; }
    int rereadCount() const { return m_rereads; }

    // The "*.mp3" files of the working directory (or of folder) as the list shows them.
    static QStringList folderItems();
    static QStringList itemsOf(const QString &folder);

private:
    QStringList m_items;
    std::vector<bool> m_selected;
    int m_rereads = 0;
};

// The working directory as a folder the commands are given (tests only: no command reads it).
Folder here();

// A temporary folder that is the working directory while the object lives.
class WorkingFolder
{
public:
    WorkingFolder();
    ~WorkingFolder();
    WorkingFolder(const WorkingFolder &) = delete;
    WorkingFolder &operator=(const WorkingFolder &) = delete;

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};
