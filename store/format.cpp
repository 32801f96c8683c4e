#include "store/format.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

#include "store/bytes.h"

namespace {

// One header element of `width` bytes between its in-memory form and its
// stored little-endian form.
void encodeElement(const std::uint8_t* member, std::size_t width, std::uint8_t* out) {
  if (width == 8) {
    std::uint64_t value;
    std::memcpy(&value, member, sizeof value);
    isdPutU64(out, value);
  } else if (width == 4) {
    std::uint32_t value;
    std::memcpy(&value, member, sizeof value);
    isdPutU32(out, value);
  } else {
    *out = *member;
  }
}

void decodeElement(const std::uint8_t* in, std::size_t width, std::uint8_t* member) {
  if (width == 8) {
    const std::uint64_t value = isdGetU64(in);
    std::memcpy(member, &value, sizeof value);
  } else if (width == 4) {
    const std::uint32_t value = isdGetU32(in);
    std::memcpy(member, &value, sizeof value);
  } else {
    *member = *in;
  }
}

// The header in its stored byte form, field by field as the header table lays it out.
void encodeHeader(const ImageSafeDataStruct& record, std::uint8_t* out) {
  const auto* members = reinterpret_cast<const std::uint8_t*>(&record);
  for (const IsdHeaderField& field : IsdHeaderFields) {
    for (std::size_t i = 0; i < field.count; ++i) {
      const std::size_t step = i * field.width;
      encodeElement(members + field.memberOffset + step, field.width, out + field.offset + step);
    }
  }
}

void decodeHeader(const std::uint8_t* in, ImageSafeDataStruct& record) {
  auto* members = reinterpret_cast<std::uint8_t*>(&record);
  for (const IsdHeaderField& field : IsdHeaderFields) {
    for (std::size_t i = 0; i < field.count; ++i) {
      const std::size_t step = i * field.width;
      decodeElement(in + field.offset + step, field.width, members + field.memberOffset + step);
    }
  }
}

void clearText(ImageSafeDataStruct& record, const IsdTextField& field) {
  if (std::uint8_t* buffer = record.*field.buffer) std::memset(buffer, 0, field.capacity);
}

void clearTexts(ImageSafeDataStruct& record) {
  for (const IsdTextField& field : IsdTextFields) clearText(record, field);
}

// Length of a text as it will be stored: the units before the first zero
// unit, never more than its buffer can hold with its terminator.
std::uint32_t storedTextLength(const ImageSafeDataStruct& record, const IsdTextField& field) {
  const std::uint8_t* buffer = record.*field.buffer;
  if (buffer == nullptr) return 0;
  std::size_t length = 0;
  while (length + 2 < field.capacity && (buffer[length] != 0 || buffer[length + 1] != 0)) length += 2;
  return static_cast<std::uint32_t>(length);
}

// Bring an old record up to the current field set. Returns false when the
// version is too old to keep anything, after making the record empty.
bool upgrade(ImageSafeDataStruct& record) {
  switch (record.version) {
    case 0:
    case 1:
      isdReset(&record);
      clearTexts(record);
      return false;
    case 2:
      record.structLength = IsdHeaderLength;
      std::memset(record.sid, 0, sizeof record.sid);
      [[fallthrough]];
    case 3:
      record.dnsServerCount = 0;
      std::memset(record.dnsServer, 0, sizeof record.dnsServer);
      break;
    default: break;
  }
  for (const IsdTextField& field : IsdTextFields)
    if (!isdCarriesText(record.version, field)) clearText(record, field);
  return true;
}

// Read the texts from `position` on. A length word or text that would lie
// past the end of the image ends the reading; the texts not reached stay empty.
void parseTexts(const std::uint8_t* image, std::size_t length, std::uint64_t position,
                ImageSafeDataStruct& record) {
  for (const IsdTextField& field : IsdTextFields) {
    if (!isdCarriesText(record.version, field)) break;
    clearText(record, field);
    if (position + IsdWordBytes > length) continue;
    const std::uint32_t textLength = isdGetU32(image + position);
    position += IsdWordBytes;
    if (textLength < 1 || textLength > field.capacity - 1) continue;  // refused: text stays empty
    if (position + textLength > length) {
      position = length;  // the text runs past the image: nothing more can be read
      continue;
    }
    // An odd length of capacity - 1 would leave half a unit in the buffer's
    // last unit and no terminator; that dangling byte is dropped.
    const std::size_t copied = std::min<std::size_t>(textLength, field.capacity - 2);
    if (std::uint8_t* buffer = record.*field.buffer) std::memcpy(buffer, image + position, copied);
    position += textLength;
  }
}

}  // namespace

IsdSignatureState isdSignatureStateOf(const std::uint8_t* bytes) {
  if (std::memcmp(bytes, IsdSignature, sizeof IsdSignature) == 0) return IsdSignatureState::Complete;
  if (std::memcmp(bytes, IsdUnfinishedSignature, sizeof IsdUnfinishedSignature) == 0)
    return IsdSignatureState::Unfinished;
  for (std::size_t i = 0; i < sizeof IsdSignature; ++i) {
    if (bytes[i] != 0 && bytes[i] != IsdSignature[i] && bytes[i] != IsdUnfinishedSignature[i])
      return IsdSignatureState::Foreign;
  }
  return IsdSignatureState::Vacant;
}

