#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "store/disk.h"
#include "store/format.h"

namespace {

class Disks : public testing::Test {
 protected:
  FakePlatform fake;
  ImageSafeDataStruct record{};

  void SetUp() override { unsetenv("FLOPPYDRIVE"); }
  void TearDown() override { isdRelease(&record); }

  // An IDE disk that answers request 0x0303 with an ordinary small-disk geometry.
  FakeDisk& ide(const std::string& path) {
    FakeDisk& d = fake.add(path);
    d.ideWord = 0x103F0002;  // 16 heads, 63 sectors, 512 cylinders
    return d;
  }
  static std::vector<std::uint8_t> storedImage(const char* tree) {
    ImageSafeDataStruct r{};
    isdCreate(&r);
    narrowToWide(r.wsTree, tree);
    IsdImage image = isdSerialize(&r);
    isdRelease(&r);
    return {image.bytes.get(), image.bytes.get() + image.length};
  }
  static FakeDisk& place(FakeDisk& disk, const std::vector<std::uint8_t>& image) {
    std::copy(image.begin(), image.end(), disk.bytes.begin() + IsdStoreOffset);
    return disk;
  }
  static bool hasSignature(const FakeDisk& disk) {
    return std::memcmp(disk.bytes.data() + IsdStoreOffset, IsdSignature, 4) == 0;
  }
  std::string tree() const {
    char out[64];
    return wideToNarrow(out, record.wsTree);
  }
  int saveTree(const char* value) {
    isdCreate(&record);
    narrowToWide(record.wsTree, value);
    return isdSave(&record);
  }
  bool opened(const std::string& path) const {
    return std::count(fake.log.begin(), fake.log.end(), "open " + path) > 0;
  }
};

TEST_F(Disks, LoadReadsFirstUsableDiskOnlySaveWritesAllRemoveErasesSda) {
  place(ide("/dev/hda"), storedImage("OnHda"));
  place(fake.add("/dev/sda"), storedImage("OnSda"));
  scanDisks(fake);
  ASSERT_EQ(isdLoad(&record), 0);
  EXPECT_EQ(tree(), "OnHda");

  ASSERT_EQ(saveTree("Both"), 0);
  EXPECT_EQ(record.wsTree, nullptr) << "the save releases the record";
  for (const char* path : {"/dev/hda", "/dev/sda"}) {
    EXPECT_EQ(std::count(fake.log.begin(), fake.log.end(), std::string("sync ") + path), 1) << path;
  }
  ASSERT_EQ(isdRemove(), 0);
  EXPECT_FALSE(hasSignature(fake.disks["/dev/sda"]));
  EXPECT_TRUE(hasSignature(fake.disks["/dev/hda"]));
  ASSERT_EQ(isdLoad(&record), 0);
  EXPECT_EQ(tree(), "Both");
}

TEST_F(Disks, RecordOnSecondDiskOnlyIsNotFound) {
  ide("/dev/hda");
  place(ide("/dev/hdb"), storedImage("X"));
  scanDisks(fake);
  EXPECT_EQ(isdLoad(&record), IsdNoStore);
  EXPECT_EQ(tree(), "");
}

TEST_F(Disks, OnlySdbUsableLoadsAndSavesButRemovesNothing) {
  place(fake.add("/dev/sdb"), storedImage("B"));
  scanDisks(fake);
  EXPECT_EQ(isdLoad(&record), 0);
  EXPECT_EQ(saveTree("B2"), 0);
  EXPECT_EQ(isdRemove(), IsdNoDevice);
  EXPECT_TRUE(hasSignature(fake.disks["/dev/sdb"]));
}

TEST_F(Disks, RemoveFallsBackToHdaWhenSdaUnusable) {
  place(ide("/dev/hda"), storedImage("A"));
  place(fake.add("/dev/sda"), storedImage("S")).getgeoFails = true;
  scanDisks(fake);
  EXPECT_EQ(isdRemove(), 0);
  EXPECT_FALSE(hasSignature(fake.disks["/dev/hda"]));
  EXPECT_TRUE(hasSignature(fake.disks["/dev/sda"]));
}

TEST_F(Disks, NoPermissionMeansNoDeviceAndNothingWritten) {
  fake.add("/dev/sda").openFails = true;
  ide("/dev/hda").openFails = true;
  scanDisks(fake);
  EXPECT_EQ(isdLoad(&record), IsdNoDevice);
  EXPECT_EQ(tree(), "");
  EXPECT_EQ(saveTree("x"), IsdNoDevice);
  EXPECT_EQ(record.wsTree, nullptr);
  EXPECT_EQ(isdRemove(), IsdNoDevice);
  EXPECT_TRUE(std::none_of(fake.log.begin(), fake.log.end(),
                           [](const std::string& l) { return l.rfind("write", 0) == 0; }));
}

struct FloppyCase {
  const char* value;
  bool sdaOpened;
};
void PrintTo(const FloppyCase& c, std::ostream* out) { *out << '"' << c.value << '"'; }
class Floppy : public Disks, public testing::WithParamInterface<FloppyCase> {};

TEST_P(Floppy, NamedDriveIsNeverOpened) {
  fake.add("/dev/sda");
  setenv("FLOPPYDRIVE", GetParam().value, 1);
  scanDisks(fake);
  unsetenv("FLOPPYDRIVE");
  EXPECT_EQ(opened("/dev/sda"), GetParam().sdaOpened);
}
INSTANTIATE_TEST_SUITE_P(Values, Floppy,
                         testing::Values(FloppyCase{"/DEV/SDA", false}, FloppyCase{"/dev/sda", false},
                                         FloppyCase{"", true}, FloppyCase{"/dev/sdb", true},
                                         FloppyCase{"/dev/sda1", true}));

struct MediaCase {
  const char* media;  // null: no media file
  bool opened;
};
void PrintTo(const MediaCase& c, std::ostream* out) { *out << (c.media ? c.media : "(none)"); }
class Media : public Disks, public testing::WithParamInterface<MediaCase> {};

TEST_P(Media, CdromDrivesAreNeverOpened) {
  ide("/dev/hdc");
  if (GetParam().media) fake.files["/proc/ide/hdc/media"] = GetParam().media;
  scanDisks(fake);
  EXPECT_EQ(opened("/dev/hdc"), GetParam().opened);
}
INSTANTIATE_TEST_SUITE_P(Values, Media,
                         testing::Values(MediaCase{"cdrom\n", false}, MediaCase{"cdromx", false},
                                         MediaCase{"disk\n", true}, MediaCase{"cdro", true},
                                         MediaCase{nullptr, true}));

struct IdeCase {
  std::optional<std::uint32_t> word;
  unsigned long sectors;
  bool getgeoFails;
  bool usable;
};
void PrintTo(const IdeCase& c, std::ostream* out) {
  *out << std::hex << (c.word ? *c.word : 0xDEADu) << std::dec << "/" << c.sectors
       << (c.getgeoFails ? "/nogeo" : "/geo");
}
class IdeRule : public Disks, public testing::WithParamInterface<IdeCase> {};

TEST_P(IdeRule, Request0303DecidesIdeUsability) {
  FakeDisk& d = fake.add("/dev/hda");
  d.ideWord = GetParam().word;
  d.sectors = GetParam().sectors;
  d.getgeoFails = GetParam().getgeoFails;
  scanDisks(fake);
  EXPECT_EQ(checkDisk(0) == 0, GetParam().usable);
}
constexpr unsigned long Limit = 16450560;
INSTANTIATE_TEST_SUITE_P(
    Values, IdeRule,
    testing::Values(IdeCase{std::nullopt, 1000, false,
                            false},                          // 0x0303 fails: unusable even with HDIO_GETGEO
                    IdeCase{0x103F0002, Limit, true, true},  // ordinary geometry, small disk
                    IdeCase{0x103F0002, Limit + 1, true, false},  // big disk needs HDIO_GETGEO
                    IdeCase{0x103F0002, Limit + 1, false, true},
                    IdeCase{0xFF3F0004, 1000, true, false},  // 255/63/1024 needs HDIO_GETGEO
                    IdeCase{0xFF3F0004, 1000, false, true}, IdeCase{0, 1000, true, false},
                    IdeCase{0, 1000, false, true}));

TEST_F(Disks, ScsiDiskNeedsSizeAndGeometry) {
  fake.add("/dev/sda").sizeFails = true;
  fake.add("/dev/sdb").getgeoFails = true;
  fake.add("/dev/sdc");
  scanDisks(fake);
  EXPECT_EQ(checkDisk(4), IsdNoDevice);
  EXPECT_EQ(checkDisk(5), IsdNoDevice);
  EXPECT_EQ(checkDisk(6), 0);
  EXPECT_EQ(checkDisk(12), IsdNoDevice);
}

TEST_F(Disks, HeaderReadErrorPassesOverToNextUsableDisk) {
  place(fake.add("/dev/sda"), storedImage("Bad")).readFails = true;
  place(fake.add("/dev/sdb"), storedImage("Good"));
  scanDisks(fake);
  EXPECT_EQ(isdLoad(&record), 0);
  EXPECT_EQ(tree(), "Good");
}

TEST_F(Disks, HugeStoredTotalLengthIsCapped) {
  FakeDisk& d = fake.add("/dev/sda", 256 * 1024);
  auto image = storedImage("Big");
  image[8] = image[9] = image[10] = image[11] = 0xFF;
  place(d, image);
  scanDisks(fake);
  EXPECT_EQ(isdLoad(&record), 0);
  EXPECT_EQ(tree(), "Big");
  const std::string cappedRead = "read /dev/sda 2560 " + std::to_string(IsdMaxImageLength);
  EXPECT_EQ(std::count(fake.log.begin(), fake.log.end(), cappedRead), 1);
}

struct FaultCase {
  const char* name;
  void (*inject)(FakeDisk&);
  DiskOutcome outcome;
};
void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.name; }
class WriteFault : public Disks, public testing::WithParamInterface<FaultCase> {};

