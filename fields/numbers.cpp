// Decimal conversions shared by the parsers and the editor.
#include "fields/numbers.h"

#include <cctype>

namespace {

struct Magnitude {
  bool sign = false;  // a "+" or "-" came before the digits
  bool negative = false;
  bool overflow = false;  // more than 32 bits of magnitude
  std::uint64_t value = 0;
};

// Reads white space, sign and digits; the magnitude saturates just above
// 32 bits so that very long digit strings cannot overflow.
Magnitude readDecimal(const char* text) {
  Magnitude result;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  while (std::isspace(*p)) ++p;
  if (*p == '+' || *p == '-') {
    result.sign = true;
    result.negative = *p == '-';
    ++p;
  }
  for (; std::isdigit(*p); ++p) {
    result.value = result.value * 10 + static_cast<std::uint64_t>(*p - '0');
    if (result.value > 0xFFFFFFFFull) {
      result.overflow = true;
      result.value = 0x100000000ull;
    }
  }
  return result;
}

}  // namespace

std::int32_t convertLong32(const char* text) {
  const Magnitude m = readDecimal(text);
  if (m.negative) {
    if (m.value > 0x80000000ull) return INT32_MIN;
    return static_cast<std::int32_t>(-static_cast<std::int64_t>(m.value));
  }
  if (m.value > 0x7FFFFFFFull) return INT32_MAX;
  return static_cast<std::int32_t>(m.value);
}

std::uint32_t convertUnsigned32(const char* text) {
  const Magnitude m = readDecimal(text);
  if (m.overflow) return 0xFFFFFFFFu;
  const auto value = static_cast<std::uint32_t>(m.value);
  return m.negative ? static_cast<std::uint32_t>(0u - value) : value;
}

bool unsignedFits32(const char* text) {
  const Magnitude m = readDecimal(text);
  return !m.sign && !m.overflow;
}
