// The simulated-disk library, exercised with plain C library calls. This
// process runs with the library preloaded (see CMakeLists.txt); each test
// points SIMDISK_DIR at a fresh folder of its own.
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/hdreg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern "C" int __open_2(const char* path, int flags);
extern "C" int __open64_2(const char* path, int flags);
extern "C" int __openat_2(int directory, const char* path, int flags);
extern "C" int __openat64_2(int directory, const char* path, int flags);

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

template <class Case>
std::string caseName(const ::testing::TestParamInfo<Case>& info) {
  return info.param.what;
}

constexpr unsigned long IdeRequest = 0x0303;
constexpr std::size_t ImageSize = 8192;

class SimDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "simdisk-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    ::setenv("SIMDISK_DIR", folder_.c_str(), 1);
  }

  void TearDown() override {
    ::unsetenv("SIMDISK_DIR");
    fs::remove_all(folder_);
  }

  void put(const std::string& name, const std::string& content) const {
    std::ofstream(folder_ / name, std::ios::binary) << content;
  }

  // An image of zeros with "<name>" at its start, and an optional .conf.
  void addDisk(const std::string& name, const std::string& conf = "") const {
    put(name, name + std::string(ImageSize - name.size(), '\0'));
    if (!conf.empty()) put(name + ".conf", conf + "\n");
  }

  std::string content(const std::string& name) const {
    std::string text;
    const int fd = ::open((folder_ / name).c_str(), O_RDONLY);
    char buffer[4096];
    for (ssize_t got = 0; fd >= 0 && (got = ::read(fd, buffer, sizeof buffer)) > 0;)
      text.append(buffer, static_cast<std::size_t>(got));
    if (fd >= 0) ::close(fd);
    return text;
  }

  Lines log() const {
    Lines lines;
    std::istringstream in(content("log"));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  ino_t inode(const fs::path& path) const {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_ino : 0;
  }

  static ino_t inodeOf(int fd) {
    struct stat status {};
    return ::fstat(fd, &status) == 0 ? status.st_ino : 0;
  }

  fs::path folder_;
};

// ---- mapping ----

struct OpenVariant {
  const char* what;
  int (*open)(const char* path, int flags);
};

const OpenVariant openVariants[] = {
    {"open", [](const char* p, int f) { return ::open(p, f); }},
    {"open64", [](const char* p, int f) { return ::open64(p, f); }},
    {"open_2", [](const char* p, int f) { return __open_2(p, f); }},
    {"open64_2", [](const char* p, int f) { return __open64_2(p, f); }},
    {"openat", [](const char* p, int f) { return ::openat(AT_FDCWD, p, f); }},
    {"openat64", [](const char* p, int f) { return ::openat64(AT_FDCWD, p, f); }},
    {"openat_2", [](const char* p, int f) { return __openat_2(AT_FDCWD, p, f); }},
    {"openat64_2", [](const char* p, int f) { return __openat64_2(AT_FDCWD, p, f); }},
};

class OpenFunction : public SimDisk, public ::testing::WithParamInterface<OpenVariant> {};

TEST_P(OpenFunction, OpensTheImageNotTheRealDeviceAndLogsIt) {
  addDisk("sdb");
  const int fd = GetParam().open("/dev/sdb", O_RDWR | O_LARGEFILE | O_TRUNC);
  ASSERT_GE(fd, 0) << std::strerror(errno);
  EXPECT_EQ(inodeOf(fd), inode(folder_ / "sdb"));
  ::close(fd);
  EXPECT_EQ(fs::file_size(folder_ / "sdb"), ImageSize) << "a device is never truncated";
  EXPECT_EQ(log(), Lines{"open /dev/sdb ok"});
}

INSTANTIATE_TEST_SUITE_P(Variants, OpenFunction, ::testing::ValuesIn(openVariants), caseName<OpenVariant>);

