#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "store/bytes.h"
#include "store/disk.h"
#include "store/format.h"
#include "store/journal.h"

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

TEST_F(Disks, LoadReadsFirstDiskWithARecordSaveWritesAllRemoveErasesEveryCopy) {
  ide("/dev/hda");
  place(ide("/dev/hdb"), storedImage("OnHdb"));
  place(fake.add("/dev/sda"), storedImage("OnSda"));
  scanDisks(fake);
  LoadReport found;
  ASSERT_EQ(isdLoad(&record, &found), 0);
  EXPECT_EQ(tree(), "OnHdb");
  EXPECT_EQ(found.disks[0].outcome, LoadOutcome::NoRecord);
  EXPECT_EQ(found.disks[1].outcome, LoadOutcome::Read);
  EXPECT_EQ(found.disks[4].outcome, LoadOutcome::NotNeeded);

  ASSERT_EQ(saveTree("All"), 0);
  EXPECT_EQ(record.wsTree, nullptr) << "the save releases the record";
  for (const char* path : {"/dev/hda", "/dev/hdb", "/dev/sda"}) {
    // The journal's magic (the area was blank) and its copy, then the mark
    // over a complete record (hdb, sda; hda held nothing), then the body
    // with its seal (and the longer old record's tail, which the copy
    // claims as the record it replaces), then the signature: each synced.
    const long syncs = std::string(path) == "/dev/hda" ? 4 : 5;
    EXPECT_EQ(std::count(fake.log.begin(), fake.log.end(), std::string("sync ") + path), syncs) << path;
    EXPECT_TRUE(hasSignature(fake.disks[path])) << path;
  }
  ASSERT_EQ(isdRemove(), 0);
  for (const char* path : {"/dev/hda", "/dev/hdb", "/dev/sda"})
    EXPECT_EQ(fake.disks[path].bytes, std::vector<std::uint8_t>(64 * 1024))
        << path << ": no byte of it is left";
  EXPECT_EQ(isdLoad(&record), IsdNoStore);
  EXPECT_EQ(tree(), "");
}

TEST_F(Disks, UnfinishedSaveIsPassedOverForTheNextCompleteRecord) {
  auto unfinished = storedImage("Half");
  std::copy(IsdUnfinishedSignature, IsdUnfinishedSignature + 4, unfinished.begin());
  place(fake.add("/dev/sda"), unfinished);
  place(fake.add("/dev/sdb"), storedImage("Whole"));
  scanDisks(fake);
  LoadReport found;
  EXPECT_EQ(isdLoad(&record, &found), 0);
  EXPECT_EQ(tree(), "Whole");
  EXPECT_EQ(found.disks[4].outcome, LoadOutcome::Unfinished);
  fake.disks.erase("/dev/sdb");
  scanDisks(fake);
  EXPECT_EQ(isdLoad(&record), IsdNoStore);
  EXPECT_EQ(tree(), "");
}

TEST_F(Disks, OnlySdbUsableLoadsSavesAndRemoves) {
  place(fake.add("/dev/sdb"), storedImage("B"));
  scanDisks(fake);
  EXPECT_EQ(isdLoad(&record), 0);
  EXPECT_EQ(saveTree("B2"), 0);
  EXPECT_EQ(isdRemove(), 0);
  EXPECT_FALSE(hasSignature(fake.disks["/dev/sdb"]));
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
  LoadReport found;
  EXPECT_EQ(isdLoad(&record, &found), IsdNoDevice);
  EXPECT_EQ(found.disks[4].outcome, LoadOutcome::OpenFailed);
  EXPECT_EQ(found.disks[4].error, -EACCES);
  EXPECT_EQ(found.disks[5].outcome, LoadOutcome::Absent);
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

// Only when no fixed candidate is usable: the whole disks of /sys/block, NVMe
// namespaces, then virtio, Xen and SCSI disks past sdh, each in naming order.
TEST_F(Disks, ExtraDisksComeInOnlyWhenNoFixedSlotIsUsableInAStableOrder) {
  for (const char* name : {"sdaa", "vdb", "nvme1n1", "sdz", "xvda", "nvme0n2", "vda", "sdi", "nvme0n1"})
    fake.add(std::string("/dev/") + name);
  fake.listedOnly = {"nvme0c0n1", "nvme0n1p1", "sda1", "loop0", "dm-0", "md0", "sr0", "mmcblk0", "zram0"};
  fake.add("/dev/sda").getgeoFails = true;  // there, but not usable
  scanDisks(fake);
  std::vector<std::string> extra;
  for (std::size_t slot = DiskSlotCount; slot < diskTable.count; ++slot) {
    EXPECT_EQ(diskTable.slots[slot].origin, DiskOrigin::Extra);
    extra.emplace_back(diskTable.slots[slot].devicePath);
  }
  EXPECT_EQ(extra, (std::vector<std::string>{"/dev/nvme0n1", "/dev/nvme0n2", "/dev/nvme1n1", "/dev/vda",
                                             "/dev/vdb", "/dev/xvda", "/dev/sdi", "/dev/sdz", "/dev/sdaa"}));
  EXPECT_EQ(saveTree("Extra"), 0);
  EXPECT_TRUE(hasSignature(fake.disks["/dev/nvme0n1"]));
  EXPECT_FALSE(hasSignature(fake.disks["/dev/sda"]));

  fake.disks["/dev/sda"].getgeoFails = false;
  scanDisks(fake);
  EXPECT_EQ(diskTable.count, DiskSlotCount) << "a usable fixed slot keeps the scan as it was";
}

// Named disks replace the scan: a raw image file is usable as it stands, with
// its own size; a path that is not there is reported, not passed over.
TEST_F(Disks, NamedDisksAndImageFilesReplaceTheScan) {
  FakeDisk& image = fake.add("/srv/images/pc.img", 16 * 1024);
  image.imageFile = true;
  fake.add("/srv/images/tiny.img", IsdStoreOffset + 100).imageFile = true;
  fake.add("/dev/sda");
  fake.aliases["/srv/images/again.img"] = "/srv/images/pc.img";  // the same image by another name
  const char* named[] = {"/srv/images/missing.img", "/srv/images/pc.img", "/srv/images/again.img",
                         "/srv/images/tiny.img"};
  scanNamedDisks(fake, named, 4);
  EXPECT_FALSE(opened("/dev/sda"));
  EXPECT_EQ(diskTable.count, 3u) << "a disk named twice is used once";
  LoadReport found;
  EXPECT_EQ(isdLoad(&record, &found), IsdNoStore);
  EXPECT_EQ(found.disks[0].outcome, LoadOutcome::OpenFailed);
  EXPECT_EQ(found.disks[0].error, -ENOENT);
  isdCreate(&record);
  narrowToWide(record.wsTree, "Img");
  DiskReport report;
  EXPECT_EQ(isdSave(&record, &report), IsdRefused);
  EXPECT_EQ(report.disks[1].outcome, DiskOutcome::Written);
  EXPECT_EQ(report.disks[2].outcome, DiskOutcome::RefusedTooSmall);
  EXPECT_EQ(image.bytes.size(), 16u * 1024) << "an image is never extended";
  EXPECT_EQ(fake.disks["/srv/images/tiny.img"].bytes, std::vector<std::uint8_t>(IsdStoreOffset + 100));
  EXPECT_EQ(isdLoad(&record), 0);
  EXPECT_EQ(tree(), "Img");
}

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
  // Without another record, the unread disk may hold one: the load says so.
  fake.disks["/dev/sdb"].bytes.assign(64 * 1024, 0);
  EXPECT_EQ(isdLoad(&record), IsdReadFailed);
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
  int status;
  bool errno_;  // the report carries an errno
};
void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.name; }
class WriteFault : public Disks, public testing::WithParamInterface<FaultCase> {};

