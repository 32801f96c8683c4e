// JSON text for the machine-readable reports.
#include "cli/json.h"

#include <cstdio>

#include "cli/exit.h"

namespace {

constexpr const char* ReplacementCharacter = "\xEF\xBF\xBD";

// The length of the valid UTF-8 sequence that starts at `at`, or 0.
std::size_t utf8SequenceLength(const std::string& text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  return length;
}

}  // namespace

std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (std::size_t at = 0; at < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    const std::size_t length = utf8SequenceLength(text, at);
    if (length == 0) {
      out += ReplacementCharacter;
      ++at;
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out.append(text, at, length);
    }
    at += length;
  }
  return out + "\"";
}

std::string jsonString(const char* text) {
  return text != nullptr ? jsonString(std::string(text)) : JsonNull;
}

std::string jsonArray(const std::vector<std::string>& values) {
  std::string out = "[";
  for (std::size_t i = 0; i < values.size(); ++i) out += (i > 0 ? ", " : "") + values[i];
  return out + "]";
}

std::string jsonNumber(std::int64_t value) { return std::to_string(value); }
std::string jsonNumber(std::uint64_t value) { return std::to_string(value); }

std::string jsonObject(const std::vector<JsonMember>& members) {
  std::string out = "{";
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (i > 0) out += ", ";
    out += jsonString(members[i].name) + ": " + members[i].value;
  }
  return out + "}";
}

JsonMember schemaMember() { return {"schema", jsonNumber(std::int64_t{JsonSchemaVersion})}; }

JsonMember errorMember(int status, const std::string& message) {
  // The status as the caller sees it: the system passes on its low byte, so -1 is 255.
  const std::int64_t exitStatus = status & 0xFF;
  return {"error", jsonObject({{"status", jsonNumber(exitStatus)}, {"message", jsonString(message)}})};
}

int deliverJson(std::FILE* out, const std::string& object) {
  std::fprintf(out, "%s\n", object.c_str());
  return delivered(out);
}
