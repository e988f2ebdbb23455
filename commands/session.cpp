#include "session.h"

#include "changes.h"
#include "edittags.h"
#include "id3v1fromid3v2.h"
#include "id3v2door.h"
#include "id3v2fromid3v1.h"
#include "ioerror.h"
#include "playlist.h"
#include "questions.h"
#include "rename.h"
#include "tidy.h"

#include <csignal>

namespace
{

const CommandInfo kCommands[] = {
    {CommandKind::EditTags, u"Edit tag(s)", ReportVerb::Tagged, true, false},
    {CommandKind::TagsFromNames, u"TAG'EM!", ReportVerb::Tagged, true, false},
    {CommandKind::RenameByPrompt, u"Rename file(s)", ReportVerb::Renamed, true, true},
    {CommandKind::TidyNames, u"Trim filename(s)", ReportVerb::Renamed, true, true},
    {CommandKind::RenameFromTags, u"Rename from tags", ReportVerb::Renamed, true, true},
    {CommandKind::CreatePlaylists, u"Create playlist(s)", ReportVerb::PlaylistsWritten, true,
     false},
    {CommandKind::Id3v1FromId3v2, u"ID3v1 from ID3v2", ReportVerb::Tagged, true, false},
    {CommandKind::Id3v2FromId3v1, u"ID3v2 from ID3v1", ReportVerb::Id3v2Written, true, false},
};

WalkReport dispatch(const CommandRequest &r, CommandQuestions &questions,
                    const WalkControl &control)
{
    switch (r.kind) {
    case CommandKind::EditTags:
        return editTags(r.folder, *r.files, questions, control);
    case CommandKind::TagsFromNames:
        return tagsFromFileNames(r.folder, *r.files, r.naming, questions, control);
    case CommandKind::RenameByPrompt:
        return renameByPrompt(r.folder, *r.files, questions, control);
    case CommandKind::TidyNames:
        return tidyFileNames(r.folder, *r.files, r.tidyPattern, control);
    case CommandKind::RenameFromTags:
        return renameFromTags(r.folder, *r.files, control);
    case CommandKind::CreatePlaylists:
        return createPlaylists(*r.browser, r.noDriveLetter, questions, control);
    case CommandKind::Id3v1FromId3v2:
        return id3v1FromId3v2(r.folder, *r.files, control);
    case CommandKind::Id3v2FromId3v1:
        return id3v2FromId3v1(r.folder, *r.files, control);
    }
    return {};
}

} // namespace

const CommandInfo &commandInfo(CommandKind kind)
{
    for (const CommandInfo &info : kCommands) {
        if (info.kind == kind)
            return info;
    }
    return kCommands[0];
}

CommandSession::CommandSession(QByteArray journalFolder) : m_folder(std::move(journalFolder)) {}

CommandSession::~CommandSession() = default;

Journal *CommandSession::journal()
{
    if (!m_tried) {
        m_tried = true;
        try {
            m_journal = std::make_unique<Journal>(m_folder);
        } catch (const IoError &e) {
            m_problem = QString::fromStdString(e.message());
        }
    }
    return m_journal.get();
}

QString CommandSession::journalProblem()
{
    (void)journal();
    return m_problem;
}

WalkReport CommandSession::run(const CommandRequest &request, CommandQuestions &questions,
                               WalkControl control)
{
    const CommandInfo &info = commandInfo(request.kind);
    QString notRecorded;
    if (info.journalled && !control.dryRun && !control.recorder) {
        if (Journal *log = journal())
            control.recorder =
                log->startCommand(QString::fromUtf16(info.name), request.folder.path());
        else
            notRecorded = m_problem;
    }
    // What a run killed meanwhile left in the folder goes before the folder is written again.
    forgetCleanedFolders();
    if (request.folder.isOpen() && !control.dryRun)
        removeLeftoversIn(request.folder);
    WalkReport report = dispatch(request, questions, control);
    // New files took the names of others: their folder's entries to disk, once.
    if (request.kind == CommandKind::Id3v2FromId3v1 && report.done > 0 && !control.dryRun)
        syncFolder(request.folder);
    if (report.notRecorded.isEmpty())
        report.notRecorded = notRecorded;
    return report;
}

std::optional<UndoReport> CommandSession::undo(const QByteArray &currentFolder,
                                               CommandQuestions &questions, bool dryRun)
{
    Journal *log = journal();
    if (!log)
        throw IoError(5, m_problem.toStdString());
    return undoLast(
        *log, [&](const QString &question) { return questions.confirm(question); }, currentFolder,
        dryRun);
}

std::optional<UndoReport> CommandSession::redo(bool dryRun)
{
    Journal *log = journal();
    if (!log)
        throw IoError(5, m_problem.toStdString());
    return redoLast(*log, dryRun);
}

void setUpProcess()
{
    std::signal(SIGXFSZ, SIG_IGN);
}
