#include "uitest.h"

#include "startup.h"
#include "testfiles.h"
#include "tform1.h"

#include <QApplication>
#include <QDir>
#include <QHelpEvent>
#include <QTest>
#include <QTextDocumentFragment>
#include <QToolTip>

FakeQuestions::FakeQuestions()
{
    if (Form1)
        Form1->setModalQuestions(this);
}

FakeQuestions::~FakeQuestions()
{
    if (Form1)
        Form1->setModalQuestions(nullptr);
}

int FakeQuestions::execDialog(QDialog &dialog)
{
    ++dialogs;
    if (dialogAnswers.empty()) {
        QTest::qFail("an unexpected dialog was shown", __FILE__, __LINE__);
        return 2;
    }
    auto answer = dialogAnswers.front();
    dialogAnswers.pop_front();
    return answer(dialog);
}

std::optional<QString> FakeQuestions::getText(QWidget *, const QString &, const QString &label,
                                              const QString &, int)
{
    texts.append(label);
    if (whileAsking)
        whileAsking();
    if (textAnswers.empty())
        return std::nullopt;
    auto answer = textAnswers.front();
    textAnswers.pop_front();
    return answer;
}

std::optional<QString> FakeQuestions::getSaveFileName(QWidget *, const QString &title,
                                                      const QString &proposedPath,
                                                      const QString &filter, const QString &suffix)
{
    saveRequests.append({title, proposedPath, filter, suffix});
    if (saveAnswers.empty())
        return std::nullopt;
    auto answer = saveAnswers.front();
    saveAnswers.pop_front();
    return answer;
}

std::optional<QString> FakeQuestions::getExistingDirectory(QWidget *, const QString &title,
                                                           const QString &startFolder)
{
    directoryTitles.append(title);
    directoryStarts.append(startFolder);
    if (directoryAnswers.empty())
        return std::nullopt;
    auto answer = directoryAnswers.front();
    directoryAnswers.pop_front();
    return answer;
}

void FakeQuestions::critical(QWidget *, const QString &message)
{
    criticals.append(message);
}

bool FakeQuestions::question(QWidget *, const QString &text)
{
    questions.append(text);
    if (whileAsking)
        whileAsking();
    if (questionAnswers.empty())
        return false;
    const bool answer = questionAnswers.front();
    questionAnswers.pop_front();
    return answer;
}

WindowsInFolder::WindowsInFolder() : m_oldCwd(QDir::currentPath())
{
    QDir::setCurrent(QDir(m_dir.path()).canonicalPath());
}

WindowsInFolder::~WindowsInFolder()
{
    if (m_started)
        destroyWindows();
    QDir::setCurrent(m_oldCwd);
}

void WindowsInFolder::start()
{
    createWindows();
    m_started = true;
}

QByteArray mp3(const QByteArray &tag)
{
    // MPEG-1 layer III, 128 kbit/s, 44.1 kHz, stereo.
    const char header[4] = {char(0xFF), char(0xFB), char(0x90), char(0x00)};
    return testfiles::frames(header, 20) + tag;
}

std::vector<bool> listSelection()
{
    return Form1->FileListBox1->selectedRows();
}

bool drawnAsPlainText(QLabel *label, const QString &text)
{
    QLabel plain;
    plain.setTextFormat(Qt::PlainText);
    plain.setText(text);
    plain.setFont(label->font());
    plain.setPalette(label->palette());
    plain.setAlignment(label->alignment());
    plain.setWordWrap(label->wordWrap());
    plain.setFrameStyle(label->frameStyle());
    plain.setLineWidth(label->lineWidth());
    plain.setMargin(label->margin());
    plain.setIndent(label->indent());
    plain.setContentsMargins(label->contentsMargins());
    plain.resize(label->size());
    // The same pixels (a top-level label and a child may be grabbed in different formats).
    return plain.grab().toImage().convertToFormat(QImage::Format_RGB32) ==
           label->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QString toolTipAt(QWidget *widget, QPoint pos)
{
    QToolTip::hideText();
    QHelpEvent event(QEvent::ToolTip, pos, widget->mapToGlobal(pos));
    QApplication::sendEvent(widget, &event);
    if (!QToolTip::isVisible())
        return {};
    const QString tip = QToolTip::text();
    return Qt::mightBeRichText(tip) ? QTextDocumentFragment::fromHtml(tip).toPlainText() : tip;
}