// A failing or refused disk is reported and fails the save, and the other
// disks are still written; a refused disk keeps every byte.
TEST_P(WriteFault, FailsSaveButOtherDisksAreWritten) {
  GetParam().inject(fake.add("/dev/sda"));
  const std::vector<std::uint8_t> before = fake.disks["/dev/sda"].bytes;
  fake.add("/dev/sdb");
  scanDisks(fake);
  isdCreate(&record);
  narrowToWide(record.wsTree, "T");
  DiskReport report;
  EXPECT_EQ(isdSave(&record, &report), GetParam().status);
  EXPECT_EQ(report.disks[4].outcome, GetParam().outcome);
  EXPECT_STREQ(report.disks[4].devicePath, "/dev/sda");
  EXPECT_EQ(report.disks[4].error < 0, GetParam().errno_);
  EXPECT_EQ(report.disks[5].outcome, DiskOutcome::Written);
  EXPECT_TRUE(hasSignature(fake.disks["/dev/sdb"]));
  if (GetParam().status == IsdRefused) {
    EXPECT_EQ(fake.disks["/dev/sda"].bytes, before);
  }
}
INSTANTIATE_TEST_SUITE_P(Faults, WriteFault,
                         testing::Values(FaultCase{"write", [](FakeDisk& d) { d.writeFails = true; },
                                                   DiskOutcome::WriteFailed, IsdWriteFailed, true},
                                         FaultCase{"shortwrite", [](FakeDisk& d) { d.shortWrites = true; },
                                                   DiskOutcome::WriteFailed, IsdWriteFailed, true},
                                         FaultCase{"sync", [](FakeDisk& d) { d.syncFails = true; },
                                                   DiskOutcome::SyncFailed, IsdWriteFailed, true},
                                         FaultCase{"read", [](FakeDisk& d) { d.readFails = true; },
                                                   DiskOutcome::ReadFailed, IsdWriteFailed, true},
                                         FaultCase{"swap", [](FakeDisk& d) { d.wholeDiskUser = "swap"; },
                                                   DiskOutcome::RefusedDiskUser, IsdRefused, false},
                                         // The record would end past the disk's last byte, or the
                                         // disk ends before its first.
                                         FaultCase{"small",
                                                   [](FakeDisk& d) { d.bytes.resize(IsdStoreOffset + 200); },
                                                   DiskOutcome::RefusedTooSmall, IsdRefused, false},
                                         FaultCase{"tiny", [](FakeDisk& d) { d.bytes.resize(1024); },
                                                   DiskOutcome::RefusedTooSmall, IsdRefused, false}),
                         [](const testing::TestParamInfo<FaultCase>& param) { return param.param.name; });

// A save cut at any byte, as by a power cut, or stopped by a failed sync, and
// the disks read after a restart: each load finds the old record or the new
// one, never a mix and never nothing (on one disk too), and the next save is
// never refused.
struct Identity {
  std::string tree, name, image;
  bool operator==(const Identity&) const = default;
};
// The layouts of a disk's first MiB the cut saves run over.
enum class Layout {
  Plain,          // zeros around the record: the journal goes to sectors 12 to 19
  Gpt4k,          // a GUID partition table of 4096-byte sectors: its header's sector holds byte 6144
  ForeignAt8000,  // someone else's 8 bytes at 8000, partitions from 1 MiB
};
constexpr std::size_t MiB = 1024 * 1024;
constexpr std::size_t ForeignAt = 8000;
const std::uint8_t ForeignBytes[8] = {'s', 'o', 'm', 'e', 'o', 'n', 'e', '!'};

