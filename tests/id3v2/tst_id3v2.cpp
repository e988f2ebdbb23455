#include "tst_id3v2.h"

#include "fromid3v2.h"
#include "id3v2bytes.h"
#include "id3v2reader.h"
#include "ioerror.h"
#include "testfiles.h"

#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

#include <attachedpictureframe.h>
#include <commentsframe.h>
#include <id3v2tag.h>
#include <mpegfile.h>
#include <textidentificationframe.h>

namespace
{

const char kFrameHeader[] = "\xFF\xFB\x90\x44";

TagLib::String tl(const QString &s)
{
    return TagLib::String(s.toStdString(), TagLib::String::UTF8);
}

std::string enc(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

QString fromUtf8(const std::string &s)
{
    return QString::fromStdString(s);
}

// A zlib stream of n zero bytes: what a compressed frame holds.
QByteArray zlibZeros(int n)
{
    return qCompress(QByteArray(n, '\0'), 9).mid(4);
}

// A version 2.4 compressed frame: the data length indicator, then the zlib stream.
QByteArray compressedFrame24(const QByteArray &id, const QByteArray &plain, int inflated = -1)
{
    const QByteArray body = sizeBytes(quint32(inflated < 0 ? plain.size() : inflated), true) +
                            qCompress(plain, 9).mid(4);
    return frame(4, id, body, 0x0009);
}

// Chapter frames nested depth deep, each holding the next: "a\0", four times, then the child.
QByteArray nestedChapters(int depth)
{
    QByteArray out;
    out.reserve(depth * 28);
    const QByteArray body = QByteArray("a\0", 2) + QByteArray(16, '\0');
    for (int level = 0; level < depth; ++level) {
        const quint32 size = quint32(18 + 28 * (depth - 1 - level));
        out += "CHAP" + sizeBytes(size, true) + QByteArray(2, '\0') + body;
    }
    return out;
}

QByteArray audio()
{
    return testfiles::frames(kFrameHeader, 20);
}

} // namespace

void TestId3v2::init()
{
    QVERIFY(m_dir.isValid());
    m_path = m_dir.filePath("song.mp3");
    QFile::remove(m_path);
}

// Files tagged with ID3v2 only by another tool (TagLib itself), in the encodings it writes.
void TestId3v2::filesTaggedByTagLib_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("encoding");
    QTest::addColumn<QStringList>("texts");  // title, artist, album, year, comment, genre
    QTest::addColumn<QStringList>("fields"); // the ID3v1 fields made from them, Latin-1

    const int latin1 = TagLib::String::Latin1, utf16 = TagLib::String::UTF16,
              utf8 = TagLib::String::UTF8;
    QTest::newRow("2.3 Latin-1, genre by name")
        << 3 << latin1 << QStringList{"Song", "Artist", "Album", "1999", "Nice", "Rock"}
        << QStringList{"Song", "Artist", "Album", "1999", "Nice", "Rock"};
    QTest::newRow("2.3 UTF-16, genre (17)")
        << 3 << utf16
        << QStringList{u"Καλημέρα"_qs, u"Björk"_qs, u"Début"_qs, "2001", u"Ünïcödé"_qs, "(17)"}
        << QStringList{"????????", u"Björk"_qs, u"Début"_qs, "2001", u"Ünïcödé"_qs, "Rock"};
    QTest::newRow("2.4 UTF-8, long title, date, emoji")
        << 4 << utf8
        << QStringList{"A very long title that goes on past thirty characters",
                       "Artist",
                       "Album",
                       "2003-05-01T12:00",
                       u"Great 🎸 riff"_qs,
                       "17"}
        << QStringList{
               "A very long title that goes on", "Artist", "Album", "2003", "Great ? riff", "Rock"};
    QTest::newRow("2.4 UTF-16, genre name in lower case")
        << 4 << utf16 << QStringList{u"Cafe\u0301"_qs, "", "", "", "", "hip-hop"}
        << QStringList{u"Café"_qs, "", "", "", "", "Hip-Hop"};
    QTest::newRow("2.4 Latin-1, unknown genre")
        << 4 << latin1 << QStringList{"T", "A", "B", "77", "C", "Chiptune"}
        << QStringList{"T", "A", "B", "77", "C", "(none)"};
    QTest::newRow("2.3, refinement after the number")
        << 3 << latin1 << QStringList{"T", "", "", "", "", "(2)Country"}
        << QStringList{"T", "", "", "", "", "Country"};
}

