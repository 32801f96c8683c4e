// Which copy of the record a load takes, from what was read on each disk.
// Pure: bytes in, choice out; no I/O.
//
// The copies of our saves carry a generation in their journal copy, and the
// highest generation wins: a complete record at 2560 that its valid journal
// copy was written with, or, where the save that wrote the copy was stopped
// before the record at 2560 was whole, the journal copy itself. A complete
// record at 2560 that its disk's valid journal copy was not written with was
// written after our last save by another program (the Windows agent): it
// wins over every copy of ours. A complete record on a disk without a valid
// journal copy has no generation and ranks after every copy that has one.
// Among equals the first disk in order wins.
#pragma once

#include <cstddef>
#include <cstdint>

// What lies at the store offset of one disk.
enum class StoredRecord {
  Complete,    // the signature, and the disk holds every byte the record says it has
  CutShort,    // the signature, but the disk ends before the record does
  Unfinished,  // the unfinished mark of a save that was stopped
  NoRecord,    // zeros, a removed record, or a partly written or erased signature
  Foreign,     // someone else's bytes: a save would be refused there
};

// What the load read from one usable disk.
struct LoadedDisk {
  const std::uint8_t* store = nullptr;  // the bytes read at the store offset
  std::size_t storeLength = 0;
  const std::uint8_t* journal = nullptr;  // the bytes read at the journal offset
  std::size_t journalLength = 0;
};

struct DiskFinding {
  StoredRecord record = StoredRecord::NoRecord;
  bool journalValid = false;
  std::uint64_t generation = 0;  // of the valid journal copy
  bool journalMatches = false;   // the complete record at 2560 is the one the copy was written with
};

inline constexpr std::size_t NoCopy = static_cast<std::size_t>(-1);

struct LoadChoice {
  std::size_t disk = NoCopy;      // the index of the disk whose copy wins, NoCopy when none does
  bool fromJournal = false;       // the winner is its journal copy
  bool writtenElsewhere = false;  // the winner is a record another program wrote after our save
  bool hasGeneration = false;
  std::uint64_t generation = 0;  // of the winning copy, when it has one
  bool anyGeneration = false;
  std::uint64_t highestGeneration = 0;  // over every valid journal copy
  // The bytes to parse, into the winner's store or journal bytes.
  const std::uint8_t* image = nullptr;
  std::size_t imageLength = 0;
};

// What one disk holds, from its bytes.
DiskFinding findOnDisk(const LoadedDisk& disk);

// Choose among the `count` disks; `findings` (the caller's, `count` entries)
// receives what each holds.
LoadChoice chooseCopy(const LoadedDisk* disks, std::size_t count, DiskFinding* findings);
