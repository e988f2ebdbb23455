// undo and redo: the window's Ctrl+Z and Ctrl+Shift+Z, on the same journal.
#include "cliquestions.h"
#include "command.h"
#include "filenames.h"
#include "folder.h"
#include "invocation.h"
#include "jsonline.h"
#include "output.h"
#include "reporttext.h"
#include "runner.h"
#include "session.h"
#include "signals.h"

namespace
{

void tellFile(Output &out, const QByteArray &path, const char *action, bool dryRun,
              const QString &reason = {})
{
    if (out.json()) {
        JsonLine object;
        object.addName("path", path)
            .addName("name", namePartOf(path))
            .addName("folder", folderPartOf(path))
            .add("action", action)
            .add("dryRun", dryRun);
        if (!reason.isEmpty())
            object.add("reason", reason);
        out.fileObject(object);
        return;
    }
    QByteArray line = displayBytes(path) + ": ";
    if (reason.isEmpty())
        line += dryRun ? QByteArray("would be ") + action : QByteArray(action);
    else
        line += "left as it was: " + displayText(reason);
    out.fileLine(line);
}

int undoOrRedo(Invocation &invocation, bool redo)
{
    // An undo cut short by a kill is finished by the next one: Ctrl+C acts at once here.
    restoreDefaultStopHandling();
    Output &out = invocation.out();
    CommandSession &session = invocation.session();
    const bool dryRun = invocation.dryRun();
    Summary summary;
    std::optional<UndoReport> report;
    if (journalMissing()) {
        summary.text = redo ? QStringLiteral("Nothing to redo") : QStringLiteral("Nothing to undo");
        return finish(invocation, summary, 0);
    }
    try {
        CliQuestions questions; // a command of another run is taken back without asking
        report = redo ? session.redo(dryRun) : session.undo({}, questions, dryRun);
    } catch (const IoError &e) {
        summary.error = QString::fromLocal8Bit(e.what());
        summary.text = summary.error;
        out.message(summary.error);
        return finish(invocation, summary, 3);
    }
    if (!report) {
        summary.text = redo ? QStringLiteral("Nothing to redo") : QStringLiteral("Nothing to undo");
        return finish(invocation, summary, 0);
    }
    const char *action = redo ? "changed again" : "restored";
    for (const QByteArray &path : report->done)
        tellFile(out, path, action, dryRun);
    for (const UndoReport::Left &file : report->left)
        tellFile(out, file.path, action, dryRun, file.reason);
    const WalkReport walk = undoWalkReport(*report);
    summary.text = undoReportText(*report, redo);
    if (dryRun)
        summary.text = QStringLiteral("dry run, nothing changed: ") + summary.text;
    summary.done = walk.done;
    summary.left = int(walk.left.size());
    summary.total = walk.total;
    const int status = report->refused.isEmpty() && report->left.empty() ? 0 : 1;
    return finish(invocation, summary, status, [&](JsonLine &object) {
        object.add("undoneCommand", report->command).addName("commandFolder", report->folder);
        if (!report->refused.isEmpty())
            object.add("refused", report->refused);
    });
}

const CommandRegistration undoRegistration({
    "undo",
    90,
    "",
    0,
    0,
    "Takes back the last command that changed files, in this program or in the window (the same "
    "undo journal), the last first.",
    "A file is changed back only where it is exactly as the command left it; any other is left "
    "as it is and named with the reason. A command of another run is taken back without a "
    "question: the command line is the question. With --dry-run, says what it would restore.",
    {},
    [](Invocation &invocation) { return undoOrRedo(invocation, false); },
});

const CommandRegistration redoRegistration({
    "redo",
    91,
    "",
    0,
    0,
    "Makes again what undo took back last.",
    "By the same rules as undo: only where a file is exactly as undo left it.",
    {},
    [](Invocation &invocation) { return undoOrRedo(invocation, true); },
});

} // namespace
