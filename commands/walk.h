#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
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

    int visited() const { return done + int(left.size()); }
    // Left files counted by reason, in the order the reasons first came up.
    std::vector<std::pair<QString, int>> reasons() const;
};

// What one file's action reports: done, or left as it was with a reason.
struct FileOutcome {
    bool done = true;
    QString reason;

    static FileOutcome changed() { return {}; }
    static FileOutcome leftAsItWas(const QString &why) { return {false, why}; }
};

// Progress and stopping, both optional. progress is called after each file with the files
// visited so far and the total; stop is checked between files, never in the middle of one.
struct WalkControl {
    std::function<void(int visited, int total)> progress;
    const std::atomic<bool> *stop = nullptr;
    // Called once, before the first file, with the names the walk will hand to its action, in
    // that order.
    std::function<void(const QStringList &names)> snapshot;

    bool stopRequested() const { return stop && stop->load(std::memory_order_relaxed); }
};

// The one way commands walk the selected files. The names and the selection are read from the
// list once, at the start. Each selected file, in list order, is unselected and then handed to
// action. An exception from action ends the walk and propagates: that file and the ones before
// it are unselected, the later ones keep their selection. A stop request ends the walk the same
// way between two files, without an exception.
WalkReport walkSelection(FileList &list,
                         const std::function<FileOutcome(const QString &name)> &action,
                         const WalkControl &control = {});
