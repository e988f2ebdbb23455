#pragma once

#include <atomic>

// Ctrl+C (SIGINT) and SIGTERM ask the running command to stop after the file in hand, as Esc
// does in the window: the handler only sets the flag the walk checks between files. A second
// signal ends the program at once (the undo journal holds every change that may have reached the
// disk, so even that loses nothing).
void installStopHandlers();
// Nothing is written to a closed pipe any more: ignores SIGPIPE, so that a reader that goes
// (as "| head" does) stops the command after the file in hand instead of killing it.
void ignoreBrokenPipe();
// The flag, set once a stop signal came.
const std::atomic<bool> &stopRequested();
// The signal that asked to stop, 0 if none.
int stopSignal();
// Asks to stop as the signal would (a closed standard output: SIGPIPE, which is ignored).
void requestStop(int signal);
// The default action for the stop signals again (for undo and redo, which a kill leaves in a
// state the next undo finishes).
void restoreDefaultStopHandling();
