#pragma once

#include <functional>

class QWidget;

// The one boundary between the event loop and the program's handlers. Runs body; a failure it
// throws (an IoError or any other exception) ends it and its message is shown in a message box
// with the caption "Trackling" over parent. Pending list changes are shown when it ends.
void runHandler(QWidget *parent, const std::function<void()> &body);
