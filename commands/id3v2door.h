#pragma once

#include "id3v2writer.h"
#include "journal.h"
#include "walk.h"

#include <QByteArray>
#include <QString>
#include <functional>

// The fourth door: the ID3v2 write. It changes a file's leading ID3v2 tag to one that the
// renderer makes from the old one (id3v2/id3v2writer.h: only the six frames change, every other
// frame stays byte for byte) and places the bytes itself, so that after a kill or a power loss
// at any moment the file holds its old bytes or its new bytes, whole:
// - in place, one write over the old tag, where the new tag fits the old tag's space (its
//   declared size, padding included): the audio never moves;
// - otherwise a new file beside the original (same folder, a name that cannot clash, created
//   exclusively) with the new tag and then the audio and the ID3v1 tag copied unchanged
//   (copy_file_range, which shares the blocks where the file system can), flushed, given the
//   original's mode, owner and group (where allowed) and extended attributes, and renamed over
//   the original in one step, the folder flushed. A file with other hard links, or reached
//   through a symbolic link, is not replaced this way: it is left with its reason.
// The change is recorded in the journal (the whole old tag) before the file changes. The folder
// of a new file is flushed once the command is through (syncFolder), so that the names last.

// What a file's ID3v2 write needs to know of it, read in one open.
struct Id3v2FileState {
    FileStatus status; // the file (a link followed)
    QByteArray tag;    // the leading ID3v2 tag's bytes as declared (up to the read limit);
                       // empty when it has none
    std::array<std::uint8_t, 128> last{}; // its last 128 bytes
    bool hasLast = false;                 // the file is 128 bytes or longer
};

// Reads it. Throws IoError as the tag reader does (a missing file: "File not found.").
Id3v2FileState readId3v2FileState(const Folder &folder, const QByteArray &name);

// Whether the file's ID3v2 tag, where it has one, says otherwise than the ID3v1 tag tag (the
// 128 bytes about to be written or just written): what players show would not be what was
// saved. False for a file without an ID3v2 tag or one that cannot be read.
bool id3v2DiffersFrom(const Folder &folder, const QByteArray &name,
                      const std::array<std::uint8_t, 128> &tag);

// What writing rendering into the file (as state found it) changes, for the journal; the
// written file is not known yet for a new file.
JournalId3v2 plannedId3v2Write(const Folder &folder, const QByteArray &name,
                               const Id3v2FileState &state, const Id3v2Rendering &rendering);

// Writes update into the file name (bytes) of the context's folder. planned is the change
// foreseen for it: its new tag is used where the file is still that very file with the same old
// tag; otherwise the tag is rendered again from what the file holds now and recorded anew.
// Returns the outcome: done, or left with the renderer's or the door's reason ("is a link",
// "has other hard links", "file not found"). In a dry run, says what it would do. Throws
// IoError when reading or writing fails; the file is then as it was.
FileOutcome writeId3v2(const ChangeContext &context, const QByteArray &name,
                       const Id3v2Update &update, const JournalId3v2 *planned = nullptr);

// The door's own steps, for undo and redo to place bytes by the same rules. replaceHead puts a
// new file in place of name in folder: newHead, then the bytes of fd (open on the current file,
// whose status is current) from oldHeadSize on, with current's mode, owner, group and extended
// attributes; ready is called with the new file before it takes the name (when it throws,
// nothing has changed); the caller then flushes the folder (syncFolder). overwriteHead writes
// newHead over the file's first bytes in one write, and puts oldHead back when that write fails.
// Both throw IoError.
FileIdentity replaceHead(const Folder &folder, const QByteArray &name, int fd,
                         const FileStatus &current, std::int64_t oldHeadSize,
                         const QByteArray &newHead,
                         const std::function<void(const FileIdentity &)> &ready = {});
void overwriteHead(int fd, const QByteArray &newHead, const QByteArray &oldHead);
void syncFolder(const Folder &folder);

// For tests only: called before each system call that changes a file on the in-place and the
// new-file paths (and their undo), with its name; returning an errno makes that call fail with
// it, 0 lets it run (a test may also end the process there). Unset in the program.
void setId3v2WriteHook(std::function<int(const char *call)> hook);
