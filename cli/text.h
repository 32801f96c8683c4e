// Moving text between the command line's 8-bit strings and the record's
// 16-bit buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The 8-bit form of a record text (each unit's low byte), up to the first
// zero byte. An absent text gives the empty string.
std::string fieldText(const std::uint8_t* wide);

// Widen `value` into a text buffer of `capacity` bytes, clearing the rest of
// the buffer. A value longer than the buffer holds (capacity / 2 - 1
// characters) is cut to fit. Returns the text as stored; a record without
// buffers takes nothing and gives the empty string.
std::string storeFieldText(std::uint8_t* buffer, std::size_t capacity, const std::string& value);
