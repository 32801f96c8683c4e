// The value readers shared by the editor's command line and its form.
#include "fields/values.h"

#include <strings.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "fields/numbers.h"
#include "store/numbered_text.h"

namespace {

bool isBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string trimmed(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && isBlank(text[begin])) ++begin;
  while (end > begin && isBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// A run of decimal digits at `at` whose value is at most `most`; moves `at`
// past it. Leading zeros are allowed ("010" is ten), no sign is.
bool readBoundedNumber(const std::string& text, std::size_t& at, std::uint32_t most, std::uint32_t* number) {
  const std::size_t start = at;
  std::uint32_t value = 0;
  for (; at < text.size() && isDigit(text[at]); ++at) {
    value = value * 10 + static_cast<std::uint32_t>(text[at] - '0');
    if (value > most) return false;
  }
  if (at == start) return false;
  *number = value;
  return true;
}

}  // namespace

bool parseDottedQuad(const char* text, std::uint8_t address[IsdAddressBytes]) {
  const std::string value = trimmed(text);
  std::uint8_t bytes[IsdAddressBytes] = {};
  std::size_t at = 0;
  for (std::size_t i = 0; i < IsdAddressBytes; ++i) {
    if (i > 0 && (at >= value.size() || value[at++] != '.')) return false;
    std::uint32_t number = 0;
    if (!readBoundedNumber(value, at, 255, &number)) return false;
    bytes[i] = static_cast<std::uint8_t>(number);
  }
  if (at != value.size()) return false;
  std::memcpy(address, bytes, sizeof bytes);
  return true;
}

namespace {

constexpr std::size_t SidSeparators = IsdSidWords - 1;

// Finds the four separators of a security ID. The search starts at the
// second character so that a leading "-" stays the first number's sign.
int findSidSeparators(const std::string& text, std::size_t separators[SidSeparators]) {
  std::size_t from = text.empty() ? 0 : 1;
  for (std::size_t i = 0; i < SidSeparators; ++i) {
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
  std::size_t separators[SidSeparators] = {};
  const int status = findSidSeparators(copy, separators);
  if (status != 0) return status;
  std::uint32_t numbers[IsdSidWords] = {};
  std::size_t start = 0;
  for (std::size_t i = 0; i < IsdSidWords; ++i) {
    const std::size_t end = i < SidSeparators ? separators[i] : copy.size();
    const std::string field = copy.substr(start, end - start);
    numbers[i] = convertUnsigned32(field.c_str());
    // A sign or more than 32 bits would store a number other than the one written.
    const bool invalid =
        !unsignedFits32(field.c_str()) || (numbers[i] == 0 && (field.empty() || field[0] != '0'));
    if (invalid) return SidBadNumber;
    start = end + 1;
  }
  std::memcpy(record->sid, numbers, sizeof numbers);
  return 0;
}

const char* sidRefusalLine(int status) {
  switch (status) {
    case 0: return "";
    case SidTooFewFields: return "Invalid SID -- Not enough fields or invalid separator";
    case SidTooManyFields: return "Invalid SID -- Too many fields";
    default: return "Invalid SID -- Invalid data in one of the fields";
  }
}

bool applyFlag(ImageSafeDataStruct* record, std::uint32_t bit, std::string& value) {
  const char first = value.empty() ? '\0' : value[0];
  if (first == 't' || first == 'T') {
    record->flags |= bit;
    value = "true";
    return true;
  }
  if (first == 'f' || first == 'F') {
    record->flags &= ~bit;
    value = "false";
    return true;
  }
  return false;
}

bool applyDhcp(ImageSafeDataStruct* record, const std::string& value) {
  if (strcasecmp(value.c_str(), "off") == 0) {
    record->DHCP = 0;
  } else if (strcasecmp(value.c_str(), "on") == 0) {
    record->DHCP = 1;
  } else {
    return false;
  }
  return true;
}

bool readDnsServerCount(const std::string& value, std::uint32_t* count) {
  const std::string text = trimmed(value);
  std::size_t at = 0;
  std::uint32_t number = 0;
  if (!readBoundedNumber(text, at, static_cast<std::uint32_t>(IsdDnsServerSlots), &number) ||
      at != text.size())
    return false;
  *count = number;
  return true;
}

namespace {

constexpr NumberedText DnsCountExpected = numberedText("a decimal number from 0 to ", IsdDnsServerSlots, "");

}  // namespace

const char* expectedValue(ValueKind kind) {
  switch (kind) {
    case ValueKind::Flag: return "true or false (the first letter counts: t or f, in any case)";
    case ValueKind::Dhcp: return "on or off";
    case ValueKind::Address:
    case ValueKind::DnsServer: return "four decimal numbers from 0 to 255 joined by dots, such as 10.0.0.5";
    case ValueKind::DnsServerCount: return DnsCountExpected.text;
    case ValueKind::Text: return "text in the terminal's character set (UTF-8)";
    case ValueKind::Sid: break;
  }
  return "a valid value";
}
