// Reporting of locks, loads, saves and removals that did not reach every disk.
#pragma once

#include <cstddef>
#include <string>

#include "store/disk.h"

// Exit status of a run whose lock, load, save or removal failed.
inline constexpr int ExitStoreFailed = 4;

// How long a run waits for another run to let go of the disks.
inline constexpr unsigned DiskLockWaitMilliseconds = 10000;

// After lockDisks failed on `slot` with `error`: one line on standard error.
void reportLockFailure(std::size_t slot, int error, bool editor);

// After isdLoad returned `status` with `report`: one line on standard error
// for each disk that exists but could not be opened, sized or read, for each
// unfinished save (read from its journal copy or passed over) and for each
// record cut short by the disk's end; for the viewer also when no disk could
// be read at all. Returns true when the run must stop with ExitStoreFailed
// (no memory for the record; or, for the editor, no record found while a disk
// could not be read, since a save would replace what that disk holds).
bool reportLoad(int status, const LoadReport& report, bool editor);

// After isdSave or isdRemove returned `status` with `report`: write one line
// to standard error for each disk that was not written (or one line when no
// disk was usable), and for each disk written without a journal copy (which
// is no failure). `action` names what was not done ("written", "removed").
// Returns true when anything failed.
bool reportStoreFailure(int status, const DiskReport& report, const char* action);

// Why a disk did not take (or would not take) what a save or removal had for
// it: the outcome's words, what holds the disk and the error, as far as known.
std::string diskFailureText(const DiskResult& disk);

// Which of the two store operations a report is about.
enum class StoreAction { Save, Removal };
// After a dry run's isdSave or isdRemove (StoreMode::Plan) returned `status`
// with `report`: one line on standard output for each disk, saying what the
// real run would do, and the lines reportStoreFailure would write for disks
// it would not reach. Returns true when the real run would fail.
bool reportPlannedStore(int status, const DiskReport& report, StoreAction action);
