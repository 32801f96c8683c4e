// The command-line field keywords shared by both roles, their matchers and
// the value parsers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "store/record.h"

enum class FieldKind {
  JustImaged,
  ScriptedImage,
  LastBaseImage,
  ObjectDN,
  Tree,
  NetBIOSName,
  WorkGroup,
  SID,
  WorkstationID,
  DHCP,
  IP,
  Gateway,
  Mask,
  DNSServerCount,
  DNSServer,
  DNSSuffix,
  DNSHostName,
};

struct FieldKeyword {
  const char* keyword;         // literal prefix, compared without regard to case
  const char* documentedName;  // name listed on the help pages; null for DNSServer
  FieldKind kind;
};

inline constexpr std::size_t FieldKeywordCount = 17;
extern const FieldKeyword fieldKeywords[FieldKeywordCount];

inline constexpr int SidTooFewFields = 1;
inline constexpr int SidBadNumber = 2;
inline constexpr int SidTooManyFields = 3;

int matchFieldName(const char* argument, const char* keyword);
// `value` receives the assigned text (it is sized to the whole argument).
int matchAssignment(const char* argument, const char* keyword, std::string& value);
// Parse the dotted IPv4 form into four bytes; never fails.
void parseDottedQuad(const char* text, std::uint8_t address[4]);
int parseSid(const char* text, ImageSafeDataStruct* record);
