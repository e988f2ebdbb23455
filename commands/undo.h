#pragma once

#include "journal.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

// The reasons undo and redo give for a file they leave as it is.
inline constexpr char16_t kUndoChangedSince[] = u"changed since";
inline constexpr char16_t kUndoGone[] = u"no longer there";
inline constexpr char16_t kUndoNameTaken[] = u"name already taken";

// What undo (or redo) did: the files it changed back, how many it found already as they should
// be (a change a killed command never made, or an undo cut short), and the files it left as
// they were, each with its reason (one of the texts above, or the message of a failed write).
struct UndoReport {
    QString command; // the name of the command taken back or made again
    struct Left {
        QByteArray path; // bytes, absolute
        QString reason;
    };
    std::vector<QByteArray> done;
    int alreadyAsWas = 0;
    std::vector<Left> left;
};

// Takes back a command's changes, the last first. A file is changed only when it is exactly as
// the command left it: a tag only when the file has the size and last 128 bytes the command
// made (an appended tag is cut off, an overwritten one gets its old 128 bytes back in one
// write, put right again if that write fails); a rename only when the file (the same inode)
// still has the new name, and never over another file; a playlist only when it holds exactly
// what the command wrote (its old content comes back atomically, a new one is removed).
// Everything else is left as it is and reported. Records the undo in the journal first, so
// the command moves to the redo side even when undo is cut short. Throws IoError only when the
// journal cannot be written; nothing has been changed then.
UndoReport undoCommand(Journal &journal, const JournalCommand &command);

// Makes a command's changes again, in order, by the same rules: only where a file is exactly as
// undo left it. Throws IoError only when the journal cannot be written.
UndoReport redoCommand(Journal &journal, const JournalCommand &command);

// Whether the command was made by an earlier run of the program (or another one running): the
// window asks before undoing it.
inline bool fromAnotherRun(const Journal &journal, const JournalCommand &command)
{
    return command.runId != journal.runId();
}

// The question asked before undoing a command of another run: its name, folder and time.
QString undoQuestion(const JournalCommand &command);

// Ctrl+Z: takes back the last command that changed files (see undoCommand). A command of
// another run is taken back only when confirm, asked undoQuestion(), says yes. Nothing when there
// is nothing to undo or the question is declined. Throws IoError when the journal cannot be
// read or written; then nothing has been changed.
std::optional<UndoReport> undoLast(Journal &journal,
                                   const std::function<bool(const QString &)> &confirm);

// Ctrl+Shift+Z: makes again what undo took back last (see redoCommand); nothing when there is
// nothing to redo (also after a new command).
std::optional<UndoReport> redoLast(Journal &journal);