// The bytes of a layout that are not ours, which no save may change.
std::vector<std::pair<long, long>> othersBytes(Layout layout) {
  switch (layout) {
    case Layout::Plain: return {};
    case Layout::Gpt4k: return {{0, 512}, {4096, 6 * 4096}};
    case Layout::ForeignAt8000: return {{0, 512}, {long{ForeignAt}, long{ForeignAt + sizeof ForeignBytes}}};
  }
  return {};
}

void lay(FakeDisk& disk, Layout layout) {
  auto& b = disk.bytes;
  const auto put32 = [&](std::size_t at, std::uint32_t v) { isdPutU32(b.data() + at, v); };
  const auto put64 = [&](std::size_t at, std::uint64_t v) { isdPutU64(b.data() + at, v); };
  if (layout == Layout::Plain) return;
  b[510] = 0x55;
  b[511] = 0xAA;
  if (layout == Layout::ForeignAt8000) {
    b[446 + 4] = 0x83;
    put32(446 + 8, 2048);
    put32(446 + 12, 4096);
    std::copy(std::begin(ForeignBytes), std::end(ForeignBytes), b.begin() + ForeignAt);
    return;
  }
  // The protective entry, a header at LBA 1, 128 entries from LBA 2, one
  // partition from LBA 256 (1 MiB).
  disk.sectorSize = 4096;
  b[446 + 4] = 0xEE;
  put32(446 + 8, 1);
  put32(446 + 12, 0xFFFFFFFF);
  std::memcpy(b.data() + 4096, "EFI PART", 8);
  put32(4096 + 12, 92);
  put64(4096 + 72, 2);
  put32(4096 + 80, 128);
  put32(4096 + 84, 128);
  const std::size_t entry = 2 * 4096;
  std::fill_n(b.begin() + entry, 16, 0xAF);  // a type GUID
  put64(entry + 32, 256);
  put64(entry + 40, 300);
}

struct CutCase {
  const char* name;
  std::size_t disks;
  std::optional<Identity> old;  // none: the disks hold no record
  bool removed;                 // the old record was removed before the save
  Identity next;
  bool largest = false;  // the new record fills every text to its capacity
  bool stopped = false;  // the old record is in the journal copy alone: its save was stopped
  Layout layout = Layout::Plain;
  bool journaled = false;  // the old record was saved by this program (journal copy and seal)
};
void PrintTo(const CutCase& c, std::ostream* out) { *out << c.name; }

void fill(ImageSafeDataStruct& r, const Identity& identity, bool largest = false) {
  if (largest) {
    for (const IsdTextField& field : IsdTextFields)
      narrowToWide(r.*field.buffer, std::string(field.capacity / 2 - 1, 'L').c_str());
  }
  narrowToWide(r.wsTree, identity.tree.c_str());
  narrowToWide(r.netbiosName, identity.name.c_str());
  narrowToWide(r.lastBaseImage, identity.image.c_str());
}
std::optional<Identity> loadAll(FakePlatform& platform, int& status) {
  ImageSafeDataStruct r{};
  IsdRecordBuffers release(&r);
  scanDisks(platform);
  status = isdLoad(&r);
  char text[600];
  Identity found{wideToNarrow(text, r.wsTree), wideToNarrow(text, r.netbiosName),
                 wideToNarrow(text, r.lastBaseImage)};
  if (status != 0) return std::nullopt;
  return found;
}
std::optional<Identity> loadAll(FakePlatform& platform) {
  int status = 0;
  return loadAll(platform, status);
}
int save(FakePlatform& platform, const Identity& identity, bool largest = false,
         DiskReport* report = nullptr) {
  ImageSafeDataStruct r{};
  scanDisks(platform);
  isdLoad(&r);
  fill(r, identity, largest);
  return isdSave(&r, report);
}
// The disks as a restart finds them: the bytes, and none of the faults.
FakePlatform restart(const FakePlatform& machine) {
  FakePlatform restarted;
  for (const auto& [path, disk] : machine.disks) {
    restarted.disks[path].bytes = disk.bytes;
    restarted.disks[path].sectorSize = disk.sectorSize;
  }
  return restarted;
}
const char* const DiskNames[] = {"/dev/sda", "/dev/sdb"};

// The machine a case starts from, built once.
FakePlatform startingMachine(const CutCase& c) {
  FakePlatform platform;
  const std::size_t size = c.layout == Layout::Plain ? 16 * 1024 : MiB + 64 * 1024;
  for (std::size_t i = 0; i < c.disks; ++i) {
    FakeDisk& d = platform.add(DiskNames[i], size);
    lay(d, c.layout);
    if (!c.old || c.journaled) continue;
    ImageSafeDataStruct r{};
    isdCreate(&r);
    fill(r, *c.old);
    IsdImage image = isdSerialize(&r);
    isdRelease(&r);
    std::copy(image.bytes.get(), image.bytes.get() + image.length, d.bytes.begin() + IsdStoreOffset);
    if (c.removed) std::fill_n(d.bytes.begin() + IsdStoreOffset, 4, 0);
    if (c.stopped) {
      std::uint8_t area[JournalAreaLength];
      journalEncode(image.bytes.get(), static_cast<std::uint32_t>(image.length), 7, area);
      std::copy(area, area + sizeof area, d.bytes.begin() + JournalOffset);
      std::copy(IsdUnfinishedSignature, IsdUnfinishedSignature + 4, d.bytes.begin() + IsdStoreOffset);
      std::fill_n(d.bytes.begin() + IsdStoreOffset + 100, 40, 0x5A);  // half written over
    }
  }
  if (c.old && c.journaled) {
    EXPECT_EQ(save(platform, *c.old), 0);
  }
  return restart(platform);
}

