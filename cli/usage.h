// --help and --version: the plain-text answers that administrators and
// package tools expect of any command-line program.
#pragma once

#include <cstdio>
#include <string>

#include "fields/options.h"

// Exit status of a run whose output did not reach standard output (a closed
// pipe, a full disk) while nothing else failed.
inline constexpr int ExitOutputFailed = 7;
// Exit status of a usage error: an option that is not one, an option
// without its value or given one it takes none of, --json with field words.
inline constexpr int ExitUsage = 2;

// The answer to --help or --version (`answer`, a row of the option table) for
// `role`, printed to `out`. Returns the exit status: 0, or ExitOutputFailed
// when the text could not be written. It needs no disk and no root.
int answerInfoOption(const OptionRow& answer, int role, std::FILE* out);

// The --help text of the editor (`editor`) or the viewer.
std::string usageText(bool editor);

// A text that did not reach its reader (a closed pipe, a full disk) is a
// failure: 0 when everything written to `out` got there, else
// ExitOutputFailed after a line on standard error.
int delivered(std::FILE* out);

// A usage error: the line on standard error with `message` (unless getopt
// has already given it), then the pointer to --help; with `json` the error
// object on standard output. Returns ExitUsage.
int usageError(const std::string& message, bool alreadySaid, bool json);
