// Standard-error lines for loads that failed and for disks that a save or
// removal did not reach.
#include "cli/report.h"

#include <cstdio>
#include <cstring>

#include "store/record.h"

bool reportStoreFailure(int status, const DiskReport& report, const char* action) {
  if (status == IsdNoDevice) {
    std::fprintf(stderr, "wexedit: no usable disk; the image-safe data was not %s\n", action);
    return true;
  }
  bool failed = false;
  for (const DiskResult& disk : report.disks) {
    if (!diskOutcomeFailed(disk.outcome)) continue;
    failed = true;
    std::fprintf(stderr, "wexedit: %s: %s", disk.devicePath != nullptr ? disk.devicePath : "?",
                 diskOutcomeText(disk.outcome));
    if (disk.error < 0) std::fprintf(stderr, " (%s)", std::strerror(-disk.error));
    std::fputc('\n', stderr);
  }
  if (status < 0 && !failed) {
    std::fprintf(stderr, "wexedit: the image-safe data was not %s (status %d)\n", action, status);
    failed = true;
  }
  return failed;
}

bool reportLoadFailure(int status) {
  if (status != IsdNoMemory) return false;
  std::fputs("wexedit: not enough memory to read the image-safe data; nothing was written\n", stderr);
  return true;
}
