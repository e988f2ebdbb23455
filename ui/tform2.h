#pragma once

#include "ui_TForm2.h"

#include <QDialog>

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

public slots:
    void FormKeyDown(int key, Qt::KeyboardModifiers shift);

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

// The edit dialog, set as soon as it is being created.
extern TForm2 *Form2;
