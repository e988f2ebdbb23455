#include "id3v2update.h"
#include "tagtext.h"
#include "testfiles.h"

#include <QtTest>

// What "ID3v2 from ID3v1" writes: only the fields that really differ, by the one conversion.
class TestId3v2Update : public QObject
{
    Q_OBJECT
private slots:
    void decide_data();
    void decide();
    void fieldsOfTag_data();
    void fieldsOfTag();
};

namespace
{

// The ID3v1 fields from texts of the tag's character set (title ... comment, genre name).
Id3v1Fields v1Fields(const QStringList &texts)
{
    Id3v1Fields f;
    f.title = toTagText(texts[0]);
    f.artist = toTagText(texts[1]);
    f.album = toTagText(texts[2]);
    f.year = toTagText(texts[3]);
    f.comment = toTagText(texts[4]);
    f.genre = texts[5].toStdString();
    return f;
}

Id3v2Text v2Text(const QStringList &texts)
{
    Id3v2Text t;
    t.title = texts[0].toStdString();
    t.artist = texts[1].toStdString();
    t.album = texts[2].toStdString();
    t.year = texts[3].toStdString();
    t.comment = texts[4].toStdString();
    t.genre = texts[5].toStdString();
    return t;
}

// The update as six texts, "-" for a field left as it is.
QStringList texts(const Id3v2Update &u)
{
    QStringList out;
    for (const std::optional<std::string> *f :
         {&u.title, &u.artist, &u.album, &u.year, &u.comment, &u.genre})
        out << (*f ? QString::fromStdString(**f) : QString("-"));
    return out;
}

} // namespace

void TestId3v2Update::decide_data()
{
    QTest::addColumn<QStringList>("v1");    // the ID3v1 fields, genre by name
    QTest::addColumn<QStringList>("v2");    // the ID3v2 texts
    QTest::addColumn<QStringList>("write"); // what is written, "-" where nothing

    const QStringList same{"Song", "Artist", "Album", "1999", "Nice", "Rock"};
    const QStringList none{"-", "-", "-", "-", "-", "-"};
    QTest::newRow("already in step") << same << same << none;
    QTest::newRow("a long title of which ID3v1 holds the first 30")
        << QStringList{"A very long title that goes on", "", "", "", "", "(none)"}
        << QStringList{"A very long title that goes on past thirty", "", "", "", "", ""} << none;
    QTest::newRow("a character ID3v1 holds as ?")
        << QStringList{"Ko?o", u"Bj\u00f6rk"_qs, "", "", "", "(none)"}
        << QStringList{u"Koło"_qs, u"Bjo\u0308rk"_qs, "", "", "", ""} << none;
    QTest::newRow("differs") << QStringList{"New", "Artist", "", "", "", "(none)"}
                             << QStringList{"Old", "Artist", "", "", "", ""}
                             << QStringList{"New", "-", "-", "-", "-", "-"};
    QTest::newRow("an empty ID3v1 field removes nothing")
        << QStringList{"", "", "", "", "", "(none)"} << same << none;
    QTest::newRow("no ID3v2 tag") << same << QStringList{"", "", "", "", "", ""} << same;
    QTest::newRow("Windows-1252 characters") << QStringList{u"Café €"_qs, "", "", "", "", "(none)"}
                                             << QStringList{"Cafe", "", "", "", "", ""}
                                             << QStringList{u"Café €"_qs, "-", "-", "-", "-", "-"};
    QTest::newRow("genre (none) writes nothing") << QStringList{"", "", "", "", "", "(none)"}
                                                 << QStringList{"", "", "", "", "", "Rock"} << none;
    QTest::newRow("genre by number in ID3v2") << QStringList{"", "", "", "", "", "Rock"}
                                              << QStringList{"", "", "", "", "", "(17)"} << none;
    QTest::newRow("another genre")
        << QStringList{"", "", "", "", "", "Pop"} << QStringList{"", "", "", "", "", "17"}
        << QStringList{"-", "-", "-", "-", "-", "Pop"};
    QTest::newRow("genre ID3v1 has no name for")
        << QStringList{"", "", "", "", "", "Rock"} << QStringList{"", "", "", "", "", "Chiptune"}
        << QStringList{"-", "-", "-", "-", "-", "Rock"};
    QTest::newRow("a date of which ID3v1 holds the year")
        << QStringList{"", "", "", "2003", "", "(none)"}
        << QStringList{"", "", "", "2003-05-01T12:00", "", ""} << none;
    QTest::newRow("another year") << QStringList{"", "", "", "2004", "", "(none)"}
                                  << QStringList{"", "", "", "2003-05-01", "", ""}
                                  << QStringList{"-", "-", "-", "2004", "-", "-"};
    QTest::newRow("blanks and lines as the conversion leaves them")
        << QStringList{"  One  Two ", "", "", "", "A\tB", "(none)"}
        << QStringList{"One\r\nTwo", "", "", "", "A B", ""} << none;
    QTest::newRow("blanks around are not written")
        << QStringList{"  Song  ", "", "", "", "", "(none)"} << QStringList{"", "", "", "", "", ""}
        << QStringList{"Song", "-", "-", "-", "-", "-"};
}

