// Finding the workstation's disks and reading, writing and erasing the record
// at byte 2560 of each.
#pragma once

#include <cstddef>

#include "store/outcome.h"
#include "store/platform.h"
#include "store/record.h"

inline constexpr std::size_t DiskSlotCount = 12;
inline constexpr int NoDescriptor = -1;

struct DiskSlot {
  const char* devicePath;
  int descriptor;  // NoDescriptor when unused
  int openError;   // why a device that exists could not be opened (negative errno), else 0
};

// What one save or removal did on each disk of the table, by slot.
struct DiskResult {
  const char* devicePath;  // the table's own text; valid while the table lives
  DiskOutcome outcome;
  int error;      // negative errno for write, sync and read failures, else 0
  char user[32];  // for RefusedDiskUser: what holds the whole disk, else empty
};
struct DiskReport {
  DiskResult disks[DiskSlotCount];
};

// What the load found on each disk of the table, by slot.
enum class LoadOutcome {
  Absent,      // no such device, a CD-ROM drive, or the FLOPPYDRIVE: not a candidate
  OpenFailed,  // the device is there but could not be opened (openError says why)
  Unusable,    // opened, but it did not answer as a disk
  NoRecord,    // no record of ours: blank, removed or someone else's bytes
  Unfinished,  // a save was stopped before it ended; never taken as a record
  ReadFailed,  // the bytes at the store offset could not be read
  Read,        // the record was read from this disk
  NotNeeded,   // usable, not read: an earlier disk held the record
};
struct DiskLoadResult {
  const char* devicePath;  // the table's own text
  LoadOutcome outcome;
  int error;  // negative errno for OpenFailed and ReadFailed, else 0
};
struct LoadReport {
  DiskLoadResult disks[DiskSlotCount];
};

// The disk table: built once by scanDisks, lives for the whole process.
struct DiskTable {
  DiskSlot slots[DiskSlotCount];
  DiskPlatform* platform;  // not owned; outlives the table's use
};
extern DiskTable diskTable;

// Fill the table: open each candidate that is not a CD-ROM drive or the
// FLOPPYDRIVE. The descriptors belong to the table and stay open until the
// process ends. The second form uses `platform` (not owned, must outlive every
// later store call) instead of the running system.
void scanDisks();
void scanDisks(DiskPlatform& platform);
bool isCdromDrive(const char* path);
// 0 when the disk in `slot` is usable, else IsdNoDevice. Checks afresh each time.
int checkDisk(std::size_t slot);

// One writer at a time: lock every opened disk of the table, in slot order,
// shared for a reader or exclusive for a writer. A disk held by another run
// is retried until `waitMilliseconds` have passed; the locks taken are given
// back before each new try, so two runs can never hold each other up. Returns
// 0, or IsdLockTimeout with `*busySlot` the disk that could not be locked and
// `*error` why (-EWOULDBLOCK while another run holds it); nothing is then
// locked. The locks last until unlockDisks or the end of the process.
int lockDisks(DeviceLock lock, unsigned waitMilliseconds, std::size_t* busySlot, int* error);
void unlockDisks();

// Create `record` (its eight buffers then belong to it and the caller releases
// them with isdRelease) and fill it from the first usable disk that holds a
// complete record; disks without one (blank, removed, someone else's bytes, a
// save that did not finish) are passed over. Returns 0; IsdNoDevice when no
// disk is usable; IsdReadFailed when none held a record but a usable disk
// could not be read; IsdNoStore when no usable disk holds a record; or
// IsdNoMemory when the buffers or the image could not be had (the record then
// has no buffers, or is the empty record). With `report`, fills it with what
// was found on each disk; the report is the caller's and points only into the
// disk table.
int isdLoad(ImageSafeDataStruct* record, LoadReport* report);
int isdLoad(ImageSafeDataStruct* record);

// Write `record` to every usable disk and release its text buffers, whatever
// the outcome: after the call the record has no buffers and the caller must not
// use its texts. Each disk is written in the order of saveplan.h, after the
// write guard has agreed. Returns 0, IsdNoDevice, or IsdWriteFailed / IsdRefused
// when a usable disk was not written (every other usable disk is still tried).
// With `report`, fills it with what happened on each disk; the report is the
// caller's and points only into the disk table.
int isdSave(ImageSafeDataStruct* record, DiskReport* report);
int isdSave(ImageSafeDataStruct* record);

// Erase our record, complete or unfinished, on every usable disk that holds
// one, and nothing that is not ours. Returns 0 (also when no disk held one),
// IsdNoDevice when no disk is usable, or IsdWriteFailed / IsdRefused when a
// disk holding one could not be cleared; `report` as for isdSave.
int isdRemove(DiskReport* report);
int isdRemove();
