// Standard-error lines for disks that a save or removal did not reach.
#include "cli/report.h"

#include <cstdio>
#include <cstring>

#include "store/disk.h"
#include "store/record.h"

bool reportStoreFailure(int status, const char* action) {
  if (status == IsdNoDevice) {
    std::fprintf(stderr, "wexedit: no usable disk; the image-safe data was not %s\n", action);
    return true;
  }
  bool failed = false;
  const DiskReport& report = diskTable.lastReport;
  for (std::size_t slot = 0; slot < DiskSlotCount; ++slot) {
    if (!diskOutcomeFailed(report.outcome[slot])) continue;
    failed = true;
    const char* path = diskTable.slots[slot].devicePath;
    std::fprintf(stderr, "wexedit: %s: %s", path != nullptr ? path : "?",
                 diskOutcomeText(report.outcome[slot]));
    if (report.error[slot] < 0) std::fprintf(stderr, " (%s)", std::strerror(-report.error[slot]));
    std::fputc('\n', stderr);
  }
  if (status < 0 && !failed) {
    std::fprintf(stderr, "wexedit: the image-safe data was not %s (status %d)\n", action, status);
    failed = true;
  }
  return failed;
}
