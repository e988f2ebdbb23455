// Reads and writes the tags of 10,000 files and compares the cost per file with a loop of the
// bare system calls on the same files, in CPU time. Each round times all four loops one after
// the other, so that a round's ratios share the machine's state; the medians are printed.
//   bench_tagcore [files] [rounds]   (default: 10000 9; TMPDIR picks the file system)
#include "tagfile.h"
#include "tagworkspace.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

// CPU time of this thread, in the kernel and out: unlike the wall clock it does not count the
// time other programs had the processor, so ratios hold on a busy machine too.
double cpuSeconds()
{
    timespec t;
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double seconds(const std::function<void()> &work)
{
    const double t0 = cpuSeconds();
    work();
    return cpuSeconds() - t0;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::vector<std::string> makeFiles(const std::string &dir, int count)
{
    // 24 frames of MPEG-1 layer III at 128 kbit, then a tag.
    std::string file;
    for (int i = 0; i < 24; ++i) {
        std::string frame(417, '\0');
        std::memcpy(frame.data(), "\xFF\xFB\x90\x44", 4);
        file += frame;
    }
    std::string tag(128, ' ');
    std::memcpy(tag.data(), "TAGTitle", 8);
    tag[127] = 17;
    file += tag;

    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        names.push_back(dir + "/" + std::to_string(i) + ". Song.mp3");
        const int fd = ::open(names.back().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::write(fd, file.data(), file.size()) != ssize_t(file.size())) {
            std::perror("write");
            std::exit(1);
        }
        ::close(fd);
    }
    return names;
}

void bareRead(const std::vector<std::string> &names)
{
    char head[4], tag[128];
    for (const auto &n : names) {
        const int fd = ::open(n.c_str(), O_RDONLY);
        struct stat st;
        ::fstat(fd, &st);
        if (::pread(fd, head, 4, 0) != 4 || ::pread(fd, tag, 128, st.st_size - 128) != 128)
            std::abort();
        ::close(fd);
    }
}

void bareWrite(const std::vector<std::string> &names)
{
    char tag[128];
    for (const auto &n : names) {
        const int fd = ::open(n.c_str(), O_RDWR);
        const off_t size = ::lseek(fd, 0, SEEK_END);
        if (::pread(fd, tag, 3, size - 128) != 3 || ::pwrite(fd, tag, 128, size - 128) != 128)
            std::abort();
        ::close(fd);
    }
}

} // namespace

int main(int argc, char **argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;
    const char *tmp = std::getenv("TMPDIR");
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/trackling-bench-XXXXXX";
    if (!::mkdtemp(tmpl.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::vector<std::string> names = makeFiles(tmpl, count);

    TagWorkspace &ws = tagWorkspace();
    ws.SongTitle = "A title";
    ws.SongArtist = "An artist";
    ws.SongGenre = "Rock";
    std::vector<double> bareR, readT, bareW, writeT, readRatio, writeRatio;
    for (int i = 0; i < rounds; ++i) {
        bareR.push_back(seconds([&] { bareRead(names); }));
        readT.push_back(seconds([&] {
            for (const auto &n : names)
                ReadTagFile(n);
        }));
        bareW.push_back(seconds([&] { bareWrite(names); }));
        writeT.push_back(seconds([&] {
            for (const auto &n : names)
                WriteTagFile(n);
        }));
        readRatio.push_back(readT.back() / bareR.back());
        writeRatio.push_back(writeT.back() / bareW.back());
    }

    auto us = [count](double s) { return s * 1e6 / count; };
    std::printf("%d files in %s, median of %d rounds, CPU microseconds per file\n", count,
                tmpl.c_str(), rounds);
    std::printf("%-12s %10s %10s %8s %8s\n", "", "trackling", "bare", "ratio", "target");
    std::printf("%-12s %10.2f %10.2f %8.2f %8.2f\n", "read tag", us(median(readT)),
                us(median(bareR)), median(readRatio), 1.3);
    std::printf("%-12s %10.2f %10.2f %8.2f %8.2f\n", "write tag", us(median(writeT)),
                us(median(bareW)), median(writeRatio), 1.5);
    std::printf("targets: read at most 1.3x, write at most 1.5x the bare system calls\n");

    for (const auto &n : names)
        ::unlink(n.c_str());
    ::rmdir(tmpl.c_str());
    return 0;
}
