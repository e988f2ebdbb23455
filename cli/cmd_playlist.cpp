// playlist: Create playlist(s).
#include "cliquestions.h"
#include "command.h"
#include "filenames.h"
#include "invocation.h"
#include "runner.h"
#include "targets.h"

#include <QDir>
#include <sys/stat.h>

namespace
{

constexpr CliOption kNoDriveLetter = {
    "no-drive-letter", 0, nullptr,
    "Write the paths without the mount point of a removable or network volume."};
constexpr CliOption kOutput = {
    "output", 'o', "PATH",
    "Without subfolders: the playlist's file (a folder takes the proposed name; \".m3u\" is "
    "added to a name without a suffix). With subfolders: the folder for the playlists."};

QByteArray absolute(const QByteArray &path)
{
    if (path.startsWith('/'))
        return path;
    return encodeFileName(QDir::currentPath()) + '/' + path;
}

int playlist(Invocation &invocation)
{
    const QByteArray &operand = invocation.operands().at(0);
    struct stat st;
    if (::stat(operand.constData(), &st) != 0)
        throw PathError{operand, IoError::fromErrno(errno)};
    if (!S_ISDIR(st.st_mode))
        invocation.usage("playlist takes a FOLDER, not a file: '" + operand.toStdString() + "'");
    CliQuestions questions;
    if (const auto output = invocation.value(kOutput.longName))
        questions.output = decodeFileName(absolute(*output));
    // The folder as the window names it: absolute, links on the way resolved.
    return runPlaylists(invocation, realFolderPath(operand),
                        invocation.flag(kNoDriveLetter.longName), questions);
}

const CommandRegistration registration({
    "playlist",
    80,
    "FOLDER",
    1,
    1,
    "Create playlist(s): one M3U playlist of a folder without subfolders, or one per subfolder "
    "and \"_All.m3u\" of them all.",
    "A folder without subfolders gets one playlist of its MP3 files, by default the folder's "
    "name with \".m3u\", inside it. A folder with subfolders gets one playlist per subfolder, "
    "named after it, and \"_All.m3u\" of all of their files, in --output (a folder; by default "
    "FOLDER itself), replacing playlists of the same names. Each line is a file's full path, "
    "ended by CR LF.",
    {kNoDriveLetter, kOutput},
    playlist,
});

} // namespace
