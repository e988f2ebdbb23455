// Undo and redo in the main window.
#include "tform1.h"

#include "filenames.h"
#include "handler.h"
#include "reporttext.h"
#include "resultnotice.h"
#include "session.h"
#include "undo.h"
#include "windowquestions.h"

#include <QAbstractSpinBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

void TForm1::showUndoReport(const std::optional<UndoReport> &report, bool redo)
{
    if (!report) {
        // Nothing to take back (or make again), and why where there is a reason.
        const QString problem = m_session->journalProblem();
        QString text = redo ? QStringLiteral("Nothing to redo") : QStringLiteral("Nothing to undo");
        if (!problem.isEmpty())
            text += QStringLiteral(": ") + problem;
        notice().setUndoHandler({});
        notice().setActionHandler({});
        notice().showResult(text, {});
        return;
    }
    if (report->declined)
        return;
    // The change can be taken back again, or made again.
    if (report->refused.isEmpty() && !report->done.empty()) {
        if (redo)
            notice().setUndoHandler([this] { Undo(); });
        else
            notice().setUndoHandler([this] { Redo(); }, QStringLiteral("Redo"));
    } else {
        notice().setUndoHandler({});
    }
    notice().setActionHandler({});
    notice().showResult(undoReportText(*report, redo),
                        leftFilesText(undoWalkReport(*report), kListedLeftFiles));
}

const std::optional<UndoReport> &TForm1::lastUndoReport() const
{
    return m_lastUndo;
}

std::optional<UndoReport> TForm1::Undo()
{
    if (!m_session->journal()) {
        // No journal, nothing recorded: the notice says why, as for nothing to undo.
        m_lastUndo.reset();
        showUndoReport(std::nullopt, false);
        return std::nullopt;
    }
    std::optional<UndoReport> report;
    bool failed = true;
    runHandler(questions(), [&] {
        report = m_session->undo(encodeFileName(FileListBox1->directory()), questions());
        failed = false;
    });
    if (failed)
        return std::nullopt;
    if (report && !report->done.empty())
        FileListBox1->reread(); // names and tags may have changed
    m_lastUndo = report && !report->declined ? report : std::nullopt;
    showUndoReport(report, false);
    return m_lastUndo;
}

std::optional<UndoReport> TForm1::Redo()
{
    if (!m_session->journal()) {
        m_lastUndo.reset();
        showUndoReport(std::nullopt, true);
        return std::nullopt;
    }
    std::optional<UndoReport> report;
    bool failed = true;
    runHandler(questions(), [&] {
        report = m_session->redo();
        failed = false;
    });
    if (failed)
        return std::nullopt;
    if (report && !report->done.empty())
        FileListBox1->reread();
    m_lastUndo = report;
    showUndoReport(report, true);
    return report;
}

bool TForm1::typingHasFocus() const
{
    QWidget *focus = focusWidget(); // the window's, also while another window is active
    return qobject_cast<QLineEdit *>(focus) || qobject_cast<QAbstractSpinBox *>(focus) ||
           qobject_cast<QTextEdit *>(focus) || qobject_cast<QPlainTextEdit *>(focus);
}
