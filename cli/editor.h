// What one run of the editor's command line did, as plain data: each
// argument's result in order, the removal and the save with each disk's
// result, and the record before the run and as it was saved. editor.cpp
// works it out and writes nothing; editor_output.cpp renders it, as the
// confirmation lines or as the --json object.
#pragma once

#include <string>
#include <vector>

#include "cli/json.h"
#include "fields/fields.h"
#include "store/disk.h"

enum class ArgumentVerdict {
  Set,           // the field took the value
  Refused,       // the value was refused; the field kept its value
  SidRefused,    // the security ID was refused; its parser's status ends the run
  Unknown,       // neither a field nor "clearset": the arguments after it were not applied
  SampleLoaded,  // "clearset": the sample workstation replaced the record
};

struct ArgumentResult {
  ArgumentVerdict verdict;
  const FieldKeyword* row = nullptr;  // the field; null for Unknown and SampleLoaded
  int index = 0;                      // the argument's place among the field arguments
  std::string field = {};             // the field as a refusal names it ("DNSServer3" as typed)
  std::string value = {};             // Set: the value as stored; otherwise as typed
  std::string expected = {};          // Refused: what the field takes
  std::string note = {};              // a refusal's line of its own on standard output, if any
  int sidStatus = 0;                  // SidRefused: the parser's status
};

// A save or removal: whether it ran, what it returned and each disk's result.
struct StoreStep {
  bool ran = false;
  int status = 0;
  DiskReport report = {};
};

struct EditorOutcome {
  bool dryRun = false;
  std::vector<ArgumentResult> arguments = {};
  // The status an argument ends the run with: a refused security ID's parser
  // status or -1 after an unknown argument; 0 when none did.
  int argumentStatus = 0;
  bool saveRequested = false;  // an argument, -c or the form asked for a save
  StoreStep removal = {};      // -r
  StoreStep save = {};
  // The record's members (under the JSON names) before the run and after
  // it: as the save wrote them, or as the run left the record.
  std::vector<JsonMember> before = {};
  std::vector<JsonMember> after = {};
};

// True when the save or removal did not reach every disk it should have
// (or, planned, would not).
bool storeStepFailed(const StoreStep& step);

// The run's exit status: a status an argument set says most, then a disk
// that was not written, then a refused value.
int editorExitStatus(const EditorOutcome& outcome);

// The lines of the outcome (without a removal or save that has not run) on
// `out` and standard error, as the editor prints them without --json; with
// --json they all go to standard error, and `out` is standard error too.
void printEditorLines(const EditorOutcome& outcome, std::FILE* out);
// The save's lines alone: for a save that follows the form.
void printSaveLines(const EditorOutcome& outcome, std::FILE* out);

// The --json object of the outcome.
std::string editorJson(const EditorOutcome& outcome);
