// Record texts and numbers as both front ends read, store and show them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "store/record.h"

// The 8-bit form of a record text: the low byte of each unit, up to the first
// unit whose low byte is zero. Every form the program prints or shows a text
// in (a line, a script value, a panel row, a form entry) is a C string, so a
// text ends there for all of them alike. An absent text gives the empty string.
std::string fieldText(const std::uint8_t* wide);

// True when the record holds a text in this buffer, even one whose 8-bit form
// is empty (a first unit such as 0x0100). The screens show "Not found" only
// for a text that is not there at all.
bool hasFieldText(const std::uint8_t* wide);

// Widen `value` into a text buffer of `capacity` bytes, clearing the rest of
// the buffer. A value longer than the buffer holds (capacity / 2 - 1
// characters) is cut to fit. Returns the text as stored; a record without
// buffers takes nothing and gives the empty string.
std::string storeFieldText(std::uint8_t* buffer, std::size_t capacity, const std::string& value);

// The four address bytes in their stored order as "%d.%d.%d.%d".
std::string dottedQuad(const std::uint8_t address[4]);

// The five security ID numbers as unsigned 32-bit values joined by "-".
std::string sidText(const std::uint32_t sid[5]);

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
