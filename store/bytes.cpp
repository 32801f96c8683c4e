#include "store/bytes.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::array<std::uint32_t, 256> crcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}
constexpr std::array<std::uint32_t, 256> CrcTable = crcTable();

}  // namespace

std::uint32_t isdGetU32(const std::uint8_t* bytes) {
  return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
         std::uint32_t{bytes[3]} << 24;
}

void isdPutU32(std::uint8_t* bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t isdGetU64(const std::uint8_t* bytes) {
  return isdGetU32(bytes) | (std::uint64_t{isdGetU32(bytes + 4)} << 32);
}

void isdPutU64(std::uint8_t* bytes, std::uint64_t value) {
  isdPutU32(bytes, static_cast<std::uint32_t>(value));
  isdPutU32(bytes + 4, static_cast<std::uint32_t>(value >> 32));
}

bool isdAllZero(const std::uint8_t* bytes, std::size_t from, std::size_t to) {
  return std::all_of(bytes + from, bytes + to, [](std::uint8_t b) { return b == 0; });
}

std::uint32_t journalCrc32(const std::uint8_t* bytes, std::size_t length, std::uint32_t crc) {
  crc = ~crc;
  for (std::size_t i = 0; i < length; ++i) crc = CrcTable[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}
