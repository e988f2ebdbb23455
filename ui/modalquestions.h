#pragma once

#include <QString>
#include <optional>

class QDialog;
class QWidget;

// The dialogs behind every modal question the program asks (the main window's WindowQuestions
// shows them), so that tests can answer with scripted replies instead of real dialogs.
class ModalQuestions
{
public:
    virtual ~ModalQuestions() = default;
    virtual int execDialog(QDialog &dialog) = 0; // the edit dialog; returns its result
    virtual std::optional<QString> getText(QWidget *parent, const QString &caption,
                                           const QString &label, const QString &initial,
                                           int maxLength) = 0;
    virtual std::optional<QString> getSaveFileName(QWidget *parent, const QString &title,
                                                   const QString &proposedPath,
                                                   const QString &filter,
                                                   const QString &defaultSuffix) = 0;
    virtual std::optional<QString> getExistingDirectory(QWidget *parent, const QString &title,
                                                        const QString &startFolder) = 0;
    virtual void critical(QWidget *parent, const QString &message) = 0; // caption "Trackling"
    // A question answered Yes or No (caption "Trackling"); true for Yes. Dialogs that do not
    // ask it answer No.
    virtual bool question(QWidget *parent, const QString &text)
    {
        (void)parent;
        (void)text;
        return false;
    }
};
