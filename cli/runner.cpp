#include "runner.h"

#include "changes.h"
#include "cliquestions.h"
#include "filenames.h"
#include "folder.h"
#include "folderscan.h"
#include "invocation.h"
#include "jsonline.h"
#include "output.h"
#include "playlist.h"
#include "signals.h"
#include "tagfields.h"

#include <cerrno>
#include <sys/stat.h>

namespace
{

QString dryRunText(const QString &text)
{
    return QStringLiteral("dry run, nothing changed: ") + text;
}

const char *actionOf(ReportVerb verb)
{
    switch (verb) {
    case ReportVerb::Tagged:
        return "tagged";
    case ReportVerb::Renamed:
        return "renamed";
    case ReportVerb::PlaylistsWritten:
    case ReportVerb::Id3v2Written:
        return "written";
    case ReportVerb::Restored:
        return "restored";
    case ReportVerb::ChangedAgain:
        return "changed again";
    }
    return "done";
}

// Tells each file's outcome as the walk hands it over: a line of text or a JSON object.
class FileReporter
{
public:
    FileReporter(Invocation &invocation, ReportVerb verb)
        : m_out(invocation.out()), m_verb(verb), m_dryRun(invocation.dryRun())
    {
    }

    void file(const FileGroup &group, const QString &name, const FileOutcome &outcome)
    {
        const QByteArray encoded = encodeFileName(name);
        if (m_out.json()) {
            JsonLine object;
            object.addName("path", folderPathOf(group.folder, encoded))
                .addName("name", encoded)
                .addName("folder", group.folder);
            describe(object, group.folder, outcome);
            m_out.fileObject(object);
        } else {
            m_out.fileLine(displayBytes(group.shown + encoded) + ": " + lineOf(outcome));
        }
    }

    // A playlist, named by its path.
    void playlist(const QString &path, const FileOutcome &outcome)
    {
        const QByteArray encoded = encodeFileName(path);
        if (m_out.json()) {
            JsonLine object;
            object.addName("path", encoded)
                .addName("name", namePartOf(encoded))
                .addName("folder", folderPartOf(encoded));
            describe(object, folderPartOf(encoded), outcome);
            m_out.fileObject(object);
        } else {
            m_out.fileLine(displayBytes(encoded) + ": " + lineOf(outcome));
        }
    }

private:
    static QByteArray folderPathOf(const QByteArray &folder, const QByteArray &name)
    {
        return folder.endsWith('/') ? folder + name : folder + '/' + name;
    }

    void describe(JsonLine &object, const QByteArray &folder, const FileOutcome &outcome) const
    {
        object.add("action", outcome.done ? actionOf(m_verb) : "left").add("dryRun", m_dryRun);
        if (!outcome.done)
            object.add("reason", outcome.reason);
        if (!outcome.newName.isEmpty()) {
            const QByteArray newName = encodeFileName(outcome.newName);
            object.addName("newName", newName).addName("newPath", folderPathOf(folder, newName));
        }
        if (!outcome.newTag.isEmpty()) {
            if (outcome.oldTag.isEmpty())
                object.addNull("before");
            else
                object.add("before", tagObject(tagFields(outcome.oldTag)));
            object.add("after", tagObject(tagFields(outcome.newTag)));
        }
        if (!outcome.note.isEmpty())
            object.add("note", outcome.note);
        if (outcome.id3v2Differs)
            object.add("id3v2Differs", true);
    }

    QByteArray lineOf(const FileOutcome &outcome) const
    {
        QByteArray line;
        if (!outcome.done) {
            line = "left as it was: " + displayText(outcome.reason);
            if (!outcome.newName.isEmpty() && !nothingToDo(outcome.reason))
                line += " (" + quotedText(outcome.newName) + ')';
            return line;
        }
        line = m_dryRun ? QByteArray("would be ") + actionOf(m_verb) : QByteArray(actionOf(m_verb));
        if (!outcome.newName.isEmpty()) {
            line += " to " + quotedText(outcome.newName);
        } else if (!outcome.newTag.isEmpty()) {
            if (outcome.oldTag.isEmpty())
                line += " (new tag)";
            const QByteArray changes = tagChangeText(outcome.oldTag, outcome.newTag);
            line += changes.isEmpty() ? QByteArray(": no field changes") : ": " + changes;
        }
        if (outcome.id3v2Differs)
            line += "; its ID3v2 tag says otherwise";
        if (outcome.note.isEmpty())
            return line;
        if (m_verb == ReportVerb::PlaylistsWritten) // "new" or "replaced"
            return line + " (" + displayText(outcome.note) + ')';
        return line + "; " + displayText(outcome.note);
    }

