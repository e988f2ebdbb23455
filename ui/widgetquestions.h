#pragma once

#include "modalquestions.h"

#include <functional>

// The real dialogs.
class WidgetQuestions : public ModalQuestions
{
public:
    int execDialog(QDialog &dialog) override;
    std::optional<QString> getText(QWidget *parent, const QString &caption, const QString &label,
                                   const QString &initial, int maxLength) override;
    std::optional<QString> getSaveFileName(QWidget *parent, const QString &title,
                                           const QString &proposedPath, const QString &filter,
                                           const QString &defaultSuffix) override;
    std::optional<QString> getExistingDirectory(QWidget *parent, const QString &title) override;
    void critical(QWidget *parent, const QString &message) override;
};

// The questions the program asks now: the real dialogs unless a test has put in its own. Before
// each question reaches the target, the pending list changes are shown (see setBeforeQuestion).
ModalQuestions &modalQuestions();
// Puts in the target for every later question; nullptr puts the real dialogs back.
void setModalQuestions(ModalQuestions *questions);
// Runs before every modal question and at the end of every handler (the main window uses it to
// show the file list's pending unselects).
void setBeforeQuestion(std::function<void()> hook);
void runBeforeQuestion();
