// Undo and redo in the main window, and the recording of every command that changes files.
#include "tform1.h"

#include "walk.h"

#include "changerecorder.h"
#include "commandrunner.h"
#include "filenames.h"
#include "handler.h"
#include "ioerror.h"
#include "reporttext.h"
#include "resultnotice.h"
#include "undo.h"
#include "windowquestions.h"

#include <QAbstractSpinBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

Journal *TForm1::journal()
{
    if (!m_journalTried) {
        m_journalTried = true;
        try {
            m_journal = std::make_unique<Journal>();
        } catch (const IoError &) {
            m_journal.reset(); // the commands still work; there is just nothing to undo
        }
    }
    return m_journal.get();
}

WalkReport TForm1::recorded(const QString &name, const std::function<WalkReport()> &body)
{
    Journal *log = journal();
    if (!log)
        return body();
    ChangeRecorder recorder(*log, name, encodeFileName(currentFolder()));
    recorder.setWaiting(
        [this](const std::function<bool()> &done) { commandRunner().turnUntil(done); });
    RecorderScope scope(&recorder);
    return body();
}

void TForm1::showUndoReport(const std::optional<UndoReport> &report, bool redo)
{
    if (!report)
        return;
    notice().setUndoHandler({});
    notice().showResult(undoReportText(*report, redo),
                        leftFilesText(undoWalkReport(*report), kListedLeftFiles));
}

const std::optional<UndoReport> &TForm1::lastUndoReport() const
{
    return m_lastUndo;
}

std::optional<UndoReport> TForm1::Undo()
{
    std::optional<UndoReport> report;
    runHandler(questions(), [&] {
        if (Journal *log = journal())
            report =
                undoLast(*log, [this](const QString &text) { return questions().askYesNo(text); });
    });
    if (report)
        FileListBox1->reread(); // names and tags may have changed
    m_lastUndo = report;
    showUndoReport(report, false);
    return report;
}

std::optional<UndoReport> TForm1::Redo()
{
    std::optional<UndoReport> report;
    runHandler(questions(), [&] {
        if (Journal *log = journal())
            report = redoLast(*log);
    });
    if (report)
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
