#include "tform2.h"

#include "dropdownlist.h"
#include "fieldstate.h"
#include "genres.h"
#include "modalquestions.h"
#include "tagfield.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTextLayout>

TForm2 *Form2 = nullptr;

TForm2::TForm2(QWidget *parent) : QDialog(parent)
{
    Form2 = this;
    setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(409, 241);
    setModal(true);

    ComboBox1->addItems(genreNames());
    ComboBox1->setCurrentIndex(-1);
    setDropDownRows(ComboBox1, 13);
    for (QLineEdit *field : {Edit1, Edit2, Edit3, Edit4})
        limitTagField(field);
    // The information box: read-only, on the button face, out of the tab order.
    QPalette memo = Memo1->palette();
    memo.setColor(QPalette::Base, palette().color(QPalette::Active, QPalette::Button));
    Memo1->setPalette(memo);

    for (QGroupBox *frame : findChildren<QGroupBox *>())
        frame->setStyleSheet(QString::fromLatin1(groupFrameStyle));
    fitCaptions(this);

    connect(Button1, &QPushButton::clicked, this, [this] { done(SaveResult); });
    connect(Button2, &QPushButton::clicked, this, [this] { done(CancelResult); });
    centreOnScreen(this);
}

TForm2::~TForm2()
{
    if (Form2 == this)
        Form2 = nullptr;
}

void TForm2::reject()
{
    // Esc and the close box act as "Cancel".
    done(CancelResult);
}

void TForm2::FormKeyDown(int key, Qt::KeyboardModifiers)
{
    if (key == Qt::Key_Escape)
        done(CancelResult);
}

void TForm2::keyPressEvent(QKeyEvent *event)
{
    FormKeyDown(event->key(), event->modifiers());
    if (isVisible())
        QDialog::keyPressEvent(event);
}

void TForm2::showFields(const QString &caption, const QString &fileName, const TagTexts &tag,
                        bool restricted)
{
    setWindowTitle(caption);
    Panel6->setText(fileName);
    Edit1->setText(tag.title);
    Edit2->setText(tag.artist);
    Edit3->setText(tag.album);
    MaskEdit1->setText(tag.year);
    Edit4->setText(tag.comment);
    ComboBox1->setCurrentIndex(
        tag.genre.isEmpty() ? -1 : ComboBox1->findText(tag.genre, Qt::MatchFixedString));
    for (QWidget *field : {static_cast<QWidget *>(Edit2), static_cast<QWidget *>(Edit3),
                           static_cast<QWidget *>(MaskEdit1), static_cast<QWidget *>(ComboBox1)})
        setFieldEnabled(field, !restricted);
    setFieldEnabled(Edit1, true);
    setFieldEnabled(Edit4, true);
    Edit1->setFocus();
}

void TForm2::showInformation(const QStringList &lines)
{
    Memo1->setPlainText(lines.join(u'\n'));
    // A scroll bar only where the lines, wrapped at the box's full width, do not fit: where they
    // fit it would take room they need. Measured as the box lays its lines out: the box has no
    // frame, so its viewport is its whole inside, and the first line starts below the margin.
    const QTextDocument *document = Memo1->document();
    const qreal margin = document->documentMargin();
    const QRect inside = Memo1->contentsRect();
    qreal height = margin;
    for (const QString &text : lines) {
        QTextLayout layout(text, Memo1->font());
        layout.setTextOption(document->defaultTextOption());
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLeadingIncluded(true);
            line.setLineWidth(inside.width() - 2 * margin);
            height += line.height();
        }
        layout.endLayout();
    }
    Memo1->setVerticalScrollBarPolicy(height <= inside.height() ? Qt::ScrollBarAlwaysOff
                                                                : Qt::ScrollBarAlwaysOn);
    Memo1->verticalScrollBar()->setValue(0);
}

TagTexts TForm2::enteredFields() const
{
    // displayText keeps the year's positions: an empty one reads as a blank.
    return {Edit1->text(), Edit2->text(),
            Edit3->text(), MaskEdit1->displayText(),
            Edit4->text(), ComboBox1->currentIndex() >= 0 ? ComboBox1->currentText() : QString()};
}

std::optional<TagTexts> TForm2::showTag(const TagEditView &view, ModalQuestions &dialogs)
{
    showFields(QStringLiteral("Edit tag"), view.fileName, view.tag, false);
    showInformation(view.info);
    if (dialogs.execDialog(*this) != SaveResult)
        return std::nullopt;
    return enteredFields();
}

std::optional<LongTitleAnswer> TForm2::askShorterTitle(const LongTitleQuestion &question,
                                                       ModalQuestions &dialogs)
{
    const TagTexts tag{question.title.left(30), question.artist,  question.album,
                       question.year,           question.comment, question.genre};
    showFields(QStringLiteral("Song title exceeds 30 characters!"), question.fileName, tag, true);
    showInformation({});
    if (dialogs.execDialog(*this) != SaveResult)
        return std::nullopt;
    const TagTexts entered = enteredFields();
    return LongTitleAnswer{entered.title, entered.comment};
}
