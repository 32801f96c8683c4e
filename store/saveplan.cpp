#include "store/saveplan.h"

#include <algorithm>
#include <cstring>

#include "store/bytes.h"
#include "store/format.h"
#include "store/guard.h"
#include "store/journal.h"
#include "store/record.h"

namespace {

void add(StorePlan& plan, StoreStep::Kind kind, std::uint32_t offset = 0, std::uint32_t length = 0,
         std::uint32_t from = 0) {
  plan.steps[plan.count++] = {kind, offset, length, from, {}};
}

void addBytes(StorePlan& plan, std::uint32_t offset, const std::uint8_t* bytes, std::uint32_t length) {
  StoreStep& step = plan.steps[plan.count++];
  step = {StoreStep::Kind::Bytes, offset, length, 0, {}};
  std::copy(bytes, bytes + length, step.bytes);
}

// The unfinished mark over the signature bytes, its last byte first: the mark
// differs from the signature only there, so a write cut after any byte never
// completes a signature out of what the bytes held before (say "WE?D").
void addMark(StorePlan& plan) {
  constexpr std::uint32_t last = IsdSignatureLength - 1;
  addBytes(plan, IsdStoreOffset + last, IsdUnfinishedSignature + last, 1);
  addBytes(plan, IsdStoreOffset, IsdUnfinishedSignature, last);
}

std::uint32_t withByte(std::uint32_t value, unsigned index, std::uint32_t byte) {
  const unsigned shift = 8 * index;
  return (value & ~(0xFFu << shift)) | (byte << shift);
}

std::uint32_t byteOf(std::uint32_t value, unsigned index) { return (value >> (8 * index)) & 0xFF; }

// One past the last byte of `area` that is not zero, from its start.
std::size_t usedBytes(const JournalBytes& area) {
  std::size_t end = area.length;
  while (end > 0 && area.bytes[end - 1] == 0) --end;
  return end;
}

// Erase a journal area: everything after the magic first, so that the area
// stays known as ours until its last bytes go.
void clearJournal(StorePlan& plan, const JournalBytes& area, std::uint32_t offset) {
  const std::size_t used = area.bytes != nullptr ? usedBytes(area) : 0;
  if (used > JournalMagicLength)
    add(plan, StoreStep::Kind::Zeros, offset + JournalMagicLength,
        static_cast<std::uint32_t>(used - JournalMagicLength));
  if (used > 0) add(plan, StoreStep::Kind::Zeros, offset, JournalMagicLength);
}

bool sameBytes(const std::uint8_t* a, std::size_t aLength, const std::uint8_t* b, std::size_t bLength) {
  return aLength >= bLength && std::memcmp(a, b, bLength) == 0;
}

// What the first `length` bytes of a disk (`head`) hold, as a save and a
// removal find them before their first step.
struct OnDisk {
  const std::uint8_t* head;
  std::size_t length;
  const std::uint8_t* current;  // the bytes from the store offset on
  std::size_t storeLength;
  IsdSignatureState state;  // Vacant where the bytes end before the signature
  std::uint32_t own;        // guardOwnedLength of the bytes at the store offset
  std::uint32_t extent;     // guardRecordExtent: the bytes from the store offset that are ours
  JournalCopy copy;         // the newest valid journal copy, in area copyArea
  std::size_t copyArea;