TEST_F(SimDisk, EachDeviceAndMediaFileMapsToItsOwnFile) {
  const char* names[] = {"hda", "hdb", "hdc", "hdd", "sda", "sdb", "sdc", "sdd", "sde", "sdf", "sdg", "sdh"};
  for (const std::string name : names) {
    addDisk(name);
    put(name + ".media", name + "-media\n");
  }
  Lines expected;
  for (const std::string name : names) {
    expected.insert(expected.end(), {"open /dev/" + name + " ok", "read /dev/" + name + " 0 3 3",
                                     "media /proc/ide/" + name + "/media ok"});
    const int fd = ::open(("/dev/" + name).c_str(), O_RDONLY);
    ASSERT_GE(fd, 0) << name;
    char head[3] = {};
    EXPECT_EQ(::read(fd, head, 3), 3);
    EXPECT_EQ(std::string(head, 3), name);
    ::close(fd);
    const int media = ::open(("/proc/ide/" + name + "/media").c_str(), O_RDONLY);
    ASSERT_GE(media, 0) << name;
    char text[16] = {};
    EXPECT_EQ(::read(media, text, sizeof text), static_cast<ssize_t>(name.size() + 7));
    EXPECT_EQ(std::string(text), name + "-media\n");
    ::close(media);
  }
  EXPECT_EQ(log(), expected);  // reads of the media file and closes are not logged
}

// ---- failing opens ----

struct OpenFailure {
  const char* what;
  const char* conf;
  bool image;
  int (*open)(const char* path);
  int error;
  const char* logLine;
};

int openReadWrite(const char* path) { return ::open(path, O_RDWR | O_LARGEFILE); }
int openCreating(const char* path) { return ::open(path, O_RDWR | O_CREAT, 0600); }
int openStream(const char* path) {
  FILE* stream = std::fopen(path, "r+");
  if (stream != nullptr) std::fclose(stream);
  return stream != nullptr ? 0 : -1;
}

const OpenFailure openFailures[] = {
    {"AbsentImageGivesEnoent", "", false, openReadWrite, ENOENT, "open /dev/sda ENOENT"},
    {"AbsentImageIsNotCreated", "", false, openCreating, ENOENT, "open /dev/sda ENOENT"},
    {"OpenFaultGivesEacces", "fault=open", true, openReadWrite, EACCES, "open /dev/sda EACCES"},
    {"OpenFaultAmongOthers", "fault=read, open", true, openReadWrite, EACCES, "open /dev/sda EACCES"},
    {"StreamOnDeviceRefused", "", true, openStream, EOPNOTSUPP, "open /dev/sda EOPNOTSUPP"},
    {"WriteProtectedRefusesWriting", "readonly=yes", true, openReadWrite, EROFS, "open /dev/sda EROFS"},
};

class FailingOpen : public SimDisk, public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(FailingOpen, FailsWithTheErrorAndLogsIt) {
  const OpenFailure& c = GetParam();
  if (c.image) addDisk("sda", c.conf);
  errno = 0;
  EXPECT_EQ(c.open("/dev/sda"), -1);
  EXPECT_EQ(errno, c.error);
  EXPECT_EQ(log(), Lines{c.logLine});
  EXPECT_EQ(fs::exists(folder_ / "sda"), c.image);
}

INSTANTIATE_TEST_SUITE_P(Cases, FailingOpen, ::testing::ValuesIn(openFailures), caseName<OpenFailure>);

// ---- requests ----

struct Request {
  const char* what;
  const char* conf;
  unsigned long request;
  int error;           // 0: answered
  const char* answer;  // what the answer says, as answerText() writes it
  const char* logLine;
};

std::string answerText(int fd, unsigned long request, int* error) {
  unsigned char buffer[64];
  std::memset(buffer, 0xAA, sizeof buffer);
  errno = 0;
  *error = ::ioctl(fd, request, buffer) == 0 ? 0 : errno;
  if (*error != 0) return "";
  char text[64] = {};
  if (request == BLKGETSIZE) {
    unsigned long sectors = 0;
    std::memcpy(&sectors, buffer, sizeof sectors);
    std::snprintf(text, sizeof text, "%lu", sectors);
  } else if (request == BLKGETSIZE64) {
    std::uint64_t bytes = 0;
    std::memcpy(&bytes, buffer, sizeof bytes);
    std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(bytes));
  } else if (request == BLKSSZGET) {
    int size = 0;
    std::memcpy(&size, buffer, sizeof size);
    std::snprintf(text, sizeof text, "%d", size);
  } else if (request == HDIO_GETGEO) {
    hd_geometry geometry{};
    std::memcpy(&geometry, buffer, sizeof geometry);
    std::snprintf(text, sizeof text, "%u/%u/%u/%lu", geometry.heads, geometry.sectors, geometry.cylinders,
                  geometry.start);
  } else {
    // The word, then the rest of the kernel's geometry record zeroed and
    // nothing written beyond it.
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x", buffer[0], buffer[1], buffer[2], buffer[3]);
    for (std::size_t i = 4; i < sizeof(hd_geometry); ++i)
      if (buffer[i] != 0) return "unzeroed tail";
    if (buffer[sizeof(hd_geometry)] != 0xAA) return "overrun";
  }
  return text;
}

