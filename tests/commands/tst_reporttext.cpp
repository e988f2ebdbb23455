// The result notice's texts: counts with separators, verbs, reasons counted in the order they
// came up, a stopped walk, and the progress line.
#include "reporttext.h"

#include <QtTest>

Q_DECLARE_METATYPE(ReportVerb)
Q_DECLARE_METATYPE(WalkReport)

class TestReportText : public QObject
{
    Q_OBJECT

private slots:
    void countText_data();
    void countText();
    void reportText_data();
    void reportText();
    void progressText_data();
    void progressText();
    void leftFilesKeepNamesAsText();
};

namespace
{

WalkReport report(int total, int done, const QStringList &reasons = {}, bool stopped = false)
{
    WalkReport r;
    r.total = total;
    r.done = done;
    int i = 0;
    for (const QString &reason : reasons)
        r.left.push_back({QStringLiteral("file %1.mp3").arg(++i), reason});
    r.stopped = stopped;
    return r;
}

} // namespace

void TestReportText::countText_data()
{
    QTest::addColumn<long long>("n");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0LL << "0";
    QTest::newRow("999") << 999LL << "999";
    QTest::newRow("1,000") << 1000LL << "1,000";
    QTest::newRow("4,512") << 4512LL << "4,512";
    QTest::newRow("100,000") << 100000LL << "100,000";
    QTest::newRow("1,234,567") << 1234567LL << "1,234,567";
    QTest::newRow("negative") << -12345LL << "-12,345";
}

void TestReportText::countText()
{
    QFETCH(long long, n);
    QFETCH(QString, text);
    QCOMPARE(::countText(n), text);
}

void TestReportText::reportText_data()
{
    QTest::addColumn<WalkReport>("report");
    QTest::addColumn<ReportVerb>("verb");
    QTest::addColumn<QString>("text");
    const QString taken = QStringLiteral("name already taken");
    const QString noTag = QStringLiteral("no artist or title in the tag");
    QTest::newRow("tagged") << report(12, 12) << ReportVerb::Tagged << "12 files tagged";
    QTest::newRow("one file") << report(1, 1) << ReportVerb::Tagged << "1 file tagged";
    // Nothing done says why.
    QTest::newRow("none selected")
        << report(0, 0) << ReportVerb::Renamed << "0 files renamed: no files selected";
    QTest::newRow("none selected to tag")
        << report(0, 0) << ReportVerb::Tagged << "0 files tagged: no files selected";
    QTest::newRow("playlist cancelled")
        << report(1, 0) << ReportVerb::PlaylistsWritten << "0 playlists written: cancelled";
    QTest::newRow("undo of nothing")
        << report(0, 0) << ReportVerb::Restored << "0 files restored: the command changed no file";
    QTest::newRow("stopped before the first")
        << report(6, 0, {}, true) << ReportVerb::Tagged << "0 files tagged, stopped after 0 of 6";
    QTest::newRow("thousands") << report(4512, 4512) << ReportVerb::Tagged << "4,512 files tagged";
    QTest::newRow("renamed, reasons in order of first")
        << report(12, 9, {taken, noTag, taken}) << ReportVerb::Renamed
        << "9 files renamed, 3 left as they were: name already taken (2), no artist or title in "
           "the tag (1)";
    QTest::newRow("one left") << report(2, 1, {QStringLiteral("cancelled")}) << ReportVerb::Renamed
                              << "1 file renamed, 1 left as it was: cancelled (1)";
    QTest::newRow("none done, all left")
        << report(2, 0, {QStringLiteral("name already tidy"), QStringLiteral("name already tidy")})
        << ReportVerb::Renamed << "0 files renamed, 2 left as they were: name already tidy (2)";
    QTest::newRow("editor not saved")
        << report(3, 2, {QStringLiteral("not saved")}) << ReportVerb::Tagged
        << "2 files tagged, 1 left as it was: not saved (1)";
    QTest::newRow("playlists") << report(3, 3) << ReportVerb::PlaylistsWritten
                               << "3 playlists written";
    QTest::newRow("one playlist") << report(1, 1) << ReportVerb::PlaylistsWritten
                                  << "1 playlist written";
    QTest::newRow("stopped") << report(100000, 4512, {}, true) << ReportVerb::Tagged
                             << "4,512 files tagged, stopped after 4,512 of 100,000";
    QTest::newRow("stopped with one left")
        << report(100000, 4511, {taken}, true) << ReportVerb::Renamed
        << "4,511 files renamed, 1 left as it was: name already taken (1), stopped after 4,512 of "
           "100,000";
}

void TestReportText::reportText()
{
    QFETCH(WalkReport, report);
    QFETCH(ReportVerb, verb);
    QFETCH(QString, text);
    QCOMPARE(::reportText(report, verb), text);
}

void TestReportText::progressText_data()
{
    QTest::addColumn<ReportVerb>("verb");
    QTest::addColumn<int>("visited");
    QTest::addColumn<int>("total");
    QTest::addColumn<QString>("text");
    QTest::newRow("tagging") << ReportVerb::Tagged << 4512 << 100000 << "Tagging 4,512 of 100,000";
    QTest::newRow("renaming") << ReportVerb::Renamed << 3 << 9 << "Renaming 3 of 9";
    QTest::newRow("playlists, no total")
        << ReportVerb::PlaylistsWritten << 0 << 0 << "Writing playlists ...";
}

void TestReportText::progressText()
{
    QFETCH(ReportVerb, verb);
    QFETCH(int, visited);
    QFETCH(int, total);
    QFETCH(QString, text);
    QCOMPARE(::progressText(verb, visited, total), text);
}

void TestReportText::leftFilesKeepNamesAsText()
{
    WalkReport r = report(2, 0);
    r.left = {{QStringLiteral("<b>bold</b>.mp3"), QStringLiteral("name already taken")},
              {QStringLiteral("a & b.mp3"), QStringLiteral("cancelled")}};
    QCOMPARE(leftFilesText(r),
             QStringLiteral("<b>bold</b>.mp3: name already taken\na & b.mp3: cancelled"));
    // A long list is cut, saying how many more there are.
    r = report(1003, 0, QStringList(1003, QStringLiteral("name already tidy")));
    const QStringList lines = leftFilesText(r, 2).split(QLatin1Char('\n'));
    QCOMPARE(lines, (QStringList{"file 1.mp3: name already tidy", "file 2.mp3: name already tidy",
                                 "and 1,001 more"}));
    QCOMPARE(leftFilesText(r).count(QLatin1Char('\n')), 1002);
}

QTEST_GUILESS_MAIN(TestReportText)
#include "tst_reporttext.moc"
