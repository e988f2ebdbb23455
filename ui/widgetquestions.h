#pragma once

#include "modalquestions.h"

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
    std::optional<QString> getExistingDirectory(QWidget *parent, const QString &title,
                                                const QString &startFolder) override;
    void critical(QWidget *parent, const QString &message) override;
    bool question(QWidget *parent, const QString &text) override;
};
