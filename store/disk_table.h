// The workstation's disks: which are there, which are usable, and the locks
// that keep one writer at a time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "store/disk_names.h"
#include "store/platform.h"

inline constexpr std::size_t DiskSlotMax = 64;  // every disk one table can hold
inline constexpr int NoDescriptor = -1;

// How a disk came into the table.
enum class DiskOrigin {
  Fixed,  // one of the twelve fixed candidates
  Extra,  // a whole disk of /sys/block, taken when no fixed candidate is usable
  Named,  // named on the command line (a block device or a raw disk image file)
};

struct DiskSlot {
  const char* devicePath;  // the table's own text, or the caller's for a named disk
  int descriptor;          // NoDescriptor when unused
  int openError;           // why a device that exists could not be opened (negative errno), else 0
  DiskOrigin origin;
};

// The disk table: built once by scanDisks, lives for the whole process.
struct DiskTable {
  std::size_t count;  // slots in use, from the first
  DiskSlot slots[DiskSlotMax];
  char extraPaths[DiskSlotMax][DiskNameMax + 5];  // "/dev/<name>" of the Extra disks
  DiskPlatform* platform;                         // not owned; outlives the table's use
  // The highest generation the last load found; a save stamps a higher one.
  std::uint64_t generationSeen;
  DiskAccess access;  // how every disk of the table is opened
};
extern DiskTable diskTable;

// Fill the table: open each of the twelve fixed candidates that is not a
// CD-ROM drive or the FLOPPYDRIVE. When none of them is usable, add the whole
// disks of /sys/block named nvme<c>n<n> (namespaces, by controller and
// namespace number), vd*, xvd* and sd* beyond sdh (each group in the kernel's
// naming order: sdz before sdaa), in this order, the FLOPPYDRIVE left out. The
// descriptors belong to the table and stay open until the process ends. The
// second form uses `platform` (not owned, must outlive every later store call)
// instead of the running system.
// The disks are opened for `access`: the viewer reads only, the editor writes.
void scanDisks(DiskAccess access = DiskAccess::ReadWrite);
void scanDisks(DiskPlatform& platform, DiskAccess access = DiskAccess::ReadWrite);
// Fill the table with the `count` disks at `paths` (the caller's texts, which
// must outlive the table), in that order and nothing else: block devices,
// checked as the fixed candidates are, or regular files (raw disk images),
// usable when they open for `access`, their size taken for the device's.
// Never more than DiskSlotMax are taken.
void scanNamedDisks(const char* const* paths, std::size_t count, DiskAccess access = DiskAccess::ReadWrite);
void scanNamedDisks(DiskPlatform& platform, const char* const* paths, std::size_t count,
                    DiskAccess access = DiskAccess::ReadWrite);
bool isCdromDrive(const char* path);
// 0 when the disk in `slot` is usable, else IsdNoDevice. Checks afresh each time.
int checkDisk(std::size_t slot);
// As checkDisk, with why a disk is not usable: 0, or a negative errno;
// `*sizeFailed` tells whether it was the size request that failed.
int diskUsability(std::size_t slot, bool* sizeFailed = nullptr);
// The device's size in bytes: the kernel's for a block device, the file's for
// a disk image. 0 or a negative errno.
int diskDeviceBytes(int fd, std::uint64_t* bytes);
// The platform the table's disks are reached through.
DiskPlatform& tablePlatform();

// One writer at a time: lock every opened disk of the table, in table order,
// shared for a reader or exclusive for a writer. A disk held by another run
// is retried until `waitMilliseconds` have passed; the locks taken are given
// back before each new try, so two runs can never hold each other up. Returns
// 0, or IsdLockTimeout with `*busySlot` the disk that could not be locked and
// `*error` why (-EWOULDBLOCK while another run holds it); nothing is then
// locked. The locks last until unlockDisks or the end of the process.
int lockDisks(DeviceLock lock, unsigned waitMilliseconds, std::size_t* busySlot, int* error);
void unlockDisks();
