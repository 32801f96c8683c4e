// The raw-device calls of the store, behind one small interface so that tests
// can put simulated devices behind it. Every call returns 0 (or a count) on
// success and a negative errno value on failure.
#pragma once

#include <cstddef>
#include <cstdint>

// A lock on an opened device, shared between readers, exclusive for a writer;
// and the turnstile in front of it, which a writer holds (exclusive) while it
// waits for the readers to leave, so that no reader that comes after it goes
// first, and which a reader only passes (shared, for a moment).
enum class DeviceLock { Shared, Exclusive, Release, Turnstile, TurnstilePass, TurnstileRelease };

// How a device is opened: a viewer only reads, so it never asks for writing
// (a write-protected disk stays viewable, and closing it sets off no re-probe).
enum class DiskAccess { ReadOnly, ReadWrite };

struct DiskPlatform {
  virtual ~DiskPlatform() = default;
  // Open a device with large-file access, for reading only or for both.
  virtual int openDevice(const char* path, DiskAccess access) = 0;
  // First line (at most size - 1 characters) of a text file, for /proc/ide.
  virtual int readFirstLine(const char* path, char* line, std::size_t size) = 0;
  // The device's size in bytes: BLKGETSIZE64, or BLKGETSIZE (512-byte
  // sectors in an unsigned long, which ends at 2 TiB on 32-bit builds) only
  // where the 64-bit request is missing.
  virtual int sizeInBytes(int fd, std::uint64_t* bytes) = 0;
  // The IDE driver request 0x0303; fills at least 16 bytes of `geometry`.
  virtual int ideGeometry(int fd, std::uint8_t* geometry) = 0;
  // HDIO_GETGEO; fills at least 16 bytes of `geometry`.
  virtual int driveGeometry(int fd, std::uint8_t* geometry) = 0;
  // BLKSSZGET: logical sector size in bytes.
  virtual int logicalSectorSize(int fd, int* bytes) = 0;
  // Seek to `offset`, then read up to `size` bytes, continuing short reads
  // until the end of the device. Returns the bytes read.
  virtual long readAt(int fd, std::uint64_t offset, std::uint8_t* buffer, std::size_t size) = 0;
  // Seek to `offset`, then write all `size` bytes, continuing short writes.
  // Returns `size`, or a negative errno value when not every byte was taken.
  virtual long writeAt(int fd, std::uint64_t offset, const std::uint8_t* buffer, std::size_t size) = 0;
  // Flush the device's written data to the medium.
  virtual int sync(int fd) = 0;
  // flock(2) on the device without waiting (the turnstile: an
  // open-file-description lock on its first byte, which flock(2) does not
  // see): 0, -EWOULDBLOCK while another process holds a lock that conflicts,
  // or another negative errno.
  virtual int lockDevice(int fd, DeviceLock lock) = 0;
  // Probe the whole device for a superblock of a file system, RAID member,
  // volume group, swap area or other user of the whole disk (partition tables
  // are not looked for). Returns 1 and its name in `user` (at most size - 1
  // characters, the caller's buffer), 0 when the probe finds none, or a
  // negative errno when no probe could be made (no prober on the system).
  virtual int probeWholeDisk(int fd, char* user, std::size_t size) = 0;
  // The size of an opened regular file (a raw disk image): 0 and `*bytes`, or
  // -ENOTBLK when the descriptor is no regular file, or another negative errno.
  virtual int regularFileSize(int fd, std::uint64_t* bytes) = 0;
  // What the descriptor is open on, the same for every name of one file or
  // device (symlinks and other paths to it): 0, or a negative errno.
  virtual int fileIdentity(int fd, std::uint64_t* device, std::uint64_t* inode) = 0;
  // The whole disks the kernel lists (/sys/block): `each` is called with the
  // caller's `context` and every name ("sda", "nvme0n1"), in no set order.
  // Returns 0 or a negative errno when there is no such list.
  virtual int listBlockDevices(void (*each)(void* context, const char* name), void* context) = 0;
};

// The platform of the running system: Linux block devices, /proc, /sys/block,
// flock(2) and Debian's libblkid, loaded at run time when it is installed.
DiskPlatform& systemDiskPlatform();
