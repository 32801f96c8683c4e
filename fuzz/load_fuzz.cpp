// Fuzzing entry point for the load's choice among one to three disks, each
// with any bytes at the store offset and in the journal area. The copy taken
// must be one the rules allow and none they rank higher may be passed over;
// a valid journal copy encodes back to its own bytes; the copy parses.
#include "fuzz/fuzz_support.h"
#include "store/loadchoice.h"

namespace {

struct Disk {
  std::vector<std::uint8_t> store, journal;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input{data, size};
  const std::size_t count = 1 + input.byte() % 3;
  Disk disks[3];
  LoadedDisk loaded[3];
  for (std::size_t i = 0; i < count; ++i) {
    disks[i].store = input.bytes(input.word());
    disks[i].journal = input.bytes(input.word() % (JournalAreaLength + 1));
    loaded[i] = {disks[i].store.data(), disks[i].store.size(), disks[i].journal.data(),
                 disks[i].journal.size()};
  }
  DiskFinding found[3];
  const LoadChoice choice = chooseCopy(loaded, count, found);

  bool anyElsewhere = false, anyCopy = false;
  for (std::size_t i = 0; i < count; ++i) {
    const DiskFinding& f = found[i];
    const bool elsewhere = f.record == StoredRecord::Complete && f.journalValid && !f.journalMatches;
    const bool generation = (f.record == StoredRecord::Complete && f.journalMatches) ||
                            (f.record == StoredRecord::Unfinished && f.journalValid);
    anyElsewhere = anyElsewhere || elsewhere;
    anyCopy = anyCopy || f.record == StoredRecord::Complete || generation;
    if (generation && !choice.writtenElsewhere && choice.hasGeneration)
      fuzzCheck(choice.generation >= f.generation);
    if (generation && !anyElsewhere) fuzzCheck(choice.hasGeneration || choice.writtenElsewhere);
    if (f.journalValid) {
      fuzzCheck(choice.anyGeneration && choice.highestGeneration >= f.generation);
      const JournalCopy copy = journalDecode(loaded[i].journal, loaded[i].journalLength);
      std::uint8_t again[JournalAreaLength];
      const std::uint32_t length = journalEncode(copy.record, copy.recordLength, copy.generation, again);
      fuzzCheck(length != 0 && std::equal(again, again + length, disks[i].journal.begin()));
    }
  }
  fuzzCheck(anyCopy == (choice.disk != NoCopy));
  fuzzCheck(anyElsewhere == choice.writtenElsewhere);
  if (choice.disk == NoCopy) return 0;
  const DiskFinding& taken = found[choice.disk];
  fuzzCheck(choice.fromJournal ? taken.record == StoredRecord::Unfinished && taken.journalValid
                               : taken.record == StoredRecord::Complete);
  // A copy without a generation wins only when no copy has one.
  if (!choice.hasGeneration && !choice.writtenElsewhere) {
    for (std::size_t i = 0; i < count; ++i)
      fuzzCheck(!(found[i].record == StoredRecord::Complete && found[i].journalMatches) &&
                !(found[i].record == StoredRecord::Unfinished && found[i].journalValid));
  }
  ImageSafeDataStruct record{};
  if (!isdCreate(&record)) return 0;
  IsdRecordBuffers release(&record);
  isdParse(choice.image, choice.imageLength, &record);
  return 0;
}
