#pragma once

#include "folder.h"
#include "journal.h"
#include "reporttext.h"
#include "tagsfromnames.h"
#include "undo.h"
#include "walk.h"

#include <QString>
#include <memory>
#include <optional>

class CommandQuestions;
class FileList;
class PlaylistFolderBrowser;

// The commands that act on files, as every front end runs them.
enum class CommandKind {
    EditTags,
    TagsFromNames, // TAG'EM!
    RenameByPrompt,
    TidyNames,
    RenameFromTags,
    CreatePlaylists,
    Id3v1FromId3v2,
    Id3v2FromId3v1,
};

// What the program knows of a command: its name (in the journal, the notice and undo's
// questions), how its report counts, whether its changes are recorded for undo, and whether it
// renames files (the folder is read again after it).
struct CommandInfo {
    CommandKind kind;
    const char16_t *name;
    ReportVerb verb;
    bool journalled;
    bool renames;
};
const CommandInfo &commandInfo(CommandKind kind);

// One run of a command: which, in what folder, over which files (the list's selected ones, in
// list order), with what options.
struct CommandRequest {
    CommandKind kind = CommandKind::TagsFromNames;
    Folder folder;
    FileList *files = nullptr;                // every command but Create playlist(s)
    PlaylistFolderBrowser *browser = nullptr; // Create playlist(s)
    NamingOptions naming;                     // TAG'EM!
    int tidyPattern = 0;                      // Trim filename(s)
    bool noDriveLetter = false;               // Create playlist(s)
};

// The one way a front end runs commands, undo and redo: it owns the undo journal (opened on
// first use; when it cannot be, the commands still run, unrecorded, and say why) and records each
// journalled command in it.
class CommandSession
{
public:
    explicit CommandSession(QByteArray journalFolder = Journal::defaultFolder());
    ~CommandSession();
    CommandSession(const CommandSession &) = delete;
    CommandSession &operator=(const CommandSession &) = delete;

    // The journal, or nullptr when it cannot be opened (journalProblem() says why).
    Journal *journal();
    QString journalProblem();

    // Runs the command with the walk's control (progress, stop, waiting) and returns its report;
    // report.notRecorded says when and why its changes could not be recorded. Throws IoError as
    // the command does; what was done before is recorded. A control that brings a recorder
    // already (one command over several folders: see WalkControl::indexBase) records into it.
    WalkReport run(const CommandRequest &request, CommandQuestions &questions,
                   WalkControl control = {});

    // Ctrl+Z and Ctrl+Shift+Z (see undoLast and redoLast); currentFolder is the folder the front
    // end shows. Nothing when there is nothing to undo (or redo), or a question was declined.
    // Throws IoError when there is no journal (its problem as the message) or it fails.
    std::optional<UndoReport> undo(const QByteArray &currentFolder, CommandQuestions &questions,
                                   bool dryRun = false);
    std::optional<UndoReport> redo(bool dryRun = false);

private:
    QByteArray m_folder;
    std::unique_ptr<Journal> m_journal;
    bool m_tried = false;
    QString m_problem;
};

// What every program of the project does first: a file-size limit fails a write with "Disk
// full." instead of ending the program (SIGXFSZ ignored).
void setUpProcess();