// A save cut at any byte, as by a power cut, or stopped by a failed sync, and
// the disks read after a restart: each load finds the old record or the new
// one, never a mix and never nothing (on one disk too), no byte of anyone
// else's changes, and the next save is never refused.
class CutSave : public Disks, public testing::WithParamInterface<CutCase> {};

TEST_P(CutSave, EveryCutOrFailedSyncReadsOldOrNewAndTheNextSaveSucceeds) {
  const CutCase& c = GetParam();
  const std::optional<Identity> before = c.removed ? std::nullopt : c.old;
  const FakePlatform start = startingMachine(c);
  // Longer than any record before it: its range covers every byte the cut
  // save or the old record may have left.
  const Identity again{"AGAIN", "PC-AGAIN", std::string(300, 'a')};
  for (const bool cutting : {true, false}) {
    std::size_t old = 0, next = 0, empty = 0, mixed = 0;
    for (std::size_t at = 0;; ++at) {
      FakePlatform machine = restart(start);
      if (cutting) {
        machine.cutAfter = at;
      } else {
        machine.syncFailsAt = at;
      }
      save(machine, c.next, c.largest);
      FakePlatform restarted = restart(machine);
      int status = 0;
      const std::optional<Identity> found = loadAll(restarted, status);
      const char* what = cutting ? "cut at " : "sync failed at ";
      if (found == before) {
        ++old;
      } else if (found == c.next) {
        ++next;
      } else if (!found) {
        ++empty;
        ADD_FAILURE() << what << at << ": nothing read back, status " << status;
      } else {
        ++mixed;
        ADD_FAILURE() << what << at << ": " << found->name;
      }
      for (const auto& [path, disk] : restarted.disks)
        for (const auto& [from, to] : othersBytes(c.layout))
          ASSERT_TRUE(std::equal(disk.bytes.begin() + from, disk.bytes.begin() + to,
                                 start.disks.at(path).bytes.begin() + from))
              << what << at << ": " << path << " changed bytes from " << from;
      ASSERT_EQ(save(restarted, again), 0) << what << at;
      ASSERT_EQ(loadAll(restarted, status), again) << what << at;
      if (!machine.dead()) {
        // The save ran to its end: every byte has been a cut point. Where
        // the first journal area is not ours to write, the copy went to the
        // second.
        for (const char* path : DiskNames) {
          if (c.layout == Layout::Plain || machine.disks.count(path) == 0) continue;
          EXPECT_TRUE(
              journalDecode(machine.disks[path].bytes.data() + JournalSecondOffset, JournalAreaLength).valid)
              << path;
        }
        break;
      }
    }
    std::printf("%s, %s: %zu old, %zu new, %zu empty, %zu mixed\n", c.name,
                cutting ? "cut at every byte" : "each sync failing", old, next, empty, mixed);
    EXPECT_GT(next, 0u);
  }
}
const std::string Long(200, 'o');
INSTANTIATE_TEST_SUITE_P(
    Cases, CutSave,
    testing::Values(
        // Totals 450 -> 512: the length word's two bytes both change on the way up.
        CutCase{"GrowOneDisk", 1, Identity{"LAB", "PC-1", Long.substr(0, 100)}, false,
                Identity{"NEWTREE", "NEWNAME-XYZ", Long.substr(0, 120)}},
        CutCase{"GrowTwoDisks", 2, Identity{"LAB", "PC-1", Long.substr(0, 100)}, false,
                Identity{"NEWTREE", "NEWNAME-XYZ", Long.substr(0, 120)}},
        // Totals 650 -> 292: the old tail is cleared before the length word drops.
        CutCase{"ShrinkOneDisk", 1, Identity{"LAB", "PC-1", Long}, false,
                Identity{"NEWTREE", "NEWNAME-XYZ", Long.substr(0, 10)}},
        CutCase{"ShrinkTwoDisks", 2, Identity{"LAB", "PC-1", Long}, false,
                Identity{"NEWTREE", "NEWNAME-XYZ", Long.substr(0, 10)}},
        CutCase{"SameLengthOneDisk", 1, Identity{"LAB", "PC-1", Long}, false,
                Identity{"BAL", "PC-2", std::string(200, 'n')}},
        // The longest record the editor writes: 2590 bytes, past the sector
        // that holds the journal's first bytes.
        CutCase{"LargestOneDisk", 1, Identity{"LAB", "PC-1", Long}, false,
                Identity{std::string(32, 'T'), std::string(15, 'N'), std::string(511, 'I')}, true},
        CutCase{"OverAStoppedSaveOneDisk", 1, Identity{"LAB", "PC-1", Long}, false,
                Identity{"NEWTREE", "NEWNAME-XYZ", Long.substr(0, 150)}, false, true},
        CutCase{"BlankTwoDisks", 2, std::nullopt, false, Identity{"NEWTREE", "NEWNAME-XYZ", "//srv/new"}},
        CutCase{"RemovedTwoDisks", 2, Identity{"LAB", "PC-1", Long}, true, Identity{"NEW", "N", ""}},
        // Both disks saved by this program before: the cut also falls on the
        // second disk after the first has the new record.
        CutCase{"JournaledShrinkTwoDisks", 2, Identity{"LAB", "PC-1", Long}, false,
                Identity{"NEWTREE", "NEWNAME-XYZ", Long.substr(0, 10)}, false, false, Layout::Plain, true},
        CutCase{"JournaledGrowTwoDisks", 2, Identity{"LAB", "PC-1", Long.substr(0, 10)}, false,
                Identity{"NEWTREE", "NEWNAME-XYZ", Long}, false, false, Layout::Plain, true},
        // The first journal area is not ours: the copy goes to the 4096 bytes
        // before 1 MiB, on one disk too.
        CutCase{"Gpt4kSectorsOneDisk", 1, Identity{"LAB", "PC-1", Long}, false,
                Identity{"NEWTREE", "NEWNAME-XYZ", Long.substr(0, 120)}, false, false, Layout::Gpt4k, true},
        CutCase{"Gpt4kSectorsBlankOneDisk", 1, std::nullopt, false, Identity{"NEWTREE", "NEWNAME-XYZ", Long},
                false, false, Layout::Gpt4k},
        CutCase{"ForeignAt8000OneDisk", 1, Identity{"LAB", "PC-1", Long}, false,
                Identity{"NEWTREE", "NEWNAME-XYZ", Long.substr(0, 10)}, false, false, Layout::ForeignAt8000,
                true},
        CutCase{"ForeignAt8000FirstSaveOneDisk", 1, Identity{"LAB", "PC-1", Long.substr(0, 50)}, false,
                Identity{"NEWTREE", "NEWNAME-XYZ", Long}, false, false, Layout::ForeignAt8000}),
    [](const testing::TestParamInfo<CutCase>& param) { return param.param.name; });

