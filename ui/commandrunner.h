#pragma once

#include "reporttext.h"
#include "walk.h"

#include <QElapsedTimer>
#include <atomic>
#include <functional>
#include <optional>

class ResultNotice;

// Runs the main window's commands that act on files, one at a time, on the GUI thread. While a
// command runs, its walk reports progress after each file; at most every turnIntervalMs the
// runner shows the list's pending changes and lets the event loop take a turn, so the window
// repaints and answers (the window ignores input other than Esc, "Stop" and closing meanwhile,
// and every handler is held, so none runs inside the command). After progressDelayMs the notice
// shows the progress with "Stop". A stop request ends the walk after the file in hand (the
// files not reached keep their selection).
class CommandRunner
{
public:
    // showPending shows the list's pending changes (its unselects).
    CommandRunner(ResultNotice &notice, std::function<void()> showPending);

    bool busy() const { return m_busy; }
    // Runs command with this runner's walk control, then after (still as part of the command),
    // and returns its report; nothing (and command is not run) while another command runs. An
    // exception from command or after propagates after the progress notice is taken down; the
    // runner is then free again.
    std::optional<WalkReport> run(ReportVerb verb,
                                  const std::function<WalkReport(const WalkControl &)> &command,
                                  const std::function<void(const WalkReport &)> &after = {});
    // While a command runs: lets the event loop take turns until done() says so (done is asked
    // about every 20 ms and should wait that long itself). Without the machinery, asks done()
    // only.
    void turnUntil(const std::function<bool()> &done);
    // Asks the running command to stop after the file in hand (nothing when none runs).
    void requestStop();
    bool stopRequested() const { return m_stop.load(); }

    // Without the machinery (no progress, no turns of the event loop, no stop): for measuring
    // what it costs.
    void setEnabled(bool enabled) { m_enabled = enabled; }
    void setTurnInterval(int ms) { m_turnIntervalMs = ms; }
    void setProgressDelay(int ms) { m_progressDelayMs = ms; }
    // Called with the files visited after each file, before any turn (a seam for tests).
    void setProgressHook(std::function<void(int visited)> hook) { m_hook = std::move(hook); }

private:
    void progress(ReportVerb verb, int visited, int total);
    // Shows the list's pending changes and lets the event loop take a turn, handlers held.
    void turn();

    ResultNotice &m_notice;
    std::function<void()> m_showPending;
    std::function<void(int)> m_hook;
    std::atomic<bool> m_stop{false};
    QElapsedTimer m_clock;
    qint64 m_lastTurn = 0;
    qint64 m_lastShown = 0;
    static constexpr qint64 kShowPendingMs = 250;
    bool m_busy = false;
    bool m_enabled = true;
    int m_turnIntervalMs = 50;
    int m_progressDelayMs = 300;
};
