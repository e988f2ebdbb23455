#include "mpeginfo.h"

#include "tagworkspace.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace
{

enum Version { Mpeg25 = 0, Reserved = 1, Mpeg2 = 2, Mpeg1 = 3 };

// Bitrates in kbit/s by bitrate index 0 to 14; index 0 is free format.
const int kMpeg1Layer1[15] = {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448};
const int kMpeg1Layer2[15] = {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};
const int kMpeg1Layer3[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
const int kMpeg2Layer1[15] = {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256};
const int kMpeg2Layer23[15] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};

// Sample rates in Hz by version and sample-rate index 0 to 2.
int sampleRateHz(int version, int index)
{
    static const int mpeg1[3] = {44100, 48000, 32000};
    if (index < 0 || index > 2)
        return 0;
    switch (version) {
    case Mpeg25:
        return mpeg1[index] / 4;
    case Mpeg2:
        return mpeg1[index] / 2;
    default:
        return mpeg1[index];
    }
}

struct Fields {
    int version; // Version
    int layer;   // 3, 2, 1, or 0 for the reserved layer code
    int bitrateIndex;
    int sampleIndex;
    int channelMode;
};

Fields decode(const std::uint8_t *h)
{
    Fields f;
    f.version = (h[1] >> 3) & 0x03;
    const int layerCode = (h[1] >> 1) & 0x03;
    f.layer = layerCode == 0 ? 0 : 4 - layerCode;
    f.bitrateIndex = (h[2] >> 4) & 0x0F;
    f.sampleIndex = (h[2] >> 2) & 0x03;
    f.channelMode = (h[3] >> 6) & 0x03;
    if (h[0] != 0xFF) {
        f = {Mpeg1, 3, 9, 0, 1};
    } else if (f.version == Reserved) {
        f.version = Mpeg1; // only the version bit counts then
    }
    return f;
}

// kbit/s, 0 for free format, -1 for the forbidden index 15.
int bitrateKbit(const Fields &f)
{
    if (f.bitrateIndex == 15)
        return -1;
    if (f.version == Mpeg1) {
        if (f.layer == 1)
            return kMpeg1Layer1[f.bitrateIndex];
        if (f.layer == 2)
            return kMpeg1Layer2[f.bitrateIndex];
        return kMpeg1Layer3[f.bitrateIndex];
    }
    if (f.layer == 1)
        return kMpeg2Layer1[f.bitrateIndex];
    return kMpeg2Layer23[f.bitrateIndex];
}

int samplesPerFrame(const Fields &f)
{
    if (f.layer == 1)
        return 384;
    if (f.layer == 3 && f.version != Mpeg1)
        return 576;
    return 1152;
}

std::string versionLine(const Fields &f)
{
    std::string line = "Version: ";
    line += f.version == Mpeg1 ? "MPEG-1" : f.version == Mpeg2 ? "MPEG-2" : "MPEG-2.5";
    line += " layer ";
    if (f.layer != 0)
        line += char('0' + f.layer);
    return line;
}

std::string sampleRateLine(const Fields &f)
{
    static const char *const texts[3][3] = {
        {"11", "12", "8"},   // MPEG-2.5
        {"22", "24", "16"},  // MPEG-2
        {"44.1", "48", "32"} // MPEG-1
    };
    if (f.sampleIndex == 3)
        return "Samplerate: unknown";
    const int row = f.version == Mpeg1 ? 2 : f.version == Mpeg2 ? 1 : 0;
    return std::string("Samplerate: ") + texts[row][f.sampleIndex] + " kHz";
}

std::string channelModeLine(int mode)
{
    static const char *const texts[4] = {"Channelmode: Stereo", "Channelmode: Joint Stereo",
                                         "Channelmode: Dual Channel", "Channelmode: Mono"};
    return texts[mode & 3];
}

const char kUnknownLength[] = "-:--";

std::uint32_t be32(const std::uint8_t *p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
           std::uint32_t(p[3]);
}

std::uint32_t le32(const std::uint8_t *p)
{
    return (std::uint32_t(p[3]) << 24) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[1]) << 8) |
           std::uint32_t(p[0]);
}

} // namespace

