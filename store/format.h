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

// Versions 0 to 2 kept only the header bytes before the structLength word.
inline constexpr std::size_t IsdOldHeaderLength = IsdStructLengthOffset;

// The mark a save puts where the signature goes while it writes the rest of
// the record ("WEX_"): it differs from the signature in its last byte only, so
// that taking it back is a one-byte change. No reader takes it for a record.
inline constexpr std::uint8_t IsdUnfinishedSignature[IsdSignatureLength] = {0x57, 0x45, 0x58, 0x5F};

// What the four bytes at the store offset say about what follows them.
enum class IsdSignatureState {
  Complete,    // the signature: a whole record, the one form the load takes
  Unfinished,  // the unfinished mark: a save was stopped before it ended
  Vacant,      // zeros, or the signature or the mark partly written or erased
               // (every byte zero or the byte of one of them)
  Foreign,     // anything else
};
// `bytes` holds at least four bytes.
IsdSignatureState isdSignatureStateOf(const std::uint8_t* bytes);

struct IsdImage {
  std::unique_ptr<std::uint8_t[]> bytes;
  std::size_t length = 0;
};

// Build the stored image of `record`, stamping signature, version 5,
// structLength 204 and the new totalLength into the record itself. The caller
// owns the returned image; the record keeps its buffers. The image is empty
// (null bytes) only when memory could not be had.
IsdImage isdSerialize(ImageSafeDataStruct* record);

// Fill a created record from the `length` bytes of `image`, bringing older
// versions up to the current field set. Never reads outside the image. The
// image stays the caller's; the record keeps owning its own buffers.
void isdParse(const std::uint8_t* image, std::size_t length, ImageSafeDataStruct* record);

// True when the `length` bytes of `image` frame a stored record exactly: a
// version from 2 to 5, and length words, walked from the word at offset 48 as
// the reader walks them and each within its text's capacity, that end at the
// stored totalLength, which lies within `length`. The signature is not looked at.
bool isdFramingAddsUp(const std::uint8_t* image, std::size_t length);

// The record's stored total length (the totalLength word), capped at the
// longest record the caller takes: by default IsdMaxImageLength, as far as
// the reader ever takes it. 0 when the `length` bytes end before the word.
std::size_t isdStoredLength(const std::uint8_t* image, std::size_t length,
                            std::size_t longest = IsdMaxImageLength);

// True when the `length` bytes of `image` are a well-formed record: framed
// exactly (isdFramingAddsUp) by a header at least as long as its version's,
// so that a record one flipped bit has damaged is told from one that was
// written so. The signature is not looked at.
bool isdWellFormed(const std::uint8_t* image, std::size_t length);

// True when the `length` bytes at the store offset hold a whole record: the
// signature, then a well-formed record (isdWellFormed) of its stored length,
// every byte of which the `length` bytes hold.
bool isdCompleteRecord(const std::uint8_t* store, std::size_t length);

// How far the reader's walk of the length words of the `length` bytes of
// `image` reaches (a refused length word moves it by the word alone): the
// bytes its framing claims, at least the header, never past `length`.
std::size_t isdFramedLength(const std::uint8_t* image, std::size_t length);

// The longest stored record that the `length` bytes of `image` could frame
// for their header length (the word at offset 48, at least the current 204
// bytes): the header, eight length words and every text at its largest.
std::size_t isdLongestRecord(const std::uint8_t* image, std::size_t length);
