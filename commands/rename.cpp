#include "rename.h"

#include "changes.h"
#include "filelist.h"
#include "filenames.h"
#include "id3v2reader.h"
#include "ioerror.h"
#include "questions.h"
#include "tagfile.h"
#include "tagtext.h"
#include "tagworkspace.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// renameat2(RENAME_NOREPLACE); where the file system lacks it, link + unlink, which never
// replaces either. Returns 0 or the errno of the failure.
int renameOnce(int dirfd, const char *from, const char *to)
{
    if (::renameat2(dirfd, from, dirfd, to, RENAME_NOREPLACE) == 0)
        return 0;
    const int err = errno;
    if (err != EINVAL && err != ENOSYS)
        return err;
    if (::linkat(dirfd, from, dirfd, to, 0) != 0)
        return errno;
    if (::unlinkat(dirfd, from, 0) != 0) {
        const int unlinkErr = errno;
        (void)::unlinkat(dirfd, to, 0); // the file keeps its old name only
        return unlinkErr;
    }
    return 0;
}

bool sameFile(int dirfd, const char *a, const char *b)
{
    FileStatus sa, sb;
    return statusAt(dirfd, a, false, sa) == 0 && statusAt(dirfd, b, false, sb) == 0 &&
           sa.identity.device == sb.identity.device && sa.identity.inode == sb.identity.inode;
}

// On a file system that ignores letter case the new name of a case change already names the
// file itself: move it aside under a hidden unique name, then to the new name, each step
// without replacing; if the second step is refused, it goes back. The name aside tells the new
// name, so that a rename cut short there is finished later (see removeLeftoversIn).
int renameThroughAside(int dirfd, const QByteArray &from, const QByteArray &to)
{
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 8; ++attempt) {
        const QByteArray tail = ".trackling-rename-" + QByteArray::number(::getpid()) + '-' +
                                QByteArray::number(counter++);
        const QByteArray aside = '.' + to + tail;
        const int err =
            renameOnce(dirfd, from.constData(), (aside.size() <= 255 ? aside : tail).constData());
        if (err == EEXIST)
            continue;
        if (err != 0)
            return err;
        const QByteArray &used = aside.size() <= 255 ? aside : tail;
        const int second = renameOnce(dirfd, used.constData(), to.constData());
        if (second == 0)
            return 0;
        (void)renameOnce(dirfd, used.constData(), from.constData());
        return second;
    }
    return EEXIST;
}

// A name a file may be given: never one that moves it out of its folder, and never a hidden
// one, which would take it out of the list.
bool acceptableName(QByteArrayView name)
{
    return !name.isEmpty() && !name.startsWith('.') && !name.contains('/') && !name.contains('\0');
}

} // namespace

int renameNoReplaceAt(const Folder &folder, const QByteArray &from, const QByteArray &to)
{
    if (!acceptableName(to) || from.isEmpty() || from == to)
        return EINVAL;
    const int dirfd = folder.fd();
    const int err = renameOnce(dirfd, from.constData(), to.constData());
    if (err == EEXIST && sameFile(dirfd, from.constData(), to.constData()))
        return renameThroughAside(dirfd, from, to);
    return err;
}

QString RenameChange::reason() const
{
    switch (result) {
    case RenameResult::Renamed:
        return {};
    case RenameResult::NameNotAllowed:
        return QStringLiteral("name not allowed");
    case RenameResult::NameTaken:
        return QStringLiteral("name already taken");
    case RenameResult::Unchanged:
        return QStringLiteral("name unchanged");
    case RenameResult::Failed:
        break;
    }
    QString message = QString::fromStdString(IoError::fromErrno(error).message());
    if (message.endsWith(QLatin1Char('.')))
        message.chop(1);
    return message.left(1).toLower() + message.mid(1);
}

