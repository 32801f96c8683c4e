// Conversions between command-line text and the record's 16-bit buffers.
#include "cli/text.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "store/record.h"

std::string fieldText(const std::uint8_t* wide) {
  if (wide == nullptr) return {};
  std::vector<char> narrow(wideLength(wide) / 2 + 1);
  wideToNarrow(narrow.data(), wide);
  return std::string(narrow.data());  // a unit whose low byte is zero ends the text
}

std::string storeFieldText(std::uint8_t* buffer, std::size_t capacity, const std::string& value) {
  if (buffer == nullptr || capacity < 2) return {};
  const std::size_t most = capacity / 2 - 1;
  // Cut at the first zero byte as well, so the stored text is what a
  // C string of the value would give.
  std::string stored = value.substr(0, std::min(most, std::strlen(value.c_str())));
  std::memset(buffer, 0, capacity);
  narrowToWide(buffer, stored.c_str());
  return stored;
}
