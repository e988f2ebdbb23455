// trackling-cli on 10,000 files beside the bare system calls each command needs, in the same run
// on the same files: show, edit, tag (TAG'EM!) and tidy. Each round runs every command's program
// and its bare loop one right after the other; the medians of the CPU time (user and system, of
// the program's every thread) are printed, with the targets. Where kid3-cli is installed, it
// does the same work (its select and get, set, and totag, formerly fromfilename, commands over
// the folder, on its tag 1, the ID3v1 tag) and the time per file of both is compared; without it
// that part is skipped. Beside them, the same
// command run by the window's code in this process (CommandSession over a list of the folder's
// files, no output): what the command costs before the CLI tells of it.
//   bench_cli [files] [rounds]   (default: 10000 5; TMPDIR picks the file system, the undo
//   journal is written there too)
#include "edittags.h"
#include "folder.h"
#include "folderscan.h"
#include "memoryfilelist.h"
#include "questions.h"
#include "session.h"
#include "tidy.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace
{

struct Cost {
    double cpu = 0;  // seconds of processor time, user and system
    double wall = 0; // seconds
};

double now(clockid_t clock)
{
    timespec t;
    ::clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

[[noreturn]] void die(const char *what)
{
    std::perror(what);
    std::exit(1);
}

// A program run to its end with its output to /dev/null; its processor time from wait4.
Cost runProgram(const std::vector<std::string> &args, const std::string &cwd, int *status = nullptr)
{
    std::vector<char *> argv;
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    const double t0 = now(CLOCK_MONOTONIC);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        die(argv[0]);
    posix_spawn_file_actions_destroy(&actions);
    int st = 0;
    rusage usage{};
    if (::wait4(pid, &st, 0, &usage) != pid)
        die("wait4");
    Cost cost;
    cost.wall = now(CLOCK_MONOTONIC) - t0;
    cost.cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    if (status)
        *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return cost;
}

Cost measure(const std::function<void()> &work)
{
    const double c0 = now(CLOCK_PROCESS_CPUTIME_ID), w0 = now(CLOCK_MONOTONIC);
    work();
    return {now(CLOCK_PROCESS_CPUTIME_ID) - c0, now(CLOCK_MONOTONIC) - w0};
}

// The benchmark's files: 24 frames of MPEG-1 layer III at 128 kbit (10 KB), as most files of a
// collection begin them, some with an ID3v1 tag.
std::string audio()
{
    std::string data;
    for (int i = 0; i < 24; ++i) {
        std::string frame(417, '\0');
        std::memcpy(frame.data(), "\xFF\xFB\x90\x44", 4);
        data += frame;
    }
    return data;
}

std::string nameOf(int i)
{
    char name[64];
    std::snprintf(name, sizeof name, "%02d band - song %05d.mp3", i % 100, i);
    return name;
}

void writeFile(const std::string &path, const std::string &data)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, data.data(), data.size()) != ssize_t(data.size()))
        die(path.c_str());
    ::close(fd);
}