RenameChange renameFile(const ChangeContext &context, const QString &from, const QString &to,
                        const JournalRename *planned)
{
    RenameChange change{RenameResult::Failed, from, to, 0};
    const QByteArray oldName = encodeFileName(from);
    const QByteArray newName = encodeFileName(to);
    if (!acceptableName(newName) || to.contains(QChar(0)) || from.isEmpty()) {
        change.result = RenameResult::NameNotAllowed;
        return change;
    }
    if (oldName == newName) {
        change.result = RenameResult::Unchanged; // the file already has that name
        return change;
    }
    if (context.dryRun) {
        // What the no-replace rename would find: the file gone, or the name another file's.
        FileStatus st, there;
        if (const int err = statusAt(context.folder.fd(), oldName.constData(), false, st)) {
            change.error = err;
            return change;
        }
        const bool taken = statusAt(context.folder.fd(), newName.constData(), false, there) == 0 &&
                           !(there.identity.device == st.identity.device &&
                             there.identity.inode == st.identity.inode && st.links == 1);
        change.result = taken ? RenameResult::NameTaken : RenameResult::Renamed;
        return change;
    }
    if (CommandLog *recorder = context.recorder) {
        // The very file planned, or recorded as it is; a name that is gone is left to the rename
        // to report.
        FileStatus st;
        if (statusAt(context.folder.fd(), oldName.constData(), false, st) == 0) {
            const JournalRename actual{context.folder.path(), oldName, newName, st.identity};
            if (!planned || !(*planned == actual))
                recorder->record({{context.index, actual}});
        }
    }
    const int err = renameNoReplaceAt(context.folder, oldName, newName);
    if (err == 0) {
        change.result = RenameResult::Renamed;
        if (context.recorder)
            context.recorder->made(context.index);
    } else {
        change.result = err == EEXIST ? RenameResult::NameTaken : RenameResult::Failed;
        change.error = err;
    }
    return change;
}

bool renameNoReplace(const Folder &folder, const QString &from, const QString &to)
{
    return renameFile(ChangeContext{folder}, from, to).renamed();
}

namespace
{

FileOutcome outcomeOf(const RenameChange &change)
{
    FileOutcome outcome =
        change.renamed() ? FileOutcome::changed() : FileOutcome::leftAsItWas(change.reason());
    outcome.newName = change.to;
    return outcome;
}

} // namespace

WalkReport renameByPrompt(const Folder &folder, FileList &list, CommandQuestions &questions,
                          const WalkControl &control)
{
    return walkInBlocks(
        folder, list, {},
        [&](PreparedFile &file, const ChangeContext &context) {
            const auto entered =
                questions.askText(QStringLiteral("Rename"), file.name, file.name, 255);
            if (!entered)
                return FileOutcome::leftAsItWas(QStringLiteral("cancelled"));
            return outcomeOf(renameFile(context, file.name, *entered));
        },
        control);
}

WalkReport renameFromTags(const Folder &folder, FileList &list, const WalkControl &control)
{
    // The tag is read ahead, on the worker, in a workspace of its own.
    const PrepareFile prepare = [](const Folder &in, PreparedFile &file) {
        TagWorkspace &ws = tagWorkspace();
        ws.SongTitle.clear();
        ws.SongArtist.clear();
        std::fill_n(ws.TagBuffer.begin(), 3, 0); // the reader puts "TAG" there for a tag it read
        FileIdentity identity;
        ReadTagFileAt(in.fd(), file.encoded.toStdString(), AudioLength::Estimate, &identity);
        if (ws.SongTitle.empty() || ws.SongArtist.empty()) {
            // A file that has only the tag players show is told how to get the other.
            const bool onlyId3v2 =
                !std::equal(ws.TagBuffer.begin(), ws.TagBuffer.begin() + 3, "TAG") &&
                readId3v2HeaderAt(in.fd(), file.encoded.toStdString()).present;
            file.leftReason = onlyId3v2
                                  ? QStringLiteral("no ID3v1 tag (ID3v1 from ID3v2 makes one)")
                                  : QStringLiteral("no artist or title in the tag");
            return;
        }
        file.newName = fromTagText(ws.SongArtist) + QStringLiteral(" - ") +
                       fromTagText(ws.SongTitle) + QStringLiteral(".mp3");
        const QByteArray to = encodeFileName(file.newName);
        if (to != file.encoded)
            file.change = JournalRename{in.path(), file.encoded, to, identity};
    };
    return walkInBlocks(
        folder, list, prepare,
        [](PreparedFile &file, const ChangeContext &context) {
            if (!file.leftReason.isEmpty())
                return FileOutcome::leftAsItWas(file.leftReason);
            const auto *planned = file.change ? std::get_if<JournalRename>(&*file.change) : nullptr;
            return outcomeOf(renameFile(context, file.name, file.newName, planned));
        },
        control);
}
