#include "store/disk_table.h"

#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <thread>

#include "store/bytes.h"
#include "store/record.h"

DiskTable diskTable = {};

namespace {

constexpr std::uint64_t LargestBiosDisk = std::uint64_t{1024} * 255 * 63 * 512;  // bytes
constexpr std::uint8_t BiosLimitGeometry[4] = {0xFF, 0x3F, 0x00,
                                               0x04};  // 255 heads, 63 sectors, 1024 cylinders
constexpr std::size_t GeometryBufferLength = 64;
constexpr auto LockRetryPause = std::chrono::milliseconds(25);

bool namedByFloppyDrive(const char* path) {
  const char* floppy = std::getenv("FLOPPYDRIVE");
  return floppy != nullptr && strcasecmp(floppy, path) == 0;
}

// Open errors that mean there is no such device, or no medium in it.
bool absentDevice(int error) {
  return error == -ENOENT || error == -ENXIO || error == -ENODEV || error == -ENOMEDIUM;
}

// Open `path` into the next slot, unless it is to be skipped. A device that is
// not there leaves the slot without a descriptor and without a complaint,
// unless it was named.
void addDisk(const char* path, DiskOrigin origin, bool skip) {
  DiskSlot& disk = diskTable.slots[diskTable.count++];
  disk = {path, NoDescriptor, 0, origin};
  if (skip) return;
  const int fd = tablePlatform().openDevice(path, diskTable.access);
  if (fd < 0) {
    if (origin == DiskOrigin::Named || !absentDevice(fd)) disk.openError = fd;
    return;
  }
  disk.descriptor = fd;
  diskUsability(diskTable.count -
                1);  // the first check primes the drive; its answer is asked again at each use
}

// True when the disk in `slot` is open on the same file as an earlier slot.
bool namedBefore(std::size_t slot) {
  std::uint64_t device = 0, inode = 0, otherDevice = 0, otherInode = 0;
  const int fd = diskTable.slots[slot].descriptor;
  if (fd == NoDescriptor || tablePlatform().fileIdentity(fd, &device, &inode) != 0) return false;
  for (std::size_t other = 0; other < slot; ++other) {
    const int otherFd = diskTable.slots[other].descriptor;
    if (otherFd != NoDescriptor && tablePlatform().fileIdentity(otherFd, &otherDevice, &otherInode) == 0 &&
        otherDevice == device && otherInode == inode)
      return true;
  }
  return false;
}

struct ExtraList {
  ExtraName names[DiskSlotMax - DiskSlotCount];
  std::size_t count = 0;
};

void collectExtra(void* context, const char* name) {
  auto& list = *static_cast<ExtraList*>(context);
  const ExtraName extra = classifyDiskName(name);
  if (extra.group == ExtraGroup::None || list.count == std::size(list.names)) return;
  list.names[list.count++] = extra;
}

void addExtraDisks() {
  ExtraList list;
  if (tablePlatform().listBlockDevices(collectExtra, &list) != 0) return;
  std::sort(list.names, list.names + list.count, diskNameBefore);
  for (std::size_t i = 0; i < list.count && diskTable.count < DiskSlotMax; ++i) {
    char* path = diskTable.extraPaths[diskTable.count];
    std::snprintf(path, sizeof diskTable.extraPaths[0], "/dev/%s", list.names[i].name);
    addDisk(path, DiskOrigin::Extra, namedByFloppyDrive(path));
  }
}

}  // namespace

DiskPlatform& tablePlatform() {
  return diskTable.platform != nullptr ? *diskTable.platform : systemDiskPlatform();
}