const Request requests[] = {
    {"SizeDefaultsToImageSectors", "", BLKGETSIZE, 0, "16", "ioctl /dev/sda BLKGETSIZE ok"},
    {"SizeFromConf", "size=16450561", BLKGETSIZE, 0, "16450561", "ioctl /dev/sda BLKGETSIZE ok"},
    {"SizeFails", "size=fail", BLKGETSIZE, EIO, "", "ioctl /dev/sda BLKGETSIZE EIO"},
    {"SizeNoBlockDevice", "size=notty", BLKGETSIZE, ENOTTY, "", "ioctl /dev/sda BLKGETSIZE ENOTTY"},
    // Past 2 TiB the byte count still fits, where a 32-bit sector count would not.
    {"BytesPast2TiB", "size=6442450944", BLKGETSIZE64, 0, "3298534883328", "ioctl /dev/sda BLKGETSIZE64 ok"},
    {"BytesFail", "size=fail", BLKGETSIZE64, EIO, "", "ioctl /dev/sda BLKGETSIZE64 EIO"},
    {"BytesNoBlockDevice", "size=notty", BLKGETSIZE64, ENOTTY, "", "ioctl /dev/sda BLKGETSIZE64 ENOTTY"},
    {"IdeFailsByDefault", "", IdeRequest, EINVAL, "", "ioctl /dev/sda IDE0303 EINVAL"},
    {"IdeWordInByteOrder", "ide=ff3f0004", IdeRequest, 0, "ff3f0004", "ioctl /dev/sda IDE0303 ok"},
    {"IdeWordUpperCaseHex", "ide=10203A0B", IdeRequest, 0, "10203a0b", "ioctl /dev/sda IDE0303 ok"},
    {"IdeFails", "ide=fail", IdeRequest, EINVAL, "", "ioctl /dev/sda IDE0303 EINVAL"},
    {"GetgeoAnswersByDefault", "", HDIO_GETGEO, 0, "255/63/0/0", "ioctl /dev/sda HDIO_GETGEO ok"},
    {"GetgeoCylindersFromSize", "size=16450560\ngetgeo=ok", HDIO_GETGEO, 0, "255/63/1024/0",
     "ioctl /dev/sda HDIO_GETGEO ok"},
    {"GetgeoFails", "getgeo=fail", HDIO_GETGEO, EINVAL, "", "ioctl /dev/sda HDIO_GETGEO EINVAL"},
    {"SectorSizeDefault", "", BLKSSZGET, 0, "512", "ioctl /dev/sda BLKSSZGET ok"},
    {"SectorSizeFromConf", "# 4Kn disk\n  sector = 4096  ", BLKSSZGET, 0, "4096",
     "ioctl /dev/sda BLKSSZGET ok"},
    {"OtherRequestNotSupported", "", 0x1234, ENOTTY, "", "ioctl /dev/sda 0x1234 ENOTTY"},
};

class BlockRequest : public SimDisk, public ::testing::WithParamInterface<Request> {};

TEST_P(BlockRequest, AnsweredFromTheConfAndLogged) {
  const Request& c = GetParam();
  addDisk("sda", c.conf);
  const int fd = ::open("/dev/sda", O_RDWR);
  ASSERT_GE(fd, 0);
  int error = 0;
  EXPECT_EQ(answerText(fd, c.request, &error), c.answer);
  EXPECT_EQ(error, c.error);
  ::close(fd);
  EXPECT_EQ(log(), (Lines{"open /dev/sda ok", c.logLine}));
}

