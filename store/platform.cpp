#include "store/platform.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <linux/hdreg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// The IDE driver's request for the drive's BIOS geometry.
constexpr unsigned long IdeGeometryRequest = 0x0303;

int failure() { return errno != 0 ? -errno : -EIO; }

class SystemDiskPlatform final : public DiskPlatform {
 public:
  int openDevice(const char* path) override {
    const int fd = ::open(path, O_RDWR | O_LARGEFILE);
    return fd >= 0 ? fd : failure();
  }

  int readFirstLine(const char* path, char* line, std::size_t size) override {
    const int fd = ::open(path, O_RDONLY);
    if (fd < 0) return failure();
    std::size_t used = 0;
    while (used + 1 < size) {
      const ssize_t got = ::read(fd, line + used, size - 1 - used);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      used += static_cast<std::size_t>(got);
    }
    ::close(fd);
    line[used] = '\0';
    if (char* end = std::strchr(line, '\n')) *end = '\0';
    return 0;
  }

  int sizeInSectors(int fd, unsigned long* sectors) override {
    return ::ioctl(fd, BLKGETSIZE, sectors) == 0 ? 0 : failure();
  }

  int ideGeometry(int fd, std::uint8_t* geometry) override {
    return ::ioctl(fd, IdeGeometryRequest, geometry) == 0 ? 0 : failure();
  }

  int driveGeometry(int fd, std::uint8_t* geometry) override {
    return ::ioctl(fd, HDIO_GETGEO, geometry) == 0 ? 0 : failure();
  }

  int logicalSectorSize(int fd, int* bytes) override {
    return ::ioctl(fd, BLKSSZGET, bytes) == 0 ? 0 : failure();
  }

  long readAt(int fd, std::uint64_t offset, std::uint8_t* buffer, std::size_t size) override {
    if (::lseek(fd, static_cast<off_t>(offset), SEEK_SET) < 0) return failure();
    std::size_t done = 0;
    while (done < size) {
      const ssize_t got = ::read(fd, buffer + done, size - done);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return failure();
      if (got == 0) break;  // end of the device
      done += static_cast<std::size_t>(got);
    }
    return static_cast<long>(done);
  }

  long writeAt(int fd, std::uint64_t offset, const std::uint8_t* buffer, std::size_t size) override {
    if (::lseek(fd, static_cast<off_t>(offset), SEEK_SET) < 0) return failure();
    std::size_t done = 0;
    while (done < size) {
      const ssize_t put = ::write(fd, buffer + done, size - done);
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) return failure();
      if (put == 0) return -ENOSPC;
      done += static_cast<std::size_t>(put);
    }
    return static_cast<long>(done);
  }

  int sync(int fd) override { return ::fsync(fd) == 0 ? 0 : failure(); }
};

}  // namespace

DiskPlatform& systemDiskPlatform() {
  static SystemDiskPlatform platform;
  return platform;
}
