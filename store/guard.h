// Deciding, from the bytes at the start and at the end of a disk, whether the
// range where the record goes belongs to us. Pure: bytes in, verdict out; no I/O.
#pragma once

#include <cstddef>
#include <cstdint>

#include "store/format.h"
#include "store/journal.h"
#include "store/outcome.h"

// How much of the start of a disk the write guard looks at: the boot sector, a
// GUID partition table header and entry array at any usual sector size, the
// largest image and both journal areas (the second ends at 1 MiB).
inline constexpr std::size_t GuardSpan = JournalSecondEnd;

// How much of the end of a disk the guard looks at: RAID signatures kept
// within the last 128 KiB.
inline constexpr std::size_t GuardTailSpan = 128 * 1024;

// What the disk layer read from one disk for the guard. The guard keeps none
// of the pointers beyond the call.
struct GuardDisk {
  const std::uint8_t* head = nullptr;  // the first headLength bytes (GuardSpan, fewer on a short disk)
  std::size_t headLength = 0;
  const std::uint8_t* tail = nullptr;  // the bytes from tailOffset on, tailLength of them
  std::size_t tailLength = 0;
  std::uint64_t tailOffset = 0;
  std::uint64_t deviceBytes = 0;  // the device's size; 0 when unknown (no tail rules)
  std::uint32_t sectorSize = 0;   // the logical sector size the kernel reports; 0 when unknown
};

// Whether the `rangeLength` bytes from the store offset may be written: bytes
// past the end of the head count as absent; what guardRecordExtent claims,
// and zeros, may be written over. Returns DiskOutcome::Written, or
// the refusal; for RefusedDiskUser `*user` names what uses the whole disk (a
// static text), otherwise it is set to null.
DiskOutcome guardDisk(const GuardDisk& disk, std::size_t rangeLength, const char** user);

// Whether journal area `area` (0: at JournalOffset, 1: at JournalSecondOffset)
// may be written: the same layout rules, the disk must reach its end, no
// complete record at 2560 may reach into it, and it must hold zeros or a
// journal of ours (DiskOutcome::Written), else the refusal.
DiskOutcome guardJournalArea(const GuardDisk& disk, std::size_t area, const char** user);

// guardJournalArea's verdict on every journal area of a disk, each with the
// `user` it named.
struct JournalAreaVerdicts {
  DiskOutcome outcome[JournalAreaCount];
  const char* user[JournalAreaCount];
};
JournalAreaVerdicts guardJournalAreas(const GuardDisk& disk);

// The journal area a save writes, given the verdicts: the first allowed, or
// NoJournalArea.
std::size_t guardFirstJournalArea(const JournalAreaVerdicts& verdicts);

// Where a GUID partition table's entry array lies over the bytes the record
// and the first journal area take, while its header sector leaves them: the
// first LBA at or after JournalEnd, to which `sgdisk --move-main-table`
// can move the array so that they are free; 0 when moving it would not free
// them (no such table, or its header sector lies there). `*sectorSize`
// receives the table's sector size.
std::uint64_t guardGptRemedy(const GuardDisk& disk, std::size_t rangeLength, std::uint32_t* sectorSize);

// The same over the first `length` bytes of a disk alone (`head`), for a write
// of `writeLength` bytes at the store offset.
DiskOutcome guardStoreRange(const std::uint8_t* head, std::size_t length, std::size_t writeLength,
                            std::uint32_t sectorSize);

// How many of the `length` bytes at the store offset belong to our record in
// whatever state a run left it: complete or unfinished (the stored total
// length when the length words add up to it; else, unfinished, the length
// word, at least the header and at most the longest record the header can
// frame, and complete but damaged, as far as its framing reaches), removed (a vacant signature before a
// header whose length words add up: its total length), or only a partly written or erased signature (its four
// bytes). 0 when nothing there is ours.
std::size_t guardOwnedLength(const std::uint8_t* store, std::size_t length);

// True when the `length` bytes at the store offset are a removed record of
// ours: a vacant signature (zeros, or our signature partly erased) followed by
// a header whose version is 2 to 5 and whose length words, walked as the
// reader does, end exactly at its totalLength.
bool guardIsRemovedRecord(const std::uint8_t* record, std::size_t length);

// How many bytes from the store offset are ours, given the first `length`
// bytes of the disk: guardOwnedLength, or what a valid journal copy or seal
// in either area names when that is longer (the record it was written with
// or replaced, at most the longest record its header can frame), unless the
// store offset holds someone else's bytes. The journal's claim keeps a
// removal or save that was cut short able to finish.
std::size_t guardRecordExtent(const std::uint8_t* head, std::size_t length);

// Journal area `area` within the first `length` bytes of a disk: its bytes
// (null when the disk is too short to reach its start) and how many of them
// there are.
struct JournalBytes {
  const std::uint8_t* bytes = nullptr;
  std::size_t length = 0;
};
JournalBytes journalBytes(const std::uint8_t* head, std::size_t length, std::size_t area);

// The newest valid journal copy in either area of the first `length` bytes
// of a disk (invalid when there is none); `*area` receives where it lies.
JournalCopy journalOf(const std::uint8_t* head, std::size_t length, std::size_t* area = nullptr);
