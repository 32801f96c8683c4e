// Reading and writing the stored forms byte by byte: little-endian words,
// zeros, and the CRC-32 that the journal and the record keys check with.
// Pure helpers, shared by the record codec, the journal, the disk guard and
// the write order.
#pragma once

#include <cstddef>
#include <cstdint>

// Explicit little-endian words, whatever the machine's own byte order.
std::uint32_t isdGetU32(const std::uint8_t* bytes);
void isdPutU32(std::uint8_t* bytes, std::uint32_t value);
std::uint64_t isdGetU64(const std::uint8_t* bytes);
void isdPutU64(std::uint8_t* bytes, std::uint64_t value);

// True when bytes[from, to) are all zero (also when the range is empty).
bool isdAllZero(const std::uint8_t* bytes, std::size_t from, std::size_t to);

// CRC-32 (the IEEE polynomial of zlib and Ethernet), continued from `crc`.
std::uint32_t journalCrc32(const std::uint8_t* bytes, std::size_t length, std::uint32_t crc = 0);
