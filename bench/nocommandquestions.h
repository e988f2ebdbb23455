#pragma once

#include "questions.h"

// The benchmarks that run commands without a window: every question is answered with Cancel,
// so long titles are cut and nothing waits for an answer.
struct NoCommandQuestions : CommandQuestions {
    std::optional<QString> askText(const QString &, const QString &, const QString &, int) override
    {
        return std::nullopt;
    }
    std::optional<TagTexts> editTag(const TagEditView &) override { return std::nullopt; }
    std::optional<LongTitleAnswer> askLongTitle(const LongTitleQuestion &) override
    {
        return std::nullopt;
    }
    std::optional<QString> askSaveFileName(const QString &, const QString &, const QString &,
                                           const QString &) override
    {
        return std::nullopt;
    }
    std::optional<QString> askExistingDirectory(const QString &, const QString &) override
    {
        return std::nullopt;
    }
    void showError(const QString &) override {}
};
