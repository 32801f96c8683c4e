// The field keyword table shared by both roles, the two matchers and the
// value parsers for dotted addresses and security IDs.
#include "cli/fields.h"

#include <strings.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "cli/numbers.h"

const FieldKeyword fieldKeywords[FieldKeywordCount] = {
    {"J", "JustImaged", FieldKind::JustImaged},
    {"SC", "ScriptedImage", FieldKind::ScriptedImage},
    {"L", "LastBaseImage", FieldKind::LastBaseImage},
    {"O", "ObjectDN", FieldKind::ObjectDN},
    {"T", "Tree", FieldKind::Tree},
    {"N", "NetBIOSName", FieldKind::NetBIOSName},
    {"WorkG", "WorkGroup", FieldKind::WorkGroup},
    {"SI", "SID", FieldKind::SID},
    {"Works", "WorkstationID", FieldKind::WorkstationID},
    {"DH", "DHCP", FieldKind::DHCP},
    {"I", "IP", FieldKind::IP},
    {"Gateway", "Gateway", FieldKind::Gateway},
    {"M", "Mask", FieldKind::Mask},
    // The count must come before the server row: "DNSServer" is a prefix of it.
    {"DNSServerC", "DNSServerCount", FieldKind::DNSServerCount},
    {"DNSServer", nullptr, FieldKind::DNSServer},
    {"DNSSu", "DNSSuffix", FieldKind::DNSSuffix},
    {"DNSH", "DNSHostName", FieldKind::DNSHostName},
};

int matchFieldName(const char* argument, const char* keyword) {
  const std::size_t length = std::strlen(keyword);
  if (std::strlen(argument) < length) return -1;
  return strncasecmp(argument, keyword, length) == 0 ? 0 : -1;
}

int matchAssignment(const char* argument, const char* keyword, std::string& value) {
  value.clear();
  if (matchFieldName(argument, keyword) != 0) return -1;
  const char* equals = std::strchr(argument, '=');
  if (equals == nullptr) return -1;
  const char* rest = equals + 1;
  while (*rest != '\0' && std::isspace(static_cast<unsigned char>(*rest))) ++rest;
  if (*rest == '\0') return 1;
  value = rest;
  return 0;
}

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
