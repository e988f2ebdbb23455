#pragma once

#include "journal.h"

#include <QByteArrayView>
#include <map>

// The journal's file format, apart from the file handling. The file starts with kJournalMagic;
// then come records, each a 32-bit length, a CRC-32 of the payload and the payload (numbers
// little-endian). The first record that is cut short or fails its checksum ends what is trusted.
namespace journalformat
{

inline constexpr char kJournalMagic[] = "TRKJNL1\n";
inline constexpr int kMagicSize = 8;

enum RecordType : std::uint8_t {
    Begin = 1,
    Tag = 2,
    Rename = 3,
    Playlist = 4,
    Undo = 5,
    Redo = 6,
};

// The CRC-32 records carry.
std::uint32_t checksum(QByteArrayView data);

// Framed records, ready to write.
QByteArray beginRecord(const JournalCommand &command);
QByteArray changeRecord(std::uint64_t command, const JournalChange &change);
// The same at the end of out, and about how many bytes it takes.
void appendChangeRecord(QByteArray &out, std::uint64_t command, const JournalChange &change);
qsizetype changeRecordSize(const JournalChange &change);
QByteArray markRecord(RecordType type, std::uint64_t command);

} // namespace journalformat

// The commands a journal holds and where undo and redo stand, built by reading its records in
// order: a command goes on the undo side and empties the redo side; undo moves a command to the
// redo side, redo moves it back.
struct Journal::State {
    std::map<std::uint64_t, JournalCommand> commands;
    std::vector<std::uint64_t> undo; // the next to undo last
    std::vector<std::uint64_t> redo; // the next to redo last
    int begins = 0;                  // command records read

    // Reads the records of data from offset on into the state; returns the end of the last
    // trusted record.
    std::int64_t read(QByteArrayView data, std::int64_t offset);
    // The records of a journal holding the last keep commands of the undo side and the
    // redo side, which reads back as the same undo and redo.
    QByteArray compacted(int keep) const;
    // How many commands compacted(keep) holds.
    int keptCommands(int keep) const;
};