// A failing disk is reported and fails the save, and the other disks are still written.
TEST_P(WriteFault, FailsSaveButOtherDisksAreWritten) {
  GetParam().inject(fake.add("/dev/sda"));
  fake.add("/dev/sdb");
  scanDisks(fake);
  isdCreate(&record);
  narrowToWide(record.wsTree, "T");
  DiskReport report;
  EXPECT_EQ(isdSave(&record, &report), IsdWriteFailed);
  EXPECT_EQ(report.disks[4].outcome, GetParam().outcome);
  EXPECT_STREQ(report.disks[4].devicePath, "/dev/sda");
  EXPECT_LT(report.disks[4].error, 0);
  EXPECT_EQ(report.disks[5].outcome, DiskOutcome::Written);
  EXPECT_TRUE(hasSignature(fake.disks["/dev/sdb"]));
}
INSTANTIATE_TEST_SUITE_P(
    Faults, WriteFault,
    testing::Values(FaultCase{"write", [](FakeDisk& d) { d.writeFails = true; }, DiskOutcome::WriteFailed},
                    FaultCase{"shortwrite", [](FakeDisk& d) { d.shortWrites = true; },
                              DiskOutcome::WriteFailed},
                    FaultCase{"sync", [](FakeDisk& d) { d.syncFails = true; }, DiskOutcome::SyncFailed},
                    FaultCase{"read", [](FakeDisk& d) { d.readFails = true; }, DiskOutcome::ReadFailed}),
    [](const testing::TestParamInfo<FaultCase>& param) { return param.param.name; });

TEST_F(Disks, RemoveWithoutOurSignatureWritesNothing) {
  fake.add("/dev/sda");
  scanDisks(fake);
  DiskReport report;
  EXPECT_EQ(isdRemove(&report), 0);
  EXPECT_EQ(report.disks[4].outcome, DiskOutcome::Unchanged);
  EXPECT_TRUE(std::none_of(fake.log.begin(), fake.log.end(),
                           [](const std::string& l) { return l.rfind("write", 0) == 0; }));
}

TEST_F(Disks, RemoveReportsSyncFailure) {
  place(fake.add("/dev/sda"), storedImage("S"));
  fake.disks["/dev/sda"].syncFails = true;
  scanDisks(fake);
  DiskReport report;
  EXPECT_EQ(isdRemove(&report), IsdWriteFailed);
  EXPECT_EQ(report.disks[4].outcome, DiskOutcome::SyncFailed);
}

}  // namespace
