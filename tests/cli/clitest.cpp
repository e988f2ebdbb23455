#include "clitest.h"

#include "id3v2bytes.h"
#include "testfiles.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace clitest
{

QByteArrayList Result::lines() const
{
    QByteArrayList all = out.split('\n');
    if (!all.isEmpty() && all.last().isEmpty())
        all.removeLast();
    return all;
}

Process::Process(const QByteArrayList &args, const QByteArray &cwd, const QByteArray &state)
{
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return;
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addchdir_np(&actions, cwd.constData());

    std::vector<QByteArray> storage;
    storage.push_back(QByteArrayLiteral(TRACKLING_CLI));
    for (const QByteArray &arg : args)
        storage.push_back(arg);
    std::vector<char *> argv;
    for (QByteArray &arg : storage)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    std::vector<QByteArray> envStorage;
    for (char **e = environ; *e; ++e) {
        if (!QByteArray(*e).startsWith("XDG_STATE_HOME="))
            envStorage.emplace_back(*e);
    }
    envStorage.push_back("XDG_STATE_HOME=" + state);
    std::vector<char *> envp;
    for (QByteArray &entry : envStorage)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
        m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    m_out = out[0];
    m_err = err[0];
}

Process::~Process()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        (void)finish();
    }
    if (m_out >= 0)
        ::close(m_out);
    if (m_err >= 0)
        ::close(m_err);
}

int Process::pendingOutput() const
{
    int n = 0;
    return ::ioctl(m_out, FIONREAD, &n) == 0 ? n : -1;
}

int Process::outputCapacity() const
{
    return ::fcntl(m_out, F_GETPIPE_SZ);
}

Result Process::finish()
{
    Result result;
    pollfd fds[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
    int open = 2;
    char buf[65536];
    while (open > 0) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                (i == 0 ? result.out : result.err).append(buf, n);
            } else if (n == 0 || errno != EINTR) {
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    if (m_pid > 0 && ::waitpid(m_pid, &status, 0) == m_pid)
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    m_pid = -1;
    return result;
}

Result run(const QByteArrayList &args, const QByteArray &cwd, const QByteArray &state)
{
    Process process(args, cwd, state);
    return process.finish();
}

namespace
{

void walk(const QByteArray &root, const QByteArray &relative, Tree &into)
{
    const QByteArray path = relative.isEmpty() ? root : root + '/' + relative;
    DIR *dir = ::opendir(path.constData());
    if (!dir)
        return;
    while (dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        const QByteArray rel = relative.isEmpty() ? name : relative + '/' + name;
        struct stat st;
        if (::lstat((root + '/' + rel).constData(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            into[rel] = "<dir>";
            walk(root, rel, into);
        } else if (S_ISREG(st.st_mode)) {
            QByteArray data;
            const int fd = ::open((root + '/' + rel).constData(), O_RDONLY | O_CLOEXEC);
            char buf[65536];
            for (ssize_t n; fd >= 0 && (n = ::read(fd, buf, sizeof buf)) > 0;)
                data.append(buf, n);
            if (fd >= 0)
                ::close(fd);
            into[rel] = data;
        } else {
            into[rel] = "<other>";
        }
    }
    ::closedir(dir);
}

} // namespace

Tree tree(const QByteArray &root)
{
    Tree all;
    walk(root, {}, all);
    return all;
}

QString difference(const Tree &expected, const Tree &actual)
{
    QStringList problems;
    for (const auto &[name, data] : expected) {
        const auto it = actual.find(name);
        if (it == actual.end())
            problems << QStringLiteral("missing %1").arg(QString::fromUtf8(name));
        else if (it->second != data)
            problems << QStringLiteral("changed %1").arg(QString::fromUtf8(name));
    }
    for (const auto &entry : actual) {
        if (!expected.count(entry.first))
            problems << QStringLiteral("new %1").arg(QString::fromUtf8(entry.first));
    }
    return problems.join(QStringLiteral(", "));
}

void removeTree(const QByteArray &root)
{
    DIR *dir = ::opendir(root.constData());
    if (dir) {
        while (dirent *entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name == "." || name == "..")
                continue;
            const QByteArray path = root + '/' + name;
            struct stat st;
            if (::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode))
                removeTree(path);
            else
                ::unlink(path.constData());
        }
        ::closedir(dir);
    }
    ::rmdir(root.constData());
}

void makeTree(const QByteArray &root, const Tree &contents)
{
    ::mkdir(root.constData(), 0755);
    for (const auto &[name, data] : contents) { // a folder sorts before what it holds
        const QByteArray path = root + '/' + name;
        if (data == "<dir>") {
            ::mkdir(path.constData(), 0755);
            continue;
        }
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd >= 0) {
            (void)::write(fd, data.constData(), std::size_t(data.size()));
            ::close(fd);
        }
    }
}

QByteArray mp3(int frames)
{
    static const char header[4] = {char(0xFF), char(0xFB), char(0x90), char(0x44)};
    return testfiles::frames(header, frames);
}

QByteArray id3v2Tag(const QByteArray &title, const QByteArray &artist)
{
    return tag(3, textFrame(3, "TIT2", title) + textFrame(3, "TPE1", artist));
}

} // namespace clitest