void TestId3v2::filesTaggedByTagLib()
{
    QFETCH(int, version);
    QFETCH(int, encoding);
    QFETCH(QStringList, texts);
    QFETCH(QStringList, fields);

    QVERIFY(testfiles::writeFile(m_path, audio()));
    qint64 tagSize = 0;
    {
        TagLib::MPEG::File file(QFile::encodeName(m_path).constData());
        TagLib::ID3v2::Tag *t = file.ID3v2Tag(true);
        const auto type = TagLib::String::Type(encoding);
        const char *ids[] = {"TIT2", "TPE1", "TALB", "TDRC"};
        for (int i = 0; i < 4; ++i) {
            if (texts[i].isEmpty())
                continue;
            auto *f = new TagLib::ID3v2::TextIdentificationFrame(ids[i], type);
            f->setText(tl(texts[i]));
            t->addFrame(f);
        }
        // Players' data in a described comment comes first; the comment wins.
        auto *player = new TagLib::ID3v2::CommentsFrame(type);
        player->setDescription("iTunNORM");
        player->setText(" 0000021C 00000226");
        t->addFrame(player);
        if (!texts[4].isEmpty()) {
            auto *comment = new TagLib::ID3v2::CommentsFrame(type);
            comment->setText(tl(texts[4]));
            t->addFrame(comment);
        }
        auto *genre = new TagLib::ID3v2::TextIdentificationFrame("TCON", type);
        genre->setText(tl(texts[5]));
        t->addFrame(genre);
        // Cover art before nothing else matters, but it is read past.
        auto *picture = new TagLib::ID3v2::AttachedPictureFrame;
        picture->setPicture(TagLib::ByteVector(200000, 'p'));
        t->addFrame(picture);
        QVERIFY(file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers,
                          version == 3 ? TagLib::ID3v2::v3 : TagLib::ID3v2::v4));
    }
    {
        TagLib::MPEG::File file(QFile::encodeName(m_path).constData());
        QVERIFY(file.hasID3v2Tag() && !file.hasID3v1Tag());
        tagSize = file.ID3v2Tag()->header()->completeTagSize();
    }
    const QByteArray before = testfiles::readFile(m_path);

    const Id3v2Info info = readId3v2(enc(m_path));
    QVERIFY(info.present);
    QVERIFY(info.read);
    QCOMPARE(info.version, version);
    QCOMPARE(info.size, tagSize);
    QCOMPARE(QString::fromStdString(id3v2VersionText(info)), QString("2.%1").arg(version));

    const Id3v1Fields f = id3v1FieldsFromId3v2(info.text);
    const QStringList got{QString::fromLatin1(f.title),   QString::fromLatin1(f.artist),
                          QString::fromLatin1(f.album),   QString::fromLatin1(f.year),
                          QString::fromLatin1(f.comment), QString::fromLatin1(f.genre)};
    QCOMPARE(got, fields);
    QCOMPARE(testfiles::readFile(m_path), before); // read only
}

