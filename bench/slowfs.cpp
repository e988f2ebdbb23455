// A slow disk for benchmarks, loaded with LD_PRELOAD: between slowfs_begin and slowfs_end, every
// file-system call on the given folder (a path inside it, a relative path, or a descriptor opened
// so) waits a fixed delay before it runs, as on a network share where each call is a round trip,
// and is counted. lseek, read and write on descriptors are counted but not delayed (a share
// client caches them); the call names are those of the C library the programs call, each
// counted under its own name.
//
//   slowfs_begin(folder, microseconds); ... slowfs_end(); slowfs_calls(&names, &counts);
//   slowfs_slept_ns()
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

#define SLOWFS_CALLS(X)                                                                            \
    X(open)                                                                                        \
    X(open64)                                                                                      \
    X(openat)                                                                                      \
    X(openat64) X(__open_2) X(__open64_2) X(__openat_2) X(__openat64_2) X(creat) X(close) X(stat)  \
        X(stat64) X(lstat) X(lstat64) X(fstat) X(fstat64) X(fstatat) X(fstatat64) X(statx)         \
            X(access) X(faccessat) X(pread) X(pread64) X(pwrite) X(pwrite64) X(read) X(write)      \
                X(lseek) X(lseek64) X(rename) X(renameat) X(renameat2) X(unlink) X(unlinkat)       \
                    X(ftruncate) X(ftruncate64) X(fsync) X(fdatasync) X(opendir) X(fdopendir)      \
                        X(closedir)
#define SLOWFS_ENUM(name) k_##name,
enum Call { SLOWFS_CALLS(SLOWFS_ENUM) kCalls };
#define SLOWFS_NAME(name) #name,
const char *const kNames[] = {SLOWFS_CALLS(SLOWFS_NAME)};

std::atomic<bool> g_on{false};
std::atomic<long> g_delayNs{1000000};
std::atomic<long> g_counts[kCalls];
std::atomic<long long> g_sleptNs{0};
std::string g_root; // with a trailing "/"; set while off
constexpr int kMaxFd = 1 << 16;
std::atomic<bool> g_onShare[kMaxFd];

template <typename F> F real(const char *name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}
#define REAL(name) static const auto real_##name = real<decltype(&::name)>(#name)

bool pathOnShare(int dirfd, const char *path)
{
    if (!path)
        return false;
    if (path[0] != '/')
        return dirfd == AT_FDCWD || (dirfd >= 0 && dirfd < kMaxFd && g_onShare[dirfd]);
    return std::strncmp(path, g_root.c_str(), g_root.size()) == 0 ||
           g_root.compare(0, g_root.size() - 1, path) == 0;
}

bool fdOnShare(int fd)
{
    return fd >= 0 && fd < kMaxFd && g_onShare[fd];
}

void markFd(int fd, bool on)
{
    if (fd >= 0 && fd < kMaxFd)
        g_onShare[fd] = on;
}

// Counts the call and waits, when on and the call is on the share.
bool slow(Call call, bool onShare, bool delay = true)
{
    if (!g_on || !onShare)
        return false;
    ++g_counts[call];
    if (delay) {
        const int saved = errno;
        const long ns = g_delayNs;
        timespec start{}, end{};
        clock_gettime(CLOCK_MONOTONIC, &start);
        timespec t{ns / 1000000000, ns % 1000000000};
        while (nanosleep(&t, &t) != 0 && errno == EINTR) {
        }
        clock_gettime(CLOCK_MONOTONIC, &end);
        g_sleptNs += (end.tv_sec - start.tv_sec) * 1000000000LL + (end.tv_nsec - start.tv_nsec);
        errno = saved;
    }
    return true;
}

int opened(int fd, bool onShare)
{
    if (fd >= 0)
        markFd(fd, g_on && onShare);
    return fd;
}

mode_t modeOf(int flags, va_list args)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? mode_t(va_arg(args, int)) : 0;
}

} // namespace

