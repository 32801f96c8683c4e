/* Simulated disks for end-to-end tests, loaded with LD_PRELOAD.
 *
 * Opening a disk-like device path (/dev/sda, /dev/nvme0n1, /dev/vda, ...)
 * opens the image file of that name in SIMDISK_DIR instead, or fails as if
 * the device were absent; every other block device of the host is refused as
 * absent too, so a test can never reach a real disk. A small table marks the
 * descriptor as simulated, with the disk's settings. Listing /sys/block lists
 * the folder's disk images. Calls on a simulated descriptor are logged and
 * answered from those settings (the block-device requests) or passed to the
 * image file with the configured faults. Every other path and descriptor
 * passes straight through. The interposers allocate nothing and call the C
 * library only through the functions found with dlsym(RTLD_NEXT), so they
 * never call themselves. */
#undef _FILE_OFFSET_BITS
#undef _TIME_BITS
#undef _FORTIFY_SOURCE
#define _GNU_SOURCE 1

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/fs.h>
#include <linux/hdreg.h>
#include <signal.h>
#include <stdarg.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "simdisk.h"

#define SIM_EXPORT __attribute__((visibility("default")))

/* The IDE driver request that answers with the drive's geometry word. */
enum { SimIdeRequest = 0x0303 };

/* ---- the table of simulated descriptors ---- */

struct SimDescriptor {
  bool used;
  int fd;
  char name[SimNameMax]; /* the device's name, "sda" for /dev/sda */
  char path[SimNameMax + 5];
  dev_t fileDevice;           /* identity of the image file, to notice a descriptor */
  ino64_t fileInode;          /* that was closed and reused behind the library's back */
  bool enospcArmed;           /* shortwrite: the next write fails with ENOSPC */
  unsigned long long written; /* bytes written since the open, for the cut */
  struct SimSettings settings;
};

enum { SimDescriptorMax = 64 };
static struct SimDescriptor descriptors[SimDescriptorMax];

/* Drops whatever the table says about `fd`: it was closed, or it now names a
 * file opened without the library. */
static void forgetDescriptor(int fd) {
  if (fd < 0) return;
  for (int i = 0; i < SimDescriptorMax; ++i)
    if (descriptors[i].used && descriptors[i].fd == fd) descriptors[i].used = false;
}

static struct SimDescriptor* simulated(int fd) {
  if (fd < 0) return NULL;
  for (int i = 0; i < SimDescriptorMax; ++i) {
    struct SimDescriptor* entry = &descriptors[i];
    if (!entry->used || entry->fd != fd) continue;
    struct stat64 status;
    int savedErrno = errno;
    bool same =
        fstat64(fd, &status) == 0 && status.st_dev == entry->fileDevice && status.st_ino == entry->fileInode;
    errno = savedErrno;
    if (same && simFolder() != NULL) return entry;
    entry->used = false;
    return NULL;
  }
  return NULL;
}

/* ---- opening ---- */

static void logStatus(const char* folder, const char* verb, const char* path, int error) {
  struct SimLine line = {.length = 0};
  simLineText(&line, verb);
  simLineText(&line, " ");
  simLineText(&line, path);
  simLineStatus(&line, error);
  simLogLine(folder, &line);
}

/* Every open of a device that has an image, with the access it asked for,
 * one line "<path> read" or "<path> write" in the folder's `access` file. */
static void logAccess(const char* folder, const char* path, bool writing) {
  int savedErrno = errno;
  char file[SimPathMax];
  if (simFolderPath(file, sizeof file, folder, "access", "")) {
    int fd = simRealOpen()(file, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
      struct SimLine line = {.length = 0};
      simLineText(&line, path);
      simLineText(&line, writing ? " write\n" : " read\n");
      simRealWrite()(fd, line.text, line.length);
      simRealClose()(fd);
    }
  }
  errno = savedErrno;
}

static int failOpen(const char* folder, const char* verb, const char* path, int error) {
  logStatus(folder, verb, path, error);
  errno = error;
  return -1;
}

