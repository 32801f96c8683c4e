#include "tui/text.h"

#include <cstdio>
#include <vector>

#include "store/record.h"

std::string recordText(const std::uint8_t* wide) {
  const std::size_t units = wideLength(wide) / 2;
  if (units == 0) return std::string();
  std::vector<char> narrow(units + 1);
  wideToNarrow(narrow.data(), wide);
  return std::string(narrow.data(), units);
}

std::string dottedQuad(const std::uint8_t address[4]) {
  char text[16];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", address[0], address[1], address[2], address[3]);
  return text;
}

SplitName splitObjectName(const std::string& name) {
  const std::size_t dot = name.find('.');
  if (dot == std::string::npos) return {name, std::string(), false};
  return {name.substr(0, dot), name.substr(dot + 1), true};
}
