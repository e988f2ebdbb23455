#pragma once

#include "folder.h"
#include "journal.h"

#include <QString>
#include <any>
#include <array>
#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class FileList;

// A file a command left as it was, and why ("name already taken", "cancelled", ...).
struct LeftFile {
    QString name;
    QString reason;
};

// What a command did: the files it changed, the files it left as they were with the reason for
// each, and whether it was stopped before the end. Commands return it; the window shows it.
struct WalkReport {
    int total = 0; // files the command was given
    int done = 0;
    std::vector<LeftFile> left;
    bool stopped = false; // stopped on request; the files not reached keep their selection
    QString notRecorded;  // why the undo journal did not record the command, when it did not
    // Files whose ID3v2 tag (the tag players show) says otherwise than the ID3v1 tag written.
    std::vector<QString> id3v2Differs;

    int visited() const { return done + int(left.size()); }
    // Left files counted by reason, in the order the reasons first came up.
    std::vector<std::pair<QString, int>> reasons() const;
};

// What one file's action reports: done, or left as it was with a reason; and for front ends that
// tell file by file, what was (in a dry run: would be) changed.
struct FileOutcome {
    bool done = true;
    QString reason;
    QString newName;   // a rename's new name
    QByteArray oldTag; // a tag write: the 128 bytes it replaced; empty when the tag was appended
    QByteArray newTag; // the 128 bytes written
    QString note;      // said of a file done ("title cut to its first 30 characters")
    bool id3v2Differs = false; // its ID3v2 tag says otherwise than the ID3v1 tag written

    static FileOutcome changed() { return {}; }
    static FileOutcome leftAsItWas(const QString &why)
    {
        FileOutcome outcome;
        outcome.done = false;
        outcome.reason = why;
        return outcome;
    }
};

// Progress, stopping and recording, all optional. progress is called after each file with the
// files visited so far and the total; stop is checked between files, never in the middle of one;
// recorder records the command's changes in the undo journal (none: unrecorded). waitFor, when
// set, is how the walk waits for a block being prepared on another thread: given a test that
// waits a little and says whether it is done, it keeps the window answering until it is.
//
// fileDone, when set, hears of each file as it is done or left, with what changed. With dryRun,
// the commands do all their work up to the change, report what they would change, and change
// nothing (no journal either).
struct WalkControl {
    std::function<void(int visited, int total)> progress;
    const std::atomic<bool> *stop = nullptr;
    std::shared_ptr<CommandLog> recorder;
    std::function<void(const std::function<bool()> &done)> waitFor;
    std::function<void(const QString &name, const FileOutcome &outcome)> fileDone;
    bool dryRun = false;
    // Where this walk's files start among the recorder's changes, when one command walks
    // several folders (each walk one), so that their places never meet.
    int indexBase = 0;

    bool stopRequested() const { return stop && stop->load(std::memory_order_relaxed); }
};

// Where a change a command makes is recorded: the folder, the command's journal record (or none)
// and the file's place in the command.
struct ChangeContext {
    Folder folder;
    CommandLog *recorder = nullptr;
    int index = 0;
    bool dryRun = false; // change nothing: say what would be changed
};

// What preparing one file found, handed to the step that changes it.
struct PreparedFile {
    QString name;
    QByteArray encoded; // the name's bytes
    int index = 0;      // its place in the walk
    // The change foreseen, recorded in the journal before the step; the step's door checks that
    // the file is still as foreseen and records it anew where it is not.
    std::optional<JournalChange> change;
    QString leftReason;                  // left as it was for this reason, decided ahead
    std::exception_ptr failure;          // preparing failed: the step throws it, in its turn
    std::array<std::uint8_t, 128> tag{}; // a tag write's bytes
    std::string title, artist;           // what the name gives, as tag text
    QString newName;                     // a rename's new name
    std::any extra;                      // what else a command works out ahead
};

// How a command prepares a file: runs on another thread, one file after the other, with a tag
// workspace of its own. It may use only its arguments and what it holds by value.
using PrepareFile = std::function<void(const Folder &folder, PreparedFile &file)>;
// How a command changes a prepared file, in list order on the walk's thread, through the doors.
using ApplyFile = std::function<FileOutcome(PreparedFile &file, const ChangeContext &context)>;

// The one way commands walk the selected files. The names and the selection are read from the
// list once, at the start. The files go in blocks (see Journal::blockSize; a block whose changes
// hold many megabytes, such as whole ID3v2 tags, ends sooner): a block is prepared
// and its foreseen changes recorded with one flush on a worker thread, then each of its files,
// in list order, is unselected and handed to apply; the next block is prepared meanwhile. An
// exception from apply (or from preparing the file in hand) ends the walk and propagates: that
// file and the ones before it are unselected, the later ones keep their selection. A stop
// request ends the walk the same way between two files, without an exception. The worker is
// joined before the walk returns or unwinds, whatever ends it; a block that could not be
// recorded changes none of its files. Without prepare, each file goes straight to apply.
WalkReport walkInBlocks(const Folder &folder, FileList &list, const PrepareFile &prepare,
                        const ApplyFile &apply, const WalkControl &control);

// The walk without preparing, for commands that change nothing or ask before each file.
WalkReport walkSelection(FileList &list,
                         const std::function<FileOutcome(const QString &name)> &action,
                         const WalkControl &control = {});
