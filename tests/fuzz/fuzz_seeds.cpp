// Writes the seed corpus of the fuzz targets: frame streams of each version and layer, ID3v2
// tags before the audio, VBR headers, a RIFF/WAVE wrapper, ID3v1 tags, short files.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace
{

std::string frame(const char *header, int length)
{
    std::string f(length, '\0');
    std::memcpy(f.data(), header, 4);
    return f;
}

std::string stream(const char *header, int length, int count)
{
    std::string s;
    for (int i = 0; i < count; ++i)
        s += frame(header, length);
    return s;
}

std::string tag()
{
    std::string t(128, ' ');
    std::memcpy(t.data(), "TAGSong", 7);
    t[127] = 17;
    return t;
}

std::string id3v2(int payload)
{
    std::string t = "ID3";
    t += char(3);
    t += char(0);
    t += char(0);
    for (int shift : {21, 14, 7, 0})
        t += char((payload >> shift) & 0x7F);
    return t + std::string(payload, '\0');
}

// A frame of a version 2.major tag.
std::string id3v2Frame(int major, const std::string &id, const std::string &body)
{
    std::string f = id;
    const std::size_t n = body.size();
    if (major == 2) {
        f += {char(n >> 16), char(n >> 8), char(n)};
    } else {
        const bool synchsafe = major == 4;
        for (int shift : {3, 2, 1, 0})
            f += char(synchsafe ? (n >> (7 * shift)) & 0x7F : (n >> (8 * shift)) & 0xFF);
        f += std::string(2, '\0');
    }
    return f + body;
}

std::string id3v2Tag(int major, const std::string &frames)
{
    std::string t = "ID3";
    t += char(major);
    t += char(0);
    t += char(0);
    for (int shift : {21, 14, 7, 0})
        t += char((frames.size() >> shift) & 0x7F);
    return t + frames;
}

// A tag of many tiny frames of one ID, then the frames that count.
std::string tinyFrames(int major, const std::string &id, const std::string &body, int count)
{
    std::string frames;
    for (int i = 0; i < count; ++i)
        frames += id3v2Frame(major, id, body);
    frames += id3v2Frame(major, major == 2 ? "TP1" : "TPE1", std::string("\0Last", 5));
    frames += id3v2Frame(major, major == 2 ? "COM" : "COMM", std::string("\0eng\0Nice", 9));
    return id3v2Tag(major, frames + std::string(16, '\0'));
}

// A version 2.major tag of text frames: the title, artist and genre an ID3v1 tag takes from it.
std::string id3v2Frames(int major)
{
    auto frame = [major](const std::string &id, const std::string &body) {
        std::string f = id;
        const std::size_t n = body.size();
        if (major == 2) {
            f += {char(n >> 16), char(n >> 8), char(n)};
        } else {
            const bool synchsafe = major == 4;
            for (int shift : {3, 2, 1, 0})
                f += char(synchsafe ? (n >> (7 * shift)) & 0x7F : (n >> (8 * shift)) & 0xFF);
            f += std::string(2, '\0');
        }
        return f + body;
    };
    const bool v22 = major == 2;
    std::string frames = frame(v22 ? "TT2" : "TIT2", std::string("\0Title", 6));
    frames += frame(v22 ? "TP1" : "TPE1", std::string("\x01\xFF\xFE"
                                                      "A\0b\0",
                                                      7));
    frames += frame(v22 ? "TCO" : "TCON", std::string("\0(17)", 5));
    frames += frame(v22 ? "COM" : "COMM", std::string("\0eng\0Nice", 9));
    frames += frame(v22 ? "TYE" : (major == 3 ? "TYER" : "TDRC"), std::string("\x03"
                                                                              "2003",
                                                                              5));
    frames += std::string(32, '\0'); // padding
    std::string t = "ID3";
    t += char(major);
    t += char(0);
    t += char(0);
    for (int shift : {21, 14, 7, 0})
        t += char((frames.size() >> shift) & 0x7F);
    return t + frames;
}

void put(const std::string &dir, const std::string &name, const std::string &data)
{
    std::ofstream(dir + "/" + name, std::ios::binary) << data;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: fuzz_seeds DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    const std::string mp1l3 = stream("\xFF\xFB\x90\x44", 417, 4);
    put(dir, "mpeg1-l3", mp1l3);
    put(dir, "mpeg1-l3-tag", mp1l3 + tag());
    put(dir, "mpeg2-l3", stream("\xFF\xF3\x80\xC4", 208, 4));
    put(dir, "mpeg25-l3", stream("\xFF\xE3\x90\x00", 360, 3));
    put(dir, "mpeg1-l2", stream("\xFF\xFD\xE4\x04", 1152, 3));
    put(dir, "mpeg1-l1", stream("\xFF\xFF\x98\x80", 432, 3));
    put(dir, "id3v2", id3v2(200) + mp1l3 + tag());
    for (int major : {2, 3, 4}) {
        put(dir, "id3v2-frames-" + std::to_string(major), id3v2Frames(major) + mp1l3);
        const bool v22 = major == 2;
        put(dir, "id3v2-tiny-" + std::to_string(major),
            tinyFrames(major, v22 ? "TT2" : "TIT2", std::string("\0Tiny", 5), 5000) + mp1l3);
        put(dir, "id3v2-tiny-comments-" + std::to_string(major),
            tinyFrames(major, v22 ? "COM" : "COMM", std::string("\0engd\0x", 8), 5000) + mp1l3);
    }
    put(dir, "id3v2-tiny-unknown", tinyFrames(4, "XYZ1", "u", 5000) + mp1l3);
    std::string xing = frame("\xFF\xFB\x90\x44", 417);
    std::memcpy(xing.data() + 36, "Xing\0\0\0\x03\0\0\x27\x10\0\x10\0\0", 16);
    put(dir, "xing", xing + mp1l3);
    std::string vbri = frame("\xFF\xFB\x90\x44", 417);
    std::memcpy(vbri.data() + 36, "VBRI\0\x01\0\0\0\0\0\x10\0\0\0\0\x27\x10", 18);
    put(dir, "vbri", vbri + mp1l3);
    std::string riff = "RIFF\0\0\0\0WAVEfmt \x10\0\0\0";
    riff.resize(20 + 16, '\0');
    riff += "data";
    riff += std::string("\xA4\x06\0\0", 4);
    put(dir, "riff", riff + mp1l3);
    put(dir, "short", "\xFF\xFB\x90");
    put(dir, "tag-only", tag());
    put(dir, "junk", std::string(300, '\x55') + mp1l3);
    // The "Artist - Song" pattern and a name whose composed form is longer than itself: U+0344
    // composes to two characters.
    std::string longer(1, '\x02');
    longer += "A - ";
    for (int i = 0; i < 10; ++i)
        longer += "\xCD\x84";
    put(dir, "name-longer-composed", longer + ".mp3");
    return 0;
}
