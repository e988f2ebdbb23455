#include "undo.h"

#include "changes.h"
#include "filenames.h"
#include "folder.h"
#include "id3v2door.h"
#include "ioerror.h"
#include "regularfile.h"
#include "tagfile.h"

#include <QDateTime>

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

std::function<void(int, bool)> g_stepHook;

enum class Outcome { Done, AlreadyAsWas, Left };

struct Result {
    Outcome outcome;
    QString reason = {};
};

Result left(const char16_t *reason)
{
    return {Outcome::Left, QString::fromUtf16(reason)};
}

[[noreturn]] void fail(int err = errno)
{
    throw IoError::fromErrno(err);
}

// What applying one change needs besides the change: whether to take it back or make it again,
// the file a playlist must be now (where a new file was put in its place), whether to change
// anything, and what to call before changing the file (recording that the pass takes it on,
// with the new file it puts in place, if any).
struct Step {
    bool undo = true;
    FileIdentity expected;
    bool dryRun = false;
    std::function<void(const FileIdentity &)> touch;
};

// The folders of a pass, each opened once.
class Folders
{
public:
    // Flushes the folders' entries (a new file took a name in them). Throws IoError.
    void sync()
    {
        for (auto &[path, folder] : m_open)
            syncFolder(folder);
    }
    const Folder &of(const QByteArray &path)
    {
        auto it = m_open.find(path);
        if (it == m_open.end()) {
            it = m_open.emplace(path, Folder::open(path)).first;
            removeLeftoversIn(it->second); // what a kill left there goes first
        }
        return it->second;
    }

private:
    std::map<QByteArray, Folder> m_open;
};

Result applyTag(Folders &folders, const JournalTag &c, const Step &step)
{
    const Folder &folder = folders.of(folderPartOf(c.path));
    const std::string name = namePartOf(c.path).toStdString();
    // A file reached through a link is followed only where it is known which file it must be.
    const int flags = (step.dryRun ? O_RDONLY : O_RDWR) | (c.identity.isKnown() ? 0 : O_NOFOLLOW);
    FileStatus st;
    int fd;
    try {
        fd = openRegularAt(folder.fd(), name, flags, st);
    } catch (const IoError &e) {
        if (e.errorNumber() == 2)
            return left(kUndoGone);
        if (e.errorNumber() == ELOOP || e.errorNumber() == 3 || e.errorNumber() == 5)
            return left(kUndoChangedSince); // a link, a folder, or another kind of file now
        throw;
    }
    FileHandle file(fd);
    if (c.identity.isKnown() && !c.identity.sameFile(st.identity))
        return left(kUndoChangedSince); // another file has the name now
    const std::int64_t size = st.size;
    const std::int64_t tagged = c.appended ? c.oldSize + 128 : c.oldSize;
    std::uint8_t end[128];
    if (!readTail(fd, size, end))
        return left(kUndoChangedSince); // shorter than a tag, or changing
    const QByteArray last(reinterpret_cast<const char *>(end), 128);
    const bool asBefore = size == c.oldSize && last == c.oldLast;
    const bool asAfter = size == tagged && last == c.newTag;
    if (!(step.undo ? asAfter : asBefore))
        return (step.undo ? asBefore : asAfter) ? Result{Outcome::AlreadyAsWas}
                                                : left(kUndoChangedSince);
    if (step.dryRun)
        return {Outcome::Done};
    step.touch({});
    const auto *oldLast = reinterpret_cast<const std::uint8_t *>(c.oldLast.constData());
    const auto *newTag = reinterpret_cast<const std::uint8_t *>(c.newTag.constData());
    if (c.appended && step.undo) {
        if (::ftruncate(fd, c.oldSize) != 0)
            fail();
    } else if (c.appended) {
        (void)appendTag(fd, newTag);
    } else if (c.oldLast.size() == 128 && c.newTag.size() == 128) {
        if (step.undo)
            overwriteTag(fd, c.oldSize - 128, oldLast, newTag);
        else
            overwriteTag(fd, c.oldSize - 128, newTag, oldLast);
    } else {
        return left(kUndoChangedSince);
    }
    file.close();
    return {Outcome::Done};
}

