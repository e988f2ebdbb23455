#pragma once

#include <string>

// Reads the ID3v1 tag and the audio information of the named file (a path in the file-system
// encoding, relative names resolve against the working directory) into the workspace. Throws
// IoError on any failure; the file is always released.
void ReadTagFile(const std::string &fileName);

// Stores the workspace's tag fields into the named file: overwrites the last 128 bytes when they
// hold a tag, appends a new tag otherwise. Clears the owner's missing write permission first. A
// missing file is skipped silently. Throws IoError on failure; a failed append is undone, so the
// file keeps its old size and bytes.
void WriteTagFile(const std::string &fileName);
