#include "handler.h"

#include "windowquestions.h"

#include <QString>
#include <exception>

namespace
{
int holds = 0;
} // namespace

HandlerHold::HandlerHold()
{
    ++holds;
}

HandlerHold::~HandlerHold()
{
    --holds;
}

bool HandlerHold::held()
{
    return holds > 0;
}

void runHandler(WindowQuestions &questions, const std::function<void()> &body)
{
    if (HandlerHold::held())
        return;
    QString message;
    try {
        body();
        questions.flushPending();
        return;
    } catch (const std::exception &e) {
        message = QString::fromLocal8Bit(e.what());
    } catch (...) {
        message = QStringLiteral("Unknown error.");
    }
    questions.showError(message);
    questions.flushPending();
}

void runHandler(WindowQuestions *questions, const std::function<void()> &body)
{
    if (questions) {
        runHandler(*questions, body);
        return;
    }
    if (HandlerHold::held())
        return;
    try {
        body();
    } catch (const std::exception &) {
    }
}
