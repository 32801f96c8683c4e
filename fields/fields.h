// The fields of the record as both roles name them on the command line: one
// table, one row a field, each row carrying everything the front ends need
// (where the value lives in the record, how it is read, and how the editor,
// the viewer, the script, the record page, the form and the help pages name
// and show it), and the two matchers that test an argument against a row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "store/record.h"

// How a field's value is read from text, stored and shown.
enum class ValueKind {
  Flag,            // one bit of `flags`: true or false
  Text,            // one of the eight text buffers
  Sid,             // the five security ID numbers
  Dhcp,            // the DHCP switch: on or off
  Address,         // one of the three static addresses
  DnsServerCount,  // how many DNS server entries are in use
  DnsServer,       // one DNS server entry, numbered in the argument
};

// The groups in which the record page and the script show the fields, in
// this order; the fields of a group are its rows of the table, in table order.
enum class FieldGroup { Image, Identity, Network, Dns };
inline constexpr std::size_t FieldGroupCount = 4;

using TextMember = std::uint8_t* ImageSafeDataStruct::*;
using AddressMember = std::uint8_t (ImageSafeDataStruct::*)[IsdAddressBytes];

// The field's entry on the help pages. Texts are translated except where
// `asIs` says otherwise; a viewer text left null is the editor's text.
struct FieldHelp {
  const char* text = nullptr;
  const char* viewerText = nullptr;
  const char* more = nullptr;  // a continuation line under the first
  const char* viewerMore = nullptr;
  bool asIs = false;  // the first line is shown untranslated
  int blankRowsAfter = 1;
  int viewerBlankRowsAfter = -1;  // -1: as on the editor's page
};

// The field's place in the editor form (row 0: not on the form). A label
// left null is the record page's label; a second label is the part of the
// value after its first "." (object name) or the second radio button (DHCP).
struct FieldForm {
  int row = 0;
  const char* label = nullptr;
  const char* secondLabel = nullptr;
  int width = 0;
  bool scroll = false;
};

struct FieldKeyword {
  const char* keyword = nullptr;         // literal prefix, compared without regard to case
  const char* documentedName = nullptr;  // name listed on the help pages; null for DNSServer
  ValueKind value = ValueKind::Text;
  FieldGroup group = FieldGroup::Image;
  // Where the value lives; which member applies follows from `value`.
  std::uint32_t flagBit = 0;
  TextMember text = nullptr;
  std::size_t capacity = 0;  // bytes of the text buffer
  AddressMember address = nullptr;
  const char* confirmLabel = nullptr;       // the editor's confirmation line (translated)
  const char* dhcpNote = nullptr;           // the viewer's line for an address while DHCP is on
  const char* scriptName = nullptr;         // the script's variable
  bool scriptQuoted = false;                // the script writes the value between double quotes
  const char* screenLabel = nullptr;        // the record page's label (translated)
  const char* screenSecondLabel = nullptr;  // the part after the first "." on a line of its own
  FieldHelp help = {};
  FieldForm form = {};
};

// The rows in the order the matchers test them; the first match wins.
inline constexpr std::size_t FieldKeywordCount = 17;
extern const FieldKeyword fieldKeywords[FieldKeywordCount];

// Headings of the groups: the record page's (translated) and the script's comment.
struct FieldGroupHeading {
  const char* screen;
  const char* script;
};
extern const FieldGroupHeading fieldGroupHeadings[FieldGroupCount];

int matchFieldName(const char* argument, const char* keyword);
// `value` receives the assigned text (it is sized to the whole argument).
int matchAssignment(const char* argument, const char* keyword, std::string& value);

// The first row that the word selects as a bare field name, or null.
const FieldKeyword* findFieldWord(const char* word);
// The first row that the argument assigns to, with the assigned text in
// `value`, or null.
const FieldKeyword* findFieldAssignment(const char* argument, std::string& value);

// The line both roles print on standard output for an argument that names no
// field: "Unknown parameter (<index>): '<argument>'", the label translated.
std::string unknownParameterLine(int index, const char* argument);

// The record's text buffer of a text row (null for other rows or a record
// without buffers).
std::uint8_t* fieldBuffer(const FieldKeyword& row, ImageSafeDataStruct* record);
const std::uint8_t* fieldBuffer(const FieldKeyword& row, const ImageSafeDataStruct* record);
