// One getopt pass over the options in front of the first field argument,
// and the --help lines of the options, both from the option table.
#pragma once

#include <cstddef>
#include <string>

#include "program/options.h"
#include "program/program.h"
#include "store/disk.h"

struct CommandLine {
  ToolOptionsFlags flags = {};
  const char* disks[DiskSlotMax] = {};  // the --disk paths (argv's own texts), in order
  std::size_t diskCount = 0;
  // The first usage error in words: a long option that is not one of ours,
  // an ambiguous abbreviation, a value given to an option that takes none, a
  // --disk without its path, more --disk options than the disk table holds.
  // Empty when there is none.
  std::string usageError;
  bool usageErrorSaid = false;        // getopt's diagnostic has already said it
  const OptionRow* answer = nullptr;  // --help or --version, whichever came first
  bool helpPage = false;              // -h
  bool otherRole = false;             // an option of the other role was given
  int firstArgument = 1;              // argv index of the first field argument
};

// Reads the options of `argv` for the editor (`editor`) or the viewer role.
// getopt prints its diagnostic for a letter or name that is no option. A
// letter is then ignored; a long option is a usage error, as every long
// option is the program's own and a misspelt --dry-run must never let the
// run go on to write. An option of the other role is noted, not applied.
CommandLine readCommandLine(int argc, char** argv, bool editor);

// The lines --help gives the role's options: the label, then the text at
// the thirteenth column (on the next line when the label reaches it).
std::string usageOptionLines(bool editor);

// True when an argument of `argv` is exactly "--json": the output form of a
// usage error, which may come before the --json that asks for it (or stand
// where the pass over the options never reaches it).
bool jsonRequested(int argc, char** argv);
