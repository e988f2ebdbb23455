#pragma once

#include "walk.h"

#include <QString>

// What a command does to each file it is given, as its result notice says it.
enum class ReportVerb {
    Tagged,           // the tag editor and TAG'EM!: "12 files tagged"
    Renamed,          // Trim filename(s), Rename file(s), Rename from tags: "9 files renamed"
    PlaylistsWritten, // Create playlist(s): "3 playlists written"
    Id3v2Written,     // ID3v2 from ID3v1: "12 ID3v2 tags written"
    Restored,         // undo: "12 files restored"
    ChangedAgain      // redo: "12 files changed again"
};

// A count with a comma between groups of three digits: "4,512", "100,000" (the same in every
// locale, like the rest of the program's texts).
QString countText(long long n);

// The one-line summary of a command's report: the count done with the verb, then, when some
// files were left as they were, how many and the reasons with their counts in the order they
// first came up, then, when the command was stopped, how far it got:
//   "1 file tagged"
//   "9 files renamed, 3 left as they were: name already taken (2), no artist or title in the
//    tag (1)"
//   "4,512 files tagged, stopped after 4,512 of 100,000"
// A command that did nothing and left nothing says why, never a bare "0 files renamed":
//   "0 files renamed: no files selected", "0 playlists written: cancelled"
QString reportText(const WalkReport &report, ReportVerb verb);

// What a report's files whose ID3v2 tag says otherwise than the ID3v1 tag written come to, for
// the end of the summary: "the ID3v2 tags of 3 files say otherwise", "the ID3v2 tag of 1 file
// says otherwise"; empty when there are none.
QString id3v2DiffersText(const WalkReport &report);

// The progress line of a running command: "Tagging 4,512 of 100,000", "Renaming 3 of 9",
// "Writing playlists 2 of 5"; without a total (total <= 0) "Writing playlists ...".
QString progressText(ReportVerb verb, int visited, int total);

// The files left as they were, one "name: reason" per line in walk order; names are plain
// text, never markup. With maxLines > 0, at most that many files and then "and 1,234 more".
QString leftFilesText(const WalkReport &report, int maxLines = 0);

struct UndoReport;
// What undo (or redo) did, for the notice: the command's name, then the files it put back (or
// changed again) and those it left as they were, why; or why it did nothing:
//   "Undone TAG'EM!: 12 files restored, 1 left as it was: changed since (1)"
//   "TAG'EM! cannot be undone: its record is damaged"
QString undoReportText(const UndoReport &report, bool redo);
// The same report as the walk's, for the list of files left as they were (by bare name).
WalkReport undoWalkReport(const UndoReport &report);
