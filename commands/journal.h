#pragma once

#include "regularfile.h"

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>
#include <vector>

// The undo journal: every change a command makes to a file is recorded, with the state it
// replaces and the state it makes, and flushed to disk before the change is made. So after a
// crash or a kill mid-command, undo still knows every change that may have reached the disk.
// Paths and names are bytes as the file system stores them.

// A tag write: the last 128 bytes were overwritten, or a tag was appended at oldSize.
struct JournalTag {
    QByteArray path;          // absolute
    std::int64_t oldSize = 0; // the file's size before the write
    QByteArray oldLast;       // the file's last 128 bytes before the write (fewer if shorter)
    bool appended = false;    // appended at oldSize; otherwise written over oldLast
    QByteArray newTag;        // the 128 bytes written
    FileIdentity identity;    // the file written (not known in journals of older versions)
    bool operator==(const JournalTag &) const = default;
};

// A rename inside one folder.
struct JournalRename {
    QByteArray folder; // absolute
    QByteArray oldName;
    QByteArray newName;
    FileIdentity identity; // the file renamed; only its inode is known in older journals
    bool operator==(const JournalRename &) const = default;
};

// A playlist written whole: it replaced oldContent, or there was no file.
struct JournalPlaylist {
    QByteArray path; // absolute
    std::optional<QByteArray> oldContent;
    QByteArray newContent;
    FileIdentity written; // the new file the command put in its place
    bool operator==(const JournalPlaylist &) const = default;
};

// An ID3v2 tag written at the start of a file: over the old one (in place, the file's size
// unchanged), or into a new file holding the new tag and then the file's bytes after the old
// tag, which took the file's name. oldTag is the whole old tag as the file held it (empty when
// there was none), so undo gives back every byte, pictures included.
struct JournalId3v2 {
    QByteArray path;          // absolute
    std::int64_t oldSize = 0; // the file's size before
    QByteArray oldTag;
    QByteArray newTag;
    bool inPlace = false;
    FileIdentity identity; // the file before
    FileIdentity written;  // the file after: the new file, or the same one in place
    // A change of a command loaded from the journal comes without its two tags: they stay in the
    // command's file, where its record starts at storedAt (see wholeChange). -1 otherwise.
    std::int64_t storedAt = -1;
    bool operator==(const JournalId3v2 &) const = default;
};

using JournalChange = std::variant<JournalTag, JournalRename, JournalPlaylist, JournalId3v2>;

// Undo (or redo) of a command as far as it went: which of the command's changes it took on, and
// for a change that put a new file in place (a playlist), which file that was.
struct JournalPass {
    bool undo = true;
    std::int64_t stamp = 0;
    bool complete = false;
    std::map<int, FileIdentity> touched; // by index into JournalCommand::changes
};

// One command as recorded: what it was, where and when, its changes (one per file, in the order
// made), which of them it reported made, and the undo and redo passes since.
struct JournalCommand {
    std::uint64_t id = 0;
    QString name;            // "TAG'EM!", "Rename from tags", ...
    QByteArray folder;       // the folder it worked in
    std::int64_t timeMs = 0; // when it began, milliseconds since the epoch (UTC)
    QByteArray runId;        // the run of the program that made it
    std::int64_t stamp = 0;  // its place among the journal's commands (see Journal)
    std::vector<JournalChange> changes;
    std::vector<bool> made; // per change: reported made (false: not known, say after a kill)
    bool ended = false;     // the command came to its end (was not killed)
    std::vector<JournalPass> passes;
    QByteArray file; // its record in the journal's folder (the name without extension)
    // A loaded command's file, open, so that what it left there is read back as needed.
    std::shared_ptr<const FileHandle> records;

    // Where it stands: never undone, undone (maybe cut short), or made again (maybe cut short).
    const JournalPass *lastPass() const { return passes.empty() ? nullptr : &passes.back(); }
    // The stamp of its last undo or redo, or its own.
    std::int64_t lastStamp() const { return passes.empty() ? stamp : passes.back().stamp; }
};

