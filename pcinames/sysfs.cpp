// Reading the PCI device attributes from sysfs.
#include "pcinames/sysfs.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// The first line of a small attribute file, or false when it cannot be read.
bool readAttribute(const std::string& path, std::string* text) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "re"));
  if (!file) return false;
  char line[64];
  if (std::fgets(line, sizeof line, file.get()) == nullptr) return false;
  *text = line;
  return true;
}

// Reads one attribute as a hexadecimal number; on failure adds a problem.
bool readNumber(const std::string& deviceDir, const char* name, std::uint32_t limit, std::uint32_t* value,
                PciScan* scan, const std::string& address) {
  std::string text;
  if (!readAttribute(deviceDir + "/" + name, &text)) {
    scan->problems.push_back(address + ": cannot read " + name + " (" + std::strerror(errno) + ")");
    return false;
  }
  if (!parseSysfsHex(text, limit, value)) {
    text.erase(text.find_last_not_of("\n") + 1);
    scan->problems.push_back(address + ": " + name + " is not a hexadecimal ID: '" + text + "'");
    return false;
  }
  return true;
}

bool isDirectory(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

bool parseSysfsHex(const std::string& text, std::uint32_t limit, std::uint32_t* value) {
  const char* start = text.c_str();
  if (std::strncmp(start, "0x", 2) != 0 && std::strncmp(start, "0X", 2) != 0) return false;
  const char* digits = start + 2;
  if (std::strchr("0123456789abcdefABCDEF", *digits) == nullptr || *digits == '\0') return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long number = std::strtoul(digits, &end, 16);
  if (errno != 0 || number > limit) return false;
  while (*end == '\n' || *end == ' ') ++end;
  if (*end != '\0') return false;
  *value = static_cast<std::uint32_t>(number);
  return true;
}

namespace {

// Up to maxDigits hexadecimal digits at *text, ending at `end` (or the end of
// the text when end is 0); advances *text past them.
bool hexPart(const char** text, std::size_t maxDigits, char end, std::uint32_t* value) {
  std::uint32_t number = 0;
  std::size_t digits = 0;
  for (; std::isxdigit(static_cast<unsigned char>(**text)) && digits < maxDigits; ++*text, ++digits) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(**text)));
    number = number * 16 + static_cast<std::uint32_t>(c <= '9' ? c - '0' : c - 'a' + 10);
  }
  if (digits == 0 || **text != end) return false;
  if (end != '\0') ++*text;
  *value = number;
  return true;
}

}  // namespace

bool parsePciAddress(const std::string& address, PciDevice* device) {
  const char* text = address.c_str();
  std::uint32_t domain = 0, bus = 0, slot = 0, function = 0;
  if (!hexPart(&text, 8, ':', &domain) || !hexPart(&text, 2, ':', &bus) || !hexPart(&text, 2, '.', &slot) ||
      !hexPart(&text, 1, '\0', &function) || slot > 0x1F || function > 7) {
    return false;
  }
  device->addressParsed = true;
  device->domain = domain;
  device->bus = bus;
  device->slot = slot;
  device->function = function;
  return true;
}

PciScan scanPciDevices(const std::string& sysfsRoot) {
  PciScan scan;
  const std::string devicesDir = sysfsRoot + "/bus/pci/devices";
  std::unique_ptr<DIR, DirCloser> dir(opendir(devicesDir.c_str()));
  if (!dir) return scan;
  scan.busPresent = true;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string address = entry->d_name;
    if (address == "." || address == "..") continue;
    const std::string deviceDir = devicesDir + "/" + address;
    if (!isDirectory(deviceDir)) continue;
    PciDevice device;
    device.address = address;
    parsePciAddress(address, &device);
    if (readNumber(deviceDir, "vendor", 0xFFFF, &device.vendor, &scan, address) &&
        readNumber(deviceDir, "device", 0xFFFF, &device.device, &scan, address) &&
        readNumber(deviceDir, "class", 0xFFFFFF, &device.classCode, &scan, address)) {
      // Older kernels give no revision file: such a device shows none.
      std::string text;
      if (readAttribute(deviceDir + "/revision", &text) && !parseSysfsHex(text, 0xFF, &device.revision)) {
        text.erase(text.find_last_not_of("\n") + 1);
        scan.problems.push_back(address + ": revision is not a hexadecimal ID: '" + text + "'");
        continue;
      }
      scan.devices.push_back(device);
    }
  }
  std::sort(scan.devices.begin(), scan.devices.end(),
            [](const PciDevice& a, const PciDevice& b) { return a.address < b.address; });
  std::sort(scan.problems.begin(), scan.problems.end());
  return scan;
}
