// Which copy of the record a load takes, from what was read on each disk.
// Pure: bytes in, choice out; no I/O.
//
// Every save of ours stamps a generation into the journal copy it writes
// first, names in it the record it replaces, and seals the record it then
// writes at 2560 with the same generation. A record at 2560 is ours when
// some disk's valid copy or seal names it: as written by a save of that
// generation, or as replaced by it (then it is older than that save). The
// newest of ours wins: a complete record at 2560 or, where a save was
// stopped (the unfinished mark, a record it replaced, a damaged record), the
// disk's journal copy; among equals a complete record before a journal copy,
// then the first disk. A complete, well-formed record that no copy or seal
// names, on a disk that holds a copy or seal of ours, was written after our
// last save by another program (the Windows agent): it wins over every copy
// of ours. A complete record on a disk with neither has no generation and
// ranks after every copy that has one. A record whose framing does not add
// up (a flipped bit, a zeroed word) is damaged: it is taken only when no
// disk holds anything else.
#pragma once

#include <cstddef>
#include <cstdint>

#include "store/journal.h"

// What lies at the store offset of one disk.
enum class StoredRecord {
  Complete,    // the signature, a well-formed record, and the disk holds every byte of it
  Damaged,     // the signature, but the framing of what follows does not add up
  CutShort,    // the signature, but the disk ends before the record does
  Unfinished,  // the unfinished mark of a save that was stopped
  NoRecord,    // zeros, a removed record, or a partly written or erased signature
  Foreign,     // someone else's bytes: a save would be refused there
};

// What the load read from one usable disk.
struct LoadedDisk {
  const std::uint8_t* store = nullptr;  // the bytes read at the store offset
  std::size_t storeLength = 0;
  // The bytes read at each journal area (none where the disk ends before it).
  const std::uint8_t* journal[JournalAreaCount] = {};
  std::size_t journalLength[JournalAreaCount] = {};
};

struct DiskFinding {
  StoredRecord record = StoredRecord::NoRecord;
  bool journalValid = false;                // the disk holds a valid journal copy
  std::uint64_t generation = 0;             // of the newest valid copy or seal on the disk
  std::size_t journalArea = NoJournalArea;  // where its newest valid copy lies
  bool journalMatches = false;  // the complete record at 2560 is the one that copy was written with
  bool ours = false;            // a copy or seal of some disk names the record at 2560
};

// The most disks one choice looks at.
inline constexpr std::size_t LoadDiskMax = 64;

inline constexpr std::size_t NoCopy = static_cast<std::size_t>(-1);

struct LoadChoice {
  std::size_t disk = NoCopy;      // the index of the disk whose copy wins, NoCopy when none does
  bool fromJournal = false;       // the winner is its journal copy
  bool writtenElsewhere = false;  // the winner is a record another program wrote after our save
  bool damaged = false;           // the winner is a damaged record, the only thing any disk held
  bool hasGeneration = false;
  std::uint64_t generation = 0;  // of the winning copy, when it has one
  bool anyGeneration = false;
  std::uint64_t highestGeneration = 0;  // over every valid journal copy and seal
  // The bytes to parse, into the winner's store or journal bytes.
  const std::uint8_t* image = nullptr;
  std::size_t imageLength = 0;
};

// Choose among the `count` disks; `findings` (the caller's, `count` entries)
// receives what each holds.
LoadChoice chooseCopy(const LoadedDisk* disks, std::size_t count, DiskFinding* findings);
