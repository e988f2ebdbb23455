#pragma once

#include <QFrame>
#include <QTimer>
#include <functional>

class QAbstractScrollArea;
class QHBoxLayout;
class QLabel;
class QPushButton;

// The short notice over the lower edge of a list (the main window's file list): what the last
// command did, or the progress of the one running with a "Stop" button. It is a child of the
// window laid over the list's viewport, never over its scroll bars, so no control moves and the
// scroll bar and its arrows stay free; the list is asked to keep its rows out from under it
// (setReserveSpace). Neither it nor its buttons take the focus. Its "Undo" and "Stop" are real
// push buttons, drawn as buttons, so that only a deliberate press on one takes a change back. A
// result may offer one more action ("ID3v2 from ID3v1"); its button and "Undo" then lie on a row
// of their own below the text, which keeps the list's width.
// Text and buttons take their colours from one pair of the palette (the tool-tip colours, or the
// list's own when those are too alike), so they keep a contrast of at least 4.5:1 in light and
// dark palettes. A screen reader is told of it as an alert, by its text.
//
// A result goes away after about ten seconds or when dismissed (the window dismisses it at the
// next action). A click on a result with details shows them (the files left as they were, as
// plain text) in a small list beside it; showDetails does the same from the keyboard.
class ResultNotice : public QFrame
{
    Q_OBJECT
public:
    // A child of window, shown over the bottom of over's viewport (over is a child of window).
    ResultNotice(QWidget *window, QAbstractScrollArea *over);
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
    // Whether a result with details is shown; showDetails shows them (nothing when none).
    bool hasDetails() const;
    void showDetails();
    // The details list, shown or not (for tests).
    QLabel *detailsList() const { return m_details; }
    QPushButton *stopButton() const { return m_stop; }
    QPushButton *undoButton() const { return m_undo; }
    QPushButton *actionButton() const { return m_action; }

    // What "Undo" (or the caption given, "Redo" say) does; the button is offered with results
    // only while a handler is set.
    void setUndoHandler(std::function<void()> handler,
                        const QString &caption = QStringLiteral("Undo"));
    // One more action offered with results while a handler is set: its caption and what it does,
    // for screen readers.
    void setActionHandler(std::function<void()> handler, const QString &caption = {},
                          const QString &description = {});
    void setTimeout(int ms) { m_hide.setInterval(ms); }
    // Called with the height the notice covers at the bottom of the list's viewport whenever it
    // changes (0 once it is hidden), so the list can keep its rows clear of it.
    void setReserveSpace(std::function<void(int height)> reserve);

signals:
    // "Stop" was pressed.
    void stopRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void place();
    void announce();
    void applyColours();
    void toggleDetails();
    void reserve(int height);
    // Puts "Undo" beside the text, or on the row below it beside the other action.
    void arrangeButtons();

    QAbstractScrollArea *m_over;
    QWidget *m_viewport; // m_over's, watched for its size
    QLabel *m_text;
    QPushButton *m_stop;
    QPushButton *m_undo;
    QPushButton *m_action;
    QHBoxLayout *m_top;    // the text, "Undo" and "Stop"
    QHBoxLayout *m_bottom; // the other action, and "Undo" beside it
    QLabel *m_details;     // a tool-tip-like window of its own
    std::function<void()> m_undoHandler;
    std::function<void()> m_actionHandler;
    std::function<void(int)> m_reserve;
    int m_reserved = 0;
    QTimer m_hide;
    bool m_progress = false;
    bool m_colouring = false;
};
