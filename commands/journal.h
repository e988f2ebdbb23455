#pragma once

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <future>
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
    bool operator==(const JournalTag &) const = default;
};

// A rename inside one folder.
struct JournalRename {
    QByteArray folder; // absolute
    QByteArray oldName;
    QByteArray newName;
    std::uint64_t inode = 0; // the file's inode, 0 when not known
    bool operator==(const JournalRename &) const = default;
};

// A playlist written whole: it replaced oldContent, or there was no file.
struct JournalPlaylist {
    QByteArray path; // absolute
    std::optional<QByteArray> oldContent;
    QByteArray newContent;
    bool operator==(const JournalPlaylist &) const = default;
};

using JournalChange = std::variant<JournalTag, JournalRename, JournalPlaylist>;

// One command as recorded: what it was, where and when, and its changes in the order made.
struct JournalCommand {
    std::uint64_t id = 0;
    QString name;            // "TAG'EM!", "Rename from tags", ...
    QByteArray folder;       // the folder it worked in
    std::int64_t timeMs = 0; // when it began, milliseconds since the epoch (UTC)
    QByteArray runId;        // the run of the program that made it
    std::vector<JournalChange> changes;
};

// The journal file in a folder that only the user can enter (0700), the file itself 0600.
// Two runs of the program may use one journal at once: each write takes a lock, and records
// carry their command's id. A torn or corrupt record (a crash mid-write) and everything after
// it are never trusted: they are cut off before the next write. Only the last `keep` commands
// are kept (a few more between two compactions); older ones are dropped whole by rewriting the
// journal atomically.
class Journal
{
public:
    // $XDG_STATE_HOME/trackling, or ~/.local/state/trackling.
    static QByteArray defaultFolder();

    // Opens the journal in folder, creating both as needed, with a new run id. Throws IoError
    // when the folder or the file cannot be made or opened.
    explicit Journal(const QByteArray &folder = defaultFolder(), int keep = 20);
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    // How many changes the n-th block of a command (from 0) should record with one flush:
    // 64, doubling up to 4096. The first files start at once; a command of 10,000 files needs 8
    // flushes (one costs milliseconds on a disk).
    static std::size_t blockSize(int n) { return std::size_t(64) << std::min(n, 6); }

    QByteArray folder() const { return m_folder; }
    QByteArray filePath() const;
    QByteArray runId() const { return m_runId; }

    // Starts a command; it is written with its first changes, so a command that changes
    // nothing leaves no trace. Returns its id for record().
    std::uint64_t beginCommand(const QString &name, const QByteArray &folder);
    // Records changes of a begun command with one write and one fdatasync, and returns only
    // when they are on disk. Record a block of changes, then make them. Throws IoError: the
    // changes must then not be made (the journal may hold them; undo leaves a file it finds
    // unchanged as it is).
    void record(std::uint64_t command, const std::vector<JournalChange> &changes);

    // The command Ctrl+Z would take back next, and the one Ctrl+Shift+Z would make again,
    // read from the journal as it is now (also another run's). Throws IoError.
    std::optional<JournalCommand> nextUndo();
    std::optional<JournalCommand> nextRedo();
    // The commands undo can take back, oldest first, and those redo can make again, the next
    // one last. Throws IoError.
    std::vector<JournalCommand> undoable();
    std::vector<JournalCommand> redoable();

    // Records, flushed, that undo (redo) of the command begins: it then moves to the redo
    // (undo) side, also if undo is cut short. Throws IoError.
    void markUndone(std::uint64_t command);
    void markRedone(std::uint64_t command);

    // When the journal holds enough commands beyond those it keeps, drops the old ones on
    // another thread (the file is rewritten, tens of MB after many big commands), so that the
    // next command does not wait for it at its first change. Every other use of the journal
    // waits for it first; a compaction that fails leaves the journal as it was.
    void compactLater();

    struct State;

private:
    class Lock;
    State readState();
    void settle();
    QByteArray endNotePath() const;
    void saveEndNote();
    bool loadEndNote(std::int64_t fileSize);
    void append(const QByteArray &records, bool beginsCommand);
    void catchUp();
    void compact();
    void mark(int type, std::uint64_t command);

    QByteArray m_folder;
    int m_keep;
    QByteArray m_runId;
    int m_lockFd = -1;
    int m_fd = -1;
    std::uint64_t m_inode = 0;
    std::int64_t m_validSize = 0;          // the end of the last trusted record
    std::int64_t m_lastStart = -1;         // where that record starts, when known
    int m_commands = 0;                    // commands in the file, as far as read
    std::vector<JournalCommand> m_pending; // begun, not yet written
    std::future<void> m_compaction;        // compactLater() at work
};
