// The cost of reading a leading ID3v2 tag through TagLib beside the bare system calls that read
// the same bytes: opening the tag editor on one file with 2 MB of cover art, and "ID3v1 from
// ID3v2" on 10,000 files with an ordinary tag. Then tags of the reader's largest size made of
// 800,000 tiny frames, each read in a process of its own beside an empty tag: time and peak
// memory. Files go to $TMPDIR (default /tmp).
//   id3v2_bench [FILES]
#include "edittags.h"
#include "fromid3v2.h"
#include "id3v1fromid3v2.h"
#include "id3v2reader.h"
#include "memoryfilelist.h"
#include "nocommandquestions.h"
#include "questions.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace
{

// Processor time (user and system) of this process: on a shared machine it counts the work
// done, not the time spent waiting for a turn.
double cpuSeconds()
{
    timespec ts;
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// The best of rounds runs of each, taken in turns so that both meet the same load.
std::pair<double, double> bestOfEach(int rounds, const std::function<void()> &ours,
                                     const std::function<void()> &bare)
{
    double bestOurs = 1e100, bestBare = 1e100;
    for (int i = 0; i < rounds; ++i) {
        double t0 = cpuSeconds();
        bare();
        bestBare = std::min(bestBare, cpuSeconds() - t0);
        t0 = cpuSeconds();
        ours();
        bestOurs = std::min(bestOurs, cpuSeconds() - t0);
    }
    return {bestOurs, bestBare};
}

std::string synchsafe(std::size_t n)
{
    std::string s;
    for (int shift : {21, 14, 7, 0})
        s += char((n >> shift) & 0x7F);
    return s;
}

std::string frame(const char *id, const std::string &body)
{
    return std::string(id) + synchsafe(body.size()) + std::string(2, '\0') + body;
}

// A version 2.4 tag as taggers write it: text frames, a comment, a picture of pictureBytes and
// padding.
std::string id3v2Tag(std::size_t pictureBytes)
{
    std::string frames = frame("TIT2", std::string("\3A title of some length", 23));
    frames += frame("TPE1", std::string("\3The artist", 11));
    frames += frame("TALB", std::string("\3The album of the year", 22));
    frames += frame("TDRC", std::string("\3"
                                        "2003-05-01",
                                        11));
    frames += frame("TCON", std::string("\3(17)", 5));
    frames += frame("TRCK", std::string("\3"
                                        "4/12",
                                        5));
    frames += frame("COMM", std::string("\3eng\0A comment", 14));
    if (pictureBytes)
        frames += frame("APIC",
                        std::string("\0image/jpeg\0\3\0", 14) + std::string(pictureBytes, '\x5A'));
    frames += std::string(1024, '\0');
    return "ID3" + std::string("\4\0\0", 3) + synchsafe(frames.size()) + frames;
}

std::string audio()
{
    std::string a;
    for (int i = 0; i < 24; ++i) {
        std::string f(417, '\0');
        std::memcpy(f.data(), "\xFF\xFB\x90\x44", 4);
        a += f;
    }
    return a;
}

void writeFile(const std::string &name, const std::string &data)
{
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::write(fd, data.data(), data.size()) != ssize_t(data.size())) {
        std::perror(name.c_str());
        std::exit(1);
    }
    ::close(fd);
}

// What any reader of the tag must do: open, check the file, read the header, read the bytes it
// declares, close.
std::size_t bareRead(const std::string &name, std::vector<char> &buf)
{
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    char head[10];
    if (fd < 0 || ::fstat(fd, &st) != 0 || ::pread(fd, head, 10, 0) != 10)
        std::abort();
    const std::size_t size = 10 + ((std::size_t(head[6]) << 21) | (std::size_t(head[7]) << 14) |
                                   (std::size_t(head[8]) << 7) | std::size_t(head[9]));
    buf.resize(size);
    if (::pread(fd, buf.data(), size, 0) != ssize_t(size))
        std::abort();
    ::close(fd);
    return size;
}

// Opens the file for writing, reads where its last 128 bytes begin, writes 128 bytes there.
void bareWriteTag(const std::string &name)
{
    char tag[128];
    const int fd = ::open(name.c_str(), O_RDWR | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || ::pread(fd, tag, 3, st.st_size - 128) != 3 ||
        ::pwrite(fd, tag, 128, st.st_size - 128) != 128)
        std::abort();
    ::close(fd);
}

// What opening the tag editor reads, by bare calls: the first bytes and the ID3v1 tag, the
// audio header behind the ID3v2 tag, and the ID3v2 tag's bytes.
std::size_t bareEditorRead(const std::string &name, std::vector<char> &buf)
{
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    char head[4096], tag[128], frame[4];
    if (fd < 0 || ::fstat(fd, &st) != 0 || ::pread(fd, head, sizeof head, 0) != sizeof head ||
        ::pread(fd, tag, 128, st.st_size - 128) != 128)
        std::abort();
    const std::size_t size = 10 + ((std::size_t(head[6]) << 21) | (std::size_t(head[7]) << 14) |
                                   (std::size_t(head[8]) << 7) | std::size_t(head[9]));
    buf.resize(size);
    if (::pread(fd, frame, 4, off_t(size)) != 4 ||
        ::pread(fd, buf.data(), size, 0) != ssize_t(size))
        std::abort();
    ::close(fd);
    return size;
}

// The edit dialog, answered with Cancel at once.
struct NoDialog : NoCommandQuestions {
    std::optional<TagTexts> editTag(const TagEditView &view) override
    {
        sink = std::size_t(view.info.size());
        return std::nullopt;
    }
    std::size_t sink = 0;
};

// A tag of the reader's largest size (16 MiB, header included): `count` copies of one frame, then
// padding.
std::string tinyFrameTag(int major, const std::string &frame, int count)
{
    std::string body;
    body.reserve(std::size_t(kId3v2ReadLimit));
    for (int i = 0; i < count; ++i)
        body += frame;
    body.resize(std::size_t(kId3v2ReadLimit) - 10, '\0');
    return "ID3" + std::string(1, char(major)) + std::string(2, '\0') + synchsafe(body.size()) +
           body;
}

// The same tag with the unsynchronisation flag, each 0xFF followed by a zero byte.
std::string unsynchronisedTag(std::string tag)
{
    std::string out = tag.substr(0, 10);
    out[5] = char(0x80);
    for (std::size_t i = 10; i < tag.size() && out.size() < tag.size(); ++i) {
        out += tag[i];
        if (static_cast<unsigned char>(tag[i]) == 0xFF)
            out += '\0';
    }
    out.resize(tag.size(), '\0');
    return out;
}

std::string frame23(const char *id, const std::string &body)
{
    std::string size;
    for (int shift : {24, 16, 8, 0})
        size += char((body.size() >> shift) & 0xFF);
    return std::string(id) + size + std::string(2, '\0') + body;
}

std::string frame22(const char *id, const std::string &body)
{
    std::string size;
    for (int shift : {16, 8, 0})
        size += char((body.size() >> shift) & 0xFF);
    return std::string(id) + size + body;
}

struct TinyResult {
    double wall = 0, cpu = 0; // seconds
    long peakKiB = 0;         // growth of the peak resident set while reading
    std::string title;
};

double wallSeconds()
{
    timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// A line of /proc/self/status in KiB ("VmRSS:", "VmHWM:").
long statusKiB(const char *key)
{
    char buf[4096];
    const int fd = ::open("/proc/self/status", O_RDONLY);
    const ssize_t n = fd < 0 ? -1 : ::read(fd, buf, sizeof buf - 1);
    if (fd >= 0)
        ::close(fd);
    if (n <= 0)
        std::abort();
    buf[n] = '\0';
    const char *at = std::strstr(buf, key);
    return at ? std::atol(at + std::strlen(key)) : 0;
}

// Reads the file's ID3v2 tag and makes the ID3v1 fields, then prints the time it took and how
// much the peak resident set grew: what `id3v2_bench --read FILE` does in a fresh process.
int readAndReport(const std::string &name)
{
    const long before = statusKiB("VmRSS:");
    const double w0 = wallSeconds(), c0 = cpuSeconds();
    const Id3v2Info info = readId3v2(name);
    const Id3v1Fields fields = id3v1FieldsFromId3v2(info.text);
    const double cpu = cpuSeconds() - c0, wall = wallSeconds() - w0;
    std::printf("%.6f %.6f %ld %s\n", wall, cpu, statusKiB("VmHWM:") - before,
                fields.title.c_str());
    return 0;
}

// Runs readAndReport in a fresh process (this program again), so that nothing this process
// allocated before is reused.
TinyResult readInChild(const std::string &self, const std::string &name)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        std::abort();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], 1);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        ::execl(self.c_str(), self.c_str(), "--read", name.c_str(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    char line[256] = {};
    const ssize_t got = ::read(pipeFds[0], line, sizeof line - 1);
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    TinyResult r;
    char title[64] = {};
    if (got <= 0 ||
        std::sscanf(line, "%lf %lf %ld %63[^\n]", &r.wall, &r.cpu, &r.peakKiB, title) < 3)
        std::abort();
    r.title = title;
    return r;
}

void report(const char *what, int count, double ours, double bare)
{
    std::printf("%-34s %10.1f %10.1f %8.2f\n", what, ours * 1e6 / count, bare * 1e6 / count,
                ours / bare);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--read") == 0)
        return readAndReport(argv[2]);
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const char *tmp = std::getenv("TMPDIR");
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/trackling-bench-XXXXXX";
    if (!::mkdtemp(tmpl.data()))
        return 1;
    const std::string dir = tmpl;

    const std::string cover = dir + "/cover.mp3";
    writeFile(cover, id3v2Tag(2 * 1000 * 1000) + audio());
    std::vector<std::string> names;
    const std::string plain = id3v2Tag(0) + audio();
    for (int i = 0; i < count; ++i) {
        names.push_back(dir + "/" + std::to_string(i) + ". Song.mp3");
        writeFile(names.back(), plain);
    }

    std::vector<char> buf;
    std::size_t sink = 0;
    const int coverReads = 200, rounds = 9;

    // Opening the tag editor on the file with cover art, the dialog answered at once: the ID3v1
    // reader (with the audio header behind the ID3v2 tag) and the ID3v2 reader.
    NoDialog noDialog;
    const QString coverName = QString::fromStdString(cover);
    const auto editor = bestOfEach(
        rounds,
        [&] {
            for (int i = 0; i < coverReads; ++i)
                sink += editTagOfFile(ChangeContext{Folder::open(QDir::currentPath())}, coverName,
                                      noDialog);
        },
        [&] {
            for (int i = 0; i < coverReads; ++i)
                sink += bareEditorRead(cover, buf);
        });
    const auto cover2 = bestOfEach(
        rounds,
        [&] {
            for (int i = 0; i < coverReads; ++i)
                sink += id3v1FieldsFromId3v2(readId3v2(cover).text).title.size();
        },
        [&] {
            for (int i = 0; i < coverReads; ++i)
                sink += bareRead(cover, buf);
        });

    const auto read = bestOfEach(
        rounds,
        [&] {
            for (const auto &n : names)
                sink += readId3v2(n).text.title.size();
        },
        [&] {
            for (const auto &n : names)
                sink += bareRead(n, buf);
        });

    // "ID3v1 from ID3v2" on every file of the folder, through the walk and the tag-write door;
    // beside the bare calls that read the same bytes and write the 128.
    if (::chdir(dir.c_str()) != 0)
        return 1;
    MemoryFileList list;
    const auto command = bestOfEach(
        rounds,
        [&] {
            list.selectAll();
            sink += std::size_t(id3v1FromId3v2(here(), list).done);
        },
        [&] {
            for (const auto &n : names) {
                sink += bareRead(n, buf);
                bareWriteTag(n);
            }
        });

    std::printf("ID3v2 tags, best of %d rounds taken in turns, processor microseconds per file\n",
                rounds);
    std::printf("%-34s %10s %10s %8s\n", "", "trackling", "bare", "ratio");
    std::printf("%-34s\n", "one file with a 2 MB tag (cover art):");
    report("  open in the tag editor", coverReads, editor.first, editor.second);
    report("  read the ID3v2 tag, make fields", coverReads, cover2.first, cover2.second);
    std::printf("%-34s\n", (std::to_string(count) + " files with a 1.1 kB tag:").c_str());
    report("  read the ID3v2 tag", count, read.first, read.second);
    report("  ID3v1 from ID3v2", count, command.first, command.second);
    std::printf("target: ratio at most 2.00 (%zu)\n", sink % 10);

    // Tags of 800,000 tiny frames (20 bytes each) filling the reader's 16 MiB, beside an empty
    // tag of the same size, each read in a fresh process (the best of three).
    const int tiny = 800000;
    const std::string audioBytes = audio();
    const std::pair<const char *, std::string> shapes[] = {
        {"empty tag (16 MiB of padding)", tinyFrameTag(3, "", 0)},
        {"2.2, TT2 frames",
         tinyFrameTag(2, frame22("TT2", std::string("\0Tiny title 12", 14)), tiny)},
        {"2.3, TIT2 frames",
         tinyFrameTag(3, frame23("TIT2", std::string("\0Tiny title", 10)), tiny)},
        {"2.4, TIT2 frames", tinyFrameTag(4, frame("TIT2", std::string("\0Tiny title", 10)), tiny)},
        {"2.3 unsynchronised, TIT2 frames",
         unsynchronisedTag(tinyFrameTag(3, frame23("TIT2", std::string("\0Tiny\xFF\0", 7)), tiny))},
        {"2.3, COMM frames, described",
         tinyFrameTag(3, frame23("COMM", std::string("\0engd\0text", 10)), tiny)},
        {"2.3, COMM frames",
         tinyFrameTag(3, frame23("COMM", std::string("\0eng\0text1", 10)), tiny)},
        {"2.4, unknown frame IDs", tinyFrameTag(4, frame("XYZ1", std::string(10, 'u')), tiny)},
    };
    std::printf("\n16 MiB tags of %d tiny frames, read in a process of its own (best of 3)\n",
                tiny);
    std::printf("%-34s %10s %10s %12s\n", "", "wall ms", "cpu ms", "peak +MiB");
    const std::string tinyName = dir + "/tiny.mp3";
    long emptyKiB = 0;
    double worstWall = 0;
    long worstKiB = 0;
    for (const auto &[what, tag] : shapes) {
        writeFile(tinyName, tag + audioBytes);
        TinyResult best;
        best.wall = 1e100;
        for (int i = 0; i < 3; ++i) {
            const TinyResult r = readInChild("/proc/self/exe", tinyName);
            if (r.wall < best.wall)
                best = r;
        }
        if (emptyKiB == 0 && best.title.empty())
            emptyKiB = std::max(best.peakKiB, 1L);
        worstWall = std::max(worstWall, best.wall);
        worstKiB = std::max(worstKiB, best.peakKiB - emptyKiB);
        std::printf("%-34s %10.1f %10.1f %12.1f\n", what, best.wall * 1e3, best.cpu * 1e3,
                    double(best.peakKiB) / 1024.0);
    }
    ::unlink(tinyName.c_str());
    std::printf("target: at most 200 ms and 64 MiB more than the empty tag; worst %.1f ms, "
                "%.1f MiB more\n",
                worstWall * 1e3, double(worstKiB) / 1024.0);

    for (const auto &n : names)
        ::unlink(n.c_str());
    ::unlink(cover.c_str());
    ::rmdir(dir.c_str());
    return 0;
}
