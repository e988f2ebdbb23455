#include "edittags.h"
#include "id3v1fromid3v2.h"
#include "memoryfilelist.h"
#include "scriptedquestions.h"
#include "tagfile.h"
#include "tagworkspace.h"
#include "testfiles.h"

#include <QtTest>

#include <id3v2tag.h>
#include <mpegfile.h>
#include <textidentificationframe.h>

namespace
{

const char kFrameHeader[] = "\xFF\xFB\x90\x44";

struct Id3v2Texts {
    QString title, artist, genre;
};

// A file tagged with ID3v2 only by another tool (TagLib), then given the ID3v1 bytes id3v1.
void makeFile(const QString &name, int version, const Id3v2Texts &texts,
              const QByteArray &id3v1 = {})
{
    QVERIFY(testfiles::writeFile(name, testfiles::frames(kFrameHeader, 20)));
    {
        TagLib::MPEG::File file(QFile::encodeName(name).constData());
        TagLib::ID3v2::Tag *tag = file.ID3v2Tag(true);
        const std::pair<const char *, QString> frames[] = {
            {"TIT2", texts.title}, {"TPE1", texts.artist}, {"TCON", texts.genre}};
        for (const auto &[id, text] : frames) {
            if (text.isEmpty())
                continue;
            auto *f = new TagLib::ID3v2::TextIdentificationFrame(id, TagLib::String::UTF16);
            f->setText(TagLib::String(text.toStdString(), TagLib::String::UTF8));
            tag->addFrame(f);
        }
        if (texts.title.isEmpty() && texts.artist.isEmpty() && texts.genre.isEmpty()) {
            // A tag of one frame that gives no text.
            auto *f = new TagLib::ID3v2::TextIdentificationFrame("TBPM", TagLib::String::Latin1);
            f->setText("120");
            tag->addFrame(f);
        }
        QVERIFY(file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers,
                          version == 3 ? TagLib::ID3v2::v3 : TagLib::ID3v2::v4));
    }
    if (!id3v1.isEmpty())
        QVERIFY(testfiles::writeFile(name, testfiles::readFile(name) + id3v1));
}

QByteArray tagBytes(const QString &text)
{
    return text.toLatin1();
}

// The questions of one Edit tag(s) run: the view shown, and Save with what it showed, or Cancel.
struct EditAnswers : ScriptedQuestions {
    QList<TagEditView> shown;
    bool save = false;
    std::optional<TagTexts> editTag(const TagEditView &view) override
    {
        shown.append(view);
        return save ? std::optional<TagTexts>(view.tag) : std::nullopt;
    }
};

} // namespace

class TestId3v1FromId3v2 : public QObject
{
    Q_OBJECT
private slots:
    void commandTagsAFolder();
    void editorFillsAnEmptyTag_data();
    void editorFillsAnEmptyTag();
};

void TestId3v1FromId3v2::commandTagsAFolder()
{
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    makeFile("a.mp3", 4, {u"Ελλάδα Live"_qs, u"Björk"_qs, "(17)"});
    makeFile("b.mp3", 3, {"New title", "New artist", "Jazz"}, testfiles::id3v1("Old", "Older"));
    QVERIFY(testfiles::writeFile("c.mp3", testfiles::frames(kFrameHeader, 20) +
                                              testfiles::id3v1("Keep", "Me")));
    makeFile("d.mp3", 4, {});
    makeFile("e.mp3", 4, {"Not selected", "", ""});
    QStringList names{"a.mp3", "b.mp3", "c.mp3", "d.mp3", "e.mp3"};
    QMap<QString, QByteArray> before;
    for (const QString &n : names)
        before[n] = testfiles::readFile(n);

    MemoryFileList list;
    QCOMPARE(list.items(), names);
    for (int row = 0; row < 4; ++row)
        list.select(row);
    const WalkReport report = id3v1FromId3v2(here(), list);

    QCOMPARE(report.done, 2);
    QCOMPARE(int(report.left.size()), 2);
    QCOMPARE(report.left[0].name, QString("c.mp3"));
    QCOMPARE(report.left[0].reason, QString("no ID3v2 tag"));
    QCOMPARE(report.left[1].name, QString("d.mp3"));
    QCOMPARE(report.left[1].reason, QString("nothing in the ID3v2 tag"));
    for (int row = 0; row < 5; ++row)
        QVERIFY(!list.isSelected(row));

    // a: the tag appended; every byte before it as it was, the ID3v2 tag included.
    const QByteArray a = testfiles::readFile("a.mp3");
    QCOMPARE(a.size(), before["a.mp3"].size() + 128);
    QCOMPARE(a.left(before["a.mp3"].size()), before["a.mp3"]);
    TagWorkspace &ws = tagWorkspace();
    ws.clearForEdit();
    ReadTagFile("a.mp3");
    QCOMPARE(QByteArray::fromStdString(ws.SongTitle), QByteArray("?????? Live"));
    QCOMPARE(QByteArray::fromStdString(ws.SongArtist), tagBytes(u"Björk"_qs));
    QCOMPARE(int(ws.SongGenreByte), 17);

    // b: the old ID3v1 tag overwritten in place.
    const QByteArray b = testfiles::readFile("b.mp3");
    QCOMPARE(b.size(), before["b.mp3"].size());
    QCOMPARE(b.left(b.size() - 128), before["b.mp3"].left(b.size() - 128));
    ws.clearForEdit();
    ReadTagFile("b.mp3");
    QCOMPARE(QByteArray::fromStdString(ws.SongTitle), QByteArray("New title"));
    QCOMPARE(QByteArray::fromStdString(ws.SongArtist), QByteArray("New artist"));
    QCOMPARE(int(ws.SongGenreByte), 8);

    // c, d and e: not a byte changed.
    for (const char *n : {"c.mp3", "d.mp3", "e.mp3"})
        QCOMPARE(testfiles::readFile(n), before[n]);
}

