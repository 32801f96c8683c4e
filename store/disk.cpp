#include "store/disk.h"

#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "store/format.h"
#include "store/guard.h"

DiskTable diskTable = {};

namespace {

constexpr const char* CandidatePaths[DiskSlotCount] = {
    "/dev/hda", "/dev/hdb", "/dev/hdc", "/dev/hdd", "/dev/sda", "/dev/sdb",
    "/dev/sdc", "/dev/sdd", "/dev/sde", "/dev/sdf", "/dev/sdg", "/dev/sdh",
};
constexpr std::size_t SlotSda = 4;
constexpr std::size_t SlotHda = 0;
constexpr unsigned long LargestBiosDisk = 1024UL * 255 * 63;  // sectors
constexpr std::uint8_t BiosLimitGeometry[4] = {0xFF, 0x3F, 0x00,
                                               0x04};  // 255 heads, 63 sectors, 1024 cylinders
constexpr std::size_t GeometryBufferLength = 64;

DiskPlatform& platform() {
  return diskTable.platform != nullptr ? *diskTable.platform : systemDiskPlatform();
}

bool isIdePath(const char* path) { return strncasecmp(path, "/dev/hd", 7) == 0; }

bool namedByFloppyDrive(const char* path) {
  const char* floppy = std::getenv("FLOPPYDRIVE");
  return floppy != nullptr && strcasecmp(floppy, path) == 0;
}

bool usable(std::size_t slot) { return checkDisk(slot) == 0; }

void clearReport(DiskReport& report) {
  for (std::size_t slot = 0; slot < DiskSlotCount; ++slot)
    report.disks[slot] = {diskTable.slots[slot].devicePath, DiskOutcome::NotUsed, 0};
}

DiskOutcome note(DiskReport& report, std::size_t slot, DiskOutcome outcome, int error = 0) {
  report.disks[slot].outcome = outcome;
  report.disks[slot].error = error;
  return outcome;
}

// Check that the range about to be written belongs to us; Written means go ahead.
DiskOutcome guardDisk(int fd, std::size_t writeLength, int* error) {
  std::unique_ptr<std::uint8_t[]> head(new (std::nothrow) std::uint8_t[GuardSpan]());
  if (!head) {
    *error = -ENOMEM;
    return DiskOutcome::ReadFailed;
  }
  const long got = platform().readAt(fd, 0, head.get(), GuardSpan);
  if (got < 0 || static_cast<std::size_t>(got) < IsdStoreOffset) {
    *error = got < 0 ? static_cast<int>(got) : -EIO;
    return DiskOutcome::ReadFailed;
  }
  int sectorSize = 0;
  if (platform().logicalSectorSize(fd, &sectorSize) != 0 || sectorSize < 0) sectorSize = 0;
  return guardStoreRange(head.get(), static_cast<std::size_t>(got), writeLength,
                         static_cast<std::uint32_t>(sectorSize));
}

// Write `length` bytes at the store offset and sync, after the guard agreed.
DiskOutcome writeStore(DiskReport& report, std::size_t slot, const std::uint8_t* bytes, std::size_t length) {
  const int fd = diskTable.slots[slot].descriptor;
  int error = 0;
  const DiskOutcome verdict = guardDisk(fd, length, &error);
  if (verdict != DiskOutcome::Written) return note(report, slot, verdict, error);
  const long put = platform().writeAt(fd, IsdStoreOffset, bytes, length);
  if (put < 0 || static_cast<std::size_t>(put) != length)
    return note(report, slot, DiskOutcome::WriteFailed, put < 0 ? static_cast<int>(put) : -EIO);
  if (const int synced = platform().sync(fd); synced != 0)
    return note(report, slot, DiskOutcome::SyncFailed, synced);
  return note(report, slot, DiskOutcome::Written);
}

int statusOf(DiskOutcome outcome) {
  if (!diskOutcomeFailed(outcome)) return 0;
  switch (outcome) {
    case DiskOutcome::RefusedGpt:
    case DiskOutcome::RefusedBootLoader:
    case DiskOutcome::RefusedFileSystem:
    case DiskOutcome::RefusedForeignData: return IsdRefused;
    default: return IsdWriteFailed;
  }
}

}  // namespace

void scanDisks() { scanDisks(systemDiskPlatform()); }

