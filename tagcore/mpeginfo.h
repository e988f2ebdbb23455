#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A variable-bitrate header found in the first frame.
// Counted is no header of the file: the frames were counted by walking them (walkFrames).
struct VbrHeader {
    enum class Kind { None, Xing, Info, Vbri, Counted };
    Kind kind = Kind::None;
    std::uint32_t frames = 0; // 0 when the header gives no frame count
    std::uint32_t bytes = 0;  // 0 when the header gives no byte count
};

// Where the audio of a file lies and what its first frame is.
struct MpegProbe {
    // A frame header that the next frames confirm was found, or the audio starts with a
    // free-format header whose frame length could not be found.
    bool found = false;
    std::int64_t frameOffset = 0; // file offset of that header
    std::uint8_t header[4] = {};  // its four bytes
    std::int64_t audioBytes = 0;  // bytes from the first frame to the end of the audio
    VbrHeader vbr;
    // The bitrate of a free-format stream, from the distance between its first two frames;
    // 0 when the stream is not free format or that distance is unknown.
    int freeFormatKbit = 0;
};

// Decodes the header at face value into InfoVersion, InfoBitrate, InfoSampleRate and
// InfoChannelMode and returns the playing time estimated from audioSize bytes at the header's
// bitrate ("m:ss" or "h:mm:ss"). A header whose byte 0 is not 0xFF is replaced by the assumed
// header: MPEG-1 layer 3, 128 kbit, 44.1 kHz, joint stereo.
std::string GetMpegInfo(std::int64_t audioSize, const std::uint8_t header[4]);

// As above, but with a VBR header: the playing time comes from its frame count, and for Xing and
// VBRI headers the bitrate line shows the average bitrate marked VBR.
std::string GetMpegInfo(std::int64_t audioSize, const std::uint8_t header[4], const VbrHeader &vbr);

// As above for a free-format header (bitrate index 0) whose bitrate is known from its frame
// length: the lines and the estimate use freeFormatKbit (0: unknown, shown as free format).
std::string GetMpegInfo(std::int64_t audioSize, const std::uint8_t header[4], const VbrHeader &vbr,
                        int freeFormatKbit);

// The playing-time text of a number of seconds: fractions are dropped, "m:ss" below an hour,
// "h:mm:ss" from an hour on.
std::string formatPlayingTime(double seconds);

// True when the four bytes are a valid MPEG audio frame header (sync, version, layer, bitrate
// index 1 to 14, sample-rate index 0 to 2).
bool isValidFrameHeader(const std::uint8_t *h);
// True when the four bytes are a free-format frame header: valid but for bitrate index 0.
bool isFreeFormatHeader(const std::uint8_t *h);
// The length in bytes of the frame that a valid header starts.
int frameLength(const std::uint8_t *h);

// Source of file bytes for the frame search: reads up to n bytes at offset into buf and returns
// how many it read (fewer at the end of the file). Throws IoError on failure.
class ByteSource
{
public:
    virtual ~ByteSource() = default;
    virtual std::size_t readAt(std::int64_t offset, std::uint8_t *buf, std::size_t n) = 0;
    // The n bytes at offset where the source holds them already, to be looked at where they are
    // (valid as long as the source lives); nothing where they would have to be read.
    virtual const std::uint8_t *bytesAt(std::int64_t offset, std::size_t n)
    {
        (void)offset;
        (void)n;
        return nullptr;
    }
};

// How many bytes the ID3v2 tag whose 10-byte header is h takes, header and footer included
// (its size is in the header, seven bits a byte); 0 when h is no ID3v2 header.
std::int64_t id3v2TagSpan(const std::uint8_t h[10]);

// Finds the audio of a file: skips an ID3v2 tag at the start or finds the data chunk of a
// RIFF/WAVE file, then looks within a bounded window for the earliest frame header that the
// next two frames confirm (by version, layer and sample rate only, which every frame of a stream
// shares: the channel mode, CRC and flag bits may change from frame to frame; a stream that ends
// sooner needs fewer). The probe describes that first confirmed header. A free-format header is
// confirmed by the next header at any distance, which gives its frame length and bitrate. audioEnd
// is where the audio stops (the file size less an ID3v1 tag). prefix holds the first prefixLen
// bytes of the file, already read.
MpegProbe probeMpegAudio(ByteSource &source, std::int64_t audioEnd, const std::uint8_t *prefix,
                         std::size_t prefixLen);

// What walking the frames of a stream found.
struct FrameWalk {
    std::uint64_t frames = 0; // frames counted, or extrapolated past the walk's bound
    std::int64_t bytes = 0;   // the audio bytes they take
    bool bitratesDiffer = false;
};

// Walks the frame headers from the first frame that probe found to audioEnd, reading in large
// blocks; stops at the first byte that does not continue the stream, and past maxBytes
// extrapolates the count to the whole audio. Reads only when probe found a bitrate-indexed
// frame. Throws IoError when a read fails.
FrameWalk walkFrames(ByteSource &source, const MpegProbe &probe, std::int64_t audioEnd,
                     std::int64_t maxBytes = 64 * 1024 * 1024);

// For a probe without a VBR header: walks the frames, and where their bitrates differ makes the
// count the probe's VBR information (Counted), so that GetMpegInfo shows the true length and
// the average bitrate. A stream of one bitrate keeps its estimate.
void countFramesWhenVariable(ByteSource &source, MpegProbe &probe, std::int64_t audioEnd);
