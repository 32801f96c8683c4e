// The command-line front ends of the two roles and the script writer.
#pragma once

#include <string>

#include "store/disk.h"
#include "store/record.h"

// The editor role: -r, -c, field assignments, "clearset", or the form; then
// the save, and its lines or (--json) its object. Returns the exit status
// (0, 1 to 3 from a security ID, 4 for a failed save or removal, 5 for a
// refused value, 6 for the form without a terminal, 7 when standard output
// did not take the object, -1 for an unknown argument).
int runEditorCommandLine(int count, char** arguments);

// What the viewer's load gave it: the record (the empty one when none is
// stored), the load's status and report, and what the run is left without
// (empty when the load gave it what it needs).
struct ViewerLoad {
  const ImageSafeDataStruct* record;
  int status;
  const LoadReport& report;
  std::string failure;
};

// The viewer role after its load: the --json object, or the lines of
// runViewerCommandLine. A viewer that could read no disk says why and fails
// with 4, also when it could show the empty record. Returns the exit status.
int runViewer(const ViewerLoad& load, int count, char** words);

// The viewer's text: the script for -s, the record page without words, or
// one line per field word, of the run's record. Returns 0, 6 for the record
// page without a terminal, or -1 after an unknown word.
int runViewerCommandLine(int count, char** arguments);

// Print the record as a shell script of export statements; returns 0.
int writeEnvScript(const ImageSafeDataStruct* record);

// The script's value forms: a value of only safe bytes as it stands, any
// other inside single quotes; the last base image between double quotes with
// \ " $ ` escaped. Either way the shell reads back exactly `value`.
std::string shellWord(const std::string& value);
std::string shellDoubleQuoted(const std::string& value);
