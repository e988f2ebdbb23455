#pragma once

#include "questions.h"

#include <functional>
#include <memory>

class ModalQuestions;
class QWidget;
class TForm2;

// The commands' questions as the main window asks them: through the dialogs (the real ones, or
// a test's scripted ones), over the window, with the edit dialog for the tag questions. Before
// every question the window's pending list changes are shown (beforeQuestion).
class WindowQuestions : public CommandQuestions
{
public:
    WindowQuestions(QWidget *parent, std::function<void()> beforeQuestion);
    ~WindowQuestions() override;

    // Puts in the dialogs that answer every later question; nullptr puts the real ones back.
    void setDialogs(ModalQuestions *dialogs);
    ModalQuestions &dialogs();
    // Shows what is pending (also run when a handler ends).
    void flushPending();

    std::optional<QString> askText(const QString &caption, const QString &label,
                                   const QString &initial, int maxLength) override;
    std::optional<TagTexts> editTag(const TagEditView &view) override;
    std::optional<LongTitleAnswer> askLongTitle(const LongTitleQuestion &question) override;
    std::optional<QString> askSaveFileName(const QString &title, const QString &proposedPath,
                                           const QString &filter,
                                           const QString &defaultSuffix) override;
    std::optional<QString> askExistingDirectory(const QString &title,
                                                const QString &startFolder) override;
    void showError(const QString &message) override;
    // A Yes/No question over the window; true for Yes.
    bool askYesNo(const QString &text);
    bool confirm(const QString &question) override { return askYesNo(question); }

private:
    QWidget *m_parent;
    std::function<void()> m_beforeQuestion;
    std::unique_ptr<ModalQuestions> m_real;
    ModalQuestions *m_dialogs = nullptr;
};

// A path the file dialogs gave back, with every part (a folder or the name) that is the lossy
// rendering of a part of known (the path the program proposed, decoded losslessly) replaced by
// that part: the dialogs turn bytes that are not valid UTF-8 into U+FFFD, which would name
// another file.
QString restoreLostBytes(const QString &answer, const QString &known);
