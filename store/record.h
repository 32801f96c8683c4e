// The image-safe data record in memory: a 204-byte header laid out exactly as
// it is stored, followed by the eight text buffers that the record owns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Where the record lives on every raw disk, and the lengths of its stored form.
inline constexpr std::uint32_t IsdStoreOffset = 2560;
inline constexpr std::uint32_t IsdHeaderLength = 204;
inline constexpr std::uint32_t IsdTextCount = 8;
inline constexpr std::uint32_t IsdWordBytes = 4;  // a stored 32-bit word, such as the length before each text
inline constexpr std::uint32_t IsdEmptyLength = IsdHeaderLength + IsdTextCount * IsdWordBytes;
inline constexpr std::uint32_t IsdCurrentVersion = 5;

// Status codes of the store operations (0 is success).
inline constexpr int IsdNoDevice = -1003;     // no usable disk
inline constexpr int IsdNoStore = -318;       // no usable disk holds a record
inline constexpr int IsdWriteFailed = -1004;  // a usable disk did not take the whole write and sync
inline constexpr int IsdRefused = -1005;      // a disk holds someone else's data where the record goes
inline constexpr int IsdNoMemory = -1006;     // memory for the record or its stored image could not be had
inline constexpr int IsdLockTimeout = -1007;  // another run kept the disks locked for the whole wait
inline constexpr int IsdReadFailed = -1008;   // no record found, and a usable disk could not be read

// The four signature bytes at the start of every stored record ("WEXD").
inline constexpr std::uint32_t IsdSignatureLength = 4;
inline constexpr std::uint8_t IsdSignature[IsdSignatureLength] = {0x57, 0x45, 0x58, 0x44};

// Bits of `flags`; every other bit is carried unchanged.
inline constexpr std::uint32_t IsdFlagJustImaged = 0x1;
inline constexpr std::uint32_t IsdFlagScriptedImage = 0x4;

inline constexpr std::size_t IsdDnsServerSlots = 32;
inline constexpr std::size_t IsdAddressBytes = 4;  // an IPv4 address, in network order
inline constexpr std::size_t IsdSidWords = 5;

// Capacities in bytes of the eight text buffers; a buffer of N bytes holds at
// most N/2 - 1 characters plus the zero unit.
inline constexpr std::size_t IsdCapWsDN = 514;
inline constexpr std::size_t IsdCapWsTree = 66;
inline constexpr std::size_t IsdCapNetbiosName = 32;
inline constexpr std::size_t IsdCapWorkgroup = 36;
inline constexpr std::size_t IsdCapLastBaseImage = 1024;
inline constexpr std::size_t IsdCapDnsSuffix = 312;
inline constexpr std::size_t IsdCapDnsHostname = 128;
inline constexpr std::size_t IsdCapWsID = 258;

// The first 204 bytes are the header, every field at its stored offset (the
// 64-bit field falls on offset 40, aligned on 32- and 64-bit builds alike).
struct ImageSafeDataStruct {
  std::uint8_t signature[IsdSignatureLength];
  std::uint32_t version;
  std::uint32_t totalLength;
  std::uint32_t flags;
  std::int32_t DHCP;
  std::uint8_t ipAddress[IsdAddressBytes];
  std::uint8_t gateway[IsdAddressBytes];
  std::uint8_t subnet[IsdAddressBytes];
  std::int32_t lastBaseImageTime;
  std::int32_t advScript;
  std::int64_t lastBaseImageSize;
  std::uint32_t structLength;
  std::uint32_t sid[IsdSidWords];
  std::uint32_t dnsServerCount;
  std::uint8_t dnsServer[IsdDnsServerSlots][IsdAddressBytes];

  // Text buffers: 16-bit little-endian units, zero-terminated, zero-filled
  // behind the terminator. Null when the record has no buffers.
  std::uint8_t* wsDN;
  std::uint8_t* wsTree;
  std::uint8_t* netbiosName;
  std::uint8_t* workgroup;
  std::uint8_t* lastBaseImage;
  std::uint8_t* dnsSuffix;
  std::uint8_t* dnsHostname;
  std::uint8_t* wsID;
};

// The eight texts in their stored order, with their capacities and the first
// version whose records carry them (an older record ends its texts before).
struct IsdTextField {
  const char* name;
  std::uint8_t* ImageSafeDataStruct::*buffer;
  std::size_t capacity;
  std::uint32_t sinceVersion;
};
inline constexpr IsdTextField IsdTextFields[IsdTextCount] = {
    {"wsDN", &ImageSafeDataStruct::wsDN, IsdCapWsDN, 0},
    {"wsTree", &ImageSafeDataStruct::wsTree, IsdCapWsTree, 0},
    {"netbiosName", &ImageSafeDataStruct::netbiosName, IsdCapNetbiosName, 0},
    {"workgroup", &ImageSafeDataStruct::workgroup, IsdCapWorkgroup, 0},
    {"lastBaseImage", &ImageSafeDataStruct::lastBaseImage, IsdCapLastBaseImage, 0},
    {"dnsSuffix", &ImageSafeDataStruct::dnsSuffix, IsdCapDnsSuffix, 4},
    {"dnsHostname", &ImageSafeDataStruct::dnsHostname, IsdCapDnsHostname, 4},
    {"wsID", &ImageSafeDataStruct::wsID, IsdCapWsID, 5},
};

// True when a record of `version` carries `field` among its stored texts.
constexpr bool isdCarriesText(std::uint32_t version, const IsdTextField& field) {
  return version >= field.sinceVersion;
}

