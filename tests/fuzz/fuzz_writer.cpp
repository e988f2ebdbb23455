// The writer on arbitrary existing contents and arbitrary field texts: the audio bytes never
// change, the file grows by exactly one tag or keeps its size, and the tag reads back.
#include "ioerror.h"
#include "scratchfile.h"
#include "tagfile.h"
#include "tagworkspace.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

std::string takeText(const std::uint8_t *&data, std::size_t &size)
{
    if (size == 0)
        return {};
    std::size_t n = std::min<std::size_t>(data[0] % 40, size - 1);
    std::string text(reinterpret_cast<const char *>(data + 1), n);
    data += n + 1;
    size -= n + 1;
    return text;
}

std::string padded(std::string text, std::size_t width)
{
    text.resize(width, ' ');
    return text;
}

std::vector<std::uint8_t> readAll(const std::string &path)
{
    std::vector<std::uint8_t> out;
    const int fd = ::open(path.c_str(), O_RDONLY);
    std::uint8_t buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0)
        out.insert(out.end(), buf, buf + n);
    ::close(fd);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    TagWorkspace &ws = tagWorkspace();
    ws.SongTitle = takeText(data, size);
    ws.SongArtist = takeText(data, size);
    ws.SongAlbum = takeText(data, size);
    ws.SongYear = takeText(data, size);
    ws.SongComment = takeText(data, size);
    ws.SongGenre = takeText(data, size);
    const std::uint8_t oldByte = size > 0 ? data[0] : 0;
    ws.SongGenreByte = oldByte;

    const std::string &path = scratchFile();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::write(fd, data, size) != ssize_t(size))
        std::abort();
    ::close(fd);

    const std::string title = ws.SongTitle, artist = ws.SongArtist, album = ws.SongAlbum;
    const std::string year = ws.SongYear, comment = ws.SongComment;
    try {
        WriteTagFile(path);
    } catch (const IoError &) {
        if (size >= 128)
            std::abort();
        if (readAll(path) != std::vector<std::uint8_t>(data, data + size))
            std::abort(); // a refused write changes nothing
        return 0;
    }
    const std::vector<std::uint8_t> after = readAll(path);
    const bool tagged = std::memcmp(data + size - 128, "TAG", 3) == 0;
    const std::size_t audio = tagged ? size - 128 : size;
    if (after.size() != audio + 128 || std::memcmp(after.data(), data, audio) != 0)
        std::abort();
    std::string expected = "TAG" + padded(title, 30) + padded(artist, 30) + padded(album, 30) +
                           padded(year, 4) + padded(comment, 30);
    if (std::memcmp(after.data() + audio, expected.data(), 127) != 0)
        std::abort();
    if (after.back() != ws.SongGenreByte)
        std::abort();
    return 0;
}
