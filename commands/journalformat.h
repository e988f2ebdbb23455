#pragma once

#include "journal.h"

#include <QByteArrayView>
#include <map>

// The journal's file formats, apart from the file handling. A command's file starts with
// kCommandMagic, its passes file with kPassesMagic; then come records, each a 32-bit length, a
// CRC-32 of the payload and the payload (numbers little-endian), whose first byte is its type.
// Reading stops at the first record that is cut short or fails its checksum: at the very end of
// a file that is a torn last write (a crash mid-write), which is ignored; anywhere else the file
// is damaged.
namespace journalformat
{

inline constexpr char kCommandMagic[] = "TRKCMD1\n";
inline constexpr char kPassesMagic[] = "TRKPAS1\n";
inline constexpr char kJournalMagic[] = "TRKJNL1\n"; // the single journal of older versions
inline constexpr int kMagicSize = 8;

enum RecordType : std::uint8_t {
    Begin = 1,
    Tag = 2,
    Rename = 3,
    Playlist = 4,
    Undo = 5, // older journals only
    Redo = 6, // older journals only
    Made = 7,
    PassBegin = 8,
    Touch = 9,
    PassEnd = 10,
    Id3v2 = 11,
};

// The CRC-32 records carry.
std::uint32_t checksum(QByteArrayView data);

// Framed records, ready to write.
QByteArray beginRecord(const JournalCommand &command);
void appendChangeRecord(QByteArray &out, int index, const JournalChange &change);
qsizetype changeRecordSize(const JournalChange &change);
// Changes made (by index); final when the command has ended.
void appendMadeRecord(QByteArray &out, const std::vector<int> &indices, bool final);
QByteArray passBeginRecord(bool undo, std::int64_t stamp);
QByteArray touchRecord(int index, const FileIdentity &newFile);
QByteArray passEndRecord();

enum class ReadEnd {
    Whole,   // every record read
    Torn,    // the last record was cut short: ignored
    Damaged, // a record in the middle is bad: the file cannot be trusted
};

// Reads a command's file (magic included). With headerOnly, only its first record.
ReadEnd readCommand(QByteArrayView data, JournalCommand &out, bool headerOnly);
// The same from the open file fd of size bytes, read a record at a time: an ID3v2 change comes
// without its two tags (megabytes each, with cover art), and storedAt says where its record is,
// for readStoredChange. Throws IoError when the file cannot be read.
ReadEnd readCommandFile(int fd, std::int64_t size, JournalCommand &out);
// The change whose record is at offset at of a command's file fd, whole; nothing when no whole
// change is there. Throws IoError.
std::optional<JournalChange> readStoredChange(int fd, std::int64_t at);
// Reads a passes file (magic included).
ReadEnd readPasses(QByteArrayView data, std::vector<JournalPass> &out);
// The end of the last whole record of a file (magic included), where the next is written.
std::int64_t wholeRecordsEnd(QByteArrayView data);

// The single journal of older versions: its commands, and which were on the undo and redo side
// (next to undo last; next to redo last). Read from its start, trusting what passes.
struct OldJournal {
    std::map<std::uint64_t, JournalCommand> commands;
    std::vector<std::uint64_t> undo;
    std::vector<std::uint64_t> redo;
};
OldJournal readOldJournal(QByteArrayView whole);

} // namespace journalformat