    Output &m_out;
    ReportVerb m_verb;
    bool m_dryRun;
};

// What the walks of all groups did, as one report: the files as each was told (so that the
// files done before a failure count too), the rest from each walk's report.
void count(WalkReport &all, const QString &name, const FileOutcome &outcome)
{
    if (outcome.done)
        ++all.done;
    else
        all.left.push_back({name, outcome.reason});
}

void merge(WalkReport &all, const WalkReport &part)
{
    all.stopped = all.stopped || part.stopped;
    if (all.notRecorded.isEmpty())
        all.notRecorded = part.notRecorded;
}

int statusOf(const WalkReport &report)
{
    if (const int stopped = stoppedStatus(); stopped && report.stopped)
        return stopped;
    for (const LeftFile &file : report.left) {
        if (!nothingToDo(file.reason))
            return 1;
    }
    return 0;
}

// The notice's summary; failure, when one stopped the command, is said after it.
Summary summaryOf(Invocation &invocation, const WalkReport &report, ReportVerb verb,
                  const QString &failure = {})
{
    Summary summary;
    summary.text = reportText(report, verb);
    const bool nothing = report.done == 0 && report.left.empty() && !report.stopped;
    if (nothing && !failure.isEmpty()) // not "no files selected" nor "cancelled"
        summary.text = summary.text.section(QLatin1Char(':'), 0, 0);
    else if (nothing && report.total == 0)
        summary.text =
            summary.text.section(QLatin1Char(':'), 0, 0) + QStringLiteral(": no MP3 files found");
    if (!failure.isEmpty()) {
        summary.error = failure;
        summary.text += QStringLiteral("; stopped by an error: ") + failure;
    }
    if (invocation.dryRun())
        summary.text = dryRunText(summary.text);
    summary.done = report.done;
    summary.left = int(report.left.size());
    summary.total = report.total;
    summary.stopped = report.stopped;
    summary.notRecorded = report.notRecorded;
    return summary;
}

// Progress after each file, counted over all groups; nothing at all unless it can be seen.
std::function<void(int, int)> progressOf(Output &out, ReportVerb verb, const int &before,
                                         const int &total)
{
    if (!out.showsProgress())
        return {};
    return [&out, verb, &before, &total](int visited, int) {
        out.progress(progressText(verb, before + visited, total));
    };
}

} // namespace

bool nothingToDo(const QString &reason)
{
    return reason == QLatin1String("name already tidy") ||
           reason == QLatin1String("name unchanged") || reason == QLatin1String("already in step");
}

bool journalMissing()
{
    const QByteArray folder = Journal::defaultFolder();
    struct stat st;
    return !folder.isEmpty() && ::stat(folder.constData(), &st) != 0 && errno == ENOENT;
}

int stoppedStatus()
{
    const int signal = stopSignal();
    return signal ? 128 + signal : 0;
}

int finish(Invocation &invocation, const Summary &summary, int status,
           const std::function<void(JsonLine &)> &extra)
{
    JsonLine object;
    object.add("summary", summary.text)
        .add("command", invocation.command().name)
        .add("done", summary.done)
        .add("left", summary.left)
        .add("total", summary.total)
        .add("stopped", summary.stopped)
        .add("dryRun", invocation.dryRun());
    if (!summary.notRecorded.isEmpty())
        object.add("notRecorded", summary.notRecorded);
    if (!summary.error.isEmpty())
        object.add("error", summary.error);
    if (extra)
        extra(object);
    object.add("exitStatus", status);
    invocation.out().summary(displayText(summary.text), object);
    return status;
}

void beforeCommand(const CommandRequest &request, const WalkControl &control)
{
    forgetCleanedFolders();
    if (request.folder.isOpen() && !control.dryRun)
        removeLeftoversIn(request.folder);
}

