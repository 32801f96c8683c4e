// --help and --version: the plain-text answers that administrators and
// package tools expect of any command-line program.
#pragma once

#include <cstdio>
#include <string>

#include "fields/options.h"

// The answer to --help or --version (`answer`, a row of the option table) for
// `role`, printed to `out`. Returns the exit status: 0, or 1 when the text
// could not be written. It needs no disk and no root.
int answerInfoOption(const OptionRow& answer, int role, std::FILE* out);

// The --help text of the editor (`editor`) or the viewer.
std::string usageText(bool editor);

// A text that did not reach its reader (a closed pipe, a full disk) is a
// failure: 0 when everything written to `out` got there, else 1 after a line
// on standard error.
int delivered(std::FILE* out);
