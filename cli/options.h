// One getopt pass over the options in front of the first field argument,
// and the --help lines of the options, both from the option table.
#pragma once

#include <cstddef>
#include <string>

#include "fields/options.h"
#include "fields/program.h"
#include "store/disk.h"

struct CommandLine {
  ToolOptionsFlags flags = {};
  const char* disks[DiskSlotMax] = {};  // the --disk paths (argv's own texts), in order
  std::size_t diskCount = 0;
  bool tooManyDisks = false;          // more --disk options than the disk table holds
  bool diskWithoutPath = false;       // a --disk at the end of the arguments
  const OptionRow* answer = nullptr;  // --help or --version, whichever came first
  bool helpPage = false;              // -h
  bool otherRole = false;             // an option of the other role was given
  int firstArgument = 1;              // argv index of the first field argument
};

// Reads the options of `argv` for the editor (`editor`) or the viewer role.
// getopt prints its diagnostic for a letter or name that is no option, which
// is then ignored; an option of the other role is noted, not applied.
CommandLine readCommandLine(int argc, char** argv, bool editor);

// The lines --help gives the role's options: the label, then the text at
// the thirteenth column (on the next line when the label reaches it).
std::string usageOptionLines(bool editor);
