#pragma once

#include "walk.h"

class FileList;

// "ID3v2 from ID3v1": writes each selected file's ID3v2 tag, through the ID3v2 door, from its
// ID3v1 tag (id3v2UpdateFromId3v1: only the fields that really differ; nothing else of the
// ID3v2 tag changes), in list order by the walk. A file without an ID3v1 tag, one whose ID3v2
// tag says all of it already ("already in step"), and one the door will not write (its tag a
// version 2.2 one, too large or damaged; a new file needed for a link or a file with other hard
// links) are left as they were with the reason. A read or write failure throws IoError and ends
// the walk at that file.
WalkReport id3v2FromId3v1(const Folder &folder, FileList &list, const WalkControl &control = {});
