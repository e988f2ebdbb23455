#include "handler.h"

#include "widgetquestions.h"

#include <QString>
#include <exception>

void runHandler(QWidget *parent, const std::function<void()> &body)
{
    QString message;
    try {
        body();
        runBeforeQuestion();
        return;
    } catch (const std::exception &e) {
        message = QString::fromLocal8Bit(e.what());
    } catch (...) {
        message = QStringLiteral("Unknown error.");
    }
    modalQuestions().critical(parent, message);
    runBeforeQuestion();
}
