#pragma once

#include "journal.h"

#include <QMultiHash>
#include <QStringList>
#include <functional>

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
    // foreseen yet, the next block of files is foreseen and recorded with one flush.
    using Plan = std::function<std::optional<JournalChange>(const QString &name)>;
    void planAhead(const QStringList &names, Plan plan);

private:
    Journal &m_journal;
    std::uint64_t m_command;
    int m_blocks = 0;
    QStringList m_names; // the files of planAhead, and how far they were foreseen
    qsizetype m_planned = 0;
    Plan m_plan;
    QMultiHash<QByteArray, JournalChange> m_ahead; // recorded ahead, not yet made, by file
};

// The recorder of the command running on this thread, or nullptr: the doors record through it.
ChangeRecorder *currentRecorder();

// The selected files of list in list order, for planAhead; empty when no command records.
class FileList;
QStringList selectedNamesIfRecording(const FileList &list);

// An absolute path for the file name in the working directory, as the journal keeps it.
QByteArray journalPath(const QString &name);

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

// What renaming from to to inside folder (an absolute path) would change, with the file's inode
// so that undo knows it is the same file. Nothing when there is no file named from.
std::optional<JournalRename> plannedRename(const QByteArray &folder, const QByteArray &from,
                                           const QByteArray &to);

// What writing content as the playlist at path would change: the old playlist's bytes, or that
// there is none. Nothing when something other than a regular file has the name or it cannot be
// read; the playlist door then refuses it itself.
std::optional<JournalPlaylist> plannedPlaylistWrite(const QByteArray &path,
                                                    const QByteArray &content);