INSTANTIATE_TEST_SUITE_P(Cases, BlockRequest, ::testing::ValuesIn(requests), caseName<Request>);

// ---- transfers and faults ----

enum class Op { Seek, Read, Write, Pread, Pwrite, Fsync, Fdatasync };
struct Step {
  Op op;
  long size;  // bytes, or the offset for Seek
  long offset;
};

struct Transfer {
  const char* what;
  const char* conf;
  std::vector<Step> steps;
  std::vector<long> results;  // count, or -errno
  std::size_t written;        // bytes of the pattern found at 2560 afterwards
  Lines logLines;             // after the open line
};

long run(int fd, const Step& step) {
  static const std::string pattern(64, 'W');
  static char buffer[64];
  const auto size = static_cast<std::size_t>(step.size);
  long result = -1;
  switch (step.op) {
    case Op::Seek: result = ::lseek(fd, step.size, SEEK_SET); break;
    case Op::Read: result = ::read(fd, buffer, size); break;
    case Op::Write: result = ::write(fd, pattern.data(), size); break;
    case Op::Pread: result = ::pread(fd, buffer, size, step.offset); break;
    case Op::Pwrite: result = ::pwrite(fd, pattern.data(), size, step.offset); break;
    case Op::Fsync: result = ::fsync(fd); break;
    case Op::Fdatasync: result = ::fdatasync(fd); break;
  }
  return result < 0 ? -errno : result;
}

const Transfer transfers[] = {
    {"NoFaultPassesEverything",
     "",
     {{Op::Seek, 2560, 0},
      {Op::Read, 16, 0},
      {Op::Seek, 2560, 0},
      {Op::Write, 16, 0},
      {Op::Pread, 4, 2560},
      {Op::Fsync, 0, 0},
      {Op::Fdatasync, 0, 0}},
     {2560, 16, 2560, 16, 4, 0, 0},
     16,
     {"seek /dev/sda 2560", "read /dev/sda 2560 16 16", "seek /dev/sda 2560", "write /dev/sda 2560 16 16",
      "read /dev/sda 2560 4 4", "sync /dev/sda ok", "sync /dev/sda ok"}},
    {"ReadAtEndOfImageReturnsZero", "", {{Op::Pread, 16, 8192}}, {0}, 0, {"read /dev/sda 8192 16 0"}},
    {"ReadFaultFailsEveryReadOnly",
     "fault=read",
     {{Op::Seek, 2560, 0}, {Op::Read, 16, 0}, {Op::Pread, 16, 2560}, {Op::Write, 4, 0}},
     {2560, -EIO, -EIO, 4},
     4,
     {"seek /dev/sda 2560", "read /dev/sda 2560 16 EIO", "read /dev/sda 2560 16 EIO",
      "write /dev/sda 2560 4 4"}},
    {"ShortReadTakesHalfAndContinues",
     "fault=shortread",
     {{Op::Seek, 2560, 0}, {Op::Read, 16, 0}, {Op::Read, 8, 0}, {Op::Read, 1, 0}, {Op::Pread, 9, 100}},
     {2560, 8, 4, 1, 4},
     0,
     {"seek /dev/sda 2560", "read /dev/sda 2560 16 8", "read /dev/sda 2568 8 4", "read /dev/sda 2572 1 1",
      "read /dev/sda 100 9 4"}},
    {"WriteFaultWritesNothing",
     "fault=write",
     {{Op::Seek, 2560, 0}, {Op::Write, 16, 0}, {Op::Pwrite, 16, 2560}, {Op::Read, 4, 0}},
     {2560, -EIO, -EIO, 4},
     0,
     {"seek /dev/sda 2560", "write /dev/sda 2560 16 EIO", "write /dev/sda 2560 16 EIO",
      "read /dev/sda 2560 4 4"}},
    {"ShortWriteTakesHalfThenDiskIsFull",
     "fault=shortwrite",
     {{Op::Seek, 2560, 0}, {Op::Write, 16, 0}, {Op::Write, 8, 0}, {Op::Write, 8, 0}, {Op::Write, 4, 0}},
     {2560, 8, -ENOSPC, 4, -ENOSPC},
     12,
     {"seek /dev/sda 2560", "write /dev/sda 2560 16 8", "write /dev/sda 2568 8 ENOSPC",
      "write /dev/sda 2568 8 4", "write /dev/sda 2572 4 ENOSPC"}},
    {"CompleteOneByteWriteIsNotFollowedByEnospc",
     "fault=shortwrite",
     {{Op::Pwrite, 1, 2560}, {Op::Pwrite, 1, 2561}},
     {1, 1},
     2,
     {"write /dev/sda 2560 1 1", "write /dev/sda 2561 1 1"}},
    {"SyncFaultFailsBothSyncs",
     "fault=sync",
     {{Op::Pwrite, 4, 2560}, {Op::Fsync, 0, 0}, {Op::Fdatasync, 0, 0}},
     {4, -EIO, -EIO},
     4,
     {"write /dev/sda 2560 4 4", "sync /dev/sda EIO", "sync /dev/sda EIO"}},
    {"CombinedFaultsAllApply",
     "fault=read,write,sync",
     {{Op::Pread, 4, 0}, {Op::Pwrite, 4, 2560}, {Op::Fsync, 0, 0}},
     {-EIO, -EIO, -EIO},
     0,
     {"read /dev/sda 0 4 EIO", "write /dev/sda 2560 4 EIO", "sync /dev/sda EIO"}},
    {"NegativeSeekFailsAndIsLogged", "", {{Op::Seek, -1, 0}}, {-EINVAL}, 0, {"seek /dev/sda EINVAL"}},
    {"DeviceEndStopsWritesAndReadsAsOnABlockDevice",
     "size=5",
     {{Op::Pwrite, 16, 2550}, {Op::Pwrite, 4, 2560}, {Op::Pread, 16, 2550}, {Op::Pread, 4, 2560}},
     {10, -ENOSPC, 10, 0},
     0,
     {"write /dev/sda 2550 16 10", "write /dev/sda 2560 4 ENOSPC", "read /dev/sda 2550 16 10",
      "read /dev/sda 2560 4 0"}},
};

