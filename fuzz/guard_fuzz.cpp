// Fuzzing entry point for the write guard and the plans it judges: any first
// bytes of a disk, any sector size, any write length. A shorter write is
// never refused where a longer one was allowed; what counts as ours never
// exceeds the longest record or journal copy; and no step of a save or
// removal writes outside what the guard judged.
#include <algorithm>

#include "fuzz/fuzz_support.h"
#include "store/guard.h"
#include "store/saveplan.h"

namespace {

constexpr std::uint32_t SectorSizes[] = {0, 512, 4096, 1024, 520, 2048};

// Every step writes inside [store offset, + plan.claimEnd) or, when the plan
// writes the journal, inside the journal area.
void checkSteps(const StorePlan& plan) {
  fuzzCheck(plan.count <= StoreStepMax && plan.writeEnd <= plan.claimEnd);
  for (std::size_t i = 0; i < plan.count; ++i) {
    const StoreStep& step = plan.steps[i];
    if (step.kind == StoreStep::Kind::Sync) continue;
    const std::uint64_t end = std::uint64_t{step.offset} + step.length;
    const bool inRecord =
        step.offset >= IsdStoreOffset && end <= IsdStoreOffset + std::uint64_t{plan.claimEnd};
    bool inJournal = false;
    for (const std::uint32_t area : JournalAreaOffsets)
      inJournal = inJournal || (plan.journal && step.offset >= area && end <= area + JournalAreaLength);
    fuzzCheck(inRecord || inJournal);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input{data, size};
  const std::uint32_t sector = SectorSizes[input.byte() % std::size(SectorSizes)];
  const std::size_t range = input.word();
  // The head is laid out from the store offset on when the input is short,
  // so that the fuzzer reaches the record and journal areas with few bytes.
  const bool fromStore = (input.byte() & 1) != 0;
  std::vector<std::uint8_t> head = input.bytes(GuardSpan);
  if (fromStore) head.insert(head.begin(), IsdStoreOffset, 0);
  GuardDisk disk{head.data(), head.size(), nullptr, 0, 0, head.size(), sector};

  const char* user = nullptr;
  const DiskOutcome verdict = guardDisk(disk, range, &user);
  if (verdict == DiskOutcome::Written) fuzzCheck(guardDisk(disk, range / 2, &user) == DiskOutcome::Written);
  const std::size_t extent = guardRecordExtent(head.data(), head.size());
  const std::size_t storeLength = head.size() > IsdStoreOffset ? head.size() - IsdStoreOffset : 0;
  if (storeLength >= 4) {
    const std::uint8_t* store = head.data() + IsdStoreOffset;
    const bool framed = isdFramingAddsUp(store, storeLength);
    const std::size_t longest =
        framed ? isdGetU32(store + IsdTotalLengthOffset) : isdLongestRecord(store, storeLength);
    fuzzCheck(extent <= std::max<std::size_t>(longest, JournalRecordMax));
  }
  bool journal[JournalAreaCount] = {};
  for (std::size_t area = 0; area < JournalAreaCount; ++area)
    journal[area] = guardJournalArea(disk, area, &user) == DiskOutcome::Written;
  const std::size_t area = guardFirstJournalArea(guardJournalAreas(disk));
  fuzzCheck(area == NoJournalArea || journal[area]);

  const std::vector<std::uint8_t> image = fuzzRecordImage(input.bytes(IsdMaxImageLength));
  if (image.empty()) return 0;
  std::uint8_t copy[JournalAreaLength];
  SaveImages images;
  images.record = image.data();
  images.recordLength = static_cast<std::uint32_t>(image.size());
  images.journalLength = journalEncode(images.record, images.recordLength, 1, copy);
  std::uint8_t seal[JournalSealLength];
  journalSealEncode({images.recordLength, journalCrc32(images.record, images.recordLength)}, 1, seal);
  images.journal = area != NoJournalArea ? copy : nullptr;
  images.seal = seal;
  images.area = area != NoJournalArea ? area : 0;
  checkSteps(planSave(head.data(), head.size(), images));
  checkSteps(planRemoval(head.data(), head.size(), journal));
  return 0;
}
