/* Internal interface of the simulated-disk preload library: the device names,
 * the folder layout, the per-disk settings, the log and the C library's own
 * functions behind the interposed ones. */
#pragma once

#include <dirent.h>
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/types.h>

enum { SimNameMax = 32, SimPathMax = 4096, SimLineMax = 160 };

/* Fault bits of the `fault` setting. */
enum {
  SimFaultOpen = 1u << 0,
  SimFaultRead = 1u << 1,
  SimFaultShortRead = 1u << 2,
  SimFaultWrite = 1u << 3,
  SimFaultShortWrite = 1u << 4,
  SimFaultSync = 1u << 5,
};

/* The settings of one disk, read from <name>.conf when the device is opened. */
struct SimSettings {
  bool sizeFails;
  bool sizeUnknown; /* the size requests fail with ENOTTY, as on a node that is no block device */
  bool sizeGiven;
  unsigned long long sizeSectors;
  bool ideAnswers;
  uint8_t ideWord[4];
  bool getgeoAnswers;
  int sectorSize;
  unsigned faults;
  bool cutGiven;
  unsigned long long cutAfter; /* bytes written, since the open, at which the process dies */
  unsigned delayMilliseconds;  /* before every read */
  bool readOnly;               /* write-protected: an open for writing fails with EROFS */
};

/* The C library's functions (or the next interposer's), found with
 * dlsym(RTLD_NEXT) on first use. Every call the library makes for itself goes
 * through these, never through its own interposers. */
typedef int (*SimOpenFn)(const char*, int, ...);
typedef int (*SimOpenatFn)(int, const char*, int, ...);
typedef int (*SimOpen2Fn)(const char*, int);
typedef int (*SimOpenat2Fn)(int, const char*, int);
typedef ssize_t (*SimReadFn)(int, void*, size_t);
typedef ssize_t (*SimWriteFn)(int, const void*, size_t);
typedef ssize_t (*SimPreadFn)(int, void*, size_t, off_t);
typedef ssize_t (*SimPwriteFn)(int, const void*, size_t, off_t);
typedef ssize_t (*SimPread64Fn)(int, void*, size_t, off64_t);
typedef ssize_t (*SimPwrite64Fn)(int, const void*, size_t, off64_t);
typedef off_t (*SimLseekFn)(int, off_t, int);
typedef off64_t (*SimLseek64Fn)(int, off64_t, int);
typedef int (*SimFdFn)(int);
typedef int (*SimIoctlFn)(int, unsigned long, ...);
typedef FILE* (*SimFopenFn)(const char*, const char*);
typedef DIR* (*SimOpendirFn)(const char*);
typedef struct dirent* (*SimReaddirFn)(DIR*);
typedef struct dirent64* (*SimReaddir64Fn)(DIR*);
typedef int (*SimClosedirFn)(DIR*);

SimOpenFn simRealOpen(void);
SimOpenFn simRealOpen64(void);
SimOpen2Fn simRealOpen2(void);
SimOpen2Fn simRealOpen64_2(void);
SimOpenatFn simRealOpenat(void);
SimOpenatFn simRealOpenat64(void);
SimOpenat2Fn simRealOpenat2(void);
SimOpenat2Fn simRealOpenat64_2(void);
SimReadFn simRealRead(void);
SimWriteFn simRealWrite(void);
SimPreadFn simRealPread(void);
SimPwriteFn simRealPwrite(void);
SimPread64Fn simRealPread64(void);
SimPwrite64Fn simRealPwrite64(void);
SimLseekFn simRealLseek(void);
SimLseek64Fn simRealLseek64(void);
SimFdFn simRealClose(void);
SimFdFn simRealFsync(void);
SimFdFn simRealFdatasync(void);
SimIoctlFn simRealIoctl(void);
SimFopenFn simRealFopen(void);
SimFopenFn simRealFopen64(void);
SimOpendirFn simRealOpendir(void);
SimReaddirFn simRealReaddir(void);
SimReaddir64Fn simRealReaddir64(void);
SimClosedirFn simRealClosedir(void);

/* The simulation folder (SIMDISK_DIR), or NULL when the library is inactive. */
const char* simFolder(void);
/* True when `name` names a disk-like device: it begins with sd, hd, vd, xvd,
 * nvme, mmcblk, dm-, md or loop, has more after that, and holds only
 * lower-case letters, digits and '-' (at most SimNameMax - 1 characters). */
bool simDiskName(const char* name);
/* For "/dev/<name>" with a disk-like name: true, and the name in `name`. */
bool simDevicePathName(const char* path, char name[SimNameMax]);
/* For "/proc/ide/<name>/media" with a disk-like name: true, and the name. */
bool simMediaPathName(const char* path, char name[SimNameMax]);
/* "<folder>/<name><suffix>"; false when it does not fit in `size`. */
bool simFolderPath(char* out, size_t size, const char* folder, const char* name, const char* suffix);

/* Reads <name>.conf of the device `name` (defaults when it is absent). A
 * malformed file is a broken test set-up: the process ends with a message on
 * stderr. */
void simLoadSettings(const char* folder, const char* name, struct SimSettings* settings);

/* One log line, built without allocating. */
struct SimLine {
  char text[SimLineMax];
  size_t length;
};
void simLineText(struct SimLine* line, const char* text);
void simLineNumber(struct SimLine* line, long long number);
void simLineHex(struct SimLine* line, unsigned long number);
/* " ok" for a zero error, else " <errno name>". */
void simLineStatus(struct SimLine* line, int error);
/* " <count>" for a count, else " <errno name>". */
void simLineCount(struct SimLine* line, long long count, int error);
/* Appends the line and a newline to <folder>/log; errno is left unchanged. */
void simLogLine(const char* folder, struct SimLine* line);