class DeviceTransfer : public SimDisk, public ::testing::WithParamInterface<Transfer> {};

TEST_P(DeviceTransfer, ResultsImageAndLogAsConfigured) {
  const Transfer& c = GetParam();
  addDisk("sda", c.conf);
  const int fd = ::open("/dev/sda", O_RDWR | O_LARGEFILE);
  ASSERT_GE(fd, 0);
  std::vector<long> results;
  for (const Step& step : c.steps) results.push_back(run(fd, step));
  ::close(fd);
  EXPECT_EQ(results, c.results);
  const std::string image = content("sda");
  ASSERT_EQ(image.size(), ImageSize);
  EXPECT_EQ(image.substr(2560, 32), std::string(c.written, 'W') + std::string(32 - c.written, '\0'));
  Lines expected{"open /dev/sda ok"};
  expected.insert(expected.end(), c.logLines.begin(), c.logLines.end());
  EXPECT_EQ(log(), expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, DeviceTransfer, ::testing::ValuesIn(transfers), caseName<Transfer>);

TEST_F(SimDisk, LargeOffsetsReachTheImageAndAreLoggedExactly) {
  addDisk("sda", "size=20971520");  // 10 GiB: the image grows as far as it is written
  const int fd = ::open64("/dev/sda", O_RDWR);
  ASSERT_GE(fd, 0);
  const off64_t far = 5LL << 30;
  EXPECT_EQ(::lseek64(fd, far, SEEK_SET), far);
  EXPECT_EQ(::write(fd, "DATA", 4), 4);
  char back[4] = {};
  EXPECT_EQ(::pread64(fd, back, 4, far), 4);
  EXPECT_EQ(::pwrite64(fd, "data", 4, far + 4), 4);
  ::close(fd);
  EXPECT_EQ(std::string(back, 4), "DATA");
  EXPECT_EQ(fs::file_size(folder_ / "sda"), static_cast<std::uintmax_t>(far + 8));
  EXPECT_EQ(log(), (Lines{"open /dev/sda ok", "seek /dev/sda 5368709120", "write /dev/sda 5368709120 4 4",
                          "read /dev/sda 5368709120 4 4", "write /dev/sda 5368709124 4 4"}));
}

// The cut kills the process at the configured byte, as a power cut would: the
// bytes before it are on the image, none after it, and the log says so.
TEST_F(SimDisk, CutKillsTheProcessAtItsByteAcrossWrites) {
  addDisk("sda", "cut=20");
  EXPECT_EXIT(
      {
        const int fd = ::open("/dev/sda", O_RDWR);
        const std::string pattern(16, 'W');
        if (::pwrite(fd, pattern.data(), 16, 2560) != 16) std::_Exit(1);
        const ssize_t past = ::pwrite(fd, pattern.data(), 16, 2576);
        std::_Exit(past < 0 ? 3 : 2);  // not reached
      },
      ::testing::KilledBySignal(SIGKILL), "");
  EXPECT_EQ(content("sda").substr(2560, 32), std::string(20, 'W') + std::string(12, '\0'));
  EXPECT_EQ(log(), (Lines{"open /dev/sda ok", "write /dev/sda 2560 16 16", "write /dev/sda 2576 16 4",
                          "cut /dev/sda 20"}));
}

TEST_F(SimDisk, DelayHoldsEveryReadBack) {
  addDisk("sda", "delay=150");
  const int fd = ::open("/dev/sda", O_RDWR);
  ASSERT_GE(fd, 0);
  char buffer[4];
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(::pread(fd, buffer, 4, 0), 4);
  EXPECT_EQ(::pread(fd, buffer, 4, 0), 4);
  const auto waited = std::chrono::steady_clock::now() - start;
  ::close(fd);
  EXPECT_GE(waited, std::chrono::milliseconds(300));
}

// ---- the media description ----

struct Media {
  const char* what;
  bool present;
  FILE* (*open)(const char* path, const char* mode);
  const char* mode;
  const char* firstLine;  // nullptr: the open fails
  int error;
  const char* logLine;
};

FILE* openForWriting(const char* path, const char*) {
  const int fd = ::open(path, O_RDWR);
  return fd < 0 ? nullptr : fdopen(fd, "r");
}

const Media mediaCases[] = {
    {"FopenReadsMediaFile", true, std::fopen, "r", "cdrom", 0, "media /proc/ide/hdc/media ok"},
    {"Fopen64ReadsMediaFile", true, fopen64, "re", "cdrom", 0, "media /proc/ide/hdc/media ok"},
    {"AbsentMediaFileGivesEnoent", false, std::fopen, "r", nullptr, ENOENT,
     "media /proc/ide/hdc/media ENOENT"},
    {"MediaIsReadOnly", true, std::fopen, "r+", nullptr, EACCES, "media /proc/ide/hdc/media EACCES"},
    {"MediaOpenForWritingRefused", true, openForWriting, "", nullptr, EACCES,
     "media /proc/ide/hdc/media EACCES"},
    {"MediaNotCreatedByWriting", false, fopen64, "w", nullptr, EACCES, "media /proc/ide/hdc/media EACCES"},
};

class MediaFile : public SimDisk, public ::testing::WithParamInterface<Media> {};

TEST_P(MediaFile, ReadFromTheFolderOnlyAndLogged) {
  const Media& c = GetParam();
  if (c.present) put("hdc.media", "cdrom\n");
  errno = 0;
  FILE* stream = c.open("/proc/ide/hdc/media", c.mode);
  if (c.firstLine == nullptr) {
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(errno, c.error);
  } else {
    ASSERT_NE(stream, nullptr);
    char line[100] = {};
    EXPECT_NE(std::fgets(line, sizeof line, stream), nullptr);
    std::fclose(stream);
    EXPECT_EQ(std::string(line), std::string(c.firstLine) + "\n");
  }
  EXPECT_EQ(log(), Lines{c.logLine});
  EXPECT_EQ(fs::exists(folder_ / "hdc.media"), c.present);
}

INSTANTIATE_TEST_SUITE_P(Cases, MediaFile, ::testing::ValuesIn(mediaCases), caseName<Media>);

// ---- what is left alone ----

TEST_F(SimDisk, OtherPathsAndDescriptorsPassThroughUnloggedAndUnaltered) {
  addDisk("sda", "fault=read,write,sync,shortread,shortwrite\nsize=fail");
  for (const char* name : {"SDA", "sg0", "hidraw0"}) put(name, "not a disk");
  const int disk = ::open("/dev/sda", O_RDWR);
  ASSERT_GE(disk, 0);
  // Near misses of the device paths never reach the folder's files.
  for (const char* path : {"/dev/SDA", "/dev//sda", "/dev/sg0", "/dev/hidraw0", "/proc/ide/SDA/media"}) {
    const int fd = ::open(path, O_RDONLY);
    const std::string name = fs::path(path).filename();
    if (fd >= 0) {
      EXPECT_NE(inodeOf(fd), inode(folder_ / name)) << path;
      ::close(fd);
    }
  }
  // A plain file, used with every interposed call while the faulty disk is open.
  const fs::path plain = folder_ / "plain";
  const int fd = ::open(plain.c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  char back[8] = {};
  EXPECT_EQ(::write(fd, "12345678", 8), 8);
  EXPECT_EQ(::lseek(fd, 2, SEEK_SET), 2);
  EXPECT_EQ(::read(fd, back, 6), 6);
  EXPECT_EQ(::pwrite(fd, "ab", 2, 0), 2);
  EXPECT_EQ(::pread(fd, back, 8, 0), 8);
  EXPECT_EQ(::fsync(fd), 0);
  EXPECT_EQ(::fdatasync(fd), 0);
  unsigned long sectors = 0;
  EXPECT_EQ(::ioctl(fd, BLKGETSIZE, &sectors), -1);
  EXPECT_EQ(errno, ENOTTY);
  EXPECT_EQ(::close(fd), 0);
  ::close(disk);
  EXPECT_EQ(std::string(back, 8), "ab345678");
  EXPECT_EQ(log(), Lines{"open /dev/sda ok"});
}

// Every disk-like name is served from the folder or absent, whatever its kind;
// the kernel's list of disks is the folder's images.
TEST_F(SimDisk, DiskLikeNamesAreServedFromTheFolderOrAbsent) {
  for (const char* name : {"nvme0n1", "vdb", "xvda", "sdaa", "sda1", "mmcblk0"}) addDisk(name);
  put("nvme0n1.conf", "size=2048\n");
  Lines expected{"list /sys/block ok"};
  std::vector<std::string> listed;
  if (DIR* list = ::opendir("/sys/block")) {
    while (const dirent* entry = ::readdir(list)) listed.emplace_back(entry->d_name);
    ::closedir(list);
  }
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, (std::vector<std::string>{"mmcblk0", "nvme0n1", "sda1", "sdaa", "vdb", "xvda"}));
  for (const std::string name : {"nvme0n1", "vdb", "xvda", "sdaa", "sda1", "mmcblk0"}) {
    const int fd = ::open(("/dev/" + name).c_str(), O_RDWR);
    ASSERT_GE(fd, 0) << name;
    EXPECT_EQ(inodeOf(fd), inode(folder_ / name));
    ::close(fd);
    expected.push_back("open /dev/" + name + " ok");
  }
  for (const std::string name : {"vda", "nvme1n1", "hde", "sdi", "dm-0", "md0", "loop0", "xvdb", "mmcblk1"}) {
    errno = 0;
    EXPECT_EQ(::open(("/dev/" + name).c_str(), O_RDONLY), -1) << name;
    EXPECT_EQ(errno, ENOENT) << name;
    expected.push_back("open /dev/" + name + " ENOENT");
  }
  EXPECT_EQ(log(), expected);
}

// The host's own disk (this machine's is /dev/vda) and any other block device
// of the host, however it is named, are refused as absent and never opened.
TEST_F(SimDisk, HostBlockDevicesFailClosedByAnyName) {
  std::vector<std::string> paths = {"/dev/vda", "/dev/nvme0n1", "/dev/sda"};
  for (const fs::directory_entry& entry : fs::directory_iterator("/dev")) {
    if (entry.is_block_file() && paths.size() < 6) {
      paths.push_back(entry.path());
      const fs::path link = folder_ / ("link" + std::to_string(paths.size()));
      fs::create_symlink(entry.path(), link);
      paths.push_back(link);
    }
  }
  for (const std::string& path : paths) {
    errno = 0;
    EXPECT_EQ(::open(path.c_str(), O_RDONLY), -1) << path;
    EXPECT_EQ(errno, ENOENT) << path;
    errno = 0;
    EXPECT_EQ(::openat(AT_FDCWD, path.c_str(), O_RDWR), -1) << path;
    EXPECT_EQ(errno, ENOENT) << path;
    EXPECT_EQ(std::fopen(path.c_str(), "r"), nullptr) << path;
  }
}

TEST_F(SimDisk, InactiveWithoutSimdiskDirSoImagesAreNotUsed) {
  addDisk("sda");
  for (const char* value : {static_cast<const char*>(""), static_cast<const char*>(nullptr)}) {
    if (value == nullptr)
      ::unsetenv("SIMDISK_DIR");
    else
      ::setenv("SIMDISK_DIR", value, 1);
    const int fd = ::open("/dev/sda", O_RDONLY);
    if (fd >= 0) {
      EXPECT_NE(inodeOf(fd), inode(folder_ / "sda"));
      ::close(fd);
    }
  }
  EXPECT_FALSE(fs::exists(folder_ / "log"));
}

struct Reuse {
  const char* what;
  bool closeRaw;   // closed with a raw system call, unseen by the library
  bool openRaw;    // the number reused by a raw system call
  bool sameImage;  // reused for the disk's own image file
};

const Reuse reuses[] = {
    {"ClosedThenImageReopenedRaw", false, true, true},
    {"ClosedRawThenPlainFileOpened", true, false, false},
    {"ClosedRawThenImageOpened", true, false, true},
    {"ClosedRawThenPlainFileOpenedRaw", true, true, false},
};

class ReusedDescriptor : public SimDisk, public ::testing::WithParamInterface<Reuse> {};

TEST_P(ReusedDescriptor, NumberReusedForAnotherOpenIsNotSimulated) {
  const Reuse& c = GetParam();
  addDisk("sda", "fault=write");
  const int disk = ::open("/dev/sda", O_RDWR);
  ASSERT_GE(disk, 0);
  if (c.closeRaw)
    ::syscall(SYS_close, disk);
  else
    ::close(disk);
  const fs::path file = folder_ / (c.sameImage ? "sda" : "plain");
  const int fd = c.openRaw
                     ? static_cast<int>(::syscall(SYS_openat, AT_FDCWD, file.c_str(), O_RDWR | O_CREAT, 0600))
                     : ::open(file.c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_EQ(fd, disk) << "the descriptor number was not reused";
  EXPECT_EQ(::write(fd, "x", 1), 1);
  ::close(fd);
  EXPECT_EQ(log(), Lines{"open /dev/sda ok"});
}

INSTANTIATE_TEST_SUITE_P(Cases, ReusedDescriptor, ::testing::ValuesIn(reuses), caseName<Reuse>);

// ---- malformed settings stop the test run loudly ----

struct BadConf {
  const char* what;
  const char* conf;
  const char* message;
};

const BadConf badConfs[] = {
    {"UnknownKey", "sise=10", "sda.conf: unknown key: sise=10"},
    {"NotKeyValue", "size", "not a key=value line"},
    {"SizeNotANumber", "size=12x", "size is a sector count, fail or notty"},
    {"SizeOverflow", "size=99999999999999999999", "size is a sector count, fail or notty"},
    {"IdeTooShort", "ide=ff3f00", "ide is 8 hex digits or fail"},
    {"IdeNotHex", "ide=ff3f00zz", "ide is 8 hex digits or fail"},
    {"GetgeoOther", "getgeo=yes", "getgeo is ok or fail"},
    {"SectorZero", "sector=0", "sector is a positive byte count"},
    {"UnknownFault", "fault=read,slowread", "fault names one of"},
};

class MalformedConf : public SimDisk, public ::testing::WithParamInterface<BadConf> {};

TEST_P(MalformedConf, EndsTheProcessNamingTheProblem) {
  addDisk("sda", GetParam().conf);
  EXPECT_DEATH(::open("/dev/sda", O_RDWR), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(Cases, MalformedConf, ::testing::ValuesIn(badConfs), caseName<BadConf>);

}  // namespace