  // True when the bytes of [from, to) from the store offset that were read
  // are all zero, or none were.
  bool zero(std::uint32_t from, std::uint32_t to) const {
    const std::size_t end = std::min<std::size_t>(to, storeLength);
    return from >= end || isdAllZero(current, from, end);
  }
};

OnDisk onDisk(const std::uint8_t* head, std::size_t length) {
  const std::uint8_t* current = length > IsdStoreOffset ? head + IsdStoreOffset : head;
  const std::size_t storeLength = length > IsdStoreOffset ? length - IsdStoreOffset : 0;
  std::size_t copyArea = NoJournalArea;
  const JournalCopy copy = journalOf(head, length, &copyArea);
  return {head,
          length,
          current,
          storeLength,
          storeLength >= IsdSignatureLength ? isdSignatureStateOf(current) : IsdSignatureState::Vacant,
          static_cast<std::uint32_t>(guardOwnedLength(current, storeLength)),
          static_cast<std::uint32_t>(guardRecordExtent(head, length)),
          copy,
          copyArea};
}

// Zeros over [from, to) from the store offset, unless the bytes read there
// are all zero (bytes past those read may hold anything).
void clearStore(StorePlan& plan, const OnDisk& disk, std::uint32_t from, std::uint32_t to) {
  if (to <= from || (from < disk.storeLength && disk.zero(from, to))) return;
  add(plan, StoreStep::Kind::Zeros, IsdStoreOffset + from, to - from);
}

// A save over a disk: what lies there and what the save writes.
struct Save {
  OnDisk disk;
  const SaveImages& images;
  std::uint32_t oldWord;  // the length word at the store offset now
  std::uint32_t newWord;  // the new record's length
  bool journal;           // a journal copy is written, into `area` at areaOffset
  std::uint32_t areaOffset;
  JournalBytes area;
  JournalCopy inArea;  // the valid copy that area holds now, if any
};

Save saveOver(const std::uint8_t* head, std::size_t length, const SaveImages& images) {
  const OnDisk disk = onDisk(head, length);
  const bool journal = images.journal != nullptr;
  const JournalBytes area = journal ? journalBytes(head, length, images.area) : JournalBytes{};
  // The length word as it stands: the cap never bites, as it is only set
  // against a serialized record's length, which lies far below it.
  const auto oldWord = static_cast<std::uint32_t>(isdStoredLength(disk.current, disk.storeLength));
  return {disk,    images,
          oldWord, images.recordLength,
          journal, journal ? JournalAreaOffsets[images.area] : 0,
          area,    area.bytes != nullptr ? journalDecode(area.bytes, area.length) : JournalCopy{}};
}

// In place: the same bytes, and nothing of ours left behind them to clear,
// and (where a journal is written) the same record in a valid copy there.
bool inPlace(const Save& save) {
  const OnDisk& disk = save.disk;
  const bool recordInPlace = disk.state == IsdSignatureState::Complete && save.oldWord == save.newWord &&
                             sameBytes(disk.current, disk.storeLength, save.images.record, save.newWord) &&
                             disk.zero(save.newWord, disk.extent);
  const bool copyInPlace = !save.journal || (save.inArea.valid && save.inArea.recordLength == save.newWord &&
                                             sameBytes(save.inArea.record, save.inArea.recordLength,
                                                       save.images.record, save.newWord));
  return recordInPlace && copyInPlace;
}

// What only an old journal copy claims goes before the copy that claims
// it; not while a complete record at 2560 whose lengths do not add up may
// be read with those bytes. Returns how far from the store offset the bytes
// of ours reach after that.
std::uint32_t clearOldCopysClaim(StorePlan& plan, const Save& save) {
  const OnDisk& disk = save.disk;
  const std::uint32_t kept = std::max(disk.own, save.newWord);
  const bool readWithThem =
      disk.state == IsdSignatureState::Complete && !isdFramingAddsUp(disk.current, disk.storeLength);
  if (!save.journal || disk.extent <= kept || readWithThem) return disk.extent;
  clearStore(plan, disk, kept, disk.extent);
  if (plan.count > 0) add(plan, StoreStep::Kind::Sync);
  return kept;
}

// The journal copy into its area, synced: over an area that is not ours yet
// the magic goes first, and is synced.
void addJournal(StorePlan& plan, const Save& save) {
  if (!save.journal) return;
  plan.journal = true;
  const JournalBytes& area = save.area;
  if (journalAreaOf(area.bytes, area.length) != JournalAreaState::Ours) {
    addBytes(plan, save.areaOffset, JournalMagic, JournalMagicLength);
    add(plan, StoreStep::Kind::Sync);
  }
  const std::uint32_t journalLength = save.images.journalLength;
  add(plan, StoreStep::Kind::Journal, save.areaOffset + JournalMagicLength,
      journalLength - static_cast<std::uint32_t>(JournalMagicLength),
      static_cast<std::uint32_t>(JournalMagicLength));
  // What an older copy left behind it; the seal's sector is the seal's.
  const JournalBytes copyPart{area.bytes, std::min<std::size_t>(area.length, JournalSealAt)};
  if (const std::size_t used = area.bytes != nullptr ? usedBytes(copyPart) : 0; used > journalLength)
    add(plan, StoreStep::Kind::Zeros, save.areaOffset + journalLength,
        static_cast<std::uint32_t>(used - journalLength));
  add(plan, StoreStep::Kind::Sync);
}

// After a save that was stopped (the unfinished mark, or still the record
// its copy replaces) or over a damaged record, the journal holds the only
// whole copy of the newest record: the record at 2560 is completed first
// (the load reads that copy until the signature is back, and the sealed
// record from then on), and only then is the copy replaced.
bool journalHoldsOnlyCopy(const OnDisk& disk) {
  const JournalCopy& copy = disk.copy;
  if (!copy.valid) return false;
  if (disk.state == IsdSignatureState::Unfinished) return true;
  if (disk.state != IsdSignatureState::Complete) return false;
  const RecordKey atStore = recordKeyOf(disk.current, disk.storeLength);
  return atStore != copy.key() &&
         (atStore == copy.replaced || !isdCompleteRecord(disk.current, disk.storeLength));
}

// Without a journal, a longer record's length word is raised before its
// bytes are written, most significant byte first: every value on the way
// lies at or above the old one, so the old bytes stay claimed until they are
// overwritten. Returns what the word claims at most on the way, from `claim`
// on.
std::uint32_t raiseLengthWord(StorePlan& plan, const Save& save, std::uint32_t claim) {
  if (save.journal || save.newWord <= save.oldWord) return claim;
  const OnDisk& disk = save.disk;
  std::uint32_t word = save.oldWord;
  for (unsigned i = IsdWordBytes; i-- > 0;) {
    if (byteOf(word, i) == byteOf(save.newWord, i)) continue;
    word = withByte(word, i, byteOf(save.newWord, i));
    const auto byte = static_cast<std::uint8_t>(byteOf(save.newWord, i));
    addBytes(plan, static_cast<std::uint32_t>(IsdStoreOffset + IsdTotalLengthOffset + i), &byte, 1);
    claim = std::max(
        claim, std::min(word, static_cast<std::uint32_t>(isdLongestRecord(disk.current, disk.storeLength))));
  }
  add(plan, StoreStep::Kind::Sync);
  return claim;
}

// What lies between the new end and `ours` is cleared, then the seal and the
// record go down behind the mark, and last the signature, each synced.
void addRecord(StorePlan& plan, const Save& save, std::uint32_t ours, bool copyFirst) {
  const std::uint32_t newWord = save.newWord;
  if (ours > newWord) {
    add(plan, StoreStep::Kind::Zeros, IsdStoreOffset + newWord, ours - newWord);
    // The new copy names the record it replaces and so claims its bytes
    // until the next save: they may be cleared along with the new record.
    const bool claimed = save.journal && copyFirst && save.images.replaced.length >= ours;
    if (!claimed) add(plan, StoreStep::Kind::Sync);
  }
  if (save.journal && save.images.seal != nullptr)
    add(plan, StoreStep::Kind::Seal, save.areaOffset + JournalSealAt, JournalSealLength, 0);
  add(plan, StoreStep::Kind::Record, IsdStoreOffset + IsdSignatureLength, newWord - IsdSignatureLength,
      IsdSignatureLength);
  add(plan, StoreStep::Kind::Sync);
  addBytes(plan, IsdStoreOffset, IsdSignature, IsdSignatureLength);
  add(plan, StoreStep::Kind::Sync);
}

// The journal areas a removal clears (those the guard agreed to, that hold
// anything and nothing foreign) into `areas`; true when there is one.
bool areasToClear(const OnDisk& disk, const bool* journal, JournalBytes* areas) {
  bool any = false;
  for (std::size_t i = 0; i < JournalAreaCount; ++i) {
    if (!journal[i]) continue;
    const JournalBytes bytes = journalBytes(disk.head, disk.length, i);
    if (bytes.bytes != nullptr && journalAreaOf(bytes.bytes, bytes.length) != JournalAreaState::Foreign &&
        usedBytes(bytes) > 0) {
      areas[i] = bytes;
      any = true;
    }
  }
  return any;
}

void clearAreas(StorePlan& plan, const JournalBytes* areas) {
  for (std::size_t i = 0; i < JournalAreaCount; ++i) clearJournal(plan, areas[i], JournalAreaOffsets[i]);
}

// The journal copy claims the whole record: take the signature first, so
// that no load finds the record from here on, then everything else.
void removeUnderCopy(StorePlan& plan, const OnDisk& disk, const JournalBytes* areas) {
  if (!disk.zero(0, IsdSignatureLength)) {
    add(plan, StoreStep::Kind::Zeros, IsdStoreOffset, IsdSignatureLength);
    add(plan, StoreStep::Kind::Sync);
  }
  if (!disk.zero(IsdSignatureLength, disk.extent))
    add(plan, StoreStep::Kind::Zeros, IsdStoreOffset + IsdSignatureLength, disk.extent - IsdSignatureLength);
  clearAreas(plan, areas);
  add(plan, StoreStep::Kind::Sync);
}

// Without a journal copy to claim it, the record must claim itself until its
// last bytes go: the journal goes first, the mark replaces the signature (no
// load takes it), then the record is cleared from its far end, the length
// word last but one and the mark last.
void removeRecordLast(StorePlan& plan, const OnDisk& disk, const JournalBytes* areas, bool anyArea,
                      bool recordOurs) {
  if (anyArea) {
    clearAreas(plan, areas);
    add(plan, StoreStep::Kind::Sync);
  }
  if (!recordOurs) return;
  const std::uint32_t extent = disk.extent;
  if (disk.state != IsdSignatureState::Unfinished && extent > IsdSignatureLength) {
    addMark(plan);
    add(plan, StoreStep::Kind::Sync);
  }
  const std::uint32_t word = IsdTotalLengthOffset + IsdWordBytes;
  if (extent > word) add(plan, StoreStep::Kind::Zeros, IsdStoreOffset + word, extent - word);
  if (extent > IsdSignatureLength)
    add(plan, StoreStep::Kind::Zeros, IsdStoreOffset + IsdSignatureLength,
        std::min(extent, word) - IsdSignatureLength);
  add(plan, StoreStep::Kind::Zeros, IsdStoreOffset, IsdSignatureLength);
  add(plan, StoreStep::Kind::Sync);
}

}  // namespace

