// Reading typed values into the record. A value is taken as typed or refused:
// a refused value leaves its field unchanged.
#pragma once

#include <cstdint>
#include <string>

#include "fields/fields.h"
#include "store/record.h"

inline constexpr int SidTooFewFields = 1;
inline constexpr int SidBadNumber = 2;
inline constexpr int SidTooManyFields = 3;

// Four decimal numbers from 0 to 255 joined by dots, blanks around the whole
// text ignored, stored in written order ("10.1.2.3" gives 10, 1, 2, 3).
// Returns false and leaves the address unchanged for any other text.
bool parseDottedQuad(const char* text, std::uint8_t address[IsdAddressBytes]);

// Five numbers joined by "-" into the record's `sid`; 0 on success, else one
// of the Sid results and the record unchanged. A number with a sign or above
// 4294967295 is invalid data.
int parseSid(const char* text, ImageSafeDataStruct* record);
// The line the editor prints on standard output for parseSid's `status`
// ("Invalid SID -- ..."); empty for 0.
const char* sidRefusalLine(int status);

// Only the first character counts: "t" or "T" sets the bit and the value
// reads "true", "f" or "F" clears it and the value reads "false". Any other
// value, the empty one included, is refused: false, bit and value unchanged.
bool applyFlag(ImageSafeDataStruct* record, std::uint32_t bit, std::string& value);

// "on" or "off" in any case; any other value is refused (false, DHCP unchanged).
bool applyDhcp(ImageSafeDataStruct* record, const std::string& value);

// A decimal number from 0 to the 32 entries the record holds, blanks around
// it ignored; false for anything else.
bool readDnsServerCount(const std::string& value, std::uint32_t* count);

// What a value of this kind must look like, for the line that refuses one.
const char* expectedValue(ValueKind kind);