extern "C" {

void slowfs_begin(const char *root, long microseconds)
{
    g_root = root;
    if (g_root.empty() || g_root.back() != '/')
        g_root += '/';
    g_delayNs = microseconds * 1000;
    for (auto &count : g_counts)
        count = 0;
    g_sleptNs = 0;
    g_on = true;
}

void slowfs_end()
{
    g_on = false;
}

// The time spent waiting since slowfs_begin: a sleep may last longer than asked on a busy machine.
long long slowfs_slept_ns()
{
    return g_sleptNs;
}

int slowfs_calls(const char *const **names, const long **counts)
{
    static long snapshot[kCalls];
    for (int i = 0; i < kCalls; ++i)
        snapshot[i] = g_counts[i];
    *names = kNames;
    *counts = snapshot;
    return kCalls;
}

#define OPEN_LIKE(name)                                                                            \
    int name(const char *path, int flags, ...)                                                     \
    {                                                                                              \
        REAL(name);                                                                                \
        va_list args;                                                                              \
        va_start(args, flags);                                                                     \
        const mode_t mode = modeOf(flags, args);                                                   \
        va_end(args);                                                                              \
        const bool share = slow(k_##name, pathOnShare(AT_FDCWD, path));                            \
        return opened(real_##name(path, flags, mode), share);                                      \
    }
OPEN_LIKE(open)
OPEN_LIKE(open64)

#define OPENAT_LIKE(name)                                                                          \
    int name(int dirfd, const char *path, int flags, ...)                                          \
    {                                                                                              \
        REAL(name);                                                                                \
        va_list args;                                                                              \
        va_start(args, flags);                                                                     \
        const mode_t mode = modeOf(flags, args);                                                   \
        va_end(args);                                                                              \
        const bool share = slow(k_##name, pathOnShare(dirfd, path));                               \
        return opened(real_##name(dirfd, path, flags, mode), share);                               \
    }
OPENAT_LIKE(openat)
OPENAT_LIKE(openat64)

int __open_2(const char *path, int flags)
{
    static const auto next = real<int (*)(const char *, int)>("__open_2");
    const bool share = slow(k___open_2, pathOnShare(AT_FDCWD, path));
    return opened(next(path, flags), share);
}
int __open64_2(const char *path, int flags)
{
    static const auto next = real<int (*)(const char *, int)>("__open64_2");
    const bool share = slow(k___open64_2, pathOnShare(AT_FDCWD, path));
    return opened(next(path, flags), share);
}
int __openat_2(int dirfd, const char *path, int flags)
{
    static const auto next = real<int (*)(int, const char *, int)>("__openat_2");
    const bool share = slow(k___openat_2, pathOnShare(dirfd, path));
    return opened(next(dirfd, path, flags), share);
}
int __openat64_2(int dirfd, const char *path, int flags)
{
    static const auto next = real<int (*)(int, const char *, int)>("__openat64_2");
    const bool share = slow(k___openat64_2, pathOnShare(dirfd, path));
    return opened(next(dirfd, path, flags), share);
}

int creat(const char *path, mode_t mode)
{
    REAL(creat);
    const bool share = slow(k_creat, pathOnShare(AT_FDCWD, path));
    return opened(real_creat(path, mode), share);
}

int close(int fd)
{
    REAL(close);
    slow(k_close, fdOnShare(fd));
    markFd(fd, false);
    return real_close(fd);
}

#define PATH_CALL(name, ...)                                                                       \
    {                                                                                              \
        REAL(name);                                                                                \
        slow(k_##name, pathOnShare(AT_FDCWD, path));                                               \
        return real_##name(__VA_ARGS__);                                                           \
    }
#define PATHAT_CALL(name, ...)                                                                     \
    {                                                                                              \
        REAL(name);                                                                                \
        slow(k_##name, pathOnShare(dirfd, path));                                                  \
        return real_##name(__VA_ARGS__);                                                           \
    }
#define FD_CALL(name, delay, ...)                                                                  \
    {                                                                                              \
        REAL(name);                                                                                \
        slow(k_##name, fdOnShare(fd), delay);                                                      \
        return real_##name(__VA_ARGS__);                                                           \
    }

int stat(const char *path, struct stat *st) PATH_CALL(stat, path, st);
int stat64(const char *path, struct stat64 *st) PATH_CALL(stat64, path, st);
int lstat(const char *path, struct stat *st) PATH_CALL(lstat, path, st);
int lstat64(const char *path, struct stat64 *st) PATH_CALL(lstat64, path, st);
int access(const char *path, int mode) PATH_CALL(access, path, mode);
int unlink(const char *path) PATH_CALL(unlink, path);
int fstatat(int dirfd, const char *path, struct stat *st, int flags)
    PATHAT_CALL(fstatat, dirfd, path, st, flags);
int fstatat64(int dirfd, const char *path, struct stat64 *st, int flags)
    PATHAT_CALL(fstatat64, dirfd, path, st, flags);
int statx(int dirfd, const char *path, int flags, unsigned mask, struct statx *st)
    PATHAT_CALL(statx, dirfd, path, flags, mask, st);
int faccessat(int dirfd, const char *path, int mode, int flags)
    PATHAT_CALL(faccessat, dirfd, path, mode, flags);
int unlinkat(int dirfd, const char *path, int flags) PATHAT_CALL(unlinkat, dirfd, path, flags);

int fstat(int fd, struct stat *st) FD_CALL(fstat, true, fd, st);
int fstat64(int fd, struct stat64 *st) FD_CALL(fstat64, true, fd, st);
ssize_t pread(int fd, void *buf, size_t n, off_t at) FD_CALL(pread, true, fd, buf, n, at);
ssize_t pread64(int fd, void *buf, size_t n, off64_t at) FD_CALL(pread64, true, fd, buf, n, at);
ssize_t pwrite(int fd, const void *buf, size_t n, off_t at) FD_CALL(pwrite, true, fd, buf, n, at);
ssize_t pwrite64(int fd, const void *buf, size_t n, off64_t at)
    FD_CALL(pwrite64, true, fd, buf, n, at);
ssize_t read(int fd, void *buf, size_t n) FD_CALL(read, false, fd, buf, n);
ssize_t write(int fd, const void *buf, size_t n) FD_CALL(write, false, fd, buf, n);
off_t lseek(int fd, off_t at, int whence) FD_CALL(lseek, false, fd, at, whence);
off64_t lseek64(int fd, off64_t at, int whence) FD_CALL(lseek64, false, fd, at, whence);
int ftruncate(int fd, off_t length) FD_CALL(ftruncate, true, fd, length);
int ftruncate64(int fd, off64_t length) FD_CALL(ftruncate64, true, fd, length);
int fsync(int fd) FD_CALL(fsync, true, fd);
int fdatasync(int fd) FD_CALL(fdatasync, true, fd);

int rename(const char *from, const char *to)
{
    REAL(rename);
    slow(k_rename, pathOnShare(AT_FDCWD, from) || pathOnShare(AT_FDCWD, to));
    return real_rename(from, to);
}
int renameat(int fromDir, const char *from, int toDir, const char *to)
{
    REAL(renameat);
    slow(k_renameat, pathOnShare(fromDir, from) || pathOnShare(toDir, to));
    return real_renameat(fromDir, from, toDir, to);
}
int renameat2(int fromDir, const char *from, int toDir, const char *to, unsigned flags)
{
    REAL(renameat2);
    slow(k_renameat2, pathOnShare(fromDir, from) || pathOnShare(toDir, to));
    return real_renameat2(fromDir, from, toDir, to, flags);
}

// A directory's reading is one open and one close; its entries come in few large reads.
DIR *opendir(const char *path)
{
    REAL(opendir);
    const bool share = slow(k_opendir, pathOnShare(AT_FDCWD, path));
    DIR *dir = real_opendir(path);
    if (dir)
        markFd(dirfd(dir), g_on && share);
    return dir;
}
DIR *fdopendir(int fd)
{
    REAL(fdopendir);
    slow(k_fdopendir, fdOnShare(fd), false);
    return real_fdopendir(fd);
}
int closedir(DIR *dir)
{
    REAL(closedir);
    const int fd = dirfd(dir);
    slow(k_closedir, fdOnShare(fd));
    markFd(fd, false);
    return real_closedir(dir);
}

} // extern "C"
