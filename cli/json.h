// A tiny writer of JSON text: strings escaped and always valid UTF-8,
// numbers, the literals, arrays and objects; the members every object of
// ours starts or ends with; and the object's delivery to standard output.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The version of the objects' shape, their first member "schema": raised on
// any change that a reader of the old shape could misread. The schema files
// of cli/schema/ describe this version.
inline constexpr int JsonSchemaVersion = 1;

// `text` as a JSON string between double quotes. The quote, the backslash
// and control characters are escaped; bytes that do not form valid UTF-8 (a
// device path can hold any bytes) each become U+FFFD, so the output is valid
// UTF-8 whatever the input.
std::string jsonString(const std::string& text);
std::string jsonString(const char* text);  // null gives null

std::string jsonNumber(std::int64_t value);
std::string jsonNumber(std::uint64_t value);
inline std::string jsonBool(bool value) { return value ? "true" : "false"; }
inline constexpr const char* JsonNull = "null";
// The values (each JSON text already) as a JSON array.
std::string jsonArray(const std::vector<std::string>& values);

// One member of a JSON object: its name and its value as JSON text.
struct JsonMember {
  std::string name;
  std::string value;
};
std::string jsonObject(const std::vector<JsonMember>& members);

// The "schema" member that every object starts with.
JsonMember schemaMember();
// The "error" member of a run that ends with exit status `status` (a front
// end's result; -1 is reported as the 255 the caller sees) for the reason
// `message`.
JsonMember errorMember(int status, const std::string& message);

// Writes `object` and a newline to `out`; 0, or ExitOutputFailed after a
// line on standard error when it did not get there.
int deliverJson(std::FILE* out, const std::string& object);
