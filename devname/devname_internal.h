// Declarations shared by the library's own sources.
#ifndef DEVNAME_INTERNAL_H
#define DEVNAME_INTERNAL_H

#include <cstddef>
#include <cstdint>

#include "devname.h"
#include "text_writer.h"

// Everything is built with hidden visibility; this marks the fourteen exported
// names, which the linker version script then lists once more.
#define DEVNAME_EXPORT __attribute__((visibility("default")))
// Names the library's sources share among themselves; they bind inside the
// library, so using them needs no relocation at load.
#define DEVNAME_LOCAL __attribute__((visibility("hidden")))

// The four name tables under names of their own, for the lookups: reading an
// exported name would go through the global offset table. Each holds exactly
// its counted rows, as the exported symbol does.
extern "C" {
DEVNAME_LOCAL extern const VendorNameEntry ownVendorRows[QorPciVendorsCount];
DEVNAME_LOCAL extern const DeviceNameEntry ownDeviceRows[QorPciDevicesCount];
DEVNAME_LOCAL extern const PciVendorEntry generalVendorRows[PciVenTableCount];
DEVNAME_LOCAL extern const PciDeviceEntry generalDeviceRows[PciDevTableCount];
}

// Room for any result of the text functions, terminator included: each half
// of a PCI name is at most 255 bytes, a Plug and Play name less than that.
constexpr std::size_t LongestResultBytes = 512;

// QorGetDevicePNP, for the library's own callers: a call that binds inside
// the library instead of through the exported name. Returns the length of
// the text written, 0 (buffer untouched) for any vendor but PnpVendorMarker.
DEVNAME_LOCAL std::size_t writePnpName(uint32_t vendor, int32_t device, char* buffer);

// What the lookups of a vendor and device pair have in common: the text, and
// its terminator, written without a bound into a buffer of at least
// LongestResultBytes; returns its length.
using PairWriter = std::size_t (*)(uint32_t vendor, int32_t device, char* buffer);

// The two exported forms of such a lookup. The plain one writes into the
// caller's buffer and returns it; a null buffer receives nothing.
template <PairWriter Write>
char* writeInto(uint32_t vendor, int32_t device, char* buffer) {
  if (buffer != nullptr) {
    Write(vendor, device, buffer);
  }
  return buffer;
}

// The length-checked one writes into a working text and copies as much of
// it as fits into the caller's buffer (copyBounded).
template <PairWriter Write>
std::size_t writeBounded(uint32_t vendor, int32_t device, char* buffer, std::size_t size) {
  char text[LongestResultBytes];
  return copyBounded(buffer, size, text, Write(vendor, device, text));
}

#endif
