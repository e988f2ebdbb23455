#include "tform2.h"

#include "dropdownlist.h"
#include "fieldstate.h"
#include "genres.h"

#include <QGroupBox>
#include <QKeyEvent>

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