static int openDevice(const char* folder, const char* name, int flags) {
  struct SimSettings settings;
  char path[SimNameMax + 5] = "/dev/";
  memcpy(path + 5, name, strlen(name) + 1);
  char image[SimPathMax];
  if (!simFolderPath(image, sizeof image, folder, name, ""))
    return failOpen(folder, "open", path, ENAMETOOLONG);
  /* A device node is never created, truncated or opened for direct I/O. */
  int fileFlags = flags & ~(O_CREAT | O_EXCL | O_TRUNC | O_DIRECT);
  int fd = simRealOpen64()(image, fileFlags);
  if (fd < 0) return failOpen(folder, "open", path, errno);
  simLoadSettings(folder, name, &settings);
  const bool writing = (flags & O_ACCMODE) != O_RDONLY;
  logAccess(folder, path, writing);
  struct stat64 status;
  int error = 0;
  if (settings.faults & SimFaultOpen)
    error = EACCES;
  else if (settings.readOnly && writing)
    error = EROFS;
  else if (fstat64(fd, &status) != 0)
    error = errno;
  struct SimDescriptor* entry = NULL;
  for (int i = 0; i < SimDescriptorMax && error == 0 && entry == NULL; ++i)
    if (!descriptors[i].used) entry = &descriptors[i];
  if (error == 0 && entry == NULL) error = EMFILE;
  if (error != 0) {
    simRealClose()(fd);
    return failOpen(folder, "open", path, error);
  }
  forgetDescriptor(fd);
  *entry = (struct SimDescriptor){.used = true,
                                  .fd = fd,
                                  .fileDevice = status.st_dev,
                                  .fileInode = status.st_ino,
                                  .enospcArmed = false,
                                  .written = 0,
                                  .settings = settings};
  memcpy(entry->name, name, strlen(name) + 1);
  memcpy(entry->path, path, strlen(path) + 1);
  logStatus(folder, "open", path, 0);
  return fd;
}

/* /proc files are read-only; the media description comes from <name>.media. */
static int openMedia(const char* folder, const char* path, const char* name, int flags) {
  if ((flags & O_ACCMODE) != O_RDONLY) return failOpen(folder, "media", path, EACCES);
  char media[SimPathMax];
  if (!simFolderPath(media, sizeof media, folder, name, ".media"))
    return failOpen(folder, "media", path, ENAMETOOLONG);
  int fd = simRealOpen64()(media, O_RDONLY | (flags & O_CLOEXEC));
  if (fd < 0) return failOpen(folder, "media", path, errno);
  forgetDescriptor(fd);
  logStatus(folder, "media", path, 0);
  return fd;
}

/* A block device of the host, reached by any name (a symlink, another node). */
static bool hostBlockDevice(int directory, const char* path) {
  struct stat64 status;
  int savedErrno = errno;
  bool block = fstatat64(directory, path, &status, 0) == 0 && S_ISBLK(status.st_mode);
  errno = savedErrno;
  return block;
}

/* True when `path` is simulated or refused; then *fd is the outcome of the open. */
static bool openSimulated(int directory, const char* path, int flags, int* fd) {
  const char* folder = simFolder();
  if (folder == NULL) return false;
  char name[SimNameMax];
  if (simDevicePathName(path, name)) {
    *fd = openDevice(folder, name, flags);
    return true;
  }
  if (simMediaPathName(path, name)) {
    *fd = openMedia(folder, path, name, flags);
    return true;
  }
  if (hostBlockDevice(directory, path)) {
    *fd = failOpen(folder, "open", path, ENOENT);
    return true;
  }
  return false;
}

/* A descriptor opened past the library: a block device it turns out to be
 * (opened by a name the path check could not resolve) is closed again. */
