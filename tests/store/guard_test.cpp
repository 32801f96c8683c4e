#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "image_builder.h"
#include "store/guard.h"
#include "store/journal.h"
#include "store/record.h"

namespace {

constexpr std::size_t DiskBytes = 64 * 1024;

std::vector<std::uint8_t> blankDisk() { return std::vector<std::uint8_t>(DiskBytes, 0); }

void put(std::vector<std::uint8_t>& disk, std::size_t offset, const std::vector<std::uint8_t>& bytes) {
  std::copy(bytes.begin(), bytes.end(), disk.begin() + static_cast<long>(offset));
}

void mbr(std::vector<std::uint8_t>& disk, const std::string& bootCode) {
  put(disk, 0, std::vector<std::uint8_t>(bootCode.begin(), bootCode.end()));
  disk[510] = 0x55;
  disk[511] = 0xAA;
}

// A GPT header at LBA 1 whose entry array starts at LBA 2 with 128 entries of 128 bytes.
void gpt(std::vector<std::uint8_t>& disk, std::uint32_t sector) {
  ImageBuilder h;
  h.raw({'E', 'F', 'I', ' ', 'P', 'A', 'R', 'T'}).zeros(84);
  h.putU32(72, 2).putU32(80, 128).putU32(84, 128);
  put(disk, sector, h.bytes);
}

std::vector<std::uint8_t> record(std::uint32_t totalTexts = 0) {
  ImageBuilder b = ImageBuilder::header(5).zeros(32);
  if (totalTexts) b.putU32(204, totalTexts).zeros(totalTexts);
  return b.finish();
}

DiskOutcome judge(const std::vector<std::uint8_t>& disk, std::size_t writeLength = 300,
                  std::uint32_t sector = 512) {
  return guardStoreRange(disk.data(), disk.size(), writeLength, sector);
}

TEST(Guard, EmptyGapAndWindowsBootCodeAreWritable) {
  auto disk = blankDisk();
  EXPECT_EQ(judge(disk), DiskOutcome::Written);
  mbr(disk, "\x33\xC0\x8E\xD0\xBCInvalid partition table Error loading operating system");
  EXPECT_EQ(judge(disk), DiskOutcome::Written);
}

TEST(Guard, GptEntryArrayWithSmallSectorsIsRefusedLargeSectorsWritten) {
  auto disk = blankDisk();
  gpt(disk, 512);
  EXPECT_EQ(judge(disk), DiskOutcome::RefusedGpt);
  auto large = blankDisk();
  gpt(large, 4096);
  EXPECT_EQ(judge(large, 300, 4096), DiskOutcome::Written);
  // A record long enough to reach the header at 4096 must not be written.
  EXPECT_EQ(judge(large, 1600, 4096), DiskOutcome::RefusedGpt);
}

TEST(Guard, GapBootLoadersAreRefusedEvenOverZeros) {
  using namespace std::string_literals;
  for (const std::string& code : {"\xEB\x63\x90GRUB \0Geom\0Hard Disk"s, "\xEB\x5ETrueCrypt Boot Loader"s}) {
    auto disk = blankDisk();
    mbr(disk, code);
    EXPECT_EQ(judge(disk), DiskOutcome::RefusedBootLoader) << code.substr(3);
  }
}

TEST(Guard, BootLoaderMarkerWithoutBootSignatureIsOnlyData) {
  auto disk = blankDisk();
  put(disk, 100, {'G', 'R', 'U', 'B'});
  EXPECT_EQ(judge(disk), DiskOutcome::Written);
}

TEST(Guard, OwnRecordMayBeOverwrittenButNotWhatLiesBeyondIt) {
  auto disk = blankDisk();
  put(disk, IsdStoreOffset, record());
  EXPECT_EQ(judge(disk, 236), DiskOutcome::Written);
  EXPECT_EQ(judge(disk, 400), DiskOutcome::Written);
  disk[IsdStoreOffset + 300] = 0x7F;  // someone else's byte behind our 236-byte record
  EXPECT_EQ(judge(disk, 400), DiskOutcome::RefusedForeignData);
  EXPECT_EQ(judge(disk, 236), DiskOutcome::Written);
}

TEST(Guard, RemovedRecordIsRecognisedOnlyWhenItsLengthsAddUp) {
  auto disk = blankDisk();
  auto removed = record(6);
  std::memset(removed.data(), 0, 4);
  put(disk, IsdStoreOffset, removed);
  EXPECT_EQ(judge(disk), DiskOutcome::Written);
  EXPECT_TRUE(guardIsRemovedRecord(disk.data() + IsdStoreOffset, 1000));

  auto badTotal = disk;
  badTotal[IsdStoreOffset + 8] += 2;  // the length words no longer reach the stated total
  EXPECT_EQ(judge(badTotal), DiskOutcome::RefusedForeignData);
  auto badVersion = disk;
  badVersion[IsdStoreOffset + 4] = 9;
  EXPECT_EQ(judge(badVersion), DiskOutcome::RefusedForeignData);
}

TEST(Guard, ForeignDataAnywhereInTheRangeIsRefused) {
  for (std::size_t offset : {std::size_t{0}, std::size_t{4}, std::size_t{299}}) {
    auto disk = blankDisk();
    disk[IsdStoreOffset + offset] = 0xEB;
    EXPECT_EQ(judge(disk), DiskOutcome::RefusedForeignData) << offset;
  }
  auto disk = blankDisk();
  disk[IsdStoreOffset + 300] = 0xEB;  // just past the range
  EXPECT_EQ(judge(disk), DiskOutcome::Written);
}

TEST(Guard, WholeDiskFileSystemsAreRefusedEvenWhereTheyLeaveZeros) {
  struct Mark {
    std::size_t offset;
    std::string magic;
  };
  for (const Mark& mark :
       {Mark{1080, "\x53\xEF"}, Mark{3, "NTFS    "}, Mark{82, "FAT32   "}, Mark{0, "XFSB"}}) {
    auto disk = blankDisk();
    put(disk, mark.offset, std::vector<std::uint8_t>(mark.magic.begin(), mark.magic.end()));
    EXPECT_EQ(judge(disk), DiskOutcome::RefusedFileSystem) << mark.offset;
  }
}

TEST(Guard, WholeDiskUsersAreRefusedByName) {
  struct Mark {
    std::size_t offset;
    std::string magic;
    const char* user;
  };
  for (const Mark& mark :
       {Mark{4086, "SWAPSPACE2", "swap"}, Mark{4086, "LINHIB0001", "swsuspend"},
        Mark{3 * 512 + 24, "LVM2 001", "LVM2_member"}, Mark{4096, "\xFC\x4E\x2B\xA9", "linux_raid_member"}}) {
    auto disk = blankDisk();
    put(disk, mark.offset, std::vector<std::uint8_t>(mark.magic.begin(), mark.magic.end()));
    GuardDisk view{disk.data(), disk.size()};
    const char* user = nullptr;
    EXPECT_EQ(guardDisk(view, 300, &user), DiskOutcome::RefusedDiskUser) << mark.user;
    EXPECT_STREQ(user, mark.user);
  }
  // RAID superblocks 0.90 and 1.0 lie near the end of the disk.
  const std::uint64_t size = 8 << 20;
  for (std::uint64_t at : {size - 65536, size - 8192}) {
    auto disk = blankDisk();
    std::vector<std::uint8_t> tail(GuardTailSpan, 0);
    put(tail, static_cast<std::size_t>(at - (size - GuardTailSpan)), {0xFC, 0x4E, 0x2B, 0xA9});
    GuardDisk view{disk.data(), disk.size(), tail.data(), tail.size(), size - GuardTailSpan, size, 512};
    const char* user = nullptr;
    EXPECT_EQ(guardDisk(view, 300, &user), DiskOutcome::RefusedDiskUser) << at;
  }
}

struct PartitionCase {
  std::uint8_t type;
  std::uint32_t start;
  std::uint32_t sector;
  std::size_t writeLength;
  bool withGpt;
  DiskOutcome outcome;
};
void PrintTo(const PartitionCase& c, std::ostream* out) {
  *out << int{c.type} << "@" << c.start << "x" << c.sector << "/" << c.writeLength
       << (c.withGpt ? "+gpt" : "");
}
class Partition : public testing::TestWithParam<PartitionCase> {};

// A used MBR entry that starts within or before the sectors the record
// touches makes those sectors someone else's.
TEST_P(Partition, StartingAtOrBeforeTheRecordsSectorsIsRefused) {
  const PartitionCase& c = GetParam();
  auto disk = blankDisk();
  mbr(disk, "\x33\xC0");
  disk[446 + 4] = c.type;
  for (std::size_t i = 0; i < 4; ++i) disk[446 + 8 + i] = static_cast<std::uint8_t>(c.start >> (8 * i));
  if (c.withGpt) gpt(disk, 4096);
  EXPECT_EQ(judge(disk, c.writeLength, c.sector), c.outcome);
}
INSTANTIATE_TEST_SUITE_P(
    Cases, Partition,
    testing::Values(PartitionCase{0x06, 1, 512, 300, false, DiskOutcome::RefusedPartition},
                    PartitionCase{0x07, 5, 512, 300, false, DiskOutcome::RefusedPartition},
                    PartitionCase{0x07, 6, 512, 300, false, DiskOutcome::Written},
                    PartitionCase{0x07, 6, 512, 600, false, DiskOutcome::RefusedPartition},
                    PartitionCase{0x07, 2048, 512, 2590, false, DiskOutcome::Written},
                    PartitionCase{0x00, 1, 512, 300, false, DiskOutcome::Written},
                    PartitionCase{0x83, 1, 4096, 300, false, DiskOutcome::Written},
                    PartitionCase{0xEE, 1, 4096, 300, true, DiskOutcome::Written},
                    PartitionCase{0xEE, 1, 512, 300, false, DiskOutcome::RefusedPartition}));

// A damaged length word claims only what the record's framing reaches (the
// header and six bytes of text here), never up to the longest record a
// header can frame: what lies beyond stays someone else's.
TEST(Guard, DamagedLengthWordClaimsOnlyWhatTheFramingReaches) {
  auto disk = blankDisk();
  put(disk, IsdStoreOffset, record(6));
  const std::size_t framed = record(6).size();
  for (std::size_t i = 0; i < 4; ++i)
    disk[IsdStoreOffset + 8 + i] = static_cast<std::uint8_t>(2000 >> (8 * i));
  EXPECT_EQ(guardOwnedLength(disk.data() + IsdStoreOffset, DiskBytes - IsdStoreOffset), framed);
  disk[IsdStoreOffset + 1500] = 0x7F;
  EXPECT_EQ(judge(disk, 1500), DiskOutcome::Written);
  EXPECT_EQ(judge(disk, 1501), DiskOutcome::RefusedForeignData);
}

struct JournalAreaCase {
  const char* name;
  std::uint32_t partitionStart;  // an MBR partition starting there; 0: none
  std::uint32_t gptSector;       // a GUID partition table for this sector size; 0: none
  std::size_t foreignAt;         // a byte of other data at this offset; 0: none
  std::size_t diskBytes;
  DiskOutcome outcome;
};
void PrintTo(const JournalAreaCase& c, std::ostream* out) { *out << c.name; }
class JournalAreaGuard : public testing::TestWithParam<JournalAreaCase> {};

// The journal's sectors 12 to 19 follow the record's rules: a partition
// starting in or before them, a partition table over them, other data in them
// or a disk that ends inside them refuse the journal copy.
TEST_P(JournalAreaGuard, SectorsTwelveToNineteenFollowTheRecordsRules) {
  const JournalAreaCase& c = GetParam();
  std::vector<std::uint8_t> disk(c.diskBytes, 0);
  if (c.partitionStart != 0) {
    mbr(disk, "\x33\xC0");
    disk[446 + 4] = 0x07;
    for (std::size_t i = 0; i < 4; ++i)
      disk[446 + 8 + i] = static_cast<std::uint8_t>(c.partitionStart >> (8 * i));
  }
  if (c.gptSector != 0) gpt(disk, c.gptSector);
  if (c.foreignAt != 0) disk[c.foreignAt] = 0x7F;
  GuardDisk view{disk.data(), disk.size(), nullptr, 0, 0, disk.size(), c.gptSector != 0 ? c.gptSector : 512};
  const char* user = nullptr;
  EXPECT_EQ(guardJournalArea(view, 0, &user), c.outcome);
}
INSTANTIATE_TEST_SUITE_P(
    Cases, JournalAreaGuard,
    testing::Values(
        JournalAreaCase{"Blank", 0, 0, 0, DiskBytes, DiskOutcome::Written},
        JournalAreaCase{"PartitionAtSector16", 16, 0, 0, DiskBytes, DiskOutcome::RefusedPartition},
        JournalAreaCase{"PartitionAtSector19", 19, 0, 0, DiskBytes, DiskOutcome::RefusedPartition},
        JournalAreaCase{"PartitionAtSector20", 20, 0, 0, DiskBytes, DiskOutcome::Written},
        JournalAreaCase{"GptOf4096ByteSectors", 0, 4096, 0, DiskBytes, DiskOutcome::RefusedGpt},
        JournalAreaCase{"DataInItsLastByte", 0, 0, JournalEnd - 1, DiskBytes,
                        DiskOutcome::RefusedForeignData},
        JournalAreaCase{"DataJustPastIt", 0, 0, JournalEnd, DiskBytes, DiskOutcome::Written},
        JournalAreaCase{"DiskEndsInside", 0, 0, 0, JournalEnd - 1, DiskOutcome::RefusedTooSmall}),
    [](const testing::TestParamInfo<JournalAreaCase>& param) { return param.param.name; });

TEST(Guard, ShortDiskCountsMissingBytesAsAbsent) {
  std::vector<std::uint8_t> disk(IsdStoreOffset + 100, 0);
  EXPECT_EQ(judge(disk), DiskOutcome::Written);
}

}  // namespace
