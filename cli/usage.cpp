// The usage texts and version lines of the two roles.
#include "cli/usage.h"

#include <string>

#include "cli/exit.h"
#include "cli/json.h"
#include "cli/options.h"
#include "program/program.h"
#include "store/record.h"
#include "tui/title.h"

#ifndef WEX_VERSION
#error "WEX_VERSION must be the project version, set by the build"
#endif

namespace {

// The usage of each role around the option lines of the option table.
constexpr const char* EditorUsageHead =
    "Usage: wexedit [-c] [-r] [FIELD=VALUE ...]\n"
    "       wexedit [-n | --dry-run] [--json] [-c] [-r] [FIELD=VALUE ...]\n"
    "       wexedit clearset\n"
    "       wexedit -h | --help | --version\n"
    "Edit the image-safe data kept at byte %u of this workstation's raw disks.\n"
    "Without arguments, open the full-screen form; with FIELD=VALUE assignments,\n"
    "apply them in order and save the record to every usable disk.\n"
    "\n"
    "Options (before the first field):\n";
constexpr const char* EditorUsageTail =
    "\n"
    "A FIELD is a documented name or a prefix of it, in any case (T=Lab sets the\n"
    "Tree). `wexedit -h' and wexedit(8) list the fields and their values.\n";

constexpr const char* ViewerUsageHead =
    "Usage: wexview [-s | -z] [FIELD ...]\n"
    "       wexview --json\n"
    "       wexview -h | --help | --version\n"
    "Show the image-safe data kept at byte %u of this workstation's raw disks.\n"
    "Without arguments, show the whole record on a full screen; with FIELD words,\n"
    "print each field's value on a line of its own. Nothing is ever written.\n"
    "\n"
    "Options (before the first field):\n";
constexpr const char* ViewerUsageTail =
    "\n"
    "A FIELD is a documented name or a prefix of it, in any case (T is the\n"
    "Tree). `wexview -h' and wexview(8) list the fields.\n";

// As LICENSE has it (a test compares them).
constexpr const char* CopyrightLine = "Copyright (c) 2026 Wexedit Maintainers";

void printVersion(int role, std::FILE* out) {
  const bool editor = role == ToolModeEditor;
  const VersionParts title = splitVersionText(editor ? EditorVersionText : ViewerVersionText);
  std::fprintf(out, "%s %s\n%s v%s\n%s\nLicense: MIT\n", editor ? "wexedit" : "wexview (wexedit)",
               WEX_VERSION, title.title.c_str(), title.version.c_str(), CopyrightLine);
}

}  // namespace

int usageError(const std::string& message, bool alreadySaid, bool json) {
  if (!alreadySaid) std::fprintf(stderr, "%s: %s\n", programName(), message.c_str());
  std::fprintf(stderr, "Try '%s --help'.\n", programName());
  if (json) deliverJson(stdout, jsonObject({schemaMember(), errorMember(ExitUsage, message)}));
  return ExitUsage;
}

std::string usageText(bool editor) {
  char head[1024];
  std::snprintf(head, sizeof head, editor ? EditorUsageHead : ViewerUsageHead, IsdStoreOffset);
  return head + usageOptionLines(editor) + (editor ? EditorUsageTail : ViewerUsageTail);
}

int answerInfoOption(const OptionRow& answer, int role, std::FILE* out) {
  if (answer.name == OptionName::Version) {
    printVersion(role, out);
  } else {
    std::fputs(usageText(role == ToolModeEditor).c_str(), out);
  }
  return delivered(out);
}