// Two saves stopped in a row, on one disk and on two: the load after the
// second shows the record that save started from or its own, never an older
// one. The first is stopped at every step boundary and between, the second
// at every byte.
class DoubleCut : public Disks, public testing::WithParamInterface<std::size_t> {};
TEST_P(DoubleCut, TwoStoppedSavesReadBackAsTheLaterTwo) {
  const Identity first{"A-TREE", "PC-A", Long}, second{"B-TREE", "PC-B", Long.substr(0, 40)};
  const Identity third{"C-TREE", "PC-C", Long.substr(0, 90)};
  CutCase c{"", GetParam(), first, false, second};
  c.journaled = true;
  const FakePlatform start = startingMachine(c);
  std::size_t states = 0, older = 0;
  // The first save is cut at every so many bytes: more disks, more bytes.
  const std::size_t stride = GetParam() == 1 ? 97 : 211;
  for (std::size_t b = 0;; b += stride) {
    FakePlatform machine = restart(start);
    machine.cutAfter = b;
    save(machine, second);
    const bool bDone = !machine.dead();
    FakePlatform afterB = restart(machine);
    const std::optional<Identity> p = loadAll(afterB);
    ASSERT_TRUE(p == first || p == second) << "B cut at " << b;
    for (std::size_t cut = 0;; ++cut) {
      FakePlatform run = restart(afterB);
      run.cutAfter = cut;
      save(run, third);
      FakePlatform restarted = restart(run);
      const std::optional<Identity> found = loadAll(restarted);
      ++states;
      if (found != p && found != third) {
        ++older;
        ADD_FAILURE() << "B cut at " << b << ", C cut at " << cut << ": "
                      << (found ? found->tree : std::string("nothing"));
      }
      if (!run.dead()) break;
    }
    if (bDone) break;
  }
  std::printf("%zu disk(s): %zu double-cut states, %zu older than the last stopped save's predecessor\n",
              GetParam(), states, older);
  EXPECT_EQ(older, 0u);
}
INSTANTIATE_TEST_SUITE_P(Disks, DoubleCut, testing::Values(1, 2));

// One write or one sync of a save fails, on either of two disks, while the
// save goes on with the other: the next load shows the new record whenever
// some disk completed it (and never ranks the stopped disk as another
// program's write), else the old one.
TEST_F(Disks, AFailedWriteOrSyncOnEitherDiskReadsBackTheNewestCompletedRecord) {
  const Identity old{"OLD-TREE", "PC-OLD", Long}, next{"NEW-TREE", "PC-NEW", Long.substr(0, 30)};
  CutCase c{"", 2, old, false, next};
  c.journaled = true;
  const FakePlatform start = startingMachine(c);
  std::size_t runs = 0;
  for (const char* failing : DiskNames) {
    for (const bool syncs : {false, true}) {
      for (std::size_t n = 0;; ++n) {
        FakePlatform machine = restart(start);
        (syncs ? machine.disks[failing].failSync : machine.disks[failing].failWrite) = n;
        DiskReport report;
        const int status = save(machine, next, false, &report);
        const FakeDisk& disk = machine.disks[failing];
        const bool failed = (syncs ? disk.syncs : disk.writes) > n;
        FakePlatform restarted = restart(machine);
        LoadReport found;
        ImageSafeDataStruct r{};
        scanDisks(restarted);
        ASSERT_EQ(isdLoad(&r, &found), 0);
        char text[64];
        const std::string tree = wideToNarrow(text, r.wsTree);
        isdRelease(&r);
        const bool completed =
            std::any_of(report.disks, report.disks + report.count,
                        [](const DiskResult& d) { return d.outcome == DiskOutcome::Written; });
        EXPECT_EQ(tree, completed ? next.tree : old.tree) << failing << (syncs ? " sync " : " write ") << n;
        EXPECT_FALSE(found.writtenElsewhere) << failing << (syncs ? " sync " : " write ") << n;
        if (!failed) break;
        EXPECT_EQ(status, IsdWriteFailed) << failing << (syncs ? " sync " : " write ") << n;
        ++runs;
      }
    }
  }
  EXPECT_GT(runs, 16u);
}

