#pragma once

#include "journal.h"
#include "tagfile.h"
#include "walk.h"

#include <QByteArray>
#include <QString>
#include <functional>

// Three of the four doors through which every change a command makes to a file goes: a tag
// write, a rename and a playlist write (the fourth, the ID3v2 write, is in id3v2door.h). Each
// refuses to destroy what it does not own and says what it
// replaced; with a recorder in its context, it records the change in the undo journal before it
// makes it (nothing when it was recorded ahead as it is, one flush of its own otherwise) and that
// it made it afterwards. Names are relative to the context's folder. No command changes a file
// any other way; undo and redo use the doors' own steps.

// Writes tag into the file name (bytes), by WriteTagFile's rules and with its guarantees; throws
// IoError as it does. planned is the change foreseen for the file: it is trusted only where the
// file is still that very file with those bytes at its end; otherwise the write is recorded as
// it is found. In a dry run (see ChangeContext), says what the write would do and writes nothing.
TagWriteOutcome writeTag(const ChangeContext &context, const QByteArray &name,
                         const std::array<std::uint8_t, 128> &tag,
                         const JournalTag *planned = nullptr);

// A tag write as a file's outcome: done with the old and new 128 bytes, or left ("file not
// found") when the file was missing.
FileOutcome tagOutcome(const TagWriteOutcome &write);

// A rename's result. Only Renamed changed anything.
enum class RenameResult {
    Renamed,
    NameNotAllowed, // empty, ".", "..", holding "/" or NUL, or starting with "." (hidden)
    NameTaken,      // another file already has the new name
    Unchanged,      // the new name is the old one
    Failed,         // the file system refused (error holds the errno)
};

struct RenameChange {
    RenameResult result = RenameResult::Failed;
    QString from; // the old name: what a rename back restores
    QString to;
    int error = 0;

    bool renamed() const { return result == RenameResult::Renamed; }
    // Why the file kept its name, in words for the result notice; empty when it was renamed.
    QString reason() const;
};

// Renames the file from to the name to inside the context's folder, never replacing an existing
// file and in one atomic step where the file system allows it (see renameNoReplaceAt). planned
// as for writeTag. Throws IoError only when the undo journal cannot be written; the file then
// keeps its name.
RenameChange renameFile(const ChangeContext &context, const QString &from, const QString &to,
                        const JournalRename *planned = nullptr);

// The rename door's own step: from to to (bytes) inside folder, by the rules of renameNoReplace
// (rename.h). Returns 0, or the errno of the refusal (EEXIST: the name is taken).
int renameNoReplaceAt(const Folder &folder, const QByteArray &from, const QByteArray &to);

// What a playlist write replaced: the old playlist's bytes, or that there was none.
struct PlaylistChange {
    QByteArray path; // the playlist's path as the file system names it
    bool existed = false;
    QByteArray oldContent;
};

// Checks, before any playlist is written, that path can become a playlist: not a folder or
// another kind of file, not a read-only file. Throws IoError otherwise.
void checkPlaylistTarget(const QString &path);

// Writes content as the playlist at path (absolute; decoded as commands/filenames.h does, so
// every byte of the name is kept). The content goes to a new file beside it, flushed to disk,
// which then replaces the old playlist in one step; on any failure the old playlist stays as it
// was and nothing is left behind. Only a regular file (or a link to one, which stays a link) is
// ever replaced. Recorded under a place of its own in the command. With dryRun, only what it
// would replace is found. Throws IoError.
PlaylistChange writePlaylist(CommandLog *recorder, const QString &path, const QByteArray &content,
                             bool dryRun = false);

// The playlist door's own step: content as a new file beside name in folder (flushed, with
// mode; -1: as the umask makes it), which then takes the name: over the file there when replace is
// set, otherwise only where no file has it (EEXIST thrown as IoError with errorNumber EEXIST).
// ready is called with the new file before it takes the name; when it throws, nothing has changed.
// Returns the new file. Throws IoError; nothing is left behind.
FileIdentity putNewFile(const Folder &folder, const QByteArray &name, const QByteArray &content,
                        int mode, bool replace,
                        const std::function<void(const FileIdentity &)> &ready = {});

// The program's temporary files in a folder that a run killed meanwhile left behind: removed,
// and a file moved aside by a rename cut short given the name it was going to get (where that is
// free). Once per folder and command (forgetCleanedFolders starts the next); called before a
// command, an undo or a door writes there.
void removeLeftoversIn(const Folder &folder);
void forgetCleanedFolders();
// Whether a name is one of the program's temporary files (never listed).
bool isTemporaryName(QByteArrayView name);
