// Takes the pictures of the main window and the edit dialog that the README shows: makes a
// folder with a few MP3 files, starts the windows in it and saves both windows as PNG files
// into the folder named on the command line.
#include "edittags.h"
#include "folder.h"
#include "startup.h"
#include "tform1.h"
#include "tform2.h"
#include "widgetquestions.h"
#include "windowquestions.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

namespace
{

// An ID3v2.3 tag of 12,345 bytes, as taggers write them: a few text frames and padding.
QByteArray exampleId3v2(const QByteArray &title, const QByteArray &artist)
{
    auto frame = [](const char *id, const QByteArray &text) {
        const qsizetype n = text.size() + 1;
        return QByteArray(id) + char(n >> 24) + char(n >> 16) + char(n >> 8) + char(n) +
               QByteArray(2, '\0') + '\0' + text;
    };
    QByteArray body = frame("TIT2", title) + frame("TPE1", artist) + frame("TALB", "Night Songs");
    body += QByteArray(12345 - 10 - body.size(), '\0');
    QByteArray header("ID3\x03\0\0", 6);
    for (int shift : {21, 14, 7, 0})
        header += char((body.size() >> shift) & 0x7F);
    return header + body;
}

// An MPEG-1 layer III stream, 128 kbit/s, 44.1 kHz, joint stereo, with an ID3v2 tag before it
// and an ID3v1 tag after it.
QByteArray exampleFile(const QByteArray &title, const QByteArray &artist, int genre)
{
    QByteArray frame(417, '\0');
    frame[0] = char(0xFF);
    frame[1] = char(0xFB);
    frame[2] = char(0x90);
    frame[3] = char(0x64);
    QByteArray data = exampleId3v2(title, artist) + frame.repeated(2000);
    auto field = [](QByteArray text, int width) {
        text.truncate(width);
        return text + QByteArray(width - text.size(), ' ');
    };
    data += "TAG" + field(title, 30) + field(artist, 30) + field("Night Songs", 30) + "1998" +
            field("remastered", 30) + char(genre);
    return data;
}

// Grabs the dialog when it is shown, then cancels it.
class GrabbingQuestions : public WidgetQuestions
{
public:
    explicit GrabbingQuestions(QString path) : m_path(std::move(path)) {}
    int execDialog(QDialog &dialog) override
    {
        dialog.show();
        QApplication::processEvents();
        m_saved = dialog.grab().save(m_path);
        dialog.hide();
        return 2;
    }
    bool saved() const { return m_saved; }

private:
    QString m_path;
    bool m_saved = false;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString out =
        QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".")).absolutePath();
    QTemporaryDir folder;
    const QString music = folder.path() + QStringLiteral("/Music/Moonlight Trio - Night Songs");
    QDir().mkpath(music);
    for (const char *sub : {"Jazz", "Rock", "Soundtracks"})
        QDir().mkpath(folder.path() + QStringLiteral("/Music/") + QString::fromLatin1(sub));
    const struct {
        const char *name, *title;
        int genre;
    } songs[] = {{"01. Blue Hour.mp3", "Blue Hour", 8},
                 {"02. Harbour Lights.mp3", "Harbour Lights", 8},
                 {"03. Slow Rain.mp3", "Slow Rain", 8},
                 {"04. Midnight Train.mp3", "Midnight Train", 8},
                 {"05. Last Call.mp3", "Last Call", 8}};
    for (const auto &song : songs) {
        QFile f(music + u'/' + QString::fromLatin1(song.name));
        if (!f.open(QIODevice::WriteOnly) ||
            f.write(exampleFile(song.title, "Moonlight Trio", song.genre)) < 0)
            return 1;
    }
    QDir::setCurrent(music);

    createWindows();
    showMainWindow();
    Form1->FileListBox1->setSelected(1, true);
    Form1->FileListBox1->setSelected(2, true);
    Form1->FileListBox1->setItemIndex(2);
    Form1->Edit2->setText(QStringLiteral("Night Songs"));
    Form1->MaskEdit1->setText(QStringLiteral("1998"));
    QApplication::processEvents();
    const bool mainSaved = Form1->grab().save(out + QStringLiteral("/main-window.png"));

    GrabbingQuestions questions(out + QStringLiteral("/edit-dialog.png"));
    Form1->setModalQuestions(&questions);
    editTagOfFile(ChangeContext{Folder::open(music)}, Form1->FileListBox1->itemText(1),
                  Form1->questions());
    Form1->setModalQuestions(nullptr);
    destroyWindows();
    std::printf("%s/main-window.png %s\n%s/edit-dialog.png %s\n", qPrintable(out),
                mainSaved ? "written" : "FAILED", qPrintable(out),
                questions.saved() ? "written" : "FAILED");
    return mainSaved && questions.saved() ? 0 : 1;
}
