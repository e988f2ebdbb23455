#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "regularfile.h"

// How ReadTagFile finds the playing time of a stream without a VBR header.
enum class AudioLength {
    Estimate,   // from the size and the first frame's bitrate: reads a few KiB at most
    CountFrames // walks the frame headers (up to 64 MiB, then extrapolated); where their
                // bitrates differ, shows the true length and the average bitrate marked VBR
};

// Reads the ID3v1 tag and the audio information of the named file (a path in the file-system
// encoding, relative names resolve against the working directory) into the workspace. Throws
// IoError on any failure; the file is always released.
void ReadTagFile(const std::string &fileName, AudioLength length = AudioLength::Estimate);
// How many of a file's first bytes ReadTagFile reads at least (fewer from a shorter file).
inline constexpr std::size_t kTagReaderStartBytes = 4096;
// How many it reads at once when it counts the frames, which it reads all of anyway: a file up
// to this size is read with one call, its tag included.
inline constexpr std::size_t kTagReaderCountingBytes = 256 * 1024;

// A file's end as a tag write will find it: which file, its size and its last 128 bytes.
struct TagFileState {
    FileIdentity identity;
    std::int64_t size = 0;
    std::array<std::uint8_t, 128> last{};
    std::array<std::uint8_t, 3> first{}; // the file's first bytes ("ID3" where a tag leads)
    bool hasTag() const { return last[0] == 'T' && last[1] == 'A' && last[2] == 'G'; }
};

// The same for the file name inside the folder dirfd; identity, when given, receives which file
// was read, and start the file's first bytes as read (the whole file, or at least
// kTagReaderStartBytes, and all of an ID3v2 tag at its start that the first read holds), so that a
// caller that looks at them too (an ID3v2 header) opens the file no second time. state, when
// given, receives the file's end as a tag write will find it, where the reads saw its last 128
// bytes at the end the file was seen with (nothing otherwise), so that a write can be foreseen
// without looking at the file again.
void ReadTagFileAt(int dirfd, const std::string &name, AudioLength length = AudioLength::Estimate,
                   FileIdentity *identity = nullptr, std::string *start = nullptr,
                   std::optional<TagFileState> *state = nullptr);

// Stores the workspace's tag fields into the named file: overwrites the last 128 bytes when they
// hold a tag, appends a new tag otherwise. Gives the owner a missing write permission. A missing
// file is skipped silently. Another program may append to the file meanwhile: a new tag still
// goes to the true end, an old tag is overwritten only where it was read as the last 128 bytes,
// and no byte another program wrote is overwritten or cut off. Throws IoError on failure; a
// failed overwrite puts the old tag back, a failed append takes back the bytes it added (while
// they still end the file).
void WriteTagFile(const std::string &fileName);

// What one tag write replaced and wrote, so that it can be recorded and taken back.
struct TagWriteOutcome {
    bool written = false;  // false: the file was missing and passed over
    bool appended = false; // the tag went after the old end rather than over an old tag
    std::int64_t oldSize = 0;
    std::array<std::uint8_t, 128> oldBytes{}; // the last 128 bytes before the write
    std::array<std::uint8_t, 128> newBytes{}; // the tag written
    FileIdentity identity;                    // the file written
};

// The 128 bytes WriteTagFile writes for the workspace's fields as they are (genre byte
// included; the writer takes it from the genre name first). Uses the workspace's buffers.
std::array<std::uint8_t, 128> workspaceTagBytes();

// The tag WriteTagFile writes for the workspace's fields: workspaceTagBytes with the genre byte
// taken from the genre name first.
std::array<std::uint8_t, 128> tagToWrite();

// WriteTagFile, saying what it replaced. Same guarantees and failures. beforeWrite, when given,
// is called with the outcome the write will have, after the file was read and before anything
// is written to it; when it throws, the file is left as it was and the exception propagates.
TagWriteOutcome
writeTagFileReporting(const std::string &fileName,
                      const std::function<void(const TagWriteOutcome &planned)> &beforeWrite = {});

// The same write of tag into the file name inside the folder dirfd.
TagWriteOutcome
writeTagAt(int dirfd, const std::string &name, const std::array<std::uint8_t, 128> &tag,
           const std::function<void(const TagWriteOutcome &planned)> &beforeWrite = {});

// The two writes a tag write makes, for undo and redo to make them by the same rules: tag over
// the 128 bytes at offset, which held old (a failed write puts old back), and tag after the true
// end of the file (a failed append takes back what it added while that still ends the file;
// returns where the file ended before it, -1 when not known). Both throw IoError on failure.
void overwriteTag(int fd, std::int64_t offset, const std::uint8_t tag[128],
                  const std::uint8_t old[128]);
std::int64_t appendTag(int fd, const std::uint8_t tag[128]);

// Looks at the named file inside the folder dirfd without changing it. Nothing when it is
// missing, not a regular file, shorter than a tag or cannot be read: the write then finds out
// for itself.
std::optional<TagFileState> readTagFileState(int dirfd, const std::string &name);