// Hand-made tags: version 2.2, which TagLib does not write, and hostile ones. A damaged tag
// gives what could be read, or nothing; never a failure.
void TestId3v2::craftedTags_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("present");
    QTest::addColumn<int>("version");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("read");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("artist");
    QTest::addColumn<QString>("comment");

    const QByteArray t22 = textFrame(2, "TT2", "Twenty-two") + textFrame(2, "TP1", "Old");
    QTest::newRow("2.2") << tag(2, t22) + audio() << true << 2 << qint64(10 + t22.size()) << true
                         << "Twenty-two"
                         << "Old"
                         << "";
    const QByteArray t24 = textFrame(4, "TIT2", "Title") + textFrame(4, "TPE1", "Artist");
    QTest::newRow("2.4 with footer")
        << tag(4, t24, 0x10) + audio() << true << 4 << qint64(20 + t24.size()) << true << "Title"
        << "Artist"
        << "";
    const QByteArray ext24 = QByteArray("\0\0\0\x06\x01\0", 6) + t24;
    QTest::newRow("2.4 extended header")
        << tag(4, ext24, 0x40) << true << 4 << qint64(10 + ext24.size()) << true << "Title"
        << "Artist"
        << "";
    const QByteArray t23 = textFrame(3, "TIT2", "Title") + textFrame(3, "TPE1", "Artist");
    const QByteArray ext23 = QByteArray("\0\0\0\x06\0\0\0\0\0\0", 10) + t23;
    QTest::newRow("2.3 extended header")
        << tag(3, ext23, 0x40) << true << 3 << qint64(10 + ext23.size()) << true << "Title"
        << "Artist"
        << "";
    // "\xFF" followed by a zero byte is stored as "\xFF\x00\x00": the tag is unsynchronised.
    // The frame declares its size before the zero byte was put in.
    const QByteArray unsync = frame(3, "TIT2", QByteArray("\0\xFF\0yes", 6), 0, 5);
    QTest::newRow("2.3 unsynchronised") << tag(3, unsync, 0x80) + audio() << true << 3
                                        << qint64(10 + unsync.size()) << true << u"ÿyes"_qs << ""
                                        << "";
    QTest::newRow("size beyond the file")
        << tag(4, t24, 0, 100000) << true << 4 << qint64(100010) << true << "Title"
        << "Artist"
        << "";
    const QByteArray lying =
        textFrame(3, "TPE1", "Kept") + frame(3, "TIT2", QByteArray("\0Lost", 5), 0, 5000);
    QTest::newRow("frame size beyond the tag")
        << tag(3, lying) << true << 3 << qint64(10 + lying.size()) << true << ""
        << "Kept"
        << "";
    QTest::newRow("frame size zero")
        << tag(3, frame(3, "TIT2", "", 0, 0) + textFrame(3, "TPE1", "Never")) << true << 3
        << qint64(10 + 10 + 16) << true << ""
        << ""
        << "";
    QTest::newRow("UTF-16 odd length, no BOM")
        << tag(4,
               frame(4, "TIT2", QByteArray("\x01\xD8\x00\x41", 4)) + textFrame(4, "TPE1", "After"))
        << true << 4 << qint64(10 + 14 + 16) << true << "*"
        << "After"
        << "";
    QTest::newRow("lone surrogate in UTF-16BE")
        << tag(4, frame(4, "TIT2", QByteArray("\x02\xD8\x00\x00\x41", 5)) +
                      textFrame(4, "TPE1", "After"))
        << true << 4 << qint64(10 + 15 + 16) << true << "*"
        << "After"
        << "";
    QTest::newRow("unknown encoding byte")
        << tag(4, frame(4, "TIT2", "\x09Nine") + textFrame(4, "TPE1", "After")) << true << 4
        << qint64(10 + 15 + 16) << true << "*"
        << "After"
        << "";
    const QByteArray packed = compressedFrame24("TIT2", QByteArray("\0Packed", 7));
    QTest::newRow("compressed title")
        << tag(4, packed) << true << 4 << qint64(10 + packed.size()) << true << "Packed"
        << ""
        << "";
    // 64 MiB in 64 KiB of zlib: left as raw bytes, never inflated.
    const QByteArray bomb = zlibZeros(64 << 20);
    const QByteArray titleBomb =
        frame(4, "TIT2",
              sizeBytes(64 << 20, true) + qCompress('\0' + QByteArray(64 << 20, 'A'), 9).mid(4),
              0x0009) +
        textFrame(4, "TPE1", "Calm");
    QTest::newRow("compression bomb as title")
        << tag(4, titleBomb) << true << 4 << qint64(10 + titleBomb.size()) << true << ""
        << "Calm"
        << "";
    const QByteArray pictureBomb =
        frame(3, "APIC", sizeBytes(64 << 20, false) + bomb, 0x0080) + textFrame(3, "TPE1", "Calm");
    QTest::newRow("compression bomb as picture")
        << tag(3, pictureBomb) << true << 3 << qint64(10 + pictureBomb.size()) << true << ""
        << "Calm"
        << "";
    const QByteArray chapters = textFrame(4, "TPE1", "Deep") + nestedChapters(60000);
    QTest::newRow("chapters nested 60,000 deep")
        << tag(4, chapters) << true << 4 << qint64(10 + chapters.size()) << true << ""
        << "Deep"
        << "";
    // Tags of many tiny frames: the walk goes past all of them to the frames that count.
    const auto repeated = [](const QByteArray &one, int times) {
        QByteArray out;
        out.reserve(one.size() * times);
        for (int i = 0; i < times; ++i)
            out += one;
        return out;
    };
    const int many = 100000;
    const QByteArray tiny22 =
        repeated(textFrame(2, "TT2", "Tiny"), many) + textFrame(2, "TP1", "Last");
    QTest::newRow("2.2 of tiny frames")
        << tag(2, tiny22) << true << 2 << qint64(10 + tiny22.size()) << true << "Tiny"
        << "Last"
        << "";
    const QByteArray tiny23 =
        repeated(textFrame(3, "TIT2", "Tiny"), many) + textFrame(3, "TPE1", "Last");
    QTest::newRow("2.3 of tiny frames")
        << tag(3, tiny23) << true << 3 << qint64(10 + tiny23.size()) << true << "Tiny"
        << "Last"
        << "";
    const QByteArray tiny24 =
        repeated(textFrame(4, "TIT2", "Tiny"), many) + textFrame(4, "TPE1", "Last");
    QTest::newRow("2.4 of tiny frames")
        << tag(4, tiny24) << true << 4 << qint64(10 + tiny24.size()) << true << "Tiny"
        << "Last"
        << "";
    const QByteArray tinyComments = repeated(frame(3, "COMM", QByteArray("\0engd\0x", 8)), many) +
                                    frame(3, "COMM", QByteArray("\0eng\0Mine", 9)) +
                                    textFrame(3, "TPE1", "Last");
    QTest::newRow("2.3 of tiny described comments")
        << tag(3, tinyComments) << true << 3 << qint64(10 + tinyComments.size()) << true << ""
        << "Last"
        << "Mine";
    const QByteArray unknown =
        repeated(frame(4, "XYZ1", "u"), many) + textFrame(4, "TIT2", "After");
    QTest::newRow("tiny frames of an unknown ID")
        << tag(4, unknown) << true << 4 << qint64(10 + unknown.size()) << true << "After"
        << ""
        << "";
    // Which comment counts: the first without a description, else the first other one that is
    // not a player's own; the walk tells a description as TagLib reads it.
    const QByteArray comments = frame(3, "COMM", QByteArray("\0engiTunNORM\0 0000021C", 22)) +
                                frame(3, "COMM", QByteArray("\0engMine\0described", 19)) +
                                frame(3, "COMM", QByteArray("\0eng\0plain", 10));
    QTest::newRow("comment without a description wins")
        << tag(3, comments) << true << 3 << qint64(10 + comments.size()) << true << ""
        << ""
        << "plain";
    const QByteArray described = comments.left(comments.size() - 20);
    QTest::newRow("else the first described one, not a player's")
        << tag(3, described) << true << 3 << qint64(10 + described.size()) << true << ""
        << ""
        << "described";
    const QByteArray utf16 =
        frame(3, "COMM", QByteArray("\1eng\xFF\xFEi\0T\0u\0n\0\0\0\xFF\xFEp\0", 20)) +
        frame(3, "COMM", QByteArray("\1eng\xFF\xFE\0\0\xFF\xFEq\0", 12));
    QTest::newRow("UTF-16: a player's, then a byte order mark alone")
        << tag(3, utf16) << true << 3 << qint64(10 + utf16.size()) << true << ""
        << ""
        << "q";
    const QByteArray badUtf8 = frame(4, "COMM", QByteArray("\3engx\0first", 12)) +
                               frame(4, "COMM", QByteArray("\3eng\xC0\xAF\0second", 13));
    QTest::newRow("UTF-8 description that does not decode is none")
        << tag(4, badUtf8) << true << 4 << qint64(10 + badUtf8.size()) << true << ""
        << ""
        << "second";
    const QByteArray noText = frame(3, "COMM", QByteArray("\0engonly\0", 9)) +
                              frame(3, "COMM", QByteArray("\0engd\0later", 11));
    QTest::newRow("described comment without a text counts as none")
        << tag(3, noText) << true << 3 << qint64(10 + noText.size()) << true << ""
        << ""
        << "";
    const QByteArray unsyncComments = frame(4, "COMM", QByteArray("\0eng\0\xFF\0\xE0", 8), 0x0002) +
                                      frame(4, "COMM", QByteArray("\0eng\0y", 6));
    QTest::newRow("2.4 unsynchronised comment")
        << tag(4, unsyncComments) << true << 4 << qint64(10 + unsyncComments.size()) << true << ""
        << "" << u"ÿà"_qs;
    QTest::newRow("over the read limit")
        << tag(4, t24, 0, 17 << 20) << true << 4 << qint64(10 + (17 << 20)) << false << ""
        << ""
        << "";
    QTest::newRow("version 5") << tag(5, t24) << false << 0 << qint64(0) << false << ""
                               << ""
                               << "";
    QByteArray notSynchsafe = tag(3, t24);
    notSynchsafe[9] = char(0x80);
    QTest::newRow("size not synchsafe") << notSynchsafe << false << 0 << qint64(0) << false << ""
                                        << ""
                                        << "";
    QTest::newRow("header cut short")
        << QByteArray("ID3\x04\x00\x00\x00\x00", 8) << false << 0 << qint64(0) << false << ""
        << ""
        << "";
    QTest::newRow("empty file") << QByteArray() << false << 0 << qint64(0) << false << ""
                                << ""
                                << "";
    QTest::newRow("not at the start") << " " + tag(4, t24) << false << 0 << qint64(0) << false << ""
                                      << ""
                                      << "";
    QTest::newRow("ID3v1 only") << audio() + testfiles::id3v1("Title") << false << 0 << qint64(0)
                                << false << ""
                                << ""
                                << "";
}

