// Start-up of wexedit/wexview: locale and text domain, the disk scan, the
// role from the program's name, the options, the record load and the front
// end of the role, whose result is the exit status.
#include <getopt.h>
#include <libintl.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstring>

#include "cli/frontends.h"
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

// The options: the letters, --disk PATH (repeatable, both roles), --json
// (both roles) and --dry-run (the editor's -n).
constexpr char ShortOptions[] = "+chszrn";
constexpr int DiskOption = 0x100;
constexpr int JsonOption = 0x101;
constexpr option LongOptions[] = {{"disk", required_argument, nullptr, DiskOption},
                                  {"json", no_argument, nullptr, JsonOption},
                                  {"dry-run", no_argument, nullptr, 'n'},
                                  {nullptr, 0, nullptr, 0}};

// Collects the --disk paths in front of the first field argument, in order,
// reading the options exactly as parseOptions reads them afterwards (which
// prints getopt's diagnostics). The paths stay argv's. Returns false, after a
// line on standard error, for a --disk without a path or more than the table
// holds.
bool collectNamedDisks(int argc, char** argv, const char* program, const char** paths, std::size_t* count) {
  bool good = true;
  opterr = 0;
  int option = 0;
  while (good && (option = getopt_long(argc, argv, "+:chszrn", LongOptions, nullptr)) != -1) {
    if (option == ':' && optopt == DiskOption) {
      std::fprintf(stderr, "%s: --disk needs the path of a disk or disk image\n", program);
      good = false;
    } else if (option == DiskOption && *count == DiskSlotMax) {
      std::fprintf(stderr, "%s: at most %zu disks can be named with --disk\n", program, DiskSlotMax);
      good = false;
    } else if (option == DiskOption) {
      paths[(*count)++] = optarg;
    }
  }
  opterr = 1;
  optind = 0;  // the next getopt call starts from the first argument again
  return good;
}

enum class OptionOutcome { Run, Help, OtherRoleHelp };

// Sets ToolOptions from the options before the first field argument. An
// option of the other role stops at once and asks for this role's help.
OptionOutcome parseOptions(int argc, char** argv) {
  const bool editor = ToolMode == ToolModeEditor;
  bool helpRequested = false;
  int option = 0;
  while ((option = getopt_long(argc, argv, ShortOptions, LongOptions, nullptr)) != -1) {
    switch (option) {
      case DiskOption: break;  // collected before the disks were opened
      case JsonOption: ToolOptions.json = true; break;
      case 'n':
        if (!editor) return OptionOutcome::OtherRoleHelp;
        ToolOptions.dryRun = true;
        break;
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
  chooseTextCoding();
  // --help and --version answer before the disks are opened.
  const int role = roleFromName(argc > 0 ? argv[0] : "");
  const bool editor = role == ToolModeEditor;
  const char* program = editor ? "wexedit" : "wexview";
  const int answered = answerInfoOption(argc, argv, role, stdout);
  if (answered >= 0) return answered;
  const char* named[DiskSlotMax];
  std::size_t namedCount = 0;
  if (!collectNamedDisks(argc, argv, program, named, &namedCount)) return ExitBadDiskOption;
  // Named disks take the place of the scan of the fixed candidates.
  // The viewer never writes, so it opens every disk for reading only.
  const DiskAccess access = editor ? DiskAccess::ReadWrite : DiskAccess::ReadOnly;
  namedCount > 0 ? scanNamedDisks(named, namedCount, access) : scanDisks(access);
  ToolMode = role;
  ToolOptions = {};

  const OptionOutcome outcome = parseOptions(argc, argv);
  if (outcome != OptionOutcome::Run && !tuiTerminalReady()) {
    std::fprintf(stderr, "%s: the help screen needs a terminal; --help prints the usage\n", program);
    return ExitNoTerminal;
  }
  switch (outcome) {
    case OptionOutcome::OtherRoleHelp: editor ? showEditorHelp() : showViewerHelp(); return 1;
    case OptionOutcome::Help: showHelp(); return 1;
    case OptionOutcome::Run: break;
  }

  // One writer at a time: the editor keeps the disks from before its load
  // until its save or removal has ended; the viewer shares them while it reads.
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
  if (ToolOptions.json && count > 0) {
    std::fputs("wexview: --json prints the whole record; it takes no field words\n", stderr);
    return 1;
  }
  const int status =
      ToolOptions.json ? writeViewerJson(&isdRecord, load, loaded) : runViewerCommandLine(count, arguments);
  // A viewer that could read no disk has shown the empty record; its status says so.
  return status == 0 && (load == IsdNoDevice || load == IsdReadFailed) ? ExitStoreFailed : status;
}
