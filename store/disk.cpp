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

void clearReport() {
  for (std::size_t slot = 0; slot < DiskSlotCount; ++slot) {
    diskTable.lastReport.outcome[slot] = DiskOutcome::NotUsed;
    diskTable.lastReport.error[slot] = 0;
  }
}

void report(std::size_t slot, DiskOutcome outcome, int error = 0) {
  diskTable.lastReport.outcome[slot] = outcome;
  diskTable.lastReport.error[slot] = error;
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
DiskOutcome writeStore(std::size_t slot, const std::uint8_t* bytes, std::size_t length) {
  const int fd = diskTable.slots[slot].descriptor;
  int error = 0;
  const DiskOutcome verdict = guardDisk(fd, length, &error);
  if (verdict != DiskOutcome::Written) {
    report(slot, verdict, error);
    return verdict;
  }
  const long put = platform().writeAt(fd, IsdStoreOffset, bytes, length);
  if (put < 0 || static_cast<std::size_t>(put) != length) {
    report(slot, DiskOutcome::WriteFailed, put < 0 ? static_cast<int>(put) : -EIO);
    return DiskOutcome::WriteFailed;
  }
  if (const int synced = platform().sync(fd); synced != 0) {
    report(slot, DiskOutcome::SyncFailed, synced);
    return DiskOutcome::SyncFailed;
  }
  report(slot, DiskOutcome::Written);
  return DiskOutcome::Written;
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
  clearReport();
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
  isdCreate(record);
  for (std::size_t slot = 0; slot < DiskSlotCount; ++slot) {
    if (!usable(slot)) continue;
    const int fd = diskTable.slots[slot].descriptor;
    std::uint8_t header[IsdHeaderLength];
    const long got = platform().readAt(fd, IsdStoreOffset, header, sizeof header);
    // A disk whose header cannot be read is passed over like an unusable one.
    if (got != static_cast<long>(sizeof header)) continue;
    if (std::memcmp(header, IsdSignature, sizeof IsdSignature) != 0) return IsdNoStore;
    // Never take more than a record can hold, whatever the stored length says.
    const std::size_t wanted = std::min<std::size_t>(isdGetU32(header + 8), IsdMaxImageLength);
    std::unique_ptr<std::uint8_t[]> image(new (std::nothrow) std::uint8_t[wanted + 1]);
    if (!image) return 0;
    const long read = platform().readAt(fd, IsdStoreOffset, image.get(), wanted);
    if (read < 0) continue;
    isdParse(image.get(), static_cast<std::size_t>(read), record);
    return 0;
  }
  return IsdNoDevice;
}

int isdSave(ImageSafeDataStruct* record) {
  IsdRecordGuard release(record);
  clearReport();
  const IsdImage image = isdSerialize(record);
  int status = IsdNoDevice;
  for (std::size_t slot = 0; slot < DiskSlotCount; ++slot) {
    if (!usable(slot)) continue;
    if (status == IsdNoDevice) status = 0;
    const DiskOutcome outcome =
        image.bytes ? writeStore(slot, image.bytes.get(), image.length) : DiskOutcome::WriteFailed;
    if (!image.bytes) report(slot, outcome, -ENOMEM);
    // The first failure decides the status; every other disk is still written.
    if (status == 0) status = statusOf(outcome);
  }
  return status;
}

int isdRemove() {
  clearReport();
  const bool sdaUsable = usable(SlotSda);
  const bool hdaUsable = usable(SlotHda);
  if (!sdaUsable && !hdaUsable) return IsdNoDevice;
  const std::size_t slot = sdaUsable ? SlotSda : SlotHda;
  const int fd = diskTable.slots[slot].descriptor;
  std::uint8_t signature[4];
  const long got = platform().readAt(fd, IsdStoreOffset, signature, sizeof signature);
  if (got != static_cast<long>(sizeof signature)) {
    report(slot, DiskOutcome::ReadFailed, got < 0 ? static_cast<int>(got) : -EIO);
    return IsdWriteFailed;
  }
  // Only our own signature is erased; anything else is not ours to touch.
  if (std::memcmp(signature, IsdSignature, sizeof signature) != 0) {
    report(slot, DiskOutcome::Unchanged);
    return 0;
  }
  const std::uint8_t zeros[4] = {};
  return statusOf(writeStore(slot, zeros, sizeof zeros));
}

bool diskOutcomeFailed(DiskOutcome outcome) {
  return outcome != DiskOutcome::NotUsed && outcome != DiskOutcome::Written &&
         outcome != DiskOutcome::Unchanged;
}

const char* diskOutcomeText(DiskOutcome outcome) {
  switch (outcome) {
    case DiskOutcome::NotUsed: return "not used";
    case DiskOutcome::Written: return "written";
    case DiskOutcome::Unchanged: return "no image-safe data present; nothing was written";
    case DiskOutcome::WriteFailed: return "the write failed; the image-safe data was not written completely";
    case DiskOutcome::SyncFailed: return "the written data could not be synced to the disk";
    case DiskOutcome::ReadFailed:
      return "the bytes at 2560 could not be read to check them; nothing was written";
    case DiskOutcome::RefusedGpt:
      return "byte 2560 lies inside the GUID partition table; the image-safe data was not written there";
    case DiskOutcome::RefusedBootLoader:
      return "the boot loader keeps its code in the sectors after the MBR; the image-safe data was not "
             "written there";
    case DiskOutcome::RefusedFileSystem:
      return "the disk holds a file system without a partition table; the image-safe data was not written "
             "there";
    case DiskOutcome::RefusedForeignData:
      return "byte 2560 holds other data; the image-safe data was not written there";
  }
  return "unknown";
}
