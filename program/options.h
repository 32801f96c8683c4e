// The command-line options of both roles, one row each. The getopt strings,
// the --help texts, the help page's option lines and the start-up's single
// pass over the arguments all come from these rows; the manual page and the
// bash completion list the same options (a packaging test compares them).
#pragma once

#include <cstddef>

enum class OptionRole { Both, Editor, Viewer };
enum class OptionName { HelpPage, Clear, Remove, Script, Screen, DryRun, Json, Disk, Usage, Version };

struct OptionRow {
  OptionName name;
  char letter;           // '\0' for an option with a long name only
  const char* longName;  // without the dashes; nullptr for a letter only
  bool takesPath;        // the next argument (or "=PATH") is its value
  OptionRole role;
  const char* usageLabel;       // the option as --help shows it
  const char* usageText;        // --help's description; lines after the first continue it
  const char* viewerUsageText;  // the viewer's description where it differs, else nullptr
  const char* helpPageText;     // the help page's line (translated); nullptr: not on the page
};

inline constexpr std::size_t OptionCount = 10;
// In the order --help and the help page list them.
extern const OptionRow optionRows[OptionCount];

// True when the option belongs to the editor (`editor`) or the viewer role.
bool optionOfRole(const OptionRow& row, bool editor);
