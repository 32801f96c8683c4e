// The full-screen interface: the entry points the command-line front ends call.
#pragma once

#include <cstdint>

#include "store/record.h"

// True when standard input and output are a terminal, which the full-screen
// pages need: without one they would write escape codes to wherever
// standard output goes and wait for keys that never come.
bool tuiTerminalReady();
void tuiOpen();
void tuiClose();
void showHelp();
void showEditorHelp();
void showViewerHelp();
void showRecordScreen(const ImageSafeDataStruct* record);
// Sets *saveRequested to 1 when, and only when, the user leaves with "OK".
void runEditorForm(ImageSafeDataStruct* record, std::int32_t* saveRequested);
