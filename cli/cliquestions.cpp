#include "cliquestions.h"

#include "filenames.h"
#include "pathinfolder.h"

#include <sys/stat.h>

namespace
{

bool isFolder(const QString &path)
{
    struct stat st;
    return ::stat(encodeFileName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::optional<QString> CliQuestions::askText(const QString &, const QString &,
                                             const QString &initial, int)
{
    return newName ? newName : std::optional<QString>(initial);
}

std::optional<TagTexts> CliQuestions::editTag(const TagEditView &view)
{
    TagTexts tag = view.tag;
    const auto over = [](QString &field, const std::optional<QString> &given) {
        if (given)
            field = *given;
    };
    over(tag.title, fields.title);
    over(tag.artist, fields.artist);
    over(tag.album, fields.album);
    over(tag.year, fields.year);
    over(tag.comment, fields.comment);
    over(tag.genre, fields.genre);
    return tag;
}

std::optional<LongTitleAnswer> CliQuestions::askLongTitle(const LongTitleQuestion &)
{
    return std::nullopt;
}

std::optional<QString> CliQuestions::askSaveFileName(const QString &, const QString &proposedPath,
                                                     const QString &, const QString &defaultSuffix)
{
    if (!output)
        return proposedPath;
    // A folder takes the proposed name; a name without a suffix gets the playlist's, as the save
    // dialog gives it.
    if (isFolder(*output))
        return pathInFolder(*output, proposedPath.mid(proposedPath.lastIndexOf(u'/') + 1));
    const QString name = output->mid(output->lastIndexOf(u'/') + 1);
    if (!name.contains(u'.'))
        return *output + QLatin1Char('.') + defaultSuffix;
    return output;
}

std::optional<QString> CliQuestions::askExistingDirectory(const QString &,
                                                          const QString &startFolder)
{
    return output ? output : std::optional<QString>(startFolder);
}

void CliQuestions::showError(const QString &) {}

bool CliQuestions::confirm(const QString &)
{
    return true;
}
