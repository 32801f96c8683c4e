// Moving text into the record's buffers and out again, and the DNS server listing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fields/text.h"

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

// Every printed form of a text is a C string, so a unit whose low byte is
// zero ends it there; the text still counts as present for "Not found".
TEST(RecordText, ZeroLowByteEndsTheTextWhichIsStillPresent) {
  const std::uint8_t wide[] = {0x41, 0x00, 0x00, 0x01, 0x42, 0x00, 0, 0};
  EXPECT_EQ(fieldText(wide), "A");
  EXPECT_EQ(fieldText(wide + 2), "");
  EXPECT_TRUE(hasFieldText(wide + 2));
  EXPECT_FALSE(hasFieldText(wide + 6));
  EXPECT_FALSE(hasFieldText(nullptr));
}

// Units that are no UTF-16 wherever they stand (alone, before another high
// surrogate, at the very end) each show as one U+FFFD; the rest converts.
struct Utf8Case {
  const char* what;
  std::vector<std::uint8_t> units;  // without the terminator
  std::string utf8;
};

const Utf8Case utf8Cases[] = {
    {"ZeroLowByteDoesNotEndTheText",
     {0x41, 0x00, 0x00, 0x01, 0x42, 0x00},
     "A\xC4\x80"
     "B"},
    {"PairIsOneCharacter", {0x3D, 0xD8, 0x00, 0xDE}, "\xF0\x9F\x98\x80"},
    {"LoneLowSurrogate",
     {0x41, 0x00, 0x00, 0xDC, 0x42, 0x00},
     "A\xEF\xBF\xBD"
     "B"},
    {"HighSurrogateBeforeAPair", {0x00, 0xD8, 0x3D, 0xD8, 0x00, 0xDE}, "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
    {"HighSurrogateAtTheEnd", {0x41, 0x00, 0x00, 0xD8}, "A\xEF\xBF\xBD"},
};

TEST(RecordText, Utf8FormOfStoredUnits) {
  for (const Utf8Case& c : utf8Cases) {
    std::vector<std::uint8_t> wide = c.units;
    wide.insert(wide.end(), {0, 0});
    EXPECT_EQ(wideToUtf8(wide.data()), c.utf8) << c.what;
  }
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
