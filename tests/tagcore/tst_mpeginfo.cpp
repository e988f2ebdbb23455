#include "mpeginfo.h"
#include "tagworkspace.h"
#include "testfiles.h"

#include <QtTest>
#include <cstring>

// A byte source over a buffer in memory.
class BufferSource : public ByteSource
{
public:
    explicit BufferSource(QByteArray data) : m_data(std::move(data)) {}
    std::size_t readAt(std::int64_t offset, std::uint8_t *buf, std::size_t n) override
    {
        if (offset >= m_data.size())
            return 0;
        const std::size_t got = std::min<std::size_t>(n, std::size_t(m_data.size() - offset));
        std::memcpy(buf, m_data.constData() + offset, got);
        return got;
    }
    std::int64_t size() const { return m_data.size(); }

private:
    QByteArray m_data;
};

class TestMpegInfo : public QObject
{
    Q_OBJECT
private slots:
    void decode_data();
    void decode();
    void playingTime_data();
    void playingTime();
    void vbrHeaders_data();
    void vbrHeaders();
    void reservedSampleRateDoesNotKeepOldLine();
    void probe_data();
    void probe();
    void walk_data();
    void walk();
};

static QByteArray hex(const char *h)
{
    return QByteArray::fromHex(h);
}

void TestMpegInfo::decode_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("bitrate");
    QTest::addColumn<QString>("rate");
    QTest::addColumn<QString>("mode");

    QTest::newRow("mpeg1 l3 128 44.1 joint") << hex("FFFB9044") << "Version: MPEG-1 layer 3"
                                             << "Bitrate: 128 kbit"
                                             << "Samplerate: 44.1 kHz"
                                             << "Channelmode: Joint Stereo";
    QTest::newRow("mpeg2 l3 80 22 mono") << hex("FFF390C4") << "Version: MPEG-2 layer 3"
                                         << "Bitrate: 80 kbit"
                                         << "Samplerate: 22 kHz"
                                         << "Channelmode: Mono";
    QTest::newRow("not a header: assumed") << hex("49443303") << "Version: MPEG-1 layer 3"
                                           << "Bitrate: 128 kbit"
                                           << "Samplerate: 44.1 kHz"
                                           << "Channelmode: Joint Stereo";
    QTest::newRow("mpeg1 l2 384 48 stereo") << hex("FFFDE404") << "Version: MPEG-1 layer 2"
                                            << "Bitrate: 384 kbit"
                                            << "Samplerate: 48 kHz"
                                            << "Channelmode: Stereo";
    QTest::newRow("mpeg1 l1 index 9 (layer I table)")
        << hex("FFFF9880") << "Version: MPEG-1 layer 1"
        << "Bitrate: 288 kbit"
        << "Samplerate: 32 kHz"
        << "Channelmode: Dual Channel";
    QTest::newRow("mpeg1 l3 320") << hex("FFFBE044") << "Version: MPEG-1 layer 3"
                                  << "Bitrate: 320 kbit"
                                  << "Samplerate: 44.1 kHz"
                                  << "Channelmode: Joint Stereo";
    QTest::newRow("mpeg2 l3 index 1") << hex("FFF31400") << "Version: MPEG-2 layer 3"
                                      << "Bitrate: 8 kbit"
                                      << "Samplerate: 24 kHz"
                                      << "Channelmode: Stereo";
    QTest::newRow("mpeg2 l3 index 14") << hex("FFF3E800") << "Version: MPEG-2 layer 3"
                                       << "Bitrate: 160 kbit"
                                       << "Samplerate: 16 kHz"
                                       << "Channelmode: Stereo";
    QTest::newRow("mpeg2 l1 own table") << hex("FFF79000") << "Version: MPEG-2 layer 1"
                                        << "Bitrate: 144 kbit"
                                        << "Samplerate: 22 kHz"
                                        << "Channelmode: Stereo";
    QTest::newRow("mpeg2.5 11 kHz") << hex("FFE39000") << "Version: MPEG-2.5 layer 3"
                                    << "Bitrate: 80 kbit"
                                    << "Samplerate: 11 kHz"
                                    << "Channelmode: Stereo";
    QTest::newRow("mpeg2.5 12 kHz") << hex("FFE39440") << "Version: MPEG-2.5 layer 3"
                                    << "Bitrate: 80 kbit"
                                    << "Samplerate: 12 kHz"
                                    << "Channelmode: Joint Stereo";
    QTest::newRow("mpeg2.5 8 kHz") << hex("FFE39880") << "Version: MPEG-2.5 layer 3"
                                   << "Bitrate: 80 kbit"
                                   << "Samplerate: 8 kHz"
                                   << "Channelmode: Dual Channel";
    QTest::newRow("reserved layer: no digit") << hex("FFF99044") << "Version: MPEG-1 layer "
                                              << "Bitrate: 128 kbit"
                                              << "Samplerate: 44.1 kHz"
                                              << "Channelmode: Joint Stereo";
    QTest::newRow("free format") << hex("FFFB0044") << "Version: MPEG-1 layer 3"
                                 << "Bitrate: free format"
                                 << "Samplerate: 44.1 kHz"
                                 << "Channelmode: Joint Stereo";
    QTest::newRow("forbidden index 15") << hex("FFFBF044") << "Version: MPEG-1 layer 3"
                                        << "Bitrate: invalid"
                                        << "Samplerate: 44.1 kHz"
                                        << "Channelmode: Joint Stereo";
}

