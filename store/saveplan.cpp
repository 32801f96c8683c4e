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

// Zeros over [from, to) from the store offset, when that holds anything.
void clearStore(StorePlan& plan, const std::uint8_t* store, std::size_t length, std::uint32_t from,
                std::uint32_t to) {
  if (to <= from) return;
  const std::size_t end = std::min<std::size_t>(to, length);
  if (from < end && std::all_of(store + from, store + end, [](std::uint8_t b) { return b == 0; })) return;
  add(plan, StoreStep::Kind::Zeros, IsdStoreOffset + from, to - from);
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

}  // namespace

StorePlan planSave(const std::uint8_t* head, std::size_t length, const SaveImages& images) {
  StorePlan plan;
  const std::uint8_t* current = length > IsdStoreOffset ? head + IsdStoreOffset : head;
  const std::size_t storeLength = length > IsdStoreOffset ? length - IsdStoreOffset : 0;
  const IsdSignatureState state =
      storeLength >= IsdSignatureLength ? isdSignatureStateOf(current) : IsdSignatureState::Vacant;
  const auto own = static_cast<std::uint32_t>(guardOwnedLength(current, storeLength));
  const auto extent = static_cast<std::uint32_t>(guardRecordExtent(head, length));
  // The length word as it stands: the cap never bites, as it is only set
  // against a serialized record's length, which lies far below it.
  const auto oldWord = static_cast<std::uint32_t>(isdStoredLength(current, storeLength));
  const std::uint32_t newWord = images.recordLength;
  const bool journal = images.journal != nullptr;
  const std::uint32_t areaOffset = journal ? JournalAreaOffsets[images.area] : 0;
  const JournalBytes area = journal ? journalBytes(head, length, images.area) : JournalBytes{};
  const JournalCopy copy = journalOf(head, length);
  const JournalCopy inArea = area.bytes != nullptr ? journalDecode(area.bytes, area.length) : JournalCopy{};

  // In place: the same bytes, and nothing of ours left behind them to clear.
  const auto clear = [&](std::uint32_t from, std::uint32_t to) {
    const std::size_t end = std::min<std::size_t>(to, storeLength);
    return from >= end || std::all_of(current + from, current + end, [](std::uint8_t b) { return b == 0; });
  };
  const bool recordInPlace = state == IsdSignatureState::Complete && oldWord == newWord &&
                             sameBytes(current, storeLength, images.record, newWord) &&
                             clear(newWord, extent);
  const bool copyInPlace =
      !journal || (inArea.valid && inArea.recordLength == newWord &&
                   sameBytes(inArea.record, inArea.recordLength, images.record, newWord));
  if (recordInPlace && copyInPlace) return plan;

  // What only an old journal copy claims goes before the copy that claims
  // it; not while a complete record at 2560 whose lengths do not add up may
  // be read with those bytes.
  std::uint32_t ours = extent;
  const std::uint32_t kept = std::max(own, newWord);
  const bool readWithThem = state == IsdSignatureState::Complete && !isdFramingAddsUp(current, storeLength);
  if (journal && ours > kept && !readWithThem) {
    clearStore(plan, current, storeLength, kept, ours);
    if (plan.count > 0) add(plan, StoreStep::Kind::Sync);
    ours = kept;
  }
  std::uint32_t claim = std::max(extent, newWord);

  const auto addJournal = [&] {
    if (!journal) return;
    plan.journal = true;
    if (journalAreaOf(area.bytes, area.length) != JournalAreaState::Ours) {
      addBytes(plan, areaOffset, JournalMagic, JournalMagicLength);
      add(plan, StoreStep::Kind::Sync);
    }
    add(plan, StoreStep::Kind::Journal, areaOffset + JournalMagicLength,
        images.journalLength - static_cast<std::uint32_t>(JournalMagicLength),
        static_cast<std::uint32_t>(JournalMagicLength));
    // What an older copy left behind it; the seal's sector is the seal's.
    const JournalBytes copyPart{area.bytes, std::min<std::size_t>(area.length, JournalSealAt)};
    if (const std::size_t used = area.bytes != nullptr ? usedBytes(copyPart) : 0; used > images.journalLength)
      add(plan, StoreStep::Kind::Zeros, areaOffset + images.journalLength,
          static_cast<std::uint32_t>(used - images.journalLength));
    add(plan, StoreStep::Kind::Sync);
  };
  // After a save that was stopped (the unfinished mark, or still the record
  // its copy replaces) or over a damaged record, the journal holds the only
  // whole copy of the newest record: the record at 2560 is completed first
  // (the load reads that copy until the signature is back, and the sealed
  // record from then on), and only then is the copy replaced.
  const RecordKey atStore =
      state == IsdSignatureState::Complete ? recordKeyOf(current, storeLength) : RecordKey{};
  const bool copyOnly =
      copy.valid && (state == IsdSignatureState::Unfinished ||
                     (state == IsdSignatureState::Complete && atStore != copy.key() &&
                      (atStore == copy.replaced || !isdCompleteRecord(current, storeLength))));
  const bool copyFirst = !copyOnly;
  if (copyFirst) addJournal();

  // The mark keeps a complete record from being read while it changes; a
  // record that is not complete is read by no load, and its bytes are
  // claimed by the journal copy where there is one.
  if (state == IsdSignatureState::Complete || (!journal && state != IsdSignatureState::Unfinished)) {
    addMark(plan);
    add(plan, StoreStep::Kind::Sync);
  }
  if (!journal && newWord > oldWord) {
    // Most significant byte first: every value on the way lies at or above
    // the old one, so the old bytes stay claimed until they are overwritten.
    std::uint32_t word = oldWord;
    for (unsigned i = IsdWordBytes; i-- > 0;) {
      if (byteOf(word, i) == byteOf(newWord, i)) continue;
      word = withByte(word, i, byteOf(newWord, i));
      const auto byte = static_cast<std::uint8_t>(byteOf(newWord, i));
      addBytes(plan, static_cast<std::uint32_t>(IsdStoreOffset + IsdTotalLengthOffset + i), &byte, 1);
      claim =
          std::max(claim, std::min(word, static_cast<std::uint32_t>(isdLongestRecord(current, storeLength))));
    }
    add(plan, StoreStep::Kind::Sync);
  }
  if (ours > newWord) {
    add(plan, StoreStep::Kind::Zeros, IsdStoreOffset + newWord, ours - newWord);
    // The new copy names the record it replaces and so claims its bytes
    // until the next save: they may be cleared along with the new record.
    const bool claimed = journal && copyFirst && images.replaced.length >= ours;
    if (!claimed) add(plan, StoreStep::Kind::Sync);
  }
  if (journal && images.seal != nullptr)
    add(plan, StoreStep::Kind::Seal, areaOffset + JournalSealAt, JournalSealLength, 0);
  add(plan, StoreStep::Kind::Record, IsdStoreOffset + IsdSignatureLength, newWord - IsdSignatureLength,
      IsdSignatureLength);
  add(plan, StoreStep::Kind::Sync);
  addBytes(plan, IsdStoreOffset, IsdSignature, IsdSignatureLength);
  add(plan, StoreStep::Kind::Sync);
  if (!copyFirst) addJournal();
  // Written least significant byte first over a larger one, every value the
  // length word passes lies at or above the new length, and what lies beyond
  // it is already clear; no value claims more than the longest record.
  plan.writeEnd = std::max(extent, newWord);
  plan.claimEnd = claim;
  return plan;
}

