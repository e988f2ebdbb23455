#include "windowquestions.h"

#include "filenames.h"
#include "modalquestions.h"
#include "tform2.h"
#include "widgetquestions.h"

WindowQuestions::WindowQuestions(QWidget *parent, std::function<void()> beforeQuestion)
    : m_parent(parent), m_beforeQuestion(std::move(beforeQuestion)),
      m_real(std::make_unique<WidgetQuestions>())
{
}

WindowQuestions::~WindowQuestions() = default;

void WindowQuestions::setDialogs(ModalQuestions *dialogs)
{
    m_dialogs = dialogs;
}

ModalQuestions &WindowQuestions::dialogs()
{
    flushPending();
    return m_dialogs ? *m_dialogs : *m_real;
}

void WindowQuestions::flushPending()
{
    if (m_beforeQuestion)
        m_beforeQuestion();
}

std::optional<QString> WindowQuestions::askText(const QString &caption, const QString &label,
                                                const QString &initial, int maxLength)
{
    return dialogs().getText(m_parent, caption, label, initial, maxLength);
}

std::optional<TagTexts> WindowQuestions::editTag(const TagEditView &view)
{
    return Form2->showTag(view, dialogs());
}

std::optional<LongTitleAnswer> WindowQuestions::askLongTitle(const LongTitleQuestion &question)
{
    return Form2->askShorterTitle(question, dialogs());
}

std::optional<QString> WindowQuestions::askSaveFileName(const QString &title,
                                                        const QString &proposedPath,
                                                        const QString &filter,
                                                        const QString &defaultSuffix)
{
    const auto answer =
        dialogs().getSaveFileName(m_parent, title, proposedPath, filter, defaultSuffix);
    if (!answer)
        return answer;
    return restoreLostBytes(*answer, proposedPath);
}

std::optional<QString> WindowQuestions::askExistingDirectory(const QString &title,
                                                             const QString &startFolder)
{
    const auto answer = dialogs().getExistingDirectory(m_parent, title, startFolder);
    if (!answer)
        return answer;
    return restoreLostBytes(*answer, startFolder);
}

void WindowQuestions::showError(const QString &message)
{
    dialogs().critical(m_parent, message);
}

bool WindowQuestions::askYesNo(const QString &text)
{
    return dialogs().question(m_parent, text);
}

QString restoreLostBytes(const QString &answer, const QString &known)
{
    // Each part of the answer that is Qt's lossy rendering of a part of the known path (a
    // folder on the way, or the proposed name) is that part.
    const QStringList exact = known.split(QLatin1Char('/'));
    QStringList out;
    for (const QString &part : answer.split(QLatin1Char('/'))) {
        QString restored = part;
        for (const QString &candidate : exact) {
            if (candidate != part && QString::fromUtf8(encodeFileName(candidate)) == part) {
                restored = candidate;
                break;
            }
        }
        out << restored;
    }
    return out.join(QLatin1Char('/'));
}