void TestId3v2Update::decide()
{
    QFETCH(QStringList, v1);
    QFETCH(QStringList, v2);
    QFETCH(QStringList, write);

    const Id3v1Fields fields = v1Fields(v1);
    const Id3v2Text text = v2Text(v2);
    const Id3v2Update update = id3v2UpdateFromId3v1(fields, text);
    QCOMPARE(texts(update), write);
    const bool differs = write != QStringList{"-", "-", "-", "-", "-", "-"};
    QCOMPARE(id3v2DiffersFromId3v1(fields, text), differs);
    QCOMPARE(writesNothing(update), !differs);

    // Once written, the two tags are in step.
    Id3v2Text after = text;
    for (auto [from, to] : {std::pair{&update.title, &after.title},
                            {&update.artist, &after.artist},
                            {&update.album, &after.album},
                            {&update.year, &after.year},
                            {&update.comment, &after.comment},
                            {&update.genre, &after.genre}}) {
        if (*from)
            *to = **from;
    }
    QVERIFY(!id3v2DiffersFromId3v1(fields, after));
}

void TestId3v2Update::fieldsOfTag_data()
{
    QTest::addColumn<QByteArray>("tag");
    QTest::addColumn<QStringList>("fields");

    QTest::newRow("blank-padded") << testfiles::id3v1("Title", "Artist", "Album", "1999", "Nice",
                                                      17)
                                  << QStringList{"Title", "Artist", "Album",
                                                 "1999",  "Nice",   "Rock"};
    QByteArray zeros = testfiles::id3v1("", "", "", "    ", "", 200);
    zeros.replace(3, 30, QByteArray("\0\0Zero\0\0", 8) + QByteArray(22, '\0'));
    QTest::newRow("zero-padded, genre beyond the table")
        << zeros << QStringList{"Zero", "", "", "", "", "(none)"};
    QTest::newRow("no tag") << QByteArray(128, 'x') << QStringList{"", "", "", "", "", "(none)"};
}

void TestId3v2Update::fieldsOfTag()
{
    QFETCH(QByteArray, tag);
    QFETCH(QStringList, fields);
    std::array<std::uint8_t, 128> bytes{};
    std::memcpy(bytes.data(), tag.constData(), 128);
    const Id3v1Fields f = id3v1FieldsOfTag(bytes);
    QCOMPARE(
        (QStringList{fromTagText(f.title), fromTagText(f.artist), fromTagText(f.album),
                     fromTagText(f.year), fromTagText(f.comment), QString::fromStdString(f.genre)}),
        fields);
}

QTEST_APPLESS_MAIN(TestId3v2Update)
#include "tst_id3v2update.moc"
