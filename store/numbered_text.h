// A text with a number in it, built when compiling, so that a message naming
// a stored offset or count cannot drift from the constant it names.
#pragma once

#include <cstddef>
#include <cstdint>

struct NumberedText {
  char text[160] = {};
};

// `before`, the decimal digits of `number`, then `after`. A text longer than
// the buffer does not compile.
constexpr NumberedText numberedText(const char* before, std::uint64_t number, const char* after) {
  NumberedText out;
  std::size_t at = 0;
  for (const char* p = before; *p != '\0'; ++p) out.text[at++] = *p;
  char digits[20] = {};
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number > 0);
  while (count > 0) out.text[at++] = digits[--count];
  for (const char* p = after; *p != '\0'; ++p) out.text[at++] = *p;
  return out;
}
