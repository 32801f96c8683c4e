// Builds stored images byte by byte, independently of the codec under test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ImageBuilder {
  std::vector<std::uint8_t> bytes;

  ImageBuilder& u32(std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    return *this;
  }
  ImageBuilder& raw(std::initializer_list<std::uint8_t> values) {
    bytes.insert(bytes.end(), values);
    return *this;
  }
  ImageBuilder& zeros(std::size_t count) {
    bytes.insert(bytes.end(), count, 0);
    return *this;
  }
  // A text entry: length word, then each character as a 16-bit unit.
  ImageBuilder& text(const std::string& value) {
    u32(static_cast<std::uint32_t>(2 * value.size()));
    for (char c : value) raw({static_cast<std::uint8_t>(c), 0});
    return *this;
  }
  ImageBuilder& putU32(std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) bytes.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
    return *this;
  }
  // A header of `length` bytes: signature, version, then zeros with the
  // total length and the word at 48 filled in by finish().
  static ImageBuilder header(std::uint32_t version, std::size_t length = 204) {
    ImageBuilder b;
    b.raw({0x57, 0x45, 0x58, 0x44}).u32(version).zeros(length - 8);
    if (length >= 52) b.putU32(48, static_cast<std::uint32_t>(length));
    return b;
  }
  std::vector<std::uint8_t> finish() {
    putU32(8, static_cast<std::uint32_t>(bytes.size()));
    return bytes;
  }
};
