// Whole files as input to the ID3v2 reader: TagLib gets the leading tag's bytes from memory and
// must never crash, hang or read out of bounds, and the ID3v1 fields made from what it gives
// must always fit an ID3v1 tag. The new tag rendered from it (in memory) must read back with the
// texts written, keep the old tag's size where it says it fits, and render again to itself.
#include "fromid3v2.h"
#include "genres.h"
#include "id3v2reader.h"
#include "id3v2writer.h"
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

// Renders the update over the input's tag (or none) and checks what comes out.
void checkRender(const std::uint8_t *data, std::size_t size, const Id3v2Info &old,
                 const Id3v2Update &update)
{
    const std::uint8_t *tag = old.present ? data : nullptr;
    const std::size_t n = old.present ? size : 0;
    const Id3v2Rendering r = renderId3v2(tag, n, update);
    if (!r.written) {
        if (!old.present || r.reason.empty() || !r.bytes.empty())
            std::abort(); // a file without a tag always gets one
        return;
    }
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(r.bytes.data());
    const Id3v2Info now = parseId3v2(bytes, r.bytes.size());
    if (!now.present || !now.read || now.version != r.version ||
        now.size != std::int64_t(r.bytes.size()) ||
        (r.inPlace && std::int64_t(r.bytes.size()) != old.size) ||
        (old.present && r.version != old.version) || now.text.title != *update.title ||
        (update.artist && now.text.artist != *update.artist) ||
        (update.genre && now.text.genre != *update.genre) ||
        (update.year && now.text.year.compare(0, update.year->size(), *update.year) != 0))
        std::abort();
    // Rendered again with the same texts, the new tag is itself.
    const Id3v2Rendering again = renderId3v2(bytes, r.bytes.size(), update);
    if (!again.written || !again.inPlace || again.bytes != r.bytes)
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

    if (mem.present && mem.size <= kId3v2ReadLimit) {
        Id3v2Update latin1;
        latin1.title = "Fuzz title";
        latin1.artist = "Fuzz \xC3\xA4rtist";
        latin1.genre = "Rock";
        checkRender(data, size, mem, latin1);
        Id3v2Update wide;
        wide.title = "\xC5\x81\xC3\xB3"
                     "d\xC5\xBA \xC3\xBF"; // "Łódź ÿ"
        wide.year = "1999";
        wide.comment = "c";
        checkRender(data, size, mem, wide);
    } else if (!mem.present) {
        Id3v2Update latin1;
        latin1.title = "New";
        checkRender(data, size, mem, latin1);
    }

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
