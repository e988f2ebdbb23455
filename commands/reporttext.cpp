#include "reporttext.h"

#include "filenames.h"
#include "undo.h"

#include <QStringList>

QString countText(long long n)
{
    const bool negative = n < 0;
    QString digits = QString::number(negative ? -n : n);
    for (qsizetype pos = digits.size() - 3; pos > 0; pos -= 3)
        digits.insert(pos, QLatin1Char(','));
    return negative ? QLatin1Char('-') + digits : digits;
}

namespace
{

QString counted(long long n, const char *one, const char *many)
{
    return countText(n) + QLatin1Char(' ') + QLatin1String(n == 1 ? one : many);
}

} // namespace

QString reportText(const WalkReport &report, ReportVerb verb)
{
    QString text;
    switch (verb) {
    case ReportVerb::Tagged:
        text = counted(report.done, "file tagged", "files tagged");
        break;
    case ReportVerb::Renamed:
        text = counted(report.done, "file renamed", "files renamed");
        break;
    case ReportVerb::PlaylistsWritten:
        text = counted(report.done, "playlist written", "playlists written");
        break;
    case ReportVerb::Id3v2Written:
        text = counted(report.done, "ID3v2 tag written", "ID3v2 tags written");
        break;
    case ReportVerb::Restored:
        text = counted(report.done, "file restored", "files restored");
        break;
    case ReportVerb::ChangedAgain:
        text = counted(report.done, "file changed again", "files changed again");
        break;
    }
    if (report.done == 0 && report.left.empty() && !report.stopped) {
        // Nothing done and nothing left: the notice says why there was nothing to do.
        if (report.total > 0)
            text += QStringLiteral(": cancelled");
        else if (verb == ReportVerb::Restored || verb == ReportVerb::ChangedAgain)
            text += QStringLiteral(": the command changed no file");
        else
            text += QStringLiteral(": no files selected");
    }
    if (!report.left.empty()) {
        text += QStringLiteral(", ") +
                counted(qsizetype(report.left.size()), "left as it was: ", "left as they were: ");
        QStringList reasons;
        for (const auto &[reason, n] : report.reasons())
            reasons << reason + QStringLiteral(" (") + countText(n) + QLatin1Char(')');
        text += reasons.join(QStringLiteral(", "));
    }
    if (report.stopped) {
        text += QStringLiteral(", stopped after ") + countText(report.visited()) +
                QStringLiteral(" of ") + countText(report.total);
    }
    if (!report.notRecorded.isEmpty() && report.done > 0) {
        // Why Undo is not offered: "not recorded: the undo journal in ... cannot be written:
        // Disk full".
        QString why = report.notRecorded;
        if (why.endsWith(QLatin1Char('.')))
            why.chop(1);
        text += QStringLiteral("; not recorded: ") + why.left(1).toLower() + why.mid(1);
    }
    return text;
}

QString id3v2DiffersText(const WalkReport &report)
{
    const auto n = qsizetype(report.id3v2Differs.size());
    if (n == 0)
        return {};
    return n == 1 ? QStringLiteral("the ID3v2 tag of 1 file says otherwise")
                  : QStringLiteral("the ID3v2 tags of ") + countText(n) +
                        QStringLiteral(" files say otherwise");
}

QString progressText(ReportVerb verb, int visited, int total)
{
    QString text;
    switch (verb) {
    case ReportVerb::Tagged:
        text = QStringLiteral("Tagging");
        break;
    case ReportVerb::Renamed:
        text = QStringLiteral("Renaming");
        break;
    case ReportVerb::PlaylistsWritten:
        text = QStringLiteral("Writing playlists");
        break;
    case ReportVerb::Id3v2Written:
        text = QStringLiteral("Writing ID3v2 tags");
        break;
    case ReportVerb::Restored:
        text = QStringLiteral("Restoring");
        break;
    case ReportVerb::ChangedAgain:
        text = QStringLiteral("Changing again");
        break;
    }
    if (total <= 0)
        return text + QStringLiteral(" ...");
    return text + QLatin1Char(' ') + countText(visited) + QStringLiteral(" of ") + countText(total);
}

QString leftFilesText(const WalkReport &report, int maxLines)
{
    QStringList lines;
    const qsizetype n = qsizetype(report.left.size());
    const qsizetype shown = maxLines > 0 ? std::min<qsizetype>(n, maxLines) : n;
    for (qsizetype i = 0; i < shown; ++i) {
        const LeftFile &file = report.left[std::size_t(i)];
        lines << file.name + QStringLiteral(": ") + file.reason;
    }
    if (shown < n)
        lines << QStringLiteral("and ") + countText(n - shown) + QStringLiteral(" more");
    return lines.join(QLatin1Char('\n'));
}

WalkReport undoWalkReport(const UndoReport &report)
{
    WalkReport walk;
    walk.done = int(report.done.size());
    for (const UndoReport::Left &file : report.left) // by bare name, as the commands list them
        walk.left.push_back(
            {decodeFileName(file.path.mid(file.path.lastIndexOf('/') + 1)), file.reason});
    walk.total = walk.visited();
    return walk;
}

QString undoReportText(const UndoReport &report, bool redo)
{
    if (!report.refused.isEmpty())
        return report.command + QLatin1Char(' ') + report.refused;
    return (redo ? QStringLiteral("Redone ") : QStringLiteral("Undone ")) + report.command +
           QStringLiteral(": ") +
           reportText(undoWalkReport(report),
                      redo ? ReportVerb::ChangedAgain : ReportVerb::Restored);
}
