// Conversions between 8-bit text and the record's 16-bit buffers, and the
// printed forms of addresses and security IDs.
#include "fields/text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

std::string fieldText(const std::uint8_t* wide) {
  if (wide == nullptr) return {};
  std::vector<char> narrow(wideLength(wide) / 2 + 1);
  wideToNarrow(narrow.data(), wide);
  return std::string(narrow.data());  // a unit whose low byte is zero ends the text
}

bool hasFieldText(const std::uint8_t* wide) { return wideLength(wide) != 0; }

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

std::string dottedQuad(const std::uint8_t address[4]) {
  char text[16];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", address[0], address[1], address[2], address[3]);
  return text;
}

std::string sidText(const std::uint32_t sid[5]) {
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
