#pragma once

#include <QString>
#include <QStringList>

// Starts reading the folder the program starts in (the working directory), for the file list;
// may be called before the application object exists, so the reading overlaps its setting up.
void readStartFolderAhead();
// Creates the two windows as the program starts: the main window first (its FormCreate runs
// when it is complete), then the edit dialog, hidden.
void createWindows();
// Shows the main window centred on the screen.
void showMainWindow();
// Destroys both windows, the edit dialog first.
void destroyWindows();

// What of the paths handed to the program (its arguments, or a drop) could not be opened.
struct OpenProblems {
    QStringList messages; // one for each path that cannot be opened, in the order given
    // Paths, as given, that could be opened but were not: files outside the folder opened, and
    // other folders (one folder opens at a time); with a line that counts them, empty when none.
    QStringList elsewhere;
    QStringList elsewhereSummary;

    bool isEmpty() const { return messages.isEmpty() && elsewhereSummary.isEmpty(); }
};

// What a list of paths handed to the program (its arguments, or a drop on the window) asks it to
// open. The first path that can be opened decides the folder: a folder itself, or the folder
// that holds a file. The files given in that folder are to be selected; files in other folders
// and other folders are left out (and named in problems). Paths are names decoded as
// commands/filenames.h decodes them, so they name their files byte for byte, and relative ones
// are taken from the working directory. Nothing is opened: folders and files are only looked at
// (a FIFO is never opened). The cost is linear in the number of paths.
struct OpenRequest {
    QString folder;         // full path, links resolved; empty when no path can be opened
    QStringList names;      // the files to select in it, without folder
    QStringList givenNames; // the same files as they were given, to name them in messages
    OpenProblems problems;
};
OpenRequest resolvePaths(const QStringList &paths);

// Creates the windows as createWindows does, in the folder that paths ask for (the working
// directory when they ask for none or it cannot be entered), with their files selected. Returns
// what could not be opened; show it with reportOpenProblems once the window is up.
OpenProblems createWindowsFor(const QStringList &paths);

// Opens what paths ask for in the main window, as a folder opened in its folder browser, then
// selects the files. Throws IoError when the folder cannot be entered (the window stays as it
// was). Paths that cannot be opened are reported with reportOpenProblems.
void openPaths(const QStringList &paths);

// Shows the problems in one message box (through the program's modal questions), naming at most
// the first kMaxNamedProblems paths of each kind ("and 49,990 more"), and prints every one of
// them on the standard error stream; nothing when there are none.
constexpr int kMaxNamedProblems = 10;
void reportOpenProblems(const OpenProblems &problems);

// The main window's folder and selected files, then the text of the message box being shown,
// if any, one per line ("folder\t", "selected\t", "message\t"), names in their own bytes. The
// tests of the program print it to see what a start opened.
QByteArray startState();
