#include "startup.h"

#include "filenames.h"

#include "fieldstate.h"
#include "folderscan.h"
#include "tform1.h"
#include "tform2.h"

#include <QApplication>
#include <QDir>
#include <QFont>

void readStartFolderAhead()
{
    // The file list shows MP3 files, and the folder browser opens the working directory.
    readFolderAhead(QDir::cleanPath(currentFolder()), QStringLiteral("*.mp3"));
}

void createWindows()
{
    // The folder the program starts in is read while the windows are being set up (unless its
    // reading has started already).
    readStartFolderAhead();
    // The program's one font, the one its windows are laid out in, also for its message boxes
    // and prompts. Set before any control exists, no text is ever laid out in another font first.
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPointSize(8);
    QApplication::setFont(font);
    new TForm1;
    new TForm2(Form1);
}

void showMainWindow()
{
    centreOnScreen(Form1);
    Form1->show();
}

void destroyWindows()
{
    delete Form2;
    delete Form1;
}