std::string formatPlayingTime(double seconds)
{
    if (!(seconds >= 0) || !std::isfinite(seconds))
        return kUnknownLength;
    const double t = seconds;
    const double h = std::trunc(t / 3600);
    const double m = std::trunc((t - h * 3600) / 60);
    const double s = std::trunc(t - h * 3600 - m * 60);
    auto digits = [](double v) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.0f", v);
        return std::string(buf);
    };
    std::string out;
    if (h != 0) {
        out = digits(h) + (m < 10 ? ":0" : ":") + digits(m);
    } else {
        out = digits(m);
    }
    out += (s < 10 ? ":0" : ":") + digits(s);
    return out;
}

std::string GetMpegInfo(std::int64_t audioSize, const std::uint8_t header[4])
{
    return GetMpegInfo(audioSize, header, VbrHeader{}, 0);
}

std::string GetMpegInfo(std::int64_t audioSize, const std::uint8_t header[4], const VbrHeader &vbr)
{
    return GetMpegInfo(audioSize, header, vbr, 0);
}

std::string GetMpegInfo(std::int64_t audioSize, const std::uint8_t header[4], const VbrHeader &vbr,
                        int freeFormatKbit)
{
    TagWorkspace &ws = tagWorkspace();
    const Fields f = decode(header);
    int kbit = bitrateKbit(f);
    if (kbit == 0 && freeFormatKbit > 0)
        kbit = freeFormatKbit;
    const int rate = sampleRateHz(f.version, f.sampleIndex);

    ws.InfoVersion = versionLine(f);
    ws.InfoSampleRate = sampleRateLine(f);
    ws.InfoChannelMode = channelModeLine(f.channelMode);

    const bool framed = vbr.kind != VbrHeader::Kind::None && vbr.frames > 0 && rate > 0;
    if (framed) {
        const double seconds = double(vbr.frames) * samplesPerFrame(f) / rate;
        const double bytes = vbr.bytes > 0 ? double(vbr.bytes) : double(audioSize);
        const long average = seconds > 0 ? std::lround(bytes * 8 / seconds / 1000) : 0;
        if (vbr.kind != VbrHeader::Kind::Info)
            ws.InfoBitrate = "Bitrate: " + std::to_string(average) + " kbit (VBR)";
        else // constant bitrate
            ws.InfoBitrate = "Bitrate: " + std::to_string(kbit > 0 ? kbit : average) + " kbit";
        return formatPlayingTime(seconds);
    }

    if (kbit < 0) {
        ws.InfoBitrate = "Bitrate: invalid";
        return kUnknownLength;
    }
    if (kbit == 0) {
        ws.InfoBitrate = "Bitrate: free format";
        return kUnknownLength;
    }
    ws.InfoBitrate = "Bitrate: " + std::to_string(kbit) + " kbit";
    // In double precision: no 32-bit overflow for files of any size.
    const double seconds = double(audioSize) * 8.0 / (double(kbit) * 1000.0);
    return formatPlayingTime(seconds);
}

bool isValidFrameHeader(const std::uint8_t *h)
{
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0)
        return false;
    const int version = (h[1] >> 3) & 0x03;
    const int layerCode = (h[1] >> 1) & 0x03;
    const int bitrateIndex = (h[2] >> 4) & 0x0F;
    const int sampleIndex = (h[2] >> 2) & 0x03;
    return version != Reserved && layerCode != 0 && bitrateIndex >= 1 && bitrateIndex <= 14 &&
           sampleIndex <= 2;
}

