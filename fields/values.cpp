// The value readers shared by the editor's command line and its form.
#include "fields/values.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "fields/numbers.h"

void parseDottedQuad(const char* text, std::uint8_t address[4]) {
  std::memset(address, 0, 4);
  address[0] = static_cast<std::uint8_t>(convertLong32(text) & 0xFF);
  const char* part = text;
  for (int i = 1; i < 4; ++i) {
    const char* dot = std::strchr(part, '.');
    if (dot == nullptr) return;
    part = dot + 1;
    address[i] = static_cast<std::uint8_t>(convertLong32(part) & 0xFF);
  }
}

namespace {

// Finds the four separators of a security ID. The search starts at the
// second character so that a leading "-" stays the first number's sign.
int findSidSeparators(const std::string& text, std::size_t separators[4]) {
  std::size_t from = text.empty() ? 0 : 1;
  for (int i = 0; i < 4; ++i) {
    const std::size_t at = text.find('-', from);
    if (at == std::string::npos) return SidTooFewFields;
    separators[i] = at;
    from = at + 1;
  }
  if (text.find('-', from) != std::string::npos) return SidTooManyFields;
  return 0;
}

}  // namespace

int parseSid(const char* text, ImageSafeDataStruct* record) {
  const std::string copy = text;
  std::size_t separators[4] = {};
  const int status = findSidSeparators(copy, separators);
  if (status == SidTooFewFields) {
    std::fputs("Invalid SID -- Not enough fields or invalid separator\n", stdout);
    return status;
  }
  if (status == SidTooManyFields) {
    std::fputs("Invalid SID -- Too many fields\n", stdout);
    return status;
  }
  std::uint32_t numbers[5] = {};
  std::size_t start = 0;
  for (std::size_t i = 0; i < 5; ++i) {
    const std::size_t end = i < 4 ? separators[i] : copy.size();
    const std::string field = copy.substr(start, end - start);
    numbers[i] = convertUnsigned32(field.c_str());
    if (numbers[i] == 0 && (field.empty() || field[0] != '0')) {
      std::fputs("Invalid SID -- Invalid data in one of the fields\n", stdout);
      return SidBadNumber;
    }
    start = end + 1;
  }
  std::memcpy(record->sid, numbers, sizeof numbers);
  return 0;
}

void applyFlag(ImageSafeDataStruct* record, std::uint32_t bit, std::string& value) {
  if (!value.empty() && (value[0] == 't' || value[0] == 'T')) {
    record->flags |= bit;
    value = "true";
  }
  if (!value.empty() && (value[0] == 'f' || value[0] == 'F')) {
    record->flags &= ~bit;
    value = "false";
  }
}

void applyDhcp(ImageSafeDataStruct* record, const std::string& value) {
  if (strcasecmp(value.c_str(), "off") == 0) record->DHCP = 0;
  if (strcasecmp(value.c_str(), "on") == 0) record->DHCP = 1;
}
