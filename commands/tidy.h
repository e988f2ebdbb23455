#pragma once

#include "walk.h"

#include <QString>

class FileList;

// The tidy form of a file name: a leading two-digit track number written as the two digits and
// ". " (not under pattern 2, "Artist - Song.mp3"), underscores as blanks, each word with a
// capital first letter and the rest in small letters, and ".mp3" in place of the last four
// characters. Only a to z, ä, ö and å (and their capitals) change case.
QString tidyName(const QString &name, int pattern);

// Renames every selected file to its tidy name; the caller reads the folder again afterwards. A
// rename that is refused leaves the file under its old name (reported, not shown as a failure);
// no existing file is replaced.
WalkReport tidyFileNames(const Folder &folder, FileList &list, int pattern,
                         const WalkControl &control = {});
