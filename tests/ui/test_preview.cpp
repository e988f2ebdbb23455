#include "fakeplayer.h"
#include "previewcontrol.h"
#include "previewplayer.h"
#include "testfiles.h"

#include <QMediaPlayer>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// The control with its button caption and message boxes recorded.
struct Preview {
    explicit Preview(PreviewPlayer &player)
        : control(
              player, [this](const QString &text) { caption = text; },
              [this](const QString &text) { messages << text; })
    {
    }

    QString caption = QStringLiteral("Play file");
    QStringList messages;
    PreviewControl control;
};

} // namespace

class TestPreview : public QObject
{
    Q_OBJECT

private slots:
    void toggle_data();
    void toggle();
    void realPlayerPlaysMp3();
    void realPlayerMissingFile();
    void realPlayerRefusesSpecialFiles_data();
    void realPlayerRefusesSpecialFiles();
};

void TestPreview::toggle_data()
{
    // Steps: "press folder|item" (the list's current item), "press" (no current item), "exit"
    // (the exit button), "fail message" (the player reports a failure).
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QStringList>("messages");

    const QStringList start{"open /m/a.mp3", "play"};
    const QStringList stop{"stop", "close"};
    QTest::newRow("start") << QStringList{"press /m|a.mp3"} << start << "Stop"
                           << "/m/a.mp3" << QStringList();
    QTest::newRow("root folder") << QStringList{"press /|a.mp3"}
                                 << QStringList{"open /a.mp3", "play"} << "Stop"
                                 << "/a.mp3" << QStringList();
    QTest::newRow("no current item") << QStringList{"press"} << QStringList() << "Play file"
                                     << "" << QStringList();
    QTest::newRow("stop with another item current")
        << QStringList{"press /m|a.mp3", "press /m|b.mp3"} << start + stop << "Play"
        << "" << QStringList();
    QTest::newRow("play again after stop")
        << QStringList{"press /m|a.mp3", "press /m|a.mp3", "press /m|b.mp3"}
        << start + stop + QStringList{"open /m/b.mp3", "play"} << "Stop"
        << "/m/b.mp3" << QStringList();
    QTest::newRow("exit while playing")
        << QStringList{"press /m|a.mp3", "exit"} << start + stop << "Play"
        << "" << QStringList();
    QTest::newRow("exit while idle") << QStringList{"exit"} << QStringList() << "Play file"
                                     << "" << QStringList();
    QTest::newRow("failed open") << QStringList{"press /m|a.mp3", "fail Resource not found."}
                                 << start + stop << "Play"
                                 << "" << QStringList{"Resource not found."};
    QTest::newRow("press after failed open plays")
        << QStringList{"press /m|a.mp3", "fail Resource not found.", "press /m|a.mp3"}
        << start + stop + start << "Stop"
        << "/m/a.mp3" << QStringList{"Resource not found."};
    QTest::newRow("media error gets its full stop")
        << QStringList{"press /m|a.mp3", "fail This appears to be a text file"} << start + stop
        << "Play"
        << "" << QStringList{"This appears to be a text file."};
    QTest::newRow("failure after stop ignored")
        << QStringList{"press /m|a.mp3", "press /m|a.mp3", "fail late"} << start + stop << "Play"
        << "" << QStringList();
}

void TestPreview::toggle()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, calls);
    QFETCH(QString, caption);
    QFETCH(QString, fileName);
    QFETCH(QStringList, messages);
    FakePlayer player;
    Preview preview(player);
    for (const QString &step : steps) {
        const QString word = step.section(' ', 0, 0);
        const QString rest = step.section(' ', 1);
        if (word == QLatin1String("press") && rest.isEmpty())
            preview.control.toggle(QStringLiteral("/m"), std::nullopt);
        else if (word == QLatin1String("press"))
            preview.control.toggle(rest.section('|', 0, 0), rest.section('|', 1));
        else if (word == QLatin1String("exit"))
            preview.control.stopForExit();
        else
            player.onError(rest);
    }
    QCOMPARE(player.calls, calls);
    QCOMPARE(preview.caption, caption);
    QCOMPARE(preview.control.fileName(), fileName);
    QCOMPARE(preview.messages, messages);
}

