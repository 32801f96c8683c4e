// The indexed lookups against the plain rule they replace: a scan of each
// table from its first row, where the first row carrying an ID decides, and
// arguments are compared whole. Every ID of every table is asked, with its
// neighbours and misses above 16 bits and below zero, through the calls
// without a size and the length-checked ones alike; the length-checked ones
// are also cut at every length of a sample of texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "devname.h"
#include "pnp_name_list.h"

namespace {

using Query = std::pair<uint32_t, int32_t>;

uint64_t pairKey(uint32_t vendor, int32_t device) {
  return static_cast<uint64_t>(vendor) << 32 | static_cast<uint32_t>(device);
}

// One pass over each table in row order; emplace keeps the first row, so a
// look-up here answers what a scan from the first row would stop at.
class PlainRule {
 public:
  PlainRule() {
    for (const auto& row : qorPciVendors) {
      ownVendors_.emplace(row.vendorId, row.name);
    }
    for (const auto& row : PciVenTable) {
      generalVendors_.emplace(row.vendorId, row.name);
    }
    for (const auto& row : qorPciDevices) {
      ownDevices_.emplace(pairKey(row.vendorId, row.deviceId), row.name);
    }
    for (const auto& row : PciDevTable) {
      generalDevices_.emplace(pairKey(row.vendorId, row.deviceId), &row);
    }
  }

  static std::string pnp(int32_t device) {
    for (const PnpName& entry : pnpNames) {
      if (entry.number == device) {
        return std::string("Plug and Play device -- ") + entry.text;
      }
    }
    char text[64];
    std::snprintf(text, sizeof text, "Plug and Play device -- unknown device 0x%X",
                  static_cast<uint32_t>(device));
    return text;
  }

  std::string info(uint32_t vendor, int32_t device) const {
    if (vendor == PnpVendorMarker) {
      return pnp(device);
    }
    std::string vendorText = find(ownVendors_, vendor);
    if (vendorText.empty()) {
      vendorText = find(generalVendors_, vendor);
    }
    std::string deviceText = find(ownDevices_, pairKey(vendor, device));
    if (deviceText.empty()) {
      const auto row = generalDevices_.find(pairKey(vendor, device));
      if (row != generalDevices_.end()) {
        deviceText = row->second->description[0] != '\0' ? row->second->description : row->second->partNumber;
      }
    }
    char fallback[64];
    if (vendorText.empty()) {
      std::snprintf(fallback, sizeof fallback, "Unknown vendor 0x%04X :", vendor & 0xFFFFu);
      vendorText = fallback;
    }
    if (deviceText.empty()) {
      std::snprintf(fallback, sizeof fallback, "Unknown device 0x%04X",
                    static_cast<uint32_t>(device) & 0xFFFFu);
      deviceText = fallback;
    }
    return vendorText.substr(0, 255) + " " + deviceText.substr(0, 255);
  }

 private:
  template <typename Map>
  static std::string find(const Map& map, uint64_t key) {
    const auto row = map.find(key);
    return row == map.end() ? std::string() : std::string(row->second);
  }

