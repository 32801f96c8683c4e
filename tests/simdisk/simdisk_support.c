/* The simulated-disk library's support code: finding the C library's own
 * functions, the device names, reading a disk's settings and writing the log.
 * Nothing here allocates: the library runs inside another program's calls. */
#undef _FILE_OFFSET_BITS
#undef _TIME_BITS
#undef _FORTIFY_SOURCE
#define _GNU_SOURCE 1

#include "simdisk.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

/* ---- the functions behind the interposers ---- */

static void* nextSymbol(const char* name) {
  void* symbol = dlsym(RTLD_NEXT, name);
  if (symbol == NULL) {
    static const char message[] = "simdisk: the C library lacks a function it interposes\n";
    syscall(SYS_write, 2, message, sizeof message - 1);
    abort();
  }
  return symbol;
}

/* Each accessor resolves its symbol once; a repeated resolution from a
 * concurrent first call stores the same value. */
#define SIM_REAL(accessor, type, symbol)          \
  type accessor(void) {                           \
    static type function;                         \
    if (function == NULL) {                       \
      void* found = nextSymbol(symbol);           \
      memcpy(&function, &found, sizeof function); \
    }                                             \
    return function;                              \
  }

SIM_REAL(simRealOpen, SimOpenFn, "open")
SIM_REAL(simRealOpen64, SimOpenFn, "open64")
SIM_REAL(simRealOpen2, SimOpen2Fn, "__open_2")
SIM_REAL(simRealOpen64_2, SimOpen2Fn, "__open64_2")
SIM_REAL(simRealOpenat, SimOpenatFn, "openat")
SIM_REAL(simRealOpenat64, SimOpenatFn, "openat64")
SIM_REAL(simRealOpenat2, SimOpenat2Fn, "__openat_2")
SIM_REAL(simRealOpenat64_2, SimOpenat2Fn, "__openat64_2")
SIM_REAL(simRealRead, SimReadFn, "read")
SIM_REAL(simRealWrite, SimWriteFn, "write")
SIM_REAL(simRealPread, SimPreadFn, "pread")
SIM_REAL(simRealPwrite, SimPwriteFn, "pwrite")
SIM_REAL(simRealPread64, SimPread64Fn, "pread64")
SIM_REAL(simRealPwrite64, SimPwrite64Fn, "pwrite64")
SIM_REAL(simRealLseek, SimLseekFn, "lseek")
SIM_REAL(simRealLseek64, SimLseek64Fn, "lseek64")
SIM_REAL(simRealClose, SimFdFn, "close")
SIM_REAL(simRealFsync, SimFdFn, "fsync")
SIM_REAL(simRealFdatasync, SimFdFn, "fdatasync")
SIM_REAL(simRealIoctl, SimIoctlFn, "ioctl")
SIM_REAL(simRealFopen, SimFopenFn, "fopen")
SIM_REAL(simRealFopen64, SimFopenFn, "fopen64")
SIM_REAL(simRealOpendir, SimOpendirFn, "opendir")
SIM_REAL(simRealReaddir, SimReaddirFn, "readdir")
SIM_REAL(simRealReaddir64, SimReaddir64Fn, "readdir64")
SIM_REAL(simRealClosedir, SimClosedirFn, "closedir")

/* ---- devices and folder ---- */

/* Every kind of disk the host may have: none of them is ever reached. */
static const char* const diskPrefixes[] = {"sd", "hd", "vd", "xvd", "nvme", "mmcblk", "dm-", "md", "loop"};

const char* simFolder(void) {
  const char* folder = getenv("SIMDISK_DIR");
  return folder != NULL && folder[0] != '\0' ? folder : NULL;
}

bool simDiskName(const char* name) {
  size_t length = strlen(name);
  if (length == 0 || length >= SimNameMax) return false;
  for (size_t i = 0; i < length; ++i) {
    char c = name[i];
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-')) return false;
  }
  for (size_t i = 0; i < sizeof diskPrefixes / sizeof diskPrefixes[0]; ++i) {
    size_t prefix = strlen(diskPrefixes[i]);
    if (length > prefix && strncmp(name, diskPrefixes[i], prefix) == 0) return true;
  }
  return false;
}

bool simDevicePathName(const char* path, char name[SimNameMax]) {
  static const char prefix[] = "/dev/";
  if (path == NULL || strncmp(path, prefix, sizeof prefix - 1) != 0) return false;
  const char* rest = path + sizeof prefix - 1;
  if (!simDiskName(rest)) return false;
  memcpy(name, rest, strlen(rest) + 1);
  return true;
}

bool simMediaPathName(const char* path, char name[SimNameMax]) {
  static const char prefix[] = "/proc/ide/";
  static const char suffix[] = "/media";
  if (path == NULL || strncmp(path, prefix, sizeof prefix - 1) != 0) return false;
  const char* start = path + sizeof prefix - 1;
  const char* slash = strchr(start, '/');
  size_t length = slash != NULL ? (size_t)(slash - start) : 0;
  if (length == 0 || length >= SimNameMax || strcmp(slash, suffix) != 0) return false;
  memcpy(name, start, length);
  name[length] = '\0';
  return simDiskName(name);
}

