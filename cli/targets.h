#pragma once

#include "encodednames.h"
#include "filelist.h"
#include "ioerror.h"

#include <QByteArray>
#include <vector>

// The files of one folder that a command is given, in the order it takes them.
struct FileGroup {
    QByteArray folder; // absolute, links on the way resolved
    QByteArray shown;  // the folder as the command line wrote it: "" or ending in "/"
    EncodedNames names;
};

// A path of the command line that cannot be used, and why.
struct PathError {
    QByteArray path;
    IoError error;
};

// The FILE and FOLDER operands as groups of files, one per folder in the order the folders first
// come up. A FOLDER gives its MP3 files in the order the window lists them (and with recursive,
// then those of each subfolder in list order, each folder once however links lead to it); FILEs
// of one folder keep the order they were given in. A file named twice counts once. Names are
// kept byte for byte. Throws PathError for an operand that is missing or neither a regular file
// nor a folder, or a folder that cannot be read, before any command has started.
std::vector<FileGroup> collectTargets(const std::vector<QByteArray> &operands, bool recursive);

// The absolute path of a folder, links on the way resolved. Throws PathError.
QByteArray realFolderPath(const QByteArray &path);

// How many files the groups hold.
long long fileCount(const std::vector<FileGroup> &groups);

// A FileList over a group's names, all selected: what the window's list is to a command.
class NameList : public FileList
{
public:
    explicit NameList(const EncodedNames &names) : m_names(names) {}
    int count() const override { return m_names.size(); }
    QString itemText(int row) const override { return m_names.at(row, m_cursor); }
    std::vector<bool> selectedRows() const override
    {
        return std::vector<bool>(std::size_t(m_names.size()), true);
    }
    void unselect(int) override {}
    void reread() override {}

private:
    const EncodedNames &m_names;
    mutable EncodedNames::Cursor m_cursor;
};
