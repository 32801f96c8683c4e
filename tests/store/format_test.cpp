#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "image_builder.h"
#include "store/bytes.h"
#include "store/format.h"
#include "store/journal.h"
#include "store/record.h"

namespace {

struct Record {
  ImageSafeDataStruct r{};
  Record() { isdCreate(&r); }
  ~Record() { isdRelease(&r); }
  Record(const Record&) = delete;
  Record& operator=(const Record&) = delete;
  void set(std::uint8_t* ImageSafeDataStruct::*field, const char* text) { narrowToWide(r.*field, text); }
  std::string get(std::uint8_t* ImageSafeDataStruct::*field) const {
    char out[1024];
    return wideToNarrow(out, r.*field);
  }
};

std::vector<std::uint8_t> serialize(ImageSafeDataStruct* record) {
  IsdImage image = isdSerialize(record);
  return {image.bytes.get(), image.bytes.get() + image.length};
}

TEST(RecordText, WideLengthCountsUnitsUpToFirstZeroUnit) {
  EXPECT_EQ(wideLength(nullptr), 0u);
  const std::uint8_t ab[] = {0x41, 0, 0x42, 0, 0, 0};
  EXPECT_EQ(wideLength(ab), 4u);
  const std::uint8_t highOnly[] = {0x00, 0x01, 0, 0};  // unit 0x0100 is not a terminator
  EXPECT_EQ(wideLength(highOnly), 2u);
}

TEST(RecordText, WideningAndNarrowingKeepLowByteOnly) {
  std::uint8_t wide[8];
  std::memset(wide, 0xAA, sizeof wide);
  narrowToWide(wide, "");
  EXPECT_EQ(wide[0] | wide[1], 0);
  EXPECT_EQ(wide[2], 0xAA) << "empty text must write exactly two bytes";
  narrowToWide(wide, "\xE9");
  EXPECT_EQ(wide[0], 0xE9);
  EXPECT_EQ(wide[1], 0);
  char narrow[4];
  EXPECT_STREQ(wideToNarrow(narrow, wide), "\xE9");
  const std::uint8_t unit141[] = {0x41, 0x01, 0, 0};
  EXPECT_STREQ(wideToNarrow(narrow, unit141), "A");
}

TEST(RecordLifecycle, ResetGivesEmptyCurrentHeaderAndKeepsTexts) {
  Record rec;
  rec.set(&ImageSafeDataStruct::wsTree, "Lab");
  std::memset(&rec.r, 0x5A, IsdHeaderLength);
  isdReset(&rec.r);
  EXPECT_EQ(0, std::memcmp(rec.r.signature, "WEXD", 4));
  EXPECT_EQ(rec.r.version, 5u);
  EXPECT_EQ(rec.r.totalLength, 236u);
  EXPECT_EQ(rec.r.structLength, 204u);
  EXPECT_EQ(rec.r.flags | rec.r.sid[4] | rec.r.dnsServerCount, 0u);
  EXPECT_EQ(rec.r.lastBaseImageSize, 0);
  EXPECT_EQ(rec.get(&ImageSafeDataStruct::wsTree), "Lab");
}

TEST(RecordLifecycle, ReleaseEmptiesTextsButKeepsHeader) {
  ImageSafeDataStruct r{};
  ASSERT_TRUE(isdCreate(&r));
  narrowToWide(r.wsDN, "CN=PC1");
  r.flags = 5;
  r.sid[2] = 77;
  r.ipAddress[0] = 10;
  isdRelease(&r);
  for (const IsdTextField& f : IsdTextFields) EXPECT_EQ(wideLength(r.*f.buffer), 0u) << f.name;
  EXPECT_EQ(r.flags, 5u);
  EXPECT_EQ(r.sid[2], 77u);
  EXPECT_EQ(r.ipAddress[0], 10);
  isdRelease(&r);  // a second release is harmless
}

TEST(RecordLifecycle, CreateOnLoadedRecordGivesEmptyRecord) {
  Record rec;
  rec.set(&ImageSafeDataStruct::lastBaseImage, "//srv/img");
  rec.r.DHCP = 1;
  ASSERT_TRUE(isdCreate(&rec.r));
  EXPECT_EQ(rec.r.DHCP, 0);
  for (const IsdTextField& f : IsdTextFields)
    for (std::size_t i = 0; i < f.capacity; ++i) ASSERT_EQ((rec.r.*f.buffer)[i], 0) << f.name;
}

TEST(Serialize, EmptyRecordIs236BytesOfHeaderAndEightZeroLengths) {
  Record rec;
  const auto bytes = serialize(&rec.r);
  auto expected = ImageBuilder::header(5).zeros(32).finish();
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(bytes.size(), 236u);
}

TEST(Serialize, NetbiosNameEntrySitsBetweenZeroLengthsAndStampsRecord) {
  Record rec;
  rec.set(&ImageSafeDataStruct::netbiosName, "PC1");
  rec.r.version = 3;
  rec.r.structLength = 300;
  const auto bytes = serialize(&rec.r);
  ASSERT_EQ(bytes.size(), 242u);
  const std::vector<std::uint8_t> entries(bytes.begin() + 204, bytes.begin() + 222);
  const std::vector<std::uint8_t> expected = {0, 0, 0, 0, 0, 0, 0, 0, 6, 0, 0, 0, 'P', 0, 'C', 0, '1', 0};
  EXPECT_EQ(entries, expected);
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 222, bytes.begin() + 226),
            std::vector<std::uint8_t>(4, 0));
  EXPECT_EQ(rec.r.version, 5u);
  EXPECT_EQ(rec.r.structLength, 204u);
  EXPECT_EQ(rec.r.totalLength, 242u);
}

