// history: the commands undo can take back.
#include "command.h"
#include "filenames.h"
#include "invocation.h"
#include "journal.h"
#include "jsonline.h"
#include "output.h"
#include "reporttext.h"
#include "runner.h"
#include "session.h"
#include "undo.h"

#include <QDateTime>

namespace
{

int history(Invocation &invocation)
{
    Output &out = invocation.out();
    Summary summary;
    if (journalMissing()) {
        summary.text = QStringLiteral("Nothing to undo");
        return finish(invocation, summary, 0, [](JsonLine &object) { object.add("redoable", 0); });
    }
    CommandSession &session = invocation.session();
    Journal *journal = session.journal();
    if (!journal) {
        summary.error = session.journalProblem();
        summary.text = summary.error;
        out.message(summary.error);
        return finish(invocation, summary, 3);
    }
    std::vector<JournalCommand> commands;
    int redoable = 0;
    try {
        commands = journal->undoable();
        redoable = int(journal->redoable().size());
    } catch (const IoError &e) {
        summary.error = QString::fromLocal8Bit(e.what());
        summary.text = summary.error;
        out.message(summary.error);
        return finish(invocation, summary, 3);
    }
    int number = 0;
    for (auto it = commands.rbegin(); it != commands.rend(); ++it) { // the next to undo first
        const JournalCommand &command = *it;
        ++number;
        int files = -1; // a damaged record: undo refuses it
        try {
            files = filesToUndo(journal->load(command));
        } catch (const DamagedCommand &) {
        } catch (const IoError &) {
        }
        const QDateTime when = QDateTime::fromMSecsSinceEpoch(command.timeMs);
        if (out.json()) {
            JsonLine object;
            object.add("number", number)
                .add("command", command.name)
                .addName("folder", command.folder)
                .add("time", when.toUTC().toString(Qt::ISODate))
                .add("timeMs", std::int64_t(command.timeMs));
            if (files < 0)
                object.addNull("files").add("damaged", true);
            else
                object.add("files", files);
            out.fileObject(object);
        } else {
            const QString count = files < 0
                                      ? QStringLiteral("its record is damaged")
                                      : countText(files) + (files == 1 ? QStringLiteral(" file")
                                                                       : QStringLiteral(" files"));
            out.fileLine(
                QByteArray::number(number) + ". " + displayText(command.name) + " in " +
                displayBytes(command.folder) + ", " +
                when.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toUtf8() + ", " +
                displayText(count));
        }
    }
    summary.done = number;
    summary.total = number;
    summary.text = (number == 0 ? QStringLiteral("Nothing to undo")
                                : countText(number) +
                                      (number == 1 ? QStringLiteral(" command")
                                                   : QStringLiteral(" commands")) +
                                      QStringLiteral(" can be undone"));
    if (redoable > 0)
        summary.text += QStringLiteral(", ") + countText(redoable) +
                        QStringLiteral(" can be made again (redo)");
    return finish(invocation, summary, 0,
                  [&](JsonLine &object) { object.add("redoable", redoable); });
}

const CommandRegistration registration({
    "history",
    92,
    "",
    0,
    0,
    "Lists the commands that undo can take back, the next one first: number, command, folder, "
    "when, files.",
    "The journal is the window's (under $XDG_STATE_HOME/trackling, by default "
    "~/.local/state/trackling), so the commands of both are listed.",
    {},
    history,
});

} // namespace