class CommandLog;
class PassLog;

// The journal in a folder that only the user can enter (0700): one file per command (0600) with
// what it changed, a second beside it with the undo and redo passes since. Damage in one
// command's files costs only that command. Two runs of the program may use one journal at once:
// each command's file is written by its run alone, and a lock tells whether a run is still
// going. Opening the journal, recording a command and undoing one read only the files of the
// commands concerned (and the first bytes of the others), however large older commands are. The
// last `keep` commands are kept; older ones are deleted whole when a command begins.
//
// Undo and redo keep a stack order across runs by stamps: a command's stamp when it begins, a
// pass's when it begins, each greater than every stamp the journal held then. Ctrl+Z takes the
// command of the greatest stamp that is not undone (or whose undo was cut short); Ctrl+Shift+Z
// the undone one of the greatest stamp (or whose redo was cut short), as long as no command began
// after that undo.
class Journal
{
public:
    // $XDG_STATE_HOME/trackling, or ~/.local/state/trackling; empty when neither variable is set.
    static QByteArray defaultFolder();

    // Opens the journal in folder, creating it as needed, with a new run id. Throws IoError,
    // its message naming the journal, when the folder cannot be made or used (not a folder, a
    // link, another user's, not writable).
    explicit Journal(const QByteArray &folder = defaultFolder(), int keep = 20);
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    // How many changes the n-th block of a command (from 0) should record with one flush:
    // 64, doubling up to 4096. The first files start at once; a command of 10,000 files needs 8
    // flushes (one costs milliseconds on a disk).
    static std::size_t blockSize(int n) { return std::size_t(64) << std::min(n, 6); }

    QByteArray folder() const { return m_folder; }
    QByteArray runId() const { return m_runId; }
    int keep() const { return m_keep; }

    // Starts recording a command; its file is made with its first changes, so a command that
    // changes nothing leaves no trace.
    std::shared_ptr<CommandLog> startCommand(const QString &name, const QByteArray &folder);

    // The commands of the journal, newest stamp first, read from their first bytes and their
    // passes (their changes are left out: see load). Throws IoError.
    std::vector<JournalCommand> commands();
    // A command with all its changes, read a record at a time; an ID3v2 change's tags are left
    // in its file (see wholeChange), so that a command of whole tags with their cover art loads
    // in little memory. Throws IoError; a command whose record is damaged throws DamagedCommand.
    JournalCommand load(const JournalCommand &summary);

    // The command Ctrl+Z would take back next, and the one Ctrl+Shift+Z would make again, with
    // all their changes (also another run's). Throws IoError and DamagedCommand.
    std::optional<JournalCommand> nextUndo();
    std::optional<JournalCommand> nextRedo();
    // The commands undo can take back, oldest first, and those redo can make again, the next
    // one last (summaries).
    std::vector<JournalCommand> undoable();
    std::vector<JournalCommand> redoable();

    // Whether the run that made a command is still going (another window, say), and whether the
    // command itself is still being made or undone by another run.
    bool runIsAlive(const QByteArray &runId) const;
    bool isBusy(const JournalCommand &command) const;

    // Starts an undo (or redo) of command, or goes on with the one cut short. Throws IoError.
    std::unique_ptr<PassLog> startPass(const JournalCommand &command, bool undo);
    // Records an undo (redo) of command that changed nothing: it moves to the other side.
    void markUndone(std::uint64_t command);
    void markRedone(std::uint64_t command);

    // Puts a damaged command out of the way (it is no longer offered).
    void setAside(const JournalCommand &command);

    // A command recorded in one go, for tests: beginCommand, then record its changes (all made)
    // once, which ends it.
    std::uint64_t beginCommand(const QString &name, const QByteArray &folder);
    void record(std::uint64_t command, const std::vector<JournalChange> &changes);
    // The file of a command in the journal's folder (its changes).
    QByteArray changesPath(const QByteArray &file) const;
    QByteArray passesPath(const QByteArray &file) const;

