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
