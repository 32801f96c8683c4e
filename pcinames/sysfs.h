// The PCI devices the kernel lists under <root>/bus/pci/devices.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PciDevice {
  std::string address;       // the directory name, e.g. "0000:00:1f.2"
  std::uint32_t vendor = 0;  // 16-bit IDs as the kernel gives them
  std::uint32_t device = 0;
  std::uint32_t classCode = 0;  // 24 bits: base class, subclass, programming interface
  std::uint32_t revision = 0;   // 0 also when the kernel gives no revision file
  // The address's parts, when the name has the form domain:bus:slot.func.
  bool addressParsed = false;
  std::uint32_t domain = 0;
  std::uint32_t bus = 0;
  std::uint32_t slot = 0;
  std::uint32_t function = 0;
};

struct PciScan {
  bool busPresent = false;            // false: the machine has no PCI bus (or no sysfs)
  std::vector<PciDevice> devices;     // sorted by address
  std::vector<std::string> problems;  // one text per device that could not be read
};

// Reads every device of <sysfsRoot>/bus/pci/devices. Never throws.
PciScan scanPciDevices(const std::string& sysfsRoot);

// "0x8086\n" and the like: the hexadecimal number of a sysfs attribute file.
// False when the text is no such number or does not fit `limit`.
bool parseSysfsHex(const std::string& text, std::uint32_t limit, std::uint32_t* value);

// Splits "0000:00:1f.2" (hexadecimal domain, bus, slot and function) into
// `device`'s address parts. False, leaving them alone, for any other form.
bool parsePciAddress(const std::string& address, PciDevice* device);