bool isFreeFormatHeader(const std::uint8_t *h)
{
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0 || (h[2] & 0xF0) != 0)
        return false;
    const int version = (h[1] >> 3) & 0x03;
    const int layerCode = (h[1] >> 1) & 0x03;
    const int sampleIndex = (h[2] >> 2) & 0x03;
    return version != Reserved && layerCode != 0 && sampleIndex <= 2;
}

int frameLength(const std::uint8_t *h)
{
    const Fields f = decode(h);
    const int kbit = bitrateKbit(f);
    const int rate = sampleRateHz(f.version, f.sampleIndex);
    const int padding = (h[2] >> 1) & 1;
    if (kbit <= 0 || rate <= 0)
        return 0;
    if (f.layer == 1)
        return (12 * kbit * 1000 / rate + padding) * 4;
    const int factor = (f.layer == 3 && f.version != Mpeg1) ? 72 : 144;
    return factor * kbit * 1000 / rate + padding;
}

namespace
{

// Whether b may be a later frame of the stream that a starts: the version, the layer and the
// sample rate stay the same from frame to frame, and so does free format. Everything else may
// change: the bitrate (in a VBR stream), the channel mode (encoders write a VBR header frame in
// another mode than the audio, and switch between stereo and joint stereo), the protection bit,
// padding, the private bit, copyright, original and emphasis.
bool sameStream(const std::uint8_t *a, const std::uint8_t *b)
{
    return b[0] == 0xFF && (a[1] & 0xFE) == (b[1] & 0xFE) && (a[2] & 0x0C) == (b[2] & 0x0C) &&
           ((a[2] & 0xF0) == 0) == ((b[2] & 0xF0) == 0);
}

bool isHeader(const std::uint8_t *h)
{
    return isValidFrameHeader(h) || isFreeFormatHeader(h);
}

// The length of a free-format frame's slot: padding adds one slot.
int slotBytes(const std::uint8_t *h)
{
    return ((h[1] >> 1) & 0x03) == 3 ? 4 : 1;
}

int paddingBytes(const std::uint8_t *h)
{
    return ((h[2] >> 1) & 1) * slotBytes(h);
}

// The bitrate in kbit/s of a free-format frame of `length` bytes without its padding.
int freeFormatKbit(const std::uint8_t *h, std::int64_t length)
{
    const Fields f = decode(h);
    const double rate = sampleRateHz(f.version, f.sampleIndex);
    const int perSlot = f.layer == 1 ? 48 : (f.layer == 3 && f.version != Mpeg1) ? 72 : 144;
    return int(std::lround(double(length) * rate / perSlot / 1000.0));
}

VbrHeader findVbrHeader(const std::uint8_t *frame, std::size_t available)
{
    VbrHeader vbr;
    const Fields f = decode(frame);
    const bool mono = f.channelMode == 3;
    const std::size_t xingAt = 4 + (f.version == Mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
    if (xingAt + 16 <= available) {
        const std::uint8_t *x = frame + xingAt;
        const bool xing = std::memcmp(x, "Xing", 4) == 0;
        if (xing || std::memcmp(x, "Info", 4) == 0) {
            vbr.kind = xing ? VbrHeader::Kind::Xing : VbrHeader::Kind::Info;
            const std::uint32_t flags = be32(x + 4);
            std::size_t at = 8;
            if ((flags & 1) && xingAt + at + 4 <= available) {
                vbr.frames = be32(x + at);
                at += 4;
            }
            if ((flags & 2) && xingAt + at + 4 <= available)
                vbr.bytes = be32(x + at);
            return vbr;
        }
    }
    const std::size_t vbriAt = 36;
    if (vbriAt + 18 <= available && std::memcmp(frame + vbriAt, "VBRI", 4) == 0) {
        vbr.kind = VbrHeader::Kind::Vbri;
        vbr.bytes = be32(frame + vbriAt + 10);
        vbr.frames = be32(frame + vbriAt + 14);
    }
    return vbr;
}

// How far past the start of the audio a first frame is looked for.
constexpr std::int64_t kSearchWindow = 64 * 1024;
// Shortest and longest free-format frame looked for.
constexpr std::int64_t kMinFreeFrame = 24;
constexpr std::int64_t kMaxFreeFrame = 4096;
// Room past a candidate for the two frames that confirm it, with the header after them.
constexpr std::int64_t kConfirmRoom = 2 * kMaxFreeFrame + 4;
constexpr std::size_t kFirstRead = 4096;

std::size_t readInto(ByteSource &source, std::vector<std::uint8_t> &buf, std::int64_t offset,
                     std::size_t n, const std::uint8_t *prefix, std::size_t prefixLen)
{
    buf.resize(n);
    if (offset >= 0 && std::size_t(offset) + n <= prefixLen) {
        std::memcpy(buf.data(), prefix + offset, n);
        return n;
    }
    const std::size_t got = source.readAt(offset, buf.data(), n);
    buf.resize(got);
    return got;
}

// Where the audio starts: past ID3v2 tags at the start, or at the data chunk of a RIFF/WAVE file.
// Narrows audioEnd to the data chunk's end.
std::int64_t audioStart(ByteSource &source, std::int64_t &audioEnd, const std::uint8_t *prefix,
                        std::size_t prefixLen)
{
    std::vector<std::uint8_t> buf;
    if (prefixLen >= 12 && std::memcmp(prefix, "RIFF", 4) == 0 &&
        std::memcmp(prefix + 8, "WAVE", 4) == 0) {
        std::int64_t at = 12;
        for (int chunk = 0; chunk < 64 && at + 8 <= audioEnd; ++chunk) {
            if (readInto(source, buf, at, 8, prefix, prefixLen) < 8)
                break;
            const std::int64_t size = le32(buf.data() + 4);
            if (std::memcmp(buf.data(), "data", 4) == 0) {
                audioEnd = std::min(audioEnd, at + 8 + size);
                return at + 8;
            }
            at += 8 + size + (size & 1);
        }
        return 0;
    }
    std::int64_t at = 0;
    for (int tag = 0; tag < 8 && at + 10 <= audioEnd; ++tag) {
        if (readInto(source, buf, at, 10, prefix, prefixLen) < 10)
            break;
        const std::int64_t span = id3v2TagSpan(buf.data());
        if (span == 0)
            break;
        at += span;
    }
    return std::min(at, audioEnd);
}

} // namespace

namespace
{

// The bytes read from the start of the audio, and what a candidate header needs of them.
struct Window {
    const std::uint8_t *data;
    std::int64_t len;        // bytes read
    std::int64_t endOfAudio; // where the audio ends, counted from the start of the read
    bool complete;           // nothing more will be read
};

enum class Verdict { Confirmed, Rejected, NeedMore };

// Whether the header at `at` continues the stream that `first` starts (or the audio ends there).
Verdict continues(const Window &w, const std::uint8_t *first, std::int64_t at)
{
    if (at == w.endOfAudio)
        return Verdict::Confirmed;
    if (at + 4 > w.endOfAudio)
        return Verdict::Confirmed; // the stream is cut off inside a frame
    if (at + 4 > w.len)
        return w.complete ? Verdict::Confirmed : Verdict::NeedMore;
    return isHeader(w.data + at) && sameStream(first, w.data + at) ? Verdict::Confirmed
                                                                   : Verdict::Rejected;
}

// A bitrate-indexed header at p: the next two frames must continue its stream.
Verdict confirmIndexed(const Window &w, std::int64_t p)
{
    const std::uint8_t *first = w.data + p;
    const std::int64_t next = p + frameLength(first);
    if (next == w.endOfAudio)
        return Verdict::Confirmed;
    if (next + 4 > w.endOfAudio)
        return Verdict::Rejected; // a first frame that runs past the end is none
    if (next + 4 > w.len)
        return w.complete ? Verdict::Rejected : Verdict::NeedMore;
    const std::uint8_t *second = w.data + next;
    if (!isValidFrameHeader(second) || !sameStream(first, second))
        return Verdict::Rejected;
    return continues(w, first, next + frameLength(second));
}

// A free-format header at p: the next header of its stream gives the frame length, and the
// header after that must lie where that length puts it. Sets length to the first frame's
// length without padding.
Verdict confirmFree(const Window &w, std::int64_t p, std::int64_t &length)
{
    const std::uint8_t *first = w.data + p;
    const std::int64_t last = std::min(p + kMaxFreeFrame, w.len - 4);
    for (std::int64_t next = p + kMinFreeFrame; next <= last; ++next) {
        const std::uint8_t *second = w.data + next;
        if (second[0] != 0xFF || !isFreeFormatHeader(second) || !sameStream(first, second))
            continue;
        const std::int64_t base = next - p - paddingBytes(first);
        if (base < kMinFreeFrame)
            continue;
        const Verdict third = continues(w, first, next + base + paddingBytes(second));
        if (third == Verdict::NeedMore)
            return third;
        if (third == Verdict::Confirmed) {
            length = base;
            return third;
        }
    }
    if (!w.complete && p + kMaxFreeFrame + 4 > w.len && w.len < w.endOfAudio)
        return Verdict::NeedMore;
    return Verdict::Rejected;
}

} // namespace

MpegProbe probeMpegAudio(ByteSource &source, std::int64_t audioEnd, const std::uint8_t *prefix,
                         std::size_t prefixLen)
{
    MpegProbe probe;
    const std::int64_t start = audioStart(source, audioEnd, prefix, prefixLen);
    probe.audioBytes = std::max<std::int64_t>(0, audioEnd - start);

    std::vector<std::uint8_t> buf;
    const std::int64_t endOfAudio = audioEnd - start;
    const std::int64_t limit = std::min(endOfAudio, kSearchWindow + kConfirmRoom);
    if (limit <= 0)
        return probe;
    // A first small read finds the frame of nearly every file; the rest of the window only
    // when that fails.
    std::size_t want = std::size_t(std::min<std::int64_t>(limit, kFirstRead));
    std::int64_t from = 0;
    for (;;) {
        const std::size_t len = readInto(source, buf, start, want, prefix, prefixLen);
        const bool complete = std::int64_t(len) >= limit || len < want;
        const Window w{buf.data(), std::int64_t(len), endOfAudio, complete};
        bool needMore = false, startsFree = false;
        std::int64_t p = from;
        for (; p + 4 <= w.len && p < kSearchWindow; ++p) {
            const std::uint8_t *d = w.data + p;
            if (d[0] != 0xFF || !isHeader(d))
                continue;
            std::int64_t freeLength = 0;
            const bool free = isFreeFormatHeader(d);
            const Verdict v = free ? confirmFree(w, p, freeLength) : confirmIndexed(w, p);
            if (v == Verdict::NeedMore) {
                needMore = true; // the earliest candidate is decided before any later one
                break;
            }
            if (v == Verdict::Rejected && free && p == 0) {
                startsFree = true; // the audio starts with free format: that header it is
                break;
            }
            if (v == Verdict::Rejected)
                continue;
            probe.found = true;
            probe.frameOffset = start + p;
            std::memcpy(probe.header, d, 4);
            probe.audioBytes = endOfAudio - p;
            const std::int64_t frameEnd =
                free ? p + freeLength + paddingBytes(d) : p + frameLength(d);
            probe.vbr = findVbrHeader(d, std::size_t(std::min(w.len, frameEnd) - p));
            if (free)
                probe.freeFormatKbit = freeFormatKbit(d, freeLength);
            return probe;
        }
        from = p;
        if (complete || startsFree || (!needMore && p >= kSearchWindow)) {
            // A free-format header at the very start is that header, even without a second
            // frame to give its length.
            if (w.len >= 4 && isFreeFormatHeader(w.data)) {
                probe.found = true;
                probe.frameOffset = start;
                std::memcpy(probe.header, w.data, 4);
                probe.vbr = findVbrHeader(
                    w.data, std::size_t(std::min<std::int64_t>(w.len, kMaxFreeFrame)));
            }
            return probe;
        }
        want = std::size_t(limit);
    }
}

namespace
{

constexpr std::size_t kWalkBlock = 256 * 1024;

} // namespace

std::int64_t id3v2TagSpan(const std::uint8_t h[10])
{
    if (std::memcmp(h, "ID3", 3) != 0 || h[3] == 0xFF || h[4] == 0xFF ||
        ((h[6] | h[7] | h[8] | h[9]) & 0x80))
        return 0;
    const std::int64_t size = (std::int64_t(h[6]) << 21) | (std::int64_t(h[7]) << 14) |
                              (std::int64_t(h[8]) << 7) | std::int64_t(h[9]);
    return 10 + size + ((h[3] >= 4 && (h[5] & 0x10)) ? 10 : 0);
}

FrameWalk walkFrames(ByteSource &source, const MpegProbe &probe, std::int64_t audioEnd,
                     std::int64_t maxBytes)
{
    FrameWalk walk;
    if (!probe.found || !isValidFrameHeader(probe.header))
        return walk;
    const std::int64_t start = probe.frameOffset;
    const std::int64_t stop = std::min(audioEnd, start + std::max<std::int64_t>(maxBytes, 0));
    std::unique_ptr<std::uint8_t[]> buf; // only the four bytes of each header are looked at
    const std::uint8_t *bytes = nullptr; // the bytes from bufStart on: held by the source or read
    std::int64_t at = start;             // the next frame's offset in the file
    std::int64_t bufStart = start;       // file offset of bytes[0]
    std::size_t bufLen = 0;
    const int firstIndex = probe.header[2] >> 4;
    while (at + 4 <= stop) {
        if (at + 4 > bufStart + std::int64_t(bufLen)) {
            const std::size_t want = std::size_t(std::min<std::int64_t>(kWalkBlock, audioEnd - at));
            bytes = source.bytesAt(at, want);
            if (bytes) {
                bufLen = want;
            } else {
                if (!buf)
                    buf.reset(new std::uint8_t[kWalkBlock]);
                bufLen = source.readAt(at, buf.get(), want);
                bytes = buf.get();
            }
            bufStart = at;
            if (bufLen < 4)
                break;
        }
        const std::uint8_t *h = bytes + (at - bufStart);
        if (!isValidFrameHeader(h) || !sameStream(probe.header, h))
            break; // the end of the stream: another tag, junk or a damaged frame
        const int length = frameLength(h);
        if (at + length > audioEnd)
            break; // a frame cut off at the end is no frame
        if ((h[2] >> 4) != firstIndex)
            walk.bitratesDiffer = true;
        ++walk.frames;
        at += length;
    }
    walk.bytes = at - start;
    // Stopped by the bound, not by the stream: the rest of the audio goes on at the same rate.
    if (at + 4 > stop && stop < audioEnd && walk.bytes > 0) {
        const double scale = double(audioEnd - start) / double(walk.bytes);
        walk.frames = std::uint64_t(std::llround(double(walk.frames) * scale));
        walk.bytes = audioEnd - start;
    }
    return walk;
}

void countFramesWhenVariable(ByteSource &source, MpegProbe &probe, std::int64_t audioEnd)
{
    if (!probe.found || probe.vbr.kind != VbrHeader::Kind::None)
        return;
    const FrameWalk walk = walkFrames(source, probe, audioEnd);
    if (!walk.bitratesDiffer || walk.frames == 0)
        return;
    probe.vbr.kind = VbrHeader::Kind::Counted;
    probe.vbr.frames = std::uint32_t(std::min<std::uint64_t>(walk.frames, UINT32_MAX));
    probe.vbr.bytes = walk.bytes <= std::int64_t(UINT32_MAX) ? std::uint32_t(walk.bytes) : 0;
}
