#include "store/platform.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/hdreg.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// The IDE driver's request for the drive's BIOS geometry.
constexpr unsigned long IdeGeometryRequest = 0x0303;

int failure() { return errno != 0 ? -errno : -EIO; }

// The few functions of libblkid (libblkid.so.1, package libblkid1) the probe
// needs, looked up once. The library is optional: without it the write guard
// relies on its own signatures.
class Blkid {
 public:
  using Probe = void*;
  static const Blkid& get() {
    static const Blkid library;
    return library;
  }
  bool available() const { return doSafeprobe_ != nullptr; }

  // 1 with the type in `user`, 0 when nothing was found, -ENOSYS without the
  // library, -EIO when the probe failed.
  int probe(int fd, char* user, std::size_t size) const {
    if (!available()) return -ENOSYS;
    Probe probe = newProbe_();
    if (probe == nullptr) return -ENOMEM;
    int result = -EIO;
    if (setDevice_(probe, fd, 0, 0) == 0 && enableSuperblocks_(probe, 1) == 0 &&
        setSuperblocksFlags_(probe, SuperblocksType | SuperblocksUsage) == 0 &&
        enablePartitions_(probe, 0) == 0) {
      const int found = doSafeprobe_(probe);
      const char* type = nullptr;
      std::size_t length = 0;
      if (found == 0) {
        result = 1;
        if (lookupValue_(probe, "TYPE", &type, &length) != 0 || type == nullptr) type = "unknown";
        std::snprintf(user, size, "%s", type);
      } else if (found == AmbiguousResult) {
        result = 1;  // more than one signature: something uses the disk
        std::snprintf(user, size, "%s", "ambiguous signatures");
      } else if (found == 1) {
        result = 0;
      }
    }
    freeProbe_(probe);
    return result;
  }

 private:
  static constexpr int SuperblocksType = 1 << 5;   // BLKID_SUBLKS_TYPE
  static constexpr int SuperblocksUsage = 1 << 7;  // BLKID_SUBLKS_USAGE
  static constexpr int AmbiguousResult = -2;

  Blkid() {
    void* library = ::dlopen("libblkid.so.1", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return;
    if (!find(library, "blkid_new_probe", newProbe_) || !find(library, "blkid_free_probe", freeProbe_) ||
        !find(library, "blkid_probe_set_device", setDevice_) ||
        !find(library, "blkid_probe_enable_superblocks", enableSuperblocks_) ||
        !find(library, "blkid_probe_set_superblocks_flags", setSuperblocksFlags_) ||
        !find(library, "blkid_probe_enable_partitions", enablePartitions_) ||
        !find(library, "blkid_probe_lookup_value", lookupValue_) ||
        !find(library, "blkid_do_safeprobe", doSafeprobe_)) {
      doSafeprobe_ = nullptr;  // an incomplete library is not used at all
    }
  }

  template <class Function>
  static bool find(void* library, const char* name, Function& function) {
    void* symbol = ::dlsym(library, name);
    std::memcpy(&function, &symbol, sizeof function);
    return symbol != nullptr;
  }

  Probe (*newProbe_)() = nullptr;
  void (*freeProbe_)(Probe) = nullptr;
  int (*setDevice_)(Probe, int, std::int64_t, std::int64_t) = nullptr;
  int (*enableSuperblocks_)(Probe, int) = nullptr;
  int (*setSuperblocksFlags_)(Probe, int) = nullptr;
  int (*enablePartitions_)(Probe, int) = nullptr;
  int (*lookupValue_)(Probe, const char*, const char**, std::size_t*) = nullptr;
  int (*doSafeprobe_)(Probe) = nullptr;
};

class SystemDiskPlatform final : public DiskPlatform {
 public:
  int openDevice(const char* path, DiskAccess access) override {
    const int mode = access == DiskAccess::ReadWrite ? O_RDWR : O_RDONLY;
    const int fd = ::open(path, mode | O_LARGEFILE);
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

  int sizeInBytes(int fd, std::uint64_t* bytes) override {
    std::uint64_t size = 0;
    if (::ioctl(fd, BLKGETSIZE64, &size) == 0) {
      *bytes = size;
      return 0;
    }
    // A driver that does not know the 64-bit request answers ENOTTY (or
    // EINVAL); so does every descriptor that is no block device.
    if (errno != ENOTTY && errno != EINVAL) return failure();
    unsigned long sectors = 0;
    if (::ioctl(fd, BLKGETSIZE, &sectors) != 0) return failure();
    *bytes = std::uint64_t{sectors} * 512;
    return 0;
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

  int lockDevice(int fd, DeviceLock lock) override {
    if (lock == DeviceLock::Turnstile || lock == DeviceLock::TurnstilePass ||
        lock == DeviceLock::TurnstileRelease) {
      struct flock range {};
      range.l_type = lock == DeviceLock::Turnstile       ? F_WRLCK
                     : lock == DeviceLock::TurnstilePass ? F_RDLCK
                                                         : F_UNLCK;
      range.l_whence = SEEK_SET;
      range.l_start = 0;
      range.l_len = 1;
      if (::fcntl(fd, F_OFD_SETLK, &range) == 0) return 0;
      // A kernel without open file description locks (before 3.15) has no
      // turnstile: the flock(2) locks alone keep one writer at a time.
      if (errno == EINVAL) return 0;
      return errno == EAGAIN || errno == EACCES ? -EWOULDBLOCK : failure();
    }
    const int operation = lock == DeviceLock::Shared      ? LOCK_SH
                          : lock == DeviceLock::Exclusive ? LOCK_EX
                                                          : LOCK_UN;
    return ::flock(fd, operation | LOCK_NB) == 0 ? 0 : failure();
  }

  int probeWholeDisk(int fd, char* user, std::size_t size) override {
    return Blkid::get().probe(fd, user, size);
  }

  int regularFileSize(int fd, std::uint64_t* bytes) override {
    struct stat status {};
    if (::fstat(fd, &status) != 0) return failure();
    if (!S_ISREG(status.st_mode)) return -ENOTBLK;
    *bytes = static_cast<std::uint64_t>(status.st_size);
    return 0;
  }

  int fileIdentity(int fd, std::uint64_t* device, std::uint64_t* inode) override {
    struct stat status {};
    if (::fstat(fd, &status) != 0) return failure();
    *device = static_cast<std::uint64_t>(status.st_dev);
    *inode = static_cast<std::uint64_t>(status.st_ino);
    return 0;
  }

  int listBlockDevices(void (*each)(void* context, const char* name), void* context) override {
    DIR* list = ::opendir("/sys/block");
    if (list == nullptr) return failure();
    while (const dirent* entry = ::readdir(list)) {
      if (entry->d_name[0] != '.') each(context, entry->d_name);
    }
    ::closedir(list);
    return 0;
  }
};

}  // namespace

DiskPlatform& systemDiskPlatform() {
  static SystemDiskPlatform platform;
  return platform;
}
