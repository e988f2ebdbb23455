// How responsive the main window stays while a long command runs: TAG'EM!, Trim filename(s) and
// Rename from tags through the real window (offscreen) on many files, each timed twice in the
// same run, with the progress machinery (event loop turns, progress notice, Esc) and without it.
// Beside each time: the longest the event loop went without a turn while the command ran (from
// the click until the command's handler returned, the list read again included): the best time
// of the rounds, and the longest gap of any round.
//
//   bench_responsiveness [files] [rounds]   (default: 100000 2; TMPDIR picks the file system)

#include "bareio.h"
#include "commandrunner.h"
#include "modalquestions.h"
#include "noquestions.h"
#include "startup.h"
#include "testfiles.h"
#include "tform1.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace
{

// Notes when the event loop takes a turn (a precise 2 ms timer) and keeps the longest gap.
class TurnWatch
{
public:
    TurnWatch()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(2);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { turn(); });
        m_timer.start();
        m_clock.start();
    }
    void reset()
    {
        m_last = m_clock.elapsed();
        m_longest = 0;
        m_longestAt = 0;
        m_turns = 0;
    }
    void turn()
    {
        const qint64 now = m_clock.elapsed();
        if (now - m_last > m_longest)
            m_longestAt = m_turns;
        m_longest = std::max(m_longest, now - m_last);
        m_last = now;
        ++m_turns;
    }
    qint64 longest() const { return m_longest; }
    int turns() const { return m_turns; }
    // Which gap was the longest: 0 the first (from the click), turns() - 1 the last.
    int longestAt() const { return m_longestAt; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
    int m_turns = 0;
    int m_longestAt = 0;
};

struct Step {
    const char *command;
    QAbstractButton *(*button)();
};

struct Figure {
    double ms = 1e18;
    qint64 longestGap = 0;
    int turns = 0;
    const char *where = "";
};

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int files = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    const int rounds = argc > 2 ? QByteArray(argv[2]).toInt() : 2;

    QTemporaryDir dir; // under TMPDIR
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    const QByteArray audio = testfiles::frames(bareio::kHeader, 1);
    for (int i = 0; i < files; ++i)
        testfiles::writeFile(bareio::nameOf(i), audio);

    createWindows();
    static NoQuestions questions;
    Form1->setModalQuestions(&questions);
    showMainWindow();
    QCoreApplication::processEvents();
    Form1->RadioGroup1->setItemIndex(2); // "Artist - Song.mp3"
    Form1->UpdateFormatControls();

    // TAG'EM! writes the tags Rename from tags later names the files after; Trim tidies the
    // names in between, so a round ends with the names it started with.
    const Step steps[] = {
        {"TAG'EM!", []() -> QAbstractButton * { return Form1->BitBtn1; }},
        {"Trim filename(s)", []() -> QAbstractButton * { return Form1->Button3; }},
        {"Rename from tags", []() -> QAbstractButton * { return Form1->Button6; }},
    };
    constexpr int kSteps = 3;
    Figure without[kSteps], with[kSteps];
    TurnWatch watch;
    for (int round = 0; round < rounds; ++round) {
        // Alternate the order, so neither mode always runs on a warmer cache.
        for (const bool machinery : {round % 2 == 0, round % 2 != 0}) {
            Form1->commandRunner().setEnabled(machinery);
            for (int s = 0; s < kSteps; ++s) {
                Form1->Button2->click(); // Select all
                QCoreApplication::processEvents();
                watch.reset();
                const double ms = bareio::millis([&] { steps[s].button()->click(); });
                watch.turn(); // the end of the handler
                Figure &f = (machinery ? with : without)[s];
                // The best time, and the longest gap of any round.
                if (watch.longest() > f.longestGap) {
                    f.longestGap = watch.longest();
                    f.where = watch.longestAt() == 0                   ? "start"
                              : watch.longestAt() == watch.turns() - 1 ? "end"
                                                                       : "walk";
                }
                f.ms = std::min(f.ms, ms);
                f.turns = std::max(f.turns, watch.turns() - 1);
                QCoreApplication::processEvents();
                if (!Form1->FileListBox1->selectionModel()->selection().isEmpty() ||
                    Form1->FileListBox1->count() != files)
                    std::fprintf(stderr, "%s: unexpected result\n", steps[s].command);
            }
        }
    }

    std::printf("%d files: best time of %d rounds, longest gap of any round\n", files, rounds);
    std::printf("%-18s %12s %12s %7s %16s %16s %7s  %s\n", "command", "without ms", "with ms",
                "ratio", "longest gap ms", "(without) ms", "turns", "gap at");
    for (int s = 0; s < kSteps; ++s) {
        std::printf("%-18s %12.1f %12.1f %6.2fx %16lld %16lld %7d  %s\n", steps[s].command,
                    without[s].ms, with[s].ms, with[s].ms / without[s].ms,
                    static_cast<long long>(with[s].longestGap),
                    static_cast<long long>(without[s].longestGap), with[s].turns, with[s].where);
    }
    destroyWindows();
    QDir::setCurrent(previous);
    return 0;
}
