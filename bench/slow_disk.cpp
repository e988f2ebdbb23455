// The folder listing and the three batch commands through the real main window (offscreen) on a
// slow disk: every file-system call on the folder waits a fixed delay (1 ms unless given), as on a
// network share where each call is a round trip. Beside each, the bare calls it cannot do without,
// under the same delay; both with the number of calls per file, by call.
//
//   bench_slow_disk [files] [delay-us]   (default: 10000 1000; TMPDIR picks the file system)
//
// The delay comes from libslowfs.so (slowfs.cpp), which the benchmark loads with LD_PRELOAD by
// starting itself again.

#include "bareio.h"
#include "noquestions.h"
#include "startup.h"
#include "testfiles.h"
#include "tform1.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <functional>
#include <unistd.h>
#include <vector>

namespace
{

using Begin = void (*)(const char *, long);
using End = void (*)();
using Calls = int (*)(const char *const **, const long **);
using Slept = long long (*)();

struct Shim {
    Begin begin;
    End end;
    Calls calls;
    Slept slept;
};

struct Measure {
    double ms = 0; // as the disk would take it: time outside the waits, plus the calls' delays
    double measuredMs = 0;
    std::vector<std::pair<std::string, long>> calls; // the calls made, by name

    long total() const
    {
        long n = 0;
        for (const auto &call : calls)
            n += call.second;
        return n;
    }
};

// The calls that waited (all but lseek, read and write).
long slowDelayed(const Measure &m)
{
    long n = 0;
    for (const auto &call : m.calls)
        if (call.first != "lseek" && call.first != "lseek64" && call.first != "read" &&
            call.first != "write")
            n += call.second;
    return n;
}

// Runs work with the delay on, and notes its time and calls.
Measure slowly(const Shim &shim, const QString &folder, long delayUs,
               const std::function<void()> &work)
{
    Measure m;
    shim.begin(QFile::encodeName(folder).constData(), delayUs);
    m.measuredMs = bareio::millis(work);
    shim.end();
    const double sleptMs = double(shim.slept()) / 1e6;
    const char *const *names = nullptr;
    const long *counts = nullptr;
    const int n = shim.calls(&names, &counts);
    for (int i = 0; i < n; ++i)
        if (counts[i] > 0)
            m.calls.emplace_back(names[i], counts[i]);
    // A sleep on a busy machine lasts longer than asked, and by how much varies: the time is
    // counted as if each wait had lasted exactly the delay.
    m.ms = m.measuredMs - sleptMs + double(slowDelayed(m)) * double(delayUs) / 1000.0;
    return m;
}

QString callsPerFile(const Measure &m, int files)
{
    QStringList parts;
    for (const auto &call : m.calls)
        parts << QStringLiteral("%1 %2")
                     .arg(QString::fromStdString(call.first))
                     .arg(double(call.second) / files, 0, 'g', 3);
    return parts.isEmpty() ? QStringLiteral("none") : parts.join(QStringLiteral(", "));
}

QStringList listItems()
{
    QStringList items;
    for (int row = 0; row < Form1->FileListBox1->count(); ++row)
        items << Form1->FileListBox1->itemText(row);
    return items;
}

QStringList asideNames(qsizetype count)
{
    QStringList aside;
    for (qsizetype i = 0; i < count; ++i)
        aside << QStringLiteral("aside %1.mp3").arg(i);
    return aside;
}

struct Step {
    const char *what;
    const char *bare;
    std::function<void()> run;                              // with the delay on
    std::function<void(const QStringList &)> baseline;      // with the delay on
    std::function<void(const QStringList &)> afterBaseline; // with the delay off
};

} // namespace

