// File names that are not valid UTF-8 come back as the same bytes.
#include "filenames.h"
#include "tidy.h"

#include <QTest>
#include <QUrl>

class TestFileNames : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void differentBytesDifferentText();
    void tidyKeepsUndecodableBytes();
    void fileUrlKeepsBytes();
};

void TestFileNames::roundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("validUtf8");
    QTest::newRow("ascii") << QByteArray("song.mp3") << true;
    QTest::newRow("utf-8") << QByteArray("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5.mp3") << true;
    QTest::newRow("replacement char itself") << QByteArray("\xEF\xBF\xBD.mp3") << true;
    QTest::newRow("latin-1 byte") << QByteArray("caf\xE9.mp3") << false;
    QTest::newRow("lone continuation") << QByteArray("\x80\xBF.mp3") << false;
    QTest::newRow("truncated sequence") << QByteArray("a\xE2\x82") << false;
    QTest::newRow("overlong slash") << QByteArray("\xC0\xAF.mp3") << false;
    QTest::newRow("encoded surrogate") << QByteArray("\xED\xB3\xBF.mp3") << false;
    QTest::newRow("beyond U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << false;
    QTest::newRow("ff fe") << QByteArray("\xFF\xFE") << false;
}

void TestFileNames::roundTrip()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, validUtf8);
    const QString text = decodeFileName(bytes);
    QCOMPARE(encodeFileName(text), bytes);
    if (validUtf8)
        QCOMPARE(text, QString::fromUtf8(bytes));
}

void TestFileNames::differentBytesDifferentText()
{
    // Qt's own decoding makes all three "a\uFFFD.mp3".
    const QString a = decodeFileName("a\xFF.mp3");
    const QString b = decodeFileName("a\xFE.mp3");
    const QString c = decodeFileName("a\xEF\xBF\xBD.mp3");
    QVERIFY(a != b && a != c && b != c);
    QCOMPARE(a.size(), 6);
}

void TestFileNames::tidyKeepsUndecodableBytes()
{
    const QString tidy = tidyName(decodeFileName("01_caf\xE9_song.MP3"), 0);
    QCOMPARE(encodeFileName(tidy), QByteArray("01. Caf\xE9 Song.mp3"));
}

void TestFileNames::fileUrlKeepsBytes()
{
    const QUrl url = localFileUrl(decodeFileName("/music/caf\xE9 #1?.mp3"));
    QCOMPARE(url.toEncoded(), QByteArray("file:///music/caf%E9%20%231%3F.mp3"));
    QVERIFY(url.isLocalFile());
    QCOMPARE(localFileUrl(QStringLiteral("/a/b\u00e9.mp3")), QUrl::fromLocalFile("/a/b\u00e9.mp3"));
}

QTEST_GUILESS_MAIN(TestFileNames)
#include "tst_filenames.moc"
