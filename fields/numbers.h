// Decimal conversions with the C library's strtol/strtoul rules, pinned to
// 32-bit results so that every build reads a number the same way.
#pragma once

#include <cstdint>

// strtol in base 10 with a 32-bit long: leading white space, an optional
// sign, digits up to the first other character; no digits give 0; a value
// outside the 32-bit range is held at INT32_MIN or INT32_MAX.
std::int32_t convertLong32(const char* text);

// strtoul in base 10 with a 32-bit unsigned long: every value 0..4294967295
// is kept whole, a negative value is its two's complement ("-1" is
// 4294967295), and a magnitude beyond 32 bits is held at 4294967295.
std::uint32_t convertUnsigned32(const char* text);

// True when the number convertUnsigned32 reads from the text has no sign and
// fits in 32 bits, so that it is the number as written.
bool unsignedFits32(const char* text);
