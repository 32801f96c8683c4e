#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "image_builder.h"
#include "store/guard.h"
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

TEST(Guard, ShortDiskCountsMissingBytesAsAbsent) {
  std::vector<std::uint8_t> disk(IsdStoreOffset + 100, 0);
  EXPECT_EQ(judge(disk), DiskOutcome::Written);
}

}  // namespace
