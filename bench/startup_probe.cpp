// Started by bench_startup: "trackling" starts the program's windows in the working directory,
// "bare" shows an empty window of the same size. Either ends once its window has been shown and
// painted, and prints the number of files listed.
#include "startup.h"
#include "tform1.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstring>

int main(int argc, char *argv[])
{
    const bool trackling = argc > 1 && std::strcmp(argv[1], "trackling") == 0;
    if (trackling)
        readStartFolderAhead(); // as the program does
    QApplication app(argc, argv);
    QWidget bare;
    QWidget *window = &bare;
    if (trackling) {
        createWindows();
        showMainWindow();
        window = Form1;
    } else {
        bare.setFixedSize(681, 409);
        bare.show();
    }
    QTimer::singleShot(0, window, [window] {
        window->repaint();
        QCoreApplication::quit();
    });
    const int result = app.exec();
    std::printf("%d\n", trackling ? Form1->FileListBox1->count() : 0);
    if (trackling)
        destroyWindows();
    return result;
}
