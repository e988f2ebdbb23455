#pragma once

#include "questions.h"

#include <optional>

// The questions of the window's commands, answered by the command line: nothing is ever asked.
// The edit dialog gives back the file's own fields with those given on the command line put over
// them; the restricted dialog for a long title is cancelled (the tag keeps its first 30
// characters); the rename prompt gives the new name given; the save dialog and the folder
// browser give the --output path or what they propose; and a Yes or No question is answered
// Yes (the command line is the question).
class CliQuestions : public CommandQuestions
{
public:
    struct Fields {
        std::optional<QString> title, artist, album, year, comment, genre;
    };
    Fields fields;
    std::optional<QString> newName;
    std::optional<QString> output; // absolute

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
    bool confirm(const QString &question) override;
};
