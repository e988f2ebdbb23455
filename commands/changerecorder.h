#pragma once

#include "journal.h"
#include "tagfile.h"
#include "walk.h"

#include <QMultiHash>
#include <QStringList>
#include <deque>
#include <functional>
#include <future>

// What a plan foresees of one file: its change and, for a tag write, the file opened to foresee
// it, which the tag door then writes through rather than opening it again.
struct PlannedChange {
    PlannedChange(JournalChange change) : change(std::move(change)) {}
    PlannedChange(JournalChange change, OpenedTagFile &&file)
        : change(std::move(change)), file(std::move(file))
    {
    }
    JournalChange change;
    std::optional<OpenedTagFile> file;
};

// A tag write foreseen with its file held open: the file, and the change recorded for it.
struct HeldTagWrite {
    HeldTagWrite(OpenedTagFile &&file, const JournalTag &planned);
    OpenedTagFile file;
    std::int64_t oldSize;
    bool appended;
    std::array<std::uint8_t, 128> oldLast{};
    std::array<std::uint8_t, 128> newTag{};
    // True when the write about to be made is the one recorded.
    bool isPlanned(const TagWriteOutcome &write) const;
};

// The link between the change doors and the journal while one command runs. Every door calls
// beforeChange() with what it is about to change, and changes nothing when that throws. A
// command that knows what it will change may record a block of it ahead with one flush
// (recordAhead); the doors then find those changes on disk already and cost nothing more, while
// any other change gets a flush of its own. A change recorded but never made (refused, stopped,
// killed, or made differently after a question) is harmless: undo finds that file as it was.
class ChangeRecorder
{
public:
    // The command is written to the journal with its first change (see Journal::beginCommand).
    ChangeRecorder(Journal &journal, const QString &command, const QByteArray &folder);
    // Waits for a block still being recorded.
    ~ChangeRecorder();
    ChangeRecorder(const ChangeRecorder &) = delete;
    ChangeRecorder &operator=(const ChangeRecorder &) = delete;

    Journal &journal() { return m_journal; }
    std::uint64_t command() const { return m_command; }
    // The size of the next block to record ahead (see Journal::blockSize).
    std::size_t nextBlockSize() { return Journal::blockSize(m_blocks++); }

    // Records changes about to be made, with one flush. Throws IoError.
    void recordAhead(const std::vector<JournalChange> &changes);
    // Makes sure change is on disk in the journal before it is made. Throws IoError: the change
    // must then not be made.
    void beforeChange(const JournalChange &change);

    // What a command is about to do, file by file in the order it will: the files' names and
    // how to foresee each one's change (nothing when it cannot). When a door meets a file not
    // foreseen yet, the next block of files is foreseen and recorded with one flush. A plan may
    // be called on another thread (with a tag workspace of its own) while the command goes on:
    // what it shares with the command must be guarded.
    using Plan = std::function<std::optional<PlannedChange>(const QString &name)>;
    void planAhead(const QStringList &names, Plan plan);
    // control, planning ahead with plan the files its walk takes (from the walk's own snapshot).
    WalkControl planningWalk(const WalkControl &control, Plan plan);

    // The foreseen tag write of the named file (as the door was given it) when its plan held the
    // file open, for the tag door to write through; foresees the next block first when the file
    // is not foreseen yet. The doors meet the files in the order of planAhead's names. While
    // one block of files is written, the next is foreseen and recorded on another thread, and
    // none of its files is handed out before its records are on disk. Throws IoError when they
    // cannot be recorded: the file must then not be changed.
    std::optional<HeldTagWrite> takeHeldTagWrite(const QString &name);
    // Records change with a flush of its own, foreseeing nothing.
    void recordNow(const JournalChange &change);

    // How to wait for a block being recorded on another thread: given a test that waits a
    // little and says whether it is done, keeps the window answering until it is (by default
    // the recorder just waits). With it, every block is foreseen and recorded on the other
    // thread, the first too, so a slow flush (or the journal's compaction) does not hold the
    // window.
    using Waiting = std::function<void(const std::function<bool()> &done)>;
    void setWaiting(Waiting waiting) { m_waiting = std::move(waiting); }

    // The working folder when the command began, which file names are relative to.
    const QByteArray &workingFolder() const { return m_workingFolder; }

    // How many files may be held open between their plan and their change (two blocks): up to
    // 4,096, and never more than a quarter of the open files the process may have.
    static std::size_t maxOpenFiles();

private:
    void foresee(const QByteArray &key);
    void foreseeBlock(bool inBackground = false);
    void finishFlush();

    Journal &m_journal;
    std::uint64_t m_command;
    QByteArray m_workingFolder;
    int m_blocks = 0;
    std::size_t m_maxOpen = maxOpenFiles();
    QStringList m_names; // the files of planAhead, and how far they were foreseen
    qsizetype m_planned = 0;
    qsizetype m_doorAt = 0; // where in m_names the doors are
    Plan m_plan;
    QMultiHash<QByteArray, JournalChange> m_ahead;         // recorded ahead, not yet made, by file
    std::deque<std::pair<qsizetype, HeldTagWrite>> m_held; // by index in m_names, in order
    // A block foreseen and recorded on another thread: what it holds open and what the doors
    // look up by file, taken in once its records are on disk.
    struct Block {
        std::vector<std::pair<qsizetype, HeldTagWrite>> held;
        std::vector<JournalChange> notHeld;
        qsizetype end = 0;
    };
    Block foresee(qsizetype from, qsizetype to);
    void takeIn(Block &&block);
    std::future<Block> m_flush;
    Waiting m_waiting;
    qsizetype m_flushFrom = 0; // its first file in m_names
};

// The recorder of the command running on this thread, or nullptr: the doors record through it.
ChangeRecorder *currentRecorder();

// An absolute path for the file name in the working directory, as the journal keeps it (the
// working folder as the current recorder found it, when there is one).
QByteArray journalPath(const QString &name);
// The same for a name already in the file-system encoding.
QByteArray journalPathOfEncoded(const QByteArray &name);

// Makes recorder the current one while it lives (nullptr: none), then puts the previous back.
class RecorderScope
{
public:
    explicit RecorderScope(ChangeRecorder *recorder);
    ~RecorderScope();
    RecorderScope(const RecorderScope &) = delete;
    RecorderScope &operator=(const RecorderScope &) = delete;

private:
    ChangeRecorder *m_previous;
};

// What writing newTag to the file at path would change: its size and last 128 bytes now, and
// whether the tag would go after them (they hold no tag) or over them, as the tag writer
// decides. Nothing when the file is missing, not a regular file or cannot be read; the tag
// door then finds out for itself.
std::optional<JournalTag> plannedTagWrite(const QByteArray &path, const QByteArray &newTag);

// plannedTagWrite of the named file (relative to the working folder), holding it open for the
// tag door where it can be opened for writing.
std::optional<PlannedChange> plannedTagWriteHeld(const QString &name, const QByteArray &newTag);

// What renaming from to to inside folder (an absolute path) would change, with the file's inode
// so that undo knows it is the same file. Nothing when there is no file named from.
std::optional<JournalRename> plannedRename(const QByteArray &folder, const QByteArray &from,
                                           const QByteArray &to);

// What writing content as the playlist at path would change: the old playlist's bytes, or that
// there is none. Nothing when something other than a regular file has the name or it cannot be
// read; the playlist door then refuses it itself.
std::optional<JournalPlaylist> plannedPlaylistWrite(const QByteArray &path,
                                                    const QByteArray &content);