  std::unordered_map<uint64_t, const char*> ownVendors_;
  std::unordered_map<uint64_t, const char*> generalVendors_;
  std::unordered_map<uint64_t, const char*> ownDevices_;
  std::unordered_map<uint64_t, const PciDeviceEntry*> generalDevices_;
};

// Every vendor and pair of the four tables, each with its neighbours, its
// value above 16 bits and, for devices, below zero; then the edges of the
// argument range and the Plug and Play marker with its near misses.
std::vector<Query> tableQueries() {
  std::set<Query> queries;
  auto around = [&queries](uint32_t vendor, int32_t device) {
    for (const uint32_t v : {vendor, vendor - 1, vendor + 1, vendor + 0x10000u, vendor | 0xFFFF0000u}) {
      for (const int32_t d : {device, device - 1, device + 1, device + 0x10000, device - 0x10000}) {
        queries.insert({v, d});
      }
    }
  };
  for (const auto& row : qorPciVendors) {
    around(row.vendorId, 0);
  }
  for (const auto& row : PciVenTable) {
    around(row.vendorId, 0xFFFF);
  }
  for (const auto& row : qorPciDevices) {
    around(row.vendorId, row.deviceId);
  }
  for (const auto& row : PciDevTable) {
    around(row.vendorId, row.deviceId);
  }
  for (const uint32_t vendor : {0u, 0xFFFFu, 0x10000u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu,
                                PnpVendorMarker - 1, PnpVendorMarker + 1, PnpVendorMarker & 0xFFFFu}) {
    for (const int32_t device : {0, 1, 0xFFFF, 0x10000, -1, INT32_MIN, INT32_MAX}) {
      queries.insert({vendor, device});
    }
  }
  return {queries.begin(), queries.end()};
}

// Each Plug and Play number with its neighbours, its value above 16 bits and
// its negative, and the edges of the argument range.
std::vector<int32_t> pnpQueries() {
  std::set<int32_t> numbers = {0, -1, 0xFFFF, 0x10000, INT32_MIN, INT32_MAX};
  for (const PnpName& entry : pnpNames) {
    for (const int32_t n :
         {entry.number, entry.number - 1, entry.number + 1, entry.number + 0x10000, -entry.number}) {
      numbers.insert(n);
    }
  }
  return {numbers.begin(), numbers.end()};
}

std::string describe(uint32_t vendor, int32_t device, const std::string& expected, const char* actual) {
  std::ostringstream text;
  text << std::hex << "vendor 0x" << vendor << " device 0x" << static_cast<uint32_t>(device)
       << ": expected \"" << expected << "\", got \"" << actual << "\"\n";
  return text.str();
}

void expectNoMismatch(std::size_t asked, std::size_t mismatches, const std::string& firstMismatches) {
  EXPECT_GT(asked, 0u);
  EXPECT_EQ(mismatches, 0u) << "of " << asked << " queries; the first:\n" << firstMismatches;
}

TEST(IndexEquivalence, DeviceInfoDiffersFromFirstRowScan) {
  const PlainRule rule;
  const std::vector<Query> queries = tableQueries();
  std::size_t mismatches = 0;
  std::string first;
  char buffer[600];
  char bounded[600];
  for (const auto& [vendor, device] : queries) {
    const std::string expected = rule.info(vendor, device);
    const std::size_t length = QorGetDeviceInfoN(vendor, device, bounded, sizeof bounded);
    if (QorGetDeviceInfo(vendor, device, buffer) != buffer || expected != buffer || expected != bounded ||
        length != expected.size()) {
      if (++mismatches <= 10) {
        first += describe(vendor, device, expected, buffer) + describe(vendor, device, expected, bounded);
      }
    }
  }
  expectNoMismatch(queries.size(), mismatches, first);
}

TEST(IndexEquivalence, PnpNameDiffersFromListScan) {
  std::size_t mismatches = 0;
  std::string first;
  char buffer[200];
  char bounded[200];
  const std::vector<int32_t> numbers = pnpQueries();
  for (const int32_t number : numbers) {
    const std::string expected = PlainRule::pnp(number);
    const std::size_t length = QorGetDevicePNPN(PnpVendorMarker, number, bounded, sizeof bounded);
    if (QorGetDevicePNP(PnpVendorMarker, number, buffer) != buffer || expected != buffer ||
        expected != bounded || length != expected.size()) {
      if (++mismatches <= 10) {
        first += describe(PnpVendorMarker, number, expected, buffer) +
                 describe(PnpVendorMarker, number, expected, bounded);
      }
    }
  }
  expectNoMismatch(numbers.size(), mismatches, first);
}

// The class descriptions as rows read from the top, where the first row
// whose base class and subclass match decides; AnySubclass also stands for
// "every subclass not listed above".
constexpr int AnySubclass = -1;
struct ClassRow {
  int baseClass;
  int subClass;
  const char* text;
  int32_t category;
};
constexpr ClassRow classRows[] = {
    {0x01, 0x00, "SCSI Mass Storage Device", 4},
    {0x01, 0x01, "IDE Mass Storage Device", 12},
    {0x01, 0x03, "IPI Mass Storage Device", 0},
    {0x01, AnySubclass, "Unknown Mass Storage Device", 0},
    {0x02, 0x00, "Ethernet interface controller", 3},
    {0x02, 0x01, "Token ring interface controller", 3},
    {0x02, 0x02, "FDDI interface controller", 3},
    {0x02, AnySubclass, "Unknown network interface controller", 3},
    {0x03, AnySubclass, "Display controller", 1},
    {0x04, AnySubclass, "Multi-media controller", 2},
    {0x05, AnySubclass, "Memory", 6},
    {0x06, AnySubclass, "Bridge Controller", 7},
    {0x07, 0x00, "Serial communications device", 11},
    {0x07, 0x01, "Parallel communications device", 10},
    {0x07, AnySubclass, "Unknown communications device", 7},
    {0x08, AnySubclass, "System peripheral", 7},
    {0x09, 0x00, "Keyboard", 9},
    {0x09, 0x02, "Mouse", 13},
    {0x09, AnySubclass, "Unknown input device", 7},
    {0x0A, AnySubclass, "Docking Station", 7},
    {0x0B, 0x00, "386-based CPU", 5},
    {0x0B, 0x01, "486-CPU", 5},
    {0x0B, 0x02, "Pentium-based CPU", 5},
    {0x0B, AnySubclass, "Unknown CPU Type", 5},
};

TEST(IndexEquivalence, ClassStringDiffersFromRowScan) {
  std::size_t mismatches = 0;
  std::string first;
  char buffer[64];
  char bounded[64];
  for (uint32_t upper = 0; upper <= 0xFFFF; ++upper) {
    const int baseClass = static_cast<int>(upper >> 8);
    const int subClass = static_cast<int>(upper & 0xFF);
    const ClassRow* match = nullptr;
    for (const ClassRow& row : classRows) {
      if (row.baseClass == baseClass && (row.subClass == subClass || row.subClass == AnySubclass)) {
        match = &row;
        break;
      }
    }
    const std::string expected = match != nullptr ? match->text : "Unknown device class";
    const int32_t category = match != nullptr ? match->category : CategoryNone;
    const uint32_t classRegister = upper << 16 | (upper * 0x9E37u & 0xFFFFu);
    const std::size_t length = QorGetDeviceClassStringN(classRegister, bounded, sizeof bounded);
    if (QorGetDeviceClassString(classRegister, buffer) != category || expected != buffer ||
        expected != bounded || length != expected.size()) {
      if (++mismatches <= 10) {
        first += describe(classRegister, category, expected, buffer) +
                 describe(classRegister, category, expected, bounded);
      }
    }
  }
  expectNoMismatch(0x10000, mismatches, first);
}

// One length-checked call, as the truncation test drives it.
struct BoundedCall {
  const char* name;
  uint32_t first;  // vendor, or class register
  int32_t second;  // device; unused for a class register
  std::size_t (*call)(uint32_t, int32_t, char*, std::size_t);
};

std::size_t infoN(uint32_t vendor, int32_t device, char* buffer, std::size_t size) {
  return QorGetDeviceInfoN(vendor, device, buffer, size);
}
std::size_t pnpN(uint32_t vendor, int32_t device, char* buffer, std::size_t size) {
  return QorGetDevicePNPN(vendor, device, buffer, size);
}
std::size_t classN(uint32_t classRegister, int32_t, char* buffer, std::size_t size) {
  return QorGetDeviceClassStringN(classRegister, buffer, size);
}

// A sample of texts: the longest of each kind, both fallback halves, a
// Plug and Play miss, the empty text of a non-marker vendor, and one text
// with bytes above 0x7F.
std::vector<std::pair<BoundedCall, std::string>> truncationSample() {
  const PlainRule rule;
  std::vector<std::pair<BoundedCall, std::string>> sample;
  auto info = [&](uint32_t vendor, int32_t device) {
    sample.push_back({{"QorGetDeviceInfoN", vendor, device, infoN}, rule.info(vendor, device)});
  };
  const PciDeviceEntry* longest = &PciDevTable[0];
  const PciDeviceEntry* highBytes = nullptr;
  for (const auto& row : PciDevTable) {
    if (rule.info(row.vendorId, row.deviceId).size() >
        rule.info(longest->vendorId, longest->deviceId).size()) {
      longest = &row;
    }
    for (const char* c = row.description; highBytes == nullptr && *c != '\0'; ++c) {
      highBytes = static_cast<unsigned char>(*c) > 0x7F ? &row : nullptr;
    }
  }
  info(longest->vendorId, longest->deviceId);
  if (highBytes != nullptr) {
    info(highBytes->vendorId, highBytes->deviceId);
  }
  info(0x8086u, 0x1229);
  info(0xFFFFu, 0xFFFF);
  info(PnpVendorMarker, 0x0C01);
  const PnpName* longestPnp = &pnpNames[0];
  for (const PnpName& entry : pnpNames) {
    longestPnp = std::string(entry.text).size() > std::string(longestPnp->text).size() ? &entry : longestPnp;
  }
  for (const int32_t number : {longestPnp->number, -1}) {
    sample.push_back({{"QorGetDevicePNPN", PnpVendorMarker, number, pnpN}, PlainRule::pnp(number)});
  }
  sample.push_back({{"QorGetDevicePNPN", 0x8086u, 0x0C01, pnpN}, ""});
  for (const uint32_t classRegister : {0x02800000u, 0x0B020000u, 0xFF000000u}) {
    char text[64];
    QorGetDeviceClassString(classRegister, text);
    sample.push_back({{"QorGetDeviceClassStringN", classRegister, 0, classN}, text});
  }
  return sample;
}

// At every size from 0 to past the whole text: the full length is returned,
// the first size - 1 bytes and a terminator are written, and not one byte
// beyond the size; size 0 and a null buffer write nothing.
TEST(BoundedCalls, TextCutOrWrittenBeyondItsSize) {
  std::size_t asked = 0;
  std::size_t mismatches = 0;
  std::string first;
  constexpr char Untouched = '\x5A';
  for (const auto& [call, expected] : truncationSample()) {
    EXPECT_EQ(call.call(call.first, call.second, nullptr, 0), expected.size()) << call.name;
    EXPECT_EQ(call.call(call.first, call.second, nullptr, 64), expected.size()) << call.name;
    for (std::size_t size = 0; size <= expected.size() + 2; ++size) {
      std::string buffer(expected.size() + 8, Untouched);
      const std::size_t length = call.call(call.first, call.second, buffer.data(), size);
      std::string wanted(buffer.size(), Untouched);
      if (size > 0) {
        const std::size_t kept = std::min(size - 1, expected.size());
        wanted.replace(0, kept + 1, expected.substr(0, kept) + '\0');
      }
      ++asked;
      if (length != expected.size() || buffer != wanted) {
        if (++mismatches <= 10) {
          std::ostringstream text;
          text << call.name << " 0x" << std::hex << call.first << " 0x" << call.second << std::dec << " size "
               << size << ": length " << length << " of " << expected.size() << ", wrote \""
               << buffer.substr(0, buffer.find(Untouched)) << "\"\n";
          first += text.str();
        }
      }
    }
  }
  expectNoMismatch(asked, mismatches, first);
}

}  // namespace
