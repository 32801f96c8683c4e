// How a run of wexedit/wexview ends: its exit statuses in one place, the
// check that standard output got everything, and the end of a run that
// stops before its front end has anything to report.
#pragma once

#include <cstdio>
#include <string>

// 0 is success; a refused security ID ends the editor with its parser's
// status (1 to 3), an unknown argument with -1 (255 to the caller).
inline constexpr int ExitHelpShown = 1;     // a help page was shown instead of a run
inline constexpr int ExitUsage = 2;         // an option that is not one, a missing or unwanted value
inline constexpr int ExitStoreFailed = 4;   // a lock, load, save or removal failed
inline constexpr int ExitValueRefused = 5;  // a value was refused (the others were applied and saved)
inline constexpr int ExitNoTerminal = 6;    // a full-screen page without a terminal
inline constexpr int ExitOutputFailed = 7;  // standard output did not take what the run printed

// A text that did not reach its reader (a closed pipe, a full disk) is a
// failure: 0 when everything written to `out` got there, else
// ExitOutputFailed after a line on standard error.
int delivered(std::FILE* out);

// `status`, or ExitOutputFailed when the run had nothing else to report and
// standard output did not take what it printed.
int withOutputDelivered(int status);

// The end of a run that stops before its report: a line on standard error
// with `message`, and with `json` the object of the schema version and the
// error on standard output. Returns `status`.
int stopRun(int status, const std::string& message, bool json);
