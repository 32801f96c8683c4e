// What happened on one disk when the store wrote to it, or why it did not.
// The write guard decides some of these from the disk's first bytes; the disk
// layer decides the others while it writes.
#pragma once

enum class DiskOutcome {
  NotUsed,              // not usable, or not a disk the operation had to write
  Written,              // every byte written and synced
  Unchanged,            // nothing needed writing: the disk held it already, or no record to remove
  WriteFailed,          // write error or not every byte taken
  SyncFailed,           // written, but the sync failed
  ReadFailed,           // what lies at the store offset could not be read to check it
  RefusedGpt,           // the range lies inside a GUID partition table
  RefusedBootLoader,    // the boot loader keeps code in the sectors after the MBR
  RefusedFileSystem,    // the disk holds a file system of its own, without a partition table
  RefusedForeignData,   // the range holds other data that is neither ours nor zero
  RefusedDiskUser,      // a RAID set, volume group, swap area or other user holds the whole disk
  RefusedPartition,     // an MBR partition starts within or before the record's sectors
  RefusedTooSmall,      // the disk ends before the record would
  RefusedStaleJournal,  // a journal copy of ours lies in an area the disk's layout no longer leaves to it
  Unusable,             // named on the command line, but it could not be opened or used as a disk
};

// True when the outcome means the disk did not take what it should have.
bool diskOutcomeFailed(DiskOutcome outcome);

// Plain-words reason for a failed or refused disk, for the editor's report.
// A static text; the caller does not free it.
const char* diskOutcomeText(DiskOutcome outcome);