Result applyRename(Folders &folders, const JournalRename &c, const Step &step)
{
    const Folder &folder = folders.of(c.folder);
    const QByteArray &from = step.undo ? c.newName : c.oldName;
    const QByteArray &to = step.undo ? c.oldName : c.newName;
    const auto ours = [&](const FileStatus &st) {
        if (c.identity.device == 0 && c.identity.bornNs == 0) // an older journal: the inode only
            return st.identity.inode == c.identity.inode || c.identity.inode == 0;
        return c.identity.sameFile(st.identity);
    };
    FileStatus st;
    if (statusAt(folder.fd(), from.constData(), false, st) != 0) {
        FileStatus there;
        if (statusAt(folder.fd(), to.constData(), false, there) == 0 && ours(there))
            return {Outcome::AlreadyAsWas};
        return left(kUndoGone);
    }
    if (!ours(st))
        return left(kUndoChangedSince); // another file has taken the name since
    if (step.dryRun)
        return {Outcome::Done};
    step.touch({});
    const int err = renameNoReplaceAt(folder, from, to);
    if (err == 0)
        return {Outcome::Done};
    if (err == EEXIST)
        return left(kUndoNameTaken);
    fail(err);
}

// What a playlist's name holds now: nothing, or a regular file's bytes and which file it is.
struct PlaylistNow {
    bool exists = false;
    bool regular = false;
    QByteArray content;
    FileStatus status;
};

PlaylistNow playlistNow(const Folder &folder, const QByteArray &name)
{
    PlaylistNow now;
    if (const int err = statusAt(folder.fd(), name.constData(), false, now.status)) {
        if (err != ENOENT)
            fail(err);
        return now;
    }
    now.exists = true;
    now.regular = now.status.isRegular();
    if (!now.regular)
        return now;
    FileHandle file(
        openRegularAt(folder.fd(), name.toStdString(), O_RDONLY | O_NOFOLLOW, now.status));
    const std::string bytes = readWhole(file.fd());
    now.content = QByteArray(bytes.data(), qsizetype(bytes.size()));
    return now;
}

Result applyPlaylist(Folders &folders, const JournalPlaylist &c, const Step &step)
{
    const Folder &folder = folders.of(folderPartOf(c.path));
    const QByteArray name = namePartOf(c.path);
    const PlaylistNow now = playlistNow(folder, name);
    // Whether the name holds the given state: no file, or a regular file with these bytes that
    // is the file expected (where that is known).
    const auto holds = [&](const std::optional<QByteArray> &content, const FileIdentity &file) {
        if (!content)
            return !now.exists;
        return now.regular && now.content == *content &&
               (!file.isKnown() || file.sameFile(now.status.identity));
    };
    const std::optional<QByteArray> after = c.newContent;
    const std::optional<QByteArray> &from = step.undo ? after : c.oldContent;
    const std::optional<QByteArray> &to = step.undo ? c.oldContent : after;
    if (!holds(from, step.expected)) {
        if (holds(to, {}))
            return {Outcome::AlreadyAsWas};
        return left(now.exists ? kUndoChangedSince : kUndoGone);
    }
    if (step.dryRun)
        return {Outcome::Done};
    if (!to) {
        step.touch({});
        if (::unlinkat(folder.fd(), name.constData(), 0) != 0)
            fail();
        folder.sync();
        return {Outcome::Done};
    }
    const int mode = now.exists ? int(now.status.mode & 07777) : -1;
    try {
        putNewFile(folder, name, *to, mode, now.exists, step.touch);
    } catch (const IoError &e) {
        if (e.errorNumber() == EEXIST)
            return left(kUndoNameTaken);
        throw;
    }
    return {Outcome::Done};
}