// The header's fields in their stored order: where each lies in the stored
// form, the width of one element (each stored little-endian) and how many
// elements it has; then where its member lies in memory. record.cpp checks
// that both agree, so the header lies in memory exactly as it is stored.
struct IsdHeaderField {
  const char* name;
  std::size_t offset;
  std::size_t width;
  std::size_t count;
  std::size_t memberOffset;  // where the member lies in ImageSafeDataStruct
  std::size_t memberSize;
};
inline constexpr IsdHeaderField IsdHeaderFields[] = {
    {"signature", 0, 1, IsdSignatureLength, offsetof(ImageSafeDataStruct, signature),
     sizeof ImageSafeDataStruct::signature},
    {"version", 4, 4, 1, offsetof(ImageSafeDataStruct, version), sizeof ImageSafeDataStruct::version},
    {"totalLength", 8, 4, 1, offsetof(ImageSafeDataStruct, totalLength),
     sizeof ImageSafeDataStruct::totalLength},
    {"flags", 12, 4, 1, offsetof(ImageSafeDataStruct, flags), sizeof ImageSafeDataStruct::flags},
    {"DHCP", 16, 4, 1, offsetof(ImageSafeDataStruct, DHCP), sizeof ImageSafeDataStruct::DHCP},
    {"ipAddress", 20, 1, IsdAddressBytes, offsetof(ImageSafeDataStruct, ipAddress),
     sizeof ImageSafeDataStruct::ipAddress},
    {"gateway", 24, 1, IsdAddressBytes, offsetof(ImageSafeDataStruct, gateway),
     sizeof ImageSafeDataStruct::gateway},
    {"subnet", 28, 1, IsdAddressBytes, offsetof(ImageSafeDataStruct, subnet),
     sizeof ImageSafeDataStruct::subnet},
    {"lastBaseImageTime", 32, 4, 1, offsetof(ImageSafeDataStruct, lastBaseImageTime),
     sizeof ImageSafeDataStruct::lastBaseImageTime},
    {"advScript", 36, 4, 1, offsetof(ImageSafeDataStruct, advScript), sizeof ImageSafeDataStruct::advScript},
    {"lastBaseImageSize", 40, 8, 1, offsetof(ImageSafeDataStruct, lastBaseImageSize),
     sizeof ImageSafeDataStruct::lastBaseImageSize},
    {"structLength", 48, 4, 1, offsetof(ImageSafeDataStruct, structLength),
     sizeof ImageSafeDataStruct::structLength},
    {"sid", 52, 4, IsdSidWords, offsetof(ImageSafeDataStruct, sid), sizeof ImageSafeDataStruct::sid},
    {"dnsServerCount", 72, 4, 1, offsetof(ImageSafeDataStruct, dnsServerCount),
     sizeof ImageSafeDataStruct::dnsServerCount},
    {"dnsServer", 76, 1, (IsdAddressBytes * IsdDnsServerSlots), offsetof(ImageSafeDataStruct, dnsServer),
     sizeof ImageSafeDataStruct::dnsServer},
};

// The stored offset of the header field `name`; the header's length for a
// name the table does not hold (which the uses below reject at compile time).
constexpr std::size_t isdHeaderOffset(std::string_view name) {
  for (const IsdHeaderField& field : IsdHeaderFields)
    if (name == field.name) return field.offset;
  return IsdHeaderLength;
}

// Offsets of the header words that are read without decoding the whole header.
inline constexpr std::size_t IsdVersionOffset = isdHeaderOffset("version");
inline constexpr std::size_t IsdTotalLengthOffset = isdHeaderOffset("totalLength");
// Also where the texts start, taken whole.
inline constexpr std::size_t IsdStructLengthOffset = isdHeaderOffset("structLength");
static_assert(IsdVersionOffset < IsdHeaderLength && IsdTotalLengthOffset < IsdHeaderLength &&
              IsdStructLengthOffset < IsdHeaderLength);

// Make the header the empty current-version header; the texts are untouched.
void isdReset(ImageSafeDataStruct* record);
// Reset, then give the record eight zero-filled buffers (reusing any it has).
// The buffers belong to the record until isdRelease (or isdSave) frees them.
// Returns false only when memory could not be had; the record then has no buffers.
bool isdCreate(ImageSafeDataStruct* record);
// Free the eight buffers the record owns; the header keeps its values.
void isdRelease(ImageSafeDataStruct* record);

// Byte length of a 16-bit text before its first zero unit; 0 for no text.
std::size_t wideLength(const std::uint8_t* text);
// Widen an 8-bit text byte for byte; dest (the caller's) needs 2n + 2 bytes.
std::uint8_t* narrowToWide(std::uint8_t* dest, const char* text);
// Narrow a 16-bit text by keeping each unit's low byte; dest (the caller's)
// needs n + 1 bytes.
char* wideToNarrow(char* dest, const std::uint8_t* text);

// Owns a record's buffers for a scope: releases them on the way out.
class IsdRecordBuffers {
 public:
  explicit IsdRecordBuffers(ImageSafeDataStruct* record) : record_(record) {}
  ~IsdRecordBuffers() { isdRelease(record_); }
  IsdRecordBuffers(const IsdRecordBuffers&) = delete;
  IsdRecordBuffers& operator=(const IsdRecordBuffers&) = delete;

 private:
  ImageSafeDataStruct* record_;
};
