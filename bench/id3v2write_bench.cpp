// "ID3v2 from ID3v1" on 1,000 files (each 200 KB of audio behind an ID3v2.3 tag, an ID3v1 tag
// whose title differs), through the command as the window runs it (journalled), beside the bare
// system calls of the same work in one run:
// - in place (the tag has 4 KiB of padding): beside opening each file, reading its tag, writing
//   it back and closing it;
// - a new file (the tag has no room): beside a `cp` of the same files into another folder of
//   the same file system.
// Where mid3v2 (mutagen) or kid3-cli are installed, they do the same work on the same files.
// TMPDIR chooses the file system.
//
//   bench_id3v2_write [files] [rounds]   (default: 1000 5)

#include "folder.h"
#include "memoryfilelist.h"
#include "nocommandquestions.h"
#include "session.h"
#include "testfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const char kHeader[4] = {char(0xFF), char(0xFB), char(0x90), char(0x44)};

QByteArray syncsafe(int n)
{
    QByteArray out;
    for (int i = 3; i >= 0; --i)
        out += char((n >> (7 * i)) & 0x7F);
    return out;
}

QByteArray textFrame(const QByteArray &id, const QByteArray &text)
{
    const QByteArray body = '\0' + text;
    QByteArray size;
    for (int i = 3; i >= 0; --i)
        size += char((body.size() >> (8 * i)) & 0xFF);
    return id + size + QByteArray(2, '\0') + body;
}

QByteArray fileBytes(int padding, const QByteArray &audio)
{
    const QByteArray frames =
        textFrame("TIT2", "Old title") + textFrame("TPE1", "Artist") + QByteArray(padding, '\0');
    return "ID3" + QByteArray("\x03\x00\x00", 3) + syncsafe(int(frames.size())) + frames + audio +
           testfiles::id3v1("A new title, longer than the old", "Artist");
}

double millis(const std::function<void()> &run)
{
    QElapsedTimer timer;
    timer.start();
    run();
    return double(timer.nsecsElapsed()) / 1e6;
}

void makeFiles(const QString &folder, const QByteArray &bytes, int files)
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    for (int i = 0; i < files; ++i)
        testfiles::writeFile(
            folder + QStringLiteral("/song %1.mp3").arg(i, 4, 10, QLatin1Char('0')), bytes);
    ::sync();
}

double command(const QString &folder, const QByteArray &state)
{
    CommandSession session(state);
    MemoryFileList list(MemoryFileList::itemsOf(folder));
    list.selectAll();
    NoCommandQuestions none;
    CommandRequest request;
    request.kind = CommandKind::Id3v2FromId3v1;
    request.folder = Folder::open(folder);
    request.files = &list;
    int done = 0;
    const double ms = millis([&] { done = session.run(request, none).done; });
    if (done != int(list.items().size()))
        std::fprintf(stderr, "only %d of %d written\n", done, int(list.items().size()));
    return ms;
}

// Open, read the tag, write it back over itself, close: what an in-place write cannot do less.
double bareInPlace(const QString &folder, int tagSize)
{
    const QStringList names = MemoryFileList::itemsOf(folder);
    QByteArray tag(tagSize, '\0');
    return millis([&] {
        for (const QString &name : names) {
            const int fd =
                ::open(QFile::encodeName(folder + '/' + name).constData(), O_RDWR | O_NOATIME);
            if (fd < 0 || ::pread(fd, tag.data(), std::size_t(tag.size()), 0) != tag.size() ||
                ::pwrite(fd, tag.constData(), std::size_t(tag.size()), 0) != tag.size())
                std::abort();
            ::close(fd);
        }
    });
}