static int passedThrough(int fd) {
  forgetDescriptor(fd);
  if (fd < 0 || simFolder() == NULL) return fd;
  struct stat64 status;
  int savedErrno = errno;
  bool block = fstat64(fd, &status) == 0 && S_ISBLK(status.st_mode);
  errno = savedErrno;
  if (!block) return fd;
  simRealClose()(fd);
  errno = ENOENT;
  return -1;
}

/* The mode argument is there only when the flags create a file. */
#define SIM_MODE_ARGUMENT(mode, flags, last)                          \
  do {                                                                \
    if (((flags)&O_CREAT) != 0 || ((flags)&O_TMPFILE) == O_TMPFILE) { \
      va_list arguments;                                              \
      va_start(arguments, last);                                      \
      (mode) = va_arg(arguments, mode_t);                             \
      va_end(arguments);                                              \
    }                                                                 \
  } while (0)

int __open_2(const char* path, int flags);
int __open64_2(const char* path, int flags);
int __openat_2(int directory, const char* path, int flags);
int __openat64_2(int directory, const char* path, int flags);

SIM_EXPORT int open(const char* path, int flags, ...) {
  int fd;
  if (openSimulated(AT_FDCWD, path, flags, &fd)) return fd;
  mode_t mode = 0;
  SIM_MODE_ARGUMENT(mode, flags, flags);
  return passedThrough(simRealOpen()(path, flags, mode));
}

SIM_EXPORT int open64(const char* path, int flags, ...) {
  int fd;
  if (openSimulated(AT_FDCWD, path, flags, &fd)) return fd;
  mode_t mode = 0;
  SIM_MODE_ARGUMENT(mode, flags, flags);
  return passedThrough(simRealOpen64()(path, flags, mode));
}

SIM_EXPORT int __open_2(const char* path, int flags) {
  int fd;
  if (openSimulated(AT_FDCWD, path, flags, &fd)) return fd;
  return passedThrough(simRealOpen2()(path, flags));
}

SIM_EXPORT int __open64_2(const char* path, int flags) {
  int fd;
  if (openSimulated(AT_FDCWD, path, flags, &fd)) return fd;
  return passedThrough(simRealOpen64_2()(path, flags));
}

SIM_EXPORT int openat(int directory, const char* path, int flags, ...) {
  int fd;
  if (openSimulated(directory, path, flags, &fd)) return fd;
  mode_t mode = 0;
  SIM_MODE_ARGUMENT(mode, flags, flags);
  return passedThrough(simRealOpenat()(directory, path, flags, mode));
}

SIM_EXPORT int openat64(int directory, const char* path, int flags, ...) {
  int fd;
  if (openSimulated(directory, path, flags, &fd)) return fd;
  mode_t mode = 0;
  SIM_MODE_ARGUMENT(mode, flags, flags);
  return passedThrough(simRealOpenat64()(directory, path, flags, mode));
}

/* What a fortified build (_FORTIFY_SOURCE) calls for openat without a mode. */
SIM_EXPORT int __openat_2(int directory, const char* path, int flags) {
  int fd;
  if (openSimulated(directory, path, flags, &fd)) return fd;
  return passedThrough(simRealOpenat2()(directory, path, flags));
}

SIM_EXPORT int __openat64_2(int directory, const char* path, int flags) {
  int fd;
  if (openSimulated(directory, path, flags, &fd)) return fd;
  return passedThrough(simRealOpenat64_2()(directory, path, flags));
}

/* A stream on a device would read and write behind the interposers, so it is
 * refused; the media description is an ordinary read-only stream. */
static bool fopenSimulated(const char* path, const char* mode, SimFopenFn opener, FILE** stream) {
  const char* folder = simFolder();
  if (folder == NULL) return false;
  char name[SimNameMax];
  if (simDevicePathName(path, name) || hostBlockDevice(AT_FDCWD, path)) {
    failOpen(folder, "open", path, simDevicePathName(path, name) ? EOPNOTSUPP : ENOENT);
    *stream = NULL;
    return true;
  }
  if (!simMediaPathName(path, name)) return false;
  *stream = NULL;
  char media[SimPathMax];
  if (mode == NULL || mode[0] != 'r' || strchr(mode, '+') != NULL)
    failOpen(folder, "media", path, EACCES);
  else if (!simFolderPath(media, sizeof media, folder, name, ".media"))
    failOpen(folder, "media", path, ENAMETOOLONG);
  else if ((*stream = opener(media, mode)) == NULL)
    failOpen(folder, "media", path, errno);
  else
    logStatus(folder, "media", path, 0);
  return true;
}

