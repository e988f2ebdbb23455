// Start-up time and peak memory of Trackling on a folder of 10,000 MP3 files, beside a bare Qt
// window of the same size started the same way (offscreen platform), in the same run.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{

struct Run {
    double seconds;
    long maxRssKiB;
    int listed;
};

Run runProbe(const QByteArray &probe, const char *mode, const QString &folder)
{
    int pipeFd[2];
    if (pipe(pipeFd) != 0)
        return {0, 0, -1};
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFd[1], 1);
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
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {seconds, usage.ru_maxrss, -1};
    return {seconds, usage.ru_maxrss, listed};
}

template <typename T> T median(std::vector<T> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    const int files = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
    const QByteArray probe =
        QFile::encodeName(QFileInfo(QString::fromLocal8Bit(argv[0])).absolutePath() +
                          QStringLiteral("/bench_startup_probe"));

    QTemporaryDir dir;
    QByteArray content(417, '\0'); // one MPEG-1 layer III frame, 128 kbit/s, 44.1 kHz
    content[0] = char(0xFF);
    content[1] = char(0xFB);
    content[2] = char(0x90);
    for (int i = 0; i < files; ++i) {
        QFile f(dir.filePath(QStringLiteral("%1. Artist %2 - Song title %1.mp3")
                                 .arg(i, 5, 10, QLatin1Char('0'))
                                 .arg(i % 97)));
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
            return 1;
    }

    std::vector<double> tTime, bTime;
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
        tTime.push_back(t.seconds);
        bMem.push_back(b.maxRssKiB);
        tMem.push_back(t.maxRssKiB);
    }
    const double tt = median(tTime), bt = median(bTime);
    const long tm = median(tMem), bm = median(bMem);
    std::printf("Start-up until the window is shown, %d MP3 files in the folder, median of %d runs"
                " (offscreen)\n\n",
                files, rounds);
    std::printf("%-22s %12s %16s\n", "", "time (ms)", "peak memory (MiB)");
    std::printf("%-22s %12.1f %16.1f\n", "bare Qt window", bt * 1000, bm / 1024.0);
    std::printf("%-22s %12.1f %16.1f\n", "Trackling", tt * 1000, tm / 1024.0);
    std::printf("%-22s %12.2f %16.2f\n", "ratio", tt / bt, double(tm) / double(bm));
    std::printf("%-22s %12s %16s\n", "target", "<= 1.50", "<= 1.30");
    return 0;
}
