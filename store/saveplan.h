// The order in which a save or a removal changes the bytes at the store
// offset of one disk. Pure: from what lies there now (and the new image), the
// list of writes and syncs; the disk layer carries them out.
//
// A save first replaces the signature by the unfinished mark and syncs, so
// that no load takes the disk while it changes; raises the length word, byte
// by byte from the most significant, when the new record is longer than what
// is ours there; clears, and syncs, what lies beyond the new end of the old
// record; writes the rest of the new record and syncs; and only then writes
// the signature (one byte differs from the mark) and syncs. Cut at any byte,
// the disk holds the old record, the new one, or the mark; and the length word
// always covers every byte of ours, so the write guard still owns the whole
// old extent and a later save is not refused.
#pragma once

#include <cstddef>
#include <cstdint>

struct StoreStep {
  enum class Kind { Bytes, Image, Zeros, Sync };
  Kind kind;
  std::uint32_t offset;   // from the store offset
  std::uint32_t length;   // bytes written (none for Sync)
  std::uint8_t bytes[4];  // what a Bytes step writes
};

inline constexpr std::size_t StoreStepMax = 16;

struct StorePlan {
  StoreStep steps[StoreStepMax];
  std::size_t count = 0;
  // Bytes from the store offset that the steps write: the disk must reach that far.
  std::uint32_t writeEnd = 0;
  // Bytes from the store offset that the length word may claim at any moment:
  // the write guard must find them ours or zero before the first step.
  std::uint32_t claimEnd = 0;
};

// A save of a stored record of `imageLength` bytes (as isdSerialize makes it)
// over the `length` bytes that lie at the store offset now. Image steps name
// the bytes of that record by their offset in it.
StorePlan planSave(const std::uint8_t* current, std::size_t length, std::uint32_t imageLength);

// A removal over the `length` bytes at the store offset: erase our signature,
// or an unfinished save, and nothing else. Empty when nothing there is ours to
// erase. A record whose length words would not add up once its signature is
// gone is cleared whole, so that the write guard still knows the bytes as ours.
StorePlan planRemoval(const std::uint8_t* current, std::size_t length);
