#include "startup.h"

#include "filenames.h"
#include "ioerror.h"
#include "nametext.h"
#include "reporttext.h"

#include "accessibility.h"
#include "fieldstate.h"
#include "folderscan.h"
#include "programstyle.h"
#include "tform1.h"
#include "tform2.h"
#include "windowquestions.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QHash>
#include <QMessageBox>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

QString cannotOpen(const QString &path, int err)
{
    return QStringLiteral("Cannot open \"%1\": %2")
        .arg(path, QString::fromStdString(withFullStop(IoError::fromErrno(err).message())));
}

QString notMp3(const QString &path)
{
    return QStringLiteral("\"%1\" is not an MP3 file or a folder.").arg(path);
}

// The folder a path stands for, links resolved, or the errno why it cannot be listed.
int listableFolder(const QByteArray &path, QByteArray &resolved)
{
    char *real = ::realpath(path.constData(), nullptr);
    if (!real)
        return errno;
    resolved = QByteArray(real);
    std::free(real);
    DIR *dir = ::opendir(resolved.constData());
    if (!dir)
        return errno;
    ::closedir(dir);
    return 0;
}

// Selects the request's files in the main window's list, and makes the first the current item.
// Returns a message for each file that the list does not show.
QStringList selectRequested(const OpenRequest &request)
{
    TFileListBox &list = *Form1->FileListBox1;
    QHash<QString, int> rows;
    const int n = list.count();
    rows.reserve(n);
    for (int row = 0; row < n; ++row)
        rows.insert(list.itemText(row), row);
    std::vector<bool> selected(std::size_t(n), false);
    int first = -1;
    QStringList problems;
    for (qsizetype i = 0; i < request.names.size(); ++i) {
        const auto found = rows.constFind(request.names[i]);
        if (found == rows.cend()) {
            problems += notMp3(request.givenNames[i]);
            continue;
        }
        selected[std::size_t(*found)] = true;
        if (first < 0 || *found < first)
            first = *found;
    }
    list.selectRows(selected);
    if (first >= 0) {
        list.setItemIndex(first);
        list.scrollTo(list.model()->index(first, 0));
    }
    return problems;
}

// "3 files not in the first file's folder were not opened: "B/x.mp3", ..." naming at most
// kMaxNamedProblems of them.
QString elsewhereText(int n, const char *one, const char *many, const char *where,
                      const QStringList &paths)
{
    QStringList named;
    for (qsizetype i = 0; i < paths.size() && i < kMaxNamedProblems; ++i)
        named += QLatin1Char('"') + paths[i] + QLatin1Char('"');
    QString text = countText(n) + QLatin1Char(' ') + QLatin1String(n == 1 ? one : many) +
                   QLatin1String(where) +
                   QLatin1String(n == 1 ? " was not opened: " : " were not opened: ") +
                   named.join(QStringLiteral(", "));
    if (paths.size() > kMaxNamedProblems)
        text += QStringLiteral(" and ") + countText(paths.size() - kMaxNamedProblems) +
                QStringLiteral(" more");
    return text + QLatin1Char('.');
}

} // namespace

OpenRequest resolvePaths(const QStringList &paths)
{
    OpenRequest request;
    QByteArray chosen; // the folder's own bytes
    bool chosenForFile = false;
    int filesElsewhere = 0;
    QStringList foldersElsewhere;
    // The folder last looked at: "trackling *.mp3" names one folder thousands of times.
    QByteArray lastFolder;
    QByteArray lastResolved;
    for (const QString &path : paths) {
        const QByteArray bytes = encodeFileName(path);
        struct stat st;
        if (bytes.isEmpty() || ::stat(bytes.constData(), &st) != 0) {
            request.problems.messages += cannotOpen(path, bytes.isEmpty() ? ENOENT : errno);
            continue;
        }
        QByteArray folder;
        QByteArray name;
        if (S_ISDIR(st.st_mode)) {
            folder = bytes;
        } else if (S_ISREG(st.st_mode)) {
            const qsizetype slash = bytes.lastIndexOf('/');
            folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : bytes.left(slash);
            name = bytes.mid(slash + 1);
        } else {
            request.problems.messages += notMp3(path);
            continue;
        }
        QByteArray resolved;
        if (!lastFolder.isNull() && folder == lastFolder) {
            resolved = lastResolved;
        } else if (const int err = listableFolder(folder, resolved)) {
            request.problems.messages += cannotOpen(path, err);
            continue;
        } else {
            lastFolder = folder;
            lastResolved = resolved;
        }
        if (request.folder.isEmpty()) {
            chosen = resolved;
            chosenForFile = !name.isEmpty();
            request.folder = decodeFileName(resolved);
        } else if (resolved != chosen || name.isEmpty()) {
            // A file of another folder, or another folder (the same folder again is no news).
            if (!name.isEmpty()) {
                ++filesElsewhere;
                request.problems.elsewhere += path;
            } else if (resolved != chosen) {
                foldersElsewhere += path;
            }
            continue;
        }
        if (!name.isEmpty()) {
            request.names += decodeFileName(name);
            request.givenNames += path;
        }
    }
    if (filesElsewhere > 0) {
        request.problems.elsewhereSummary += elsewhereText(
            filesElsewhere, "file", "files",
            chosenForFile ? " not in the first file's folder" : " not in the folder opened",
            request.problems.elsewhere);
    }
    if (!foldersElsewhere.isEmpty()) {
        request.problems.elsewhereSummary += elsewhereText(
            int(foldersElsewhere.size()), "other folder", "other folders", "", foldersElsewhere);
        request.problems.elsewhere += foldersElsewhere;
    }
    return request;
}

