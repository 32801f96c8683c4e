// --help and --version: the plain-text answers that administrators and
// package tools expect of any command-line program.
#pragma once

#include <cstdio>

// Looks through the options in front of the first field argument (or "--")
// for --help or --version and, when one is there, prints its answer for
// `role` to `out`. Returns the exit status then (0, or 1 when the text could
// not be written), else -1: the run goes on.
// Nothing else is read, so the answer needs no disk and no root.
int answerInfoOption(int argc, char** argv, int role, std::FILE* out);
