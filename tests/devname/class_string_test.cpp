// Class descriptions: QorGetDeviceClassString.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "devname.h"

namespace {

struct ClassCase {
  const char* fault;
  uint32_t classRegister;
  const char* text;
  int32_t category;
};

void PrintTo(const ClassCase& c, std::ostream* os) { *os << c.fault; }

class ClassLookup : public ::testing::TestWithParam<ClassCase> {};

TEST_P(ClassLookup, GivesExpectedTextAndCategory) {
  const ClassCase& c = GetParam();
  char buffer[64];
  std::memset(buffer, 'Q', sizeof buffer - 1);
  buffer[sizeof buffer - 1] = '\0';
  EXPECT_EQ(QorGetDeviceClassString(c.classRegister, buffer), c.category);
  EXPECT_STREQ(buffer, c.text);
}

// One case per category number and per rule of the class table.
INSTANTIATE_TEST_SUITE_P(
    Cases, ClassLookup,
    ::testing::Values(
        ClassCase{"LowBytesChangingIdeResult", 0x0101808A, "IDE Mass Storage Device", CategoryIde},
        ClassCase{"ScsiCategoryWrong", 0x01000000, "SCSI Mass Storage Device", 4},
        ClassCase{"FloppyNotUnknownStorage", 0x01020000, "Unknown Mass Storage Device", 0},
        ClassCase{"IpiGivenStorageCategory", 0x01030000, "IPI Mass Storage Device", 0},
        ClassCase{"OtherNetworkNotNetworkCategory", 0x02800000, "Unknown network interface controller", 3},
        ClassCase{"TokenRingMismatched", 0x02010000, "Token ring interface controller", 3},
        ClassCase{"DisplaySubclassExamined", 0x03800000, "Display controller", 1},
        ClassCase{"MultimediaCategoryWrong", 0x04010000, "Multi-media controller", 2},
        ClassCase{"MemoryCategoryWrong", 0x05000000, "Memory", 6},
        ClassCase{"BridgeCategoryWrong", 0x06040000, "Bridge Controller", 7},
        ClassCase{"SerialCategoryWrong", 0x07000000, "Serial communications device", 11},
        ClassCase{"ParallelCategoryWrong", 0x07010000, "Parallel communications device", 10},
        ClassCase{"OtherCommunicationsNotOther", 0x07800000, "Unknown communications device", 7},
        ClassCase{"SystemPeripheralWrong", 0x08800000, "System peripheral", 7},
        ClassCase{"KeyboardGivenEight", 0x09000000, "Keyboard", 9},
        ClassCase{"DigitizerNotUnknownInput", 0x09010000, "Unknown input device", 7},
        ClassCase{"MouseCategoryWrong", 0x09020000, "Mouse", 13},
        ClassCase{"DockingStationWrong", 0x0A000000, "Docking Station", 7},
        ClassCase{"PentiumMismatched", 0x0B020000, "Pentium-based CPU", 5},
        ClassCase{"OtherProcessorNotProcessorCategory", 0x0B400000, "Unknown CPU Type", 5},
        ClassCase{"PreClassVgaNamed", 0x00010000, "Unknown device class", 0},
        ClassCase{"UsbBaseClassAboveRangeNamed", 0x0C030000, "Unknown device class", 0},
        ClassCase{"BaseClassReadAsSigned", 0x80000000, "Unknown device class", 0}),
    [](const auto& testCase) { return std::string(testCase.param.fault); });

// Every base class and subclass: 8 is never a category, every text fits a
// 37-byte buffer, classes above 0B are unknown, and the low 16 bits never
// change the answer.
TEST(ClassSweep, CategoryEightTextTooLongOrLowBitsUsed) {
  char plain[64];
  char noisy[64];
  for (uint32_t upper = 0; upper <= 0xFFFF; ++upper) {
    const uint32_t reg = upper << 16;
    const int32_t category = QorGetDeviceClassString(reg, plain);
    ASSERT_EQ(QorGetDeviceClassString(reg | (upper ^ 0xA5C3u), noisy), category) << std::hex << reg;
    ASSERT_STREQ(noisy, plain);
    ASSERT_NE(category, 8);
    ASSERT_TRUE(category >= 0 && category <= 13);
    ASSERT_LE(std::strlen(plain), 36u);
    if ((upper >> 8) > 0x0B || (upper >> 8) == 0) {
      ASSERT_STREQ(plain, "Unknown device class");
      ASSERT_EQ(category, CategoryNone);
    }
  }
}

}  // namespace
