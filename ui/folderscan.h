#pragma once

#include <QStringList>
#include <cstdint>
#include <string>
#include <vector>

// Names read from a folder, kept as their encoded bytes in one buffer and decoded on demand: a
// folder of thousands of files costs no string per name until a name is shown or used.
class EncodedNames
{
public:
    EncodedNames() = default;
    explicit EncodedNames(const QStringList &names);

    int size() const { return int(m_names.size()); }
    bool isEmpty() const { return m_names.empty(); }
    QString at(int i) const;
    QStringList toStringList() const;

    void append(const char *encoded, std::size_t length);
    // Sorts as the folder browser lists names: letter case disregarded, then by the names
    // themselves so equal-looking names keep one order.
    void sort();

private:
    struct Name {
        std::uint32_t start;
        std::uint32_t length;
    };
    std::string_view view(const Name &name) const
    {
        return std::string_view(m_bytes).substr(name.start, name.length);
    }
    std::string m_bytes;
    std::vector<Name> m_names;
};

// What the folder browser shows of one folder, read in one pass: its subfolders and its files
// that match the mask (letter case disregarded). Hidden names (beginning with ".") are left out,
// and of the rest only folders and regular files count, also behind a link: FIFOs, sockets,
// devices and broken links never appear. Both lists are sorted by name, letter case
// disregarded.
struct FolderScan {
    QStringList folders;
    EncodedNames files;
};
FolderScan scanFolder(const QString &directory, const QString &mask);

// Reading a big folder takes a while. readFolderAhead starts reading a folder on a thread of its
// own, say the one the program starts in while its windows are set up; readFolder takes that
// result when it is for the same folder and mask, and reads the folder itself otherwise. Both are
// called from the main thread only.
void readFolderAhead(const QString &directory, const QString &mask);
FolderScan readFolder(const QString &directory, const QString &mask);
