// Reporting of saves and removals that did not reach every disk.
#pragma once

// Exit status of a run whose save or removal failed.
inline constexpr int ExitStoreFailed = 4;

// After isdSave or isdRemove returned `status`: write one line to standard
// error for each disk that was not written (or one line when no disk was
// usable). `action` names what was not done ("written", "removed").
// Returns true when anything failed.
bool reportStoreFailure(int status, const char* action);
