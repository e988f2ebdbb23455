#pragma once

#include "tagfile.h"

#include <QByteArray>
#include <QString>

// The three doors through which every change a command makes to a file goes: a tag write, a
// rename and a playlist write. Each refuses to destroy what it does not own and says what it
// replaced, so that the change can be recorded before it is made and taken back later. No
// command changes a file any other way.

// Writes the workspace's tag fields into fileName (relative names resolve against the working
// directory), by WriteTagFile's rules and with its guarantees; throws IoError as it does.
TagWriteOutcome writeTag(const QString &fileName);

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

// Renames the file from to the name to, both relative to the working directory, never
// replacing an existing file and in one atomic step where the file system allows it (see
// renameNoReplace). Throws IoError only when the undo journal of the running command cannot
// be written; the file then keeps its name.
RenameChange renameFile(const QString &from, const QString &to);

// What a playlist write replaced: the old playlist's bytes, or that there was none.
struct PlaylistChange {
    QByteArray path; // the playlist's path as the file system names it
    bool existed = false;
    QByteArray oldContent;
};

// Checks, before any playlist is written, that path can become a playlist: not a folder or
// another kind of file, not a read-only file. Throws IoError otherwise.
void checkPlaylistTarget(const QString &path);

// Writes content as the playlist at path (decoded as commands/filenames.h does, so every byte
// of the name is kept). The content goes to a new file beside it, flushed to disk, which then
// replaces the old playlist in one step; on any failure the old playlist stays as it was and
// nothing is left behind. Only a regular file (or a link to one, which stays a link) is ever
// replaced. Throws IoError.
PlaylistChange writePlaylist(const QString &path, const QByteArray &content);