static FILE* fopenWith(const char* path, const char* mode, SimFopenFn opener) {
  FILE* stream;
  if (fopenSimulated(path, mode, opener, &stream)) return stream;
  stream = opener(path, mode);
  if (stream != NULL) forgetDescriptor(fileno(stream));
  return stream;
}

SIM_EXPORT FILE* fopen(const char* path, const char* mode) { return fopenWith(path, mode, simRealFopen()); }

SIM_EXPORT FILE* fopen64(const char* path, const char* mode) {
  return fopenWith(path, mode, simRealFopen64());
}

SIM_EXPORT int close(int fd) {
  forgetDescriptor(fd);
  return simRealClose()(fd);
}

/* ---- positioning, reading and writing ---- */

static void logTransfer(const char* verb, const struct SimDescriptor* entry, long long offset, size_t asked,
                        long long result, int error) {
  struct SimLine line = {.length = 0};
  simLineText(&line, verb);
  simLineText(&line, " ");
  simLineText(&line, entry->path);
  simLineText(&line, " ");
  simLineNumber(&line, offset);
  simLineText(&line, " ");
  simLineNumber(&line, (long long)asked);
  simLineCount(&line, result, error);
  simLogLine(simFolder(), &line);
}

static long long currentOffset(int fd) {
  int savedErrno = errno;
  long long offset = simRealLseek64()(fd, 0, SEEK_CUR);
  errno = savedErrno;
  return offset;
}

/* The size of the simulated device in bytes: the `size` setting, else the
 * image file's size. */
static unsigned long long deviceBytes(const struct SimDescriptor* entry) {
  if (entry->settings.sizeGiven) return entry->settings.sizeSectors * 512;
  struct stat64 status;
  int savedErrno = errno;
  unsigned long long size =
      fstat64(entry->fd, &status) == 0 && status.st_size > 0 ? (unsigned long long)status.st_size : 0;
  errno = savedErrno;
  return size;
}

/* A device ends where its size says: reads there find nothing, writes take
 * only what fits and fail with ENOSPC at the end itself. */
static size_t withinDevice(const struct SimDescriptor* entry, long long at, size_t size) {
  unsigned long long end = deviceBytes(entry);
  if (at < 0 || (unsigned long long)at >= end) return 0;
  unsigned long long room = end - (unsigned long long)at;
  return room < size ? (size_t)room : size;
}

static void sleepMilliseconds(unsigned milliseconds) {
  struct timespec rest = {.tv_sec = (time_t)(milliseconds / 1000),
                          .tv_nsec = (long)(milliseconds % 1000) * 1000000L};
  while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
  }
}

/* At most half of what was asked, at least one byte. */
static size_t halfOf(size_t asked) { return asked > 1 ? asked / 2 : asked; }

/* `offset` < 0: read at the file position, else at `offset` without moving it. */
static ssize_t simulatedRead(struct SimDescriptor* entry, void* buffer, size_t asked, long long offset) {
  bool positioned = offset >= 0;
  long long at = positioned ? offset : currentOffset(entry->fd);
  size_t size = (entry->settings.faults & SimFaultShortRead) ? halfOf(asked) : asked;
  size = withinDevice(entry, at, size);
  if (entry->settings.delayMilliseconds > 0) sleepMilliseconds(entry->settings.delayMilliseconds);
  ssize_t result = -1;
  if (entry->settings.faults & SimFaultRead)
    errno = EIO;
  else if (size == 0)
    result = 0;
  else if (positioned)
    result = simRealPread64()(entry->fd, buffer, size, offset);
  else
    result = simRealRead()(entry->fd, buffer, size);
  int error = errno;
  logTransfer("read", entry, at, asked, result, error);
  errno = error;
  return result;
}

