#pragma once

#include <QStringList>

// What the folder browser shows of one folder, read in one pass: its subfolders and its files
// that match the mask (letter case disregarded). Hidden names (beginning with ".") are left out,
// and of the rest only folders and regular files count, also behind a link: FIFOs, sockets,
// devices and broken links never appear. Both lists are sorted by name, letter case
// disregarded.
struct FolderScan {
    QStringList folders;
    QStringList files;
};
FolderScan scanFolder(const QString &directory, const QString &mask);

// Sorts names as the folder browser lists them.
void sortNames(QStringList &names);
