// The usage texts and version lines of the two roles.
#include "cli/usage.h"

#include <cstring>

#include "fields/program.h"
#include "tui/title.h"

#ifndef WEX_VERSION
#error "WEX_VERSION must be the project version, set by the build"
#endif

namespace {

constexpr const char* EditorUsage =
    "Usage: wexedit [-c] [-r] [FIELD=VALUE ...]\n"
    "       wexedit [-n | --dry-run] [--json] [-c] [-r] [FIELD=VALUE ...]\n"
    "       wexedit clearset\n"
    "       wexedit -h | --help | --version\n"
    "Edit the image-safe data kept at byte 2560 of this workstation's raw disks.\n"
    "Without arguments, open the full-screen form; with FIELD=VALUE assignments,\n"
    "apply them in order and save the record to every usable disk.\n"
    "\n"
    "Options (before the first field):\n"
    "  -c         start from an empty record\n"
    "  -r         remove the record from every disk\n"
    "  -n, --dry-run  do everything but write, and say what each disk would get\n"
    "  --json     print one JSON object (what changed, each disk's result and the\n"
    "             record) instead of the confirmation lines\n"
    "  --disk PATH  use this disk or raw disk image instead of looking for disks\n"
    "             (repeatable; the disks are used in the order given)\n"
    "  -h         show the full-screen help page\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "A FIELD is a documented name or a prefix of it, in any case (T=Lab sets the\n"
    "Tree). `wexedit -h' and wexedit(8) list the fields and their values.\n";

constexpr const char* ViewerUsage =
    "Usage: wexview [-s | -z] [FIELD ...]\n"
    "       wexview --json\n"
    "       wexview -h | --help | --version\n"
    "Show the image-safe data kept at byte 2560 of this workstation's raw disks.\n"
    "Without arguments, show the whole record on a full screen; with FIELD words,\n"
    "print each field's value on a line of its own. Nothing is ever written.\n"
    "\n"
    "Options (before the first field):\n"
    "  -s         print the record as a shell script of DEZE_* variables\n"
    "  -z         show the full-screen record page (the default)\n"
    "  --json     print the record, where it was read from and each disk's state\n"
    "             as one JSON object\n"
    "  --disk PATH  read this disk or raw disk image instead of looking for disks\n"
    "             (repeatable; the first that holds the record is read)\n"
    "  -h         show the full-screen help page\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "A FIELD is a documented name or a prefix of it, in any case (T is the\n"
    "Tree). `wexview -h' and wexview(8) list the fields.\n";

void printVersion(int role, std::FILE* out) {
  const bool editor = role == ToolModeEditor;
  const VersionParts title = splitVersionText(editor ? EditorVersionText : ViewerVersionText);
  std::fprintf(out, "%s %s\n%s v%s\nLicense: MIT\n", editor ? "wexedit" : "wexview (wexedit)", WEX_VERSION,
               title.title.c_str(), title.version.c_str());
}

// A text that did not reach its reader (a closed pipe, a full disk) is a failure.
int delivered(std::FILE* out) {
  if (std::fflush(out) == 0 && std::ferror(out) == 0) return 0;
  std::fputs("wexedit: cannot write to standard output\n", stderr);
  return 1;
}

}  // namespace

int answerInfoOption(int argc, char** argv, int role, std::FILE* out) {
  // The same arguments that getopt, stopping at the first non-option, reads as options.
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    if (argument[0] != '-' || argument[1] == '\0' || std::strcmp(argument, "--") == 0) break;
    if (std::strcmp(argument, "--disk") == 0) {
      ++i;  // its path, whatever it looks like
      continue;
    }
    if (std::strcmp(argument, "--help") == 0) {
      std::fputs(role == ToolModeEditor ? EditorUsage : ViewerUsage, out);
      return delivered(out);
    }
    if (std::strcmp(argument, "--version") == 0) {
      printVersion(role, out);
      return delivered(out);
    }
  }
  return -1;
}
