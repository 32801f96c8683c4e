// Binding QorGetDeviceInfo and QorGetDeviceClassString by name.
#include "pcinames/names.h"

#include <dlfcn.h>

namespace {

// The library's documented bound for any one result, terminator included.
constexpr std::size_t NameBufferLength = 512;

}  // namespace

DeviceNamer::~DeviceNamer() {
  if (handle_ != nullptr) dlclose(handle_);
}

bool DeviceNamer::load(const char* library) {
  handle_ = dlopen(library, RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* reason = dlerror();
    error_ = reason != nullptr ? reason : library;
    return false;
  }
  // dlsym hands out object pointers; the conversion to a function pointer is
  // the documented POSIX way to call what it found.
  deviceInfo_ = reinterpret_cast<DeviceInfoFunction>(dlsym(handle_, "QorGetDeviceInfo"));
  classString_ = reinterpret_cast<ClassStringFunction>(dlsym(handle_, "QorGetDeviceClassString"));
  if (deviceInfo_ == nullptr || classString_ == nullptr) {
    error_ = std::string(library) + " lacks QorGetDeviceInfo or QorGetDeviceClassString";
    return false;
  }
  return true;
}

std::string DeviceNamer::deviceName(std::uint32_t vendor, std::uint32_t device) const {
  char buffer[NameBufferLength] = {};
  deviceInfo_(vendor, static_cast<std::int32_t>(device), buffer);
  return buffer;
}

std::string DeviceNamer::className(std::uint32_t classCode) const {
  char buffer[NameBufferLength] = {};
  // The library takes the whole configuration register: class code above the revision byte.
  classString_(classCode << 8, buffer);
  return buffer;
}
