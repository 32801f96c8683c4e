// Reading typed values into the record: dotted addresses, security IDs, the
// flag and DHCP words.
#pragma once

#include <cstdint>
#include <string>

#include "store/record.h"

inline constexpr int SidTooFewFields = 1;
inline constexpr int SidBadNumber = 2;
inline constexpr int SidTooManyFields = 3;

// Parse the dotted IPv4 form into four bytes; never fails.
void parseDottedQuad(const char* text, std::uint8_t address[4]);
int parseSid(const char* text, ImageSafeDataStruct* record);

// Only the first character counts: t sets the bit and reads "true", then a
// value beginning with f clears it and reads "false"; anything else changes
// neither the bit nor the text shown.
void applyFlag(ImageSafeDataStruct* record, std::uint32_t bit, std::string& value);
// "on" or "off" in any case; any other value leaves DHCP as it is.
void applyDhcp(ImageSafeDataStruct* record, const std::string& value);
