// The stored byte form of the record: the 204-byte header followed by eight
// length-prefixed 16-bit texts. Pure codec: bytes in, record out, and back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "store/record.h"

// Largest image the reader ever takes: the header, a later header of at most
// 64 KiB more, and eight texts at full capacity. A stored totalLength above
// this is treated as this many bytes.
inline constexpr std::uint32_t IsdMaxImageLength = 68 * 1024;

struct IsdImage {
  std::unique_ptr<std::uint8_t[]> bytes;
  std::size_t length = 0;
};

// Build the stored image of `record`, stamping signature, version 5,
// structLength 204 and the new totalLength into the record itself.
// The image is empty (null bytes) only when memory could not be had.
IsdImage isdSerialize(ImageSafeDataStruct* record);

// Fill a created record from the `length` bytes of `image`, bringing older
// versions up to the current field set. Never reads outside the image.
void isdParse(const std::uint8_t* image, std::size_t length, ImageSafeDataStruct* record);

// Explicit little-endian helpers shared by the codec and the disk guard.
std::uint32_t isdGetU32(const std::uint8_t* bytes);
void isdPutU32(std::uint8_t* bytes, std::uint32_t value);