bool simFolderPath(char* out, size_t size, const char* folder, const char* name, const char* suffix) {
  size_t folderLength = strlen(folder);
  size_t nameLength = strlen(name);
  size_t suffixLength = strlen(suffix);
  if (folderLength + 1 + nameLength + suffixLength + 1 > size) return false;
  memcpy(out, folder, folderLength);
  out[folderLength] = '/';
  memcpy(out + folderLength + 1, name, nameLength);
  memcpy(out + folderLength + 1 + nameLength, suffix, suffixLength + 1);
  return true;
}

/* ---- settings ---- */

enum { ConfMax = 4096 };

struct ConfProblem {
  const char* path;
  const char* what;
  const char* line;
  size_t lineLength;
};

static void writeText(const char* text, size_t length) { simRealWrite()(2, text, length); }

__attribute__((noreturn)) static void confFailure(const struct ConfProblem* problem) {
  writeText("simdisk: ", 9);
  writeText(problem->path, strlen(problem->path));
  writeText(": ", 2);
  writeText(problem->what, strlen(problem->what));
  if (problem->line != NULL) {
    writeText(": ", 2);
    writeText(problem->line, problem->lineLength);
  }
  writeText("\n", 1);
  abort();
}

static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

/* Trims blanks from both ends of [*begin, *end). */
static void trim(const char** begin, const char** end) {
  while (*begin < *end && isBlank(**begin)) ++*begin;
  while (*end > *begin && isBlank((*end)[-1])) --*end;
}

static bool equals(const char* begin, const char* end, const char* word) {
  size_t length = strlen(word);
  return (size_t)(end - begin) == length && memcmp(begin, word, length) == 0;
}

static bool parseDecimal(const char* begin, const char* end, unsigned long long* value) {
  if (begin == end) return false;
  unsigned long long result = 0;
  for (const char* c = begin; c < end; ++c) {
    if (*c < '0' || *c > '9') return false;
    unsigned digit = (unsigned)(*c - '0');
    if (result > (ULLONG_MAX - digit) / 10) return false;
    result = result * 10 + digit;
  }
  *value = result;
  return true;
}

static int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