void TestId3v1FromId3v2::editorFillsAnEmptyTag_data()
{
    QTest::addColumn<bool>("id3v2");
    QTest::addColumn<QByteArray>("id3v1");
    QTest::addColumn<bool>("save");
    QTest::addColumn<QStringList>("shown"); // title, artist, genre
    QTest::addColumn<bool>("infoLine");
    QTest::addColumn<QString>("said"); // after the ID3v2 line's size, or on a line of its own

    const QString filled = "Fields from the ID3v2 tag";
    QTest::newRow("ID3v2 only") << true << QByteArray() << false
                                << QStringList{"From ID3v2", "Artist", "Rock"} << true << filled;
    QTest::newRow("ID3v2 only, saved")
        << true << QByteArray() << true << QStringList{"From ID3v2", "Artist", "Rock"} << true
        << filled;
    QTest::newRow("ID3v1 opens as it is")
        << true << testfiles::id3v1("From ID3v1", "", "", "    ", "", 255) << false
        << QStringList{"From ID3v1", "", ""} << true << ", differs from ID3v1";
    QTest::newRow("neither") << false << QByteArray() << false << QStringList{"", "", ""} << false
                             << "";
}

void TestId3v1FromId3v2::editorFillsAnEmptyTag()
{
    QFETCH(bool, id3v2);
    QFETCH(QByteArray, id3v1);
    QFETCH(bool, save);
    QFETCH(QStringList, shown);
    QFETCH(bool, infoLine);
    QFETCH(QString, said);

    WorkingFolder folder;
    QVERIFY(folder.isValid());
    if (id3v2)
        makeFile("song.mp3", 4, {"From ID3v2", "Artist", "17"}, id3v1);
    else
        QVERIFY(testfiles::writeFile("song.mp3", testfiles::frames(kFrameHeader, 20)));
    const QByteArray before = testfiles::readFile("song.mp3");
    // The file read before leaves nothing behind.
    QVERIFY(testfiles::writeFile("other.mp3",
                                 testfiles::frames(kFrameHeader, 20) +
                                     testfiles::id3v1("Other", "Other", "", "1999", "", 17)));
    EditAnswers other;
    editTagOfFile(ChangeContext{here()}, "other.mp3", other);

    EditAnswers answers;
    answers.save = save;
    QCOMPARE(editTagOfFile(ChangeContext{here()}, "song.mp3", answers), save);
    QCOMPARE(answers.shown.size(), 1);
    const TagEditView &view = answers.shown.first();
    QCOMPARE((QStringList{view.tag.title, view.tag.artist, view.tag.genre}), shown);
    const bool ownLine = said.startsWith(u'F');
    QCOMPARE(view.info.size(), ownLine ? 8 : 7);
    if (ownLine)
        QCOMPARE(view.info[3], said);
    if (infoLine) {
        TagLib::MPEG::File file("song.mp3");
        const auto size = file.ID3v2Tag()->header()->completeTagSize();
        QCOMPARE(view.info[2],
                 QLocale(QLocale::English).toString(qlonglong(size)).prepend("ID3v2.4: ") +
                     " bytes" + (ownLine ? QString() : said));
    } else {
        QCOMPARE(view.info[2], QString());
    }

    const QByteArray after = testfiles::readFile("song.mp3");
    if (!save) {
        QCOMPARE(after, before);
        return;
    }
    QCOMPARE(after.left(before.size()), before); // the ID3v2 tag and the audio as they were
    TagWorkspace &ws = tagWorkspace();
    ws.clearForEdit();
    ReadTagFile("song.mp3");
    QCOMPARE(QString::fromLatin1(ws.SongTitle), shown[0]);
    QCOMPARE(int(ws.SongGenreByte), 17);
}

QTEST_GUILESS_MAIN(TestId3v1FromId3v2)
#include "tst_id3v1fromid3v2.moc"
