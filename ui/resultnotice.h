#pragma once

#include <QFrame>
#include <QTimer>
#include <functional>

class QLabel;
class QToolButton;

// The short notice over the lower edge of a control (the main window's file list): what the
// last command did, or the progress of the one running with a "Stop" action. It is a child of
// the window laid over the control, so no control moves; neither it nor its buttons take the
// focus. A result goes away after about ten seconds or when dismissed (the window dismisses it
// at the next action). A click on a result with details shows them (the files left as they
// were, as plain text) in a small list beside it.
class ResultNotice : public QFrame
{
    Q_OBJECT
public:
    // A child of window, shown over the bottom of over's viewport (over is a child of window).
    ResultNotice(QWidget *window, QWidget *over);
    ~ResultNotice() override;

    // Progress of a running command, with "Stop".
    void showProgress(const QString &text);
    // A command's result; details (may be empty) are shown on a click. Hidden after timeoutMs.
    void showResult(const QString &text, const QString &details);
    // Hides the notice and its details.
    void dismiss();

    // The text shown; empty while the notice is hidden.
    QString text() const;
    bool showsProgress() const { return !isHidden() && m_progress; }
    // The details list, shown or not (for tests).
    QLabel *detailsList() const { return m_details; }
    QToolButton *stopButton() const { return m_stop; }
    QToolButton *undoButton() const { return m_undo; }

    // What "Undo" (or the caption given, "Redo" say) does; the action is offered with results
    // only while a handler is set.
    void setUndoHandler(std::function<void()> handler,
                        const QString &caption = QStringLiteral("Undo"));
    void setTimeout(int ms) { m_hide.setInterval(ms); }

signals:
    // "Stop" was pressed.
    void stopRequested();

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    void place();
    void toggleDetails();

    QWidget *m_over;
    QLabel *m_text;
    QToolButton *m_stop;
    QToolButton *m_undo;
    QLabel *m_details; // a tool-tip-like window of its own
    std::function<void()> m_undoHandler;
    QTimer m_hide;
    bool m_progress = false;
};