/* The power cut: the process ends at once, as if the machine lost power. */
__attribute__((noreturn)) static void cutHere(const struct SimDescriptor* entry) {
  struct SimLine line = {.length = 0};
  simLineText(&line, "cut ");
  simLineText(&line, entry->path);
  simLineText(&line, " ");
  simLineNumber(&line, (long long)entry->written);
  simLogLine(simFolder(), &line);
  raise(SIGKILL);
  _exit(137);
}

static ssize_t simulatedWrite(struct SimDescriptor* entry, const void* buffer, size_t asked,
                              long long offset) {
  bool positioned = offset >= 0;
  bool shortWrites = (entry->settings.faults & SimFaultShortWrite) != 0;
  long long at = positioned ? offset : currentOffset(entry->fd);
  size_t size = shortWrites ? halfOf(asked) : asked;
  size_t fits = withinDevice(entry, at, size);
  bool cut = false;
  if (entry->settings.cutGiven && entry->written + fits > entry->settings.cutAfter) {
    fits = (size_t)(entry->settings.cutAfter - entry->written);
    cut = true;
  }
  ssize_t result = -1;
  if (entry->settings.faults & SimFaultWrite) {
    errno = EIO;
  } else if (shortWrites && entry->enospcArmed) {
    entry->enospcArmed = false;
    errno = ENOSPC;
  } else if (fits == 0 && !cut && size > 0) {
    errno = ENOSPC; /* at or past the end of the device */
  } else {
    result = fits == 0    ? 0
             : positioned ? simRealPwrite64()(entry->fd, buffer, fits, offset)
                          : simRealWrite()(entry->fd, buffer, fits);
    entry->enospcArmed = shortWrites && result >= 0 && (size_t)result < asked;
    if (result > 0) entry->written += (unsigned long long)result;
  }
  int error = errno;
  logTransfer("write", entry, at, asked, result, error);
  if (cut) cutHere(entry);
  errno = error;
  return result;
}

static void logSeek(const struct SimDescriptor* entry, long long result, int error) {
  struct SimLine line = {.length = 0};
  simLineText(&line, "seek ");
  simLineText(&line, entry->path);
  simLineCount(&line, result, error);
  simLogLine(simFolder(), &line);
}

SIM_EXPORT off_t lseek(int fd, off_t offset, int whence) {
  struct SimDescriptor* entry = simulated(fd);
  off_t result = simRealLseek()(fd, offset, whence);
  if (entry != NULL) {
    int error = errno;
    logSeek(entry, result, error);
    errno = error;
  }
  return result;
}

SIM_EXPORT off64_t lseek64(int fd, off64_t offset, int whence) {
  struct SimDescriptor* entry = simulated(fd);
  off64_t result = simRealLseek64()(fd, offset, whence);
  if (entry != NULL) {
    int error = errno;
    logSeek(entry, result, error);
    errno = error;
  }
  return result;
}

static ssize_t readAt(int fd, void* buffer, size_t size, long long offset) {
  struct SimDescriptor* entry = simulated(fd);
  if (entry == NULL) {
    if (offset < 0) return simRealRead()(fd, buffer, size);
    return simRealPread64()(fd, buffer, size, offset);
  }
  return simulatedRead(entry, buffer, size, offset);
}

static ssize_t writeAt(int fd, const void* buffer, size_t size, long long offset) {
  struct SimDescriptor* entry = simulated(fd);
  if (entry == NULL) {
    if (offset < 0) return simRealWrite()(fd, buffer, size);
    return simRealPwrite64()(fd, buffer, size, offset);
  }
  return simulatedWrite(entry, buffer, size, offset);
}

/* A negative offset is invalid for pread and pwrite; it must not turn them
 * into plain reads and writes. */
