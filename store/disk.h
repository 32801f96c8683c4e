// Reading, writing and erasing the record at byte 2560 of each of the
// workstation's disks.
#pragma once

#include <cstddef>

#include "store/disk_table.h"
#include "store/loadchoice.h"
#include "store/outcome.h"
#include "store/record.h"

// What one save or removal did on each disk of the table, by slot.
struct DiskResult {
  const char* devicePath;  // the table's own text; valid while the table lives
  DiskOutcome outcome;
  int error;      // negative errno for write, sync and read failures, else 0
  char user[32];  // for RefusedDiskUser: what holds the whole disk, else empty
  // The journal area: Written when the journal copy was written or already
  // held the record, the guard's refusal when the disk has none (the record
  // was still written), NotUsed when the disk was not written at all.
  DiskOutcome journal;
  std::size_t journalArea;  // the journal area written (an index of JournalAreaOffsets), else NoJournalArea
  // RefusedGpt: the LBA `sgdisk --move-main-table` can move the table's
  // entry array to, to free the record's bytes (0 when that would not), and
  // the table's sector size.
  std::uint64_t gptRemedyLba;
  std::uint32_t gptSectorSize;
};
struct DiskReport {
  std::size_t count;  // the table's disks, in table order
  DiskResult disks[DiskSlotMax];
};

// What the load found on each disk of the table, by slot.
enum class LoadOutcome {
  Absent,       // no such device, a CD-ROM drive, or the FLOPPYDRIVE: not a candidate
  OpenFailed,   // the device is there (or was named) but could not be opened (error says why)
  Unusable,     // opened, but it did not answer as a disk (error says why)
  NoRecord,     // no record of ours: blank, removed or someone else's bytes
  Unfinished,   // a save was stopped before it ended and its journal copy did not win
  CutShort,     // a record that the disk's end cuts short: never taken
  ReadFailed,   // the bytes at the store offset or of the journal could not be read
  Damaged,      // a record whose framing does not add up, passed over for another copy
  ReadDamaged,  // such a record, read because no disk held anything else
  Read,         // the record was read from this disk's store offset
  ReadJournal,  // a save was stopped before it ended; its journal copy was read
  NotNeeded,    // a complete record that another copy won over
};
// The state of one disk in few words, for reports that list every disk.
enum class DiskState { Absent, Complete, Damaged, Unfinished, NoRecord, Refused, Unusable };
struct DiskLoadResult {
  const char* devicePath;  // the table's path
  DiskOrigin origin;
  LoadOutcome outcome;
  int error;  // negative errno for OpenFailed, Unusable and ReadFailed, else 0
  DiskState state;
  bool hasGeneration;  // the disk holds a valid journal copy
  std::uint64_t generation;
  bool sizeFailed;  // Unusable: the size request failed (else a geometry request)
};
struct LoadReport {
  std::size_t count;  // the table's disks, in table order
  DiskLoadResult disks[DiskSlotMax];
  std::size_t source;        // the slot the record came from; NoCopy when none
  bool fromJournal;          // it came from that disk's journal copy
  bool writtenElsewhere;     // another program wrote it after our last save
  bool hasGeneration;        // it carries a generation
  std::uint64_t generation;  // its generation, when it has one
};

// Create `record` (its eight buffers then belong to it and the caller releases
// them with isdRelease) and fill it from the copy loadchoice.h chooses among
// every usable disk: the newest of our saves, unless another program wrote a
// record since; a save that did not finish is read from its journal copy;
// disks without a copy (blank, removed, someone else's bytes, a record cut
// short by the disk's end) are passed over. Returns 0; IsdNoDevice when no
// disk is usable; IsdReadFailed when none held a record but a usable disk
// could not be read; IsdNoStore when no usable disk holds a record; or
// IsdNoMemory when the buffers or the image could not be had (the record then
// has no buffers, or is the empty record). With `report`, fills it with what
// was found on each disk; the report is the caller's and points only into the
// disk table.
int isdLoad(ImageSafeDataStruct* record, LoadReport* report = nullptr);

// Write `record` to every usable disk and release its text buffers, whatever
// the outcome: after the call the record has no buffers and the caller must not
// use its texts. Each disk is written in the order of saveplan.h, after the
// write guard has agreed, with a journal copy whose generation is one more
// than the highest found by the last load or now on any usable disk; a disk
// that already holds exactly this record is left Unchanged. Returns 0, IsdNoDevice, or IsdWriteFailed /
// IsdRefused when a usable disk was not written (every other usable disk is still tried); IsdWriteFailed
// also when a disk named on the command line could not be used (reported Unusable). With `report`,
// fills it with what happened on each disk; the report is the caller's and points only into the disk table.
// With StoreMode::Plan nothing is written or synced: each disk is read and
// judged as for the save, and the report says what the save would do (Written
// for a disk it would write), for a dry run.
enum class StoreMode { Write, Plan };
int isdSave(ImageSafeDataStruct* record, DiskReport* report = nullptr, StoreMode mode = StoreMode::Write);

// Erase our record, complete, unfinished or removed earlier, and its journal
// copy on every usable disk that holds one, and nothing that is not ours. Returns 0 (also when no disk held
// one), IsdNoDevice when no disk is usable, or IsdWriteFailed / IsdRefused when a disk holding one could not
// be cleared or a named disk could not be used; `report` as for isdSave.
int isdRemove(DiskReport* report = nullptr, StoreMode mode = StoreMode::Write);
