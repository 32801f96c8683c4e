// The command-line front ends of the two roles and the script writer.
#pragma once

#include <string>

#include "store/record.h"

// Exit status of an editor run that refused a value (the other values were
// still applied and the record saved).
inline constexpr int ExitValueRefused = 5;
// Exit status of a run whose full-screen page could not start: no terminal.
inline constexpr int ExitNoTerminal = 6;

// The editor role: -r, -c, field assignments, "clearset", or the form; then
// the save. Returns the exit status (0, 1 to 3 from a security ID, 4 for a
// failed save or removal, 5 for a refused value, 6 for the form without a
// terminal, -1 for an unknown argument).
int runEditorCommandLine(int count, char** arguments);

// The viewer role: the script for -s, the record page without words, or one
// line per field word. Returns 0, 6 for the record page without a terminal,
// or -1 after an unknown word.
int runViewerCommandLine(int count, char** arguments);

// Print the record as a shell script of export statements; returns 0.
int writeEnvScript(const ImageSafeDataStruct* record);

// The script's value forms: a value of only safe bytes as it stands, any
// other inside single quotes; the last base image between double quotes with
// \ " $ ` escaped. Either way the shell reads back exactly `value`.
std::string shellWord(const std::string& value);
std::string shellDoubleQuoted(const std::string& value);
