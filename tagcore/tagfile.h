#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

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

// A file opened ahead of a tag write, so that the write needs no open of its own, with its size
// and last 128 bytes as read then. The file is closed when this is dropped.
class OpenedTagFile
{
public:
    OpenedTagFile(int fd, unsigned mode) : m_fd(fd), m_mode(mode) {}
    ~OpenedTagFile();
    OpenedTagFile(OpenedTagFile &&other) noexcept;
    OpenedTagFile &operator=(OpenedTagFile &&) = delete;

    int fd() const { return m_fd; }
    unsigned mode() const { return m_mode; } // as looked at before the open
    int release();

    std::int64_t size = 0;
    std::array<std::uint8_t, 128> last{};

private:
    int m_fd;
    unsigned m_mode;
};

// Opens a regular file for a later tag write and reads its end; changes nothing. Nothing when
// the file is missing, not a regular file, shorter than a tag, or cannot be opened for writing
// or read: the write then finds out for itself.
std::optional<OpenedTagFile> openForTagWrite(const std::string &fileName);

// The tag WriteTagFile writes for the workspace's fields: workspaceTagBytes with the genre byte
// taken from the genre name first.
std::array<std::uint8_t, 128> tagToWrite();

// writeTagFileReporting of tag (from tagToWrite) through a file opened ahead. Where the file's
// size has changed since its end was read, the end is read again, so that a file another program
// appended to meanwhile is written as safely as by name.
TagWriteOutcome
writeTagFileReporting(OpenedTagFile &&file, const std::array<std::uint8_t, 128> &tag,
                      const std::function<void(const TagWriteOutcome &planned)> &beforeWrite = {});
