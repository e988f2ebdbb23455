#include "tst_id3v2.h"

#include "id3v2bytes.h"
#include "id3v2frames.h"
#include "id3v2reader.h"
#include "id3v2writer.h"
#include "testfiles.h"

#include <QProcess>
#include <QtTest>

#include <commentsframe.h>
#include <id3v2tag.h>
#include <tbytevectorstream.h>
#include <tfile.h>

namespace
{

// TagLib reads a tag from memory through a File of its bytes.
class BytesFile : public TagLib::File
{
public:
    explicit BytesFile(TagLib::IOStream *stream) : TagLib::File(stream) {}
    TagLib::Tag *tag() const override { return nullptr; }
    TagLib::AudioProperties *audioProperties() const override { return nullptr; }
    bool save() override { return false; }
};

QString q(const TagLib::String &s)
{
    return QString::fromStdString(s.to8Bit(true));
}

// The six texts as TagLib itself reads them from the whole tag: title, artist, album, year,
// the comment without a description, genre.
QStringList readByTagLib(const std::string &bytes)
{
    TagLib::ByteVectorStream stream(TagLib::ByteVector(bytes.data(), unsigned(bytes.size())));
    BytesFile file(&stream);
    const TagLib::ID3v2::Tag tag(&file, 0);
    const auto first = [&tag](const char *id) {
        const TagLib::ID3v2::FrameList &list = tag.frameListMap()[id];
        return list.isEmpty() ? QString() : q(list.front()->toString());
    };
    QString comment;
    for (const TagLib::ID3v2::Frame *f : tag.frameListMap()["COMM"]) {
        const auto *c = dynamic_cast<const TagLib::ID3v2::CommentsFrame *>(f);
        if (c && c->description().isEmpty()) {
            comment = q(c->text());
            break;
        }
    }
    return {first("TIT2"), first("TPE1"), first("TALB"), first("TDRC"), comment, first("TCON")};
}

QStringList readByReader(const std::string &bytes)
{
    const Id3v2Info info =
        parseId3v2(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
    const Id3v2Text &t = info.text;
    QStringList out;
    for (const std::string *s : {&t.title, &t.artist, &t.album, &t.year, &t.comment, &t.genre})
        out << QString::fromStdString(*s);
    return out;
}

Id3v2Update updateOf(const QStringList &texts)
{
    // "-" leaves a field as it is.
    const auto field = [&texts](int i) -> std::optional<std::string> {
        if (i >= texts.size() || texts[i] == "-")
            return std::nullopt;
        return texts[i].toStdString();
    };
    return {field(0), field(1), field(2), field(3), field(4), field(5)};
}

Id3v2Rendering render(const QByteArray &old, const Id3v2Update &update)
{
    return renderId3v2(reinterpret_cast<const std::uint8_t *>(old.constData()),
                       std::size_t(old.size()), update);
}

// The frames of a tag: their IDs, and each frame's bytes (header and body).
QList<QPair<QByteArray, QByteArray>> framesOf(const std::string &bytes)
{
    Id3v2FrameWalk walk(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
    QList<QPair<QByteArray, QByteArray>> out;
    Id3v2Frame f;
    while (walk.next(f))
        out.append({QByteArray(f.id.data(), qsizetype(f.id.size())),
                    QByteArray(f.raw.data(), qsizetype(f.raw.size()))});
    return out;
}

QByteArray commentFrame(int major, const QByteArray &description, const QByteArray &text)
{
    return frame(major, "COMM", QByteArray("\0eng", 4) + description + '\0' + text);
}

} // namespace

// What is rendered reads back, through TagLib's own reader of the whole tag and through ours.
void TestId3v2::renderRoundTrip_data()
{
    QTest::addColumn<QByteArray>("old");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("encoding"); // of the new title frame: 0 Latin-1, 1 UTF-16

    const QStringList latin1{"Song", "Artist", u"Album ÿ"_qs, "1999", "Nice", "Rock"};
    const QStringList wide{u"Łódź"_qs, u"Björk"_qs, u"Αλμπουμ ÿ"_qs, "2001", u"😀 ok"_qs, "Pop"};
    QTest::newRow("no tag: 2.3, Latin-1") << QByteArray() << latin1 << 3 << 0;
    QTest::newRow("no tag: UTF-16 where Latin-1 does not fit") << QByteArray() << wide << 3 << 1;
    const QByteArray old23 = tag(3, textFrame(3, "TIT2", "Old") + textFrame(3, "TYER", "1990") +
                                        commentFrame(3, "", "old") + textFrame(3, "TCON", "(17)"));
    QTest::newRow("2.3, Latin-1") << old23 << latin1 << 3 << 0;
    QTest::newRow("2.3, UTF-16") << old23 << wide << 3 << 1;
    const QByteArray old24 = tag(4, textFrame(4, "TIT2", "Old") + textFrame(4, "TDRC", "1990") +
                                        commentFrame(4, "", "old") + textFrame(4, "TALB", "x"));
    QTest::newRow("2.4, Latin-1") << old24 << latin1 << 4 << 0;
    QTest::newRow("2.4, UTF-16") << old24 << wide << 4 << 1;
    // In a 2.4 tag with the flag every frame is unsynchronised: "ÿ" (0xFF) must be too.
    const QByteArray unsync24 =
        tag(4, frame(4, "TIT2", QByteArray("\0\xFF\0\xE0", 4), 0x0002), 0x80);
    QTest::newRow("2.4 unsynchronised") << unsync24 << latin1 << 4 << 0;
    QTest::newRow("2.4 unsynchronised, UTF-16") << unsync24 << wide << 4 << 1;
    const QByteArray unsync23 = tag(3,
                                    frame(3, "TIT2", QByteArray("\0\xFF\0\xE0", 4), 0, 3) +
                                        frame(3, "PRIV", QByteArray("me\0\xFF\0\0", 6), 0, 5),
                                    0x80);
    QTest::newRow("2.3 unsynchronised") << unsync23 << latin1 << 3 << 0;
    // An extended header with a CRC of the old frames (flag 0x8000, 10 bytes).
    const QByteArray crc = QByteArray("\0\0\0\x0A\x80\0\0\0\0\0\x12\x34\x56\x78", 14);
    QTest::newRow("2.3 extended header with CRC")
        << tag(3, crc + textFrame(3, "TIT2", "Old"), 0x40) << latin1 << 3 << 0;
    QTest::newRow("2.4 extended header, footer")
        << tag(4, QByteArray("\0\0\0\x06\x01\0", 6) + textFrame(4, "TIT2", "Old"), 0x50) << wide
        << 4 << 1;
}

void TestId3v2::renderRoundTrip()
{
    QFETCH(QByteArray, old);
    QFETCH(QStringList, texts);
    QFETCH(int, version);
    QFETCH(int, encoding);

    const Id3v2Rendering r = render(old, updateOf(texts));
    QVERIFY2(r.written, r.reason.c_str());
    QCOMPARE(r.version, version);
    QCOMPARE(int(r.bytes[3]), version);
    QCOMPARE(int(r.bytes[5]) & 0x50, 0); // neither an extended header nor a footer
    QCOMPARE(readByTagLib(r.bytes), texts);
    QCOMPARE(readByReader(r.bytes), texts);
    const auto frames = framesOf(r.bytes);
    QVERIFY(!frames.isEmpty());
    for (const auto &[id, bytes] : frames) {
        if (id == "TIT2")
            QCOMPARE(int(bytes[10]), encoding);
    }
}

// Every frame but the six is kept byte for byte, and where it was.
void TestId3v2::renderKeepsFrames_data()
{
    QTest::addColumn<QByteArray>("old");
    QTest::addColumn<QStringList>("texts"); // "-": left as it is
    QTest::addColumn<QStringList>("ids");   // the frames of the new tag, in order
    QTest::addColumn<QStringList>("kept");  // the IDs whose frames must be byte-equal

    QByteArray picture = QByteArray("\0image/jpeg\0\3\0", 14) + QByteArray(300 * 1000, '\xA5');
    for (int i = 0; i < picture.size(); i += 7)
        picture[i] = char(i * 31);
    const QStringList title{"New title", "-", "-", "-", "-", "-"};
    for (int major : {3, 4}) {
        const QByteArray frames = textFrame(major, "TIT2", "Old") + frame(major, "APIC", picture) +
                                  frame(major, "TXXX", QByteArray("\0MusicBrainz\0id", 15)) +
                                  frame(major, "XYZ1", QByteArray("\x01\x02\xFF\0", 4)) +
                                  frame(major, "PRIV", QByteArray("owner\0data", 10));
        const QString v = QString::number(major);
        QTest::newRow(qPrintable("2." + v + ": picture, TXXX, unknown, private"))
            << tag(major, frames + QByteArray(100, '\0')) << title
            << QStringList{"TIT2", "APIC", "TXXX", "XYZ1", "PRIV"}
            << QStringList{"APIC", "TXXX", "XYZ1", "PRIV"};
    }
    // Unsynchronised 2.4 frames stay as they are, flag and all.
    QTest::newRow("2.4 unsynchronised frames")
        << tag(4, frame(4, "XYZ1", QByteArray("\xFF\0\0", 3), 0x0002) + textFrame(4, "TIT2", "Old"),
               0x80)
        << title << QStringList{"XYZ1", "TIT2"} << QStringList{"XYZ1"};
    // Duplicates of a replaced frame go; the new frame takes the first one's place; new fields
    // come last; described comments stay, the one without a description is replaced.
    const QByteArray mixed = textFrame(3, "TIT2", "One") +
                             frame(3, "APIC", QByteArray("\0x\0\3\0p", 6)) +
                             textFrame(3, "TIT2", "Two") + commentFrame(3, "iTunNORM", " 0000") +
                             commentFrame(3, "", "old") + textFrame(3, "TYER", "1990");
    QTest::newRow("duplicates, places, new fields")
        << tag(3, mixed) << QStringList{"T", "-", "-", "-", "C", "Rock"}
        << QStringList{"TIT2", "APIC", "COMM", "COMM", "TYER", "TCON"}
        << QStringList{"APIC", "TYER"};
    QTest::newRow("an empty text removes the field")
        << tag(3, mixed) << QStringList{"", "-", "-", "", "-", "-"}
        << QStringList{"APIC", "COMM", "COMM"} << QStringList{"APIC", "COMM"};
    QTest::newRow("2.3 iTunes frame of 2.2 ID is the title")
        << tag(3,
               frame(3, QByteArray("TT2\0", 4), QByteArray("\0Old", 4)) + textFrame(3, "TALB", "A"))
        << title << QStringList{"TIT2", "TALB"} << QStringList{"TALB"};
}

void TestId3v2::renderKeepsFrames()
{
    QFETCH(QByteArray, old);
    QFETCH(QStringList, texts);
    QFETCH(QStringList, ids);
    QFETCH(QStringList, kept);

    const Id3v2Rendering r = render(old, updateOf(texts));
    QVERIFY2(r.written, r.reason.c_str());
    const auto before = framesOf(old.toStdString());
    const auto after = framesOf(r.bytes);
    QStringList gotIds;
    for (const auto &f : after)
        gotIds << QString::fromLatin1(f.first);
    QCOMPARE(gotIds, ids);
    for (const QString &id : kept) {
        QList<QByteArray> old, now;
        for (const auto &f : before)
            if (f.first == id.toLatin1())
                old << f.second;
        for (const auto &f : after)
            if (f.first == id.toLatin1())
                now << f.second;
        // Where the old tag has more of them (replaced comments), the kept ones come first.
        QVERIFY(!now.isEmpty());
        QVERIFY2(old.contains(now.front()), qPrintable(id));
    }
    const Id3v2Text written =
        parseId3v2(reinterpret_cast<const std::uint8_t *>(r.bytes.data()), r.bytes.size()).text;
    if (texts[0] != "-")
        QCOMPARE(QString::fromStdString(written.title), texts[0]);
    if (texts[4] != "-")
        QCOMPARE(QString::fromStdString(written.comment), texts[4]);
}

// The new tag goes over the old one where it fits the old one's space, padding and all.
void TestId3v2::renderSize_data()
{
    QTest::addColumn<QByteArray>("old");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("inPlace");
    QTest::addColumn<qint64>("size");

    const QByteArray frames = textFrame(3, "TPE1", "Artist"); // 17 bytes
    QTest::newRow("fits the padding")
        << tag(3, frames + QByteArray(2000, '\0')) << "A title" << true << qint64(10 + 17 + 2000);
    // 10 + 17 + 18 bytes of frames.
    QTest::newRow("fits exactly") << tag(3, frames + QByteArray(18, '\0')) << "A title" << true
                                  << qint64(10 + 17 + 18);
    QTest::newRow("one byte too many: about 1 KiB of padding")
        << tag(3, frames + QByteArray(17, '\0')) << "A title" << false
        << qint64(10 + 17 + 18 + 1024);
    // The footer's ten bytes are room too.
    QTest::newRow("2.4 footer's bytes are room")
        << tag(4, textFrame(4, "TPE1", "Artist") + textFrame(4, "TIT2", "Old"), 0x10) << "A title"
        << true << qint64(10 + 17 + 14 + 10);
    QTest::newRow("no tag") << QByteArray() << "A title" << false << qint64(10 + 18 + 1024);
}

void TestId3v2::renderSize()
{
    QFETCH(QByteArray, old);
    QFETCH(QString, title);
    QFETCH(bool, inPlace);
    QFETCH(qint64, size);

    Id3v2Update update;
    update.title = title.toStdString();
    const Id3v2Rendering r = render(old, update);
    QVERIFY2(r.written, r.reason.c_str());
    QCOMPARE(r.inPlace, inPlace);
    QCOMPARE(qint64(r.bytes.size()), size);
    QCOMPARE(
        id3v2DeclaredSize(reinterpret_cast<const std::uint8_t *>(r.bytes.data()), r.bytes.size()),
        size);
    if (inPlace)
        QCOMPARE(qint64(r.bytes.size()),
                 id3v2DeclaredSize(reinterpret_cast<const std::uint8_t *>(old.constData()),
                                   std::size_t(old.size())));
}

void TestId3v2::renderRefusals_data()
{
    QTest::addColumn<QByteArray>("old");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("reason");

    QTest::newRow("2.2") << tag(2, textFrame(2, "TT2", "Old")) << "T"
                         << "ID3v2.2 is not written";
    QTest::newRow("over the read limit") << tag(4, QByteArray(), 0, 17 << 20) << "T"
                                         << "ID3v2 tag over 16 MiB";
    QTest::newRow("cut short") << tag(3, textFrame(3, "TIT2", "Old"), 0, 500) << "T"
                               << "ID3v2 tag cut short";
    QTest::newRow("frame beyond the tag")
        << tag(3, textFrame(3, "TPE1", "A") + frame(3, "TIT2", QByteArray("\0xyz", 4), 0, 50))
        << "T"
        << "damaged ID3v2 tag";
    QTest::newRow("frame ID of other characters")
        << tag(3, textFrame(3, "TPE1", "A") + textFrame(3, "ti t", "x")) << "T"
        << "damaged ID3v2 tag";
    QTest::newRow("version 5") << tag(5, textFrame(4, "TIT2", "Old")) << "T"
                               << "not an ID3v2 tag";
    QTest::newRow("text not UTF-8") << QByteArray() << QString() << "a text is not valid UTF-8";
}

void TestId3v2::renderRefusals()
{
    QFETCH(QByteArray, old);
    QFETCH(QString, title);
    QFETCH(QString, reason);

    Id3v2Update update;
    update.title = title.isNull() ? std::string("\xC3\x28", 2) : title.toStdString();
    const Id3v2Rendering r = render(old, update);
    QVERIFY(!r.written);
    QCOMPARE(QString::fromStdString(r.reason), reason);
    QVERIFY(r.bytes.empty());
}

// mutagen, where it is installed, reads what was rendered as TagLib does.
void TestId3v2::renderReadByMutagen()
{
    QProcess probe;
    probe.start("python3", {"-c", "import mutagen"});
    if (!probe.waitForFinished(30000) || probe.exitStatus() != QProcess::NormalExit ||
        probe.exitCode() != 0)
        QSKIP("mutagen is not installed");
    const QStringList texts{u"Łódź"_qs, "Artist", u"Album ÿ"_qs, "1999", "Nice", "Rock"};
    for (const QByteArray &old :
         {QByteArray(), tag(4, textFrame(4, "TIT2", "Old") + QByteArray(50, '\0'))}) {
        const Id3v2Rendering r = render(old, updateOf(texts));
        QVERIFY(r.written);
        QVERIFY(testfiles::writeFile(m_path, QByteArray::fromStdString(r.bytes) +
                                                 testfiles::frames("\xFF\xFB\x90\x44", 20)));
        QProcess py;
        py.start("python3", {"-c",
                             "import sys\n"
                             "from mutagen.id3 import ID3\n"
                             "t = ID3(sys.argv[1])\n"
                             "year = 'TDRC' if 'TDRC' in t else 'TYER'\n"
                             "c = [f for f in t.getall('COMM') if f.desc == '']\n"
                             "for v in (t['TIT2'], t['TPE1'], t['TALB'], t[year],\n"
                             "          c[0] if c else '', t['TCON']):\n"
                             "    print(str(v))\n",
                             m_path});
        QVERIFY(py.waitForFinished(30000));
        QCOMPARE(QString::fromUtf8(py.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
                 texts);
    }
}