void TestPreview::realPlayerPlaysMp3()
{
    QTemporaryDir dir;
    // About five seconds of silent MPEG-1 layer III frames, 128 kbit/s, 44.1 kHz.
    const char header[4] = {char(0xFF), char(0xFB), char(0x90), char(0x44)};
    QVERIFY(testfiles::writeFile(dir.path() + "/silence.mp3", testfiles::frames(header, 200)));

    QtPreviewPlayer player;
    if (!player.mediaPlayer()->isAvailable())
        QSKIP("Qt Multimedia has no media backend on this machine");
    Preview preview(player);
    preview.control.toggle(dir.path(), QStringLiteral("silence.mp3"));
    QMediaPlayer *media = player.mediaPlayer();
    QTRY_VERIFY_WITH_TIMEOUT(!preview.messages.isEmpty() || media->position() > 0 ||
                                 media->mediaStatus() == QMediaPlayer::EndOfMedia,
                             20000);
    if (!preview.messages.isEmpty() &&
        preview.messages.first().contains(QLatin1String("plug-in"), Qt::CaseInsensitive))
        QSKIP(qPrintable("GStreamer cannot decode MP3 here (it needs mpegaudioparse and "
                         "mpg123audiodec from gstreamer1.0-plugins-good): " +
                         preview.messages.first()));
    QCOMPARE(preview.messages, QStringList());
    QCOMPARE(preview.caption, QStringLiteral("Stop"));

    preview.control.toggle(dir.path(), QStringLiteral("silence.mp3"));
    QCOMPARE(preview.caption, QStringLiteral("Play"));
    QCOMPARE(media->playbackState(), QMediaPlayer::StoppedState);
    QVERIFY(media->source().isEmpty());
    QCoreApplication::processEvents();
    QCOMPARE(preview.messages, QStringList());
}

void TestPreview::realPlayerMissingFile()
{
    QTemporaryDir dir;
    QtPreviewPlayer player;
    if (!player.mediaPlayer()->isAvailable())
        QSKIP("Qt Multimedia has no media backend on this machine");
    Preview preview(player);
    preview.control.toggle(dir.path(), QStringLiteral("gone.mp3"));
    QTRY_VERIFY_WITH_TIMEOUT(!preview.messages.isEmpty(), 20000);
    QCOMPARE(preview.messages.size(), 1);
    QVERIFY(!preview.messages.first().isEmpty());
    QCOMPARE(preview.caption, QStringLiteral("Play"));
    QVERIFY(preview.control.fileName().isEmpty());
    QCOMPARE(player.mediaPlayer()->playbackState(), QMediaPlayer::StoppedState);
}

void TestPreview::realPlayerRefusesSpecialFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("fifo swapped in after the list was read") << "fifo"
                                                             << "File access denied.";
    QTest::newRow("device") << "device"
                            << "File access denied.";
    QTest::newRow("folder") << "folder"
                            << "File access denied.";
}

void TestPreview::realPlayerRefusesSpecialFiles()
{
    // Opening a FIFO for reading waits for a writer: it must never be opened, and the window
    // must go on answering.
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const char header[4] = {char(0xFF), char(0xFB), char(0x90), char(0x44)};
    const QString path = dir.filePath(QStringLiteral("song.mp3"));
    QVERIFY(testfiles::writeFile(path, testfiles::frames(header, 20)));
    const QByteArray raw = QFile::encodeName(path);
    QCOMPARE(::unlink(raw.constData()), 0);
    if (kind == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(raw.constData(), 0644), 0);
    else if (kind == QLatin1String("device"))
        QCOMPARE(::symlink("/dev/zero", raw.constData()), 0);
    else
        QCOMPARE(::mkdir(raw.constData(), 0755), 0);

    QtPreviewPlayer player;
    Preview preview(player);
    preview.control.toggle(dir.path(), QStringLiteral("song.mp3")); // returns: nothing waits
    QTRY_VERIFY_WITH_TIMEOUT(!preview.messages.isEmpty(), 20000);
    QTEST(preview.messages.join('|'), "message");
    QCOMPARE(preview.caption, QStringLiteral("Play"));
    QVERIFY(preview.control.fileName().isEmpty());
    if (kind == QLatin1String("fifo")) {
        // Nobody holds the FIFO open for reading: a writer that does not wait finds no reader.
        const int fd = ::open(raw.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        const int err = errno;
        if (fd >= 0)
            ::close(fd);
        QCOMPARE(fd, -1);
        QCOMPARE(err, ENXIO);
    }
}

QTEST_MAIN(TestPreview)
#include "test_preview.moc"
