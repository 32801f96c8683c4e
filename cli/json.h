// A tiny writer of JSON text: strings escaped and always valid UTF-8,
// numbers, and the literals.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// `text` as a JSON string between double quotes. The quote, the backslash
// and control characters are escaped; bytes that do not form valid UTF-8 (a
// device path can hold any bytes) each become U+FFFD, so the output is valid
// UTF-8 whatever the input.
std::string jsonString(const std::string& text);
std::string jsonString(const char* text);  // null gives null

std::string jsonNumber(std::int64_t value);
std::string jsonNumber(std::uint64_t value);
inline std::string jsonBool(bool value) { return value ? "true" : "false"; }
inline constexpr const char* JsonNull = "null";
// The values (each JSON text already) as a JSON array.
std::string jsonArray(const std::vector<std::string>& values);