// Every single-bit flip in the header and the length words of the record at
// 2560 on sda, with valid journal copies on both disks: the load shows the
// identity as saved, or a well-formed record that differs from it (a change
// the agent could have written), never an empty one.
TEST_F(Disks, ABitFlippedInTheRecordNeverErasesTheIdentity) {
  const Identity saved{"LAB-TREE", "PC-7", Long.substr(0, 60)};
  CutCase c{"", 2, saved, false, saved};
  c.journaled = true;
  const FakePlatform start = startingMachine(c);
  const std::vector<std::uint8_t>& sda = start.disks.at("/dev/sda").bytes;
  const std::uint8_t* store = sda.data() + IsdStoreOffset;
  const std::size_t total = isdGetU32(store + IsdTotalLengthOffset);
  std::vector<std::size_t> words;
  for (std::size_t at = 0; at < IsdHeaderLength; ++at) words.push_back(at);
  for (std::size_t position = IsdHeaderLength; position + IsdWordBytes <= total;) {
    for (std::size_t k = 0; k < IsdWordBytes; ++k) words.push_back(position + k);
    position += IsdWordBytes + isdGetU32(store + position);
  }
  std::size_t same = 0, differs = 0;
  for (const std::size_t at : words) {
    for (unsigned bit = 0; bit < 8; ++bit) {
      FakePlatform machine = restart(start);
      machine.disks["/dev/sda"].bytes[IsdStoreOffset + at] ^= static_cast<std::uint8_t>(1u << bit);
      const std::vector<std::uint8_t>& flipped = machine.disks["/dev/sda"].bytes;
      const std::optional<Identity> found = loadAll(machine);
      ASSERT_TRUE(found) << "byte " << at << " bit " << bit;
      if (*found == saved) {
        ++same;
        continue;
      }
      ++differs;
      EXPECT_TRUE(isdWellFormed(flipped.data() + IsdStoreOffset,
                                std::min<std::size_t>(isdStoredLength(flipped.data() + IsdStoreOffset, 65536),
                                                      flipped.size() - IsdStoreOffset)))
          << "byte " << at << " bit " << bit << ": " << found->tree;
      EXPECT_FALSE(found->tree.empty() && found->name.empty() && found->image.empty())
          << "byte " << at << " bit " << bit;
    }
  }
  std::printf("%zu flips: %zu read back as saved, %zu as a well-formed other record\n", same + differs, same,
              differs);
}

// A removal cut at any byte reads back as the record or as nothing, and the
// next removal leaves no byte of it at 2560 or in the journal, over a record
// saved with its journal copy or one written before journals existed.
TEST_F(Disks, RemovalCutAtAnyByteLeavesTheRecordOrNothingAndFinishesNextTime) {
  for (const bool journal : {true, false}) {
    for (std::size_t cut = 0;; ++cut) {
      FakePlatform machine;
      place(machine.add("/dev/sda", 16 * 1024), storedImage("GONE"));
      if (journal) {
        scanDisks(machine);
        ImageSafeDataStruct r{};
        isdLoad(&r);
        ASSERT_EQ(isdSave(&r), 0);
      }
      const std::vector<std::uint8_t> saved = machine.disks["/dev/sda"].bytes;
      machine.cutAfter = cut;
      scanDisks(machine);
      isdRemove();
      FakePlatform restarted;
      restarted.disks["/dev/sda"].bytes = machine.disks["/dev/sda"].bytes;
      scanDisks(restarted);
      const int status = isdLoad(&record);
      EXPECT_TRUE(status == IsdNoStore || tree() == "GONE") << journal << " cut at " << cut << ": " << tree();
      ASSERT_EQ(isdRemove(), 0) << journal << " cut at " << cut;
      EXPECT_EQ(restarted.disks["/dev/sda"].bytes, std::vector<std::uint8_t>(16 * 1024))
          << journal << " cut at " << cut;
      if (!machine.dead()) break;
    }
  }
}

// What one disk holds for the load: a record at 2560 (complete, or left by a
// save that did not finish) and a journal copy with its generation.
struct DiskCopies {
  const char* record = nullptr;   // the tree of the record at 2560; none: blank
  bool unfinished = false;        // it carries the unfinished mark
  const char* journal = nullptr;  // the tree of the journal copy; none: no journal
  std::uint64_t generation = 0;
  bool torn = false;               // the journal copy was cut while it was written
  bool cutShort = false;           // the disk ends inside the record
  const char* replaces = nullptr;  // the tree of the record the journal copy names as replaced
  const char* sealed = nullptr;    // the tree of the record the seal names, at `generation`
  bool damaged = false;            // the record's wsDN length word has its high bit flipped
};
struct NewestCase {
  const char* name;
  std::vector<DiskCopies> disks;  // sda, sdb, sdc
  const char* tree;               // what the load reads; "" for nothing
  std::size_t source;             // the slot it comes from
  bool fromJournal, writtenElsewhere;
  std::vector<LoadOutcome> outcomes;
};
void PrintTo(const NewestCase& c, std::ostream* out) { *out << c.name; }
class NewestCopy : public Disks, public testing::WithParamInterface<NewestCase> {};

