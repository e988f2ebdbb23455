// Start-up with many FILE arguments: the program (offscreen) is started with 3 files of a folder of
// 3, with 50,000 files that do not exist, with 50,000 files of another folder, and with all 50,000
// files of a folder of as many (which it also lists), and runs until its window and any message
// box are up (--report-start). Each is timed beside the 3 files, in the same run; median of the
// rounds, wall clock and peak memory.
//
//   bench_startup_arguments [count] [-r rounds] [-p program]   (default: 50000, 5 rounds, the
//                                        program built beside it; TMPDIR picks the file system)
#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{

struct Run {
    double seconds = 0;
    long maxRssKiB = 0;
    bool ok = false;
};

QByteArray program(TRACKLING_BINARY);

Run runProgram(const QByteArray &folder, const std::vector<QByteArray> &args)
{
    std::vector<char *> argv;
    QByteArray report("--report-start");
    argv.push_back(program.data());
    argv.push_back(report.data());
    std::vector<QByteArray> own = args;
    for (QByteArray &arg : own)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int quiet = open("/dev/null", O_WRONLY);
        if (quiet >= 0) {
            dup2(quiet, 1);
            dup2(quiet, 2);
        }
        if (chdir(folder.constData()) != 0)
            _exit(126);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Run run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.maxRssKiB = usage.ru_maxrss;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

template <typename T> T median(std::vector<T> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool makeFile(const QByteArray &path)
{
    QByteArray frame(417, '\0'); // one MPEG-1 layer III frame, 128 kbit/s, 44.1 kHz
    frame[0] = char(0xFF);
    frame[1] = char(0xFB);
    frame[2] = char(0x90);
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, frame.constData(), std::size_t(frame.size())) == frame.size();
    return ::close(fd) == 0 && written;
}

QByteArray numbered(const char *format, int i)
{
    char name[64];
    std::snprintf(name, sizeof name, format, i);
    return QByteArray(name);
}

} // namespace

int main(int argc, char *argv[])
{
    int count = 50000;
    int rounds = 5;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-r") == 0 && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "-p") == 0 && i + 1 < argc)
            program = argv[++i];
        else
            count = std::max(1, std::atoi(argv[i]));
    }
    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path());
    for (const char *sub : {"/here", "/other", "/full"}) {
        if (!dir.isValid() || ::mkdir(root + sub, 0755) != 0)
            return 1;
    }
    for (const char *name : {"here/a.mp3", "here/b.mp3", "here/c.mp3"}) {
        if (!makeFile(root + '/' + name))
            return 1;
    }
    std::vector<QByteArray> few{"a.mp3", "b.mp3", "c.mp3"};
    std::vector<QByteArray> missing, elsewhere{"a.mp3"}, present;
    for (int i = 0; i < count; ++i) {
        missing.push_back(numbered("missing %05d.mp3", i));
        const QByteArray other = numbered("../other/%05d.mp3", i);
        const QByteArray own = numbered("%05d. Song.mp3", i);
        if (!makeFile(root + "/here/" + other) || !makeFile(root + "/full/" + own))
            return 1;
        elsewhere.push_back(other);
        present.push_back(own);
    }
    ::sync();
    const QByteArray folder = root + "/here";

    struct Case {
        const char *label;
        const std::vector<QByteArray> *args;
        QByteArray folder;
    };
    // The last starts in a folder of as many files, so it also lists them.
    const Case cases[] = {{"missing files", &missing, folder},
                          {"files of another folder", &elsewhere, folder},
                          {"files of a full folder", &present, root + "/full"}};
    std::printf("Start-up with FILE arguments until the window and its message box are up, "
                "beside 3 files;\nmedian of %d runs (offscreen), folder in %s\n\n",
                rounds, qPrintable(QDir::tempPath()));
    std::printf("%-24s %7s %9s %9s %7s %9s %9s %7s\n", "arguments", "count", "3 ms", "ms", "ratio",
                "3 MiB", "MiB", "ratio");
    runProgram(folder, few); // warm the caches once
    for (const Case &c : cases) {
        std::vector<double> fewTime, manyTime;
        std::vector<long> fewMem, manyMem;
        for (int r = 0; r < rounds; ++r) {
            const Run a = runProgram(folder, few);
            const Run b = runProgram(c.folder, *c.args);
            if (!a.ok || !b.ok) {
                std::fprintf(stderr, "the program failed (%s)\n", c.label);
                return 1;
            }
            fewTime.push_back(a.seconds);
            manyTime.push_back(b.seconds);
            fewMem.push_back(a.maxRssKiB);
            manyMem.push_back(b.maxRssKiB);
        }
        const double ft = median(fewTime), mt = median(manyTime);
        const long fm = median(fewMem), mm = median(manyMem);
        std::printf("%-24s %7zu %9.1f %9.1f %6.2fx %9.1f %9.1f %6.2fx\n", c.label, c.args->size(),
                    ft * 1000, mt * 1000, mt / ft, fm / 1024.0, mm / 1024.0,
                    double(mm) / double(fm));
        std::fflush(stdout);
    }
    std::printf("\ntarget: 50,000 missing files within 1 s, the cost linear in their number\n");
    return 0;
}
