// Reporting of locks, loads, saves and removals that did not reach every disk.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "store/disk.h"

// How long a run waits for another run to let go of the disks.
inline constexpr unsigned DiskLockWaitMilliseconds = 10000;

// Which of the two store operations a report is about.
enum class StoreAction { Save, Removal };

// Why lockDisks failed on `slot` with `error`, in words.
std::string lockFailureText(std::size_t slot, int error, bool editor);

// After isdLoad: one line on standard error for each disk of `report` that
// exists but could not be opened, sized or read, for each unfinished save
// (read from its journal copy or passed over) and for each record cut short
// by the disk's end.
void reportLoad(const LoadReport& report);

// What the load that returned `status` leaves the run without, in words:
// memory for the record; for the editor, a record while a disk could not be
// read (a save would replace what that disk holds); for the viewer, any disk
// it could read. Empty when the load gives the run what it needs.
std::string loadFailureText(int status, bool editor);
// True when that failure stops the run before its front end (the viewer
// goes on to show the empty record, and fails afterwards).
bool loadStopsRun(int status, bool editor);

// The line for a save or removal (`planned`: a dry run's) that found no usable disk.
std::string noUsableDiskText(StoreAction action, bool planned);

// After isdSave or isdRemove returned `status` with `report`: write one line
// to standard error for each disk that was not written (or one line when no
// disk was usable), and for each disk written without a journal copy (which
// is no failure).
void reportStoreFailure(int status, const DiskReport& report, StoreAction action);

// Why a disk did not take (or would not take) what a save or removal had for
// it: the outcome's words, what holds the disk and the error, as far as known.
std::string diskFailureText(const DiskResult& disk);

// After a dry run's isdSave or isdRemove (StoreMode::Plan) returned `status`
// with `report`: one line on `out` for each disk, saying what the real run
// would do, and the lines reportStoreFailure would write for disks it would
// not reach.
void reportPlannedStore(int status, const DiskReport& report, StoreAction action, std::FILE* out);
