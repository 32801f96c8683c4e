// Start-up of wexedit/wexview: locale and text domain, the disk scan, the
// role from the program's name, the options, the record load and the front
// end of the role, whose result is the exit status.
#include <libintl.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstring>

#include "cli/frontends.h"
#include "cli/report.h"
#include "cli/usage.h"
#include "fields/program.h"
#include "store/disk.h"
#include "tui/tui.h"

namespace {

// The editor only under the exact name "wexedit"; any other name views.
int roleFromName(const char* path) {
  const char* slash = std::strrchr(path, '/');
  const char* name = slash != nullptr ? slash + 1 : path;
  return std::strcmp(name, "wexedit") == 0 ? ToolModeEditor : ToolModeViewer;
}

enum class OptionOutcome { Run, Help, OtherRoleHelp };

// Sets ToolOptions from the options before the first field argument. An
// option of the other role stops at once and asks for this role's help.
OptionOutcome parseOptions(int argc, char** argv) {
  const bool editor = ToolMode == ToolModeEditor;
  bool helpRequested = false;
  int option = 0;
  while ((option = getopt(argc, argv, "+chszr")) != -1) {
    switch (option) {
      case 'c':
      case 'r':
        if (!editor) return OptionOutcome::OtherRoleHelp;
        (option == 'c' ? ToolOptions.clear : ToolOptions.remove) = true;
        break;
      case 's':
        if (editor) return OptionOutcome::OtherRoleHelp;
        ToolOptions.script = true;
        break;
      case 'z':
        if (editor) return OptionOutcome::OtherRoleHelp;
        break;
      case 'h': helpRequested = true; break;
      default:  // getopt has printed its diagnostic; the letter is ignored
        break;
    }
  }
  return helpRequested ? OptionOutcome::Help : OptionOutcome::Run;
}

}  // namespace

int main(int argc, char** argv) {
  isdRecord = {};
  if (std::setlocale(LC_ALL, "") == nullptr) {
    std::fputs("Warning: cannot set locale. Continuing in the default locale.\n", stderr);
  }
  textdomain("wexedit");
  // --help and --version answer before the disks are opened.
  const int answered = answerInfoOption(argc, argv, roleFromName(argc > 0 ? argv[0] : ""), stdout);
  if (answered >= 0) return answered;
  scanDisks();
  ToolMode = roleFromName(argc > 0 ? argv[0] : "");
  ToolOptions = {};

  const OptionOutcome outcome = parseOptions(argc, argv);
  if (outcome != OptionOutcome::Run && !tuiTerminalReady()) {
    std::fprintf(stderr, "%s: the help screen needs a terminal; --help prints the usage\n",
                 ToolMode == ToolModeEditor ? "wexedit" : "wexview");
    return ExitNoTerminal;
  }
  switch (outcome) {
    case OptionOutcome::OtherRoleHelp:
      ToolMode == ToolModeEditor ? showEditorHelp() : showViewerHelp();
      return 1;
    case OptionOutcome::Help: showHelp(); return 1;
    case OptionOutcome::Run: break;
  }

  // One writer at a time: the editor keeps the disks from before its load
  // until its save or removal has ended; the viewer shares them while it reads.
  const bool editor = ToolMode == ToolModeEditor;
  const char* program = editor ? "wexedit" : "wexview";
  std::size_t busySlot = 0;
  int lockError = 0;
  if (lockDisks(editor ? DeviceLock::Exclusive : DeviceLock::Shared, DiskLockWaitMilliseconds, &busySlot,
                &lockError) != 0) {
    reportLockFailure(program, busySlot, lockError, editor);
    return ExitStoreFailed;
  }

  IsdRecordGuard recordBuffers(&isdRecord);
  // The front ends work on the empty record when none is stored.
  LoadReport loaded;
  const int load = isdLoad(&isdRecord, &loaded);
  if (!editor) unlockDisks();
  if (reportLoad(program, load, loaded, editor)) return ExitStoreFailed;
  const int count = argc - optind;
  char** arguments = argv + optind;
  if (editor) return runEditorCommandLine(count, arguments);
  const int status = runViewerCommandLine(count, arguments);
  // A viewer that could read no disk has shown the empty record; its status says so.
  return status == 0 && (load == IsdNoDevice || load == IsdReadFailed) ? ExitStoreFailed : status;
}