int main(int argc, char **argv)
{
    Shim shim{reinterpret_cast<Begin>(dlsym(RTLD_DEFAULT, "slowfs_begin")),
              reinterpret_cast<End>(dlsym(RTLD_DEFAULT, "slowfs_end")),
              reinterpret_cast<Calls>(dlsym(RTLD_DEFAULT, "slowfs_calls")),
              reinterpret_cast<Slept>(dlsym(RTLD_DEFAULT, "slowfs_slept_ns"))};
    if (!shim.begin || !shim.end || !shim.calls || !shim.slept) {
        // Not loaded yet: start again with the shim, which lies beside the benchmark.
        if (getenv("SLOWFS_STARTED")) {
            std::fprintf(stderr, "libslowfs.so could not be loaded\n");
            return 1;
        }
        char self[4096];
        const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        if (n <= 0)
            return 1;
        self[n] = '\0';
        std::string preload = std::string(self, std::strrchr(self, '/') - self) + "/libslowfs.so";
        if (const char *more = getenv("LD_PRELOAD"))
            preload += std::string(":") + more;
        setenv("LD_PRELOAD", preload.c_str(), 1);
        setenv("SLOWFS_STARTED", "1", 1);
        execv(self, argv);
        std::perror("execv");
        return 1;
    }
    unsetenv("LD_PRELOAD");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    NoQuestions questions;
    const int files = argc > 1 ? std::atoi(argv[1]) : 10000;
    const long delayUs = argc > 2 ? std::atol(argv[2]) : 1000;

    QTemporaryDir dir;
    const QString folder = QDir::cleanPath(QFileInfo(dir.path()).canonicalFilePath());
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder);
    const QByteArray audio = testfiles::frames(bareio::kHeader, 1);
    for (int i = 0; i < files; ++i)
        testfiles::writeFile(bareio::nameOf(i), audio);
    createWindows();
    Form1->setModalQuestions(&questions);
    showMainWindow();
    QCoreApplication::processEvents();
    Form1->RadioGroup1->setItemIndex(2); // "Artist - Song.mp3"
    Form1->UpdateFormatControls();

    auto click = [](QAbstractButton *button) {
        return [button] {
            button->click();
            QCoreApplication::processEvents();
        };
    };
    auto renamesBack = [](const QStringList &names) {
        bareio::renames(asideNames(names.size()), names);
    };
    const std::vector<Step> steps = {
        {"folder listing", "opendir/readdir/closedir",
         [&] {
             Form1->DirectoryListBox1->setDirectory(folder);
             QCoreApplication::processEvents();
         },
         [](const QStringList &) { bareio::readFolder(); }, [](const QStringList &) {}},
        {"TAG'EM!", "open/pread/pwrite/close 128 B", click(Form1->BitBtn1),
         [](const QStringList &names) { bareio::tagAccess(names, true); },
         [](const QStringList &) {}},
        {"Trim filename(s)", "rename + folder read", click(Form1->Button3),
         [](const QStringList &names) {
             bareio::renames(names, asideNames(names.size()));
             bareio::readFolder();
         },
         renamesBack},
        {"Rename from tags", "open/pread/close 128 B + rename + folder read", click(Form1->Button6),
         [](const QStringList &names) {
             bareio::tagAccess(names, false);
             bareio::renames(names, asideNames(names.size()));
             bareio::readFolder();
         },
         renamesBack},
    };

    std::printf("%d files in %s, each file-system call on them delayed %ld us\n"
                "(lseek, read and write counted, not delayed). Times count each wait as exactly\n"
                "the delay; in brackets as measured, with the machine's longer sleeps.\n\n",
                files, qPrintable(QDir::tempPath()), delayUs);
    std::printf("%-18s %18s %10s %18s %10s %7s\n", "", "ms (measured)", "calls/file",
                "bare ms (measured)", "calls/file", "ratio");
    for (const Step &step : steps) {
        Form1->Button2->click(); // "Select all"
        QCoreApplication::processEvents();
        const Measure command = slowly(shim, folder, delayUs, step.run);
        const QStringList after = listItems();
        if (after.size() != files)
            std::fprintf(stderr, "%s: %lld files listed\n", step.what,
                         static_cast<long long>(after.size()));
        const Measure bare = slowly(shim, folder, delayUs, [&] { step.baseline(after); });
        step.afterBaseline(after);
        std::printf("%-18s %8.0f (%7.0f) %10.2f %8.0f (%7.0f) %10.2f %6.2fx   %s\n", step.what,
                    command.ms, command.measuredMs, double(command.total()) / files, bare.ms,
                    bare.measuredMs, double(bare.total()) / files, command.ms / bare.ms, step.bare);
        std::printf("    command: %s\n    bare:    %s\n", qPrintable(callsPerFile(command, files)),
                    qPrintable(callsPerFile(bare, files)));
        std::fflush(stdout);
    }
    destroyWindows();
    QDir::setCurrent(previous);
    return 0;
}