void TestMpegInfo::decode()
{
    QFETCH(QByteArray, header);
    TagWorkspace &ws = tagWorkspace();
    GetMpegInfo(1000, reinterpret_cast<const std::uint8_t *>(header.constData()));
    QTEST(QString::fromStdString(ws.InfoVersion), "version");
    QTEST(QString::fromStdString(ws.InfoBitrate), "bitrate");
    QTEST(QString::fromStdString(ws.InfoSampleRate), "rate");
    QTEST(QString::fromStdString(ws.InfoChannelMode), "mode");
}

void TestMpegInfo::playingTime_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("length");
    const QByteArray k128 = hex("FFFB9044");
    QTest::newRow("3:00") << k128 << qint64(2880000) << "3:00";
    QTest::newRow("fraction dropped") << k128 << qint64(2879999) << "2:59";
    QTest::newRow("assumed 128k") << hex("00000000") << qint64(4000000) << "4:10";
    QTest::newRow("0:59") << k128 << qint64(944000) << "0:59";
    QTest::newRow("1:01") << k128 << qint64(984000) << "1:01";
    QTest::newRow("one hour") << k128 << qint64(57600000) << "1:00:00";
    QTest::newRow("1:02:05") << k128 << qint64(59600000) << "1:02:05";
    QTest::newRow("74 hours at 8k") << hex("FFF31400") << qint64(268435455) << "74:33:55";
    QTest::newRow("tiny") << k128 << qint64(128) << "0:00";
    QTest::newRow("empty") << k128 << qint64(0) << "0:00";
    // Sizes whose bit count does not fit 32 bits: no overflow.
    QTest::newRow("2^28 bytes") << k128 << qint64(268435456) << "4:39:37";
    QTest::newRow("3 GiB") << k128 << qint64(3) * 1024 * 1024 * 1024 << "55:55:26";
    QTest::newRow("free format") << hex("FFFB0044") << qint64(4000000) << "-:--";
    QTest::newRow("forbidden bitrate") << hex("FFFBF044") << qint64(4000000) << "-:--";
}

void TestMpegInfo::playingTime()
{
    QFETCH(QByteArray, header);
    QFETCH(qint64, size);
    const std::string length =
        GetMpegInfo(size, reinterpret_cast<const std::uint8_t *>(header.constData()));
    QTEST(QString::fromStdString(length), "length");
}

