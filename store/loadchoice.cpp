#include "store/loadchoice.h"

#include <algorithm>
#include <tuple>

#include "store/bytes.h"
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

// Every record that the copies and seals of the disks name.
struct KnownRecords {
  Known entries[KnownPerDisk * LoadDiskMax];
  std::size_t count = 0;
  void add(RecordKey key, std::uint64_t generation, Age age) { entries[count++] = {key, generation, age}; }
};

// What the journal areas of one disk hold.
struct DiskJournal {
  JournalCopy newest;   // its valid copy with the highest generation
  bool sealed = false;  // it holds a valid seal
};

void learnGeneration(LoadChoice& choice, std::uint64_t generation) {
  choice.highestGeneration =
      choice.anyGeneration ? std::max(choice.highestGeneration, generation) : generation;
  choice.anyGeneration = true;
}

// Decode each journal area of `disk` once: what its copy and seal name goes
// into `known`, their generations into `found` and `choice`.
DiskJournal readJournal(const LoadedDisk& disk, DiskFinding& found, KnownRecords& known, LoadChoice& choice) {
  DiskJournal journal;
  for (std::size_t a = 0; a < JournalAreaCount; ++a) {
    if (disk.journal[a] == nullptr) continue;
    const JournalCopy copy = journalDecode(disk.journal[a], disk.journalLength[a]);
    const JournalSeal seal = journalSealOf(disk.journal[a], disk.journalLength[a]);
    if (copy.valid) {
      known.add(copy.key(), copy.generation, Age::Written);
      if (copy.replaced.length != 0) known.add(copy.replaced, copy.generation, Age::Replaced);
      found.generation = std::max(found.generation, copy.generation);
      learnGeneration(choice, copy.generation);
      if (journalNewer(copy, journal.newest)) {
        journal.newest = copy;
        found.journalArea = a;
      }
    }
    if (seal.valid) {
      known.add(seal.record, seal.generation, Age::Written);
      found.generation = std::max(found.generation, seal.generation);
      journal.sealed = true;
      learnGeneration(choice, seal.generation);
    }
  }
  found.journalValid = journal.newest.valid;
  return journal;
}

StoredRecord recordAt(const std::uint8_t* store, std::size_t length) {
  if (length < IsdSignatureLength)
    return isdAllZero(store, 0, length) ? StoredRecord::NoRecord : StoredRecord::Foreign;
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

// The record at 2560 of `disk`, ranked by what names it.
Standing storeStanding(const LoadedDisk& disk, const DiskJournal& journal, const KnownRecords& known,
                       DiskFinding& found) {
  Standing atStore;
  if (found.record == StoredRecord::Damaged) atStore.rank = Rank::Damaged;
  if (found.record != StoredRecord::Complete) return atStore;
  const JournalCopy& copy = journal.newest;
  const RecordKey key = recordKeyOf(disk.store, disk.storeLength);
  found.journalMatches = copy.valid && key == copy.key();
  atStore.rank = copy.valid || journal.sealed ? Rank::WrittenElsewhere : Rank::NoGeneration;
  for (std::size_t k = 0; k < known.count; ++k) {
    const Known& names = known.entries[k];
    if (names.key != key) continue;
    const Standing named{Rank::Generation, names.generation, names.age};
    if (!found.ours || named > atStore) atStore = named;
    found.ours = true;
  }
  return atStore;
}

// The disk's journal copy stands in for a record at 2560 that a save of
// ours was changing, replacing or that was damaged; never for a record
// that was removed, or for someone else's bytes.
Standing journalStanding(const DiskFinding& found, const JournalCopy& copy) {
  const bool standsIn = found.record == StoredRecord::Complete || found.record == StoredRecord::Damaged ||
                        found.record == StoredRecord::Unfinished;
  if (!copy.valid || !standsIn) return {};
  return {Rank::Generation, copy.generation, Age::Journal};
}

// Make disk `index` the winner, with its journal copy or its record at 2560.
void take(LoadChoice& choice, std::size_t index, const Standing& standing, bool fromJournal,
          const LoadedDisk& disk, const JournalCopy& copy) {
  choice.disk = index;
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

}  // namespace

LoadChoice chooseCopy(const LoadedDisk* disks, std::size_t count, DiskFinding* findings) {
  LoadChoice choice;
  KnownRecords known;
  DiskJournal journals[LoadDiskMax];
  count = std::min(count, LoadDiskMax);
  for (std::size_t i = 0; i < count; ++i) {
    findings[i] = {};
    findings[i].record = recordAt(disks[i].store, disks[i].storeLength);
    journals[i] = readJournal(disks[i], findings[i], known, choice);
  }
  Standing best;
  for (std::size_t i = 0; i < count; ++i) {
    const Standing atStore = storeStanding(disks[i], journals[i], known, findings[i]);
    const Standing inJournal = journalStanding(findings[i], journals[i].newest);
    const bool fromJournal = inJournal > atStore;
    const Standing standing = fromJournal ? inJournal : atStore;
    if (standing.rank == Rank::None || !(standing > best)) continue;
    best = standing;
    take(choice, i, standing, fromJournal, disks[i], journals[i].newest);
  }
  return choice;
}
