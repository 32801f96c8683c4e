// Run-wide state settled at start-up and read by both front ends and the
// full-screen interface.
#pragma once

#include <cstdint>

#include "store/record.h"

inline constexpr int ToolModeEditor = 1;
inline constexpr int ToolModeViewer = 2;

struct ToolOptionsFlags {
  bool clear;   // -c, editor
  bool remove;  // -r, editor
  bool script;  // -s, viewer
  bool json;    // --json, both roles: one JSON object on standard output
  bool dryRun;  // -n / --dry-run, editor: everything but the writes
};

extern int ToolMode;
// The name every message of the run goes by: "wexedit" in the editor role,
// "wexview" in the viewer role (ToolMode is set first thing at start-up).
const char* programName();
extern ToolOptionsFlags ToolOptions;
extern ImageSafeDataStruct isdRecord;  // the one program-wide record