void TestId3v2::craftedTags()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, present);
    QFETCH(int, version);
    QFETCH(qint64, size);
    QFETCH(bool, read);
    QFETCH(QString, title);
    QFETCH(QString, artist);
    QFETCH(QString, comment);

    QVERIFY(testfiles::writeFile(m_path, bytes));
    const Id3v2Info info = readId3v2(enc(m_path));
    QCOMPARE(info.present, present);
    QCOMPARE(info.version, version);
    QCOMPARE(info.size, size);
    QCOMPARE(info.read, read);
    if (title != "*") // what a broken encoding gives is TagLib's call
        QCOMPARE(fromUtf8(info.text.title), title);
    QCOMPARE(fromUtf8(info.text.artist), artist);
    QCOMPARE(fromUtf8(info.text.comment), comment);

    // The same bytes from memory give the same result.
    const Id3v2Info mem =
        parseId3v2(reinterpret_cast<const std::uint8_t *>(bytes.constData()), bytes.size());
    QCOMPARE(mem.present, info.present);
    QCOMPARE(mem.size, info.size);
    QCOMPARE(mem.text.artist, info.text.artist);
    QCOMPARE(mem.text.comment, info.text.comment);
}

void TestId3v2::failures_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << "missing"
                             << "File not found.";
    QTest::newRow("folder") << "folder"
                            << "File access denied.";
    QTest::newRow("FIFO, never opened") << "fifo"
                                        << "File access denied.";
}