// An ID3v2 tag put back (or written again) by the door's own steps: in place where the two tags
// take the same room, else in a new file. The file must be the very file the last change left
// (where that is known) and begin with that change's tag, the rest as long as it was.
Result applyId3v2(Folders &folders, const JournalId3v2 &c, const Step &step)
{
    const Folder &folder = folders.of(folderPartOf(c.path));
    const QByteArray name = namePartOf(c.path);
    const QByteArray &from = step.undo ? c.newTag : c.oldTag;
    const QByteArray &to = step.undo ? c.oldTag : c.newTag;
    const std::int64_t rest = c.oldSize - c.oldTag.size(); // the audio and the ID3v1 tag
    FileStatus named;
    if (const int err = statusAt(folder.fd(), name.constData(), false, named))
        return err == ENOENT ? left(kUndoGone) : throw IoError::fromErrno(err);
    FileStatus st;
    int fd;
    try {
        fd = openRegularAt(folder.fd(), name.toStdString(), step.dryRun ? O_RDONLY : O_RDWR, st);
    } catch (const IoError &e) {
        if (e.errorNumber() == 2)
            return left(kUndoGone);
        if (e.errorNumber() == ELOOP || e.errorNumber() == 5)
            return left(kUndoChangedSince);
        throw;
    }
    FileHandle file(fd);
    st = statusOf(fd);
    const auto holds = [&](const QByteArray &head, const FileIdentity &which) {
        if (st.size != head.size() + rest || (which.isKnown() && !which.sameFile(st.identity)))
            return false;
        QByteArray start(head.size(), Qt::Uninitialized);
        return qsizetype(readSome(fd, 0, start.data(), std::size_t(start.size()))) ==
                   start.size() &&
               start == head;
    };
    // The file each side of the change is: the one before it, and the one it left (in place
    // the same; otherwise the new file, or the one the last pass put in place).
    const FileIdentity expected = step.expected.isKnown() ? step.expected
                                  : step.undo             ? c.written
                                                          : c.identity;
    if (!holds(from, expected))
        return holds(to, {}) ? Result{Outcome::AlreadyAsWas} : left(kUndoChangedSince);
    if (step.dryRun)
        return {Outcome::Done};
    if (from.size() == to.size()) {
        step.touch({});
        overwriteHead(fd, to, from);
        file.close();
    } else {
        if (named.isLink() || st.links > 1)
            return left(kUndoChangedSince); // never replaced through a link or another name
        replaceHead(folder, name, fd, st, from.size(), to, step.touch);
    }
    return {Outcome::Done};
}

Result applyChange(Folders &folders, const JournalChange &change, const Step &step)
{
    try {
        if (const auto *t = std::get_if<JournalTag>(&change))
            return applyTag(folders, *t, step);
        if (const auto *r = std::get_if<JournalRename>(&change))
            return applyRename(folders, *r, step);
        if (const auto *v = std::get_if<JournalId3v2>(&change))
            return applyId3v2(folders, *v, step);
        return applyPlaylist(folders, std::get<JournalPlaylist>(change), step);
    } catch (const IoError &e) {
        if (e.errorNumber() == 2) // its folder is gone
            return left(kUndoGone);
        return {Outcome::Left, QString::fromStdString(e.message())};
    }
}

QByteArray pathOf(const JournalChange &change, bool undo)
{
    if (const auto *t = std::get_if<JournalTag>(&change))
        return t->path;
    if (const auto *r = std::get_if<JournalRename>(&change))
        return r->folder + '/' + (undo ? r->newName : r->oldName);
    if (const auto *v = std::get_if<JournalId3v2>(&change))
        return v->path;
    return std::get<JournalPlaylist>(change).path;
}

// The changes a pass takes on, with the file each must be now where a new file was put in its
// place: for undo, those the command made, or those the last redo made again; for redo, those
// the last undo took back. Empty when the command stands on the other side.
std::map<int, FileIdentity> candidates(const JournalCommand &command, bool undo,
                                       const JournalPass *&resumed)
{
    const auto &passes = command.passes;
    const JournalPass *last = command.lastPass();
    resumed = last && last->undo == undo && !last->complete ? last : nullptr;
    const std::ptrdiff_t at = std::ptrdiff_t(passes.size()) - 1 - (resumed ? 1 : 0);
    std::map<int, FileIdentity> out;
    if (at < 0) { // the command itself
        if (!undo)
            return out; // never undone
        for (std::size_t i = 0; i < command.changes.size(); ++i) {
            // A command that came to its end says what it made; after a kill, every change
            // recorded is looked at.
            if (command.ended && !(i < command.made.size() && command.made[i]))
                continue;
            FileIdentity written;
            if (const auto *p = std::get_if<JournalPlaylist>(&command.changes[i]))
                written = p->written;
            else if (const auto *v = std::get_if<JournalId3v2>(&command.changes[i]))
                written = v->written;
            out.emplace(int(i), written);
        }
        return out;
    }
    const JournalPass &source = passes[std::size_t(at)];
    if (source.undo == undo)
        return out; // already on the other side
    for (const auto &[index, file] : source.touched) {
        if (index >= 0 && std::size_t(index) < command.changes.size())
            out.emplace(index, file);
    }
    return out;
}

