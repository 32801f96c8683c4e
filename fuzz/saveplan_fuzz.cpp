// Fuzzing entry point for a save over one disk, carried out up to any byte as
// a power cut would leave it: whatever the disk held at the store offset and
// in its journal area, and whatever the new record is, the load afterwards
// reads the old record (or nothing, when there was none) or the new one,
// and no byte outside what the guard judged has changed. Where the journal
// area is refused, a cut may also leave nothing to read.
#include <algorithm>

#include "fuzz/fuzz_support.h"
#include "store/guard.h"
#include "store/loadchoice.h"
#include "store/saveplan.h"

namespace {

constexpr std::size_t DiskLength = JournalEnd + 512;

// The record the load takes, as it would be saved again; empty when none.
std::vector<std::uint8_t> taken(const std::vector<std::uint8_t>& disk) {
  const std::size_t wanted = std::min<std::size_t>(IsdMaxImageLength, DiskLength - IsdStoreOffset);
  LoadedDisk loaded{disk.data() + IsdStoreOffset, wanted, disk.data() + JournalOffset, JournalAreaLength};
  DiskFinding found;
  const LoadChoice choice = chooseCopy(&loaded, 1, &found);
  if (choice.disk == NoCopy) return {};
  return fuzzRecordImage({choice.image, choice.image + choice.imageLength});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input{data, size};
  const std::size_t cut = input.word();
  std::vector<std::uint8_t> disk(DiskLength, 0);
  const std::vector<std::uint8_t> store = input.bytes(input.word() % (JournalOffset - IsdStoreOffset + 1));
  std::copy(store.begin(), store.end(), disk.begin() + IsdStoreOffset);
  const std::vector<std::uint8_t> journal = input.bytes(input.word() % (JournalAreaLength + 1));
  std::copy(journal.begin(), journal.end(), disk.begin() + JournalOffset);
  const std::vector<std::uint8_t> image = fuzzRecordImage(input.bytes(IsdMaxImageLength));
  if (image.empty()) return 0;

  const std::vector<std::uint8_t> before = disk;
  const std::vector<std::uint8_t> old = taken(disk);
  GuardDisk view{disk.data(), disk.size(), nullptr, 0, 0, disk.size(), 512};
  const char* user = nullptr;
  const JournalCopy previous = journalDecode(disk.data() + JournalOffset, JournalAreaLength);
  std::uint8_t copy[JournalAreaLength];
  SaveImages images;
  images.record = image.data();
  images.recordLength = static_cast<std::uint32_t>(image.size());
  images.journalLength = journalEncode(images.record, images.recordLength, previous.generation + 1, copy);
  if (guardJournalArea(view, &user) == DiskOutcome::Written) {
    images.journal = copy;
  } else if (previous.valid) {
    return 0;  // refused, as the disk layer refuses it
  }
  const StorePlan plan = planSave(disk.data(), disk.size(), images);
  if (plan.count == 0) {
    fuzzCheck(old == fuzzRecordImage(image));
    return 0;
  }
  if (guardDisk(view, plan.claimEnd, &user) != DiskOutcome::Written) return 0;
  if (IsdStoreOffset + std::size_t{plan.writeEnd} > DiskLength) return 0;

  std::size_t budget = cut;
  for (std::size_t i = 0; i < plan.count && budget > 0; ++i) {
    const StoreStep& step = plan.steps[i];
    if (step.kind == StoreStep::Kind::Sync) continue;
    const std::size_t n = std::min<std::size_t>(step.length, budget);
    for (std::size_t k = 0; k < n; ++k) {
      std::uint8_t byte = 0;
      if (step.kind == StoreStep::Kind::Bytes) byte = step.bytes[k];
      if (step.kind == StoreStep::Kind::Record) byte = images.record[step.from + k];
      if (step.kind == StoreStep::Kind::Journal) byte = images.journal[step.from + k];
      disk[step.offset + k] = byte;
    }
    budget -= n;
  }
  const std::vector<std::uint8_t> after = taken(disk);
  // Without a journal copy (its area refused) a cut may leave only the
  // unfinished mark, as on a disk without room for one.
  fuzzCheck(after == old || after == fuzzRecordImage(image) || (!plan.journal && after.empty()));
  // Only the judged range and the journal area may have changed.
  const auto same = [&](std::size_t from, std::size_t to) {
    return from >= to ||
           std::equal(disk.begin() + static_cast<long>(from), disk.begin() + static_cast<long>(to),
                      before.begin() + static_cast<long>(from));
  };
  const std::size_t judgedEnd =
      std::min<std::size_t>(IsdStoreOffset + std::size_t{plan.claimEnd}, DiskLength);
  fuzzCheck(same(0, IsdStoreOffset));
  if (plan.journal) {
    fuzzCheck(same(judgedEnd, JournalOffset) &&
              same(std::max<std::size_t>(judgedEnd, JournalEnd), DiskLength));
  } else {
    fuzzCheck(same(judgedEnd, DiskLength));
  }
  return 0;
}
