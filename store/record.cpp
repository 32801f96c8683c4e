#include "store/record.h"

#include <cstddef>
#include <cstring>
#include <new>

// The header must lie in memory exactly as it is stored, on 32- and 64-bit builds alike.
static_assert(offsetof(ImageSafeDataStruct, signature) == 0);
static_assert(offsetof(ImageSafeDataStruct, version) == 4);
static_assert(offsetof(ImageSafeDataStruct, totalLength) == 8);
static_assert(offsetof(ImageSafeDataStruct, flags) == 12);
static_assert(offsetof(ImageSafeDataStruct, DHCP) == 16);
static_assert(offsetof(ImageSafeDataStruct, ipAddress) == 20);
static_assert(offsetof(ImageSafeDataStruct, gateway) == 24);
static_assert(offsetof(ImageSafeDataStruct, subnet) == 28);
static_assert(offsetof(ImageSafeDataStruct, lastBaseImageTime) == 32);
static_assert(offsetof(ImageSafeDataStruct, advScript) == 36);
static_assert(offsetof(ImageSafeDataStruct, lastBaseImageSize) == 40);
static_assert(offsetof(ImageSafeDataStruct, structLength) == 48);
static_assert(offsetof(ImageSafeDataStruct, sid) == 52);
static_assert(offsetof(ImageSafeDataStruct, dnsServerCount) == 72);
static_assert(offsetof(ImageSafeDataStruct, dnsServer) == 76);
static_assert(offsetof(ImageSafeDataStruct, dnsServer) + sizeof(ImageSafeDataStruct::dnsServer) ==
              IsdHeaderLength);
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
