// The pure text rules on arbitrary names: tidying, artist/title splitting and playlist lines.
// None may crash; each result keeps the shape the rules promise.
#include "playlist.h"
#include "tagsfromnames.h"
#include "tagtext.h"
#include "tagworkspace.h"
#include "tidy.h"

#include <QString>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const int pattern = data[0] % 3;
    const QString name =
        QString::fromUtf8(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    const QString tidy = tidyName(name, pattern);
    if (!tidy.endsWith(QLatin1String(".mp3")))
        std::abort();
    // Only the track prefix grows (two digits become "dd. "); the extension is always ".mp3".
    if (tidy.size() > std::max<qsizetype>(name.size() + 2, 8))
        std::abort();

    // Title and artist are cut from the name's tag text: one byte per character once composed,
    // which a few characters that composing splits (U+0344 is two) make longer than the name.
    titleAndArtistFromName(name, pattern, QStringLiteral("Artist"));
    const TagWorkspace &ws = tagWorkspace();
    const auto characters = std::size_t(tagTextLength(name));
    if (ws.SongTitle.size() > characters ||
        ws.SongArtist.size() > std::max<std::size_t>(characters, 6))
        std::abort();

    guessFromDirectoryName(true, 0, QStringLiteral("/music/") + name, true);

    const auto line = playlistLine(QStringLiteral("/music/"), name);
    if (line) {
        if (!line->endsWith("\r\n") || line->count('\n') != 1 || line->count('\r') != 1)
            std::abort();
    } else if (!name.contains(QLatin1Char('\n')) && !name.contains(QLatin1Char('\r'))) {
        std::abort();
    }
    return 0;
}
