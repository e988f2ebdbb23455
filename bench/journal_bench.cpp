// What the undo journal costs, measured in the same run on the same files:
// - TAG'EM! on many files through its command, without and with the journal (each block of files
//   prepared and recorded with one flush on the worker while the one before is written), as
//   wall-clock and CPU time and as the median of paired rounds;
// - with a journal that holds one command of a million files beside an empty one: how long
//   opening the journal, a one-file TAG'EM! and its undo take, and how much memory they add.
// TMPDIR chooses the file system (the journal is written there too).
//
//   bench_journal [files] [big command's files]   (default: 10000 1000000)

#include "folder.h"
#include "journal.h"
#include "memoryfilelist.h"
#include "nocommandquestions.h"
#include "questions.h"
#include "session.h"
#include "tagsfromnames.h"
#include "testfiles.h"
#include "undo.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
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

NamingOptions options()
{
    NamingOptions o;
    o.pattern = PatternArtistSong;
    o.album = QStringLiteral("Album");
    o.year = QStringLiteral("2001");
    o.genre = QStringLiteral("Rock");
    return o;
}

// Runs step in a child process and returns its milliseconds and the peak memory (KiB) it added
// to what the child had before: each measure starts from the same, fresh process.
struct Cost {
    double ms = 0;
    long kib = 0;
};

