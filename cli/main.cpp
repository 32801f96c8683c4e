// Start-up of wexedit/wexview: locale and text domain, the disk scan, the
// role from the program's name, the options, the record load and the front
// end of the role, whose result is the exit status.
#include <libintl.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstring>

#include "cli/frontends.h"
#include "cli/options.h"
#include "cli/report.h"
#include "cli/report_json.h"
#include "cli/usage.h"
#include "fields/program.h"
#include "fields/text.h"
#include "store/disk.h"
#include "tui/tui.h"

namespace {

// The editor only under the exact name "wexedit"; any other name views.
int roleFromName(const char* path) {
  const char* slash = std::strrchr(path, '/');
  const char* name = slash != nullptr ? slash + 1 : path;
  return std::strcmp(name, "wexedit") == 0 ? ToolModeEditor : ToolModeViewer;
}

// Exit status of a --disk without a path, or of too many of them.
constexpr int ExitBadDiskOption = 1;

// After the pass over the options: a line on standard error for a --disk
// without a path or more than the table holds; false then.
bool disksNamedWell(const CommandLine& line) {
  if (line.diskWithoutPath) {
    std::fprintf(stderr, "%s: --disk needs the path of a disk or disk image\n", programName());
    return false;
  }
  if (line.tooManyDisks) {
    std::fprintf(stderr, "%s: at most %zu disks can be named with --disk\n", programName(), DiskSlotMax);
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  isdRecord = {};
  ToolMode = roleFromName(argc > 0 ? argv[0] : "");
  const bool editor = ToolMode == ToolModeEditor;
  if (std::setlocale(LC_ALL, "") == nullptr) {
    std::fputs("Warning: cannot set locale. Continuing in the default locale.\n", stderr);
  }
  textdomain("wexedit");
  chooseTextCoding();
  const CommandLine line = readCommandLine(argc, argv, editor);
  // --help and --version answer before the disks are opened.
  if (line.answer != nullptr) return answerInfoOption(*line.answer, ToolMode, stdout);
  if (!disksNamedWell(line)) return ExitBadDiskOption;
  // Named disks take the place of the scan of the fixed candidates.
  // The viewer never writes, so it opens every disk for reading only.
  const DiskAccess access = editor ? DiskAccess::ReadWrite : DiskAccess::ReadOnly;
  line.diskCount > 0 ? scanNamedDisks(line.disks, line.diskCount, access) : scanDisks(access);
  ToolOptions = line.flags;

  // An option of the other role shows this role's help page.
  if ((line.otherRole || line.helpPage) && !tuiTerminalReady()) {
    std::fprintf(stderr, "%s: the help screen needs a terminal; --help prints the usage\n", programName());
    return ExitNoTerminal;
  }
  if (line.otherRole) {
    editor ? showEditorHelp() : showViewerHelp();
    return 1;
  }
  if (line.helpPage) {
    showHelp();
    return 1;
  }
  // One writer at a time: the editor keeps the disks from before its load
  // until its save or removal has ended; the viewer shares them while it reads.
  std::size_t busySlot = 0;
  int lockError = 0;
  if (lockDisks(editor ? DeviceLock::Exclusive : DeviceLock::Shared, DiskLockWaitMilliseconds, &busySlot,
                &lockError) != 0) {
    reportLockFailure(busySlot, lockError, editor);
    return ExitStoreFailed;
  }

  IsdRecordBuffers recordBuffers(&isdRecord);
  // The front ends work on the empty record when none is stored.
  LoadReport loaded;
  const int load = isdLoad(&isdRecord, &loaded);
  if (!editor) unlockDisks();
  if (reportLoad(load, loaded, editor)) return ExitStoreFailed;
  const int count = argc - line.firstArgument;
  char** arguments = argv + line.firstArgument;
  if (editor) return runEditorCommandLine(count, arguments);
  if (ToolOptions.json && count > 0) {
    std::fprintf(stderr, "%s: --json prints the whole record; it takes no field words\n", programName());
    return 1;
  }
  const int status =
      ToolOptions.json ? writeViewerJson(&isdRecord, load, loaded) : runViewerCommandLine(count, arguments);
  // A viewer that could read no disk has shown the empty record; its status says so.
  return status == 0 && (load == IsdNoDevice || load == IsdReadFailed) ? ExitStoreFailed : status;
}
