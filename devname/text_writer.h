// Building result texts in the caller's buffer without the printf family:
// nothing here allocates or depends on the locale.
#ifndef DEVNAME_TEXT_WRITER_H
#define DEVNAME_TEXT_WRITER_H

#include <cstddef>
#include <cstdint>
#include <cstring>

// Appends at most limit bytes of text at out and returns the new end; no
// terminator is written.
inline char* appendText(char* out, const char* text, std::size_t limit) {
  const std::size_t length = strnlen(text, limit);
  std::memcpy(out, text, length);
  return out + length;
}

// Appends value in upper-case hexadecimal, with leading zeros up to
// minDigits digits, and returns the new end.
inline char* appendHex(char* out, uint32_t value, unsigned minDigits) {
  unsigned digits = 1;
  while (digits < 8 && (value >> (4 * digits)) != 0) {
    ++digits;
  }
  digits = digits < minDigits ? minDigits : digits;
  for (unsigned i = digits; i > 0; --i) {
    *out++ = "0123456789ABCDEF"[(value >> (4 * (i - 1))) & 0xFu];
  }
  return out;
}

// Ends a length-checked call: copies as much of the finished text (length
// bytes, no terminator needed) as fits in a caller's buffer of size bytes,
// always terminated, and returns the full length, as snprintf does. A size of
// 0 or a null buffer receives nothing.
inline std::size_t copyBounded(char* buffer, std::size_t size, const char* text, std::size_t length) {
  if (buffer != nullptr && size > 0) {
    const std::size_t kept = length < size ? length : size - 1;
    std::memcpy(buffer, text, kept);
    buffer[kept] = '\0';
  }
  return length;
}

#endif
