#pragma once

#include "encodednames.h"

#include <QStringList>

// What the folder browser shows of one folder, read in one pass: its subfolders and its files
// that match the mask (letter case disregarded). Hidden names (beginning with ".") are left out,
// and of the rest only folders and regular files count, also behind a link: FIFOs, sockets,
// devices and broken links never appear. Both lists are sorted by name, letter case
// disregarded. A folder that cannot be opened reads as empty; one whose reading fails part-way
// throws IoError, so a part of a folder is never taken for all of it.
struct FolderScan {
    QStringList folders;
    EncodedNames files;
};
FolderScan scanFolder(const QString &directory, const QString &mask);

// Reading a big folder takes a while. readFolderAhead starts reading a folder on a thread of its
// own, say the one the program starts in while its windows are set up; readFolder takes that
// result when it is for the same folder and mask, and reads the folder itself otherwise. Both are
// called from the main thread only; readFolderAhead may be called before the application object
// exists, and again for a folder it is already reading, which it then leaves be.
void readFolderAhead(const QString &directory, const QString &mask);
FolderScan readFolder(const QString &directory, const QString &mask);

// For tests only: the next folder reads meet err (an I/O error, a network share gone stale)
// after their first batch of entries; 0 puts reading right again.
void setFolderReadFault(int err);