    // Stamps: greater than any seen in the journal so far.
    std::int64_t nextStamp();

    // Called by CommandLog when a command's file is made: drops the oldest commands beyond keep.
    void dropOldCommands();

private:
    void convertOldJournal();
    void removeLeftovers();
    std::optional<JournalCommand> readSummary(const QByteArray &file);

    QByteArray m_folder;
    int m_keep;
    QByteArray m_runId;
    FileHandle m_lock; // the folder's lock: conversion, dropping commands, new stamps
    FileHandle m_run;  // this run's lock: held while the run goes
    std::int64_t m_lastStamp = 0;
    std::mutex m_stampMutex;
    std::map<std::uint64_t, std::shared_ptr<CommandLog>> m_begun; // beginCommand's
};

// A command's record cannot be trusted: a record in its middle fails its checksum.
class DamagedCommand : public std::runtime_error
{
public:
    explicit DamagedCommand(const JournalCommand &command);
    JournalCommand command;
};

// The change at index of a loaded command, whole: an ID3v2 change with its tags read back from
// the command's file. Throws IoError when they cannot be read as they were when it was loaded.
JournalChange wholeChange(const JournalCommand &command, std::size_t index);

// The record of one running command. Thread-safe: a block may be recorded on another thread
// while the command's thread says what it made.
class CommandLog
{
public:
    CommandLog(Journal &journal, const QString &name, const QByteArray &folder);
    // Ends the command: what it made is written, its file closed and unlocked.
    ~CommandLog();
    CommandLog(const CommandLog &) = delete;
    CommandLog &operator=(const CommandLog &) = delete;

    // Records changes about to be made, each with its place in the command (a later record of
    // the same place replaces the earlier one: the change was made otherwise), with one write and
    // one flush, and returns only when they are on disk. The first call makes the command's
    // file. Throws IoError, its message naming the journal: the changes must then not be made.
    // When the journal could not be written at all when the command began (its first record),
    // the command goes on unrecorded: problem() then says why, and later calls do nothing.
    void record(const std::vector<std::pair<int, JournalChange>> &changes);
    // That the change recorded at index was made; written with the next record or at the end.
    void made(int index);
    // Changes that replace ones recorded, told more exactly once made (the new file an ID3v2
    // write put in place): written with the next record or at the end, not flushed.
    void recordLater(const std::vector<std::pair<int, JournalChange>> &changes);
    // A place in the command for a change no walk numbers (a playlist).
    int nextIndex();

    // Why the command is not recorded, or empty.
    QString problem() const;
    bool recording() const;
    std::uint64_t id() const { return m_id; }

private:
    void create(const QByteArray &first);
    QByteArray madeRecords();

    Journal &m_journal;
    mutable std::mutex m_mutex;
    std::uint64_t m_id;
    QString m_name;
    QByteArray m_folder;
    std::int64_t m_timeMs;
    FileHandle m_file;
    std::int64_t m_size = 0;
    std::vector<int> m_made;
    QByteArray m_later; // records written with the next record or at the end
    int m_nextIndex = 0;
    QString m_problem;
    bool m_failedOnce = false;
};

// An undo or redo under way: what it took on is written before it changes a file, so that an
// undo cut short is finished by the next one. Ends the pass when finished.
class PassLog
{
public:
    PassLog(FileHandle lock, FileHandle passes);
    ~PassLog();
    PassLog(const PassLog &) = delete;
    PassLog &operator=(const PassLog &) = delete;

    // Writes, before the change is made, that the change at index is being taken on, with the
    // file it will put in place where that is a new one. Throws IoError.
    void touch(int index, const FileIdentity &newFile = {});
    // The pass went through every change: written and flushed.
    void finish();

private:
    FileHandle m_lock;
    FileHandle m_passes;
};