TEST(Serialize, RoundTripKeepsCarriedFieldsByteForByte) {
  Record in;
  in.r.flags = 0x80000015;  // unknown bits besides 1 and 4
  in.r.lastBaseImageTime = -123456;
  in.r.advScript = 42;
  in.r.lastBaseImageSize = 0x0123456789ABCDEFLL;
  in.r.sid[0] = 4294967295u;
  in.r.dnsServerCount = 40;
  in.r.dnsServer[31][3] = 9;
  in.set(&ImageSafeDataStruct::wsID, "ID-77");
  in.set(&ImageSafeDataStruct::dnsHostname, "host");
  const auto first = serialize(&in.r);
  Record out;
  isdParse(first.data(), first.size(), &out.r);
  EXPECT_EQ(serialize(&out.r), first);
  EXPECT_EQ(out.r.lastBaseImageSize, 0x0123456789ABCDEFLL);
  EXPECT_EQ(out.get(&ImageSafeDataStruct::wsID), "ID-77");
}

// Every capacity: a full-length text survives the trip; one more is refused.
TEST(Serialize, TextsAtCapacityRoundTrip) {
  for (const IsdTextField& f : IsdTextFields) {
    Record in;
    const std::string longest(f.capacity / 2 - 1, 'x');
    narrowToWide(in.r.*f.buffer, longest.c_str());
    const auto bytes = serialize(&in.r);
    Record out;
    isdParse(bytes.data(), bytes.size(), &out.r);
    EXPECT_EQ(out.get(f.buffer), longest) << f.name;
  }
}

struct VersionCase {
  std::uint32_t version;
  std::size_t headerLength;
  std::size_t textsStored;
  bool sidKept, dnsKept;
  std::size_t textsRead;
};

void PrintTo(const VersionCase& c, std::ostream* out) {
  *out << "version " << c.version << ", header " << c.headerLength;
}
class ParseVersion : public testing::TestWithParam<VersionCase> {};