void readStartFolderAhead()
{
    // The file list shows MP3 files, and the folder browser opens the working directory.
    readFolderAhead(QDir::cleanPath(currentFolder()), QStringLiteral("*.mp3"));
}

void createWindows()
{
    // The folder the program starts in is read while the windows are being set up (unless its
    // reading has started already).
    readStartFolderAhead();
    // The program's one font, the one its windows are laid out in, also for its message boxes
    // and prompts. Set before any control exists, no text is ever laid out in another font first.
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPointSize(8);
    QApplication::setFont(font);
    useProgramStyle();
    installAccessibility();
    new TForm1;
    new TForm2(Form1);
}

OpenProblems createWindowsFor(const QStringList &paths)
{
    OpenRequest request = resolvePaths(paths);
    // The window opens the working directory: the requested folder is entered first.
    if (!request.folder.isEmpty() && ::chdir(encodeFileName(request.folder).constData()) != 0) {
        request.problems.messages += cannotOpen(request.folder, errno);
        request.folder.clear();
    }
    createWindows();
    if (!request.folder.isEmpty() && Form1->DirectoryListBox1->directory() == request.folder)
        request.problems.messages += selectRequested(request);
    return request.problems;
}

void openPaths(const QStringList &paths)
{
    OpenRequest request = resolvePaths(paths);
    if (!request.folder.isEmpty()) {
        Form1->DirectoryListBox1->setDirectory(request.folder);
        request.problems.messages += selectRequested(request);
    }
    reportOpenProblems(request.problems);
}

void reportOpenProblems(const OpenProblems &problems)
{
    if (problems.isEmpty())
        return;
    // Every path on the standard error stream, in one write.
    QByteArray all;
    auto print = [&all](const QString &line) {
        all += "trackling: " + encodeFileName(line) + '\n';
    };
    for (const QString &message : problems.messages)
        print(message);
    for (const QString &summary : problems.elsewhereSummary)
        print(summary);
    for (const QString &path : problems.elsewhere)
        print(QStringLiteral("not opened: \"%1\"").arg(path));
    std::fwrite(all.constData(), 1, std::size_t(all.size()), stderr);
    std::fflush(stderr);
    // The box names the first few: a box of thousands of lines takes seconds to lay out, and no
    // one reads it.
    QStringList lines = problems.messages.mid(0, kMaxNamedProblems);
    if (problems.messages.size() > kMaxNamedProblems)
        lines += QStringLiteral("and ") + countText(problems.messages.size() - kMaxNamedProblems) +
                 QStringLiteral(" more");
    lines += problems.elsewhereSummary;
    Form1->questions().showError(lines.join(QLatin1Char('\n')));
}

QByteArray startState()
{
    QByteArray state = "folder\t" + encodeFileName(Form1->DirectoryListBox1->directory()) + '\n';
    const TFileListBox &list = *Form1->FileListBox1;
    const std::vector<bool> selected = list.selectedRows();
    for (int row = 0; row < list.count(); ++row) {
        if (selected[std::size_t(row)])
            state += "selected\t" + encodeFileName(list.itemText(row)) + '\n';
    }
    if (const auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
        state += "message\t" + box->text().toUtf8() + '\n';
    return state;
}

void showMainWindow()
{
    centreOnScreen(Form1);
    Form1->show();
}

void destroyWindows()
{
    delete Form2;
    delete Form1;
}