void TestMpegInfo::vbrHeaders_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<uint>("frames");
    QTest::addColumn<uint>("bytes");
    QTest::addColumn<QString>("bitrate");
    QTest::addColumn<QString>("length");
    // 10000 frames of 1152 samples at 44.1 kHz: 261.2 s.
    QTest::newRow("xing with bytes")
        << int(VbrHeader::Kind::Xing) << 10000u << 6000000u << "Bitrate: 184 kbit (VBR)"
        << "4:21";
    QTest::newRow("xing frames only")
        << int(VbrHeader::Kind::Xing) << 10000u << 0u << "Bitrate: 31 kbit (VBR)"
        << "4:21";
    QTest::newRow("vbri") << int(VbrHeader::Kind::Vbri) << 10000u << 6000000u
                          << "Bitrate: 184 kbit (VBR)"
                          << "4:21";
    QTest::newRow("info is constant bitrate")
        << int(VbrHeader::Kind::Info) << 10000u << 0u << "Bitrate: 128 kbit"
        << "4:21";
    QTest::newRow("no frame count: estimate")
        << int(VbrHeader::Kind::Xing) << 0u << 0u << "Bitrate: 128 kbit"
        << "1:02";
}

void TestMpegInfo::vbrHeaders()
{
    QFETCH(int, kind);
    QFETCH(uint, frames);
    QFETCH(uint, bytes);
    VbrHeader vbr;
    vbr.kind = VbrHeader::Kind(kind);
    vbr.frames = frames;
    vbr.bytes = bytes;
    const QByteArray h = hex("FFFB9044");
    const std::string length =
        GetMpegInfo(1000000, reinterpret_cast<const std::uint8_t *>(h.constData()), vbr);
    QTEST(QString::fromStdString(tagWorkspace().InfoBitrate), "bitrate");
    QTEST(QString::fromStdString(length), "length");
}

void TestMpegInfo::reservedSampleRateDoesNotKeepOldLine()
{
    TagWorkspace &ws = tagWorkspace();
    const QByteArray good = hex("FFFB9044"), reserved = hex("FFFB9C44");
    GetMpegInfo(1000, reinterpret_cast<const std::uint8_t *>(good.constData()));
    GetMpegInfo(1000, reinterpret_cast<const std::uint8_t *>(reserved.constData()));
    QCOMPARE(QString::fromStdString(ws.InfoSampleRate), QString("Samplerate: unknown"));
}