void scanDisks(DiskPlatform& diskPlatform) {
  diskTable.platform = &diskPlatform;
  for (std::size_t slot = 0; slot < DiskSlotCount; ++slot) {
    DiskSlot& disk = diskTable.slots[slot];
    disk.devicePath = CandidatePaths[slot];
    disk.descriptor = NoDescriptor;
    if (isCdromDrive(disk.devicePath) || namedByFloppyDrive(disk.devicePath)) continue;
    const int fd = diskPlatform.openDevice(disk.devicePath);
    if (fd < 0) continue;
    disk.descriptor = fd;
    checkDisk(slot);  // the first check primes the drive; its answer is asked again at each use
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

int checkDisk(std::size_t slot) {
  if (slot >= DiskSlotCount) return IsdNoDevice;
  const DiskSlot& disk = diskTable.slots[slot];
  if (disk.descriptor == NoDescriptor) return IsdNoDevice;
  unsigned long sectors = 0;
  if (platform().sizeInSectors(disk.descriptor, &sectors) != 0) return IsdNoDevice;
  std::uint8_t geometry[GeometryBufferLength] = {};
  if (isIdePath(disk.devicePath)) {
    if (platform().ideGeometry(disk.descriptor, geometry) != 0) return IsdNoDevice;
    const bool none = isdGetU32(geometry) == 0;
    const bool biosLimit = std::memcmp(geometry, BiosLimitGeometry, 4) == 0;
    if (!none && !biosLimit && sectors <= LargestBiosDisk) return 0;
  }
  return platform().driveGeometry(disk.descriptor, geometry) == 0 ? 0 : IsdNoDevice;
}

int isdLoad(ImageSafeDataStruct* record) {
  if (!isdCreate(record)) return IsdNoMemory;
  for (std::size_t slot = 0; slot < DiskSlotCount; ++slot) {
    if (!usable(slot)) continue;
    const int fd = diskTable.slots[slot].descriptor;
    std::uint8_t header[IsdHeaderLength];
    const long got = platform().readAt(fd, IsdStoreOffset, header, sizeof header);
    // A disk whose header cannot be read is passed over like an unusable one.
    if (got != static_cast<long>(sizeof header)) continue;
    if (std::memcmp(header, IsdSignature, sizeof IsdSignature) != 0) return IsdNoStore;
    // Never take more than a record can hold, whatever the stored length says.
    const std::size_t wanted =
        std::min<std::size_t>(isdGetU32(header + IsdTotalLengthOffset), IsdMaxImageLength);
    std::unique_ptr<std::uint8_t[]> image(new (std::nothrow) std::uint8_t[wanted + 1]);
    if (!image) return IsdNoMemory;
    const long read = platform().readAt(fd, IsdStoreOffset, image.get(), wanted);
    if (read < 0) continue;
    isdParse(image.get(), static_cast<std::size_t>(read), record);
    return 0;
  }
  return IsdNoDevice;
}

int isdSave(ImageSafeDataStruct* record, DiskReport* report) {
  IsdRecordGuard release(record);
  DiskReport local;
  DiskReport& outcome = report != nullptr ? *report : local;
  clearReport(outcome);
  const IsdImage image = isdSerialize(record);
  int status = IsdNoDevice;
  for (std::size_t slot = 0; slot < DiskSlotCount; ++slot) {
    if (!usable(slot)) continue;
    if (status == IsdNoDevice) status = 0;
    const DiskOutcome written = image.bytes ? writeStore(outcome, slot, image.bytes.get(), image.length)
                                            : note(outcome, slot, DiskOutcome::WriteFailed, -ENOMEM);
    // The first failure decides the status; every other disk is still written.
    if (status == 0) status = statusOf(written);
  }
  return status;
}

int isdSave(ImageSafeDataStruct* record) { return isdSave(record, nullptr); }

int isdRemove(DiskReport* report) {
  DiskReport local;
  DiskReport& outcome = report != nullptr ? *report : local;
  clearReport(outcome);
  const bool sdaUsable = usable(SlotSda);
  const bool hdaUsable = usable(SlotHda);
  if (!sdaUsable && !hdaUsable) return IsdNoDevice;
  const std::size_t slot = sdaUsable ? SlotSda : SlotHda;
  const int fd = diskTable.slots[slot].descriptor;
  std::uint8_t signature[4];
  const long got = platform().readAt(fd, IsdStoreOffset, signature, sizeof signature);
  if (got != static_cast<long>(sizeof signature)) {
    note(outcome, slot, DiskOutcome::ReadFailed, got < 0 ? static_cast<int>(got) : -EIO);
    return IsdWriteFailed;
  }
  // Only our own signature is erased; anything else is not ours to touch.
  if (std::memcmp(signature, IsdSignature, sizeof signature) != 0) {
    note(outcome, slot, DiskOutcome::Unchanged);
    return 0;
  }
  const std::uint8_t zeros[4] = {};
  return statusOf(writeStore(outcome, slot, zeros, sizeof zeros));
}

int isdRemove() { return isdRemove(nullptr); }