StorePlan planRemoval(const std::uint8_t* head, std::size_t length, const bool* journal) {
  StorePlan plan;
  const std::uint8_t* current = length > IsdStoreOffset ? head + IsdStoreOffset : head;
  const std::size_t storeLength = length > IsdStoreOffset ? length - IsdStoreOffset : 0;
  const IsdSignatureState state =
      storeLength >= IsdSignatureLength ? isdSignatureStateOf(current) : IsdSignatureState::Foreign;
  const auto own = static_cast<std::uint32_t>(guardOwnedLength(current, storeLength));
  const auto extent = static_cast<std::uint32_t>(guardRecordExtent(head, length));
  std::size_t copyArea = NoJournalArea;
  const JournalCopy copy = journalOf(head, length, &copyArea);
  JournalBytes areas[JournalAreaCount];
  bool anyArea = false;
  for (std::size_t i = 0; i < JournalAreaCount; ++i) {
    if (!journal[i]) continue;
    const JournalBytes bytes = journalBytes(head, length, i);
    if (bytes.bytes != nullptr && journalAreaOf(bytes.bytes, bytes.length) != JournalAreaState::Foreign &&
        usedBytes(bytes) > 0) {
      areas[i] = bytes;
      anyArea = true;
    }
  }
  const auto clearAreas = [&] {
    for (std::size_t i = 0; i < JournalAreaCount; ++i) clearJournal(plan, areas[i], JournalAreaOffsets[i]);
  };
  const auto dirty = [&](std::uint32_t from, std::uint32_t to) {
    const std::size_t end = std::min<std::size_t>(to, storeLength);
    return from < end && !std::all_of(current + from, current + end, [](std::uint8_t b) { return b == 0; });
  };
  const bool recordOurs = dirty(0, extent);
  if (!recordOurs && !anyArea) return plan;

  if (copy.valid && journal[copyArea] && copy.recordLength >= own && state != IsdSignatureState::Foreign) {
    // The journal copy claims the whole record: take the signature first, so
    // that no load finds the record from here on, then everything else.
    if (dirty(0, IsdSignatureLength)) {
      add(plan, StoreStep::Kind::Zeros, IsdStoreOffset, IsdSignatureLength);
      add(plan, StoreStep::Kind::Sync);
    }
    if (dirty(IsdSignatureLength, extent))
      add(plan, StoreStep::Kind::Zeros, IsdStoreOffset + IsdSignatureLength, extent - IsdSignatureLength);
    clearAreas();
    add(plan, StoreStep::Kind::Sync);
  } else {
    // Without a journal copy to claim it, the record must claim itself
    // until its last bytes go: the journal goes first, the mark replaces the
    // signature (no load takes it), then the record is cleared from its far
    // end, the length word last but one and the mark last.
    if (anyArea) {
      clearAreas();
      add(plan, StoreStep::Kind::Sync);
    }
    if (recordOurs) {
      if (state != IsdSignatureState::Unfinished && extent > IsdSignatureLength) {
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
  }
  plan.writeEnd = recordOurs ? extent : 0;
  plan.claimEnd = plan.writeEnd;
  plan.journal = anyArea;
  return plan;
}
