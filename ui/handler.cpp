#include "handler.h"

#include "windowquestions.h"

#include <QString>
#include <exception>

void runHandler(WindowQuestions &questions, const std::function<void()> &body)
{
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
    try {
        body();
    } catch (const std::exception &) {
    }
}