StorePlan planSave(const std::uint8_t* head, std::size_t length, const SaveImages& images) {
  StorePlan plan;
  const Save save = saveOver(head, length, images);
  if (inPlace(save)) return plan;
  const OnDisk& disk = save.disk;
  const std::uint32_t ours = clearOldCopysClaim(plan, save);
  const bool copyFirst = !journalHoldsOnlyCopy(disk);
  if (copyFirst) addJournal(plan, save);
  // The mark keeps a complete record from being read while it changes; a
  // record that is not complete is read by no load, and its bytes are
  // claimed by the journal copy where there is one.
  if (disk.state == IsdSignatureState::Complete ||
      (!save.journal && disk.state != IsdSignatureState::Unfinished)) {
    addMark(plan);
    add(plan, StoreStep::Kind::Sync);
  }
  const std::uint32_t claim = raiseLengthWord(plan, save, std::max(disk.extent, save.newWord));
  addRecord(plan, save, ours, copyFirst);
  if (!copyFirst) addJournal(plan, save);
  // Written least significant byte first over a larger one, every value the
  // length word passes lies at or above the new length, and what lies beyond
  // it is already clear; no value claims more than the longest record.
  plan.writeEnd = std::max(disk.extent, save.newWord);
  plan.claimEnd = claim;
  return plan;
}

StorePlan planRemoval(const std::uint8_t* head, std::size_t length, const bool* journal) {
  StorePlan plan;
  const OnDisk disk = onDisk(head, length);
  JournalBytes areas[JournalAreaCount];
  const bool anyArea = areasToClear(disk, journal, areas);
  const bool recordOurs = !disk.zero(0, disk.extent);
  if (!recordOurs && !anyArea) return plan;
  const JournalCopy& copy = disk.copy;
  if (copy.valid && journal[disk.copyArea] && copy.recordLength >= disk.own &&
      disk.state != IsdSignatureState::Foreign)
    removeUnderCopy(plan, disk, areas);
  else
    removeRecordLast(plan, disk, areas, anyArea, recordOurs);
  plan.writeEnd = recordOurs ? disk.extent : 0;
  plan.claimEnd = plan.writeEnd;
  plan.journal = anyArea;
  return plan;
}
