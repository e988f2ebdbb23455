#pragma once

#include <functional>

class WindowQuestions;

// The one boundary between the event loop and the program's handlers. Runs body; a failure it
// throws (an IoError or any other exception) ends it and its message is shown through questions
// (a message box with the caption "Trackling"). Pending list changes are shown when it ends.
void runHandler(WindowQuestions &questions, const std::function<void()> &body);
// The same for a control that may not know a window's questions yet: without questions, a
// failure ends body silently.
void runHandler(WindowQuestions *questions, const std::function<void()> &body);

// While held, runHandler runs nothing: a command turning the event loop holds the handlers, so no
// handler ever runs inside another. Held-ness nests (each hold needs its release).
class HandlerHold
{
public:
    HandlerHold();
    ~HandlerHold();
    HandlerHold(const HandlerHold &) = delete;
    HandlerHold &operator=(const HandlerHold &) = delete;

    static bool held();
};