void TestId3v2::failures()
{
    QFETCH(QString, kind);
    QFETCH(QString, message);
    if (kind == "folder")
        QVERIFY(QDir(m_dir.path()).mkpath("song.mp3"));
    else if (kind == "fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(m_path).constData(), 0644), 0);
    QString got;
    try {
        readId3v2(enc(m_path));
    } catch (const IoError &e) {
        got = QString::fromStdString(e.what());
    }
    QCOMPARE(got, message);
    QFile::remove(m_path);
    QDir(m_dir.path()).rmdir("song.mp3");
}

void TestId3v2::genreNames_data()
{
    QTest::addColumn<QString>("genre");
    QTest::addColumn<QString>("name");
    QTest::newRow("name") << "Rock"
                          << "Rock";
    QTest::newRow("name in other case") << "ROCK"
                                        << "Rock";
    QTest::newRow("name with blanks around") << " Jazz+Funk "
                                             << "Jazz+Funk";
    QTest::newRow("number") << "17"
                            << "Rock";
    QTest::newRow("number 0") << "0"
                              << "Blues";
    QTest::newRow("last number") << "144"
                                 << "Trash Metal";
    QTest::newRow("reference") << "(17)"
                               << "Rock";
    QTest::newRow("reference with its name") << "(17)Rock"
                                             << "Rock";
    QTest::newRow("reference beyond the table, then a name") << "(200)Blues"
                                                             << "Blues";
    QTest::newRow("number beyond the table") << "145"
                                             << "(none)";
    QTest::newRow("255") << "255"
                         << "(none)";
    QTest::newRow("remix") << "(RX)"
                           << "(none)";
    QTest::newRow("negative") << "-1"
                              << "(none)";
    QTest::newRow("long number") << "0000000000000017"
                                 << "(none)";
    QTest::newRow("unknown name") << "Chiptune"
                                  << "(none)";
    QTest::newRow("empty") << ""
                           << "(none)";
    QTest::newRow("unclosed") << "(17"
                              << "(none)";
}

void TestId3v2::genreNames()
{
    QFETCH(QString, genre);
    QFETCH(QString, name);
    QCOMPARE(QString::fromStdString(genreFromId3v2(genre.toStdString())), name);
}

void TestId3v2::fieldTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("field"); // Latin-1 bytes
    QTest::newRow("plain") << "Title" << QByteArray("Title");
    QTest::newRow("lines become one") << "One\r\nTwo" << QByteArray("One  Two");
    QTest::newRow("blanks around") << "  Title \t" << QByteArray("Title");
    QTest::newRow("30 of 31, blank at the cut")
        << "123456789012345678901234567890 X" << QByteArray("123456789012345678901234567890");
    QTest::newRow("character beyond U+FFFF counts once")
        << u"🎸234567890123456789012345678901"_qs << QByteArray("?23456789012345678901234567890");
    QTest::newRow("Latin-1 kept") << u"Ääkkönen"_qs << QByteArray("\xC4\xE4kk\xF6nen");
}

void TestId3v2::fieldTexts()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, field);
    Id3v2Text t;
    t.title = text.toStdString();
    t.year = text.toStdString();
    const Id3v1Fields f = id3v1FieldsFromId3v2(t);
    QCOMPARE(QByteArray::fromStdString(f.title), field);
    QByteArray year = field.left(4);
    while (year.endsWith(' '))
        year.chop(1);
    QCOMPARE(QByteArray::fromStdString(f.year), year);
}

QTEST_GUILESS_MAIN(TestId3v2)
