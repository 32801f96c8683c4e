// The command-line front ends of the two roles and the script writer.
#pragma once

#include <string>

#include "store/record.h"

// The editor role: -r, -c, field assignments, "clearset", or the form; then
// the save. Returns the exit status (0, 1 to 3 from a security ID, 4 for a
// failed save or removal, -1 for an unknown argument).
int runEditorCommandLine(int count, char** arguments);

// The viewer role: the script for -s, the record page without words, or one
// line per field word. Returns 0, or -1 after an unknown word.
int runViewerCommandLine(int count, char** arguments);

// Print the record as a shell script of export statements; returns 0.
int writeEnvScript(const ImageSafeDataStruct* record);

// The script's value forms: a value of only safe bytes as it stands, any
// other inside single quotes; the last base image between double quotes with
// \ " $ ` escaped. Either way the shell reads back exactly `value`.
std::string shellWord(const std::string& value);
std::string shellDoubleQuoted(const std::string& value);
