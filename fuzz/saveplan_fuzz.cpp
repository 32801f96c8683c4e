// Fuzzing entry point for a save over one disk, carried out up to any byte as
// a power cut would leave it: whatever the disk held at the store offset and
// in its journal area, and whatever the new record is, the load afterwards
// reads the old record (or nothing, when there was none) or the new one,
// and no byte outside what the guard judged has changed. The journal goes
// to the first area, or to the second where the first holds someone else's
// byte. Where both are refused, a cut may also leave nothing to read.
#include <algorithm>
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "store/guard.h"
#include "store/loadchoice.h"
#include "store/saveplan.h"

namespace {

// The disk ends just past its second journal area, so that a save can go
// there when the first is not ours to write.
constexpr std::size_t DiskLength = JournalSecondEnd + 512;

// The record the load takes, as it would be saved again; empty when none.
std::vector<std::uint8_t> taken(const std::vector<std::uint8_t>& disk) {
  LoadedDisk loaded;
  loaded.store = disk.data() + IsdStoreOffset;
  loaded.storeLength = IsdMaxImageLength;
  for (std::size_t area = 0; area < JournalAreaCount; ++area) {
    loaded.journal[area] = disk.data() + JournalAreaOffsets[area];
    loaded.journalLength[area] = JournalAreaLength;
  }
  DiskFinding found;
  const LoadChoice choice = chooseCopy(&loaded, 1, &found);
  if (choice.disk == NoCopy) return {};
  return fuzzRecordImage({choice.image, choice.image + choice.imageLength});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input{data, size};
  const std::size_t cut = input.word();
  // One disk buffer for every run: only the bytes a run may touch are laid
  // and compared, so that a run costs what its input does.
  static std::vector<std::uint8_t> disk(DiskLength, 0);
  static std::vector<std::uint8_t> before(DiskLength, 0);
  std::fill(disk.begin(), disk.begin() + JournalEnd, 0);
  std::fill(disk.begin() + JournalSecondOffset, disk.end(), 0);
  const std::vector<std::uint8_t> store = input.bytes(input.word() % (JournalOffset - IsdStoreOffset + 1));
  std::copy(store.begin(), store.end(), disk.begin() + IsdStoreOffset);
  // The journal bytes go to either area; someone else's byte in the first
  // sends the save to the second.
  const std::uint8_t where = input.byte();
  const std::size_t area = where & 1;
  const std::vector<std::uint8_t> journal = input.bytes(input.word() % (JournalAreaLength + 1));
  std::copy(journal.begin(), journal.end(), disk.begin() + JournalAreaOffsets[area]);
  if ((where & 2) != 0) disk[JournalEnd - 1] = 0xA5;
  const std::vector<std::uint8_t> image = fuzzRecordImage(input.bytes(IsdMaxImageLength));
  if (image.empty()) return 0;

  std::copy(disk.begin(), disk.begin() + JournalEnd, before.begin());
  std::copy(disk.begin() + JournalSecondOffset, disk.end(), before.begin() + JournalSecondOffset);
  const std::vector<std::uint8_t> old = taken(disk);
  GuardDisk view{disk.data(), disk.size(), nullptr, 0, 0, disk.size(), 512};
  const char* user = nullptr;
  const std::size_t chosen = guardFirstJournalArea(guardJournalAreas(view));
  for (std::size_t i = 0; i < JournalAreaCount; ++i)
    if (i != chosen && journalDecode(disk.data() + JournalAreaOffsets[i], JournalAreaLength).valid &&
        guardJournalArea(view, i, &user) != DiskOutcome::Written)
      return 0;  // refused, as the disk layer refuses it
  const JournalCopy previous = journalOf(disk.data(), disk.size());
  const std::uint8_t* current = disk.data() + IsdStoreOffset;
  RecordKey replaced;
  if (isdSignatureStateOf(current) == IsdSignatureState::Complete &&
      isdWellFormed(current, isdStoredLength(current, IsdMaxImageLength)))
    replaced = recordKeyOf(current, IsdMaxImageLength);
  std::uint8_t copy[JournalAreaLength];
  std::uint8_t seal[JournalSealLength];
  SaveImages images;
  images.record = image.data();
  images.recordLength = static_cast<std::uint32_t>(image.size());
  images.generation = previous.generation + 1;
  images.journalLength = journalEncode(images.record, images.recordLength, images.generation, copy, replaced);
  journalSealEncode({images.recordLength, journalCrc32(images.record, images.recordLength)},
                    images.generation, seal);
  if (chosen != NoJournalArea && images.journalLength != 0) {
    images.journal = copy;
    images.seal = seal;
    images.area = chosen;
    images.replaced = replaced;
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
      if (step.kind == StoreStep::Kind::Seal) byte = images.seal[step.from + k];
      disk[step.offset + k] = byte;
    }
    budget -= n;
  }
  const std::vector<std::uint8_t> after = taken(disk);
  // Without a journal copy (its areas refused) a cut may leave only the
  // unfinished mark, as on a disk without room for one.
  fuzzCheck(after == old || after == fuzzRecordImage(image) || (!plan.journal && after.empty()));
  // Only the judged range and the chosen journal area may have changed.
  const std::size_t judgedEnd =
      std::min<std::size_t>(IsdStoreOffset + std::size_t{plan.claimEnd}, DiskLength);
  const std::size_t areaStart = plan.journal ? JournalAreaOffsets[chosen] : DiskLength;
  const std::size_t areaEnd = areaStart + (plan.journal ? JournalAreaLength : 0);
  // [from, to) holds what it held, but for the chosen journal area.
  const auto unchanged = [&](std::size_t from, std::size_t to) {
    const auto equal = [&](std::size_t a, std::size_t b) {
      return a >= b || std::memcmp(disk.data() + a, before.data() + a, b - a) == 0;
    };
    return equal(from, std::min(to, std::max(from, areaStart))) && equal(std::max(from, areaEnd), to);
  };
  fuzzCheck(unchanged(0, IsdStoreOffset) &&
            unchanged(std::min<std::size_t>(judgedEnd, JournalEnd), JournalEnd) &&
            unchanged(JournalSecondOffset, DiskLength));
  return 0;
}
