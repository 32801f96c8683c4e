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
};

// What one save or removal did on each disk of the table, by slot.
struct DiskResult {
  const char* devicePath;  // the table's own text; valid while the table lives
  DiskOutcome outcome;
  int error;  // negative errno for write, sync and read failures, else 0
};
struct DiskReport {
  DiskResult disks[DiskSlotCount];
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

// Create `record` (its eight buffers then belong to it and the caller releases
// them with isdRelease) and fill it from the first usable disk. Returns 0,
// IsdNoDevice, IsdNoStore, or IsdNoMemory when the buffers or the image could
// not be had (the record then has no buffers, or is the empty record).
int isdLoad(ImageSafeDataStruct* record);

// Write `record` to every usable disk and release its text buffers, whatever
// the outcome: after the call the record has no buffers and the caller must not
// use its texts. Returns 0, IsdNoDevice, or IsdWriteFailed / IsdRefused when a
// usable disk was not written (every other usable disk is still tried). With
// `report`, fills it with what happened on each disk; the report is the
// caller's and points only into the disk table.
int isdSave(ImageSafeDataStruct* record, DiskReport* report);
int isdSave(ImageSafeDataStruct* record);

// Erase the record's signature on the removal disk, and only our signature.
// Returns 0, IsdNoDevice, or IsdWriteFailed; `report` as for isdSave.
int isdRemove(DiskReport* report);
int isdRemove();
