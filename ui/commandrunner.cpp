#include "commandrunner.h"

#include "handler.h"
#include "resultnotice.h"

#include <QCoreApplication>

CommandRunner::CommandRunner(ResultNotice &notice, std::function<void()> showPending)
    : m_notice(notice), m_showPending(std::move(showPending))
{
}

std::optional<WalkReport>
CommandRunner::run(ReportVerb verb, const std::function<WalkReport(const WalkControl &)> &command,
                   const std::function<void(const WalkReport &)> &after)
{
    if (m_busy)
        return std::nullopt;
    struct Busy {
        CommandRunner &runner;
        explicit Busy(CommandRunner &r) : runner(r)
        {
            runner.m_busy = true;
            runner.m_stop = false;
        }
        ~Busy()
        {
            runner.m_busy = false;
            if (runner.m_notice.showsProgress())
                runner.m_notice.dismiss();
        }
    } busy(*this);
    m_notice.dismiss();
    if (!m_enabled) {
        WalkReport report = command(WalkControl{});
        if (after)
            after(report);
        return report;
    }
    m_clock.start();
    // The first file turns the loop at once: reading the selection may already have taken a
    // while.
    m_lastTurn = -m_turnIntervalMs;
    m_lastShown = 0;
    WalkControl control;
    control.stop = &m_stop;
    control.progress = [this, verb](int visited, int total) { progress(verb, visited, total); };
    WalkReport report = command(control);
    // One more turn before what comes after (the folder read again).
    turn();
    if (after)
        after(report);
    return report;
}

void CommandRunner::turnUntil(const std::function<bool()> &done)
{
    while (!done()) {
        if (m_busy && m_enabled)
            turn();
    }
}

void CommandRunner::turn()
{
    if (m_showPending)
        m_showPending();
    const HandlerHold hold;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void CommandRunner::requestStop()
{
    if (m_busy)
        m_stop = true;
}

void CommandRunner::progress(ReportVerb verb, int visited, int total)
{
    if (m_hook)
        m_hook(visited);
    const qint64 now = m_clock.elapsed();
    if (now - m_lastTurn < m_turnIntervalMs)
        return;
    if (now >= m_progressDelayMs)
        m_notice.showProgress(progressText(verb, visited, total));
    // The list's unselects cost a selection change over the whole list: shown less often.
    if (m_showPending && now - m_lastShown >= kShowPendingMs) {
        m_showPending();
        m_lastShown = now;
    }
    {
        const HandlerHold hold;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    // The interval is counted from the end of the turn, so a slow turn does not starve the
    // command.
    m_lastTurn = m_clock.elapsed();
}
