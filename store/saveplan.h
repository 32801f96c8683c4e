// The order in which a save or a removal changes the bytes of one disk.
// Pure: from what lies on the disk now (and the new images), the list of
// writes and syncs; the disk layer carries them out.
//
// A save first writes the journal copy at JournalOffset and syncs it (over a
// journal area that holds no magic yet the magic goes first, and is synced,
// so that the area is known as ours whatever a cut leaves in it). Only then
// does it start on the record at the store offset: it replaces the signature
// by the unfinished mark (its last byte first) and syncs, so that no load takes the record at 2560
// while it changes; raises the length word, byte by byte from the most
// significant, when the new record is longer than what is ours there;
// clears, and syncs, what lies beyond the new end of the old record; writes
// the rest of the new record and syncs; and only then writes the signature
// (one byte differs from the mark) and syncs. Over a save that was stopped
// (the unfinished mark, and the journal copy the only whole copy) the record
// at 2560 is completed first and the journal copy replaced after it. Cut at
// any byte, the disk holds
// the old record, or the new one in the journal copy and perhaps at 2560 too,
// and the length word (or the journal copy) always covers every byte of
// ours, so the write guard still owns the whole old extent and a later save
// is not refused.
#pragma once

#include <cstddef>
#include <cstdint>

struct StoreStep {
  enum class Kind { Bytes, Record, Journal, Zeros, Sync };
  Kind kind;
  std::uint32_t offset;   // from the start of the disk
  std::uint32_t length;   // bytes written (none for Sync)
  std::uint32_t from;     // Record and Journal steps: where in their image the bytes start
  std::uint8_t bytes[8];  // what a Bytes step writes
};

inline constexpr std::size_t StoreStepMax = 24;

struct StorePlan {
  StoreStep steps[StoreStepMax];
  std::size_t count = 0;
  // Bytes from the store offset that the steps write: the disk must reach that far.
  std::uint32_t writeEnd = 0;
  // Bytes from the store offset that the length word may claim at any moment:
  // the write guard must find them ours or zero before the first step.
  std::uint32_t claimEnd = 0;
  // The steps write the journal area (the guard has agreed to it).
  bool journal = false;
};

// What a save writes: the stored record (as isdSerialize makes it) and its
// journal copy (as journalEncode makes it); no journal when the journal area
// may not be written.
struct SaveImages {
  const std::uint8_t* record = nullptr;
  std::uint32_t recordLength = 0;
  const std::uint8_t* journal = nullptr;
  std::uint32_t journalLength = 0;
};

// A save over the first `length` bytes of a disk (`head`). Empty when the
// disk already holds exactly this record, complete at the store offset and
// (where a journal is written) in a valid journal copy: nothing needs writing.
StorePlan planSave(const std::uint8_t* head, std::size_t length, const SaveImages& images);

// A removal over the first `length` bytes of a disk: erase our record,
// complete, unfinished or removed earlier, and (with `journal`, when the
// guard agreed to the journal area) its journal copy, and nothing else.
// Empty when nothing there is ours to erase.
StorePlan planRemoval(const std::uint8_t* head, std::size_t length, bool journal);
