// The journal copy: a second, self-checking copy of the record in the 4096
// bytes at byte 6144 of every disk, written and synced before a save starts
// on the record at 2560. Pure codec: bytes in, copy out, and back.
//
// Layout, little-endian:
//   0   8  magic "WEXJOURN"
//   8   4  layout version (1)
//  12   4  length L of the record copy
//  16   8  generation: one more at every save than the highest found
//  24   4  CRC-32 of the L record bytes, the image written at 2560
//  28   4  CRC-32 of bytes 0 to 27 and of the L record bytes
//  32   L  the record image, byte for byte as written at 2560
// The rest of the area is zero.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::uint32_t JournalOffset = 6144;  // sectors 12 to 19 of 512 bytes
inline constexpr std::uint32_t JournalAreaLength = 4096;
inline constexpr std::uint32_t JournalEnd = JournalOffset + JournalAreaLength;
inline constexpr std::uint32_t JournalHeaderLength = 32;
inline constexpr std::uint32_t JournalRecordMax = JournalAreaLength - JournalHeaderLength;
inline constexpr std::uint32_t JournalLayoutVersion = 1;
inline constexpr std::size_t JournalMagicLength = 8;
inline constexpr std::uint8_t JournalMagic[JournalMagicLength] = {'W', 'E', 'X', 'J', 'O', 'U', 'R', 'N'};

// CRC-32 (the IEEE polynomial of zlib and Ethernet), continued from `crc`.
std::uint32_t journalCrc32(const std::uint8_t* bytes, std::size_t length, std::uint32_t crc = 0);

// What a journal area holds.
enum class JournalAreaState {
  Vacant,   // zeros, or only a partly written or erased magic before zeros
  Ours,     // our magic: the whole area is ours, whatever its checksums say
  Foreign,  // anything else
};
JournalAreaState journalAreaOf(const std::uint8_t* area, std::size_t length);

struct JournalCopy {
  bool valid = false;                    // magic, version, length and both checksums agree
  std::uint64_t generation = 0;          // when valid
  std::uint32_t recordLength = 0;        // when valid
  std::uint32_t recordCrc = 0;           // when valid
  const std::uint8_t* record = nullptr;  // into the decoded area, when valid
};
// Decode the `length` bytes read at the journal offset (fewer than the area
// on a short disk). Never reads outside them.
JournalCopy journalDecode(const std::uint8_t* area, std::size_t length);

// Write the journal of the `length` record bytes at `record` with
// `generation` into `out` (JournalAreaLength bytes, the caller's). Returns
// the bytes that carry the copy (header and record); the rest of `out` is
// zeroed. 0 when the record does not fit.
std::uint32_t journalEncode(const std::uint8_t* record, std::uint32_t length, std::uint64_t generation,
                            std::uint8_t* out);

// True when the `length` bytes at the store offset start with exactly the
// record the valid `copy` was written with (its length and checksum).
bool journalMatches(const JournalCopy& copy, const std::uint8_t* store, std::size_t length);
