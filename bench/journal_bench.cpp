// What the undo journal costs when tagging many files, measured in the same run on the same
// files: TAG'EM! itself without and with the journal (as the window runs it), and, to show where
// the cost lies, the bare tag writes with each block of files recorded in the journal (old and
// new 128 bytes) with one fdatasync before any of its tags is written, in two ways:
// - prepared: each file is opened and its old tag read once; the block is recorded, then each
//   tag is written through the file already open (what a tag door that hands the journal its
//   before-state ahead of the write costs);
// - read first: the old tags are read in a pass of their own, then the tag writer writes as
//   today (open, read, write again).
// Each is set beside the same writes without the journal; the journal's cost is then added to
// TAG'EM!'s time. TMPDIR chooses the file system (the journal is written there too).
//
//   bench_journal [files] [block sizes...]   (default: 10000 256 1024 0; 0 is the journal's
//   own schedule, 64 doubling to 4096)

#include "changerecorder.h"
#include "journal.h"
#include "memoryfilelist.h"
#include "nocommandquestions.h"
#include "questions.h"
#include "tagfile.h"
#include "tagsfromnames.h"
#include "tagworkspace.h"
#include "testfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const char kHeader[4] = {char(0xFF), char(0xFB), char(0x90), char(0x00)};

double millis(const std::function<void()> &run)
{
    QElapsedTimer timer;
    timer.start();
    run();
    return double(timer.nsecsElapsed()) / 1e6;
}

double cpuMillis()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// The wall-clock and CPU milliseconds of one run.
struct Times {
    double wall = 0;
    double cpu = 0;
};

