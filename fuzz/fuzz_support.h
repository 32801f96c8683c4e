// What the fuzzers share: reading their input in pieces, building a disk's
// first bytes, and the record images a save writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "store/bytes.h"
#include "store/format.h"
#include "store/journal.h"
#include "store/record.h"

// Takes the input front to back; past its end every piece is empty or zero.
struct FuzzInput {
  const std::uint8_t* data;
  std::size_t size;

  std::uint8_t byte() {
    if (size == 0) return 0;
    --size;
    return *data++;
  }
  std::uint16_t word() { return static_cast<std::uint16_t>(byte() | byte() << 8); }
  // At most `most` bytes.
  std::vector<std::uint8_t> bytes(std::size_t most) {
    const std::size_t n = most < size ? most : size;
    std::vector<std::uint8_t> out(data, data + n);
    data += n;
    size -= n;
    return out;
  }
};

inline void fuzzCheck(bool holds) {
  if (!holds) std::abort();
}

// The stored image of a record read from any bytes, as a save would write it.
inline std::vector<std::uint8_t> fuzzRecordImage(const std::vector<std::uint8_t>& bytes) {
  ImageSafeDataStruct record{};
  if (!isdCreate(&record)) return {};
  IsdRecordBuffers release(&record);
  isdParse(bytes.data(), bytes.size(), &record);
  const IsdImage image = isdSerialize(&record);
  return {image.bytes.get(), image.bytes.get() + image.length};
}
