// Trackling: pick a folder, select MP3 files, fix their ID3v1 tags.
#include "appicon.h"
#include "startup.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    readStartFolderAhead(); // while Qt sets up
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral("1.51"));
    QApplication::setDesktopFileName(QStringLiteral("org.trackling.Trackling"));
    QApplication::setWindowIcon(tracklingAppIcon());
    createWindows();
    showMainWindow();
    const int result = app.exec();
    destroyWindows();
    return result;
}
