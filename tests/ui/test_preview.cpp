#include "previewcontrol.h"
#include "previewplayer.h"
#include "testfiles.h"

#include <QMediaPlayer>
#include <QTemporaryDir>
#include <QtTest>

namespace
{

class FakePlayer : public PreviewPlayer
{
public:
    void open(const QString &path) override { calls << QStringLiteral("open ") + path; }
    void play() override { calls << QStringLiteral("play"); }
    void stop() override { calls << QStringLiteral("stop"); }
    void close() override { calls << QStringLiteral("close"); }
    void setErrorHandler(ErrorHandler handler) override { onError = std::move(handler); }

    QStringList calls;
    ErrorHandler onError;
};

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
    void playsCurrentItem_data();
    void playsCurrentItem();
    void pressWhilePlayingStops();
    void noCurrentItem();
    void exitStopsRunningPreview();
    void exitWhileIdle();
    void failedOpen();
    void failureAfterStopIgnored();
    void realPlayerPlaysMp3();
    void realPlayerMissingFile();
};

void TestPreview::playsCurrentItem_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("path");
    QTest::newRow("folder") << "/music/Rock"
                            << "01. Song.mp3"
                            << "/music/Rock/01. Song.mp3";
    QTest::newRow("root") << "/"
                          << "a.mp3"
                          << "/a.mp3";
}

void TestPreview::playsCurrentItem()
{
    QFETCH(QString, folder);
    QFETCH(QString, item);
    QFETCH(QString, path);
    FakePlayer player;
    Preview preview(player);
    preview.control.toggle(folder, item);
    QCOMPARE(player.calls, (QStringList{"open " + path, "play"}));
    QCOMPARE(preview.control.fileName(), path);
    QCOMPARE(preview.caption, QStringLiteral("Stop"));
    QVERIFY(preview.messages.isEmpty());
}

void TestPreview::pressWhilePlayingStops()
{
    FakePlayer player;
    Preview preview(player);
    preview.control.toggle("/m", QStringLiteral("a.mp3"));
    player.calls.clear();
    // Another item is current now: the press stops, and does not start it.
    preview.control.toggle("/m", QStringLiteral("b.mp3"));
    QCOMPARE(player.calls, (QStringList{"stop", "close"}));
    QCOMPARE(preview.caption, QStringLiteral("Play"));
    QVERIFY(preview.control.fileName().isEmpty());
    player.calls.clear();
    preview.control.toggle("/m", QStringLiteral("b.mp3"));
    QCOMPARE(player.calls, (QStringList{"open /m/b.mp3", "play"}));
}

void TestPreview::noCurrentItem()
{
    FakePlayer player;
    Preview preview(player);
    preview.control.toggle("/m", std::nullopt);
    QVERIFY(player.calls.isEmpty());
    QCOMPARE(preview.caption, QStringLiteral("Play file"));
    QVERIFY(preview.messages.isEmpty());
}

void TestPreview::exitStopsRunningPreview()
{
    FakePlayer player;
    Preview preview(player);
    preview.control.toggle("/m", QStringLiteral("a.mp3"));
    player.calls.clear();
    preview.control.stopForExit();
    QCOMPARE(player.calls, (QStringList{"stop", "close"}));
    QCOMPARE(preview.caption, QStringLiteral("Play"));
    QVERIFY(preview.control.fileName().isEmpty());
}

void TestPreview::exitWhileIdle()
{
    FakePlayer player;
    Preview preview(player);
    preview.control.stopForExit();
    QVERIFY(player.calls.isEmpty());
    QCOMPARE(preview.caption, QStringLiteral("Play file"));
}

void TestPreview::failedOpen()
{
    FakePlayer player;
    Preview preview(player);
    preview.control.toggle("/m", QStringLiteral("gone.mp3"));
    player.calls.clear();
    QVERIFY(player.onError);
    player.onError(QStringLiteral("Resource not found."));
    QCOMPARE(preview.messages, QStringList{"Resource not found."});
    QCOMPARE(player.calls, (QStringList{"stop", "close"}));
    QCOMPARE(preview.caption, QStringLiteral("Play"));
    QVERIFY(preview.control.fileName().isEmpty());
    // The next press plays instead of stopping.
    player.calls.clear();
    preview.control.toggle("/m", QStringLiteral("other.mp3"));
    QCOMPARE(player.calls, (QStringList{"open /m/other.mp3", "play"}));
}

void TestPreview::failureAfterStopIgnored()
{
    FakePlayer player;
    Preview preview(player);
    preview.control.toggle("/m", QStringLiteral("a.mp3"));
    preview.control.toggle("/m", QStringLiteral("a.mp3"));
    player.calls.clear();
    player.onError(QStringLiteral("late failure"));
    QVERIFY(preview.messages.isEmpty());
    QVERIFY(player.calls.isEmpty());
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

QTEST_MAIN(TestPreview)
#include "test_preview.moc"
