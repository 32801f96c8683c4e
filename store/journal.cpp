#include "store/journal.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "store/format.h"

namespace {

constexpr std::size_t VersionAt = 8;
constexpr std::size_t LengthAt = 12;
constexpr std::size_t GenerationAt = 16;
constexpr std::size_t RecordCrcAt = 24;
constexpr std::size_t JournalCrcAt = 28;

constexpr std::array<std::uint32_t, 256> crcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}
constexpr std::array<std::uint32_t, 256> CrcTable = crcTable();

// The journal's own checksum: its header up to the checksum, then the copy.
std::uint32_t selfCrc(const std::uint8_t* area, std::uint32_t recordLength) {
  return journalCrc32(area + JournalHeaderLength, recordLength, journalCrc32(area, JournalCrcAt));
}

}  // namespace

std::uint32_t journalCrc32(const std::uint8_t* bytes, std::size_t length, std::uint32_t crc) {
  crc = ~crc;
  for (std::size_t i = 0; i < length; ++i) crc = CrcTable[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

JournalAreaState journalAreaOf(const std::uint8_t* area, std::size_t length) {
  const std::size_t magic = std::min(length, JournalMagicLength);
  if (magic == JournalMagicLength && std::memcmp(area, JournalMagic, JournalMagicLength) == 0)
    return JournalAreaState::Ours;
  for (std::size_t i = 0; i < magic; ++i)
    if (area[i] != 0 && area[i] != JournalMagic[i]) return JournalAreaState::Foreign;
  const bool rest = std::all_of(area + magic, area + length, [](std::uint8_t b) { return b == 0; });
  return rest ? JournalAreaState::Vacant : JournalAreaState::Foreign;
}

JournalCopy journalDecode(const std::uint8_t* area, std::size_t length) {
  JournalCopy copy;
  if (length < JournalHeaderLength || std::memcmp(area, JournalMagic, JournalMagicLength) != 0) return copy;
  const std::uint32_t recordLength = isdGetU32(area + LengthAt);
  if (isdGetU32(area + VersionAt) != JournalLayoutVersion || recordLength < IsdHeaderLength ||
      recordLength > JournalRecordMax || JournalHeaderLength + std::size_t{recordLength} > length)
    return copy;
  const std::uint8_t* record = area + JournalHeaderLength;
  if (selfCrc(area, recordLength) != isdGetU32(area + JournalCrcAt) ||
      journalCrc32(record, recordLength) != isdGetU32(area + RecordCrcAt))
    return copy;
  copy.valid = true;
  copy.generation = isdGetU64(area + GenerationAt);
  copy.recordLength = recordLength;
  copy.recordCrc = isdGetU32(area + RecordCrcAt);
  copy.record = record;
  return copy;
}

std::uint32_t journalEncode(const std::uint8_t* record, std::uint32_t length, std::uint64_t generation,
                            std::uint8_t* out) {
  std::memset(out, 0, JournalAreaLength);
  if (length > JournalRecordMax) return 0;
  std::memcpy(out, JournalMagic, JournalMagicLength);
  isdPutU32(out + VersionAt, JournalLayoutVersion);
  isdPutU32(out + LengthAt, length);
  isdPutU64(out + GenerationAt, generation);
  isdPutU32(out + RecordCrcAt, journalCrc32(record, length));
  std::memcpy(out + JournalHeaderLength, record, length);
  isdPutU32(out + JournalCrcAt, selfCrc(out, length));
  return JournalHeaderLength + length;
}

bool journalMatches(const JournalCopy& copy, const std::uint8_t* store, std::size_t length) {
  return copy.valid && length >= copy.recordLength && length >= IsdTotalLengthOffset + IsdWordBytes &&
         isdGetU32(store + IsdTotalLengthOffset) == copy.recordLength &&
         journalCrc32(store, copy.recordLength) == copy.recordCrc;
}
