#include "signals.h"

#include <csignal>

namespace
{

std::atomic<bool> g_stop{false};
std::atomic<int> g_signal{0};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "the signal handler may only touch lock-free atomics");

extern "C" void onStopSignal(int signal)
{
    g_signal.store(signal, std::memory_order_relaxed);
    g_stop.store(true, std::memory_order_relaxed);
}

void install(int signal)
{
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // A write to a full pipe goes on after the signal; the second signal acts as if unhandled.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(signal, &action, nullptr);
}

} // namespace

void installStopHandlers()
{
    install(SIGINT);
    install(SIGTERM);
}

void ignoreBrokenPipe()
{
    std::signal(SIGPIPE, SIG_IGN);
}

void requestStop(int signal)
{
    onStopSignal(signal);
}

const std::atomic<bool> &stopRequested()
{
    return g_stop;
}

int stopSignal()
{
    return g_signal.load(std::memory_order_relaxed);
}

void restoreDefaultStopHandling()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}
