// The batch commands run through the real main window (offscreen): "Select all", then the
// command's button, and the list shown again; side by side with a loop of the bare system calls
// the command cannot do without, measured in the same run on the same files (best of five
// rounds).
//
//   bench_window_commands [files...]   (default: 1000 10000; TMPDIR picks the file system)

#include "bareio.h"
#include "modalquestions.h"
#include "startup.h"
#include "testfiles.h"
#include "tform1.h"
#include "widgetquestions.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace
{

constexpr int kRounds = 5;
// No question may wait for an answer here: a failure is printed instead.
class NoQuestions : public ModalQuestions
{
public:
    int execDialog(QDialog &) override { return complain("dialog"), 2; }
    std::optional<QString> getText(QWidget *, const QString &, const QString &, const QString &,
                                   int) override
    {
        return complain("prompt"), std::nullopt;
    }
    std::optional<QString> getSaveFileName(QWidget *, const QString &, const QString &,
                                           const QString &, const QString &) override
    {
        return complain("save dialog"), std::nullopt;
    }
    std::optional<QString> getExistingDirectory(QWidget *, const QString &,
                                                const QString &) override
    {
        return complain("folder browser"), std::nullopt;
    }
    void critical(QWidget *, const QString &message) override
    {
        complain(message.toLocal8Bit().constData());
    }

private:
    static void complain(const char *what) { std::fprintf(stderr, "unexpected: %s\n", what); }
};

QStringList listItems()
{
    QStringList items;
    for (int row = 0; row < Form1->FileListBox1->count(); ++row)
        items << Form1->FileListBox1->itemText(row);
    return items;
}

// Renames every file aside and back, timing only the first direction.
double renamesAsideAndBack(const QStringList &names)
{
    QStringList aside;
    for (qsizetype i = 0; i < names.size(); ++i)
        aside << QStringLiteral("aside %1.mp3").arg(i);
    const double ms = bareio::millis([&] { bareio::renames(names, aside); });
    bareio::renames(aside, names);
    return ms;
}

struct Step {
    const char *command;
    const char *bare;
    QAbstractButton *(*button)();
    std::function<double(const QStringList &)> baseline;
    QString firstNameAfter;
    bool tagged;
};

struct Result {
    const char *command;
    int files;
    double selectMs, commandMs, bareMs;
};

std::vector<Step> steps()
{
    return {
        {"TAG'EM!", "open/pread/pwrite/close 128 B",
         []() -> QAbstractButton * { return Form1->BitBtn1; },
         [](const QStringList &names) {
             return bareio::millis([&] { bareio::tagAccess(names, true); });
         },
         bareio::nameOf(0), true},
        {"Trim filename(s)", "rename", []() -> QAbstractButton * { return Form1->Button3; },
         renamesAsideAndBack, QStringLiteral("Band - Song 00000.mp3"), true},
        {"Rename from tags", "open/pread/close 128 B + rename",
         []() -> QAbstractButton * { return Form1->Button6; },
         [](const QStringList &names) {
             const double read = bareio::millis([&] { bareio::tagAccess(names, false); });
             return read + renamesAsideAndBack(names);
         },
         bareio::nameOf(0), true},
    };
}

std::vector<Result> runAt(int files)
{
    QTemporaryDir dir;
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
    Form1->RadioGroup1->setItemIndex(2); // "Artist - Song.mp3": titles of 10 characters
    Form1->UpdateFormatControls();

    // The three commands bring the names back to where they started, so the round can run again;
    // each figure is the best of the rounds.
    std::vector<Result> results;
    for (int round = 0; round < kRounds; ++round) {
        std::size_t index = 0;
        for (const Step &step : steps()) {
            const double selectMs = bareio::millis([&] {
                Form1->Button2->click();
                QCoreApplication::processEvents();
            });
            const double commandMs = bareio::millis([&] {
                step.button()->click();
                QCoreApplication::processEvents();
            });
            const QStringList after = listItems();
            const bool tagged = testfiles::readFile(after.value(0)).right(128).startsWith("TAG");
            if (after.size() != files || after.value(0) != step.firstNameAfter || !tagged ||
                !Form1->FileListBox1->selectionModel()->selection().isEmpty())
                std::fprintf(stderr, "%s: unexpected result (%s)\n", step.command,
                             qPrintable(after.value(0)));
            const Result r{step.command, files, selectMs, commandMs, step.baseline(after)};
            if (round == 0) {
                results.push_back(r);
            } else {
                Result &best = results[index];
                best.selectMs = std::min(best.selectMs, r.selectMs);
                best.commandMs = std::min(best.commandMs, r.commandMs);
                best.bareMs = std::min(best.bareMs, r.bareMs);
            }
            ++index;
        }
    }
    destroyWindows();
    QDir::setCurrent(previous);
    return results;
}

const char *bareOf(const char *command)
{
    for (const Step &s : steps())
        if (std::string(s.command) == command)
            return s.bare;
    return "";
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QList<int> counts;
    for (int i = 1; i < argc; ++i)
        counts << QByteArray(argv[i]).toInt();
    if (counts.isEmpty())
        counts = {1000, 10000};

    std::vector<Result> all;
    std::printf("%-18s %7s %10s %12s %10s %7s   baseline\n", "command", "files", "select ms",
                "command ms", "bare ms", "ratio");
    for (int files : counts) {
        for (const Result &r : runAt(files)) {
            std::printf("%-18s %7d %10.1f %12.1f %10.1f %6.2fx   %s\n", r.command, r.files,
                        r.selectMs, r.commandMs, r.bareMs, r.commandMs / r.bareMs,
                        bareOf(r.command));
            all.push_back(r);
        }
    }
    // Scaling from the smallest to the largest run.
    if (counts.size() > 1) {
        std::vector<bareio::Timing> timings;
        for (const Result &r : all)
            timings.push_back({r.command, r.files, r.commandMs, r.bareMs});
        bareio::printScaling(timings, counts.first(), counts.last(), 18);
    }
    return 0;
}
