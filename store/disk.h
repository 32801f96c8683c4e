// Finding the workstation's disks and reading, writing and erasing the record
// at byte 2560 of each.
#pragma once

#include <cstddef>

#include "store/platform.h"
#include "store/record.h"

inline constexpr std::size_t DiskSlotCount = 12;
inline constexpr int NoDescriptor = -1;

struct DiskSlot {
  const char* devicePath;
  int descriptor;  // NoDescriptor when unused
};

// What happened on one disk during the last save or removal.
enum class DiskOutcome {
  NotUsed,             // not usable, or not the disk the operation chose
  Written,             // every byte written and synced
  Unchanged,           // nothing needed writing (removal with no record present)
  WriteFailed,         // write error or not every byte taken
  SyncFailed,          // written, but the sync failed
  ReadFailed,          // what lies at the store offset could not be read to check it
  RefusedGpt,          // the range lies inside a GUID partition table
  RefusedBootLoader,   // the boot loader keeps code in the sectors after the MBR
  RefusedFileSystem,   // the disk holds a file system of its own, without a partition table
  RefusedForeignData,  // the range holds other data that is neither ours nor zero
};

struct DiskReport {
  DiskOutcome outcome[DiskSlotCount];
  int error[DiskSlotCount];  // negative errno for write, sync and read failures
};

// The disk table: built once by scanDisks, lives for the whole process.
struct DiskTable {
  DiskSlot slots[DiskSlotCount];
  DiskPlatform* platform;
  DiskReport lastReport;  // outcome of the last isdSave or isdRemove
};
extern DiskTable diskTable;

void scanDisks();
void scanDisks(DiskPlatform& platform);  // the same, over another platform
bool isCdromDrive(const char* path);
int checkDisk(std::size_t slot);

int isdLoad(ImageSafeDataStruct* record);
// Returns 0, IsdNoDevice, or IsdWriteFailed / IsdRefused when a usable disk
// was not written (every other usable disk is still tried).
int isdSave(ImageSafeDataStruct* record);
int isdRemove();

// True when the outcome means the disk did not take what it should have.
bool diskOutcomeFailed(DiskOutcome outcome);

// Plain-words reason for a failed or refused disk, for the editor's report.
const char* diskOutcomeText(DiskOutcome outcome);