Times timed(const std::function<void()> &run)
{
    const double cpu = cpuMillis();
    const double wall = millis(run);
    return {wall, cpuMillis() - cpu};
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void setFields()
{
    TagWorkspace &ws = tagWorkspace();
    ws.SongTitle = "Song";
    ws.SongArtist = "Band";
    ws.SongAlbum = "Album";
    ws.SongYear = "2001";
    ws.SongComment = "";
    ws.SongGenre = "Rock";
}

void writeTags(const std::vector<QByteArray> &paths, std::size_t from, std::size_t to)
{
    for (std::size_t i = from; i < to; ++i) {
        setFields();
        WriteTagFile(paths[i].toStdString());
    }
}

// The writes alone: open, read the last 128 bytes, write the new tag over them or after them.
void preparedTags(const std::vector<QByteArray> &paths, const QByteArray &newTag, Journal *journal,
                  std::size_t block)
{
    const std::uint64_t id = journal ? journal->beginCommand(QStringLiteral("TAG'EM!"), "/b") : 0;
    std::vector<int> fds;
    std::vector<JournalChange> changes;
    int n = 0;
    for (std::size_t from = 0, size; from < paths.size(); from += size) {
        size = block ? block : Journal::blockSize(n++);
        const std::size_t to = std::min(paths.size(), from + size);
        fds.clear();
        changes.clear();
        for (std::size_t i = from; i < to; ++i) {
            JournalTag c;
            c.path = paths[i];
            c.newTag = newTag;
            const int fd = ::open(paths[i].constData(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
            struct stat st;
            if (fd < 0 || ::fstat(fd, &st) != 0)
                std::abort();
            c.oldSize = st.st_size;
            c.oldLast.resize(128);
            if (::pread(fd, c.oldLast.data(), 128, st.st_size - 128) != 128)
                std::abort();
            c.appended = !c.oldLast.startsWith("TAG");
            fds.push_back(fd);
            changes.push_back(std::move(c));
        }
        if (journal)
            journal->record(id, changes);
        for (std::size_t k = 0; k < fds.size(); ++k) {
            const auto &c = std::get<JournalTag>(changes[k]);
            if (::pwrite(fds[k], newTag.constData(), 128,
                         c.appended ? c.oldSize : c.oldSize - 128) != 128)
                std::abort();
            ::close(fds[k]);
        }
    }
}

// Each block's old tags read and recorded ahead, then written by the tag writer, each write
// first checked against what was recorded (as the tag door does).
void journalledTags(Journal &journal, const std::vector<QByteArray> &paths,
                    const QByteArray &newTag, std::size_t block)
{
    ChangeRecorder recorder(journal, QStringLiteral("TAG'EM!"), "/bench");
    std::vector<JournalChange> changes;
    for (std::size_t from = 0, size; from < paths.size(); from += size) {
        size = block ? block : recorder.nextBlockSize();
        const std::size_t to = std::min(paths.size(), from + size);
        changes.clear();
        for (std::size_t i = from; i < to; ++i)
            if (const auto planned = plannedTagWrite(paths[i], newTag))
                changes.push_back(*planned);
        recorder.recordAhead(changes);
        for (std::size_t i = from; i < to; ++i) {
            recorder.beforeChange(changes[i - from]);
            setFields();
            WriteTagFile(paths[i].toStdString());
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
    std::vector<std::size_t> blocks;
    for (int i = 2; i < argc; ++i)
        blocks.push_back(std::size_t(QByteArray(argv[i]).toInt()));
    if (blocks.empty())
        blocks = {256, 1024, 0};
    // Prepared blocks hold their files open.
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        (void)::setrlimit(RLIMIT_NOFILE, &limit);
    }

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const QByteArray root = QFile::encodeName(dir.path());
    const QByteArray audio = testfiles::frames(kHeader, 1);
    std::vector<QByteArray> paths;
    for (int i = 0; i < files; ++i) {
        paths.push_back(root + "/band - song " + QByteArray::number(i) + ".mp3");
        testfiles::writeFile(QFile::decodeName(paths.back()), audio);
    }
    // The tag every file gets, as the writer makes it.
    writeTags(paths, 0, 1);
    const QByteArray newTag = testfiles::readFile(QFile::decodeName(paths[0])).right(128);

    Journal journal(root + "/state");
    std::printf("%d files in %s\n\n", files, root.constData());

    // TAG'EM! itself, through its command, without and with the journal (its doors record,
    // each block of files foreseen and flushed once).
    // Each round runs both, one after the other, and the ratio of each pair is kept too: the
    // machine's pace drifts between rounds more than within one.
    constexpr int kRounds = 15;
    std::vector<double> tagemWall, tagemCpu, journalledWall, journalledCpu, pairRatios;
    {
        const QByteArray previous = QFile::encodeName(QDir::currentPath());
        QDir::setCurrent(dir.path());
        NamingOptions options;
        options.pattern = PatternArtistSong;
        options.album = QStringLiteral("Album");
        options.year = QStringLiteral("2001");
        options.genre = QStringLiteral("Rock");
        NoCommandQuestions none;
        for (int round = 0; round < kRounds; ++round) {
            MemoryFileList list;
            list.selectAll();
            const Times plain = timed([&] { tagsFromFileNames(list, options, none); });
            list.selectAll();
            const Times journalled = timed([&] {
                ChangeRecorder recorder(journal, QStringLiteral("TAG'EM!"), root);
                RecorderScope scope(&recorder);
                tagsFromFileNames(list, options, none);
            });
            tagemWall.push_back(plain.wall);
            tagemCpu.push_back(plain.cpu);
            journalledWall.push_back(journalled.wall);
            journalledCpu.push_back(journalled.cpu);
            pairRatios.push_back(journalled.wall / plain.wall);
        }
        QDir::setCurrent(QFile::decodeName(previous));
    }
    const double tagem = median(tagemWall);
    const double tagemJournalled = median(journalledWall);

    // Alternate the runs and keep each one's best of three, so all meet the same cache.
    double prepared = 1e300, writer = 1e300;
    std::vector<double> preparedJ(blocks.size(), 1e300), writerJ(blocks.size(), 1e300);
    for (int round = 0; round < 5; ++round) {
        prepared = std::min(prepared, millis([&] { preparedTags(paths, newTag, nullptr, 1024); }));
        writer = std::min(writer, millis([&] { writeTags(paths, 0, paths.size()); }));
        for (std::size_t b = 0; b < blocks.size(); ++b) {
            preparedJ[b] = std::min(
                preparedJ[b], millis([&] { preparedTags(paths, newTag, &journal, blocks[b]); }));
            writerJ[b] = std::min(
                writerJ[b], millis([&] { journalledTags(journal, paths, newTag, blocks[b]); }));
        }
    }
    std::printf("%-36s %9s %9s %9s %11s\n", "", "ms", "journal", "ratio", "on TAG'EM!");
    std::printf("%-36s %9.1f\n", "TAG'EM!, no journal (median of 15)", tagem);
    std::printf("%-36s %9.1f %+9.1f %8.2fx %10.2fx\n", "TAG'EM!, journalled", tagemJournalled,
                tagemJournalled - tagem, tagemJournalled / tagem, tagemJournalled / tagem);
    const double cpu = median(tagemCpu), cpuJournalled = median(journalledCpu);
    std::printf("%-36s %9.1f\n", "  CPU time, no journal", cpu);
    std::printf("%-36s %9.1f %+9.1f %8.2fx\n", "  CPU time, journalled", cpuJournalled,
                cpuJournalled - cpu, cpuJournalled / cpu);
    std::printf("%-36s %39.2fx\n", "TAG'EM!, median ratio of the pairs", median(pairRatios));
    const auto flushes = [&](std::size_t b) {
        return blocks[b] ? "one flush per " + QByteArray::number(qulonglong(blocks[b]))
                         : QByteArray("growing blocks");
    };
    const auto line = [&](const QByteArray &label, double ms, double base) {
        std::printf("%-36s %9.1f %+9.1f %8.2fx %10.2fx\n", label.constData(), ms, ms - base,
                    ms / base, (tagem + ms - base) / tagem);
    };
    std::printf("%-36s %9.1f\n", "prepared writes, no journal", prepared);
    for (std::size_t b = 0; b < blocks.size(); ++b)
        line("prepared, " + flushes(b), preparedJ[b], prepared);
    std::printf("%-36s %9.1f\n", "tag writer, no journal", writer);
    for (std::size_t b = 0; b < blocks.size(); ++b)
        line("read first, " + flushes(b), writerJ[b], writer);
    std::printf("(target: at most 1.30x on TAG'EM!)\n\n");

    // The journal keeps the last 20 commands and drops older ones in one rewrite once 25 are
    // held. With 25 commands of this many files: that rewrite at the next command's first
    // change (on the GUI thread), or started on another thread when a command ends.
    const auto filledJournal = [&](const QByteArray &folder) {
        auto full = std::make_unique<Journal>(folder);
        for (int c = 0; c < 25; ++c) {
            const std::uint64_t id = full->beginCommand(QStringLiteral("TAG'EM!"), root);
            std::vector<JournalChange> changes;
            for (std::size_t i = 0; i < paths.size(); ++i)
                changes.push_back(JournalTag{paths[i], 417, newTag, false, newTag});
            full->record(id, changes);
        }
        return full;
    };
    const std::vector<JournalChange> one = {JournalTag{paths[0], 417, newTag, false, newTag}};
    double inlineMs = 0, laterMs = 0, waitedMs = 0;
    {
        auto full = filledJournal(root + "/full1");
        const std::uint64_t id = full->beginCommand(QStringLiteral("TAG'EM!"), root);
        inlineMs = millis([&] { full->record(id, one); });
    }
    {
        auto full = filledJournal(root + "/full2");
        laterMs = millis([&] { full->compactLater(); });
        const std::uint64_t id = full->beginCommand(QStringLiteral("TAG'EM!"), root);
        waitedMs = millis([&] { full->record(id, one); }); // at once: waits for the rewrite
    }
    std::printf("journal of 25 commands of %d files, dropping the oldest:\n", files);
    std::printf("  at the next command's first change   %9.1f ms\n", inlineMs);
    std::printf("  when a command ends: returns after   %9.1f ms (rewritten on another thread;\n"
                "  a command started at once waits      %9.1f ms)\n",
                laterMs, waitedMs);
    return 0;
}
