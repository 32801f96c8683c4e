// Fuzzing entry point for the load's choice among one to three disks, each
// with any bytes at the store offset and in both journal areas (journal
// copies and seals). The copy taken must be one the rules allow, and none
// they rank higher may be passed over: a damaged record is taken only when
// nothing else is there, a journal copy stands in only for a record that a
// save of ours was changing or that is damaged, and no copy of ours is
// passed over for one with a lower generation. A valid copy encodes back to
// its own bytes, and the copy taken parses.
#include "fuzz/fuzz_support.h"
#include "store/loadchoice.h"

namespace {

struct Disk {
  std::vector<std::uint8_t> store, journal[JournalAreaCount];
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input{data, size};
  const std::size_t count = 1 + input.byte() % 3;
  Disk disks[3];
  LoadedDisk loaded[3];
  for (std::size_t i = 0; i < count; ++i) {
    disks[i].store = input.bytes(input.word());
    loaded[i].store = disks[i].store.data();
    loaded[i].storeLength = disks[i].store.size();
    for (std::size_t area = 0; area < JournalAreaCount; ++area) {
      disks[i].journal[area] = input.bytes(input.word() % (JournalAreaLength + 1));
      loaded[i].journal[area] = disks[i].journal[area].data();
      loaded[i].journalLength[area] = disks[i].journal[area].size();
    }
  }
  DiskFinding found[3];
  const LoadChoice choice = chooseCopy(loaded, count, found);

  bool anyWellFormed = false, anyStandIn = false;
  for (std::size_t i = 0; i < count; ++i) {
    const DiskFinding& f = found[i];
    const bool standsIn =
        f.journalValid && (f.record == StoredRecord::Complete || f.record == StoredRecord::Damaged ||
                           f.record == StoredRecord::Unfinished);
    anyWellFormed = anyWellFormed || f.record == StoredRecord::Complete;
    anyStandIn = anyStandIn || standsIn;
    for (std::size_t area = 0; area < JournalAreaCount; ++area) {
      const JournalCopy copy = journalDecode(loaded[i].journal[area], loaded[i].journalLength[area]);
      if (!copy.valid) continue;
      // A copy of ours on a disk where it stands in is never passed over for
      // a lower generation of ours.
      if (standsIn && choice.hasGeneration && !choice.writtenElsewhere)
        fuzzCheck(choice.generation >= copy.generation);
      fuzzCheck(copy.generation < JournalGenerationLimit && isdWellFormed(copy.record, copy.recordLength));
      fuzzCheck(choice.anyGeneration && choice.highestGeneration >= copy.generation);
      if (copy.record != loaded[i].journal[area] + JournalHeaderLength) continue;  // the older layout
      std::uint8_t again[JournalAreaLength];
      const std::uint32_t length =
          journalEncode(copy.record, copy.recordLength, copy.generation, again, copy.replaced);
      fuzzCheck(length != 0 && std::equal(again, again + length, disks[i].journal[area].begin()));
    }
  }
  fuzzCheck((anyWellFormed || anyStandIn) == (choice.disk != NoCopy && !choice.damaged));
  if (choice.disk == NoCopy) return 0;
  const DiskFinding& taken = found[choice.disk];
  if (choice.fromJournal) {
    fuzzCheck(taken.journalValid && taken.record != StoredRecord::NoRecord &&
              taken.record != StoredRecord::Foreign && taken.record != StoredRecord::CutShort);
  } else {
    fuzzCheck(taken.record == (choice.damaged ? StoredRecord::Damaged : StoredRecord::Complete));
  }
  if (choice.writtenElsewhere) fuzzCheck(!taken.ours && taken.record == StoredRecord::Complete);
  ImageSafeDataStruct record{};
  if (!isdCreate(&record)) return 0;
  IsdRecordBuffers release(&record);
  isdParse(choice.image, choice.imageLength, &record);
  return 0;
}