// Older versions are brought up to the current field set.
TEST_P(ParseVersion, UpgradesFieldsAndReadsTheRightTexts) {
  const VersionCase c = GetParam();
  ImageBuilder b = ImageBuilder::header(c.version, c.headerLength);
  if (c.headerLength >= 52) b.putU32(48, static_cast<std::uint32_t>(c.headerLength));
  if (c.headerLength >= 76) b.putU32(52, 11).putU32(72, 3);
  if (c.headerLength >= 80) b.putU32(76, 0x04030201);
  b.putU32(12, 4);
  const char* names[] = {"dn", "tree", "nb", "wg", "img", "suf", "host", "id"};
  for (std::size_t i = 0; i < c.textsStored; ++i) b.text(names[i]);
  const auto image = b.finish();
  Record rec;
  isdParse(image.data(), image.size(), &rec.r);
  if (c.version <= 1) {
    EXPECT_EQ(rec.r.version, 5u);
    EXPECT_EQ(rec.r.flags, 0u);
  } else {
    EXPECT_EQ(rec.r.version, c.version) << "the stored version is kept until the next save";
    EXPECT_EQ(rec.r.flags, 4u);
    EXPECT_EQ(rec.r.structLength, c.version == 2 ? 204u : c.headerLength);
  }
  EXPECT_EQ(rec.r.sid[0], c.sidKept ? 11u : 0u);
  EXPECT_EQ(rec.r.dnsServerCount, c.dnsKept ? 3u : 0u);
  EXPECT_EQ(rec.r.dnsServer[0][0], c.dnsKept ? 1 : 0);
  for (std::size_t i = 0; i < 8; ++i)
    EXPECT_EQ(rec.get(IsdTextFields[i].buffer), i < c.textsRead ? names[i] : "") << IsdTextFields[i].name;
}

INSTANTIATE_TEST_SUITE_P(
    AllVersions, ParseVersion,
    testing::Values(VersionCase{0, 204, 8, false, false, 0}, VersionCase{1, 204, 8, false, false, 0},
                    VersionCase{2, 52, 5, false, false, 5}, VersionCase{2, 204, 8, false, false, 5},
                    VersionCase{3, 204, 8, true, false, 5}, VersionCase{3, 180, 5, true, false, 5},
                    VersionCase{4, 204, 8, true, true, 7}, VersionCase{5, 204, 8, true, true, 8},
                    VersionCase{6, 204, 8, true, true, 8}, VersionCase{5, 300, 8, true, true, 8}),
    [](const testing::TestParamInfo<VersionCase>& param) {
      return "v" + std::to_string(param.param.version) + "_header" + std::to_string(param.param.headerLength);
    });

TEST(Parse, RefusedLengthEmptiesTextAndNextWordFollowsIt) {
  auto image = ImageBuilder::header(5).text("dn").text("tree").u32(32).text("WG").zeros(16).finish();
  Record rec;
  isdParse(image.data(), image.size(), &rec.r);
  EXPECT_EQ(rec.get(&ImageSafeDataStruct::netbiosName), "");
  EXPECT_EQ(rec.get(&ImageSafeDataStruct::workgroup), "WG");
}

TEST(Parse, OddLengthOfCapacityLessOneStaysTerminated) {
  ImageBuilder b = ImageBuilder::header(5).text("").text("").u32(31);
  for (int i = 0; i < 31; ++i) b.raw({'Q'});
  const auto image = b.zeros(20).finish();
  Record rec;
  isdParse(image.data(), image.size(), &rec.r);
  EXPECT_EQ(rec.r.netbiosName[30], 0);
  EXPECT_EQ(rec.r.netbiosName[31], 0);
  EXPECT_LE(wideLength(rec.r.netbiosName), 30u);
}

// Images cut anywhere, and images whose lengths point past the end, are read
// without leaving the bytes given (the sanitizer build checks the reads).
TEST(Parse, TruncatedImagesNeverReadPastTheirEnd) {
  const auto full = ImageBuilder::header(5)
                        .text("CN=WS1.O=Corp")
                        .text("T")
                        .text("PC1")
                        .text("WG")
                        .text("//s/i")
                        .text("corp.example")
                        .text("ws1")
                        .text("ID9")
                        .finish();
  for (std::size_t cut = 0; cut <= full.size(); ++cut) {
    std::vector<std::uint8_t> copy(full.begin(), full.begin() + static_cast<long>(cut));
    Record rec;
    isdParse(copy.data(), copy.size(), &rec.r);
    EXPECT_EQ(rec.get(&ImageSafeDataStruct::wsID), cut == full.size() ? "ID9" : "") << cut;
  }
}