int runOnFiles(Invocation &invocation, CommandKind kind, const std::vector<FileGroup> &groups,
               CliQuestions &questions,
               const std::function<void(CommandRequest &, const FileGroup &)> &options,
               const GroupWalk &walk)
{
    const CommandInfo &info = commandInfo(kind);
    CommandSession &session = invocation.session();
    Output &out = invocation.out();
    FileReporter reporter(invocation, info.verb);

    WalkReport all;
    all.total = int(fileCount(groups));
    // One journal record for the whole invocation, however many folders it walks; it ends when
    // log goes, before the summary is written.
    std::shared_ptr<CommandLog> log;
    if (info.journalled && !invocation.dryRun() && all.total > 0) {
        if (Journal *journal = session.journal())
            log = journal->startCommand(QString::fromUtf16(info.name), groups.front().folder);
        else
            all.notRecorded = session.journalProblem();
    }

    int before = 0;   // files of the groups walked before
    int inGroup = -1; // files of this group told so far; -1 before its folder is open
    QString error;
    const FileGroup *failedIn = nullptr;
    const auto progress = progressOf(out, info.verb, before, all.total);
    for (const FileGroup &group : groups) {
        if (stopRequested().load()) {
            all.stopped = true;
            break;
        }
        inGroup = -1;
        try {
            NameList list(group.names);
            CommandRequest request;
            request.kind = kind;
            request.folder = Folder::open(group.folder);
            inGroup = 0;
            request.files = &list;
            if (options)
                options(request, group);
            WalkControl control;
            control.stop = &stopRequested();
            control.dryRun = invocation.dryRun();
            control.recorder = log;
            control.indexBase = before;
            control.progress = progress;
            control.fileDone = [&](const QString &name, const FileOutcome &outcome) {
                ++inGroup;
                count(all, name, outcome);
                reporter.file(group, name, outcome);
            };
            merge(all, walk ? walk(request, control) : session.run(request, questions, control));
        } catch (const IoError &e) {
            error = QString::fromLocal8Bit(e.what());
            failedIn = &group;
            break;
        }
        before += group.names.size();
        if (all.stopped)
            break;
    }
    if (log) {
        if (all.notRecorded.isEmpty())
            all.notRecorded = log->problem();
        log.reset();
    }
    const Summary summary = summaryOf(invocation, all, info.verb, error);
    int status = statusOf(all);
    if (failedIn) {
        // The file in hand is the one after the last told (all before it are done).
        const QByteArray where = inGroup >= 0 && inGroup < failedIn->names.size()
                                     ? failedIn->shown + encodeFileName(failedIn->names.at(inGroup))
                                     : failedIn->folder;
        out.message(decodeFileName(where) + QStringLiteral(": ") + error);
        status = 3;
    }
    return finish(invocation, summary, status);
}

namespace
{

// The folder browser of Create playlist(s), over the file system: a folder's subfolders and MP3
// files as the window's lists show them.
class DiskBrowser : public PlaylistFolderBrowser
{
public:
    explicit DiskBrowser(const QString &folder) { read(folder); }

    QString currentFolder() const override { return m_folder; }
    QStringList subfolderNames() const override { return m_scan.folders; }
    void openFolder(const QString &path) override
    {
        read(path); // throws, and stays where it was, when the folder cannot be read
    }
    QStringList fileNames() const override { return m_scan.files.toStringList(); }

private:
    void read(const QString &folder)
    {
        FolderScan scan = scanFolder(folder, QStringLiteral("*.mp3"));
        m_scan = std::move(scan);
        m_folder = folder;
    }

    QString m_folder;
    FolderScan m_scan;
};

} // namespace

int runPlaylists(Invocation &invocation, const QByteArray &folder, bool noDriveLetter,
                 CliQuestions &questions)
{
    const CommandInfo &info = commandInfo(CommandKind::CreatePlaylists);
    FileReporter reporter(invocation, info.verb);
    WalkReport report;
    QString error;
    try {
        DiskBrowser browser(decodeFileName(folder));
        CommandRequest request;
        request.kind = CommandKind::CreatePlaylists;
        request.folder = Folder::open(folder);
        request.browser = &browser;
        request.noDriveLetter = noDriveLetter;
        WalkControl control;
        control.stop = &stopRequested();
        control.dryRun = invocation.dryRun();
        Output &out = invocation.out();
        if (out.showsProgress()) {
            control.progress = [&out, verb = info.verb](int visited, int total) {
                out.progress(progressText(verb, visited, total));
            };
        }
        control.fileDone = [&](const QString &path, const FileOutcome &outcome) {
            ++report.done;
            reporter.playlist(path, outcome);
        };
        report = invocation.session().run(request, questions, control);
    } catch (const IoError &e) {
        error = QString::fromLocal8Bit(e.what());
    }
    const Summary summary = summaryOf(invocation, report, info.verb, error);
    int status = statusOf(report);
    if (!error.isEmpty()) {
        invocation.out().message(decodeFileName(folder) + QStringLiteral(": ") + error);
        status = 3;
    }
    return finish(invocation, summary, status);
}
