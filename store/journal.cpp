#include "store/journal.h"

#include <algorithm>
#include <cstring>

#include "store/bytes.h"
#include "store/format.h"

namespace {

constexpr std::size_t VersionAt = 8;
constexpr std::size_t LengthAt = 12;
constexpr std::size_t GenerationAt = 16;
constexpr std::size_t RecordCrcAt = 24;
constexpr std::size_t ReplacedLengthAt = 28;
constexpr std::size_t ReplacedCrcAt = 32;
constexpr std::size_t JournalCrcAt = 36;

// Version 1 of the layout: no replaced record, the checksum at 28 and the
// record at 32. Still read, so that the copies of an older wexedit count.
constexpr std::uint32_t FirstLayoutVersion = 1;
constexpr std::size_t FirstCrcAt = 28;
constexpr std::uint32_t FirstHeaderLength = 32;

constexpr std::size_t SealGenerationAt = 8;
constexpr std::size_t SealLengthAt = 16;
constexpr std::size_t SealCrcAt = 20;
constexpr std::size_t SealSelfCrcAt = 24;

// The copy's own checksum: its header up to the checksum, then the record.
std::uint32_t selfCrc(const std::uint8_t* area, std::size_t crcAt, std::uint32_t headerLength,
                      std::uint32_t recordLength) {
  return journalCrc32(area + headerLength, recordLength, journalCrc32(area, crcAt));
}

}  // namespace

JournalAreaState journalAreaOf(const std::uint8_t* area, std::size_t length) {
  const std::size_t magic = std::min(length, JournalMagicLength);
  if (magic == JournalMagicLength && std::memcmp(area, JournalMagic, JournalMagicLength) == 0)
    return JournalAreaState::Ours;
  for (std::size_t i = 0; i < magic; ++i)
    if (area[i] != 0 && area[i] != JournalMagic[i]) return JournalAreaState::Foreign;
  const bool rest = isdAllZero(area, magic, length);
  return rest ? JournalAreaState::Vacant : JournalAreaState::Foreign;
}

RecordKey recordKeyOf(const std::uint8_t* store, std::size_t length) {
  if (length < IsdTotalLengthOffset + IsdWordBytes) return {};
  const std::uint32_t total = isdGetU32(store + IsdTotalLengthOffset);
  if (total < IsdHeaderLength || total > length) return {};
  return {total, journalCrc32(store, total)};
}

JournalCopy journalDecode(const std::uint8_t* area, std::size_t length) {
  JournalCopy copy;
  if (length < FirstHeaderLength || std::memcmp(area, JournalMagic, JournalMagicLength) != 0) return copy;
  const std::uint32_t version = isdGetU32(area + VersionAt);
  const bool first = version == FirstLayoutVersion;
  if (!first && version != JournalLayoutVersion) return copy;
  const std::uint32_t header = first ? FirstHeaderLength : JournalHeaderLength;
  const std::size_t crcAt = first ? FirstCrcAt : JournalCrcAt;
  const std::uint32_t recordLength = isdGetU32(area + LengthAt);
  // The record never reaches the seal's sector, in either layout.
  if (recordLength < IsdHeaderLength || header + std::size_t{recordLength} > JournalSealAt ||
      header + std::size_t{recordLength} > length)
    return copy;
  const std::uint8_t* record = area + header;
  const std::uint64_t generation = isdGetU64(area + GenerationAt);
  if (selfCrc(area, crcAt, header, recordLength) != isdGetU32(area + crcAt) ||
      journalCrc32(record, recordLength) != isdGetU32(area + RecordCrcAt) ||
      generation >= JournalGenerationLimit || !isdWellFormed(record, recordLength) ||
      isdGetU32(record + IsdTotalLengthOffset) != recordLength)
    return copy;
  copy.valid = true;
  copy.generation = generation;
  copy.recordLength = recordLength;
  copy.recordCrc = isdGetU32(area + RecordCrcAt);
  if (!first) copy.replaced = {isdGetU32(area + ReplacedLengthAt), isdGetU32(area + ReplacedCrcAt)};
  if (copy.replaced.length == 0) copy.replaced = {};
  copy.record = record;
  return copy;
}

std::uint32_t journalEncode(const std::uint8_t* record, std::uint32_t length, std::uint64_t generation,
                            std::uint8_t* out, RecordKey replaced) {
  std::memset(out, 0, JournalAreaLength);
  if (length > JournalRecordMax) return 0;
  std::memcpy(out, JournalMagic, JournalMagicLength);
  isdPutU32(out + VersionAt, JournalLayoutVersion);
  isdPutU32(out + LengthAt, length);
  isdPutU64(out + GenerationAt, generation);
  isdPutU32(out + RecordCrcAt, journalCrc32(record, length));
  isdPutU32(out + ReplacedLengthAt, replaced.length);
  isdPutU32(out + ReplacedCrcAt, replaced.length != 0 ? replaced.crc : 0);
  std::memcpy(out + JournalHeaderLength, record, length);
  isdPutU32(out + JournalCrcAt, selfCrc(out, JournalCrcAt, JournalHeaderLength, length));
  return JournalHeaderLength + length;
}

JournalSeal journalSealOf(const std::uint8_t* area, std::size_t length) {
  JournalSeal seal;
  if (length < JournalSealAt + JournalSealLength) return seal;
  const std::uint8_t* at = area + JournalSealAt;
  if (std::memcmp(at, JournalSealMagic, JournalMagicLength) != 0 ||
      journalCrc32(at, SealSelfCrcAt) != isdGetU32(at + SealSelfCrcAt))
    return seal;
  const std::uint64_t generation = isdGetU64(at + SealGenerationAt);
  const std::uint32_t recordLength = isdGetU32(at + SealLengthAt);
  if (generation >= JournalGenerationLimit || recordLength < IsdHeaderLength) return seal;
  seal.valid = true;
  seal.generation = generation;
  seal.record = {recordLength, isdGetU32(at + SealCrcAt)};
  return seal;
}

void journalSealEncode(RecordKey record, std::uint64_t generation, std::uint8_t* out) {
  std::memcpy(out, JournalSealMagic, JournalMagicLength);
  isdPutU64(out + SealGenerationAt, generation);
  isdPutU32(out + SealLengthAt, record.length);
  isdPutU32(out + SealCrcAt, record.crc);
  isdPutU32(out + SealSelfCrcAt, journalCrc32(out, SealSelfCrcAt));
}

bool journalMatches(const JournalCopy& copy, const std::uint8_t* store, std::size_t length) {
  return copy.valid && recordKeyOf(store, length) == copy.key();
}