TEST_P(NewestCopy, LoadTakesTheNewestCopyAndTheNextSaveStampsAHigherGeneration) {
  const NewestCase& c = GetParam();
  std::uint64_t highest = 0;
  for (std::size_t i = 0; i < c.disks.size(); ++i) {
    const DiskCopies& held = c.disks[i];
    FakeDisk& disk = fake.add(std::string("/dev/sd") + static_cast<char>('a' + i));
    if (held.journal != nullptr) {
      const std::vector<std::uint8_t> copy = storedImage(held.journal);
      std::uint8_t area[JournalAreaLength];
      const std::uint32_t length =
          journalEncode(copy.data(), static_cast<std::uint32_t>(copy.size()), held.generation, area);
      if (held.replaces != nullptr) {
        const std::vector<std::uint8_t> replaced = storedImage(held.replaces);
        journalEncode(copy.data(), static_cast<std::uint32_t>(copy.size()), held.generation, area,
                      recordKeyOf(replaced.data(), replaced.size()));
      }
      std::copy(area, area + (held.torn ? length / 2 : length), disk.bytes.begin() + JournalOffset);
      if (!held.torn) highest = std::max(highest, held.generation);
    }
    if (held.sealed != nullptr) {
      const std::vector<std::uint8_t> image = storedImage(held.sealed);
      if (held.journal == nullptr)
        std::copy(JournalMagic, JournalMagic + 8, disk.bytes.begin() + JournalOffset);
      journalSealEncode(recordKeyOf(image.data(), image.size()), held.generation,
                        disk.bytes.data() + JournalOffset + JournalSealAt);
      highest = std::max(highest, held.generation);
    }
    if (held.record != nullptr) {
      std::vector<std::uint8_t> image = storedImage(held.record);
      if (held.unfinished) std::copy(IsdUnfinishedSignature, IsdUnfinishedSignature + 4, image.begin());
      if (held.damaged) image[IsdHeaderLength + 3] ^= 0x80;
      place(disk, image);
      if (held.cutShort) disk.bytes.resize(IsdStoreOffset + image.size() - 1);
    }
  }
  scanDisks(fake);
  LoadReport found;
  EXPECT_EQ(isdLoad(&record, &found), *c.tree != '\0' ? 0 : IsdNoStore);
  EXPECT_EQ(tree(), c.tree);
  for (std::size_t i = 0; i < c.outcomes.size(); ++i)
    EXPECT_EQ(found.disks[4 + i].outcome, c.outcomes[i]) << "sd" << static_cast<char>('a' + i);
  if (*c.tree != '\0') {
    EXPECT_EQ(found.source, c.source);
    EXPECT_EQ(found.fromJournal, c.fromJournal);
    EXPECT_EQ(found.writtenElsewhere, c.writtenElsewhere);
  }
  DiskReport report;
  const bool tooSmall =
      std::any_of(c.disks.begin(), c.disks.end(), [](const DiskCopies& d) { return d.cutShort; });
  ASSERT_EQ(isdSave(&record, &report), tooSmall ? IsdRefused : 0);
  for (std::size_t i = 0; i < c.disks.size(); ++i) {
    const FakeDisk& disk = fake.disks[std::string("/dev/sd") + static_cast<char>('a' + i)];
    if (report.disks[4 + i].outcome != DiskOutcome::Written) continue;
    const JournalCopy copy = journalDecode(disk.bytes.data() + JournalOffset, JournalAreaLength);
    ASSERT_TRUE(copy.valid) << i;
    EXPECT_EQ(copy.generation, highest + 1) << i;
  }
}
using LO = LoadOutcome;
INSTANTIATE_TEST_SUITE_P(
    Cases, NewestCopy,
    testing::Values(
        NewestCase{"HigherGenerationWinsOverTheFirstDisk",
                   {{"OLD", false, "OLD", 1}, {"NEW", false, "NEW", 2}},
                   "NEW",
                   5,
                   false,
                   false,
                   {LO::NotNeeded, LO::Read}},
        NewestCase{"EqualGenerationsTakeTheFirstDisk",
                   {{"A", false, "A", 4}, {"B", false, "B", 4}},
                   "A",
                   4,
                   false,
                   false,
                   {LO::Read, LO::NotNeeded}},
        NewestCase{"UnfinishedIsReadFromItsJournalCopy",
                   {{"OLD", true, "NEW", 3}},
                   "NEW",
                   4,
                   true,
                   false,
                   {LO::ReadJournal}},
        NewestCase{"UnfinishedWithoutJournalIsPassedOver",
                   {{"HALF", true}, {"B"}},
                   "B",
                   5,
                   false,
                   false,
                   {LO::Unfinished, LO::Read}},
        NewestCase{"UnfinishedOfAnOlderGenerationLoses",
                   {{"OLD", true, "MID", 2}, {"NEW", false, "NEW", 3}},
                   "NEW",
                   5,
                   false,
                   false,
                   {LO::Unfinished, LO::Read}},
        // The record at 2560 does not match its disk's journal copy: another
        // program wrote it after our save, and it wins over every copy of ours.
        NewestCase{"WrittenElsewhereWinsOverAHigherGeneration",
                   {{"OURS", false, "OURS", 9}, {"AGENT", false, "OURS", 1}},
                   "AGENT",
                   5,
                   false,
                   true,
                   {LO::NotNeeded, LO::Read}},
        NewestCase{"FirstWrittenElsewhereWins",
                   {{"A", false, "A", 1}, {"W1", false, "X", 1}, {"W2", false, "Y", 7}},
                   "W1",
                   5,
                   false,
                   true,
                   {LO::NotNeeded, LO::Read, LO::NotNeeded}},
        NewestCase{"NoGenerationRanksLast",
                   {{"PLAIN"}, {"GEN", false, "GEN", 1}},
                   "GEN",
                   5,
                   false,
                   false,
                   {LO::NotNeeded, LO::Read}},
        NewestCase{"WithoutGenerationsTheFirstDiskWins",
                   {{"A"}, {"B"}},
                   "A",
                   4,
                   false,
                   false,
                   {LO::Read, LO::NotNeeded}},
        NewestCase{"TornJournalCopyHasNoGeneration",
                   {{"B", false, "B", 9, true}, {"A", false, "A", 2}},
                   "A",
                   5,
                   false,
                   false,
                   {LO::NotNeeded, LO::Read}},
        NewestCase{"RemovedRecordIsNotBroughtBackByItsJournal",
                   {{nullptr, false, "GONE", 5}},
                   "",
                   0,
                   false,
                   false,
                   {LO::NoRecord}},
        // A damaged record loses to every copy of ours, its own disk's
        // journal copy included, and is read only when nothing else is there.
        NewestCase{"DamagedRecordLosesToItsJournalCopy",
                   {{"ROT", false, "ROT", 3, false, false, nullptr, nullptr, true}, {"ROT", false, "ROT", 3}},
                   "ROT",
                   5,
                   false,
                   false,
                   {LO::Damaged, LO::Read}},
        NewestCase{"DamagedRecordAloneIsRead",
                   {{"ROT", false, nullptr, 0, false, false, nullptr, nullptr, true}},
                   "ROT",
                   4,
                   false,
                   false,
                   {LO::ReadDamaged}},
        // Our save stopped after its journal copy: the record at 2560 is
        // the one the copy replaced, not another program's, and the disk
        // that completed the save is read.
        NewestCase{"StoppedSaveIsOursAndLosesToTheDiskThatCompletedIt",
                   {{"OLD", false, "NEW", 5, false, false, "OLD"}, {"NEW", false, "NEW", 5}},
                   "NEW",
                   5,
                   false,
                   false,
                   {LO::NotNeeded, LO::Read}},
        NewestCase{"StoppedSaveAloneIsReadFromItsJournalCopy",
                   {{"OLD", false, "NEW", 5, false, false, "OLD"}, {"OLD", false, "OLD", 4}},
                   "NEW",
                   4,
                   true,
                   false,
                   {LO::ReadJournal, LO::NotNeeded}},
        // Another program's record that a later save of ours names as
        // replaced is older than that save.
        NewestCase{"ReplacedAgentRecordIsOlderThanTheSaveThatReplacedIt",
                   {{"AGENT", false, "OURS", 2}, {"NEW", false, "NEW", 3, false, false, "AGENT"}},
                   "NEW",
                   5,
                   false,
                   false,
                   {LO::NotNeeded, LO::Read}},
        // A torn copy leaves the seal: the record it vouches for keeps its
        // generation and beats an older copy on another disk.
        NewestCase{"SealKeepsTheGenerationOfARecordWhoseCopyWasTorn",
                   {{"MID", false, "NEXT", 8, true, false, nullptr, "MID"}, {"OLD", false, "OLD", 6}},
                   "MID",
                   4,
                   false,
                   false,
                   {LO::Read, LO::NotNeeded}},
        NewestCase{"RecordCutShortByTheDisksEndIsPassedOver",
                   {{"SHORT", false, nullptr, 0, false, true}, {"B"}},
                   "B",
                   5,
                   false,
                   false,
                   {LO::CutShort, LO::Read}}),
    [](const testing::TestParamInfo<NewestCase>& param) { return param.param.name; });