// The journal could not record a step: not a file's failure, it ends the pass.
class JournalFailure : public std::runtime_error
{
public:
    JournalFailure(const Journal &journal, const IoError &cause)
        : std::runtime_error("The undo journal in " + journal.folder().toStdString() +
                             " cannot be written: " + cause.message())
    {
    }
};

UndoReport runPass(Journal &journal, const JournalCommand &command, bool undo, bool dryRun)
{
    UndoReport report;
    report.command = command.name;
    report.folder = command.folder;
    const JournalPass *resumed = nullptr;
    const std::map<int, FileIdentity> todo = candidates(command, undo, resumed);
    if (todo.empty() && !resumed) {
        // Nothing to change: it moves to the other side, unless it stands there already.
        const JournalPass *last = command.lastPass();
        const bool there = undo ? (last && last->undo && last->complete)
                                : (!last || (!last->undo && last->complete));
        if (!dryRun && !there)
            (undo ? journal.markUndone(command.id) : journal.markRedone(command.id));
        return report;
    }
    std::unique_ptr<PassLog> pass = dryRun ? nullptr : journal.startPass(command, undo);
    forgetCleanedFolders();
    Folders folders;
    const auto take = [&](int index, const FileIdentity &expected) {
        JournalChange change;
        try {
            change = wholeChange(command, std::size_t(index));
        } catch (const IoError &e) {
            report.left.push_back({pathOf(command.changes[std::size_t(index)], undo),
                                   QString::fromStdString(e.message())});
            return;
        }
        Step step;
        step.undo = undo;
        step.dryRun = dryRun;
        // The file a playlist (or an ID3v2 tag written into a new file) must be: the command's
        // own, or the one the last pass put in place.
        if (std::holds_alternative<JournalPlaylist>(change) ||
            std::holds_alternative<JournalId3v2>(change))
            step.expected = expected;
        step.touch = [&](const FileIdentity &newFile) {
            try {
                pass->touch(index, newFile);
            } catch (const IoError &e) {
                throw JournalFailure(journal, e); // ends the pass: nothing more is changed
            }
            if (g_stepHook)
                g_stepHook(int(report.done.size()), false);
        };
        const Result r = applyChange(folders, change, step);
        const bool takenBefore = resumed && resumed->touched.count(index) > 0;
        switch (r.outcome) {
        case Outcome::Done:
            report.done.push_back(pathOf(change, undo));
            if (g_stepHook && !dryRun)
                g_stepHook(int(report.done.size()), true);
            break;
        case Outcome::AlreadyAsWas:
            if (takenBefore) // done by the undo that was cut short
                report.done.push_back(pathOf(change, undo));
            else
                ++report.alreadyAsWas;
            break;
        case Outcome::Left:
            report.left.push_back({pathOf(change, undo), r.reason});
            break;
        }
    };
    if (undo) {
        for (auto it = todo.rbegin(); it != todo.rend(); ++it)
            take(it->first, it->second);
    } else {
        for (const auto &[index, expected] : todo)
            take(index, expected);
    }
    // A file the system failed to change (a full disk, an I/O error) leaves the pass open: the
    // next undo (or redo) takes it on again. One found otherwise is left for good.
    bool failed = std::any_of(report.left.begin(), report.left.end(), [](const auto &l) {
        return l.reason != QString::fromUtf16(kUndoChangedSince) &&
               l.reason != QString::fromUtf16(kUndoGone) &&
               l.reason != QString::fromUtf16(kUndoNameTaken);
    });
    if (!dryRun && !report.done.empty()) {
        try {
            folders.sync();
        } catch (const IoError &e) {
            report.left.push_back({command.folder, QString::fromStdString(e.message())});
            failed = true;
        }
    }
    if (pass && !failed)
        pass->finish();
    return report;
}

