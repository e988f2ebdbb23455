#include "longtitleprompt.h"

#include "fieldstate.h"
#include "tform2.h"
#include "widgetquestions.h"

std::optional<LongTitleAnswer> askForNewTitle(const LongTitleQuestion &question)
{
    TForm2 &dialog = *Form2;
    dialog.setWindowTitle(QStringLiteral("Song title exceeds 30 characters!"));
    dialog.Panel6->setText(question.fileName);
    dialog.Edit1->setText(question.title.left(30));
    dialog.Edit2->setText(question.artist);
    dialog.Edit3->setText(question.album);
    dialog.MaskEdit1->setText(question.year);
    dialog.Edit4->setText(question.comment);
    dialog.ComboBox1->setCurrentIndex(
        question.genre.isEmpty()
            ? -1
            : dialog.ComboBox1->findText(question.genre, Qt::MatchFixedString));
    dialog.Memo1->clear();
    for (QWidget *field :
         {static_cast<QWidget *>(dialog.Edit2), static_cast<QWidget *>(dialog.Edit3),
          static_cast<QWidget *>(dialog.MaskEdit1), static_cast<QWidget *>(dialog.ComboBox1)})
        setFieldEnabled(field, false);
    setFieldEnabled(dialog.Edit1, true);
    setFieldEnabled(dialog.Edit4, true);
    dialog.Edit1->setFocus();

    if (modalQuestions().execDialog(dialog) != TForm2::SaveResult)
        return std::nullopt;
    return LongTitleAnswer{dialog.Edit1->text(), dialog.Edit4->text()};
}
