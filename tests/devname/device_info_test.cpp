// Lookup rules of QorGetDeviceInfo.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "devname.h"

namespace {

constexpr std::size_t BufferSize = 600;
constexpr char Filler = 'Z';

struct InfoCase {
  const char* fault;
  uint32_t vendor;
  int32_t device;
  const char* expected;
};

void PrintTo(const InfoCase& c, std::ostream* os) { *os << c.fault; }

class DeviceInfoLookup : public ::testing::TestWithParam<InfoCase> {};

// The buffer starts full of old text; the result must replace it, return the
// caller's pointer and leave every byte behind the terminator alone.
TEST_P(DeviceInfoLookup, GivesExpectedTextAndWritesNothingBeyondIt) {
  const InfoCase& c = GetParam();
  char buffer[BufferSize];
  std::memset(buffer, Filler, sizeof buffer);
  EXPECT_EQ(QorGetDeviceInfo(c.vendor, c.device, buffer), buffer);
  ASSERT_EQ(std::string(buffer), c.expected);
  for (std::size_t i = std::strlen(buffer) + 1; i < sizeof buffer; ++i) {
    ASSERT_EQ(buffer[i], Filler) << "byte " << i << " overwritten";
  }
}

const InfoCase infoCases[] = {
    {"PnpMarkerNotRoutedToPnpNames", PnpVendorMarker, 0x0C01, "Plug and Play device -- System Board"},
    {"UnknownPnpNumberFallsThroughToPciTables", PnpVendorMarker, 0x0005,
     "Plug and Play device -- unknown device 0x5"},
    {"OwnTablesNotUsedForBothHalves", 0x8086, 0x1229, "Intel Corporation 82557 Fast Ethernet PRO/100"},
    {"GeneralVendorNotUsedWhenOwnVendorMissing", 0x100B, 0x0020,
     "National Semiconductor MacPhyter 10/100 Mb/s Ethernet MAC & PHY"},
    {"GeneralVendorRowWinsOverOwnRow", 0x003D, 0x0001, "Martin-Marietta Unknown device 0x0001"},
    {"PartNumberPreferredToDescription", 0x1202, 0x0001, "Network General Corporation PCI ATM Adapter"},
    {"EmptyDescriptionNotFallingBackToPartNumber", 0x11F0, 0x4232, "Compu-Shack GmbH FASTline UTP Quattro"},
    {"SearchContinuesPastFirstMatchingDeviceRow", 0x11DE, 0x9876, "Zoran Corporation Unknown device 0x9876"},
    {"VendorFallbackMissingOrDeviceNotNamedAlone", 0x0675, 0x1700,
     "Unknown vendor 0x0675 : IS64PH ISDN Adapter"},
    {"VendorIdZeroTreatedAsNoVendor", 0x0000, 0x0000, "Gammagraphx, Inc Unknown device 0x0000"},
    {"UnknownPairNotGivingBothFallbacks", 0xFFFF, 0xFFFF, "Unknown vendor 0xFFFF : Unknown device 0xFFFF"},
    {"VendorAboveFFFFMaskedBeforeMatching", 0x00018086, 0x1229,
     "Unknown vendor 0x8086 : Unknown device 0x1229"},
    {"DeviceAboveFFFFMaskedBeforeMatching", 0x8086, 0x00011229, "Intel Corporation Unknown device 0x1229"},
    {"NegativeDeviceMatchingOrPrintedWide", 0x8086, -1, "Intel Corporation Unknown device 0xFFFF"},
    {"MarkerNearMissTakenForMarker", 0xAAAAAAAB, 0x0C01, "Unknown vendor 0xAAAB : Unknown device 0x0C01"},
};

INSTANTIATE_TEST_SUITE_P(Cases, DeviceInfoLookup, ::testing::ValuesIn(infoCases),
                         [](const auto& testCase) { return std::string(testCase.param.fault); });

// A null buffer is refused instead of written through; the category is
// still reported.
TEST(NullBuffer, NullBufferWrittenThrough) {
  EXPECT_EQ(QorGetDeviceInfo(0x8086, 0x1229, nullptr), nullptr);
  EXPECT_EQ(QorGetDeviceInfo(PnpVendorMarker, 0x0C01, nullptr), nullptr);
  EXPECT_EQ(QorGetDevicePNP(PnpVendorMarker, 0x0C01, nullptr), nullptr);
  EXPECT_EQ(QorGetDeviceClassString(0x01010000, nullptr), CategoryIde);
}

// Sums every ID and text byte of the four name tables.
unsigned long nameTablesChecksum() {
  unsigned long sum = 0;
  auto add = [&sum](const char* text) {
    for (; *text != '\0'; ++text) {
      sum = sum * 31 + static_cast<unsigned char>(*text);
    }
  };
  for (const auto& row : qorPciVendors) {
    sum += row.vendorId;
    add(row.name);
  }
  for (const auto& row : qorPciDevices) {
    sum += row.vendorId + row.deviceId;
    add(row.name);
  }
  for (const auto& row : PciVenTable) {
    sum += row.vendorId;
    add(row.abbreviation);
    add(row.name);
  }
  for (const auto& row : PciDevTable) {
    sum += row.vendorId + row.deviceId;
    add(row.partNumber);
    add(row.description);
  }
  return sum;
}

TEST(DeviceInfoTables, LookupsModifyingTables) {
  const unsigned long before = nameTablesChecksum();
  char buffer[BufferSize];
  for (const InfoCase& c : infoCases) {
    QorGetDeviceInfo(c.vendor, c.device, buffer);
  }
  for (std::size_t i = 0; i < PciDevTableCount; i += 50) {
    QorGetDeviceInfo(PciDevTable[i].vendorId, PciDevTable[i].deviceId, buffer);
  }
  EXPECT_EQ(nameTablesChecksum(), before);
}

// Every own row must be reachable: the own device name ends every result for
// its pair, whatever the vendor half is.
TEST(DeviceInfoTables, OwnDeviceRowShadowedByEarlierSource) {
  char buffer[BufferSize];
  for (const auto& row : qorPciDevices) {
    QorGetDeviceInfo(row.vendorId, row.deviceId, buffer);
    const std::string result(buffer);
    const std::string name(row.name);
    ASSERT_GE(result.size(), name.size() + 1);
    ASSERT_EQ(result.substr(result.size() - name.size()), name) << result;
  }
}

}  // namespace
