// Trackling: pick a folder, select MP3 files, fix their ID3v1 tags.
#include "startup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    createWindows();
    showMainWindow();
    const int result = app.exec();
    destroyWindows();
    return result;
}
