// What the editor form stores when the user leaves it with "OK".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "store/record.h"

struct EditorFormValues {
  std::string object;
  std::string context;
  std::string tree;
  std::string netbiosName;
  std::string workgroup;
  std::string lastImage;
  bool dhcp;
  std::string address;
  std::string gateway;
  std::string mask;
};

// Store `text` in a record buffer of `capacity` bytes, cut to the characters
// the buffer holds (capacity / 2 - 1); the bytes behind the terminator are
// cleared. A record without buffers is left alone.
void storeFormText(std::uint8_t* buffer, std::size_t capacity, const std::string& text);

// Write every form value into the record: the joined object name, the four
// other texts, the DHCP choice and the three addresses.
void applyEditorForm(const EditorFormValues& values, ImageSafeDataStruct* record);