// A save that would write what the disks already hold writes and syncs
// nothing there and keeps the generation; a disk that differs is written.
TEST_F(Disks, SavingWhatADiskHoldsLeavesItUnchanged) {
  fake.add("/dev/sda");
  fake.add("/dev/sdb");
  scanDisks(fake);
  ASSERT_EQ(saveTree("Same"), 0);
  const auto generation = [&](const char* path) {
    return journalDecode(fake.disks[path].bytes.data() + JournalOffset, JournalAreaLength).generation;
  };
  ASSERT_EQ(generation("/dev/sda"), 1u);
  fake.log.clear();
  DiskReport report;
  ASSERT_EQ(isdLoad(&record), 0);
  ASSERT_EQ(isdSave(&record, &report), 0);
  EXPECT_EQ(report.disks[4].outcome, DiskOutcome::Unchanged);
  EXPECT_EQ(report.disks[5].outcome, DiskOutcome::Unchanged);
  EXPECT_TRUE(std::none_of(fake.log.begin(), fake.log.end(), [](const std::string& l) {
    return l.rfind("write", 0) == 0 || l.rfind("sync", 0) == 0;
  }));
  EXPECT_EQ(generation("/dev/sda"), 1u);

  place(fake.disks["/dev/sdb"], storedImage("Else"));  // another program's record on sdb
  // A planned save and removal say what they would do and touch nothing.
  const auto before = fake.disks;
  fake.log.clear();
  ASSERT_EQ(isdLoad(&record), 0);
  narrowToWide(record.wsTree, "Same");
  ASSERT_EQ(isdSave(&record, &report, StoreMode::Plan), 0);
  EXPECT_EQ(report.disks[4].outcome, DiskOutcome::Unchanged);
  EXPECT_EQ(report.disks[5].outcome, DiskOutcome::Written);
  ASSERT_EQ(isdRemove(&report, StoreMode::Plan), 0);
  EXPECT_EQ(report.disks[4].outcome, DiskOutcome::Written);
  EXPECT_EQ(report.disks[5].outcome, DiskOutcome::Written);
  EXPECT_TRUE(std::none_of(fake.log.begin(), fake.log.end(), [](const std::string& l) {
    return l.rfind("write", 0) == 0 || l.rfind("sync", 0) == 0;
  }));
  for (const auto& [path, disk] : before) EXPECT_EQ(fake.disks[path].bytes, disk.bytes) << path;

  ASSERT_EQ(isdLoad(&record), 0);
  EXPECT_EQ(tree(), "Else");
  narrowToWide(record.wsTree, "Same");
  ASSERT_EQ(isdSave(&record, &report), 0);
  EXPECT_EQ(report.disks[4].outcome, DiskOutcome::Unchanged);
  EXPECT_EQ(report.disks[5].outcome, DiskOutcome::Written);
  EXPECT_EQ(generation("/dev/sdb"), 2u);
  EXPECT_EQ(isdLoad(&record), 0);
  EXPECT_EQ(tree(), "Same");
}

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
