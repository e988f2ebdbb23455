#pragma once

#include <array>
#include <cstdint>
#include <functional>
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

// What one tag write replaced and wrote, so that it can be recorded and taken back.
struct TagWriteOutcome {
    bool written = false;  // false: the file was missing and passed over
    bool appended = false; // the tag went after the old end rather than over an old tag
    std::int64_t oldSize = 0;
    std::array<std::uint8_t, 128> oldBytes{}; // the last 128 bytes before the write
    std::array<std::uint8_t, 128> newBytes{}; // the tag written
};

// The 128 bytes WriteTagFile writes for the workspace's fields as they are (genre byte
// included; the writer takes it from the genre name first). Uses the workspace's buffers.
std::array<std::uint8_t, 128> workspaceTagBytes();

// WriteTagFile, saying what it replaced. Same guarantees and failures. beforeWrite, when given,
// is called with the outcome the write will have, after the file was read and before anything
// is written to it; when it throws, the file is left as it was and the exception propagates.
TagWriteOutcome
writeTagFileReporting(const std::string &fileName,
                      const std::function<void(const TagWriteOutcome &planned)> &beforeWrite = {});
