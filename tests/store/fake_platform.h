// An in-memory disk platform for the store's tests: disks are byte vectors,
// each request answers as configured, faults can be injected, and every call
// is logged.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "store/platform.h"

struct FakeDisk {
  std::vector<std::uint8_t> bytes;
  std::optional<std::uint64_t> sectors;  // the size in 512-byte sectors; defaults to bytes / 512
  bool sizeFails = false;
  std::optional<std::uint32_t> ideWord;  // request 0x0303: first word, bytes in order; none = fails
  bool getgeoFails = false;
  int sectorSize = 512;
  bool openFails = false, readFails = false, shortReads = false;
  bool writeFails = false, shortWrites = false, syncFails = false;
  std::optional<std::string> wholeDiskUser;  // what the whole-disk probe finds; none: nothing
  bool heldElsewhere = false;                // another process holds a lock on it
  bool turnstileElsewhere = false;           // another process's writer waits in its turnstile
  bool imageFile = false;                    // a regular file: no block-device requests
  // One failing call: the write (or sync) of this number on this disk,
  // counted from 0, fails with EIO and changes nothing; every other call works.
  std::optional<std::size_t> failWrite, failSync;
  std::size_t writes = 0, syncs = 0;
};

class FakePlatform final : public DiskPlatform {
 public:
  std::map<std::string, FakeDisk> disks;
  std::map<std::string, std::string> files;  // /proc/ide/<name>/media
  std::vector<std::string> log;
  bool quiet = false;  // keep no log (for the fuzzer's millions of runs)
  // A power cut: after this many bytes written (over all disks) the write in
  // progress stops there and every later call fails, as if the process died.
  std::optional<std::size_t> cutAfter;
  std::size_t written = 0;
  // A failing disk: the sync of this number (counted from 0 over all disks)
  // fails, and so does every later call, as if the run had stopped there.
  std::optional<std::size_t> syncFailsAt;
  std::size_t syncs = 0;
  bool stopped = false;
  std::map<std::string, DeviceLock> locks;  // held by this process
  std::set<std::string> turnstiles;         // turnstiles held by this process

  FakeDisk& add(const std::string& path, std::size_t size = 64 * 1024) {
    FakeDisk& disk = disks[path];
    disk.bytes.assign(size, 0);
    return disk;
  }

