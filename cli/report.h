// Reporting of loads, saves and removals that did not reach every disk.
#pragma once

#include "store/disk.h"

// Exit status of a run whose load, save or removal failed.
inline constexpr int ExitStoreFailed = 4;

// After isdSave or isdRemove returned `status` with `report`: write one line
// to standard error for each disk that was not written (or one line when no
// disk was usable). `action` names what was not done ("written", "removed").
// Returns true when anything failed.
bool reportStoreFailure(int status, const DiskReport& report, const char* action);

// After isdLoad returned `status`: write a line to standard error when the
// load failed in a way that must stop the run (no memory for the record).
// Returns true when the run must stop with ExitStoreFailed.
bool reportLoadFailure(int status);
