#include "drivecombobox.h"

#include "directorylistbox.h"
#include "handler.h"

#include <QSet>
#include <QStorageInfo>

namespace
{

bool browsable(const QStorageInfo &volume)
{
    static const QSet<QByteArray> pseudo = {
        "proc",       "sysfs",  "cgroup",    "cgroup2",   "devpts",          "devtmpfs",
        "securityfs", "pstore", "bpf",       "debugfs",   "tracefs",         "configfs",
        "fusectl",    "mqueue", "hugetlbfs", "autofs",    "binfmt_misc",     "efivarfs",
        "rpc_pipefs", "nsfs",   "ramfs",     "selinuxfs", "fuse.gvfsd-fuse", "fuse.portal"};
    if (!volume.isValid() || pseudo.contains(volume.fileSystemType()))
        return false;
    const QString root = volume.rootPath();
    for (const char *system : {"/proc", "/sys", "/dev", "/run"}) {
        const QString s = QString::fromLatin1(system);
        if (root == s || root.startsWith(s + u'/'))
            return false;
    }
    return true;
}

QString volumeText(const QStorageInfo &volume)
{
    const QString name = volume.name();
    return name.isEmpty() ? volume.rootPath()
                          : QStringLiteral("%1 [%2]").arg(volume.rootPath(), name);
}

} // namespace

TDriveComboBox::TDriveComboBox(QWidget *parent) : QComboBox(parent)
{
    connect(this, &QComboBox::activated, this, &TDriveComboBox::chooseVolume);
}

void TDriveComboBox::setDirectoryList(TDirectoryListBox *directoryList)
{
    m_directoryList = directoryList;
    connect(directoryList, &TDirectoryListBox::changed, this,
            [this] { showVolumeOf(m_directoryList->directory()); });
}

void TDriveComboBox::showVolumeOf(const QString &folder)
{
    const QStorageInfo holder(folder.isEmpty() ? QStringLiteral("/") : folder);
    QList<QStorageInfo> volumes;
    QSet<QString> seen;
    for (const QStorageInfo &v : QStorageInfo::mountedVolumes()) {
        if (browsable(v) && !seen.contains(v.rootPath())) {
            seen.insert(v.rootPath());
            volumes.append(v);
        }
    }
    if (holder.isValid() && !seen.contains(holder.rootPath()))
        volumes.append(holder);
    std::sort(volumes.begin(), volumes.end(), [](const QStorageInfo &a, const QStorageInfo &b) {
        return a.rootPath() < b.rootPath();
    });
    const QSignalBlocker block(this);
    clear();
    for (const QStorageInfo &v : volumes)
        addItem(volumeText(v), v.rootPath());
    // In a chroot or a sandbox the mount table may name no volume that holds the folder: the
    // file-system root stands for it then.
    const QString holderRoot = holder.isValid() ? holder.rootPath() : QStringLiteral("/");
    if (findData(holderRoot) < 0)
        insertItem(0, holderRoot, holderRoot);
    setCurrentIndex(findData(holderRoot));
}

QString TDriveComboBox::volumePath(int index) const
{
    return itemData(index).toString();
}

void TDriveComboBox::showPopup()
{
    // Volumes come and go: read them again, keeping the shown one.
    const QString shown = volumePath(currentIndex());
    const QString folder = m_directoryList ? m_directoryList->directory() : QString();
    showVolumeOf(folder);
    if (!shown.isEmpty()) {
        const QSignalBlocker block(this);
        const int index = findData(shown);
        if (index >= 0)
            setCurrentIndex(index);
    }
    QComboBox::showPopup();
}

void TDriveComboBox::chooseVolume(int index)
{
    if (!m_directoryList || index < 0)
        return;
    const QString path = volumePath(index);
    runHandler(m_questions, [this, path] { m_directoryList->setDirectory(path); });
}
