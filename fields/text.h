// Record texts and numbers as both front ends read, store and show them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "store/record.h"

// How typed and shown text maps to the record's 16-bit units.
enum class TextCoding {
  Bytes,  // each byte is the unit of the same value, and back (exact for Latin-1 terminals)
  Utf8,   // UTF-8 on the terminal, UTF-16 in the record
};

// Chosen once at start-up, after setlocale: Utf8 when the locale's codeset is
// UTF-8, else Bytes. Until then (and in tests that set none) it is Bytes.
void chooseTextCoding();
void setTextCoding(TextCoding coding);
TextCoding textCoding();

// The record text as UTF-8 whatever the locale: every unit up to the zero
// unit, a surrogate pair as one character, a unit that is no valid UTF-16
// (a lone surrogate) as U+FFFD. An absent text gives the empty string.
std::string wideToUtf8(const std::uint8_t* wide);

// True when the value can be stored under the current coding: always for
// Bytes, only valid UTF-8 for Utf8.
bool storableFieldText(const std::string& value);

// The form of a record text that is printed and shown (a line, a script value,
// a panel row, a form entry). Under Utf8 it is wideToUtf8. Under Bytes it is
// the low byte of each unit, up to the first unit whose low byte is zero:
// every such form is a C string, so a text ends there for all of them alike.
std::string fieldText(const std::uint8_t* wide);

// True when the record holds a text in this buffer, even one whose 8-bit form
// is empty (a first unit such as 0x0100). The screens show "Not found" only
// for a text that is not there at all.
bool hasFieldText(const std::uint8_t* wide);

// Convert `value` into a text buffer of `capacity` bytes under the current
// coding, clearing the rest of the buffer. A value longer than the buffer
// holds (capacity / 2 - 1 units) is cut to fit, never inside a character.
// Returns the text as stored, in its shown form; a record without buffers
// takes nothing and gives the empty string. The value ends at a zero byte.
std::string storeFieldText(std::uint8_t* buffer, std::size_t capacity, const std::string& value);

// The four address bytes in their stored order as "%d.%d.%d.%d".
std::string dottedQuad(const std::uint8_t address[IsdAddressBytes]);

// The five security ID numbers as unsigned 32-bit values joined by "-".
std::string sidText(const std::uint32_t sid[IsdSidWords]);

// A workstation object name split at its first ".": the object, and the
// context after the dot (hasContext false when the name holds no ".").
struct SplitName {
  std::string object;
  std::string context;
  bool hasContext;
};
SplitName splitObjectName(const std::string& name);

// How many DNS server entries a reader may list for the stored count: the
// count, held at the 32 entries the record has.
std::size_t listedDnsServers(const ImageSafeDataStruct* record);