bool isdFramingAddsUp(const std::uint8_t* image, std::size_t length) {
  if (length < IsdHeaderLength) return false;
  const std::uint32_t version = isdGetU32(image + IsdVersionOffset);
  const std::uint32_t total = isdGetU32(image + IsdTotalLengthOffset);
  const std::uint32_t textStart = isdGetU32(image + IsdStructLengthOffset);
  if (version < 2 || version > IsdCurrentVersion || total > length || textStart < IsdOldHeaderLength ||
      textStart > total)
    return false;
  std::uint64_t position = textStart;
  for (const IsdTextField& field : IsdTextFields) {
    if (!isdCarriesText(version, field)) break;
    if (position + IsdWordBytes > total) return false;
    const std::uint32_t textLength = isdGetU32(image + position);
    if (textLength > field.capacity - 1) return false;
    position += IsdWordBytes + std::uint64_t{textLength};
  }
  return position == total;
}

std::size_t isdStoredLength(const std::uint8_t* image, std::size_t length, std::size_t longest) {
  if (length < IsdTotalLengthOffset + IsdWordBytes) return 0;
  return std::min<std::size_t>(isdGetU32(image + IsdTotalLengthOffset), longest);
}

bool isdWellFormed(const std::uint8_t* image, std::size_t length) {
  if (!isdFramingAddsUp(image, length)) return false;
  // Version 2 kept the header up to structLength, version 3 added the SID,
  // version 4 the DNS servers: the texts start no earlier than that.
  const std::uint32_t version = isdGetU32(image + IsdVersionOffset);
  const std::uint32_t textStart = isdGetU32(image + IsdStructLengthOffset);
  const std::size_t least = version >= 4   ? IsdHeaderLength
                            : version == 3 ? isdHeaderOffset("dnsServerCount")
                                           : IsdOldHeaderLength;
  return textStart >= least;
}

bool isdCompleteRecord(const std::uint8_t* store, std::size_t length) {
  if (length < IsdHeaderLength || isdSignatureStateOf(store) != IsdSignatureState::Complete) return false;
  const std::size_t stored = isdStoredLength(store, length);
  return stored <= length && isdWellFormed(store, stored);
}

std::size_t isdFramedLength(const std::uint8_t* image, std::size_t length) {
  if (length < IsdHeaderLength) return length;
  const std::uint32_t version = isdGetU32(image + IsdVersionOffset);
  const std::uint32_t textStart = isdGetU32(image + IsdStructLengthOffset);
  if (version < 2 || textStart < IsdOldHeaderLength || textStart >= length) return IsdHeaderLength;
  std::uint64_t position = textStart;
  for (const IsdTextField& field : IsdTextFields) {
    if (version <= IsdCurrentVersion && !isdCarriesText(version, field)) break;
    if (position + IsdWordBytes > length) return length;
    const std::uint32_t textLength = isdGetU32(image + position);
    position += IsdWordBytes;
    if (textLength >= 1 && textLength <= field.capacity - 1) position += textLength;
  }
  return static_cast<std::size_t>(std::clamp<std::uint64_t>(position, IsdHeaderLength, length));
}

std::size_t isdLongestRecord(const std::uint8_t* image, std::size_t length) {
  std::size_t header = IsdHeaderLength;
  if (length >= IsdStructLengthOffset + IsdWordBytes) {
    const std::uint32_t word = isdGetU32(image + IsdStructLengthOffset);
    if (word > IsdHeaderLength && word <= IsdMaxImageLength) header = word;
  }
  std::size_t longest = header + IsdWordBytes * std::size(IsdTextFields);
  for (const IsdTextField& field : IsdTextFields) longest += field.capacity - 1;
  return longest;
}

IsdImage isdSerialize(ImageSafeDataStruct* record) {
  std::uint32_t lengths[std::size(IsdTextFields)];
  std::uint32_t total = IsdEmptyLength;
  for (std::size_t i = 0; i < std::size(IsdTextFields); ++i) {
    lengths[i] = storedTextLength(*record, IsdTextFields[i]);
    total += lengths[i];
  }
  std::memcpy(record->signature, IsdSignature, sizeof IsdSignature);
  record->version = IsdCurrentVersion;
  record->structLength = IsdHeaderLength;
  record->totalLength = total;

  IsdImage image;
  image.bytes.reset(new (std::nothrow) std::uint8_t[total]);
  if (!image.bytes) return image;
  image.length = total;
  std::uint8_t* out = image.bytes.get();
  encodeHeader(*record, out);
  std::size_t position = IsdHeaderLength;
  for (std::size_t i = 0; i < std::size(IsdTextFields); ++i) {
    isdPutU32(out + position, lengths[i]);
    position += IsdWordBytes;
    if (lengths[i] != 0) std::memcpy(out + position, record->*IsdTextFields[i].buffer, lengths[i]);
    position += lengths[i];
  }
  return image;
}

void isdParse(const std::uint8_t* image, std::size_t length, ImageSafeDataStruct* record) {
  if (image == nullptr) return;
  if (length < IsdVersionOffset + IsdWordBytes) {
    // Too short to carry a version: read as the oldest form, of which nothing survives.
    isdReset(record);
    clearTexts(*record);
    return;
  }
  const std::uint32_t storedVersion = isdGetU32(image + IsdVersionOffset);
  const bool hasStructLength = length >= IsdStructLengthOffset + IsdWordBytes;
  const std::uint32_t structWord = hasStructLength ? isdGetU32(image + IsdStructLengthOffset) : 0;

  // Lay the stored header bytes over the record's own header.
  std::size_t taken =
      storedVersion <= 2 ? IsdOldHeaderLength : std::min<std::size_t>(structWord, IsdHeaderLength);
  taken = std::min(taken, length);
  std::uint8_t header[IsdHeaderLength];
  encodeHeader(*record, header);
  std::memcpy(header, image, taken);
  decodeHeader(header, *record);

  if (!upgrade(*record)) return;
  // The texts start where the stored header says it ends, taken whole, so a
  // longer header of a later version is skipped.
  if (!hasStructLength) {
    clearTexts(*record);
    return;
  }
  parseTexts(image, length, structWord, *record);
}