std::vector<std::string> listFolder(const std::string &folder)
{
    std::vector<std::string> names;
    DIR *dir = ::opendir(folder.c_str());
    if (!dir)
        die(folder.c_str());
    while (dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.')
            names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// The look at a name that the program makes before it opens or renames what the name holds: a
// file swapped for a FIFO or a device is never opened, a file replaced since is not renamed.
void lookAt(int dirfd, const std::string &name)
{
    struct statx st;
    if (::statx(dirfd, name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &st) != 0)
        die(name.c_str());
}

// The bare calls of show: the folder read, and for each file what the tag editor's view needs
// (the audio from its start, whose frames the editor counts, with the ID3v2 header before them;
// the last 128 bytes), one line written. The files are opened as the program opens them, so that
// reading leaves their access time (it would cost each read an inode write).
void bareShow(const std::string &folder, std::FILE *out, bool look = false)
{
    const int dirfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    static char audio[256 * 1024];
    char tag[128];
    for (const std::string &name : listFolder(folder)) {
        if (look)
            lookAt(dirfd, name);
        const int fd = ::openat(dirfd, name.c_str(), O_RDONLY | O_NOATIME | O_CLOEXEC);
        struct stat st;
        if (fd < 0 || ::fstat(fd, &st) != 0)
            die(name.c_str());
        const ssize_t n = ::pread(fd, audio, sizeof audio, 0);
        if (n < 4 || ::pread(fd, tag, 128, st.st_size - 128) != 128)
            die(name.c_str());
        ::close(fd);
        std::fprintf(out, "%s\n  Title:   %.30s\n  Size: %lld bytes\n", name.c_str(), tag + 3,
                     static_cast<long long>(st.st_size));
    }
    ::close(dirfd);
}

// What the undo journal costs a command at least: its records (the old and the new state of
// each file) written a block at a time and flushed before the block's changes; the blocks grow
// as the journal's do (64 files, doubling up to 4096).
class BareJournal
{
public:
    explicit BareJournal(const std::string &path)
    {
        m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (m_fd < 0)
            die(path.c_str());
    }
    ~BareJournal() { ::close(m_fd); }
    // Records the block of files from at on, when at starts one; returns where the next starts.
    void before(std::size_t at, std::size_t total, std::size_t recordBytes)
    {
        if (at != m_next)
            return;
        const std::size_t n = std::min(total - at, std::size_t(64) << std::min(m_blocks++, 6));
        const std::string records(n * recordBytes, 'r');
        if (::write(m_fd, records.data(), records.size()) != ssize_t(records.size()) ||
            ::fdatasync(m_fd) != 0)
            die("journal");
        m_next = at + n;
    }

private:
    int m_fd = -1;
    std::size_t m_next = 0;
    int m_blocks = 0;
};

// The bare calls of a tag write on every file (edit and tag): the folder read, the journal's
// records, and for each file open, size, its last 128 bytes read, 128 bytes written, close.
// With lookFirst, each block's files are also looked at ahead of its records (opened, their last
// 128 bytes read, closed), as the undo journal's plan must to record them before the block
// changes, and each name is looked at before it is opened: the floor of a command whose old
// bytes are recorded ahead.
void bareTag(const std::string &folder, const std::string &journal, bool lookFirst = false)
{
    const int dirfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::vector<std::string> names = listFolder(folder);
    BareJournal log(journal);
    char tag[128];
    const auto openAndRead = [&](const std::string &name, int flags, struct stat &st) {
        if (lookFirst)
            lookAt(dirfd, name);
        const int fd = ::openat(dirfd, name.c_str(), flags | O_NOATIME | O_CLOEXEC);
        if (fd < 0 || ::fstat(fd, &st) != 0 || ::pread(fd, tag, 128, st.st_size - 128) != 128)
            die(name.c_str());
        return fd;
    };
    std::size_t looked = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        for (const std::size_t to = std::min(names.size(), i + 64); lookFirst && looked < to;
             ++looked) {
            struct stat st;
            ::close(openAndRead(names[looked], O_RDONLY, st));
        }
        log.before(i, names.size(), 2 * 128 + 64 + folder.size() + names[i].size());
        struct stat st;
        const int fd = openAndRead(names[i], O_RDWR, st);
        const off_t at = std::memcmp(tag, "TAG", 3) == 0 ? st.st_size - 128 : st.st_size;
        std::memcpy(tag, "TAG", 3);
        if (::pwrite(fd, tag, 128, at) != 128)
            die(names[i].c_str());
        ::close(fd);
    }
    ::close(dirfd);
}

// The bare calls of tidy: the folder read, the journal's records, one rename per file (to the
// name given, or back).
// With look, each name is also looked at when its block is planned (the journal records which
// file it is) and again right before its rename.
void bareRenames(const std::string &folder, const std::vector<std::string> &to,
                 const std::string &journal, bool look = false)
{
    const int dirfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::vector<std::string> from = listFolder(folder);
    BareJournal log(journal);
    std::size_t planned = 0;
    for (std::size_t i = 0; i < from.size() && i < to.size(); ++i) {
        for (const std::size_t end = std::min(from.size(), i + 64); look && planned < end;
             ++planned)
            lookAt(dirfd, from[planned]);
        log.before(i, from.size(), 64 + folder.size() + from[i].size() + to[i].size());
        if (look)
            lookAt(dirfd, from[i]);
        if (::renameat2(dirfd, from[i].c_str(), dirfd, to[i].c_str(), RENAME_NOREPLACE) != 0)
            die(from[i].c_str());
    }
    ::fsync(dirfd);
    ::close(dirfd);
}

bool onPath(const char *program)
{
    const char *path = std::getenv("PATH");
    std::string dirs = path ? path : "";
    std::size_t from = 0;
    while (from <= dirs.size()) {
        const std::size_t to = std::min(dirs.find(':', from), dirs.size());
        const std::string candidate = dirs.substr(from, to - from) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0)
            return true;
        from = to + 1;
    }
    return false;
}