static bool validOffset(long long offset) {
  if (offset >= 0) return true;
  errno = EINVAL;
  return false;
}

SIM_EXPORT ssize_t read(int fd, void* buffer, size_t size) { return readAt(fd, buffer, size, -1); }

SIM_EXPORT ssize_t write(int fd, const void* buffer, size_t size) { return writeAt(fd, buffer, size, -1); }

SIM_EXPORT ssize_t pread(int fd, void* buffer, size_t size, off_t offset) {
  return validOffset(offset) ? readAt(fd, buffer, size, offset) : -1;
}

SIM_EXPORT ssize_t pread64(int fd, void* buffer, size_t size, off64_t offset) {
  return validOffset(offset) ? readAt(fd, buffer, size, offset) : -1;
}

SIM_EXPORT ssize_t pwrite(int fd, const void* buffer, size_t size, off_t offset) {
  return validOffset(offset) ? writeAt(fd, buffer, size, offset) : -1;
}

SIM_EXPORT ssize_t pwrite64(int fd, const void* buffer, size_t size, off64_t offset) {
  return validOffset(offset) ? writeAt(fd, buffer, size, offset) : -1;
}

/* The checked forms that _FORTIFY_SOURCE substitutes for read and pread. */
void __chk_fail(void) __attribute__((noreturn));
ssize_t __read_chk(int fd, void* buffer, size_t size, size_t bufferSize);
ssize_t __pread_chk(int fd, void* buffer, size_t size, off_t offset, size_t bufferSize);
ssize_t __pread64_chk(int fd, void* buffer, size_t size, off64_t offset, size_t bufferSize);

SIM_EXPORT ssize_t __read_chk(int fd, void* buffer, size_t size, size_t bufferSize) {
  if (size > bufferSize) __chk_fail();
  return readAt(fd, buffer, size, -1);
}

SIM_EXPORT ssize_t __pread_chk(int fd, void* buffer, size_t size, off_t offset, size_t bufferSize) {
  if (size > bufferSize) __chk_fail();
  return validOffset(offset) ? readAt(fd, buffer, size, offset) : -1;
}

SIM_EXPORT ssize_t __pread64_chk(int fd, void* buffer, size_t size, off64_t offset, size_t bufferSize) {
  if (size > bufferSize) __chk_fail();
  return validOffset(offset) ? readAt(fd, buffer, size, offset) : -1;
}

static int simulatedSync(int fd, SimFdFn sync) {
  struct SimDescriptor* entry = simulated(fd);
  if (entry == NULL) return sync(fd);
  int result = -1;
  if (entry->settings.faults & SimFaultSync)
    errno = EIO;
  else
    result = sync(fd);
  int error = result == 0 ? 0 : errno;
  logStatus(simFolder(), "sync", entry->path, error);
  errno = error;
  return result;
}

SIM_EXPORT int fsync(int fd) { return simulatedSync(fd, simRealFsync()); }
SIM_EXPORT int fdatasync(int fd) { return simulatedSync(fd, simRealFdatasync()); }

/* ---- the block-device requests ---- */

static unsigned long long deviceSectors(const struct SimDescriptor* entry) {
  if (entry->settings.sizeGiven) return entry->settings.sizeSectors;
  return deviceBytes(entry) / 512;
}

