#include "store/loadchoice.h"

#include <algorithm>
#include <tuple>

#include "store/format.h"
#include "store/record.h"

namespace {

// How a copy ranks: higher wins.
enum class Rank { None, Damaged, NoGeneration, Generation, WrittenElsewhere };
// Within Rank::Generation: a record a save replaced is older than that save,
// and among equals a complete record at 2560 comes before a journal copy.
enum class Age { Replaced, Journal, Written };

struct Standing {
  Rank rank = Rank::None;
  std::uint64_t generation = 0;
  Age age = Age::Replaced;
  auto order() const { return std::tie(rank, generation, age); }
  bool operator>(const Standing& other) const { return order() > other.order(); }
};

// A record that a disk's copy or seal names, and the generation that names it.
struct Known {
  RecordKey key;
  std::uint64_t generation;
  Age age;
};
constexpr std::size_t KnownPerDisk = JournalAreaCount * 3;

StoredRecord recordAt(const std::uint8_t* store, std::size_t length) {
  if (length < IsdSignatureLength)
    return length == 0 || std::all_of(store, store + length, [](std::uint8_t b) { return b == 0; })
               ? StoredRecord::NoRecord
               : StoredRecord::Foreign;
  switch (isdSignatureStateOf(store)) {
    case IsdSignatureState::Complete: break;
    case IsdSignatureState::Unfinished: return StoredRecord::Unfinished;
    case IsdSignatureState::Vacant: return StoredRecord::NoRecord;
    case IsdSignatureState::Foreign: return StoredRecord::Foreign;
  }
  if (isdCompleteRecord(store, length)) return StoredRecord::Complete;
  return length < IsdHeaderLength || length < isdStoredLength(store, length) ? StoredRecord::CutShort
                                                                             : StoredRecord::Damaged;
}

}  // namespace

LoadChoice chooseCopy(const LoadedDisk* disks, std::size_t count, DiskFinding* findings) {
  LoadChoice choice;
  Known known[KnownPerDisk * LoadDiskMax];
  std::size_t knownCount = 0;
  const auto learn = [&](std::uint64_t generation) {
    choice.highestGeneration =
        choice.anyGeneration ? std::max(choice.highestGeneration, generation) : generation;
    choice.anyGeneration = true;
  };
  // Each area is decoded once: its copy and seal, and the disk's newest copy.
  JournalCopy copies[LoadDiskMax];
  bool sealed[LoadDiskMax] = {};
  count = std::min(count, LoadDiskMax);
  for (std::size_t i = 0; i < count; ++i) {
    DiskFinding& found = findings[i] = {};
    found.record = recordAt(disks[i].store, disks[i].storeLength);
    for (std::size_t a = 0; a < JournalAreaCount; ++a) {
      if (disks[i].journal[a] == nullptr) continue;
      const JournalCopy copy = journalDecode(disks[i].journal[a], disks[i].journalLength[a]);
      const JournalSeal seal = journalSealOf(disks[i].journal[a], disks[i].journalLength[a]);
      if (copy.valid) {
        known[knownCount++] = {copy.key(), copy.generation, Age::Written};
        if (copy.replaced.length != 0) known[knownCount++] = {copy.replaced, copy.generation, Age::Replaced};
        found.generation = std::max(found.generation, copy.generation);
        learn(copy.generation);
        if (!copies[i].valid || copy.generation > copies[i].generation) {
          copies[i] = copy;
          found.journalArea = a;
        }
      }
      if (seal.valid) {
        known[knownCount++] = {seal.record, seal.generation, Age::Written};
        found.generation = std::max(found.generation, seal.generation);
        sealed[i] = true;
        learn(seal.generation);
      }
    }
    found.journalValid = copies[i].valid;
  }

  Standing best;
  for (std::size_t i = 0; i < count; ++i) {
    DiskFinding& found = findings[i];
    const LoadedDisk& disk = disks[i];
    const JournalCopy& copy = copies[i];
    // The record at 2560, ranked by what names it.
    Standing atStore;
    if (found.record == StoredRecord::Complete) {
      const RecordKey key = recordKeyOf(disk.store, disk.storeLength);
      found.journalMatches = copy.valid && key == copy.key();
      atStore.rank = copy.valid || sealed[i] ? Rank::WrittenElsewhere : Rank::NoGeneration;
      for (std::size_t k = 0; k < knownCount; ++k) {
        if (known[k].key != key) continue;
        const Standing named{Rank::Generation, known[k].generation, known[k].age};
        if (!found.ours || named > atStore) atStore = named;
        found.ours = true;
      }
    } else if (found.record == StoredRecord::Damaged) {
      atStore.rank = Rank::Damaged;
    }
    // The disk's journal copy stands in for a record at 2560 that a save of
    // ours was changing, replacing or that was damaged; never for a record
    // that was removed, or for someone else's bytes.
    Standing inJournal;
    const bool standsIn = found.record == StoredRecord::Complete || found.record == StoredRecord::Damaged ||
                          found.record == StoredRecord::Unfinished;
    if (copy.valid && standsIn) inJournal = {Rank::Generation, copy.generation, Age::Journal};
    const bool fromJournal = inJournal > atStore;
    const Standing standing = fromJournal ? inJournal : atStore;
    if (standing.rank == Rank::None || !(standing > best)) continue;
    best = standing;
    choice.disk = i;
    choice.fromJournal = fromJournal;
    choice.writtenElsewhere = standing.rank == Rank::WrittenElsewhere;
    choice.damaged = standing.rank == Rank::Damaged;
    choice.hasGeneration = standing.rank == Rank::Generation && standing.age != Age::Replaced;
    choice.generation = choice.hasGeneration ? standing.generation : 0;
    if (fromJournal) {
      choice.image = copy.record;
      choice.imageLength = copy.recordLength;
    } else {
      // A complete or damaged record lies whole within the bytes read (recordAt).
      choice.image = disk.store;
      choice.imageLength = isdStoredLength(disk.store, disk.storeLength);
    }
  }
  return choice;
}