// The answers the CLI gives, for the window's code run here.
struct Answers : CommandQuestions {
    std::optional<QString> askText(const QString &, const QString &, const QString &i, int) override
    {
        return i;
    }
    std::optional<TagTexts> editTag(const TagEditView &view) override
    {
        TagTexts tag = view.tag;
        tag.comment = QStringLiteral("bench");
        return tag;
    }
    std::optional<LongTitleAnswer> askLongTitle(const LongTitleQuestion &) override
    {
        return std::nullopt;
    }
    std::optional<QString> askSaveFileName(const QString &, const QString &p, const QString &,
                                           const QString &) override
    {
        return p;
    }
    std::optional<QString> askExistingDirectory(const QString &, const QString &s) override
    {
        return s;
    }
    void showError(const QString &) override {}
};

// The command as the window runs it, on every file of the folder.
void inProcess(CommandKind kind, const std::string &folder)
{
    const QString path = QString::fromStdString(folder);
    MemoryFileList list(scanFolder(path, QStringLiteral("*.mp3")).files.toStringList());
    list.selectAll();
    CommandSession session;
    CommandRequest request;
    request.kind = kind;
    request.folder = Folder::open(path);
    request.files = &list;
    request.naming.album = QStringLiteral("Album");
    request.naming.genre = QStringLiteral("Rock");
    request.naming.year = QStringLiteral("    ");
    Answers answers;
    session.run(request, answers);
}

// show's reading, as the edit dialog reads each file.
void inProcessShow(const std::string &folder)
{
    const QString path = QString::fromStdString(folder);
    const Folder open = Folder::open(path);
    for (const QString &name : scanFolder(path, QStringLiteral("*.mp3")).files.toStringList())
        (void)readTagEditView(open, name);
}

struct Row {
    const char *command;
    std::vector<double> cli, bare, cliWall, bareWall, window;
    double target;
};

void print(const Row &row, int files)
{
    const double cli = median(row.cli), bare = median(row.bare), window = median(row.window);
    std::printf("%-6s %9.1f %9.1f %8.2fx %8.2fx %8.1f %7.2fx  %-4s %9.1f %8.2fx %8.2fx\n",
                row.command, cli * 1e3, bare * 1e3, cli / bare,
                median(row.cliWall) / median(row.bareWall), cli * 1e6 / files, row.target,
                cli / bare <= row.target ? "ok" : "OVER", window * 1e3, window / bare,
                cli / window);
}

} // namespace

