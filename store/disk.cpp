#include "store/disk.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>

#include "store/bytes.h"
#include "store/format.h"
#include "store/guard.h"
#include "store/journal.h"
#include "store/loadchoice.h"
#include "store/saveplan.h"

namespace {

constexpr std::size_t ZeroBlockLength = 4096;

DiskPlatform& platform() { return tablePlatform(); }

int readError(long got) { return got < 0 ? static_cast<int>(got) : -EIO; }

void clearReport(DiskReport& report) {
  report.count = diskTable.count;
  for (std::size_t slot = 0; slot < diskTable.count; ++slot)
    report.disks[slot] = {diskTable.slots[slot].devicePath,
                          DiskOutcome::NotUsed,
                          0,
                          {},
                          DiskOutcome::NotUsed,
                          NoJournalArea,
                          0,
                          0};
}

DiskOutcome note(DiskReport& report, std::size_t slot, DiskOutcome outcome, int error = 0) {
  report.disks[slot].outcome = outcome;
  report.disks[slot].error = error;
  return outcome;
}

// The bytes of one disk that the write guard and the write order look at.
struct DiskBytes {
  std::unique_ptr<std::uint8_t[]> head;
  std::unique_ptr<std::uint8_t[]> tail;
  GuardDisk view;
  std::size_t storeLength = 0;  // bytes read from the store offset on
  const std::uint8_t* store() const { return view.head + IsdStoreOffset; }
};

// Read the start of the disk, its end, its size and sector size. 0 or a
// negative errno.
int readDisk(int fd, DiskBytes& disk) {
  disk.head.reset(new (std::nothrow) std::uint8_t[GuardSpan]());
  if (!disk.head) return -ENOMEM;
  const long got = platform().readAt(fd, 0, disk.head.get(), GuardSpan);
  if (got < 0) return readError(got);
  // A disk that ends before the store offset holds nothing there; the size
  // check refuses it for a save.
  disk.view.head = disk.head.get();
  disk.view.headLength = static_cast<std::size_t>(got);
  disk.storeLength = disk.view.headLength > IsdStoreOffset ? disk.view.headLength - IsdStoreOffset : 0;
  int sectorSize = 0;
  if (platform().logicalSectorSize(fd, &sectorSize) != 0 || sectorSize < 0) sectorSize = 0;
  disk.view.sectorSize = static_cast<std::uint32_t>(sectorSize);
  if (const int size = diskDeviceBytes(fd, &disk.view.deviceBytes); size != 0) return size;
  if (disk.view.deviceBytes > GuardSpan) {
    const std::size_t tailLength =
        static_cast<std::size_t>(std::min<std::uint64_t>(GuardTailSpan, disk.view.deviceBytes - GuardSpan));
    disk.tail.reset(new (std::nothrow) std::uint8_t[tailLength]());
    if (!disk.tail) return -ENOMEM;
    disk.view.tailOffset = disk.view.deviceBytes - tailLength;
    const long tailGot = platform().readAt(fd, disk.view.tailOffset, disk.tail.get(), tailLength);
    if (tailGot < 0) return readError(tailGot);
    disk.view.tail = disk.tail.get();
    disk.view.tailLength = static_cast<std::size_t>(tailGot);
  }
  return 0;
}

// The write guard's verdict on `plan` for this disk, with what libblkid knows
// about the whole disk added to the guard's own signatures.
DiskOutcome judge(int fd, const DiskBytes& disk, const StorePlan& plan, DiskResult& result) {
  if (disk.view.deviceBytes < std::uint64_t{IsdStoreOffset} + plan.writeEnd)
    return DiskOutcome::RefusedTooSmall;
  const char* user = nullptr;
  const DiskOutcome verdict = guardDisk(disk.view, plan.claimEnd, &user);
  if (user != nullptr) std::snprintf(result.user, sizeof result.user, "%s", user);
  if (verdict != DiskOutcome::Written) return verdict;
  if (platform().probeWholeDisk(fd, result.user, sizeof result.user) == 1)
    return DiskOutcome::RefusedDiskUser;
  result.user[0] = '\0';
  return DiskOutcome::Written;
}

// Write the `length` bytes at `offset`: 0, or a negative errno (-EIO when
// the disk took fewer).
int writeAll(int fd, std::uint64_t offset, const std::uint8_t* bytes, std::size_t length) {
  const long put = platform().writeAt(fd, offset, bytes, length);
  if (put < 0) return static_cast<int>(put);
  return static_cast<std::size_t>(put) == length ? 0 : -EIO;
}

int writeZeros(int fd, std::uint64_t offset, std::size_t length) {
  static const std::uint8_t zeros[ZeroBlockLength] = {};
  for (std::size_t done = 0; done < length;) {
    const std::size_t part = std::min(length - done, ZeroBlockLength);
    if (const int error = writeAll(fd, offset + done, zeros, part); error != 0) return error;
    done += part;
  }
  return 0;
}

// Carry out the steps on one disk; the first failure stops it there.
DiskOutcome carryOut(int fd, const StorePlan& plan, const SaveImages& images, DiskResult& result) {
  for (std::size_t i = 0; i < plan.count; ++i) {
    const StoreStep& step = plan.steps[i];
    const std::uint64_t at = step.offset;
    int error = 0;
    switch (step.kind) {
      case StoreStep::Kind::Sync:
        if ((error = platform().sync(fd)) != 0) {
          result.error = error;
          return DiskOutcome::SyncFailed;
        }
        continue;
      case StoreStep::Kind::Zeros: error = writeZeros(fd, at, step.length); break;
      case StoreStep::Kind::Bytes:
      case StoreStep::Kind::Record:
      case StoreStep::Kind::Journal:
      case StoreStep::Kind::Seal: {
        const std::uint8_t* bytes = step.kind == StoreStep::Kind::Bytes     ? step.bytes
                                    : step.kind == StoreStep::Kind::Record  ? images.record + step.from
                                    : step.kind == StoreStep::Kind::Journal ? images.journal + step.from
                                                                            : images.seal + step.from;
        error = writeAll(fd, at, bytes, step.length);
        break;
      }
    }
    if (error != 0) {
      result.error = error;
      return DiskOutcome::WriteFailed;
    }
  }
  return plan.count == 0 ? DiskOutcome::Unchanged : DiskOutcome::Written;
}

// What a save of `record` writes on one disk: the journal copy names the
// record it replaces, and the seal vouches for the new one.
struct DiskImages {
  SaveImages images;
  std::uint8_t journal[JournalAreaLength];
  std::uint8_t seal[JournalSealLength];
};
void prepareImages(const SaveImages& record, const DiskBytes& disk, std::size_t area, DiskImages& out) {
  out.images = record;
  out.images.journal = nullptr;
  out.images.seal = nullptr;
  if (area == NoJournalArea) return;
  const std::size_t storeLength = disk.storeLength;
  const std::uint8_t* store = disk.store();
  RecordKey replaced;
  // Only a well-formed record is named: a damaged length word must not let
  // the copy claim bytes its framing does not.
  if (isdCompleteRecord(store, storeLength)) replaced = recordKeyOf(store, storeLength);
  const std::uint32_t length =
      journalEncode(record.record, record.recordLength, record.generation, out.journal, replaced);
  if (length == 0) return;
  journalSealEncode({record.recordLength, journalCrc32(record.record, record.recordLength)},
                    record.generation, out.seal);
  out.images.journal = out.journal;
  out.images.journalLength = length;
  out.images.seal = out.seal;
  out.images.area = area;
  out.images.replaced = replaced;
}

// A journal copy of ours where the disk's layout no longer lets it be
// written: a save there would leave that stale copy to be read while the
// record at 2560 changes, so the disk is refused as the area is. True, with
// `result` filled, when the disk holds one.
bool refuseStaleJournal(const DiskBytes& disk, const JournalAreaVerdicts& verdicts, DiskResult& result) {
  for (std::size_t i = 0; i < JournalAreaCount; ++i) {
    if (verdicts.outcome[i] == DiskOutcome::Written) continue;
    const JournalBytes bytes = journalBytes(disk.view.head, disk.view.headLength, i);
    if (bytes.bytes == nullptr || !journalDecode(bytes.bytes, bytes.length).valid) continue;
    if (verdicts.user[i] != nullptr) std::snprintf(result.user, sizeof result.user, "%s", verdicts.user[i]);
    result.journal = verdicts.outcome[i];
    result.journalArea = i;
    result.outcome = DiskOutcome::RefusedStaleJournal;
    return true;
  }
  return false;
}

// Save `record` to one disk, or without it remove our record from it.
// A plan stops once the guard has agreed and reports the disk as Written.
DiskOutcome storeOnDisk(std::size_t slot, const SaveImages* record, StoreMode mode, DiskResult& result) {
  const int fd = diskTable.slots[slot].descriptor;
  DiskBytes disk;
  if (const int error = readDisk(fd, disk); error != 0) {
    result.error = error;
    return result.outcome = DiskOutcome::ReadFailed;
  }
  const JournalAreaVerdicts verdicts = guardJournalAreas(disk.view);
  const std::size_t area = guardFirstJournalArea(verdicts);
  bool allowed[JournalAreaCount] = {};
  for (std::size_t i = 0; i < JournalAreaCount; ++i) allowed[i] = verdicts.outcome[i] == DiskOutcome::Written;
  if (record != nullptr && refuseStaleJournal(disk, verdicts, result)) return result.outcome;
  DiskImages images;
  if (record != nullptr) prepareImages(*record, disk, area, images);
  const StorePlan plan = record != nullptr ? planSave(disk.view.head, disk.view.headLength, images.images)
                                           : planRemoval(disk.view.head, disk.view.headLength, allowed);
  if (record != nullptr) {
    result.journal = area != NoJournalArea ? DiskOutcome::Written : verdicts.outcome[0];
    result.journalArea = area;
  }
  if (plan.count == 0) return result.outcome = DiskOutcome::Unchanged;
  const DiskOutcome verdict = judge(fd, disk, plan, result);
  if (verdict != DiskOutcome::Written) {
    result.journal = DiskOutcome::NotUsed;
    if (verdict == DiskOutcome::RefusedGpt)
      result.gptRemedyLba = guardGptRemedy(disk.view, plan.claimEnd, &result.gptSectorSize);
    return result.outcome = verdict;
  }
  if (mode == StoreMode::Plan) return result.outcome = DiskOutcome::Written;
  return result.outcome = carryOut(fd, plan, images.images, result);
}

// One more than the highest generation the last load found or any usable
// disk's journal copy or seal holds now.
std::uint64_t nextGeneration() {
  std::uint64_t highest = diskTable.generationSeen;
  std::uint8_t area[JournalAreaLength];
  for (std::size_t slot = 0; slot < diskTable.count; ++slot) {
    if (checkDisk(slot) != 0) continue;
    for (const std::uint32_t offset : JournalAreaOffsets) {
      const long got = platform().readAt(diskTable.slots[slot].descriptor, offset, area, sizeof area);
      if (got <= 0) continue;
      const JournalCopy copy = journalDecode(area, static_cast<std::size_t>(got));
      if (copy.valid) highest = std::max(highest, copy.generation);
      const JournalSeal seal = journalSealOf(area, static_cast<std::size_t>(got));
      if (seal.valid) highest = std::max(highest, seal.generation);
    }
  }
  return highest + 1;
}

int statusOf(DiskOutcome outcome) {
  if (!diskOutcomeFailed(outcome)) return 0;
  switch (outcome) {
    case DiskOutcome::RefusedGpt:
    case DiskOutcome::RefusedBootLoader:
    case DiskOutcome::RefusedFileSystem:
    case DiskOutcome::RefusedForeignData:
    case DiskOutcome::RefusedDiskUser:
    case DiskOutcome::RefusedPartition:
    case DiskOutcome::RefusedTooSmall:
    case DiskOutcome::RefusedStaleJournal: return IsdRefused;
    default: return IsdWriteFailed;
  }
}

// Save `images` to every usable disk, or without images remove our record
// from each. With `failure` set nothing is written and each usable disk is
// noted as failed with it. Every disk is tried; the first failure decides the
// status. A disk named on the command line that cannot be used is noted as
// Unusable and fails the run too.
int storeOnEveryDisk(DiskReport& report, const SaveImages* images, StoreMode mode, int failure = 0) {
  clearReport(report);
  int status = IsdNoDevice;
  bool failed = false;  // a named disk could not be used
  for (std::size_t slot = 0; slot < diskTable.count; ++slot) {
    if (const int why = diskUsability(slot); why != 0) {
      // A disk the administrator named did not get what the run was to
      // write there; the disks the scan found may come and go.
      if (diskTable.slots[slot].origin == DiskOrigin::Named) {
        note(report, slot, DiskOutcome::Unusable, why);
        failed = true;
      }
      continue;
    }
    if (status == IsdNoDevice) status = 0;
    const DiskOutcome outcome = failure != 0 ? note(report, slot, DiskOutcome::WriteFailed, failure)
                                             : storeOnDisk(slot, images, mode, report.disks[slot]);
    if (status == 0) status = statusOf(outcome);
  }
  return status == 0 && failed ? IsdWriteFailed : status;
}

// What the load reads of one usable disk: the bytes at the store offset (the
// header, and as many as the stored total length says when it is a record)
// and the journal area.
struct LoadBytes {
  std::unique_ptr<std::uint8_t[]> store;
  std::unique_ptr<std::uint8_t[]> journal[JournalAreaCount];
};

// 0, or a negative errno when the disk could not be read.
int readForLoad(int fd, LoadBytes& bytes, LoadedDisk& disk) {
  bytes.store.reset(new (std::nothrow) std::uint8_t[IsdHeaderLength]());
  if (!bytes.store) return -ENOMEM;
  const long got = platform().readAt(fd, IsdStoreOffset, bytes.store.get(), IsdHeaderLength);
  if (got < 0) return static_cast<int>(got);
  disk.store = bytes.store.get();
  disk.storeLength = static_cast<std::size_t>(got);
  if (got == static_cast<long>(IsdHeaderLength) &&
      isdSignatureStateOf(disk.store) == IsdSignatureState::Complete) {
    // Never take more than a record can hold, whatever the stored length says.
    const std::size_t wanted = isdStoredLength(disk.store, disk.storeLength);
    if (wanted > IsdHeaderLength) {
      bytes.store.reset(new (std::nothrow) std::uint8_t[wanted]);
      if (!bytes.store) return -ENOMEM;
      const long read = platform().readAt(fd, IsdStoreOffset, bytes.store.get(), wanted);
      if (read < 0) return static_cast<int>(read);
      disk.store = bytes.store.get();
      disk.storeLength = static_cast<std::size_t>(read);
    }
  }
  for (std::size_t area = 0; area < JournalAreaCount; ++area) {
    bytes.journal[area].reset(new (std::nothrow) std::uint8_t[JournalAreaLength]());
    if (!bytes.journal[area]) return -ENOMEM;
    const long journal =
        platform().readAt(fd, JournalAreaOffsets[area], bytes.journal[area].get(), JournalAreaLength);
    if (journal < 0) return static_cast<int>(journal);
    disk.journal[area] = bytes.journal[area].get();
    disk.journalLength[area] = static_cast<std::size_t>(journal);
  }
  return 0;
}

LoadOutcome outcomeOf(const DiskFinding& found, bool chosen, bool fromJournal) {
  switch (found.record) {
    case StoredRecord::Complete:
      return !chosen ? LoadOutcome::NotNeeded : fromJournal ? LoadOutcome::ReadJournal : LoadOutcome::Read;
    case StoredRecord::Damaged:
      return chosen && !fromJournal ? LoadOutcome::ReadDamaged : LoadOutcome::Damaged;
    case StoredRecord::Unfinished: return chosen ? LoadOutcome::ReadJournal : LoadOutcome::Unfinished;
    case StoredRecord::CutShort: return LoadOutcome::CutShort;
    case StoredRecord::NoRecord:
    case StoredRecord::Foreign: break;
  }
  return LoadOutcome::NoRecord;
}

DiskState stateOf(const DiskFinding& found) {
  switch (found.record) {
    case StoredRecord::Complete: return DiskState::Complete;
    case StoredRecord::Damaged: return DiskState::Damaged;
    case StoredRecord::CutShort:
    case StoredRecord::Unfinished: return DiskState::Unfinished;
    case StoredRecord::NoRecord: return DiskState::NoRecord;
    case StoredRecord::Foreign: break;
  }
  return DiskState::Refused;
}

// Every disk of the table as not yet read: absent, or the open failure.
void clearLoadReport(LoadReport& found) {
  found.count = diskTable.count;
  found.source = NoCopy;
  found.fromJournal = found.writtenElsewhere = found.hasGeneration = false;
  found.generation = 0;
  for (std::size_t slot = 0; slot < diskTable.count; ++slot) {
    const DiskSlot& disk = diskTable.slots[slot];
    const bool openFailed = disk.openError != 0;
    found.disks[slot] = {disk.devicePath,
                         disk.origin,
                         openFailed ? LoadOutcome::OpenFailed : LoadOutcome::Absent,
                         disk.openError,
                         openFailed ? DiskState::Unusable : DiskState::Absent,
                         false,
                         0,
                         false};
  }
}

// What the load read from the usable disks of the table.
struct LoadRead {
  LoadBytes bytes[DiskSlotMax];
  LoadedDisk loaded[DiskSlotMax];
  std::size_t slots[DiskSlotMax];  // the table's slot of each disk read
  std::size_t count = 0;
  bool anyUsable = false;
  bool anyReadFailed = false;
};

// Read every usable disk of the table, noting in `found` each that is not
// usable or could not be read. False when memory could not be had.
bool readUsableDisks(LoadReport& found, LoadRead& read) {
  for (std::size_t slot = 0; slot < diskTable.count; ++slot) {
    DiskLoadResult& disk = found.disks[slot];
    if (diskTable.slots[slot].descriptor == NoDescriptor) continue;
    bool sizeFailed = false;
    if (const int why = diskUsability(slot, &sizeFailed); why != 0) {
      if (why == -ENOMEDIUM) continue;  // an empty card reader: no disk
      disk.outcome = LoadOutcome::Unusable;
      disk.state = DiskState::Unusable;
      disk.error = why;
      disk.sizeFailed = sizeFailed;
      continue;
    }
    read.anyUsable = true;
    if (const int error =
            readForLoad(diskTable.slots[slot].descriptor, read.bytes[read.count], read.loaded[read.count]);
        error != 0) {
      if (error == -ENOMEM) return false;
      disk.outcome = LoadOutcome::ReadFailed;
      disk.state = DiskState::Unusable;
      disk.error = error;
      read.anyReadFailed = true;
      continue;
    }
    read.slots[read.count++] = slot;
  }
  return true;
}

// What the choice found on each disk read, into its slot of the report.
void noteFindings(LoadReport& found, const LoadRead& read, const DiskFinding* findings,
                  const LoadChoice& choice) {
  for (std::size_t i = 0; i < read.count; ++i) {
    DiskLoadResult& disk = found.disks[read.slots[i]];
    disk.outcome = outcomeOf(findings[i], choice.disk == i, choice.fromJournal);
    disk.state = stateOf(findings[i]);
    disk.hasGeneration = findings[i].journalValid;
    disk.generation = findings[i].generation;
  }
}

}  // namespace

