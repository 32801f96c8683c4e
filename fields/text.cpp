// Conversions between 8-bit text and the record's 16-bit buffers, and the
// printed forms of addresses and security IDs.
#include "fields/text.h"

#include <iconv.h>
#include <langinfo.h>
#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

TextCoding currentCoding = TextCoding::Bytes;

// One conversion by the C library's iconv, from `from` to `to`. An input
// sequence that does not convert is replaced by `replacement` (its first
// `skip` bytes are passed over) or, with no replacement, ends the output.
// Returns false when the input did not convert whole.
struct Conversion {
  const char* to;
  const char* from;
  const char* replacement;
  std::size_t skip;
};

bool convert(const Conversion& how, const char* input, std::size_t length, std::string& output) {
  output.clear();
  iconv_t cd = iconv_open(how.to, how.from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  // UTF-8 takes at most 3 bytes a 16-bit unit, UTF-16 at most 2 a byte.
  std::vector<char> buffer(length * 2 + 4);
  char* in = const_cast<char*>(input);
  std::size_t inLeft = length;
  bool whole = true;
  while (inLeft > 0) {
    char* out = buffer.data();
    std::size_t outLeft = buffer.size();
    const std::size_t done = iconv(cd, &in, &inLeft, &out, &outLeft);
    output.append(buffer.data(), static_cast<std::size_t>(out - buffer.data()));
    if (done != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) continue;
    whole = false;
    if (how.replacement == nullptr) break;
    output += how.replacement;
    const std::size_t skip = std::min(how.skip, inLeft);
    in += skip;
    inLeft -= skip;
  }
  iconv_close(cd);
  return whole;
}

bool highSurrogate(const std::uint8_t* unit) { return (unit[1] & 0xFC) == 0xD8; }

}  // namespace

void chooseTextCoding() {
  const char* codeset = nl_langinfo(CODESET);
  const bool utf8 =
      codeset != nullptr && (strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "utf8") == 0);
  currentCoding = utf8 ? TextCoding::Utf8 : TextCoding::Bytes;
}

void setTextCoding(TextCoding coding) { currentCoding = coding; }

TextCoding textCoding() { return currentCoding; }

std::string wideToUtf8(const std::uint8_t* wide) {
  if (wide == nullptr) return {};
  std::string text;
  convert({"UTF-8", "UTF-16LE", "\xEF\xBF\xBD", 2}, reinterpret_cast<const char*>(wide), wideLength(wide),
          text);
  return text;
}

bool storableFieldText(const std::string& value) {
  if (currentCoding == TextCoding::Bytes) return true;
  std::string units;
  return convert({"UTF-16LE", "UTF-8", nullptr, 0}, value.c_str(), std::strlen(value.c_str()), units);
}

std::string fieldText(const std::uint8_t* wide) {
  if (wide == nullptr) return {};
  if (currentCoding == TextCoding::Utf8) return wideToUtf8(wide);
  std::vector<char> narrow(wideLength(wide) / 2 + 1);
  wideToNarrow(narrow.data(), wide);
  return std::string(narrow.data());  // a unit whose low byte is zero ends the text
}

bool hasFieldText(const std::uint8_t* wide) { return wideLength(wide) != 0; }

std::string storeFieldText(std::uint8_t* buffer, std::size_t capacity, const std::string& value) {
  if (buffer == nullptr || capacity < 2) return {};
  const std::size_t most = capacity / 2 - 1;
  std::memset(buffer, 0, capacity);
  if (currentCoding == TextCoding::Utf8) {
    // Text up to a sequence that is no UTF-8 is kept; storableFieldText
    // lets callers refuse such a value first.
    std::string units;
    convert({"UTF-16LE", "UTF-8", nullptr, 0}, value.c_str(), std::strlen(value.c_str()), units);
    std::size_t kept = std::min(most, units.size() / 2);
    // A character above U+FFFF is two units: both fit or neither is kept.
    if (kept > 0 && kept < units.size() / 2 &&
        highSurrogate(reinterpret_cast<const std::uint8_t*>(units.data()) + 2 * (kept - 1)))
      --kept;
    std::memcpy(buffer, units.data(), kept * 2);
    return wideToUtf8(buffer);
  }
  // Cut at the first zero byte as well, so the stored text is what a
  // C string of the value would give.
  std::string stored = value.substr(0, std::min(most, std::strlen(value.c_str())));
  narrowToWide(buffer, stored.c_str());
  return stored;
}

std::string dottedQuad(const std::uint8_t address[IsdAddressBytes]) {
  char text[16];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", address[0], address[1], address[2], address[3]);
  return text;
}

std::string sidText(const std::uint32_t sid[IsdSidWords]) {
  char text[56];
  std::snprintf(text, sizeof text, "%u-%u-%u-%u-%u", sid[0], sid[1], sid[2], sid[3], sid[4]);
  return text;
}

SplitName splitObjectName(const std::string& name) {
  const std::size_t dot = name.find('.');
  if (dot == std::string::npos) return {name, std::string(), false};
  return {name.substr(0, dot), name.substr(dot + 1), true};
}

std::size_t listedDnsServers(const ImageSafeDataStruct* record) {
  return record->dnsServerCount < IsdDnsServerSlots ? record->dnsServerCount : IsdDnsServerSlots;
}
