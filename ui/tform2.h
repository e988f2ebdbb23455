#pragma once

#include "ui_TForm2.h"

#include "questions.h"

#include <QDialog>
#include <optional>

class ModalQuestions;

// The tag edit dialog: one file's tag in editable fields and its audio information. Created
// once, hidden; it keeps what its last use left in it. Result 1 is "Save"; "Cancel", Esc and
// the close box give 2.
class TForm2 : public QDialog, public Ui::TForm2
{
    Q_OBJECT
public:
    enum Result { SaveResult = 1, CancelResult = 2 };

    explicit TForm2(QWidget *parent = nullptr);
    ~TForm2() override;

    void reject() override;

    // The full mode: the caption "Edit tag", the file's name, its tag in the editable fields and
    // its audio information. Shown through dialogs; on Save, the fields as entered.
    std::optional<TagTexts> showTag(const TagEditView &view, ModalQuestions &dialogs);
    // The restricted mode: the caption "Song title exceeds 30 characters!", the title's first 30
    // characters, artist, album, year and genre shown but disabled, title and comment editable,
    // no audio information. On Save, the new title and this file's comment. The dialog keeps
    // the restricted state until showTag sets up the full mode again.
    std::optional<LongTitleAnswer> askShorterTitle(const LongTitleQuestion &question,
                                                   ModalQuestions &dialogs);

public slots:
    void FormKeyDown(int key, Qt::KeyboardModifiers shift);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void showFields(const QString &caption, const QString &fileName, const TagTexts &tag,
                    bool restricted);
    TagTexts enteredFields() const;
    // The information box's lines, scrolling where they do not fit.
    void showInformation(const QStringList &lines);
};

// The edit dialog, set as soon as it is being created.
extern TForm2 *Form2;