TEST(Parse, HostileOffsetsAndLengthsLeaveRemainingTextsEmpty) {
  const std::uint32_t hostile[] = {0xFFFFFFFF, 0x80000000, 0xFFFFFFFC, 5000};
  for (std::uint32_t value : hostile) {
    auto image = ImageBuilder::header(5).text("a").finish();
    ImageBuilder{image}.putU32(48, value).bytes.swap(image);
    Record rec;
    isdParse(image.data(), image.size(), &rec.r);
    EXPECT_EQ(rec.get(&ImageSafeDataStruct::wsDN), "") << value;

    auto longText = ImageBuilder::header(5).u32(value).zeros(8).finish();
    Record rec2;
    isdParse(longText.data(), longText.size(), &rec2.r);
    EXPECT_EQ(rec2.get(&ImageSafeDataStruct::wsDN), "") << value;
  }
}

}  // namespace

namespace {

TEST(Journal, CopyReadsBackAndAnyChangedOrMissingByteInvalidatesIt) {
  const std::uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(journalCrc32(check, sizeof check), 0xCBF43926u) << "the CRC-32 of zlib and Ethernet";
  const std::vector<std::uint8_t> record = ImageBuilder::header(5).zeros(28).text("LAB").finish();
  const RecordKey replaced{300, 0xA1B2C3D4u};
  std::uint8_t area[JournalAreaLength];
  const std::uint32_t length = journalEncode(record.data(), static_cast<std::uint32_t>(record.size()),
                                             0x0102030405060708u, area, replaced);
  ASSERT_EQ(length, JournalHeaderLength + record.size());
  EXPECT_EQ(std::memcmp(area, "WEXJOURN", 8), 0);
  EXPECT_EQ(isdGetU32(area + 8), 2u);
  EXPECT_EQ(isdGetU32(area + 12), record.size());
  EXPECT_EQ(isdGetU64(area + 16), 0x0102030405060708u);
  EXPECT_EQ(isdGetU32(area + 24), journalCrc32(record.data(), record.size()));
  EXPECT_EQ(isdGetU32(area + 28), 300u);
  EXPECT_EQ(isdGetU32(area + 32), 0xA1B2C3D4u);
  EXPECT_EQ(std::memcmp(area + 40, record.data(), record.size()), 0);
  EXPECT_TRUE(std::all_of(area + length, area + sizeof area, [](std::uint8_t b) { return b == 0; }));
  const JournalCopy copy = journalDecode(area, sizeof area);
  ASSERT_TRUE(copy.valid);
  EXPECT_EQ(copy.generation, 0x0102030405060708u);
  EXPECT_EQ(copy.record, area + 40);
  EXPECT_EQ(copy.replaced, replaced);
  EXPECT_TRUE(journalMatches(copy, record.data(), record.size()));
  std::vector<std::uint8_t> other = record;
  other.back() ^= 1;
  EXPECT_FALSE(journalMatches(copy, other.data(), other.size())) << "another program's record";
  EXPECT_FALSE(journalMatches(copy, record.data(), record.size() - 1));

  for (std::uint32_t i = 0; i < length; ++i) {
    for (const unsigned flip : {0x01u, 0x80u}) {
      area[i] = static_cast<std::uint8_t>(area[i] ^ flip);
      EXPECT_FALSE(journalDecode(area, sizeof area).valid) << "byte " << i;
      area[i] = static_cast<std::uint8_t>(area[i] ^ flip);
    }
    EXPECT_FALSE(journalDecode(area, i).valid) << "cut to " << i;
  }
  EXPECT_TRUE(journalDecode(area, length).valid);

  // The seal in the area's last sector: whole, or not taken.
  journalSealEncode({static_cast<std::uint32_t>(record.size()), 0x55AA55AAu}, 41, area + JournalSealAt);
  const JournalSeal seal = journalSealOf(area, sizeof area);
  ASSERT_TRUE(seal.valid);
  EXPECT_EQ(seal.generation, 41u);
  EXPECT_EQ(seal.record, (RecordKey{static_cast<std::uint32_t>(record.size()), 0x55AA55AAu}));
  EXPECT_TRUE(journalDecode(area, sizeof area).valid) << "the seal leaves the copy as it is";
  for (std::uint32_t i = 0; i < JournalSealLength; ++i) {
    area[JournalSealAt + i] ^= 0x10;
    EXPECT_FALSE(journalSealOf(area, sizeof area).valid) << "seal byte " << i;
    area[JournalSealAt + i] ^= 0x10;
  }
  EXPECT_FALSE(journalSealOf(area, JournalSealAt + JournalSealLength - 1).valid);
}

// A copy is taken only when it holds a well-formed record and a generation
// the next save can still go beyond; an older wexedit's copies (layout 1,
// the record at 32) still count.
TEST(Journal, CopiesOfLayoutOneAreReadAndMalformedOrExhaustedOnesAreNot) {
  const std::vector<std::uint8_t> record = ImageBuilder::header(5).zeros(28).text("LAB").finish();
  std::uint8_t area[JournalAreaLength] = {};
  std::memcpy(area, "WEXJOURN", 8);
  isdPutU32(area + 8, 1);
  isdPutU32(area + 12, static_cast<std::uint32_t>(record.size()));
  isdPutU64(area + 16, 9);
  isdPutU32(area + 24, journalCrc32(record.data(), record.size()));
  std::memcpy(area + 32, record.data(), record.size());
  isdPutU32(area + 28, journalCrc32(area + 32, record.size(), journalCrc32(area, 28)));
  const JournalCopy old = journalDecode(area, sizeof area);
  ASSERT_TRUE(old.valid);
  EXPECT_EQ(old.generation, 9u);
  EXPECT_EQ(old.record, area + 32);
  EXPECT_EQ(old.replaced, RecordKey{});

  struct Case {
    const char* name;
    std::vector<std::uint8_t> record;
    std::uint64_t generation;
  };
  std::vector<std::uint8_t> shortWord = record;
  isdPutU32(shortWord.data() + 8, static_cast<std::uint32_t>(record.size() - 2));
  for (const Case& c : {Case{"version 1", ImageBuilder::header(1).zeros(28).text("LAB").finish(), 1},
                        Case{"length word off", shortWord, 1}, Case{"generation 2^63", record, 1ULL << 63},
                        Case{"generation 2^64-1", record, ~0ULL}}) {
    std::uint8_t copy[JournalAreaLength];
    ASSERT_NE(journalEncode(c.record.data(), static_cast<std::uint32_t>(c.record.size()), c.generation, copy),
              0u);
    EXPECT_FALSE(journalDecode(copy, sizeof copy).valid) << c.name;
  }
}

struct AreaCase {
  const char* name;
  std::vector<std::uint8_t> start;  // the first bytes of the area, zeros after them
  JournalAreaState state;
};
void PrintTo(const AreaCase& c, std::ostream* out) { *out << c.name; }
class JournalArea : public testing::TestWithParam<AreaCase> {};

// A cut while the magic goes on or comes off leaves part of it before zeros:
// still ours to write.
TEST_P(JournalArea, OnlyZerosOrOurMagicAreOurs) {
  std::vector<std::uint8_t> area(JournalAreaLength, 0);
  std::copy(GetParam().start.begin(), GetParam().start.end(), area.begin());
  EXPECT_EQ(journalAreaOf(area.data(), area.size()), GetParam().state);
}
INSTANTIATE_TEST_SUITE_P(
    Cases, JournalArea,
    testing::Values(
        AreaCase{"Zeros", {}, JournalAreaState::Vacant},
        AreaCase{"MagicPartlyWritten", {'W', 'E', 'X'}, JournalAreaState::Vacant},
        AreaCase{"MagicPartlyErased", {0, 0, 0, 0, 'O', 'U', 'R', 'N'}, JournalAreaState::Vacant},
        AreaCase{"MagicBeforeAnything",
                 {'W', 'E', 'X', 'J', 'O', 'U', 'R', 'N', 0xFF, 0x13},
                 JournalAreaState::Ours},
        AreaCase{"PartMagicBeforeData", {'W', 'E', 'X', 'J', 0, 0, 0, 0, 0x13}, JournalAreaState::Foreign},
        AreaCase{"OtherData", {'N', 'T', 'F', 'S'}, JournalAreaState::Foreign}),
    [](const testing::TestParamInfo<AreaCase>& param) { return param.param.name; });

}  // namespace
