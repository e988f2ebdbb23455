#pragma once

#include "questions.h"

#include <QList>
#include <QTest>

// The commands' questions answered from scripts: each ask records what was asked and takes the
// next answer of its kind (Cancel once that script runs out). A test overrides what it expects.
struct ScriptedQuestions : CommandQuestions {
    struct TextAsked {
        QString caption, label, initial;
        int maxLength;
    };
    QList<TextAsked> textsAsked;
    QList<std::optional<QString>> textAnswers;
    QList<LongTitleQuestion> titlesAsked;
    QList<std::optional<LongTitleAnswer>> titleAnswers;
    QStringList errors;

    std::optional<QString> askText(const QString &caption, const QString &label,
                                   const QString &initial, int maxLength) override
    {
        textsAsked.append({caption, label, initial, maxLength});
        return textAnswers.isEmpty() ? std::nullopt : textAnswers.takeFirst();
    }
    std::optional<TagTexts> editTag(const TagEditView &) override
    {
        QTest::qFail("unexpected edit dialog", __FILE__, __LINE__);
        return std::nullopt;
    }
    std::optional<LongTitleAnswer> askLongTitle(const LongTitleQuestion &question) override
    {
        titlesAsked.append(question);
        return titleAnswers.isEmpty() ? std::nullopt : titleAnswers.takeFirst();
    }
    std::optional<QString> askSaveFileName(const QString &, const QString &, const QString &,
                                           const QString &) override
    {
        QTest::qFail("unexpected save dialog", __FILE__, __LINE__);
        return std::nullopt;
    }
    std::optional<QString> askExistingDirectory(const QString &, const QString &) override
    {
        QTest::qFail("unexpected folder browser", __FILE__, __LINE__);
        return std::nullopt;
    }
    void showError(const QString &message) override { errors.append(message); }
};
