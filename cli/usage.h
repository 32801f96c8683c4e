// --help and --version: the plain-text answers that administrators and
// package tools expect of any command-line program.
#pragma once

#include <cstdio>
#include <string>

#include "program/options.h"

// The answer to --help or --version (`answer`, a row of the option table) for
// `role`, printed to `out`. Returns the exit status: 0, or ExitOutputFailed
// when the text could not be written. It needs no disk and no root.
int answerInfoOption(const OptionRow& answer, int role, std::FILE* out);

// The --help text of the editor (`editor`) or the viewer.
std::string usageText(bool editor);

// A usage error: the line on standard error with `message` (unless getopt
// has already given it), then the pointer to --help; with `json` the error
// object on standard output. Returns ExitUsage.
int usageError(const std::string& message, bool alreadySaid, bool json);
