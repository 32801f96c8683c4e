#include "store/loadchoice.h"

#include <algorithm>

#include "store/format.h"
#include "store/journal.h"
#include "store/record.h"

namespace {

// Ranks of a copy: higher wins.
enum class Rank { None, NoGeneration, Generation, WrittenElsewhere };

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
  if (length < IsdHeaderLength) return StoredRecord::CutShort;
  const std::size_t wanted =
      std::min<std::size_t>(isdGetU32(store + IsdTotalLengthOffset), IsdMaxImageLength);
  return length < wanted ? StoredRecord::CutShort : StoredRecord::Complete;
}

}  // namespace

DiskFinding findOnDisk(const LoadedDisk& disk) {
  DiskFinding found;
  found.record = recordAt(disk.store, disk.storeLength);
  const JournalCopy copy = journalDecode(disk.journal, disk.journalLength);
  found.journalValid = copy.valid;
  found.generation = copy.generation;
  found.journalMatches =
      found.record == StoredRecord::Complete && journalMatches(copy, disk.store, disk.storeLength);
  return found;
}

LoadChoice chooseCopy(const LoadedDisk* disks, std::size_t count, DiskFinding* findings) {
  LoadChoice choice;
  Rank best = Rank::None;
  for (std::size_t i = 0; i < count; ++i) {
    const DiskFinding found = findings[i] = findOnDisk(disks[i]);
    if (found.journalValid) {
      choice.highestGeneration =
          choice.anyGeneration ? std::max(choice.highestGeneration, found.generation) : found.generation;
      choice.anyGeneration = true;
    }
    Rank rank = Rank::None;
    bool fromJournal = false;
    if (found.record == StoredRecord::Complete) {
      rank = !found.journalValid    ? Rank::NoGeneration
             : found.journalMatches ? Rank::Generation
                                    : Rank::WrittenElsewhere;
    } else if (found.record == StoredRecord::Unfinished && found.journalValid) {
      rank = Rank::Generation;
      fromJournal = true;
    }
    const bool newer =
        rank > best || (rank == best && rank == Rank::Generation && found.generation > choice.generation);
    if (rank == Rank::None || !newer) continue;
    best = rank;
    choice.disk = i;
    choice.fromJournal = fromJournal;
    choice.writtenElsewhere = rank == Rank::WrittenElsewhere;
    choice.hasGeneration = rank == Rank::Generation;
    choice.generation = choice.hasGeneration ? found.generation : 0;
    if (fromJournal) {
      const JournalCopy copy = journalDecode(disks[i].journal, disks[i].journalLength);
      choice.image = copy.record;
      choice.imageLength = copy.recordLength;
    } else {
      choice.image = disks[i].store;
      choice.imageLength = std::min<std::size_t>(
          std::min<std::size_t>(isdGetU32(disks[i].store + IsdTotalLengthOffset), IsdMaxImageLength),
          disks[i].storeLength);
    }
  }
  return choice;
}
