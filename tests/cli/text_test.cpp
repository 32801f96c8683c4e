// Moving text into the record's buffers and out into the script.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "cli/frontends.h"
#include "cli/text.h"

namespace {

TEST(StoreText, ValueLongerThanTheBufferIsCutAndTheTerminatorKept) {
  std::vector<std::uint8_t> buffer(IsdCapNetbiosName + 8, 0xAA);  // guard bytes behind
  const std::string stored = storeFieldText(buffer.data(), IsdCapNetbiosName, std::string(40, 'N'));
  EXPECT_EQ(stored, std::string(15, 'N'));
  EXPECT_EQ(wideLength(buffer.data()), 30u);
  EXPECT_EQ(buffer[30], 0);
  EXPECT_EQ(buffer[31], 0);
  for (std::size_t i = IsdCapNetbiosName; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0xAA) << i;
}

TEST(StoreText, ShorterValueClearsWhatAnOlderLongerTextLeft) {
  std::vector<std::uint8_t> buffer(IsdCapWsTree, 0);
  storeFieldText(buffer.data(), buffer.size(), "LongerTreeName");
  EXPECT_EQ(storeFieldText(buffer.data(), buffer.size(), "Lab"), "Lab");
  for (std::size_t i = 6; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0) << i;
  EXPECT_EQ(fieldText(buffer.data()), "Lab");
}

TEST(StoreText, RecordWithoutBuffersTakesNothing) {
  EXPECT_EQ(storeFieldText(nullptr, IsdCapWsTree, "Lab"), "");
  EXPECT_EQ(fieldText(nullptr), "");
}

TEST(RecordText, HighUnitsKeepTheirLowByte) {
  const std::uint8_t wide[] = {0x41, 0x01, 0xE9, 0x00, 0x42, 0x00, 0, 0};
  EXPECT_EQ(fieldText(wide),
            "A\xE9"
            "B");
}

struct QuoteCase {
  const char* value;
  const char* word;
};

// Test names show the value with every byte outside printable ASCII as \xHH.
void PrintTo(const QuoteCase& c, std::ostream* os) {
  static const char hex[] = "0123456789ABCDEF";
  if (*c.value == '\0') *os << "(empty)";
  for (const char* p = c.value; *p != '\0'; ++p) {
    const auto byte = static_cast<unsigned char>(*p);
    if (byte > 0x20 && byte < 0x7F) {
      *os << *p;
    } else {
      *os << "\\x" << hex[byte >> 4] << hex[byte & 0xF];
    }
  }
}

class ShellWord : public testing::TestWithParam<QuoteCase> {};

TEST_P(ShellWord, OnlyUnsafeValuesAreQuoted) { EXPECT_EQ(shellWord(GetParam().value), GetParam().word); }

INSTANTIATE_TEST_SUITE_P(Script, ShellWord,
                         testing::Values(QuoteCase{"", ""}, QuoteCase{"Lab_Tree-1", "Lab_Tree-1"},
                                         QuoteCase{"CN=PC1.OU=Lab.O=Corp", "CN=PC1.OU=Lab.O=Corp"},
                                         QuoteCase{"a@b%c+d:e,f/g", "a@b%c+d:e,f/g"},
                                         QuoteCase{"East Tree", "'East Tree'"},
                                         QuoteCase{"$(reboot)", "'$(reboot)'"},
                                         QuoteCase{"it's", "'it'\\''s'"}, QuoteCase{"a\nb", "'a\nb'"},
                                         QuoteCase{"caf\xE9", "'caf\xE9'"}, QuoteCase{"~root", "'~root'"},
                                         QuoteCase{"*", "'*'"}));

TEST(ShellDoubleQuoted, BackslashQuoteDollarAndBackquoteAreEscaped) {
  EXPECT_EQ(shellDoubleQuoted("//srv/img path"), "\"//srv/img path\"");
  EXPECT_EQ(shellDoubleQuoted("a\\b\"c$d`e'f"), "\"a\\\\b\\\"c\\$d\\`e'f\"");
}

TEST(DnsServerList, CountAboveTheTableIsListedAsThirtyTwo) {
  ImageSafeDataStruct record{};
  record.dnsServerCount = 2;
  EXPECT_EQ(listedDnsServers(&record), 2u);
  record.dnsServerCount = 33;
  EXPECT_EQ(listedDnsServers(&record), 32u);
  record.dnsServerCount = 0xFFFFFFFFu;
  EXPECT_EQ(listedDnsServers(&record), 32u);
}

}  // namespace
