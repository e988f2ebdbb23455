#include "bareio.h"

#include <QElapsedTimer>
#include <QFile>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace bareio
{

const char kHeader[4] = {char(0xFF), char(0xFB), char(0x90), char(0x00)};

QString nameOf(int i)
{
    return QStringLiteral("band - song %1.mp3").arg(i, 5, 10, QLatin1Char('0'));
}

std::string encoded(const QString &name)
{
    return QFile::encodeName(name).toStdString();
}

double millis(const std::function<void()> &run)
{
    QElapsedTimer timer;
    timer.start();
    run();
    return double(timer.nsecsElapsed()) / 1e6;
}

void tagAccess(const QStringList &names, bool write)
{
    char buf[128];
    for (const QString &name : names) {
        const int fd = ::open(encoded(name).c_str(), (write ? O_RDWR : O_RDONLY) | O_NOATIME);
        if (fd < 0)
            continue;
        const off_t end = ::lseek(fd, 0, SEEK_END);
        if (::pread(fd, buf, sizeof buf, end - 128) == 128 && write)
            (void)::pwrite(fd, buf, sizeof buf, end - 128);
        ::close(fd);
    }
}

void renames(const QStringList &from, const QStringList &to)
{
    for (qsizetype i = 0; i < from.size(); ++i)
        (void)::rename(encoded(from[i]).c_str(), encoded(to[i]).c_str());
}

int readFolder()
{
    DIR *dir = ::opendir(".");
    if (!dir)
        return -1;
    int names = 0;
    while (::readdir(dir))
        ++names;
    ::closedir(dir);
    return names;
}

void printScaling(const std::vector<Timing> &all, int smallFiles, int largeFiles, int width)
{
    std::printf("\nscaling %d -> %d files (%.0fx):\n", smallFiles, largeFiles,
                double(largeFiles) / smallFiles);
    for (const Timing &small : all) {
        if (small.files != smallFiles)
            continue;
        for (const Timing &large : all)
            if (large.files == largeFiles && std::string(large.command) == small.command)
                std::printf("%-*s command %6.1fx   bare %6.1fx\n", width, small.command,
                            large.commandMs / small.commandMs, large.bareMs / small.bareMs);
    }
}

} // namespace bareio