int main(int argc, char *argv[])
{
    const int files = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const char *tmp = std::getenv("TMPDIR");
    std::string base = std::string(tmp && *tmp ? tmp : "/tmp") + "/bench_cli.XXXXXX";
    if (!::mkdtemp(base.data()))
        die("mkdtemp");
    const std::string folder = base + "/Band - Album";
    const std::string state = base + "/state";
    ::mkdir(folder.c_str(), 0755);
    ::mkdir(state.c_str(), 0700);
    ::setenv("XDG_STATE_HOME", state.c_str(), 1);
    const std::string data = audio();
    std::vector<std::string> names;
    for (int i = 0; i < files; ++i) {
        names.push_back(nameOf(i));
        // Every other file tagged already: the tag is overwritten there, appended elsewhere.
        std::string tag(128, ' ');
        std::memcpy(tag.data(), "TAGTitle", 8);
        tag[127] = 17;
        writeFile(folder + "/" + names.back(), i % 2 ? data + tag : data);
    }
    const std::string cli = TRACKLING_CLI;
    const std::string bareJournal = base + "/bare-journal";
    std::FILE *devNull = std::fopen("/dev/null", "w");

    std::vector<std::string> original = names, tidied;
    std::sort(original.begin(), original.end());
    for (const std::string &name : names)
        tidied.push_back(tidyName(QString::fromStdString(name), 0).toStdString());
    std::sort(tidied.begin(), tidied.end());

    Row show{"show", {}, {}, {}, {}, {}, 1.3}, edit{"edit", {}, {}, {}, {}, {}, 1.5},
        tag{"tag", {}, {}, {}, {}, {}, 1.5}, tidy{"tidy", {}, {}, {}, {}, {}, 1.3};
    // Each command's three runs (the program, its bare calls, the window's code), in an order
    // that turns from round to round, so that none always finds the caches as another left them.
    // Tidy's start from the original names, which are put back after each, untimed.
    const auto timeRound = [&](Row &row, int round, const std::vector<std::string> &args,
                               const std::function<void()> &bare, CommandKind kind, bool renames) {
        const auto restore = [&] {
            if (renames && listFolder(folder) != original)
                bareRenames(folder, original, bareJournal);
        };
        const std::function<void()> runs[3] = {
            [&] {
                int status = 0;
                const Cost cost = runProgram(args, base, &status);
                if (status != 0)
                    std::fprintf(stderr, "%s ended with %d\n", row.command, status);
                row.cli.push_back(cost.cpu);
                row.cliWall.push_back(cost.wall);
            },
            [&] {
                const Cost cost = measure(bare);
                row.bare.push_back(cost.cpu);
                row.bareWall.push_back(cost.wall);
            },
            [&] {
                row.window.push_back(measure([&] {
                                         if (row.command == std::string("show"))
                                             inProcessShow(folder);
                                         else
                                             inProcess(kind, folder);
                                     }).cpu);
            },
        };
        for (int i = 0; i < 3; ++i) {
            restore();
            runs[(round + i) % 3]();
        }
        restore();
    };
    for (int round = 0; round < rounds; ++round) {
        timeRound(
            show, round, {cli, "show", folder}, [&] { bareShow(folder, devNull); },
            CommandKind::EditTags, false);
        timeRound(
            edit, round, {cli, "edit", "--comment", "bench", folder},
            [&] { bareTag(folder, bareJournal); }, CommandKind::EditTags, false);
        timeRound(
            tag, round, {cli, "tag", "--album", "Album", "--genre", "rock", folder},
            [&] { bareTag(folder, bareJournal); }, CommandKind::TagsFromNames, false);
        timeRound(
            tidy, round, {cli, "tidy", folder}, [&] { bareRenames(folder, tidied, bareJournal); },
            CommandKind::TidyNames, true);
    }

    std::printf("trackling-cli on %d files, %d rounds: medians of the processor time (user and "
                "system, every thread), in ms\n",
                files, rounds);
    std::printf("%-6s %9s %9s %9s %9s %8s %8s %14s %9s %9s\n", "", "cli", "bare", "ratio", "wall",
                "us/file", "target", "window's code", "/bare", "cli/it");
    for (const Row *row : {&show, &edit, &tag, &tidy})
        print(*row, files);
    // The bare calls with the looks the program's rules add: each name looked at before it is
    // opened or renamed, and a write's old bytes read a block ahead, as the journal records them
    // before the block changes. The least the commands can cost as they are meant to work.
    std::vector<double> showLooking, tagLooking, tidyLooking;
    for (int round = 0; round < rounds; ++round) {
        showLooking.push_back(measure([&] { bareShow(folder, devNull, true); }).cpu);
        tagLooking.push_back(measure([&] { bareTag(folder, bareJournal, true); }).cpu);
        tidyLooking.push_back(measure([&] { bareRenames(folder, tidied, bareJournal, true); }).cpu);
        bareRenames(folder, original, bareJournal);
    }
    std::printf("\nthe bare calls with the looks the program makes (the name before each open or "
                "rename,\nthe old bytes a block ahead), in ms, and each command beside them:\n");
    const auto floorOf = [&](const Row &row, const std::vector<double> &looking) {
        const double floor = median(looking);
        std::printf("%-6s %9.1f %8.2fx the bare calls   %s %.2fx that\n", row.command, floor * 1e3,
                    floor / median(row.bare), row.command, median(row.cli) / floor);
    };
    floorOf(show, showLooking);
    floorOf(edit, tagLooking);
    floorOf(tag, tagLooking);
    floorOf(tidy, tidyLooking);

    if (onPath("kid3-cli")) {
        // One round: kid3-cli takes seconds where trackling-cli takes milliseconds. Its tag 1 is
        // the ID3v1 tag; it saves what it changed when it ends.
        const auto kid3 = [&](const std::string &command) {
            return runProgram({"kid3-cli", "-c", "select all", "-c", command, folder}, base);
        };
        const Cost get = kid3("get all 1");
        const Cost set = kid3("set comment bench 1");
        const Cost names = kid3("totag '%{track} %{title}' 1");
        std::printf("\nkid3-cli on the same folder (processor time, ms; wall clock in brackets),\n"
                    "per file beside trackling-cli (target: at least 5x faster):\n");
        const auto compare = [&](const char *what, const Cost &k, const Row &ours) {
            const double t = median(ours.cli);
            std::printf("%-34s %9.1f (%8.1f) %9.1f   %6.1fx  %s\n", what, k.cpu * 1e3, k.wall * 1e3,
                        t * 1e3, k.cpu / t, k.cpu / t >= 5 ? "ok" : "UNDER 5x");
        };
        compare("select all, get all 1 / show", get, show);
        compare("select all, set comment 1 / edit", set, edit);
        compare("select all, totag 1 / tag", names, tag);
    } else {
        std::printf("\nkid3-cli is not installed: the comparison with it is skipped\n");
    }
    std::fclose(devNull);
    std::string remove = "rm -rf '" + base + "'";
    return std::system(remove.c_str()) == 0 ? 0 : 1;
}
