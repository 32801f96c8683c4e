// Record texts and addresses as the screens show them.
#pragma once

#include <cstdint>
#include <string>

// The 8-bit form of a record text (each unit's low byte); empty for no text.
std::string recordText(const std::uint8_t* wide);
// The four address bytes in their stored order as "%d.%d.%d.%d".
std::string dottedQuad(const std::uint8_t address[4]);

// A workstation object name split at its first ".": the object, and the
// context after the dot (hasContext false when the name holds no ".").
struct SplitName {
  std::string object;
  std::string context;
  bool hasContext;
};
SplitName splitObjectName(const std::string& name);