// The same with the looks the program makes: each file's tag and last 128 bytes read a block
// ahead (what the journal records, and what the new tag is rendered from), and each name looked
// at before it is opened, so that a FIFO or a device swapped in is never opened.
double bareInPlaceLooking(const QString &folder, int tagSize)
{
    const QStringList names = MemoryFileList::itemsOf(folder);
    QByteArray tag(tagSize, '\0');
    char last[128];
    const int dirfd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    const auto open = [&](const QString &name, int flags) {
        const QByteArray encoded = QFile::encodeName(name);
        struct statx st;
        if (::statx(dirfd, encoded.constData(), 0, STATX_BASIC_STATS, &st) != 0)
            std::abort();
        const int fd = ::openat(dirfd, encoded.constData(), flags | O_NOATIME);
        if (fd < 0 || ::pread(fd, tag.data(), std::size_t(tag.size()), 0) != tag.size())
            std::abort();
        return std::make_pair(fd, std::int64_t(st.stx_size));
    };
    const double ms = millis([&] {
        for (qsizetype from = 0; from < names.size(); from += 64) {
            const qsizetype to = std::min(names.size(), from + 64);
            for (qsizetype i = from; i < to; ++i) {
                const auto [fd, size] = open(names[i], O_RDONLY);
                if (::pread(fd, last, sizeof last, size - 128) != 128)
                    std::abort();
                ::close(fd);
            }
            for (qsizetype i = from; i < to; ++i) {
                const int fd = open(names[i], O_RDWR).first;
                if (::pwrite(fd, tag.constData(), std::size_t(tag.size()), 0) != tag.size())
                    std::abort();
                ::close(fd);
            }
        }
    });
    ::close(dirfd);
    return ms;
}

// The bare calls of a new file in the place of each: a new head (the tag and 1 KiB of padding)
// into a file created beside it, the rest copied after it, flushed where sync says, renamed over
// the original; the folder flushed at the end.
double bareNewFiles(const QString &folder, int oldHeadSize, bool sync)
{
    const QStringList names = MemoryFileList::itemsOf(folder);
    const QByteArray head(oldHeadSize + 1024, '\0');
    const int dirfd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    const double ms = millis([&] {
        for (const QString &name : names) {
            const QByteArray encoded = QFile::encodeName(name), temp = '.' + encoded + ".new";
            const int in = ::openat(dirfd, encoded.constData(), O_RDONLY | O_NOATIME);
            const int out = ::openat(dirfd, temp.constData(), O_RDWR | O_CREAT | O_EXCL, 0644);
            struct stat st;
            if (in < 0 || out < 0 || ::fstat(in, &st) != 0 ||
                ::pwrite(out, head.constData(), std::size_t(head.size()), 0) != head.size())
                std::abort();
            loff_t from = oldHeadSize, to = head.size();
            for (std::int64_t left = st.st_size - oldHeadSize; left > 0;) {
                const ssize_t n = ::copy_file_range(in, &from, out, &to, std::size_t(left), 0);
                if (n <= 0)
                    std::abort();
                left -= n;
            }
            if ((sync && ::fdatasync(out) != 0) ||
                ::renameat(dirfd, temp.constData(), dirfd, encoded.constData()) != 0)
                std::abort();
            ::close(in);
            ::close(out);
        }
        ::fsync(dirfd);
    });
    ::close(dirfd);
    return ms;
}