void TestMpegInfo::probe_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("found");
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<qint64>("audioBytes");
    QTest::addColumn<int>("vbrKind");
    // Where not empty: the bitrate and channel mode lines and the playing time of what was found.
    QTest::addColumn<QString>("lines");

    const char k128[] = "\xFF\xFB\x90\x44";
    const char k64m2[] = "\xFF\xF3\x80\xC4";               // MPEG-2 layer III 64 kbit mono
    const QByteArray stream = testfiles::frames(k128, 20); // 20 x 417 bytes
    const qint64 len = stream.size();

    QTest::newRow("plain frames") << stream << true << qint64(0) << len << 0 << QString();
    QTest::newRow("id3v2 skipped")
        << testfiles::id3v2(1000) + stream << true << qint64(1010) << len << 0 << QString();
    QTest::newRow("id3v2 with footer")
        << testfiles::id3v2(500, true) + stream << true << qint64(520) << len << 0 << QString();
    QTest::newRow("junk before first frame")
        << QByteArray(333, '\x11') + stream << true << qint64(333) << len << 0 << QString();
    QTest::newRow("false sync in junk is not confirmed")
        << hex("FFFB9044") + QByteArray(100, '\0') + stream << true << qint64(104) << len << 0
        << QString();
    QTest::newRow("one frame to end of audio")
        << testfiles::frames(k128, 1) << true << qint64(0) << qint64(417) << 0 << QString();
    QTest::newRow("mpeg2 mono") << testfiles::frames(k64m2, 10) << true << qint64(0)
                                << qint64(10 * 208) << 0 << QString();
    QTest::newRow("xing frame") << testfiles::xingFrame(k128, "Xing", 5000, 3000000) + stream
                                << true << qint64(0) << len + 417 << int(VbrHeader::Kind::Xing)
                                << QString();
    QTest::newRow("info frame") << testfiles::xingFrame(k128, "Info", 5000, 0) + stream << true
                                << qint64(0) << len + 417 << int(VbrHeader::Kind::Info)
                                << QString();
    QTest::newRow("nothing but zeros")
        << QByteArray(5000, '\0') << false << qint64(0) << qint64(5000) << 0 << QString();
    QTest::newRow("frame beyond the first read")
        << QByteArray(10000, '\x01') + stream << true << qint64(10000) << len << 0 << QString();
    QTest::newRow("frame beyond the window") << QByteArray(70000, '\x01') + stream << false
                                             << qint64(0) << qint64(70000) + len << 0 << QString();

    // A chance sync (MPEG-1 layer I, 448 kbit, 32 kHz, 676-byte frames) whose frame length
    // leads to a second chance sync: two frames that agree are not enough.
    QByteArray chance = QByteArray(3000, '\x11');
    chance.replace(0, 4, hex("FFFFEAFE"));
    chance.replace(676, 4, hex("FFFFEAFE"));
    QTest::newRow("chance sync confirmed by one chance frame")
        << chance + stream << true << qint64(3000) << len << 0 << QString();
    // The channel mode, the CRC and the flag bits may change from frame to frame.
    QTest::newRow("next frame in another channel mode")
        << testfiles::frames("\xFF\xFB\x90\xC4", 1) + stream << true << qint64(0) << len + 417 << 0
        << QString();
    const char free200[] = "\xFF\xFB\x00\x44";
    const QByteArray freeStream = testfiles::freeFormatFrames(free200, 653, 20);
    QTest::newRow("free format") << freeStream << true << qint64(0) << qint64(freeStream.size())
                                 << 0 << QString();
    QTest::newRow("free format after id3v2")
        << testfiles::id3v2(1000) + freeStream << true << qint64(1010) << qint64(freeStream.size())
        << 0 << QString();
    QByteArray freeChance = freeStream;
    freeChance.replace(100, 4, hex("FFFFEAFE"));
    freeChance.replace(776, 4, hex("FFFFEAFE"));
    QTest::newRow("free format, chance syncs in its first frames")
        << freeChance << true << qint64(0) << qint64(freeStream.size()) << 0 << QString();
    QTest::newRow("free-format header alone") << hex("FFFB0044") + QByteArray(200, '\0') << true
                                              << qint64(0) << qint64(204) << 0 << QString();

    // A Fraunhofer VBRI frame written as stereo without CRC before joint-stereo frames with CRC:
    // 8,500 frames in 6,466,000 bytes are 3:42 at 233 kbit.
    QByteArray vbri = testfiles::frames("\xFF\xFB\x90\x04", 1);
    vbri.replace(36, 18, hex("56425249000100000050") + hex("0062A9D0") + hex("00002134"));
    const QByteArray crcStream = testfiles::frames("\xFF\xFA\x90\x44", 20);
    QTest::newRow("VBRI frame in stereo before joint stereo with CRC")
        << vbri + crcStream << true << qint64(0) << len + 417 << int(VbrHeader::Kind::Vbri)
        << "Bitrate: 233 kbit (VBR) | Channelmode: Stereo | 3:42";
    // ffmpeg's LAME Info frame written as stereo before joint-stereo audio: 5,000 frames.
    QTest::newRow("Info frame in stereo before joint stereo")
        << testfiles::xingFrame("\xFF\xFB\x90\x04", "Info", 5000, 0) + stream << true << qint64(0)
        << len + 417 << int(VbrHeader::Kind::Info)
        << "Bitrate: 128 kbit | Channelmode: Stereo | 2:10";
    // An ffmpeg Layer II stream (192 kbit, 48 kHz, 576-byte frames) whose first frame is joint
    // stereo and the next ones stereo.
    const QByteArray layer2 =
        testfiles::frames("\xFF\xFD\xA4\x44", 1) + testfiles::frames("\xFF\xFD\xA4\x04", 20);
    QTest::newRow("Layer II: joint stereo, then stereo")
        << layer2 << true << qint64(0) << qint64(layer2.size()) << 0
        << "Bitrate: 192 kbit | Channelmode: Joint Stereo | 0:00";

    QByteArray riff = "RIFF";
    riff += QByteArray::fromHex("00000000") + "WAVEfmt " + QByteArray::fromHex("10000000");
    riff += QByteArray(16, '\0');
    riff += "data";
    const quint32 dataLen = quint32(stream.size());
    riff += char(dataLen & 0xFF);
    riff += char((dataLen >> 8) & 0xFF);
    riff += char((dataLen >> 16) & 0xFF);
    riff += char((dataLen >> 24) & 0xFF);
    QTest::newRow("riff wave data chunk")
        << riff + stream << true << qint64(44) << len << 0 << QString();
}

