#include "store/disk.h"

#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <string_view>
#include <thread>

#include "store/format.h"
#include "store/guard.h"
#include "store/journal.h"
#include "store/loadchoice.h"
#include "store/saveplan.h"

DiskTable diskTable = {};

namespace {

constexpr const char* CandidatePaths[DiskSlotCount] = {
    "/dev/hda", "/dev/hdb", "/dev/hdc", "/dev/hdd", "/dev/sda", "/dev/sdb",
    "/dev/sdc", "/dev/sdd", "/dev/sde", "/dev/sdf", "/dev/sdg", "/dev/sdh",
};
constexpr unsigned long LargestBiosDisk = 1024UL * 255 * 63;  // sectors
constexpr std::uint8_t BiosLimitGeometry[4] = {0xFF, 0x3F, 0x00,
                                               0x04};  // 255 heads, 63 sectors, 1024 cylinders
constexpr std::size_t GeometryBufferLength = 64;
constexpr std::size_t ZeroBlockLength = 4096;
constexpr auto LockRetryPause = std::chrono::milliseconds(25);

DiskPlatform& platform() {
  return diskTable.platform != nullptr ? *diskTable.platform : systemDiskPlatform();
}

bool isIdePath(const char* path) { return strncasecmp(path, "/dev/hd", 7) == 0; }

bool namedByFloppyDrive(const char* path) {
  const char* floppy = std::getenv("FLOPPYDRIVE");
  return floppy != nullptr && strcasecmp(floppy, path) == 0;
}

// 0 when the disk in `slot` is usable, else why not (a negative errno);
// `*sizeFailed` tells whether it was the size request that failed.
int usability(std::size_t slot, bool* sizeFailed = nullptr) {
  if (sizeFailed != nullptr) *sizeFailed = false;
  if (slot >= diskTable.count) return -ENODEV;
  const DiskSlot& disk = diskTable.slots[slot];
  if (disk.descriptor == NoDescriptor) return disk.openError != 0 ? disk.openError : -ENODEV;
  unsigned long sectors = 0;
  if (const int size = platform().sizeInSectors(disk.descriptor, &sectors); size != 0) {
    // A named raw disk image answers no block-device request; opened for
    // reading and writing, it is usable as it stands.
    std::uint64_t bytes = 0;
    if (disk.origin == DiskOrigin::Named && size == -ENOTTY)
      return platform().regularFileSize(disk.descriptor, &bytes);
    if (sizeFailed != nullptr) *sizeFailed = size != -ENOTTY;
    return size == -ENOTTY ? -ENOTBLK : size;
  }
  std::uint8_t geometry[GeometryBufferLength] = {};
  if (isIdePath(disk.devicePath)) {
    if (const int ide = platform().ideGeometry(disk.descriptor, geometry); ide != 0) return ide;
    const bool none = isdGetU32(geometry) == 0;
    const bool biosLimit = std::memcmp(geometry, BiosLimitGeometry, 4) == 0;
    if (!none && !biosLimit && sectors <= LargestBiosDisk) return 0;
  }
  return platform().driveGeometry(disk.descriptor, geometry);
}

bool usable(std::size_t slot) { return usability(slot) == 0; }

// The device's size in bytes: the kernel's for a block device, the file's for
// a disk image. 0 or a negative errno.
int deviceBytes(int fd, std::uint64_t* bytes) {
  unsigned long sectors = 0;
  const int size = platform().sizeInSectors(fd, &sectors);
  if (size == 0) {
    *bytes = std::uint64_t{sectors} * 512;
    return 0;
  }
  return size == -ENOTTY ? platform().regularFileSize(fd, bytes) : size;
}

// Open errors that mean there is no such device, or no medium in it.
bool absentDevice(int error) {
  return error == -ENOENT || error == -ENXIO || error == -ENODEV || error == -ENOMEDIUM;
}

int readError(long got) { return got < 0 ? static_cast<int>(got) : -EIO; }

void clearReport(DiskReport& report) {
  report.count = diskTable.count;
  for (std::size_t slot = 0; slot < diskTable.count; ++slot)
    report.disks[slot] = {
        diskTable.slots[slot].devicePath, DiskOutcome::NotUsed, 0, {}, DiskOutcome::NotUsed};
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
  if (const int size = deviceBytes(fd, &disk.view.deviceBytes); size != 0) return size;
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

int writeZeros(int fd, std::uint64_t offset, std::size_t length) {
  static const std::uint8_t zeros[ZeroBlockLength] = {};
  for (std::size_t done = 0; done < length;) {
    const std::size_t part = std::min(length - done, ZeroBlockLength);
    const long put = platform().writeAt(fd, offset + done, zeros, part);
    if (put < 0 || static_cast<std::size_t>(put) != part) return put < 0 ? static_cast<int>(put) : -EIO;
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
      case StoreStep::Kind::Journal: {
        const std::uint8_t* bytes = step.kind == StoreStep::Kind::Bytes    ? step.bytes
                                    : step.kind == StoreStep::Kind::Record ? images.record + step.from
                                                                           : images.journal + step.from;
        const long put = platform().writeAt(fd, at, bytes, step.length);
        if (put < 0 || static_cast<std::size_t>(put) != step.length)
          error = put < 0 ? static_cast<int>(put) : -EIO;
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

// Save `images` to one disk, or without images remove our record from it.
// A plan stops once the guard has agreed and reports the disk as Written.
DiskOutcome storeOnDisk(std::size_t slot, const SaveImages* images, StoreMode mode, DiskResult& result) {
  const int fd = diskTable.slots[slot].descriptor;
  DiskBytes disk;
  if (const int error = readDisk(fd, disk); error != 0) {
    result.error = error;
    return result.outcome = DiskOutcome::ReadFailed;
  }
  const char* journalUser = nullptr;
  const DiskOutcome journalVerdict = guardJournalArea(disk.view, &journalUser);
  const bool journal = journalVerdict == DiskOutcome::Written;
  // A journal copy of ours where the disk's layout no longer lets it be
  // written: a save there would leave that stale copy to be read while the
  // record at 2560 changes, so the disk is refused as the area is.
  if (images != nullptr && !journal && journalOf(disk.view.head, disk.view.headLength).valid) {
    if (journalUser != nullptr) std::snprintf(result.user, sizeof result.user, "%s", journalUser);
    return result.outcome = journalVerdict;
  }
  SaveImages written = images != nullptr ? *images : SaveImages{};
  if (!journal) written.journal = nullptr;
  const StorePlan plan = images != nullptr ? planSave(disk.view.head, disk.view.headLength, written)
                                           : planRemoval(disk.view.head, disk.view.headLength, journal);
  if (images != nullptr) result.journal = images->journal != nullptr ? journalVerdict : DiskOutcome::NotUsed;
  if (plan.count == 0) return result.outcome = DiskOutcome::Unchanged;
  const DiskOutcome verdict = judge(fd, disk, plan, result);
  if (verdict != DiskOutcome::Written) {
    result.journal = DiskOutcome::NotUsed;
    return result.outcome = verdict;
  }
  if (mode == StoreMode::Plan) return result.outcome = DiskOutcome::Written;
  return result.outcome = carryOut(fd, plan, written, result);
}

// One more than the highest generation the last load found or any usable
// disk's journal copy holds now.
std::uint64_t nextGeneration() {
  std::uint64_t highest = diskTable.generationSeen;
  std::uint8_t area[JournalAreaLength];
  for (std::size_t slot = 0; slot < diskTable.count; ++slot) {
    if (!usable(slot)) continue;
    const long got = platform().readAt(diskTable.slots[slot].descriptor, JournalOffset, area, sizeof area);
    if (got <= 0) continue;
    const JournalCopy copy = journalDecode(area, static_cast<std::size_t>(got));
    if (copy.valid) highest = std::max(highest, copy.generation);
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
    case DiskOutcome::RefusedTooSmall: return IsdRefused;
    default: return IsdWriteFailed;
  }
}

// Save `images` to every usable disk, or without images remove our record
// from each. With `failure` set nothing is written and each usable disk is
// noted as failed with it. Every disk is tried; the first failure decides the
// status.
int storeOnEveryDisk(DiskReport& report, const SaveImages* images, StoreMode mode, int failure = 0) {
  clearReport(report);
  int status = IsdNoDevice;
  for (std::size_t slot = 0; slot < diskTable.count; ++slot) {
    if (!usable(slot)) continue;
    if (status == IsdNoDevice) status = 0;
    const DiskOutcome outcome = failure != 0 ? note(report, slot, DiskOutcome::WriteFailed, failure)
                                             : storeOnDisk(slot, images, mode, report.disks[slot]);
    if (status == 0) status = statusOf(outcome);
  }
  return status;
}

// What the load reads of one usable disk: the bytes at the store offset (the
// header, and as many as the stored total length says when it is a record)
// and the journal area.
struct LoadBytes {
  std::unique_ptr<std::uint8_t[]> store;
  std::unique_ptr<std::uint8_t[]> journal;
};

// 0, or a negative errno when the disk could not be read.
int readForLoad(int fd, LoadBytes& bytes, LoadedDisk& disk) {
  bytes.store.reset(new (std::nothrow) std::uint8_t[IsdHeaderLength]());
  bytes.journal.reset(new (std::nothrow) std::uint8_t[JournalAreaLength]());
  if (!bytes.store || !bytes.journal) return -ENOMEM;
  const long got = platform().readAt(fd, IsdStoreOffset, bytes.store.get(), IsdHeaderLength);
  if (got < 0) return static_cast<int>(got);
  disk.store = bytes.store.get();
  disk.storeLength = static_cast<std::size_t>(got);
  if (got == static_cast<long>(IsdHeaderLength) && isdSlotOf(disk.store) == IsdSlot::Complete) {
    // Never take more than a record can hold, whatever the stored length says.
    const std::size_t wanted =
        std::min<std::size_t>(isdGetU32(disk.store + IsdTotalLengthOffset), IsdMaxImageLength);
    if (wanted > IsdHeaderLength) {
      bytes.store.reset(new (std::nothrow) std::uint8_t[wanted]);
      if (!bytes.store) return -ENOMEM;
      const long read = platform().readAt(fd, IsdStoreOffset, bytes.store.get(), wanted);
      if (read < 0) return static_cast<int>(read);
      disk.store = bytes.store.get();
      disk.storeLength = static_cast<std::size_t>(read);
    }
  }
  const long journal = platform().readAt(fd, JournalOffset, bytes.journal.get(), JournalAreaLength);
  if (journal < 0) return static_cast<int>(journal);
  disk.journal = bytes.journal.get();
  disk.journalLength = static_cast<std::size_t>(journal);
  return 0;
}

LoadOutcome outcomeOf(const DiskFinding& found, bool chosen) {
  switch (found.record) {
    case StoredRecord::Complete: return chosen ? LoadOutcome::Read : LoadOutcome::NotNeeded;
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
    case StoredRecord::CutShort:
    case StoredRecord::Unfinished: return DiskState::Unfinished;
    case StoredRecord::NoRecord: return DiskState::NoRecord;
    case StoredRecord::Foreign: break;
  }
  return DiskState::Refused;
}

// Open `path` into the next slot, unless it is to be skipped. A device that is
// not there leaves the slot without a descriptor and without a complaint,
// unless it was named.
void addDisk(const char* path, DiskOrigin origin, bool skip) {
  DiskSlot& disk = diskTable.slots[diskTable.count++];
  disk = {path, NoDescriptor, 0, origin};
  if (skip) return;
  const int fd = platform().openDevice(path, diskTable.access);
  if (fd < 0) {
    if (origin == DiskOrigin::Named || !absentDevice(fd)) disk.openError = fd;
    return;
  }
  disk.descriptor = fd;
  usability(diskTable.count - 1);  // the first check primes the drive; its answer is asked again at each use
}

// True when the disk in `slot` is open on the same file as an earlier slot.
bool namedBefore(std::size_t slot) {
  std::uint64_t device = 0, inode = 0, otherDevice = 0, otherInode = 0;
  const int fd = diskTable.slots[slot].descriptor;
  if (fd == NoDescriptor || platform().fileIdentity(fd, &device, &inode) != 0) return false;
  for (std::size_t other = 0; other < slot; ++other) {
    const int otherFd = diskTable.slots[other].descriptor;
    if (otherFd != NoDescriptor && platform().fileIdentity(otherFd, &otherDevice, &otherInode) == 0 &&
        otherDevice == device && otherInode == inode)
      return true;
  }
  return false;
}

// The groups of whole disks taken beyond the fixed candidates, in their order.
enum class ExtraGroup { Nvme, Virtio, Xen, Scsi, None };

struct ExtraName {
  ExtraGroup group = ExtraGroup::None;
  unsigned long first = 0, second = 0;  // NVMe controller and namespace
  std::size_t letters = 0;              // where the letters after vd, xvd or sd start
  char name[DiskNameMax] = {};
};

bool allOf(const char* text, bool (*accept)(char)) {
  if (*text == '\0') return false;
  for (; *text != '\0'; ++text)
    if (!accept(*text)) return false;
  return true;
}
bool isLetter(char c) { return c >= 'a' && c <= 'z'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// nvme<c>n<n> only: partitions (nvme0n1p1) and the hidden paths of a
// multipath namespace (nvme0c0n1) are no whole disks of their own.
bool parseNvme(const char* rest, ExtraName& out) {
  const char* n = std::strchr(rest, 'n');
  if (n == nullptr) return false;
  const std::string_view controller(rest, static_cast<std::size_t>(n - rest));
  if (controller.empty() || controller.size() > 9 || !allOf(n + 1, isDigit) || std::strlen(n + 1) > 9)
    return false;
  for (char c : controller)
    if (!isDigit(c)) return false;
  out.first = std::strtoul(rest, nullptr, 10);
  out.second = std::strtoul(n + 1, nullptr, 10);
  return true;
}

ExtraName classify(const char* name) {
  ExtraName out;
  if (std::strlen(name) >= DiskNameMax) return out;
  std::memcpy(out.name, name, std::strlen(name) + 1);  // fits: checked above
  const auto letters = [&](std::size_t prefix, ExtraGroup group) {
    if (allOf(out.name + prefix, isLetter)) {
      out.group = group;
      out.letters = prefix;
    }
  };
  if (std::strncmp(name, "nvme", 4) == 0) {
    if (parseNvme(name + 4, out)) out.group = ExtraGroup::Nvme;
  } else if (std::strncmp(name, "vd", 2) == 0) {
    letters(2, ExtraGroup::Virtio);
  } else if (std::strncmp(name, "xvd", 3) == 0) {
    letters(3, ExtraGroup::Xen);
  } else if (std::strncmp(name, "sd", 2) == 0) {
    letters(2, ExtraGroup::Scsi);
    // sda to sdh are fixed candidates already.
    if (out.group == ExtraGroup::Scsi && std::strlen(out.name) == 3 && out.name[2] <= 'h')
      out.group = ExtraGroup::None;
  }
  return out;
}

// The kernel's naming order: shorter letter runs first (sdz before sdaa).
bool before(const ExtraName& a, const ExtraName& b) {
  if (a.group != b.group) return a.group < b.group;
  if (a.group == ExtraGroup::Nvme) return a.first != b.first ? a.first < b.first : a.second < b.second;
  const char* lettersA = a.name + a.letters;
  const char* lettersB = b.name + b.letters;
  const std::size_t lengthA = std::strlen(lettersA), lengthB = std::strlen(lettersB);
  return lengthA != lengthB ? lengthA < lengthB : std::strcmp(lettersA, lettersB) < 0;
}

struct ExtraList {
  ExtraName names[DiskSlotMax - DiskSlotCount];
  std::size_t count = 0;
};

void collectExtra(void* context, const char* name) {
  auto& list = *static_cast<ExtraList*>(context);
  const ExtraName extra = classify(name);
  if (extra.group == ExtraGroup::None || list.count == std::size(list.names)) return;
  list.names[list.count++] = extra;
}

void addExtraDisks() {
  ExtraList list;
  if (platform().listBlockDevices(collectExtra, &list) != 0) return;
  std::sort(list.names, list.names + list.count, before);
  for (std::size_t i = 0; i < list.count && diskTable.count < DiskSlotMax; ++i) {
    char* path = diskTable.extraPaths[diskTable.count];
    std::snprintf(path, sizeof diskTable.extraPaths[0], "/dev/%s", list.names[i].name);
    addDisk(path, DiskOrigin::Extra, namedByFloppyDrive(path));
  }
}

}  // namespace

void scanDisks(DiskAccess access) { scanDisks(systemDiskPlatform(), access); }

void scanDisks(DiskPlatform& diskPlatform, DiskAccess access) {
  diskTable.platform = &diskPlatform;
  diskTable.access = access;
  diskTable.count = 0;
  diskTable.generationSeen = 0;
  for (const char* path : CandidatePaths)
    addDisk(path, DiskOrigin::Fixed, isCdromDrive(path) || namedByFloppyDrive(path));
  for (std::size_t slot = 0; slot < DiskSlotCount; ++slot)
    if (usable(slot)) return;
  addExtraDisks();
}

void scanNamedDisks(const char* const* paths, std::size_t count, DiskAccess access) {
  scanNamedDisks(systemDiskPlatform(), paths, count, access);
}

void scanNamedDisks(DiskPlatform& diskPlatform, const char* const* paths, std::size_t count,
                    DiskAccess access) {
  diskTable.platform = &diskPlatform;
  diskTable.access = access;
  diskTable.count = 0;
  diskTable.generationSeen = 0;
  for (std::size_t i = 0; i < count && i < DiskSlotMax; ++i) {
    addDisk(paths[i], DiskOrigin::Named, false);
    // A disk named twice (or by two names) is used once: a second descriptor
    // could never take the lock the first one holds.
    if (namedBefore(diskTable.count - 1)) --diskTable.count;
  }
}

bool isCdromDrive(const char* path) {
  if (std::strncmp(path, "/dev/hd", 7) != 0) return false;
  char mediaPath[64];
  std::snprintf(mediaPath, sizeof mediaPath, "/proc/ide/%s/media", path + 5);
  char line[100];
  if (platform().readFirstLine(mediaPath, line, sizeof line) != 0) return false;
  return std::strncmp(line, "cdrom", 5) == 0;
}

int checkDisk(std::size_t slot) { return usable(slot) ? 0 : IsdNoDevice; }

int lockDisks(DeviceLock lock, unsigned waitMilliseconds, std::size_t* busySlot, int* error) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMilliseconds);
  for (;;) {
    std::size_t slot = 0;
    int refused = 0;
    for (; slot < diskTable.count; ++slot) {
      const int fd = diskTable.slots[slot].descriptor;
      if (fd == NoDescriptor) continue;
      if ((refused = platform().lockDevice(fd, lock)) != 0) break;
    }
    if (slot == diskTable.count) return 0;
    unlockDisks();
    *busySlot = slot;
    *error = refused;
    if (std::chrono::steady_clock::now() + LockRetryPause > deadline) return IsdLockTimeout;
    std::this_thread::sleep_for(LockRetryPause);
  }
}

void unlockDisks() {
  for (std::size_t slot = 0; slot < diskTable.count; ++slot) {
    const int fd = diskTable.slots[slot].descriptor;
    if (fd != NoDescriptor) platform().lockDevice(fd, DeviceLock::Release);
  }
}

int isdLoad(ImageSafeDataStruct* record, LoadReport* report) {
  LoadReport local;
  LoadReport& found = report != nullptr ? *report : local;
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
  if (!isdCreate(record)) return IsdNoMemory;
  bool anyUsable = false;
  bool anyReadFailed = false;
  LoadBytes bytes[DiskSlotMax];
  LoadedDisk loaded[DiskSlotMax];
  std::size_t slots[DiskSlotMax];
  std::size_t readCount = 0;
  for (std::size_t slot = 0; slot < diskTable.count; ++slot) {
    DiskLoadResult& disk = found.disks[slot];
    if (diskTable.slots[slot].descriptor == NoDescriptor) continue;
    bool sizeFailed = false;
    if (const int why = usability(slot, &sizeFailed); why != 0) {
      if (why == -ENOMEDIUM) continue;  // an empty card reader: no disk
      disk.outcome = LoadOutcome::Unusable;
      disk.state = DiskState::Unusable;
      disk.error = why;
      disk.sizeFailed = sizeFailed;
      continue;
    }
    anyUsable = true;
    if (const int error = readForLoad(diskTable.slots[slot].descriptor, bytes[readCount], loaded[readCount]);
        error != 0) {
      if (error == -ENOMEM) return IsdNoMemory;
      disk.outcome = LoadOutcome::ReadFailed;
      disk.state = DiskState::Unusable;
      disk.error = error;
      anyReadFailed = true;
      continue;
    }
    slots[readCount++] = slot;
  }
  DiskFinding findings[DiskSlotMax];
  const LoadChoice choice = chooseCopy(loaded, readCount, findings);
  for (std::size_t i = 0; i < readCount; ++i) {
    DiskLoadResult& disk = found.disks[slots[i]];
    disk.outcome = outcomeOf(findings[i], choice.disk == i);
    disk.state = stateOf(findings[i]);
    disk.hasGeneration = findings[i].journalValid;
    disk.generation = findings[i].generation;
  }
  diskTable.generationSeen = std::max(diskTable.generationSeen, choice.highestGeneration);
  if (choice.disk != NoCopy) {
    isdParse(choice.image, choice.imageLength, record);
    found.source = slots[choice.disk];
    found.fromJournal = choice.fromJournal;
    found.writtenElsewhere = choice.writtenElsewhere;
    found.hasGeneration = choice.hasGeneration;
    found.generation = choice.generation;
    return 0;
  }
  if (!anyUsable) return IsdNoDevice;
  return anyReadFailed ? IsdReadFailed : IsdNoStore;
}

int isdLoad(ImageSafeDataStruct* record) { return isdLoad(record, nullptr); }

int isdSave(ImageSafeDataStruct* record, DiskReport* report, StoreMode mode) {
  IsdRecordGuard release(record);
  DiskReport local;
  DiskReport& outcome = report != nullptr ? *report : local;
  const IsdImage image = isdSerialize(record);
  if (!image.bytes) return storeOnEveryDisk(outcome, nullptr, mode, -ENOMEM);
  std::uint8_t journal[JournalAreaLength];
  SaveImages images;
  images.record = image.bytes.get();
  images.recordLength = static_cast<std::uint32_t>(image.length);
  images.journalLength = journalEncode(images.record, images.recordLength, nextGeneration(), journal);
  if (images.journalLength != 0) images.journal = journal;
  return storeOnEveryDisk(outcome, &images, mode);
}

int isdSave(ImageSafeDataStruct* record) { return isdSave(record, nullptr); }

int isdRemove(DiskReport* report, StoreMode mode) {
  DiskReport local;
  return storeOnEveryDisk(report != nullptr ? *report : local, nullptr, mode);
}

int isdRemove() { return isdRemove(nullptr); }