int isdLoad(ImageSafeDataStruct* record, LoadReport* report) {
  LoadReport local;
  LoadReport& found = report != nullptr ? *report : local;
  clearLoadReport(found);
  if (!isdCreate(record)) return IsdNoMemory;
  LoadRead read;
  if (!readUsableDisks(found, read)) return IsdNoMemory;
  DiskFinding findings[DiskSlotMax];
  const LoadChoice choice = chooseCopy(read.loaded, read.count, findings);
  noteFindings(found, read, findings, choice);
  diskTable.generationSeen = std::max(diskTable.generationSeen, choice.highestGeneration);
  if (choice.disk != NoCopy) {
    isdParse(choice.image, choice.imageLength, record);
    found.source = read.slots[choice.disk];
    found.fromJournal = choice.fromJournal;
    found.writtenElsewhere = choice.writtenElsewhere;
    found.hasGeneration = choice.hasGeneration;
    found.generation = choice.generation;
    return 0;
  }
  if (!read.anyUsable) return IsdNoDevice;
  return read.anyReadFailed ? IsdReadFailed : IsdNoStore;
}

int isdSave(ImageSafeDataStruct* record, DiskReport* report, StoreMode mode) {
  IsdRecordBuffers release(record);
  DiskReport local;
  DiskReport& outcome = report != nullptr ? *report : local;
  const IsdImage image = isdSerialize(record);
  if (!image.bytes) return storeOnEveryDisk(outcome, nullptr, mode, -ENOMEM);
  SaveImages images;
  images.record = image.bytes.get();
  images.recordLength = static_cast<std::uint32_t>(image.length);
  images.generation = nextGeneration();
  return storeOnEveryDisk(outcome, &images, mode);
}

int isdRemove(DiskReport* report, StoreMode mode) {
  DiskReport local;
  return storeOnEveryDisk(report != nullptr ? *report : local, nullptr, mode);
}
