#include "tidy.h"

#include "filelist.h"
#include "rename.h"
#include "tagsfromnames.h"

#include <QList>
#include <string>

namespace
{

bool isDigit(char32_t c)
{
    return c >= U'0' && c <= U'9';
}

bool isFlag(char32_t c)
{
    switch (c) {
    case U' ':
    case U'.':
    case U'(':
    case U'[':
    case U'-':
    case U'#':
        return true;
    default:
        return false;
    }
}

char32_t capitalised(char32_t c)
{
    if (c >= U'a' && c <= U'z')
        return c - U'a' + U'A';
    switch (c) {
    case 0xE4: // ä
    case 0xF6: // ö
    case 0xE5: // å
        return c - 0x20;
    default:
        return c;
    }
}

char32_t lowered(char32_t c)
{
    if (c >= U'A' && c <= U'Z')
        return c - U'A' + U'a';
    switch (c) {
    case 0xC4: // Ä
    case 0xD6: // Ö
    case 0xC5: // Å
        return c + 0x20;
    default:
        return c;
    }
}

} // namespace

QString tidyName(const QString &name, int pattern)
{
    // Positions count characters, so the name is handled as code points.
    const QList<uint> old = name.toUcs4();
    const int len = int(old.size());
    auto at = [&](int pos) -> char32_t { return pos >= 1 && pos <= len ? old[pos - 1] : 0; };

    std::u32string out;
    out.reserve(std::size_t(len) + 2);
    int bodyStart = 1;
    if (isDigit(at(1)) && isDigit(at(2)) && pattern != PatternArtistSong && at(3) != U'.') {
        out += {at(1), at(2), U'.', U' '};
        bodyStart = 3;
        if (at(3) == U'_' || at(3) == U' ')
            ++bodyStart;
        if (at(4) == U'-') {
            ++bodyStart;
            if (at(5) == U'_' || at(5) == U' ')
                ++bodyStart;
        }
    }

    bool capital = true;
    for (int pos = bodyStart; pos <= len - 4; ++pos) {
        char32_t c = at(pos);
        if (c == U'_')
            c = U' ';
        const bool wasCapital = capital;
        capital = isFlag(c);
        out += wasCapital ? capitalised(c) : lowered(c);
    }
    out += U".mp3";
    return QString::fromUcs4(out.data(), qsizetype(out.size()));
}

void tidyFileNames(FileList &list, int pattern)
{
    walkSelection(list, [pattern](int, const QString &name) {
        renameNoReplace(name, tidyName(name, pattern));
    });
    list.reread();
}
