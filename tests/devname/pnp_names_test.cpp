// Plug and Play names: QorGetDevicePNP and its number list.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "devname_internal.h"
#include "pnp_name_list.h"

namespace {

struct PnpCase {
  const char* fault;
  int32_t device;
  const char* expected;
};

void PrintTo(const PnpCase& c, std::ostream* os) { *os << c.fault; }

class PnpLookup : public ::testing::TestWithParam<PnpCase> {};

// The buffer holds an older, longer text that must be replaced.
TEST_P(PnpLookup, ReplacesBufferWithExpectedText) {
  const PnpCase& c = GetParam();
  char buffer[200];
  std::memset(buffer, 'Q', sizeof buffer - 1);
  buffer[sizeof buffer - 1] = '\0';
  EXPECT_EQ(QorGetDevicePNP(PnpVendorMarker, c.device, buffer), buffer);
  EXPECT_STREQ(buffer, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PnpLookup,
    ::testing::Values(
        PnpCase{"FirstNumberMissed", 0x0000, "Plug and Play device -- AT Interrupt Controller"},
        PnpCase{"LastNumberMissed", 0xC001, "Plug and Play device -- Compaq 2400/9600 Modem"},
        PnpCase{"NetworkNumberMismatched", 0x81C6,
                "Plug and Play device -- SMC EtherCard PLUS Elite 16T (WD/8013W)"},
        PnpCase{"TrailingBlankOfTextLost", 0x0931, "Plug and Play device -- Chips & Technology "},
        PnpCase{"GapBetweenNumbersMatched", 0x0005, "Plug and Play device -- unknown device 0x5"},
        PnpCase{"NumberMaskedTo16Bits", 0x00010C01, "Plug and Play device -- unknown device 0x10C01"},
        PnpCase{"NegativeNumberPrintedSigned", -1, "Plug and Play device -- unknown device 0xFFFFFFFF"},
        PnpCase{"UnknownNumberPrintedInLowerCase", 0xABCD, "Plug and Play device -- unknown device 0xABCD"}),
    [](const auto& testCase) { return std::string(testCase.param.fault); });

class PnpOtherVendor : public ::testing::TestWithParam<uint32_t> {};

TEST_P(PnpOtherVendor, BufferTouchedForNonMarkerVendor) {
  char buffer[128];
  for (std::size_t i = 0; i < sizeof buffer; ++i) {
    buffer[i] = static_cast<char>(i * 7 + 1);
  }
  char before[sizeof buffer];
  std::memcpy(before, buffer, sizeof buffer);
  EXPECT_EQ(QorGetDevicePNP(GetParam(), 0x0C01, buffer), buffer);
  EXPECT_EQ(std::memcmp(buffer, before, sizeof buffer), 0);
}

// Near misses of the marker catch a comparison of only part of the value.
INSTANTIATE_TEST_SUITE_P(Vendors, PnpOtherVendor,
                         ::testing::Values(0x8086u, 0x0000u, 0xAAAAu, 0x2AAAAAAAu, 0xAAAAAAABu, 0xFFFFFFFFu));

TEST(PnpNameList, NumbersUnsortedDuplicatedOrMissing) {
  ASSERT_EQ(pnpNameCount, 313u);
  for (std::size_t i = 1; i < pnpNameCount; ++i) {
    EXPECT_LT(pnpNames[i - 1].number, pnpNames[i].number) << "at " << i;
  }
  EXPECT_EQ(pnpNames[0].number, 0x0000);
  EXPECT_EQ(pnpNames[pnpNameCount - 1].number, 0xC001);
}

// Exactly these texts stand under more than one number; any other repeat is a
// copy-and-paste slip in the list.
TEST(PnpNameList, TextRepeatedUnderWrongNumbers) {
  std::map<std::string, std::vector<int32_t>> numbersByText;
  for (std::size_t i = 0; i < pnpNameCount; ++i) {
    numbersByText[pnpNames[i].text].push_back(pnpNames[i].number);
  }
  std::map<std::string, std::vector<int32_t>> repeated;
  for (const auto& [text, numbers] : numbersByText) {
    if (numbers.size() > 1) {
      repeated[text] = numbers;
    }
  }
  const std::map<std::string, std::vector<int32_t>> expected = {
      {"Generic IRDA-compatible device", {0x0510, 0x0511}},
      {"Reserved by Microsoft", {0x030B, 0x0917}},
      {"Reserved for identification of early Plug and Play BIOS implementation", {0x0C06, 0x0C07}},
      {"Reserved by Microsoft Input Device Group", {0x0F1F, 0x0F20, 0x0F21, 0x0F22, 0x0F23}},
      {"IBM Token Ring", {0x80C9, 0x8327}},
      {"Thomas Conrad TC6245", {0x80FE, 0x8100}},
      {"MediaVision Pro Audio Spectrum", {0xB00A, 0xB00E}},
      {"MediaVision Pro Audio Spectrum Basic", {0xB00D, 0xB019}},
  };
  EXPECT_EQ(repeated, expected);
}

// Callers size their buffers for 94 characters plus the terminator.
TEST(PnpNameList, TextEmptyOrTooLongForCallerBuffers) {
  std::size_t longest = 0;
  for (std::size_t i = 0; i < pnpNameCount; ++i) {
    const std::size_t length = std::strlen(pnpNames[i].text);
    EXPECT_GT(length, 0u) << std::hex << pnpNames[i].number;
    longest = std::max(longest, length);
  }
  EXPECT_EQ(longest, 70u);
}

}  // namespace