  int openDevice(const char* named, DiskAccess /*access*/) override {
    if (!quiet) log.push_back(std::string("open ") + named);
    const std::string path = aliases.count(named) != 0 ? aliases.at(named) : named;
    auto it = disks.find(path);
    if (it == disks.end()) return -ENOENT;
    if (it->second.openFails) return -EACCES;
    paths_.push_back(path);
    return static_cast<int>(paths_.size()) + 2;
  }
  int readFirstLine(const char* path, char* line, std::size_t size) override {
    auto it = files.find(path);
    if (it == files.end()) return -ENOENT;
    std::string text = it->second.substr(0, it->second.find('\n')).substr(0, size - 1);
    std::memcpy(line, text.c_str(), text.size() + 1);
    return 0;
  }
  int sizeInBytes(int fd, std::uint64_t* bytes) override {
    FakeDisk& d = disk(fd);
    if (d.imageFile) return -ENOTTY;
    if (d.sizeFails) return -EIO;
    *bytes = (d.sectors ? *d.sectors : d.bytes.size() / 512) * 512;
    return 0;
  }
  int ideGeometry(int fd, std::uint8_t* geometry) override {
    FakeDisk& d = disk(fd);
    if (!quiet) log.push_back("ide " + path(fd));
    if (!d.ideWord) return -EINVAL;
    for (int i = 0; i < 4; ++i) geometry[i] = static_cast<std::uint8_t>(*d.ideWord >> (24 - 8 * i));
    return 0;
  }
  int driveGeometry(int fd, std::uint8_t*) override { return disk(fd).getgeoFails ? -EINVAL : 0; }
  int logicalSectorSize(int fd, int* bytes) override {
    *bytes = disk(fd).sectorSize;
    return 0;
  }
  long readAt(int fd, std::uint64_t offset, std::uint8_t* buffer, std::size_t size) override {
    FakeDisk& d = disk(fd);
    if (!quiet) log.push_back("read " + path(fd) + " " + std::to_string(offset) + " " + std::to_string(size));
    if (d.readFails) return -EIO;
    if (offset >= d.bytes.size()) return 0;
    const auto at = static_cast<std::size_t>(offset);
    std::size_t n = std::min<std::size_t>(size, d.bytes.size() - at);
    if (d.shortReads) n = std::min<std::size_t>(n, 100);  // stops early, as a failing disk might
    std::memcpy(buffer, d.bytes.data() + at, n);
    return static_cast<long>(n);
  }
  long writeAt(int fd, std::uint64_t offset, const std::uint8_t* buffer, std::size_t size) override {
    FakeDisk& d = disk(fd);
    if (!quiet)
      log.push_back("write " + path(fd) + " " + std::to_string(offset) + " " + std::to_string(size));
    if (d.writeFails || dead()) return -EIO;
    if (d.failWrite && d.writes++ == *d.failWrite) return -EIO;
    const auto at = static_cast<std::size_t>(offset);
    std::size_t n = d.shortWrites ? size / 2 : size;
    if (cutAfter && written + n > *cutAfter) {
      n = *cutAfter - written;
      std::memcpy(d.bytes.data() + at, buffer, n);
      written = *cutAfter + 1;  // dead from here on
      return -EIO;
    }
    written += n;
    if (d.bytes.size() < at + n) d.bytes.resize(at + n);
    std::memcpy(d.bytes.data() + at, buffer, n);
    return d.shortWrites ? -ENOSPC : static_cast<long>(n);
  }
  int sync(int fd) override {
    if (!quiet) log.push_back("sync " + path(fd));
    if (syncFailsAt && syncs++ == *syncFailsAt) stopped = true;
    FakeDisk& d = disk(fd);
    if (d.failSync && d.syncs++ == *d.failSync) return -EIO;
    return d.syncFails || dead() ? -EIO : 0;
  }
  int lockDevice(int fd, DeviceLock lock) override {
    if (lock == DeviceLock::Turnstile || lock == DeviceLock::TurnstilePass ||
        lock == DeviceLock::TurnstileRelease) {
      if (lock != DeviceLock::TurnstileRelease && disk(fd).turnstileElsewhere) return -EWOULDBLOCK;
      if (lock != DeviceLock::TurnstileRelease) turnstiles.insert(path(fd));
      if (lock == DeviceLock::TurnstileRelease) turnstiles.erase(path(fd));
      return 0;
    }
    if (lock == DeviceLock::Release) {
      locks.erase(path(fd));
      return 0;
    }
    if (disk(fd).heldElsewhere) return -EWOULDBLOCK;
    locks[path(fd)] = lock;
    return 0;
  }
  int probeWholeDisk(int fd, char* user, std::size_t size) override {
    const FakeDisk& d = disk(fd);
    if (!d.wholeDiskUser) return 0;
    std::snprintf(user, size, "%s", d.wholeDiskUser->c_str());
    return 1;
  }
  int regularFileSize(int fd, std::uint64_t* bytes) override {
    const FakeDisk& d = disk(fd);
    if (!d.imageFile) return -ENOTBLK;
    *bytes = d.bytes.size();
    return 0;
  }
  // Every disk under /dev/, and the names in `listedOnly` that have no node.
  int listBlockDevices(void (*each)(void* context, const char* name), void* context) override {
    for (const auto& [path, disk] : disks)
      if (path.rfind("/dev/", 0) == 0) each(context, path.c_str() + 5);
    for (const std::string& name : listedOnly) each(context, name.c_str());
    return 0;
  }
  std::vector<std::string> listedOnly;
  // Names that lead to another disk's file, as a symlink does.
  std::map<std::string, std::string> aliases;
  int fileIdentity(int fd, std::uint64_t* device, std::uint64_t* inode) override {
    *device = 1;
    *inode = std::hash<std::string>{}(path(fd));
    return 0;
  }
  bool dead() const { return stopped || (cutAfter && written > *cutAfter); }

  std::string path(int fd) const { return paths_.at(static_cast<std::size_t>(fd - 3)); }
  FakeDisk& disk(int fd) { return disks.at(path(fd)); }

 private:
  std::vector<std::string> paths_;
};
