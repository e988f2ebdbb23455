// Reads and writes the tags of 10,000 files and compares the cost per file with a loop of the
// bare system calls on the same files.
#include "tagfile.h"
#include "tagworkspace.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

double bestOf(int rounds, const std::function<void()> &work)
{
    double best = 1e100;
    for (int i = 0; i < rounds; ++i) {
        const auto t0 = Clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return best;
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
    char tmpl[] = "/tmp/trackling-bench-XXXXXX";
    if (!::mkdtemp(tmpl))
        return 1;
    const std::vector<std::string> names = makeFiles(tmpl, count);

    TagWorkspace &ws = tagWorkspace();
    ws.SongTitle = "A title";
    ws.SongArtist = "An artist";
    ws.SongGenre = "Rock";
    const int rounds = 5;
    const double bareR = bestOf(rounds, [&] { bareRead(names); });
    const double readT = bestOf(rounds, [&] {
        for (const auto &n : names)
            ReadTagFile(n);
    });
    const double bareW = bestOf(rounds, [&] { bareWrite(names); });
    const double writeT = bestOf(rounds, [&] {
        for (const auto &n : names)
            WriteTagFile(n);
    });

    auto us = [count](double s) { return s * 1e6 / count; };
    std::printf("%d files, best of %d rounds, microseconds per file\n", count, rounds);
    std::printf("%-12s %10s %10s %8s\n", "", "trackling", "bare", "ratio");
    std::printf("%-12s %10.2f %10.2f %8.2f\n", "read tag", us(readT), us(bareR), readT / bareR);
    std::printf("%-12s %10.2f %10.2f %8.2f\n", "write tag", us(writeT), us(bareW), writeT / bareW);
    std::printf("target: ratio at most 2.00\n");

    for (const auto &n : names)
        ::unlink(n.c_str());
    ::rmdir(tmpl);
    return 0;
}
