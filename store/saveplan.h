// The order in which a save or a removal changes the bytes of one disk.
// Pure: from what lies on the disk now (and the new images), the list of
// writes and syncs; the disk layer carries them out.
//
// A save first writes the journal copy into its area and syncs it (over an
// area that holds no magic yet the magic goes first, and is synced, so that
// the area is known as ours whatever a cut leaves in it). The copy names the
// record it replaces, and claims its bytes. Only then does the save start on
// the record at the store offset: over a complete record it replaces the
// signature by the unfinished mark (its last byte first) and syncs, so that
// no load takes the record at 2560 while it changes; it clears what lies
// beyond the new end, writes the seal of the new record and the rest of the
// record and syncs; and only then writes the signature (one byte differs from
// the mark) and syncs. Where the disk has no journal area, the unfinished
// mark and the length word claim the record's bytes instead: the word is
// raised first, byte by byte from the most significant, when the new record
// is longer, and what lies beyond the new end is cleared, and synced, before
// the word drops. Over a save that was stopped (the unfinished mark, and the
// journal copy the only whole copy) the seal and the record at 2560 are
// written first and the journal copy replaced after them. Cut at any byte,
// the disk holds the old record, or the new one in the journal copy and
// perhaps at 2560 too, and the length word, the journal copy or the seal
// always covers every byte of ours, so the write guard still owns the whole
// old extent and a later save is not refused.
#pragma once

#include <cstddef>
#include <cstdint>

#include "store/journal.h"

struct StoreStep {
  enum class Kind { Bytes, Record, Journal, Seal, Zeros, Sync };
  Kind kind;
  std::uint32_t offset;   // from the start of the disk
  std::uint32_t length;   // bytes written (none for Sync)
  std::uint32_t from;     // Record, Journal and Seal steps: where in their image the bytes start
  std::uint8_t bytes[8];  // what a Bytes step writes
};

inline constexpr std::size_t StoreStepMax = 32;

struct StorePlan {
  StoreStep steps[StoreStepMax];
  std::size_t count = 0;
  // Bytes from the store offset that the steps write: the disk must reach that far.
  std::uint32_t writeEnd = 0;
  // Bytes from the store offset that the length word may claim at any moment:
  // the write guard must find them ours or zero before the first step.
  std::uint32_t claimEnd = 0;
  // The steps write a journal area (the guard has agreed to it).
  bool journal = false;
};

// What a save writes: the stored record (as isdSerialize makes it), its
// journal copy (as journalEncode makes it) and seal (as journalSealEncode
// makes it) for journal area `area`; no journal when no area may be written.
struct SaveImages {
  const std::uint8_t* record = nullptr;
  std::uint32_t recordLength = 0;
  const std::uint8_t* journal = nullptr;
  std::uint32_t journalLength = 0;
  const std::uint8_t* seal = nullptr;  // JournalSealLength bytes, with the journal
  std::size_t area = 0;                // where the journal goes
  RecordKey replaced;                  // the record the journal copy names as replaced
  std::uint64_t generation = 0;        // the save's, for the disk layer's copies
};

// A save over the first `length` bytes of a disk (`head`). Empty when the
// disk already holds exactly this record, complete at the store offset and
// (where a journal is written) in a valid journal copy: nothing needs writing.
StorePlan planSave(const std::uint8_t* head, std::size_t length, const SaveImages& images);

// A removal over the first `length` bytes of a disk: erase our record,
// complete, unfinished or removed earlier, and its journal copies in the
// areas the guard agreed to (`journal`, one flag an area), and nothing else.
// Empty when nothing there is ours to erase.
StorePlan planRemoval(const std::uint8_t* head, std::size_t length, const bool* journal);