QString whenText(std::int64_t timeMs)
{
    return QDateTime::fromMSecsSinceEpoch(timeMs).toLocalTime().toString(
        QStringLiteral("yyyy-MM-dd HH:mm"));
}

QString filesText(int n)
{
    return QString::number(n) + (n == 1 ? QStringLiteral(" file") : QStringLiteral(" files"));
}

} // namespace

void setUndoStepHook(std::function<void(int changed, bool after)> hook)
{
    g_stepHook = std::move(hook);
}

UndoReport undoCommand(Journal &journal, const JournalCommand &command, bool dryRun)
{
    return runPass(journal, command, true, dryRun);
}

UndoReport redoCommand(Journal &journal, const JournalCommand &command, bool dryRun)
{
    return runPass(journal, command, false, dryRun);
}

int filesToUndo(const JournalCommand &command)
{
    const JournalPass *resumed = nullptr;
    return int(candidates(command, true, resumed).size());
}

QString undoQuestion(const Journal &journal, const JournalCommand &command,
                     const QByteArray &currentFolder)
{
    QString text = QStringLiteral("Undo \"%1\"").arg(command.name);
    if (command.folder != currentFolder) // the folder shown goes without saying
        text += QStringLiteral(" in %1").arg(decodeFileName(command.folder));
    if (!fromAnotherRun(journal, command))
        text += QStringLiteral(", made in this window");
    else if (journal.runIsAlive(command.runId))
        text += QStringLiteral(", made in another Trackling window on %1")
                    .arg(whenText(command.timeMs));
    else
        text += QStringLiteral(", made by an earlier run of Trackling on %1")
                    .arg(whenText(command.timeMs));
    return text + QStringLiteral(" (%1)?").arg(filesText(filesToUndo(command)));
}

std::optional<UndoReport> undoLast(Journal &journal,
                                   const std::function<bool(const QString &)> &confirm,
                                   const QByteArray &currentFolder, bool dryRun)
{
    std::optional<JournalCommand> command;
    try {
        command = journal.nextUndo();
    } catch (const DamagedCommand &damaged) {
        UndoReport report;
        report.command =
            damaged.command.name.isEmpty() ? QStringLiteral("A command") : damaged.command.name;
        report.refused = QStringLiteral("cannot be undone: its record is damaged");
        if (!dryRun)
            journal.setAside(damaged.command); // the next undo goes on with the one before
        return report;
    }
    if (!command)
        return std::nullopt;
    if (journal.isBusy(*command)) {
        UndoReport report;
        report.command = command->name;
        report.refused = QStringLiteral("is still being made in another Trackling window");
        return report;
    }
    const bool elsewhere = !currentFolder.isEmpty() && command->folder != currentFolder;
    if ((fromAnotherRun(journal, *command) || elsewhere) &&
        !confirm(undoQuestion(journal, *command, currentFolder))) {
        UndoReport report;
        report.command = command->name;
        report.declined = true;
        return report;
    }
    return undoCommand(journal, *command, dryRun);
}

std::optional<UndoReport> redoLast(Journal &journal, bool dryRun)
{
    std::optional<JournalCommand> command;
    try {
        command = journal.nextRedo();
    } catch (const DamagedCommand &damaged) {
        UndoReport report;
        report.command = damaged.command.name;
        report.refused = QStringLiteral("cannot be made again: its record is damaged");
        if (!dryRun)
            journal.setAside(damaged.command);
        return report;
    }
    if (!command)
        return std::nullopt;
    if (journal.isBusy(*command)) {
        UndoReport report;
        report.command = command->name;
        report.refused = QStringLiteral("is still being made in another Trackling window");
        return report;
    }
    return redoCommand(journal, *command, dryRun);
}
