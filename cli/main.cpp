// Start-up of wexedit/wexview: locale and text domain, the disk scan, the
// role from the program's name, the options, the record load and the front
// end of the role, whose result is the exit status.
#include <libintl.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstring>

#include "cli/exit.h"
#include "cli/frontends.h"
#include "cli/json.h"
#include "cli/options.h"
#include "cli/report.h"
#include "cli/usage.h"
#include "fields/text.h"
#include "program/program.h"
#include "store/disk.h"
#include "tui/tui.h"

namespace {

// The editor only under the exact name "wexedit"; any other name views.
int roleFromName(const char* path) {
  const char* slash = std::strrchr(path, '/');
  const char* name = slash != nullptr ? slash + 1 : path;
  return std::strcmp(name, "wexedit") == 0 ? ToolModeEditor : ToolModeViewer;
}

// What the object of a run that showed a help page says.
constexpr const char* HelpShownText = "the help page was shown; nothing was read or written";

// An option of the other role shows this role's help page, and so does -h.
// With --json the object that follows says that nothing else was done.
int showHelpPage(const CommandLine& line, bool editor, bool json) {
  if (!tuiTerminalReady())
    return stopRun(ExitNoTerminal, "the help screen needs a terminal; --help prints the usage", json);
  if (line.otherRole) {
    editor ? showEditorHelp() : showViewerHelp();
  } else {
    showHelp();
  }
  if (json) deliverJson(stdout, jsonObject({schemaMember(), errorMember(ExitHelpShown, HelpShownText)}));
  return ExitHelpShown;
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
  const bool json = line.flags.json;
  const int count = argc - line.firstArgument;
  char** arguments = argv + line.firstArgument;
  // Nothing is opened, loaded or written after a usage error, whatever else
  // the command line holds. Its output form cannot wait for options that
  // may not have been read: any argument that is exactly --json asks for
  // the object.
  if (!line.usageError.empty())
    return usageError(line.usageError, line.usageErrorSaid, json || jsonRequested(argc, argv));
  if (!editor && line.flags.json && count > 0)
    return usageError("--json prints the whole record; it takes no field words", false, json);
  // --help and --version answer before the disks are opened.
  if (line.answer != nullptr) return answerInfoOption(*line.answer, ToolMode, stdout);
  // Named disks take the place of the scan of the fixed candidates.
  // The viewer never writes, so it opens every disk for reading only.
  const DiskAccess access = editor ? DiskAccess::ReadWrite : DiskAccess::ReadOnly;
  line.diskCount > 0 ? scanNamedDisks(line.disks, line.diskCount, access) : scanDisks(access);
  ToolOptions = line.flags;
  if (line.otherRole || line.helpPage) return showHelpPage(line, editor, json);

  // One writer at a time: the editor keeps the disks from before its load
  // until its save or removal has ended; the viewer shares them while it reads.
  std::size_t busySlot = 0;
  int lockError = 0;
  if (lockDisks(editor ? DeviceLock::Exclusive : DeviceLock::Shared, DiskLockWaitMilliseconds, &busySlot,
                &lockError) != 0)
    return stopRun(ExitStoreFailed, lockFailureText(busySlot, lockError, editor), json);

  IsdRecordBuffers recordBuffers(&isdRecord);
  // The front ends work on the empty record when none is stored.
  LoadReport loaded;
  const int load = isdLoad(&isdRecord, &loaded);
  if (!editor) unlockDisks();
  reportLoad(loaded);
  const std::string loadFailure = loadFailureText(load, editor);
  if (loadStopsRun(load, editor)) return stopRun(ExitStoreFailed, loadFailure, json);
  if (editor) return withOutputDelivered(runEditorCommandLine(count, arguments));
  return runViewer({&isdRecord, load, loaded, loadFailure}, count, arguments);
}
