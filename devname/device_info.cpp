// PCI vendor and device names: QorGetDeviceInfo and QorGetDeviceInfoN.
#include "devname_internal.h"
#include "name_index.h"
#include "text_writer.h"

namespace {

// Each half of a result is a working text of 256 bytes: a table text is kept
// up to 255 bytes (every shipped text is shorter).
constexpr std::size_t WorkingTextLimit = 255;

// Table IDs are 16-bit; the arguments are compared whole, so an argument
// above 0xFFFF (or a negative device) never matches a row.
bool isTableId(uint32_t id) { return id <= 0xFFFFu; }

uint32_t deviceKey(uint32_t vendor, int32_t device) { return vendor << 16 | static_cast<uint32_t>(device); }

bool isPair(uint32_t vendor, int32_t device) {
  return isTableId(vendor) && device >= 0 && isTableId(static_cast<uint32_t>(device));
}

bool isEmpty(const char* text) { return text == nullptr || text[0] == '\0'; }

// Each source gives the text of the first row that carries the ID, even an
// empty one, or null when no row does; an empty text lets the next source
// (and last the fallback text) name that half.
const char* ownVendorName(uint32_t vendor) {
  if (!isTableId(vendor)) {
    return nullptr;
  }
  const int32_t row = indexFirstRow<QorPciVendorsCount>(ownVendorIndexBuckets, ownVendorIndexKeys,
                                                        ownVendorIndexRows, vendor);
  return row < 0 ? nullptr : ownVendorRows[row].name;
}

const char* ownDeviceName(uint32_t vendor, int32_t device) {
  if (!isPair(vendor, device)) {
    return nullptr;
  }
  const int32_t row = indexFirstRow<QorPciDevicesCount>(ownDeviceIndexBuckets, ownDeviceIndexKeys,
                                                        ownDeviceIndexRows, deviceKey(vendor, device));
  return row < 0 ? nullptr : ownDeviceRows[row].name;
}

const char* generalVendorName(uint32_t vendor) {
  if (!isTableId(vendor)) {
    return nullptr;
  }
  const int32_t row = indexFirstRow<PciVenTableCount>(generalVendorIndexBuckets, generalVendorIndexKeys,
                                                      generalVendorIndexRows, vendor);
  return row < 0 ? nullptr : generalVendorRows[row].name;
}

// The description if it has one, else the part number, which may be empty
// too: the first matching row decides either way.
const char* generalDeviceName(uint32_t vendor, int32_t device) {
  if (!isPair(vendor, device)) {
    return nullptr;
  }
  const int32_t row = indexFirstRow<PciDevTableCount>(generalDeviceIndexBuckets, generalDeviceIndexKeys,
                                                      generalDeviceIndexRows, deviceKey(vendor, device));
  if (row < 0) {
    return nullptr;
  }
  const PciDeviceEntry& entry = generalDeviceRows[row];
  return entry.description[0] != '\0' ? entry.description : entry.partNumber;
}

// The low 16 bits of an unknown ID, as four upper-case hexadecimal digits.
char* appendUnknown(char* out, const char* label, uint32_t id, const char* tail) {
  out = appendText(out, label, WorkingTextLimit);
  out = appendHex(out, id & 0xFFFFu, 4);
  return appendText(out, tail, WorkingTextLimit);
}

// The whole result, written without a bound (at most LongestResultBytes with
// its terminator); returns its length.
std::size_t writeDeviceInfo(uint32_t vendor, int32_t device, char* buffer) {
  buffer[0] = '\0';
  if (const std::size_t length = writePnpName(vendor, device, buffer)) {
    return length;
  }

  // The library's own tables first, the general PCI tables for a half they
  // leave empty; vendor and device are named independently.
  const char* vendorText = ownVendorName(vendor);
  if (isEmpty(vendorText)) {
    vendorText = generalVendorName(vendor);
  }
  const char* deviceText = ownDeviceName(vendor, device);
  if (isEmpty(deviceText)) {
    deviceText = generalDeviceName(vendor, device);
  }

  char* out = buffer;
  out = isEmpty(vendorText) ? appendUnknown(out, "Unknown vendor 0x", vendor, " :")
                            : appendText(out, vendorText, WorkingTextLimit);
  *out++ = ' ';
  out = isEmpty(deviceText) ? appendUnknown(out, "Unknown device 0x", static_cast<uint32_t>(device), "")
                            : appendText(out, deviceText, WorkingTextLimit);
  *out = '\0';
  return static_cast<std::size_t>(out - buffer);
}

static_assert(2 * WorkingTextLimit + 2 <= LongestResultBytes, "two halves, a blank and the terminator");

}  // namespace

extern "C" DEVNAME_EXPORT char* QorGetDeviceInfo(uint32_t vendor, int32_t device, char* buffer) {
  // A missing buffer gets no text rather than a crash in the caller's process.
  if (buffer == nullptr) {
    return nullptr;
  }
  writeDeviceInfo(vendor, device, buffer);
  return buffer;
}

extern "C" DEVNAME_EXPORT std::size_t QorGetDeviceInfoN(uint32_t vendor, int32_t device, char* buffer,
                                                        std::size_t size) {
  char text[LongestResultBytes];
  return copyBounded(buffer, size, text, writeDeviceInfo(vendor, device, text));
}
