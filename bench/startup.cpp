// Start-up time and peak memory of Trackling on folders of MP3 files, beside a bare Qt window of
// the same size started the same way (offscreen platform), in the same run, and beside a bare
// listing of the same folder (getdents64 in large batches, each name copied, no sort): the time
// Trackling takes beyond the bare window set beside the work it cannot avoid. Two shapes of names:
// unique from the first bytes on ("00042. Artist 42 - Song title 00042.mp3"), and the shape of a
// real album folder, where every name shares a long start ("01. Artist Name - Song Title
// 00042.mp3").
//
//   bench_startup [files...] [-r rounds]   (default: 1000 10000 100000, 7 rounds; TMPDIR picks
//                                           the file system)
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{

struct Run {
    double seconds;
    double cpuSeconds; // user and system, all threads
    long maxRssKiB;
    int listed;
};

Run runProbe(const QByteArray &probe, const char *mode, const QString &folder)
{
    int pipeFd[2];
    if (pipe(pipeFd) != 0)
        return {0, 0, 0, -1};
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFd[1], 1);
        const int quiet = open("/dev/null", O_WRONLY); // Qt's start-up notes
        if (quiet >= 0)
            dup2(quiet, 2);
        close(pipeFd[0]);
        close(pipeFd[1]);
        if (chdir(QFile::encodeName(folder).constData()) != 0)
            _exit(126);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        execl(probe.constData(), probe.constData(), mode, static_cast<char *>(nullptr));
        _exit(127);
    }
    close(pipeFd[1]);
    char buffer[64] = {};
    const ssize_t n = read(pipeFd[0], buffer, sizeof buffer - 1);
    close(pipeFd[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const int listed = n > 0 ? std::atoi(buffer) : -1;
    const double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {seconds, cpu, usage.ru_maxrss, -1};
    return {seconds, cpu, usage.ru_maxrss, listed};
}

// The bare listing: the folder's entries read in large batches, each name copied, not sorted.
double bareListing(const QString &folder, int &names)
{
    const auto start = std::chrono::steady_clock::now();
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    std::vector<char> batch(256 * 1024);
    std::vector<std::string> copied;
    for (long n; fd >= 0 && (n = ::syscall(SYS_getdents64, fd, batch.data(), batch.size())) > 0;) {
        for (long at = 0; at < n;) {
            const auto *entry = reinterpret_cast<const dirent64 *>(batch.data() + at);
            at += entry->d_reclen;
            copied.emplace_back(entry->d_name);
        }
    }
    if (fd >= 0)
        ::close(fd);
    names = int(copied.size());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

template <typename T> T median(std::vector<T> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Shape {
    const char *label;
    QByteArray (*name)(int i);
};

const Shape kShapes[] = {
    {"unique prefixes",
     [](int i) {
         char name[64];
         std::snprintf(name, sizeof name, "%05d. Artist %d - Song title %05d.mp3", i, i % 97, i);
         return QByteArray(name);
     }},
    {"shared prefixes",
     [](int i) {
         char name[64];
         std::snprintf(name, sizeof name, "01. Artist Name - Song Title %05d.mp3", i);
         return QByteArray(name);
     }},
};

// Fills the folder with files of the given shape, made in a shuffled order so the folder does not
// hand the names back sorted.
bool makeFiles(const QString &folder, const Shape &shape, int files)
{
    QByteArray content(417, '\0'); // one MPEG-1 layer III frame, 128 kbit/s, 44.1 kHz
    content[0] = char(0xFF);
    content[1] = char(0xFB);
    content[2] = char(0x90);
    std::vector<int> order(static_cast<std::size_t>(files));
    for (int i = 0; i < files; ++i)
        order[std::size_t(i)] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(42));
    const QByteArray prefix = QFile::encodeName(folder) + '/';
    for (int i : order) {
        const QByteArray path = prefix + shape.name(i);
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0)
            return false;
        const bool written =
            ::write(fd, content.constData(), std::size_t(content.size())) == content.size();
        if (::close(fd) != 0 || !written)
            return false;
    }
    // Written out before the runs, so that no writing back of the new files runs beside them.
    ::sync();
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    std::vector<int> counts;
    int rounds = 7;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-r") == 0 && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else
            counts.push_back(std::atoi(argv[i]));
    }
    if (counts.empty())
        counts = {1000, 10000, 100000};
    const QByteArray probe =
        QFile::encodeName(QFileInfo(QString::fromLocal8Bit(argv[0])).absolutePath() +
                          QStringLiteral("/bench_startup_probe"));

    std::printf("Start-up until the window is shown and painted, beside a bare Qt window;\n"
                "median of %d runs (offscreen), folders in %s\n\n",
                rounds, qPrintable(QDir::tempPath()));
    std::printf("%-16s %7s %9s %9s %7s %7s %9s %9s %7s %7s %9s %9s %7s\n", "names", "files",
                "bare ms", "ms", "ratio", "paired", "bare MiB", "MiB", "ratio", "CPU", "list ms",
                "beyond", "/list");
    for (const Shape &shape : kShapes) {
        for (int files : counts) {
            QTemporaryDir dir;
            if (!dir.isValid() || !makeFiles(dir.path(), shape, files)) {
                std::fprintf(stderr, "cannot make %d files in %s\n", files,
                             qPrintable(QDir::tempPath()));
                return 1;
            }
            std::vector<double> tTime, bTime, tCpu, bCpu, paired, listing, beyond;
            std::vector<long> tMem, bMem;
            runProbe(probe, "bare", dir.path()); // warm the caches once for both
            runProbe(probe, "trackling", dir.path());
            for (int r = 0; r < rounds; ++r) {
                const Run b = runProbe(probe, "bare", dir.path());
                const Run t = runProbe(probe, "trackling", dir.path());
                if (b.listed < 0 || t.listed != files) {
                    std::fprintf(stderr, "probe failed (listed %d of %d)\n", t.listed, files);
                    return 1;
                }
                bTime.push_back(b.seconds);
                bCpu.push_back(b.cpuSeconds);
                tCpu.push_back(t.cpuSeconds);
                tTime.push_back(t.seconds);
                paired.push_back(t.seconds / b.seconds);
                int names = 0;
                listing.push_back(bareListing(dir.path(), names));
                beyond.push_back(t.seconds - b.seconds);
                bMem.push_back(b.maxRssKiB);
                tMem.push_back(t.maxRssKiB);
            }
            const double tt = median(tTime), bt = median(bTime);
            const double tc = median(tCpu), bc = median(bCpu);
            const long tm = median(tMem), bm = median(bMem);
            const double lt = median(listing), beyondMs = median(beyond) * 1000;
            std::printf("%-16s %7d %9.1f %9.1f %6.2fx %6.2fx %9.1f %9.1f %6.2fx %6.2fx %9.1f "
                        "%9.1f %6.2fx\n",
                        shape.label, files, bt * 1000, tt * 1000, tt / bt, median(paired),
                        bm / 1024.0, tm / 1024.0, double(tm) / double(bm), tc / bc, lt * 1000,
                        beyondMs, beyondMs / (lt * 1000));
            std::fflush(stdout);
        }
    }
    std::printf(
        "\ntargets with shared prefixes at 100,000 files: the time beyond the bare window at most\n"
        "2.00x the bare listing (beyond, /list), memory at most 1.30x the bare window's\n"
        "(paired: the median of the ratios of runs made one right after the other, less swayed\n"
        "by a machine whose speed drifts; CPU: the ratio of the processes' user and system "
        "time;\nbeyond: the median of each run's time less the bare window's just before it)\n");
    return 0;
}
