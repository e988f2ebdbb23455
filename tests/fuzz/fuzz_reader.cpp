// Whole files as input: the reader with the frame search and header decoding must never crash,
// hang or read out of bounds, and what it reports must agree with the file.
#include "ioerror.h"
#include "mpeginfo.h"
#include "scratchfile.h"
#include "tagfile.h"
#include "tagworkspace.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace
{

class MemorySource : public ByteSource
{
public:
    MemorySource(const std::uint8_t *data, std::size_t size) : m_data(data), m_size(size) {}
    std::size_t readAt(std::int64_t offset, std::uint8_t *buf, std::size_t n) override
    {
        if (offset < 0 || std::size_t(offset) >= m_size)
            return 0;
        const std::size_t got = std::min(n, m_size - std::size_t(offset));
        std::memcpy(buf, m_data + offset, got);
        return got;
    }

private:
    const std::uint8_t *m_data;
    std::size_t m_size;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The probe on memory, with every prefix length the reader may hand it.
    MemorySource source(data, size);
    const MpegProbe probe =
        probeMpegAudio(source, std::int64_t(size), data, std::min<std::size_t>(size, 4096));
    if (probe.found) {
        if (probe.frameOffset < 0 || std::size_t(probe.frameOffset) + 4 > size)
            std::abort();
        if (std::memcmp(probe.header, data + probe.frameOffset, 4) != 0 ||
            !(isValidFrameHeader(probe.header) || isFreeFormatHeader(probe.header)))
            std::abort();
        GetMpegInfo(probe.audioBytes, probe.header, probe.vbr, probe.freeFormatKbit);
    }
    if (size >= 4)
        GetMpegInfo(std::int64_t(size) * 977, data);
    // The tag editor's frame walk, once whole and once with a bound that cuts it short.
    MpegProbe counted = probe;
    countFramesWhenVariable(source, counted, std::int64_t(size));
    const FrameWalk walk = walkFrames(source, probe, std::int64_t(size), std::int64_t(size / 3));
    if (walk.bytes < 0 || std::size_t(walk.bytes) > size)
        std::abort();
    if (counted.found)
        GetMpegInfo(counted.audioBytes, counted.header, counted.vbr, counted.freeFormatKbit);

    // The reader on a real file.
    const std::string &path = scratchFile();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::write(fd, data, size) != ssize_t(size))
        std::abort();
    ::close(fd);
    TagWorkspace &ws = tagWorkspace();
    ws.clearForEdit();
    try {
        ReadTagFile(path);
        if (ws.InfoSize != std::to_string(size) || size < 128)
            std::abort();
        const bool tagged = std::memcmp(data + size - 128, "TAG", 3) == 0;
        if (ws.SongGenreByte != (tagged ? data[size - 1] : 255))
            std::abort();
        if (ws.SongTitle.size() > 30 || ws.SongYear.size() > 4 || ws.InfoLength.empty())
            std::abort();
    } catch (const IoError &) {
        if (size >= 128)
            std::abort(); // a readable file of tag size or more always reads
    }
    return 0;
}