/* Answers one request on a simulated disk; returns 0 or an errno value. */
static int answerRequest(const struct SimDescriptor* entry, unsigned long request, void* argument) {
  const struct SimSettings* settings = &entry->settings;
  if (argument == NULL) return EFAULT;
  switch (request) {
    case BLKGETSIZE64: {
      if (settings->sizeUnknown) return ENOTTY;
      if (settings->sizeFails) return EIO;
      uint64_t answer = (uint64_t)deviceSectors(entry) * 512;
      memcpy(argument, &answer, sizeof answer);
      return 0;
    }
    case BLKGETSIZE: {
      if (settings->sizeUnknown) return ENOTTY;
      if (settings->sizeFails) return EIO;
      unsigned long long sectors = deviceSectors(entry);
      if (sectors > ULONG_MAX) return EFBIG;
      unsigned long answer = (unsigned long)sectors;
      memcpy(argument, &answer, sizeof answer);
      return 0;
    }
    case SimIdeRequest: {
      if (!settings->ideAnswers) return EINVAL;
      uint8_t answer[sizeof(struct hd_geometry)] = {0};
      memcpy(answer, settings->ideWord, sizeof settings->ideWord);
      memcpy(argument, answer, sizeof answer);
      return 0;
    }
    case HDIO_GETGEO: {
      if (!settings->getgeoAnswers) return EINVAL;
      unsigned long long cylinders = deviceSectors(entry) / (255 * 63);
      struct hd_geometry answer = {.heads = 255,
                                   .sectors = 63,
                                   .start = 0,
                                   .cylinders = (unsigned short)(cylinders > 0xffff ? 0xffff : cylinders)};
      memcpy(argument, &answer, sizeof answer);
      return 0;
    }
    case BLKSSZGET: memcpy(argument, &settings->sectorSize, sizeof settings->sectorSize); return 0;
    default: return ENOTTY;
  }
}

static void logRequest(const struct SimDescriptor* entry, unsigned long request, int error) {
  struct SimLine line = {.length = 0};
  simLineText(&line, "ioctl ");
  simLineText(&line, entry->path);
  simLineText(&line, " ");
  switch (request) {
    case BLKGETSIZE: simLineText(&line, "BLKGETSIZE"); break;
    case BLKGETSIZE64: simLineText(&line, "BLKGETSIZE64"); break;
    case SimIdeRequest: simLineText(&line, "IDE0303"); break;
    case HDIO_GETGEO: simLineText(&line, "HDIO_GETGEO"); break;
    case BLKSSZGET: simLineText(&line, "BLKSSZGET"); break;
    default: simLineHex(&line, request); break;
  }
  simLineStatus(&line, error);
  simLogLine(simFolder(), &line);
}

SIM_EXPORT int ioctl(int fd, unsigned long request, ...) {
  va_list arguments;
  va_start(arguments, request);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  struct SimDescriptor* entry = simulated(fd);
  if (entry == NULL) return simRealIoctl()(fd, request, argument);
  int error = answerRequest(entry, request, argument);
  logRequest(entry, request, error);
  if (error == 0) return 0;
  errno = error;
  return -1;
}

/* ---- the kernel's list of disks ---- */

/* The listing of /sys/block being served from the folder, if any. */
static DIR* blockListing;

static bool isBlockList(const char* path) {
  return path != NULL && (strcmp(path, "/sys/block") == 0 || strcmp(path, "/sys/block/") == 0);
}

SIM_EXPORT DIR* opendir(const char* path) {
  const char* folder = simFolder();
  if (folder == NULL || !isBlockList(path)) return simRealOpendir()(path);
  DIR* listing = simRealOpendir()(folder);
  int error = listing != NULL ? 0 : errno;
  logStatus(folder, "list", "/sys/block", error);
  if (listing != NULL) blockListing = listing;
  errno = error;
  return listing;
}

/* Only the folder's disk images are disks; its other files are not listed. */
SIM_EXPORT struct dirent* readdir(DIR* listing) {
  struct dirent* entry;
  while ((entry = simRealReaddir()(listing)) != NULL)
    if (listing != blockListing || simDiskName(entry->d_name)) break;
  return entry;
}

SIM_EXPORT struct dirent64* readdir64(DIR* listing) {
  struct dirent64* entry;
  while ((entry = simRealReaddir64()(listing)) != NULL)
    if (listing != blockListing || simDiskName(entry->d_name)) break;
  return entry;
}

SIM_EXPORT int closedir(DIR* listing) {
  if (listing == blockListing) blockListing = NULL;
  return simRealClosedir()(listing);
}
