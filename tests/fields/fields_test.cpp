// Keyword table rules, the two matchers and the value parsers.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <ostream>
#include <string>

#include "fields/fields.h"
#include "fields/numbers.h"
#include "fields/values.h"

namespace {

// The row an argument selects as a bare field word, or -1.
int rowOfWord(const char* word) {
  for (std::size_t row = 0; row < FieldKeywordCount; ++row) {
    if (matchFieldName(word, fieldKeywords[row].keyword) == 0) return static_cast<int>(row);
  }
  return -1;
}

// The row an argument selects as an assignment, or -1.
int rowOfAssignment(const char* argument) {
  std::string value;
  for (std::size_t row = 0; row < FieldKeywordCount; ++row) {
    if (matchAssignment(argument, fieldKeywords[row].keyword, value) >= 0) {
      return static_cast<int>(row);
    }
  }
  return -1;
}

struct WordCase {
  const char* word;
  const char* keyword;  // of the row it must select
};

void PrintTo(const WordCase& c, std::ostream* os) { *os << c.word; }

class FirstMatchingRow : public testing::TestWithParam<WordCase> {};

TEST_P(FirstMatchingRow, WordSelectsTheRowOfItsKeywordPrefix) {
  const int row = rowOfWord(GetParam().word);
  ASSERT_GE(row, 0) << GetParam().word;
  EXPECT_STREQ(fieldKeywords[row].keyword, GetParam().keyword) << GetParam().word;
}

INSTANTIATE_TEST_SUITE_P(
    KeywordTable, FirstMatchingRow,
    testing::Values(WordCase{"JustImagedNow", "J"}, WordCase{"j=1", "J"}, WordCase{"scriptedimage", "SC"},
                    WordCase{"LastBaseImage", "L"}, WordCase{"ObjectDN", "O"}, WordCase{"TX", "T"},
                    WordCase{"tree", "T"}, WordCase{"NetBIOSName", "N"}, WordCase{"workgroup", "WorkG"},
                    WordCase{"SID=5", "SI"}, WordCase{"WorkstationID", "Works"}, WordCase{"dhcp", "DH"},
                    WordCase{"ip", "I"}, WordCase{"GATEWAY", "Gateway"}, WordCase{"Mask", "M"},
                    WordCase{"DNSServerCount", "DNSServerC"}, WordCase{"dnsserverc", "DNSServerC"},
                    WordCase{"DNSServerC=3", "DNSServerC"}, WordCase{"DNSServer", "DNSServer"},
                    WordCase{"DNSServer2=10.0.0.1", "DNSServer"}, WordCase{"DNSServers", "DNSServer"},
                    WordCase{"DNSSuffix", "DNSSu"}, WordCase{"dnshostname", "DNSH"}));

TEST(KeywordTable, WordsShorterThanEveryMatchingKeywordSelectNothing) {
  for (const char* word : {"Gate", "gate=1.2.3.4", "Work", "DNS", "DNSServ", "S", "W", "D", "", "X"}) {
    EXPECT_EQ(rowOfWord(word), -1) << word;
  }
}

TEST(KeywordTable, OnlyTheServerRowLacksADocumentedName) {
  for (const FieldKeyword& row : fieldKeywords) {
    EXPECT_EQ(row.documentedName == nullptr, std::string(row.keyword) == "DNSServer") << row.keyword;
  }
}

TEST(KeywordTable, EveryDocumentedNameSelectsItsOwnRow) {
  for (const FieldKeyword& row : fieldKeywords) {
    if (row.documentedName == nullptr) continue;
    const int found = rowOfWord(row.documentedName);
    ASSERT_GE(found, 0) << row.documentedName;
    EXPECT_EQ(&fieldKeywords[found], &row) << row.documentedName;
  }
}

TEST(KeywordTable, AssignmentNeedsAnEqualsSignAndTheWholeGatewayWord) {
  EXPECT_EQ(rowOfAssignment("Tree"), -1);
  EXPECT_EQ(rowOfAssignment("gate=1.2.3.4"), -1);
  EXPECT_EQ(rowOfAssignment("Foo=1"), -1);
  const int gateway = rowOfAssignment("GATEWAY=1.2.3.4");
  ASSERT_GE(gateway, 0);
  EXPECT_STREQ(fieldKeywords[gateway].keyword, "Gateway");
  const int count = rowOfAssignment("DNSServerCount=2");
  ASSERT_GE(count, 0);
  EXPECT_STREQ(fieldKeywords[count].keyword, "DNSServerC");
}

struct AssignmentCase {
  const char* argument;
  const char* keyword;
  int result;
  const char* value;
};

void PrintTo(const AssignmentCase& c, std::ostream* os) { *os << c.argument << " vs " << c.keyword; }

class Assignment : public testing::TestWithParam<AssignmentCase> {};

TEST_P(Assignment, ResultAndValueFollowTheEqualsSign) {
  const AssignmentCase& c = GetParam();
  std::string value = "stale";
  EXPECT_EQ(matchAssignment(c.argument, c.keyword, value), c.result) << c.argument;
  EXPECT_EQ(value, c.value) << c.argument;
}

INSTANTIATE_TEST_SUITE_P(Matchers, Assignment,
                         testing::Values(AssignmentCase{"Tree=  East Tree ", "T", 0, "East Tree "},
                                         AssignmentCase{"Tree=", "T", 1, ""},
                                         AssignmentCase{"Tree= \t", "T", 1, ""},
                                         AssignmentCase{"Tree", "T", -1, ""},
                                         AssignmentCase{"Tree=a=b", "T", 0, "a=b"},
                                         AssignmentCase{"gate=1.2.3.4", "Gateway", -1, ""},
                                         AssignmentCase{"GATEWAY=1.2.3.4", "Gateway", 0, "1.2.3.4"},
                                         AssignmentCase{"Lab=x", "T", -1, ""},
                                         // The "=" may stand anywhere, even inside the keyword's own letters.
                                         AssignmentCase{"DNSServer=10.1.1.1", "DNSServer", 0, "10.1.1.1"}));

TEST(Assignment, ValueOfAMegabyteArgumentIsKeptWhole) {
  const std::string argument = "Tree=" + std::string(1 << 20, 'x');
  std::string value;
  ASSERT_EQ(matchAssignment(argument.c_str(), "T", value), 0);
  EXPECT_EQ(value.size(), std::size_t{1} << 20);
}

struct QuadCase {
  const char* text;
  bool accepted;
  std::array<std::uint8_t, 4> bytes;  // expected when accepted
};

void PrintTo(const QuadCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class DottedQuad : public testing::TestWithParam<QuadCase> {};

// Anything but four decimal numbers from 0 to 255 is refused and leaves the
// address as it was, instead of storing bytes the user did not type.
TEST_P(DottedQuad, FourNumbersUpTo255AreTakenAndAnythingElseLeavesTheAddress) {
  const QuadCase& c = GetParam();
  std::uint8_t address[4] = {9, 9, 9, 9};
  EXPECT_EQ(parseDottedQuad(c.text, address), c.accepted) << c.text;
  const std::array<std::uint8_t, 4> expected = c.accepted ? c.bytes : std::array<std::uint8_t, 4>{9, 9, 9, 9};
  EXPECT_EQ((std::array<std::uint8_t, 4>{address[0], address[1], address[2], address[3]}), expected)
      << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Parsers, DottedQuad,
    testing::Values(
        QuadCase{"10.1.2.3", true, {10, 1, 2, 3}}, QuadCase{" \t10.0.0.5 \t", true, {10, 0, 0, 5}},
        QuadCase{"255.255.255.255", true, {255, 255, 255, 255}}, QuadCase{"0.0.0.0", true, {0, 0, 0, 0}},
        QuadCase{"010.001.0.9", true, {10, 1, 0, 9}},  // decimal, not octal
        QuadCase{"192.168.1", false, {}}, QuadCase{"", false, {}}, QuadCase{"1.2.3.4.5", false, {}},
        QuadCase{"1..3.4", false, {}}, QuadCase{"300.1.1.1", false, {}}, QuadCase{"256.-1.255.7x", false, {}},
        QuadCase{" 8.abc.9", false, {}}, QuadCase{"99999999999999999999.1.1.1", false, {}},
        QuadCase{"+1.2.3.4", false, {}}, QuadCase{"1.2.3.-4", false, {}}, QuadCase{"0x0a.0.0.1", false, {}},
        QuadCase{"1 .2.3.4", false, {}}, QuadCase{"1.2.3.4 x", false, {}}, QuadCase{"1.2.3.", false, {}},
        QuadCase{"1.2.3.4.", false, {}}));

struct CountCase {
  const char* text;
  bool accepted;
  std::uint32_t count;
};

void PrintTo(const CountCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class DnsServerCount : public testing::TestWithParam<CountCase> {};

TEST_P(DnsServerCount, OnlyADecimalNumberUpToTheTableIsTaken) {
  std::uint32_t count = 99;
  EXPECT_EQ(readDnsServerCount(GetParam().text, &count), GetParam().accepted) << GetParam().text;
  EXPECT_EQ(count, GetParam().accepted ? GetParam().count : 99u) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Parsers, DnsServerCount,
                         testing::Values(CountCase{"0", true, 0}, CountCase{" 32 ", true, 32},
                                         CountCase{"007", true, 7}, CountCase{"33", false, 0},
                                         CountCase{"-1", false, 0}, CountCase{"+3", false, 0},
                                         CountCase{"3x", false, 0}, CountCase{"abc", false, 0},
                                         CountCase{"", false, 0}, CountCase{"4294967298", false, 0}));

struct SidCase {
  const char* text;
  int status;
  std::array<std::uint32_t, 5> sid;  // expected on success
  const char* message;
};

void PrintTo(const SidCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class SecurityId : public testing::TestWithParam<SidCase> {};

TEST_P(SecurityId, StatusMessageAndStoredNumbers) {
  const SidCase& c = GetParam();
  ImageSafeDataStruct record{};
  const std::array<std::uint32_t, 5> before = {7, 7, 7, 7, 7};
  std::copy(before.begin(), before.end(), record.sid);
  const int status = parseSid(c.text, &record);
  const std::string line = sidRefusalLine(status);
  const std::string printed = line.empty() ? line : line + "\n";
  EXPECT_EQ(status, c.status) << c.text;
  EXPECT_EQ(printed, c.message) << c.text;
  const std::array<std::uint32_t, 5> stored = {record.sid[0], record.sid[1], record.sid[2], record.sid[3],
                                               record.sid[4]};
  EXPECT_EQ(stored, status == 0 ? c.sid : before) << c.text;
}

constexpr const char* TooFew = "Invalid SID -- Not enough fields or invalid separator\n";
constexpr const char* TooMany = "Invalid SID -- Too many fields\n";
constexpr const char* BadData = "Invalid SID -- Invalid data in one of the fields\n";

INSTANTIATE_TEST_SUITE_P(
    Parsers, SecurityId,
    testing::Values(
        SidCase{"1-2-3-4-5", 0, {1, 2, 3, 4, 5}, ""},
        SidCase{
            "21-3623811015-3361044348-30300820-1013", 0, {21, 3623811015u, 3361044348u, 30300820, 1013}, ""},
        SidCase{"4294967295-0-0-0-0", 0, {4294967295u, 0, 0, 0, 0}, ""},
        // A sign or a number beyond 32 bits would store something else than was written.
        SidCase{"-1-2-3-4-5", SidBadNumber, {}, BadData}, SidCase{"1-+2-3-4-5", SidBadNumber, {}, BadData},
        SidCase{"1-2-3-4-4294967296", SidBadNumber, {}, BadData},
        SidCase{"12abc-0x5-3-4-5", 0, {12, 0, 3, 4, 5}, ""}, SidCase{"1-2-3-4", SidTooFewFields, {}, TooFew},
        SidCase{"", SidTooFewFields, {}, TooFew}, SidCase{"-1-2-3-4", SidTooFewFields, {}, TooFew},
        SidCase{"1-2-3-4-5-6", SidTooManyFields, {}, TooMany}, SidCase{"1-2--4-5", SidBadNumber, {}, BadData},
        SidCase{"S-1-5-21-7", SidBadNumber, {}, BadData}, SidCase{" 0-1-2-3-4", SidBadNumber, {}, BadData},
        SidCase{"-0-1-2-3-4", SidBadNumber, {}, BadData}, SidCase{"1-2-3-4-", SidBadNumber, {}, BadData}));

TEST(SecurityId, MegabyteTextIsReadWithoutOverflow) {
  ImageSafeDataStruct record{};
  record.sid[4] = 7;
  const std::string text = "1-2-3-4-" + std::string(1 << 20, '5');
  const int status = parseSid(text.c_str(), &record);
  EXPECT_EQ(status, SidBadNumber);  // far beyond 32 bits
  EXPECT_EQ(std::string(sidRefusalLine(status)) + "\n", BadData);
  EXPECT_EQ(record.sid[4], 7u);
}

struct ConversionCase {
  const char* text;
  std::int32_t asLong;
  std::uint32_t asUnsigned;
};

void PrintTo(const ConversionCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class Conversion : public testing::TestWithParam<ConversionCase> {};

TEST_P(Conversion, SameResultOnEveryWordSize) {
  EXPECT_EQ(convertLong32(GetParam().text), GetParam().asLong) << GetParam().text;
  EXPECT_EQ(convertUnsigned32(GetParam().text), GetParam().asUnsigned) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Parsers, Conversion,
                         testing::Values(ConversionCase{"", 0, 0}, ConversionCase{"abc", 0, 0},
                                         ConversionCase{" \t+42x", 42, 42},
                                         ConversionCase{"-1", -1, 4294967295u},
                                         ConversionCase{"2147483648", INT32_MAX, 2147483648u},
                                         ConversionCase{"-2147483648", INT32_MIN, 2147483648u},
                                         ConversionCase{"-2147483649", INT32_MIN, 2147483647u},
                                         ConversionCase{"4294967296", INT32_MAX, 4294967295u},
                                         ConversionCase{"-4294967296", INT32_MIN, 4294967295u}));

}  // namespace
