#include "store/record.h"

#include <cstddef>
#include <cstring>
#include <iterator>
#include <new>

namespace {

// The header table covers the header without gaps, in stored order, and every
// member lies in memory at its stored offset with its stored size, on 32- and
// 64-bit builds alike.
constexpr bool headerTableMatchesStruct() {
  std::size_t next = 0;
  for (const IsdHeaderField& field : IsdHeaderFields) {
    if (field.offset != next || field.memberOffset != field.offset) return false;
    if (field.width * field.count != field.memberSize) return false;
    if (field.width != 1 && field.width != 4 && field.width != 8) return false;
    next = field.offset + field.memberSize;
  }
  return next == IsdHeaderLength;
}
static_assert(headerTableMatchesStruct());

// Each text's first version is no earlier than the one before it, so that a
// record of any version carries a leading run of the texts.
constexpr bool textVersionsAscend() {
  for (std::size_t i = 1; i < std::size(IsdTextFields); ++i)
    if (IsdTextFields[i].sinceVersion < IsdTextFields[i - 1].sinceVersion) return false;
  return IsdTextFields[std::size(IsdTextFields) - 1].sinceVersion <= IsdCurrentVersion;
}
static_assert(textVersionsAscend());

}  // namespace

static_assert(offsetof(ImageSafeDataStruct, wsDN) >= IsdHeaderLength);

void isdReset(ImageSafeDataStruct* record) {
  std::memset(record, 0, IsdHeaderLength);
  std::memcpy(record->signature, IsdSignature, sizeof IsdSignature);
  record->version = IsdCurrentVersion;
  record->totalLength = IsdEmptyLength;
  record->structLength = IsdHeaderLength;
}

bool isdCreate(ImageSafeDataStruct* record) {
  isdReset(record);
  for (const IsdTextField& field : IsdTextFields) {
    std::uint8_t*& buffer = record->*field.buffer;
    if (buffer == nullptr) buffer = new (std::nothrow) std::uint8_t[field.capacity];
    if (buffer == nullptr) {
      isdRelease(record);
      return false;
    }
    std::memset(buffer, 0, field.capacity);
  }
  return true;
}

void isdRelease(ImageSafeDataStruct* record) {
  for (const IsdTextField& field : IsdTextFields) {
    delete[](record->*field.buffer);
    record->*field.buffer = nullptr;
  }
}

std::size_t wideLength(const std::uint8_t* text) {
  if (text == nullptr) return 0;
  std::size_t length = 0;
  while (text[length] != 0 || text[length + 1] != 0) length += 2;
  return length;
}

std::uint8_t* narrowToWide(std::uint8_t* dest, const char* text) {
  const std::size_t n = std::strlen(text);
  std::memset(dest, 0, 2 * n + 2);
  for (std::size_t i = 0; i < n; ++i) dest[2 * i] = static_cast<std::uint8_t>(text[i]);
  return dest;
}

char* wideToNarrow(char* dest, const std::uint8_t* text) {
  const std::size_t n = wideLength(text) / 2;
  for (std::size_t i = 0; i < n; ++i) dest[i] = static_cast<char>(text[2 * i]);
  dest[n] = '\0';
  return dest;
}
