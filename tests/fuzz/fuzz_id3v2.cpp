// Whole files as input to the ID3v2 reader: TagLib gets the leading tag's bytes from memory and
// must never crash, hang or read out of bounds, and the ID3v1 fields made from what it gives
// must always fit an ID3v1 tag.
#include "fromid3v2.h"
#include "genres.h"
#include "id3v2reader.h"
#include "ioerror.h"
#include "scratchfile.h"

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace
{

void checkFields(const Id3v2Info &info)
{
    const Id3v1Fields f = id3v1FieldsFromId3v2(info.text);
    if (f.title.size() > 30 || f.artist.size() > 30 || f.album.size() > 30 ||
        f.comment.size() > 30 || f.year.size() > 4)
        std::abort();
    bool known = false;
    for (const GenreRow &row : GenreTable())
        known = known || f.genre == row.name;
    if (!known)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const Id3v2Info mem = parseId3v2(data, size);
    if (mem.present != (id3v2DeclaredSize(data, size) > 0))
        std::abort();
    if (!mem.present && (mem.read || !mem.text.title.empty()))
        std::abort();
    checkFields(mem);

    // The reader on a real file gives the same.
    const std::string &path = scratchFile();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::write(fd, data, size) != ssize_t(size))
        std::abort();
    ::close(fd);
    try {
        const Id3v2Info file = readId3v2(path);
        if (file.present != mem.present || file.size != mem.size || file.read != mem.read ||
            file.text.title != mem.text.title || file.text.genre != mem.text.genre)
            std::abort();
    } catch (const IoError &) {
        std::abort(); // a readable regular file always reads
    }
    return 0;
}
