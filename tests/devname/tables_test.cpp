// Rules over the whole exported tables: order, uniqueness, grouping, texts,
// counts and the rows other programs rely on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "devname.h"

namespace {

// Vendor texts stay within 50 bytes and device texts within 100, so that a
// PCI result never exceeds 151 characters; every text fits a 256-byte copy.
constexpr std::size_t VendorTextLimit = 50;
constexpr std::size_t DeviceTextLimit = 100;

::testing::AssertionResult validText(const char* text, std::size_t limit, bool mayBeEmpty) {
  if (text == nullptr) {
    return ::testing::AssertionFailure() << "null text";
  }
  const std::size_t length = std::strlen(text);
  if (length > limit || length >= 256) {
    return ::testing::AssertionFailure() << "too long: " << text;
  }
  if (length == 0 && !mayBeEmpty) {
    return ::testing::AssertionFailure() << "empty text";
  }
  // Texts are Windows-1252: a UTF-8 lead byte followed by a continuation
  // byte means the conversion was skipped.
  for (std::size_t i = 0; i + 1 < length; ++i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const auto next = static_cast<unsigned char>(text[i + 1]);
    if (lead >= 0xC2 && lead <= 0xF4 && next >= 0x80 && next <= 0xBF) {
      return ::testing::AssertionFailure() << "UTF-8 left in: " << text;
    }
  }
  return ::testing::AssertionSuccess();
}

TEST(NameTables, ShorterThanShippedCounts) {
  EXPECT_GE(std::size(qorPciVendors), 1068u);
  EXPECT_GE(std::size(qorPciDevices), 2003u);
  EXPECT_GE(std::size(PciVenTable), 1464u);
  EXPECT_GE(std::size(PciDevTable), 3824u);
}

TEST(NameTables, VendorTablesUnsortedOrDuplicated) {
  for (std::size_t i = 1; i < std::size(qorPciVendors); ++i) {
    ASSERT_LT(qorPciVendors[i - 1].vendorId, qorPciVendors[i].vendorId) << "row " << i;
  }
  for (std::size_t i = 1; i < std::size(PciVenTable); ++i) {
    ASSERT_LT(PciVenTable[i - 1].vendorId, PciVenTable[i].vendorId) << "row " << i;
  }
}

TEST(NameTables, OwnDevicesUnsortedOrDuplicated) {
  for (std::size_t i = 1; i < std::size(qorPciDevices); ++i) {
    const auto& a = qorPciDevices[i - 1];
    const auto& b = qorPciDevices[i];
    ASSERT_LT(std::tie(a.vendorId, a.deviceId), std::tie(b.vendorId, b.deviceId)) << "row " << i;
  }
}

TEST(NameTables, GeneralDeviceGroupSplitOrVendorUnnamed) {
  std::set<uint16_t> vendors;
  for (const auto& row : PciVenTable) {
    vendors.insert(row.vendorId);
  }
  std::set<uint16_t> finishedGroups;
  for (std::size_t i = 0; i < std::size(PciDevTable); ++i) {
    const uint16_t vendor = PciDevTable[i].vendorId;
    ASSERT_TRUE(vendors.count(vendor)) << std::hex << vendor << " has no PciVenTable row";
    if (i > 0 && PciDevTable[i - 1].vendorId != vendor) {
      ASSERT_TRUE(finishedGroups.insert(PciDevTable[i - 1].vendorId).second);
      ASSERT_FALSE(finishedGroups.count(vendor)) << std::hex << vendor << " in two groups";
    }
  }
}

TEST(NameTables, TextNullTooLongEmptyOrNotConverted) {
  for (const auto& row : qorPciVendors) {
    ASSERT_TRUE(validText(row.name, VendorTextLimit, false)) << std::hex << row.vendorId;
  }
  for (const auto& row : PciVenTable) {
    ASSERT_TRUE(validText(row.name, VendorTextLimit, false)) << std::hex << row.vendorId;
    ASSERT_TRUE(validText(row.abbreviation, VendorTextLimit, true)) << std::hex << row.vendorId;
  }
  for (const auto& row : qorPciDevices) {
    ASSERT_TRUE(validText(row.name, DeviceTextLimit, false)) << std::hex << row.vendorId;
  }
  for (const auto& row : PciDevTable) {
    ASSERT_TRUE(validText(row.partNumber, DeviceTextLimit, true)) << std::hex << row.vendorId;
    ASSERT_TRUE(validText(row.description, DeviceTextLimit, true)) << std::hex << row.vendorId;
  }
}

// Rows other programs of the imaging environment rely on, exactly.
TEST(NameTables, EstablishedOwnRowsChangedOrMissing) {
  EXPECT_EQ(qorPciVendors[0].vendorId, 0x0000);
  EXPECT_STREQ(qorPciVendors[0].name, "Gammagraphx, Inc");
  EXPECT_EQ(qorPciDevices[0].vendorId, 0x0675);
  EXPECT_EQ(qorPciDevices[0].deviceId, 0x1700);
  EXPECT_STREQ(qorPciDevices[0].name, "IS64PH ISDN Adapter");

  const std::set<std::tuple<uint16_t, std::string>> vendors = {{0x003D, "Martin-Marietta"},
                                                               {0x0E11, "Compaq Computer"},
                                                               {0x1202, "Network General Corporation"},
                                                               {0x8086, "Intel Corporation"}};
  std::set<std::tuple<uint16_t, std::string>> foundVendors;
  std::set<uint16_t> vendorIds;
  for (const auto& row : qorPciVendors) {
    vendorIds.insert(row.vendorId);
    if (vendors.count({row.vendorId, row.name})) {
      foundVendors.insert({row.vendorId, row.name});
    }
  }
  EXPECT_EQ(foundVendors, vendors);
  for (const int absent : {0x0675, 0x100B, 0x11DE, 0x11F0, 0xFFFF}) {
    EXPECT_FALSE(vendorIds.count(static_cast<uint16_t>(absent))) << std::hex << absent;
  }

  using Pair = std::tuple<uint16_t, uint16_t>;
  const std::set<std::tuple<uint16_t, uint16_t, std::string>> devices = {
      {0x0E11, 0x0001, "EISA Bridge"},
      {0x100B, 0x0020, "MacPhyter 10/100 Mb/s Ethernet MAC & PHY"},
      {0x121A, 0x0003, "3Dfx Banshee chipset"},
      {0x8086, 0x1229, "82557 Fast Ethernet PRO/100"}};
  std::set<std::tuple<uint16_t, uint16_t, std::string>> foundDevices;
  std::set<Pair> pairs;
  for (const auto& row : qorPciDevices) {
    pairs.insert({row.vendorId, row.deviceId});
    if (devices.count({row.vendorId, row.deviceId, row.name})) {
      foundDevices.insert({row.vendorId, row.deviceId, row.name});
    }
  }
  EXPECT_EQ(foundDevices, devices);
  for (const Pair& absent : {Pair{0x003D, 0x0001}, Pair{0x11DE, 0x9876}, Pair{0x11F0, 0x4232},
                             Pair{0x1202, 0x0001}, Pair{0xFFFF, 0xFFFF}}) {
    EXPECT_FALSE(pairs.count(absent)) << std::hex << std::get<0>(absent) << ' ' << std::get<1>(absent);
  }
}

TEST(NameTables, EstablishedGeneralVendorRowsChangedOrMissing) {
  using Row = std::tuple<uint16_t, std::string, std::string>;
  const std::set<Row> expected = {{0x0033, "", "Paradyne Corp."},
                                  {0x003D, "Lockheed Martin", "Lockheed Martin Corp"},
                                  {0x0123, "", "General Dynamics"},
                                  {0x100B, "NSC", "National Semiconductor"},
                                  {0x11DE, "Zoran", "Zoran Corporation"},
                                  {0x11F0, "Compu-Shack", "Compu-Shack GmbH"},
                                  {0x1202, "Network Gen", "Network General Corp"},
                                  {0x8086, "Intel", "Intel Corporation"}};
  std::set<Row> found;
  for (const auto& row : PciVenTable) {
    EXPECT_NE(row.vendorId, 0x0675);
    EXPECT_NE(row.vendorId, 0xFFFF);
    const Row candidate{row.vendorId, row.abbreviation, row.name};
    if (expected.count(candidate)) {
      found.insert(candidate);
    }
  }
  EXPECT_EQ(PciVenTable[0].vendorId, 0x0033);
  EXPECT_EQ(found, expected);
}

// All rows of a pair in table order, as a first-match search meets them.
std::vector<std::tuple<std::string, std::string>> generalDeviceRows(uint16_t vendor, uint16_t device) {
  std::vector<std::tuple<std::string, std::string>> rows;
  for (const auto& row : PciDevTable) {
    if (row.vendorId == vendor && row.deviceId == device) {
      rows.emplace_back(row.partNumber, row.description);
    }
  }
  return rows;
}

TEST(NameTables, EstablishedGeneralDeviceRowsChangedOrReordered) {
  using Rows = std::vector<std::tuple<std::string, std::string>>;
  EXPECT_EQ(PciDevTable[0].vendorId, 0x16AE);
  EXPECT_EQ(PciDevTable[0].deviceId, 0x1141);
  EXPECT_STREQ(PciDevTable[0].partNumber, "SafeXcel-1141");
  EXPECT_STREQ(PciDevTable[0].description, "???");
  EXPECT_EQ(generalDeviceRows(0x11DE, 0x9876), (Rows{{"", ""}}));
  EXPECT_EQ(generalDeviceRows(0x11F0, 0x4232), (Rows{{"FASTline UTP Quattro", ""}}));
  EXPECT_EQ(generalDeviceRows(0x1202, 0x0001), (Rows{{"NAIATMPCI", "PCI ATM Adapter"}}));
  EXPECT_EQ(generalDeviceRows(0x121A, 0x0003),
            (Rows{{"", ""}, {"", ""}, {"Voodoo Banshee", "Voodoo Banshee"}}));
  EXPECT_TRUE(generalDeviceRows(0x003D, 0x0001).empty());
  EXPECT_TRUE(generalDeviceRows(0xFFFF, 0xFFFF).empty());
}

TEST(ReferenceTables, ClassCodeDuplicatedMisorderedOrTextless) {
  ASSERT_EQ(std::size(PciClassCodeTable), 69u);
  std::set<std::tuple<int, int, int>> codes;
  for (std::size_t i = 0; i < std::size(PciClassCodeTable); ++i) {
    const auto& row = PciClassCodeTable[i];
    ASSERT_TRUE(codes.insert({row.baseClass, row.subClass, row.progIf}).second) << "row " << i;
    ASSERT_NE(row.progIfName, nullptr);
    ASSERT_GT(std::strlen(row.className), 0u);
    ASSERT_GT(std::strlen(row.subClassName), 0u);
    if (i > 0) {
      const auto& prev = PciClassCodeTable[i - 1];
      ASSERT_LT(std::tie(prev.baseClass, prev.subClass, prev.progIf),
                std::tie(row.baseClass, row.subClass, row.progIf));
    }
  }
  const auto& last = PciClassCodeTable[68];
  EXPECT_EQ(std::make_tuple(last.baseClass, last.subClass, last.progIf), std::make_tuple(0xFF, 0, 0));
  EXPECT_STREQ(last.progIfName, "UDF");
  // The generic DMA controller and system timer rows carry a name.
  for (const auto& row : PciClassCodeTable) {
    if (row.baseClass == 0x08 && row.progIf == 0x00 && (row.subClass == 0x01 || row.subClass == 0x02)) {
      EXPECT_GT(std::strlen(row.progIfName), 0u);
    }
  }
}

TEST(ReferenceTables, RegisterBitTextsShiftedOrMissing) {
  ASSERT_EQ(std::size(PciCommandFlags), 16u);
  ASSERT_EQ(std::size(PciStatusFlags), 16u);
  ASSERT_EQ(std::size(PciDevSelFlags), 4u);
  EXPECT_STREQ(PciCommandFlags[0], "I/O Access");
  EXPECT_STREQ(PciCommandFlags[9], "Fast Back-To-Back");
  EXPECT_STREQ(PciCommandFlags[15], "Reserved 15");
  EXPECT_STREQ(PciStatusFlags[4], "Reserved 4");
  EXPECT_STREQ(PciStatusFlags[8], "Data Parity Reported");
  EXPECT_STREQ(PciStatusFlags[9], "");
  EXPECT_STREQ(PciStatusFlags[10], "");
  EXPECT_STREQ(PciStatusFlags[11], "Signalled Target Abort");
  EXPECT_STREQ(PciStatusFlags[15], "Detected Parity Error");
  EXPECT_STREQ(PciDevSelFlags[0], "Fast Devsel Speed");
  EXPECT_STREQ(PciDevSelFlags[3], "Reserved 9&10");
}

}  // namespace
