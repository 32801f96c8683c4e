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

// The text a row of each name table gives: a device of the general table
// its description if it has one, else its part number, which may be empty
// too (the first matching row decides either way).
const char* textOf(const VendorNameEntry& row) { return row.name; }
const char* textOf(const DeviceNameEntry& row) { return row.name; }
const char* textOf(const PciVendorEntry& row) { return row.name; }
const char* textOf(const PciDeviceEntry& row) {
  return row.description[0] != '\0' ? row.description : row.partNumber;
}

// The text of the first row of a name table that carries `key`, found
// through the table's index, even an empty one; null when no row does.
template <std::size_t RowCount, typename Row>
const char* firstText(const Row (&rows)[RowCount], const uint16_t (&buckets)[indexBucketCount(RowCount) + 1],
                      const uint32_t* keys, const uint16_t* keyRows, uint32_t key) {
  const int32_t row = indexFirstRow<RowCount>(buckets, keys, keyRows, key);
  return row < 0 ? nullptr : textOf(rows[row]);
}

// Each half is named by the library's own table first, by the general PCI
// table where the own one has no text for it (an empty text counts as none),
// and null when neither has; vendor and device are named independently.
const char* vendorName(uint32_t vendor) {
  if (!isTableId(vendor)) {
    return nullptr;
  }
  const char* own =
      firstText(ownVendorRows, ownVendorIndexBuckets, ownVendorIndexKeys, ownVendorIndexRows, vendor);
  return !isEmpty(own) ? own
                       : firstText(generalVendorRows, generalVendorIndexBuckets, generalVendorIndexKeys,
                                   generalVendorIndexRows, vendor);
}

const char* deviceName(uint32_t vendor, int32_t device) {
  if (!isPair(vendor, device)) {
    return nullptr;
  }
  const uint32_t key = deviceKey(vendor, device);
  const char* own =
      firstText(ownDeviceRows, ownDeviceIndexBuckets, ownDeviceIndexKeys, ownDeviceIndexRows, key);
  return !isEmpty(own) ? own
                       : firstText(generalDeviceRows, generalDeviceIndexBuckets, generalDeviceIndexKeys,
                                   generalDeviceIndexRows, key);
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

  const char* vendorText = vendorName(vendor);
  const char* deviceText = deviceName(vendor, device);
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
  return writeInto<writeDeviceInfo>(vendor, device, buffer);
}

extern "C" DEVNAME_EXPORT std::size_t QorGetDeviceInfoN(uint32_t vendor, int32_t device, char* buffer,
                                                        std::size_t size) {
  return writeBounded<writeDeviceInfo>(vendor, device, buffer, size);
}
