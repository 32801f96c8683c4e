// Deciding, from the bytes at the start of a disk, whether the range where the
// record goes belongs to us. Pure: bytes in, verdict out; no I/O.
#pragma once

#include <cstddef>
#include <cstdint>

#include "store/outcome.h"

// `head` holds the first `length` bytes of the disk (GuardSpan of format.h is
// what the disk layer reads) (bytes past the end of a
// short disk count as absent, i.e. zero). `writeLength` is the number of bytes
// about to be written at the store offset; `sectorSize` is the logical sector
// size the kernel reports (0 when unknown).
// Returns DiskOutcome::Written when the range may be written, else the refusal.
DiskOutcome guardStoreRange(const std::uint8_t* head, std::size_t length, std::size_t writeLength,
                            std::uint32_t sectorSize);

// True when the `length` bytes at the store offset are a removed record of
// ours: four zero bytes where the signature was, followed by a header whose
// version is 2 to 5 and whose length words, walked as the reader does, end
// exactly at its totalLength.
bool guardIsRemovedRecord(const std::uint8_t* record, std::size_t length);