int diskUsability(std::size_t slot, bool* sizeFailed) {
  if (sizeFailed != nullptr) *sizeFailed = false;
  if (slot >= diskTable.count) return -ENODEV;
  const DiskSlot& disk = diskTable.slots[slot];
  if (disk.descriptor == NoDescriptor) return disk.openError != 0 ? disk.openError : -ENODEV;
  std::uint64_t deviceBytes = 0;
  if (const int size = tablePlatform().sizeInBytes(disk.descriptor, &deviceBytes); size != 0) {
    // A named raw disk image answers no block-device request; opened for
    // reading and writing, it is usable as it stands.
    std::uint64_t bytes = 0;
    if (disk.origin == DiskOrigin::Named && size == -ENOTTY)
      return tablePlatform().regularFileSize(disk.descriptor, &bytes);
    if (sizeFailed != nullptr) *sizeFailed = size != -ENOTTY;
    return size == -ENOTTY ? -ENOTBLK : size;
  }
  std::uint8_t geometry[GeometryBufferLength] = {};
  if (isIdePath(disk.devicePath)) {
    if (const int ide = tablePlatform().ideGeometry(disk.descriptor, geometry); ide != 0) return ide;
    const bool none = isdGetU32(geometry) == 0;
    const bool biosLimit = std::memcmp(geometry, BiosLimitGeometry, sizeof BiosLimitGeometry) == 0;
    if (!none && !biosLimit && deviceBytes <= LargestBiosDisk) return 0;
  }
  return tablePlatform().driveGeometry(disk.descriptor, geometry);
}

int diskDeviceBytes(int fd, std::uint64_t* bytes) {
  const int size = tablePlatform().sizeInBytes(fd, bytes);
  if (size == 0) return 0;
  return size == -ENOTTY ? tablePlatform().regularFileSize(fd, bytes) : size;
}

void scanDisks(DiskAccess access) { scanDisks(systemDiskPlatform(), access); }

void scanDisks(DiskPlatform& diskPlatform, DiskAccess access) {
  diskTable.platform = &diskPlatform;
  diskTable.access = access;
  diskTable.count = 0;
  diskTable.generationSeen = 0;
  for (const char* path : FixedDiskPaths)
    addDisk(path, DiskOrigin::Fixed, isCdromDrive(path) || namedByFloppyDrive(path));
  for (std::size_t slot = 0; slot < DiskSlotCount; ++slot)
    if (checkDisk(slot) == 0) return;
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
  if (tablePlatform().readFirstLine(mediaPath, line, sizeof line) != 0) return false;
  return std::strncmp(line, "cdrom", 5) == 0;
}

int checkDisk(std::size_t slot) { return diskUsability(slot) == 0 ? 0 : IsdNoDevice; }

namespace {

// Lock (or, with a release, unlock) every opened disk of the table in table
// order; stops at the first that refuses: 0, or its error with `*slot` it.
int lockEach(DeviceLock lock, std::size_t* slot) {
  for (*slot = 0; *slot < diskTable.count; ++*slot) {
    const int fd = diskTable.slots[*slot].descriptor;
    if (fd == NoDescriptor) continue;
    if (const int refused = tablePlatform().lockDevice(fd, lock); refused != 0) return refused;
  }
  return 0;
}

void releaseEach(DeviceLock lock) {
  for (std::size_t slot = 0; slot < diskTable.count; ++slot) {
    const int fd = diskTable.slots[slot].descriptor;
    if (fd != NoDescriptor) tablePlatform().lockDevice(fd, lock);
  }
}

}  // namespace

int lockDisks(DeviceLock lock, unsigned waitMilliseconds, std::size_t* busySlot, int* error) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMilliseconds);
  const bool writer = lock == DeviceLock::Exclusive;
  bool turnstiles = false;  // this writer holds every turnstile
  for (;;) {
    std::size_t slot = 0;
    // Every run passes the turnstiles first: a writer keeps them until it
    // has its locks, so that readers which come after it wait behind it; a
    // reader only passes through.
    int refused =
        turnstiles ? 0 : lockEach(writer ? DeviceLock::Turnstile : DeviceLock::TurnstilePass, &slot);
    if (refused == 0) {
      turnstiles = writer;
      if (!writer) releaseEach(DeviceLock::TurnstileRelease);
      refused = lockEach(lock, &slot);
      if (refused == 0) {
        if (writer) releaseEach(DeviceLock::TurnstileRelease);
        return 0;
      }
      unlockDisks();
    } else {
      releaseEach(DeviceLock::TurnstileRelease);
    }
    *busySlot = slot;
    *error = refused;
    if (std::chrono::steady_clock::now() + LockRetryPause > deadline) {
      releaseEach(DeviceLock::TurnstileRelease);
      return IsdLockTimeout;
    }
    std::this_thread::sleep_for(LockRetryPause);
  }
}

void unlockDisks() {
  for (std::size_t slot = 0; slot < diskTable.count; ++slot) {
    const int fd = diskTable.slots[slot].descriptor;
    if (fd != NoDescriptor) tablePlatform().lockDevice(fd, DeviceLock::Release);
  }
}
