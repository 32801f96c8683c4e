// libdevname, loaded at run time by its plain name as the imaging programs do.
#pragma once

#include <cstdint>
#include <string>

class DeviceNamer {
 public:
  DeviceNamer() = default;
  DeviceNamer(const DeviceNamer&) = delete;
  DeviceNamer& operator=(const DeviceNamer&) = delete;
  ~DeviceNamer();

  // Loads `library` (normally "libdevname.so") and binds the two functions.
  // On failure returns false and leaves the reason in error().
  bool load(const char* library);
  const std::string& error() const { return error_; }

  std::string deviceName(std::uint32_t vendor, std::uint32_t device) const;
  // `classCode` is the 24-bit value of sysfs's class file.
  std::string className(std::uint32_t classCode) const;

 private:
  using DeviceInfoFunction = char* (*)(std::uint32_t, std::int32_t, char*);
  using ClassStringFunction = std::int32_t (*)(std::uint32_t, char*);

  void* handle_ = nullptr;
  DeviceInfoFunction deviceInfo_ = nullptr;
  ClassStringFunction classString_ = nullptr;
  std::string error_;
};
