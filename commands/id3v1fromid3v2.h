#pragma once

#include "walk.h"

class FileList;

// "ID3v1 from ID3v2": writes each selected file's ID3v1 tag from its ID3v2 tag (the fields of
// id3v1FieldsFromId3v2), through the tag-write door, in list order by the walk. A file without
// an ID3v2 tag, with one too large to read, or with one that holds none of the six texts, is
// left as it was and reported with the reason. The ID3v2 tag itself is never written: only the
// last 128 bytes change, as every tag write does. A read or write failure throws IoError and
// ends the walk at that file.
WalkReport id3v1FromId3v2(const Folder &folder, FileList &list, const WalkControl &control = {});
