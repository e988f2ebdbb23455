#pragma once

#include "session.h"
#include "targets.h"

#include <functional>
#include <vector>

class CliQuestions;
class Invocation;
class JsonLine;

// Runs a command of the window over the groups of files, as one command of the undo journal
// however many folders it walks: each group's request is made by options (the folder, the files
// and the command's kind are set already), every file's outcome is told as it comes, then the
// summary the window's notice shows. Ctrl+C and SIGTERM stop it after the file in hand. Returns
// the exit status: 0 every file done or nothing to do, 1 some left as they were, 3 an I/O
// failure stopped it (the files before it done, its message on standard error), 128 + the signal
// after a stop.
//
// walk, when given, runs each group's request in place of the session (the journal record is in
// the control already); it must do what the session does before a command (see beforeCommand).
using GroupWalk = std::function<WalkReport(const CommandRequest &, const WalkControl &)>;
int runOnFiles(Invocation &invocation, CommandKind kind, const std::vector<FileGroup> &groups,
               CliQuestions &questions,
               const std::function<void(CommandRequest &, const FileGroup &)> &options = {},
               const GroupWalk &walk = {});
// What the session does before it runs a command: the program's leftovers that a run killed
// meanwhile left in the folder go before the folder is written again.
void beforeCommand(const CommandRequest &request, const WalkControl &control);

// Create playlist(s) of folder (absolute), by the same rules and with the same report.
int runPlaylists(Invocation &invocation, const QByteArray &folder, bool noDriveLetter,
                 CliQuestions &questions);

// What every command's summary object holds, and the status a report ends with.
struct Summary {
    QString text;
    int done = 0;
    int left = 0;
    int total = 0;
    bool stopped = false;
    QString error;
    QString notRecorded;
};
// Writes the summary (text, or an object that also carries the command's name, the counts, the
// exit status and what extra adds) and returns status unchanged.
int finish(Invocation &invocation, const Summary &summary, int status,
           const std::function<void(JsonLine &)> &extra = {});
// Whether the undo journal's folder is not there at all (nothing to undo, and a look at it must
// not make it).
bool journalMissing();
// The status of a stop by signal, or 0.
int stoppedStatus();
// Whether a reason a file was left says only that there was nothing to do for it (its name was
// already what the command gives it).
bool nothingToDo(const QString &reason);
