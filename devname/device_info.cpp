// PCI vendor and device names: QorGetDeviceInfo.
#include <cstdio>

#include "devname_internal.h"

namespace {

// Each half of a result is assembled in one of these; every table text is
// shorter, and copies are bounded all the same.
constexpr std::size_t WorkingTextSize = 256;
using WorkingText = char[WorkingTextSize];

// Table IDs are 16-bit; the arguments are compared whole, so an argument
// above 0xFFFF (or a negative device) never matches a row.
bool sameVendor(uint16_t rowVendor, uint32_t vendor) { return static_cast<uint32_t>(rowVendor) == vendor; }

bool sameDevice(uint16_t rowVendor, uint16_t rowDevice, uint32_t vendor, int32_t device) {
  return sameVendor(rowVendor, vendor) && static_cast<int32_t>(rowDevice) == device;
}

void setText(WorkingText& text, const char* value) { std::snprintf(text, WorkingTextSize, "%s", value); }

// The first matching row decides, even when its text is empty: the caller
// then moves on to the next source because the working text stays empty.
void ownVendorName(uint32_t vendor, WorkingText& text) {
  for (const VendorNameEntry& row : qorPciVendors) {
    if (sameVendor(row.vendorId, vendor)) {
      setText(text, row.name);
      return;
    }
  }
}

void ownDeviceName(uint32_t vendor, int32_t device, WorkingText& text) {
  for (const DeviceNameEntry& row : qorPciDevices) {
    if (sameDevice(row.vendorId, row.deviceId, vendor, device)) {
      setText(text, row.name);
      return;
    }
  }
}

void generalVendorName(uint32_t vendor, WorkingText& text) {
  for (const PciVendorEntry& row : PciVenTable) {
    if (sameVendor(row.vendorId, vendor)) {
      setText(text, row.name);
      return;
    }
  }
}

void generalDeviceName(uint32_t vendor, int32_t device, WorkingText& text) {
  for (const PciDeviceEntry& row : PciDevTable) {
    if (sameDevice(row.vendorId, row.deviceId, vendor, device)) {
      setText(text, row.description[0] != '\0' ? row.description : row.partNumber);
      return;
    }
  }
}

}  // namespace

extern "C" DEVNAME_EXPORT char* QorGetDeviceInfo(uint32_t vendor, int32_t device, char* buffer) {
  // A missing buffer gets no text rather than a crash in the caller's process.
  if (buffer == nullptr) {
    return nullptr;
  }
  buffer[0] = '\0';
  QorGetDevicePNP(vendor, device, buffer);
  if (buffer[0] != '\0') {
    return buffer;
  }

  WorkingText vendorText = {};
  WorkingText deviceText = {};
  ownVendorName(vendor, vendorText);
  ownDeviceName(vendor, device, deviceText);
  if (vendorText[0] == '\0') {
    generalVendorName(vendor, vendorText);
  }
  if (deviceText[0] == '\0') {
    generalDeviceName(vendor, device, deviceText);
  }
  if (vendorText[0] == '\0') {
    std::snprintf(vendorText, WorkingTextSize, "Unknown vendor 0x%04X :", vendor & 0xFFFFu);
  }
  if (deviceText[0] == '\0') {
    std::snprintf(deviceText, WorkingTextSize, "Unknown device 0x%04X",
                  static_cast<uint32_t>(device) & 0xFFFFu);
  }
  std::sprintf(buffer, "%s %s", vendorText, deviceText);
  return buffer;
}