static bool parseIdeWord(const char* begin, const char* end, uint8_t word[4]) {
  if (end - begin != 8) return false;
  for (int i = 0; i < 4; ++i) {
    int high = hexDigit(begin[2 * i]);
    int low = hexDigit(begin[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    word[i] = (uint8_t)(high * 16 + low);
  }
  return true;
}

static const struct {
  const char* name;
  unsigned bit;
} faultNames[] = {
    {"open", SimFaultOpen},
    {"read", SimFaultRead},
    {"shortread", SimFaultShortRead},
    {"write", SimFaultWrite},
    {"shortwrite", SimFaultShortWrite},
    {"sync", SimFaultSync},
};

static bool parseFaults(const char* begin, const char* end, unsigned* faults) {
  *faults = 0;
  while (begin < end) {
    const char* comma = memchr(begin, ',', (size_t)(end - begin));
    const char* itemEnd = comma != NULL ? comma : end;
    const char* item = begin;
    trim(&item, &itemEnd);
    bool known = false;
    for (size_t i = 0; i < sizeof faultNames / sizeof faultNames[0]; ++i) {
      if (equals(item, itemEnd, faultNames[i].name)) {
        *faults |= faultNames[i].bit;
        known = true;
      }
    }
    if (!known && item != itemEnd) return false;
    begin = comma != NULL ? comma + 1 : end;
  }
  return true;
}

/* Applies one "key=value" line; returns the problem, or NULL when it is fine. */
static const char* applySetting(const char* key, const char* keyEnd, const char* value, const char* valueEnd,
                                struct SimSettings* settings) {
  unsigned long long number = 0;
  if (equals(key, keyEnd, "size")) {
    settings->sizeFails = equals(value, valueEnd, "fail");
    settings->sizeUnknown = equals(value, valueEnd, "notty");
    settings->sizeGiven = !settings->sizeFails && !settings->sizeUnknown;
    if (!settings->sizeGiven) return NULL;
    if (!parseDecimal(value, valueEnd, &settings->sizeSectors))
      return "size is a sector count, fail or notty";
  } else if (equals(key, keyEnd, "ide")) {
    settings->ideAnswers = !equals(value, valueEnd, "fail");
    if (settings->ideAnswers && !parseIdeWord(value, valueEnd, settings->ideWord))
      return "ide is 8 hex digits or fail";
  } else if (equals(key, keyEnd, "getgeo")) {
    settings->getgeoAnswers = equals(value, valueEnd, "ok");
    if (!settings->getgeoAnswers && !equals(value, valueEnd, "fail")) return "getgeo is ok or fail";
  } else if (equals(key, keyEnd, "sector")) {
    if (!parseDecimal(value, valueEnd, &number) || number == 0 || number > INT_MAX)
      return "sector is a positive byte count";
    settings->sectorSize = (int)number;
  } else if (equals(key, keyEnd, "fault")) {
    if (!parseFaults(value, valueEnd, &settings->faults))
      return "fault names one of open, read, shortread, write, shortwrite, sync";
  } else if (equals(key, keyEnd, "cut")) {
    if (!parseDecimal(value, valueEnd, &settings->cutAfter)) return "cut is a byte count";
    settings->cutGiven = true;
  } else if (equals(key, keyEnd, "delay")) {
    if (!parseDecimal(value, valueEnd, &number) || number > 60000) return "delay is milliseconds up to 60000";
    settings->delayMilliseconds = (unsigned)number;
  } else if (equals(key, keyEnd, "readonly")) {
    settings->readOnly = equals(value, valueEnd, "yes");
    if (!settings->readOnly && !equals(value, valueEnd, "no")) return "readonly is yes or no";
  } else {
    return "unknown key";
  }
  return NULL;
}

static void parseSettings(const char* path, const char* text, size_t length, struct SimSettings* settings) {
  const char* end = text + length;
  for (const char* line = text; line < end;) {
    const char* newline = memchr(line, '\n', (size_t)(end - line));
    const char* lineEnd = newline != NULL ? newline : end;
    const char* begin = line;
    const char* finish = lineEnd;
    trim(&begin, &finish);
    if (begin < finish && *begin != '#') {
      const char* equalsSign = memchr(begin, '=', (size_t)(finish - begin));
      const char* problem = "not a key=value line";
      if (equalsSign != NULL) {
        const char* keyEnd = equalsSign;
        const char* value = equalsSign + 1;
        const char* key = begin;
        trim(&key, &keyEnd);
        trim(&value, &finish);
        problem = applySetting(key, keyEnd, value, finish, settings);
      }
      if (problem != NULL) {
        struct ConfProblem report = {path, problem, begin, (size_t)(lineEnd - begin)};
        confFailure(&report);
      }
    }
    line = newline != NULL ? newline + 1 : end;
  }
}

void simLoadSettings(const char* folder, const char* name, struct SimSettings* settings) {
  static const struct SimSettings defaults = {.sizeFails = false,
                                              .sizeUnknown = false,
                                              .ideAnswers = false,
                                              .getgeoAnswers = true,
                                              .sectorSize = 512};
  *settings = defaults;
  char path[SimPathMax];
  struct ConfProblem problem = {folder, "folder path too long", NULL, 0};
  if (!simFolderPath(path, sizeof path, folder, name, ".conf")) confFailure(&problem);
  problem.path = path;
  int fd = simRealOpen()(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return;
    problem.what = "cannot be opened";
    confFailure(&problem);
  }
  char text[ConfMax + 1];
  size_t length = 0;
  for (;;) {
    ssize_t got = simRealRead()(fd, text + length, sizeof text - length);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      problem.what = "cannot be read";
      confFailure(&problem);
    }
    if (got == 0) break;
    length += (size_t)got;
    if (length == sizeof text) break;
  }
  simRealClose()(fd);
  problem.what = "longer than 4096 bytes";
  if (length > ConfMax) confFailure(&problem);
  parseSettings(path, text, length, settings);
}

/* ---- the log ---- */

void simLineText(struct SimLine* line, const char* text) {
  size_t length = strlen(text);
  size_t room = sizeof line->text - 1 - line->length;
  if (length > room) length = room;
  memcpy(line->text + line->length, text, length);
  line->length += length;
  line->text[line->length] = '\0';
}

static void appendDigits(struct SimLine* line, unsigned long long number, unsigned base) {
  char digits[24];
  size_t count = 0;
  do {
    digits[count++] = "0123456789abcdef"[number % base];
    number /= base;
  } while (number != 0);
  char text[24];
  for (size_t i = 0; i < count; ++i) text[i] = digits[count - 1 - i];
  text[count] = '\0';
  simLineText(line, text);
}

void simLineNumber(struct SimLine* line, long long number) {
  if (number < 0) {
    simLineText(line, "-");
    appendDigits(line, 0ull - (unsigned long long)number, 10);
  } else {
    appendDigits(line, (unsigned long long)number, 10);
  }
}

void simLineHex(struct SimLine* line, unsigned long number) {
  simLineText(line, "0x");
  appendDigits(line, number, 16);
}

static void appendErrorName(struct SimLine* line, int error) {
  const char* name = strerrorname_np(error);
  if (name != NULL) {
    simLineText(line, name);
  } else {
    simLineText(line, "E");
    simLineNumber(line, error);
  }
}

void simLineStatus(struct SimLine* line, int error) {
  simLineText(line, " ");
  if (error == 0)
    simLineText(line, "ok");
  else
    appendErrorName(line, error);
}

void simLineCount(struct SimLine* line, long long count, int error) {
  simLineText(line, " ");
  if (count >= 0)
    simLineNumber(line, count);
  else
    appendErrorName(line, error);
}

void simLogLine(const char* folder, struct SimLine* line) {
  int savedErrno = errno;
  char path[SimPathMax];
  if (simFolderPath(path, sizeof path, folder, "log", "")) {
    int fd = simRealOpen()(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
      simLineText(line, "\n");
      simRealWrite()(fd, line->text, line->length);
      simRealClose()(fd);
    }
  }
  errno = savedErrno;
}
