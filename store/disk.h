// Finding the workstation's disks and reading, writing and erasing the record
// at byte 2560 of each.
#pragma once

#include <cstddef>

#include "store/loadchoice.h"
#include "store/outcome.h"
#include "store/platform.h"
#include "store/record.h"

inline constexpr std::size_t DiskSlotCount = 12;  // the fixed candidates /dev/hda .. /dev/sdh
inline constexpr std::size_t DiskSlotMax = 64;    // every disk one table can hold
inline constexpr std::size_t DiskNameMax = 32;    // a name in /sys/block, with its terminator
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
  Read,         // the record was read from this disk's store offset
  ReadJournal,  // a save was stopped before it ended; its journal copy was read
  NotNeeded,    // a complete record that another copy won over
};
// The state of one disk in few words, for reports that list every disk.
enum class DiskState { Absent, Complete, Unfinished, NoRecord, Refused, Unusable };
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

// One writer at a time: lock every opened disk of the table, in table order,
// shared for a reader or exclusive for a writer. A disk held by another run
// is retried until `waitMilliseconds` have passed; the locks taken are given
// back before each new try, so two runs can never hold each other up. Returns
// 0, or IsdLockTimeout with `*busySlot` the disk that could not be locked and
// `*error` why (-EWOULDBLOCK while another run holds it); nothing is then
// locked. The locks last until unlockDisks or the end of the process.
int lockDisks(DeviceLock lock, unsigned waitMilliseconds, std::size_t* busySlot, int* error);
void unlockDisks();

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
int isdLoad(ImageSafeDataStruct* record, LoadReport* report);
int isdLoad(ImageSafeDataStruct* record);

// Write `record` to every usable disk and release its text buffers, whatever
// the outcome: after the call the record has no buffers and the caller must not
// use its texts. Each disk is written in the order of saveplan.h, after the
// write guard has agreed, with a journal copy whose generation is one more
// than the highest found by the last load or now on any usable disk; a disk
// that already holds exactly this record is left Unchanged. Returns 0, IsdNoDevice, or IsdWriteFailed /
// IsdRefused when a usable disk was not written (every other usable disk is still tried). With `report`,
// fills it with what happened on each disk; the report is the caller's and points only into the disk table.
// With StoreMode::Plan nothing is written or synced: each disk is read and
// judged as for the save, and the report says what the save would do (Written
// for a disk it would write), for a dry run.
enum class StoreMode { Write, Plan };
int isdSave(ImageSafeDataStruct* record, DiskReport* report, StoreMode mode = StoreMode::Write);
int isdSave(ImageSafeDataStruct* record);

// Erase our record, complete, unfinished or removed earlier, and its journal
// copy on every usable disk that holds one, and nothing that is not ours. Returns 0 (also when no disk held
// one), IsdNoDevice when no disk is usable, or IsdWriteFailed / IsdRefused when a disk holding one could not
// be cleared; `report` as for isdSave.
int isdRemove(DiskReport* report, StoreMode mode = StoreMode::Write);
int isdRemove();
