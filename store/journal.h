// The journal: a second, self-checking copy of the record in a 4096-byte area
// of every disk, written and synced before a save starts on the record at
// 2560, and a seal that vouches for the record the save puts at 2560. Pure
// codec: bytes in, copy out, and back.
//
// A disk has two places for its journal area: the 4096 bytes at byte 6144
// (sectors 12 to 19 of 512 bytes), and, where those are taken (a GUID
// partition table's header on a disk of 4096-byte sectors, other data, a
// partition), the 4096 bytes that end at 1 MiB: the last sectors before the
// first partition of every layout that aligns it at 1 MiB, as current
// partitioners do. A disk uses one of them, the first the write guard allows.
//
// The copy at the start of the area, little-endian:
//   0   8  magic "WEXJOURN"
//   8   4  layout version (2; version 1 lacks the two "replaced" words and
//          keeps its checksum at 28 and the record at 32)
//  12   4  length L of the record copy
//  16   8  generation: one more at every save than the highest found
//  24   4  CRC-32 of the L record bytes, the image written at 2560
//  28   4  length of the complete record that lay at 2560 when the save
//          began (0: none)
//  32   4  CRC-32 of that record
//  36   4  CRC-32 of bytes 0 to 35 and of the L record bytes
//  40   L  the record image, byte for byte as written at 2560
// The seal, in the area's last 512-byte sector, written with the record at
// 2560 while the unfinished mark is on, says which record at 2560 a save of
// which generation wrote; it outlives a later save's copy that a cut tears:
//   3584  8  magic "WEXSEAL1"
//   3592  8  generation
//   3600  4  length of the record at 2560
//   3604  4  CRC-32 of the record at 2560
//   3608  4  CRC-32 of bytes 3584 to 3607
// Every other byte of the area is zero.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::uint32_t JournalOffset = 6144;  // sectors 12 to 19 of 512 bytes
inline constexpr std::uint32_t JournalAreaLength = 4096;
inline constexpr std::uint32_t JournalEnd = JournalOffset + JournalAreaLength;
// The second place: the 4096 bytes that end at 1 MiB.
inline constexpr std::uint32_t JournalSecondOffset = 1024 * 1024 - JournalAreaLength;
inline constexpr std::uint32_t JournalSecondEnd = JournalSecondOffset + JournalAreaLength;
inline constexpr std::size_t JournalAreaCount = 2;
inline constexpr std::uint32_t JournalAreaOffsets[JournalAreaCount] = {JournalOffset, JournalSecondOffset};
inline constexpr std::size_t NoJournalArea = JournalAreaCount;

inline constexpr std::uint32_t JournalHeaderLength = 40;
inline constexpr std::uint32_t JournalSealAt = JournalAreaLength - 512;
inline constexpr std::uint32_t JournalSealLength = 28;
inline constexpr std::uint32_t JournalRecordMax = JournalSealAt - JournalHeaderLength;
inline constexpr std::uint32_t JournalLayoutVersion = 2;
inline constexpr std::size_t JournalMagicLength = 8;
inline constexpr std::uint8_t JournalMagic[JournalMagicLength] = {'W', 'E', 'X', 'J', 'O', 'U', 'R', 'N'};
inline constexpr std::uint8_t JournalSealMagic[JournalMagicLength] = {'W', 'E', 'X', 'S', 'E', 'A', 'L', '1'};
// Generations at or above this are never taken: the next save could not
// stamp a higher one.
inline constexpr std::uint64_t JournalGenerationLimit = std::uint64_t{1} << 63;

// What a journal area holds.
enum class JournalAreaState {
  Vacant,   // zeros, or only a partly written or erased magic before zeros
  Ours,     // our magic: the whole area is ours, whatever its checksums say
  Foreign,  // anything else
};
JournalAreaState journalAreaOf(const std::uint8_t* area, std::size_t length);

// A record by its stored length and checksum.
struct RecordKey {
  std::uint32_t length = 0;  // 0: none
  std::uint32_t crc = 0;
  bool operator==(const RecordKey&) const = default;
};
// The key of the complete record in the `length` bytes at `store` (its stored
// total length and the checksum of that many bytes); none when the bytes end
// before it does.
RecordKey recordKeyOf(const std::uint8_t* store, std::size_t length);

struct JournalCopy {
  bool valid = false;              // magic, version, length, checksums agree and the record is well-formed
  std::uint64_t generation = 0;    // when valid
  std::uint32_t recordLength = 0;  // when valid
  std::uint32_t recordCrc = 0;     // when valid
  RecordKey replaced;              // when valid: what lay at 2560 when the save began
  const std::uint8_t* record = nullptr;  // into the decoded area, when valid
  RecordKey key() const { return {recordLength, recordCrc}; }
};
// True when `copy` is valid and newer than `than`: of a higher generation,
// or `than` is not valid. The newest copy of a disk is the one none is newer than.
inline bool journalNewer(const JournalCopy& copy, const JournalCopy& than) {
  return copy.valid && (!than.valid || copy.generation > than.generation);
}

// Decode the `length` bytes read at a journal area (fewer than the area on a
// short disk). Never reads outside them.
JournalCopy journalDecode(const std::uint8_t* area, std::size_t length);

// Write the copy of the `length` record bytes at `record` with `generation`,
// naming `replaced` as the record it replaces, into `out` (JournalAreaLength
// bytes, the caller's). Returns the bytes that carry the copy (header and
// record); the rest of `out` is zeroed. 0 when the record does not fit.
std::uint32_t journalEncode(const std::uint8_t* record, std::uint32_t length, std::uint64_t generation,
                            std::uint8_t* out, RecordKey replaced = {});

struct JournalSeal {
  bool valid = false;
  std::uint64_t generation = 0;
  RecordKey record;
};
// The seal in the `length` bytes of a journal area; invalid when they end
// before it, or it is not whole.
JournalSeal journalSealOf(const std::uint8_t* area, std::size_t length);
// The JournalSealLength bytes of the seal for `record` written by the save of
// `generation`, into `out`.
void journalSealEncode(RecordKey record, std::uint64_t generation, std::uint8_t* out);

// True when the `length` bytes at the store offset start with exactly the
// record the valid `copy` was written with (its length and checksum).
bool journalMatches(const JournalCopy& copy, const std::uint8_t* store, std::size_t length);