Cost inChild(const std::function<void()> &before, const std::function<void()> &step)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        before();
        struct rusage start;
        ::getrusage(RUSAGE_SELF, &start);
        Cost cost;
        cost.ms = millis(step);
        struct rusage end;
        ::getrusage(RUSAGE_SELF, &end);
        cost.kib = end.ru_maxrss - start.ru_maxrss;
        (void)::write(fds[1], &cost, sizeof cost);
        ::_exit(0);
    }
    ::close(fds[1]);
    Cost cost;
    (void)::read(fds[0], &cost, sizeof cost);
    ::close(fds[0]);
    ::waitpid(child, nullptr, 0);
    return cost;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
    const int bigFiles = argc > 2 ? QByteArray(argv[2]).toInt() : 1000000;

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const QByteArray root = QFile::encodeName(dir.path());
    const QByteArray music = root + "/music";
    QDir().mkpath(QFile::decodeName(music));
    const QByteArray audio = testfiles::frames(kHeader, 1);
    for (int i = 0; i < files; ++i)
        testfiles::writeFile(
            QFile::decodeName(music + "/band - song " + QByteArray::number(i) + ".mp3"), audio);
    std::printf("%d files in %s\n\n", files, music.constData());

    // TAG'EM! itself, without and with the journal. Each round runs both, one after the other;
    // the ratio of each pair is kept too: the machine's pace drifts between rounds more than
    // within one.
    constexpr int kRounds = 15;
    std::vector<double> plainWall, plainCpu, journalledWall, journalledCpu, pairRatios;
    {
        const Folder folder = Folder::open(music);
        QDir::setCurrent(QFile::decodeName(music));
        NoCommandQuestions none;
        CommandSession session(root + "/state");
        for (int round = 0; round < kRounds; ++round) {
            MemoryFileList list;
            list.selectAll();
            const Times plain = timed([&] { tagsFromFileNames(folder, list, options(), none); });
            list.selectAll();
            CommandRequest request;
            request.kind = CommandKind::TagsFromNames;
            request.folder = folder;
            request.files = &list;
            request.naming = options();
            const Times journalled = timed([&] { session.run(request, none); });
            plainWall.push_back(plain.wall);
            plainCpu.push_back(plain.cpu);
            journalledWall.push_back(journalled.wall);
            journalledCpu.push_back(journalled.cpu);
            pairRatios.push_back(journalled.wall / plain.wall);
        }
    }
    const double tagem = median(plainWall), tagemJournalled = median(journalledWall);
    std::printf("%-40s %9s %9s %9s\n", "", "ms", "journal", "ratio");
    std::printf("%-40s %9.1f\n", "TAG'EM!, no journal (median of 15)", tagem);
    std::printf("%-40s %9.1f %+9.1f %8.2fx\n", "TAG'EM!, journalled", tagemJournalled,
                tagemJournalled - tagem, tagemJournalled / tagem);
    const double cpu = median(plainCpu), cpuJournalled = median(journalledCpu);
    std::printf("%-40s %9.1f\n", "  CPU time, no journal", cpu);
    std::printf("%-40s %9.1f %+9.1f %8.2fx\n", "  CPU time, journalled", cpuJournalled,
                cpuJournalled - cpu, cpuJournalled / cpu);
    std::printf("%-40s %29.2fx\n", "TAG'EM!, median ratio of the pairs", median(pairRatios));
    std::printf("(target: at most 1.30x)\n\n");

    // A journal holding one command of bigFiles files (its records made as TAG'EM! makes them),
    // beside an empty journal: opening it, a one-file TAG'EM! and its undo.
    const QByteArray empty = root + "/empty-state", full = root + "/full-state";
    {
        Journal journal(full);
        auto log = journal.startCommand(QStringLiteral("TAG'EM!"), music);
        const QByteArray tag = testfiles::id3v1("Song", "Band");
        std::vector<std::pair<int, JournalChange>> block;
        for (int i = 0; i < bigFiles; ++i) {
            block.emplace_back(i,
                               JournalTag{music + "/band - song " + QByteArray::number(i) + ".mp3",
                                          417, audio.right(128), true, tag});
            if (block.size() == 4096 || i + 1 == bigFiles) {
                log->record(block);
                for (const auto &[index, change] : block)
                    log->made(index);
                block.clear();
            }
        }
    }
    const QByteArray one = music + "/one.mp3";
    const auto oneFile = [&] {
        testfiles::writeFile(QFile::decodeName(one), audio);
        MemoryFileList list(QStringList{"one.mp3"});
        list.selectAll();
        return list;
    };
    struct Row {
        const char *what;
        Cost empty, full;
    };
    std::vector<Row> rows;
    for (const auto &[what, step] : std::vector<std::pair<const char *, int>>{
             {"opening the journal", 0}, {"one-file TAG'EM!", 1}, {"its undo", 2}}) {
        Row row{what, {}, {}};
        for (const QByteArray &state : {empty, full}) {
            CommandSession *session = nullptr;
            MemoryFileList list;
            NoCommandQuestions none;
            const auto prepare = [&] {
                session = new CommandSession(state);
                list = oneFile();
                if (step >= 1)
                    (void)session->journal();
                if (step == 2) {
                    CommandRequest request;
                    request.kind = CommandKind::TagsFromNames;
                    request.folder = Folder::open(music);
                    request.files = &list;
                    request.naming = options();
                    session->run(request, none);
                }
            };
            const auto measured = [&] {
                if (step == 0) {
                    (void)session->journal();
                } else if (step == 1) {
                    CommandRequest request;
                    request.kind = CommandKind::TagsFromNames;
                    request.folder = Folder::open(music);
                    request.files = &list;
                    request.naming = options();
                    session->run(request, none);
                } else {
                    (void)session->undo(music, none);
                }
            };
            (state == empty ? row.empty : row.full) = inChild(prepare, measured);
        }
        rows.push_back(row);
    }
    std::printf("with a journal of one %d-file command, beside an empty journal:\n", bigFiles);
    std::printf("%-24s %12s %12s %12s %12s\n", "", "empty ms", "full ms", "empty KiB", "full KiB");
    for (const Row &row : rows)
        std::printf("%-24s %12.1f %12.1f %12ld %12ld\n", row.what, row.empty.ms, row.full.ms,
                    row.empty.kib, row.full.kib);
    std::printf("(target: each at most 1 s and 100 MB more than with the empty journal)\n");
    return 0;
}
