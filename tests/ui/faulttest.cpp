#include "faulttest.h"

#include "filenames.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

QByteArray rawPath(const QString &folder, const QByteArray &name)
{
    return encodeFileName(folder) + '/' + name;
}

namespace
{

std::optional<FileState> stateOf(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat st;
    FileState state;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        state.inode = st.st_ino;
        state.size = st.st_size;
        char tag[3] = {};
        const bool tagged = st.st_size >= 128 && ::pread(fd, tag, 3, st.st_size - 128) == 3 &&
                            !memcmp(tag, "TAG", 3);
        qint64 left = tagged ? st.st_size - 128 : st.st_size;
        QCryptographicHash hash(QCryptographicHash::Sha256);
        QByteArray buffer(1 << 20, Qt::Uninitialized);
        qint64 at = 0;
        while (left > 0) {
            const ssize_t got =
                ::pread(fd, buffer.data(), size_t(qMin<qint64>(left, buffer.size())), at);
            if (got <= 0)
                break;
            hash.addData(QByteArrayView(buffer.constData(), got));
            at += got;
            left -= got;
        }
        state.audioHash = hash.result();
    }
    ::close(fd);
    if (!S_ISREG(st.st_mode))
        return std::nullopt;
    return state;
}

} // namespace

Snapshot snapshot(const QString &folder)
{
    Snapshot result;
    DIR *dir = ::opendir(encodeFileName(folder).constData());
    if (!dir)
        return result;
    while (const dirent *entry = ::readdir(dir)) {
        struct stat st;
        const QByteArray name(entry->d_name);
        const QByteArray path = rawPath(folder, name);
        if (::lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (const auto state = stateOf(path))
            result[name] = *state;
    }
    ::closedir(dir);
    return result;
}

QString lostOrChanged(const Snapshot &before, const Snapshot &after)
{
    std::map<quint64, std::pair<QByteArray, FileState>> byInode;
    for (const auto &[name, state] : after)
        byInode[state.inode] = {name, state};
    for (const auto &[name, state] : before) {
        const auto it = byInode.find(state.inode);
        const QString shown = QString::fromLatin1(name.toPercentEncoding());
        if (it == byInode.end())
            return QStringLiteral("gone or replaced: ") + shown;
        if (it->second.second.audioHash != state.audioHash)
            return QStringLiteral("audio changed: ") + shown;
    }
    return {};
}

bool writeRaw(const QString &folder, const QByteArray &name, const QByteArray &data)
{
    const int fd =
        ::open(rawPath(folder, name).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, data.constData(), size_t(data.size())) == data.size();
    return ::close(fd) == 0 && ok;
}

QByteArray readRaw(const QString &folder, const QByteArray &name)
{
    QFile file;
    const int fd = ::open(rawPath(folder, name).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return {};
    return file.readAll();
}

FileSizeLimit::FileSizeLimit()
{
    ::getrlimit(RLIMIT_FSIZE, &m_old);
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
}

FileSizeLimit::~FileSizeLimit()
{
    ::setrlimit(RLIMIT_FSIZE, &m_old);
    std::signal(SIGXFSZ, m_oldHandler);
}

void FileSizeLimit::set(qint64 bytes)
{
    rlimit limit = m_old;
    limit.rlim_cur = rlim_t(bytes);
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &limit) == 0);
}

namespace
{

bool setImmutable(const QByteArray &path, bool on)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

} // namespace

Immutable::~Immutable()
{
    for (const QByteArray &path : m_paths)
        setImmutable(path, false);
}

bool Immutable::set(const QByteArray &path)
{
    if (!setImmutable(path, true))
        return false;
    m_paths.append(path);
    return true;
}

namespace
{

void removeTree(const QByteArray &folder)
{
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        const QByteArray path = folder + '/' + name;
        struct stat st;
        if (::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode)) {
            removeTree(path);
            ::rmdir(path.constData());
        } else {
            ::unlink(path.constData());
        }
    }
    ::closedir(dir);
}

} // namespace

RemoveContents::~RemoveContents()
{
    removeTree(encodeFileName(m_folder));
}

bool runningAsRoot()
{
    return ::geteuid() == 0;
}

void runAsNobody(const char *testFunction)
{
    // The build folder may not be reachable for nobody: the program runs from a copy.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
    const QString copy = dir.filePath(QStringLiteral("faults"));
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), copy));
    QVERIFY(::chmod(QFile::encodeName(copy).constData(), 0755) == 0);

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("HOME"), dir.path());
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("setpriv"),
                {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                 QStringLiteral("--clear-groups"), copy, QString::fromLatin1(testFunction)});
    if (!child.waitForStarted())
        QSKIP("setpriv cannot be started");
    QVERIFY(child.waitForFinished(50000));
    const QByteArray output = child.readAll();
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
             output.constData());
    QVERIFY2(output.contains(QByteArray("::") + testFunction + "()") &&
                 !output.contains("SKIP   :") && !output.contains("FAIL!"),
             output.constData());
}
