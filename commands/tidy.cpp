#include "tidy.h"

#include "changes.h"
#include "filelist.h"
#include "filenames.h"
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

// The name's code points. A lone surrogate (a byte of a name that is not valid UTF-8, see
// decodeFileName) stays as it is; toUcs4 would turn it into U+FFFD and so rename the file to
// something else.
std::u32string codePoints(const QString &name)
{
    std::u32string out;
    out.reserve(std::size_t(name.size()));
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t u = name[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < name.size() &&
            QChar::isLowSurrogate(name[i + 1].unicode())) {
            out += QChar::surrogateToUcs4(u, name[i + 1].unicode());
            ++i;
        } else {
            out += u;
        }
    }
    return out;
}

QString fromCodePoints(const std::u32string &points)
{
    QString out;
    out.reserve(qsizetype(points.size()));
    for (const char32_t c : points) {
        if (c >= 0x10000) {
            out += QChar(QChar::highSurrogate(c));
            out += QChar(QChar::lowSurrogate(c));
        } else {
            out += QChar(char16_t(c));
        }
    }
    return out;
}

} // namespace

QString tidyName(const QString &name, int pattern)
{
    // Positions count characters, so the name is handled as code points.
    const std::u32string old = codePoints(name);
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
    return fromCodePoints(out);
}

WalkReport tidyFileNames(const Folder &folder, FileList &list, int pattern,
                         const WalkControl &control)
{
    const PrepareFile prepare = [pattern](const Folder &in, PreparedFile &file) {
        file.newName = tidyName(file.name, pattern);
        const QByteArray to = encodeFileName(file.newName);
        FileStatus st;
        if (to != file.encoded && statusAt(in.fd(), file.encoded.constData(), false, st) == 0)
            file.change = JournalRename{in.path(), file.encoded, to, st.identity};
    };
    return walkInBlocks(
        folder, list, prepare,
        [](PreparedFile &file, const ChangeContext &context) {
            const auto *planned = file.change ? std::get_if<JournalRename>(&*file.change) : nullptr;
            const RenameChange change = renameFile(context, file.name, file.newName, planned);
            FileOutcome outcome =
                change.result == RenameResult::Unchanged
                    ? FileOutcome::leftAsItWas(QStringLiteral("name already tidy"))
                    : (change.renamed() ? FileOutcome::changed()
                                        : FileOutcome::leftAsItWas(change.reason()));
            outcome.newName = file.newName;
            return outcome;
        },
        control);
}