void TestMpegInfo::probe()
{
    QFETCH(QByteArray, file);
    BufferSource source(file);
    const auto *prefix = reinterpret_cast<const std::uint8_t *>(file.constData());
    const MpegProbe p =
        probeMpegAudio(source, file.size(), prefix, std::min<std::size_t>(file.size(), 4096));
    QTEST(p.found, "found");
    if (p.found)
        QTEST(qint64(p.frameOffset), "offset");
    QTEST(qint64(p.audioBytes), "audioBytes");
    QTEST(int(p.vbr.kind), "vbrKind");
    QFETCH(QString, lines);
    if (!lines.isEmpty()) {
        const std::string length = GetMpegInfo(p.audioBytes, p.header, p.vbr, p.freeFormatKbit);
        const TagWorkspace &ws = tagWorkspace();
        QCOMPARE(
            QString::fromStdString(ws.InfoBitrate + " | " + ws.InfoChannelMode + " | " + length),
            lines);
    }
}

void TestMpegInfo::walk_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<qint64>("maxBytes");
    QTest::addColumn<quint64>("frames");
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<bool>("differ");

    const char k128[] = "\xFF\xFB\x90\x44"; // 417 bytes
    const char k320[] = "\xFF\xFB\xE0\x44"; // 1044 bytes
    const QByteArray vbr = testfiles::frames(k128, 30) + testfiles::frames(k320, 10);
    const qint64 vbrLen = 30 * 417 + 10 * 1044;
    QTest::newRow("one bitrate") << testfiles::frames(k128, 40) << qint64(1 << 26) << quint64(40)
                                 << qint64(40 * 417) << false;
    QTest::newRow("bitrates differ") << vbr << qint64(1 << 26) << quint64(40) << vbrLen << true;
    QTest::newRow("stops at what follows the stream")
        << vbr + "APETAGEX" + QByteArray(500, '\0') << qint64(1 << 26) << quint64(40) << vbrLen
        << true;
    QTest::newRow("a frame cut off at the end is not counted")
        << vbr + testfiles::frames(k128, 1).left(200) << qint64(1 << 26) << quint64(40) << vbrLen
        << true;
    // The bound stops the walk after 19 frames (8,550 bytes) of 42,327: 94 frames in all.
    QTest::newRow("extrapolated past the bound")
        << testfiles::frames(k320, 1) + testfiles::frames(k128, 99) << qint64(20 * 417)
        << quint64(94) << qint64(1044 + 99 * 417) << true;
    QTest::newRow("free format is not walked")
        << testfiles::freeFormatFrames("\xFF\xFB\x00\x44", 653, 10) << qint64(1 << 26) << quint64(0)
        << qint64(0) << false;
}

void TestMpegInfo::walk()
{
    QFETCH(QByteArray, file);
    QFETCH(qint64, maxBytes);
    BufferSource source(file);
    const auto *prefix = reinterpret_cast<const std::uint8_t *>(file.constData());
    const MpegProbe p =
        probeMpegAudio(source, file.size(), prefix, std::min<std::size_t>(file.size(), 4096));
    QVERIFY(p.found);
    const FrameWalk walk = walkFrames(source, p, file.size(), maxBytes);
    QTEST(quint64(walk.frames), "frames");
    QTEST(qint64(walk.bytes), "bytes");
    QTEST(walk.bitratesDiffer, "differ");
}

QTEST_APPLESS_MAIN(TestMpegInfo)
#include "tst_mpeginfo.moc"
