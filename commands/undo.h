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
// be (the rest of an undo cut short is counted as done instead), and the files it left as they
// were, each with its reason (one of the texts above, or the message of a failed write). When
// refused is set, nothing was done, and it says why ("cannot be undone: its record is damaged").
struct UndoReport {
    QString command; // the name of the command taken back or made again
    QByteArray folder;
    struct Left {
        QByteArray path; // bytes, absolute
        QString reason;
    };
    std::vector<QByteArray> done;
    int alreadyAsWas = 0;
    std::vector<Left> left;
    QString refused;
    bool declined = false; // the question before it was answered No: nothing done
};

// Takes back a command's changes, the last first: those the command made (or, after a redo, those
// the redo made again). A file is changed only where it is the very file the command left (same
// device, inode and birth time; not a link put in its place) and exactly as the command left it:
// a tag only when the file has the size and last 128 bytes the command made (an appended tag is
// cut off, an overwritten one gets its old 128 bytes back in one write, put right again if that
// write fails); a rename only when the file still has the new name, and never over another
// file; a playlist only when it is the file the command wrote and holds exactly what it wrote
// (its old content comes back atomically, a new one is removed). Everything else is left as it
// is and reported. Before each file it changes, undo records that it takes it on, so an undo cut
// short is finished by the next one, and redo makes again exactly what undo took back. With
// dryRun, says what it would do and changes nothing, the journal included. Throws IoError only
// when the journal cannot be written; then nothing more is changed.
UndoReport undoCommand(Journal &journal, const JournalCommand &command, bool dryRun = false);

// Makes again, in order, the changes the last undo of command took back, by the same rules:
// only where a file is exactly as undo left it.
UndoReport redoCommand(Journal &journal, const JournalCommand &command, bool dryRun = false);

// Whether the command was made by an earlier run of the program (or another one running).
inline bool fromAnotherRun(const Journal &journal, const JournalCommand &command)
{
    return command.runId != journal.runId();
}

// How many files undo of command would take on, as far as the journal tells.
int filesToUndo(const JournalCommand &command);

// The question asked before undoing a command of another run, or of another folder than
// currentFolder: its name, its folder (unless it is currentFolder), when and where it was made,
// and how many files.
QString undoQuestion(const Journal &journal, const JournalCommand &command,
                     const QByteArray &currentFolder = {});

// Ctrl+Z: takes back the last command that changed files (see undoCommand), or finishes an undo
// cut short. A command of another run, or of another folder than currentFolder, is taken back
// only when confirm, asked undoQuestion(), says yes (declined is set otherwise). Nothing when
// there is nothing to undo; a report with refused set when the command cannot be undone (its
// record is damaged, which also puts it out of the way, or another window is still making it).
// Throws IoError when the journal cannot be read or written; then nothing has been changed.
std::optional<UndoReport> undoLast(Journal &journal,
                                   const std::function<bool(const QString &)> &confirm,
                                   const QByteArray &currentFolder = {}, bool dryRun = false);

// Ctrl+Shift+Z: makes again what undo took back last (see redoCommand); nothing when there is
// nothing to redo (also after a new command).
std::optional<UndoReport> redoLast(Journal &journal, bool dryRun = false);

// For tests only: called around each file an undo or redo changes, with how many it changed so
// far, before the change (after recording that it takes the file on) and after it. Unset in the
// program.
void setUndoStepHook(std::function<void(int changed, bool after)> hook);