double run(const QString &program, const QStringList &arguments)
{
    return millis([&] {
        QProcess p;
        p.start(program, arguments);
        p.waitForFinished(-1);
    });
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? QByteArray(argv[1]).toInt() : 1000;
    const int rounds = argc > 2 ? QByteArray(argv[2]).toInt() : 5;
    QTemporaryDir dir;
    const QString root = dir.path();
    const QByteArray audio = testfiles::frames(kHeader, 480); // about 200 KB
    const QString music = root + "/music", copy = root + "/copy";
    const QStringList names = [&] {
        QStringList out;
        for (int i = 0; i < files; ++i)
            out << QStringLiteral("song %1.mp3").arg(i, 4, 10, QLatin1Char('0'));
        return out;
    }();
    const QString mid3v2 = QStandardPaths::findExecutable(QStringLiteral("mid3v2"));
    const QString kid3 = QStandardPaths::findExecutable(QStringLiteral("kid3-cli"));

    std::vector<double> inPlace, inPlaceBare, inPlaceLooking, inPlacePlain, newFile, newFileCp,
        newFileCpSync, newFileBare, newFileBareSync, mutagen, kid3cli;
    testfiles::writeFile(root + "/no-journal", "a file where the journal's folder would be");
    for (int r = 0; r < rounds; ++r) {
        const QByteArray padded = fileBytes(4096, audio);
        makeFiles(music, padded, files);
        inPlaceBare.push_back(bareInPlace(music, 10 + 4096 + 40));
        inPlaceLooking.push_back(bareInPlaceLooking(music, 10 + 4096 + 40));
        inPlace.push_back(command(music, QFile::encodeName(root + "/state")));
        makeFiles(music, padded, files);
        inPlacePlain.push_back(command(music, QFile::encodeName(root + "/no-journal/state")));

        makeFiles(music, fileBytes(0, audio), files);
        QDir(copy).removeRecursively();
        QDir().mkpath(copy);
        QStringList cpArgs;
        for (const QString &name : names)
            cpArgs << music + '/' + name;
        cpArgs << copy;
        newFileCp.push_back(run(QStringLiteral("cp"), cpArgs));
        QDir(copy).removeRecursively();
        QDir().mkpath(copy);
        ::sync();
        newFileCpSync.push_back(run(QStringLiteral("cp"), cpArgs) + millis([] { ::sync(); }));
        ::sync(); // nothing of the copies left to write back while the command flushes its files
        newFile.push_back(command(music, QFile::encodeName(root + "/state")));
        const int oldHead = int(fileBytes(0, audio).size() - audio.size() - 128);
        makeFiles(music, fileBytes(0, audio), files);
        newFileBare.push_back(bareNewFiles(music, oldHead, false));
        makeFiles(music, fileBytes(0, audio), files);
        newFileBareSync.push_back(bareNewFiles(music, oldHead, true));

        if (!mid3v2.isEmpty()) {
            makeFiles(music, fileBytes(0, audio), files);
            QStringList args{QStringLiteral("--song=A new title, longer than the old")};
            for (const QString &name : names)
                args << music + '/' + name;
            mutagen.push_back(run(mid3v2, args));
        }
        if (!kid3.isEmpty()) {
            makeFiles(music, fileBytes(0, audio), files);
            kid3cli.push_back(run(kid3, {QStringLiteral("-c"), QStringLiteral("select all"),
                                         QStringLiteral("-c"), QStringLiteral("copy 1"),
                                         QStringLiteral("-c"), QStringLiteral("paste 2"),
                                         QStringLiteral("-c"), QStringLiteral("save"), music}));
        }
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[v.size() / 2];
    };
    std::printf("%d files of %d KB in %s, median of %d rounds\n\n", files,
                int(fileBytes(0, audio).size() / 1024), qPrintable(root), rounds);
    std::printf("%-44s %10s %10s %8s %8s\n", "", "ms", "bare ms", "ratio", "target");
    std::printf("%-44s %10.1f %10.1f %7.2fx %7.2fx\n",
                "in place (4 KiB padding), beside read+write", median(inPlace), median(inPlaceBare),
                median(inPlace) / median(inPlaceBare), 1.5);
    std::printf("%-44s %10.1f %10.1f %7.2fx\n", "  the same without the journal",
                median(inPlacePlain), median(inPlaceBare),
                median(inPlacePlain) / median(inPlaceBare));
    std::printf("%-44s %10.1f %10.1f %7.2fx\n", "  the bare calls with the program's looks",
                median(inPlaceLooking), median(inPlaceBare),
                median(inPlaceLooking) / median(inPlaceBare));
    std::printf("%-44s %10.1f %10.1f %7.2fx\n", "  without the journal, beside those",
                median(inPlacePlain), median(inPlaceLooking),
                median(inPlacePlain) / median(inPlaceLooking));
    std::printf("%-44s %10.1f %10.1f %7.2fx %7.2fx\n", "a new file (no room), beside cp",
                median(newFile), median(newFileCp), median(newFile) / median(newFileCp), 1.2);
    std::printf("%-44s %10.1f %10.1f %7.2fx\n", "  beside cp, then sync (both on disk)",
                median(newFile), median(newFileCpSync), median(newFile) / median(newFileCpSync));
    std::printf("%-44s %10.1f %10.1f %7.2fx\n", "  bare new files renamed over, beside cp",
                median(newFileBare), median(newFileCp), median(newFileBare) / median(newFileCp));
    std::printf("%-44s %10.1f %10.1f %7.2fx\n", "  the same, each flushed first, beside cp",
                median(newFileBareSync), median(newFileCp),
                median(newFileBareSync) / median(newFileCp));
    std::printf("%-44s %10.1f %10.1f %7.2fx\n", "  the command beside those", median(newFile),
                median(newFileBareSync), median(newFile) / median(newFileBareSync));
    if (!mutagen.empty())
        std::printf("%-44s %10.1f %10.1f %7.2fx\n", "mid3v2 (mutagen), the new-file work",
                    median(mutagen), median(newFile), median(mutagen) / median(newFile));
    else
        std::printf("mid3v2 not installed: not run\n");
    if (!kid3cli.empty())
        std::printf("%-44s %10.1f %10.1f %7.2fx\n", "kid3-cli, the new-file work", median(kid3cli),
                    median(newFile), median(kid3cli) / median(newFile));
    else
        std::printf("kid3-cli not installed: not run\n");
    return 0;
}
