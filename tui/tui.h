// The full-screen interface: the entry points the command-line front ends call.
#pragma once

#include <cstdint>

#include "store/record.h"

void tuiOpen();
void tuiClose();
void showHelp();
void showEditorHelp();
void showViewerHelp();
void showRecordScreen(const ImageSafeDataStruct* record);
// Sets *saveRequested to 1 when, and only when, the user leaves with "OK".
void runEditorForm(ImageSafeDataStruct* record, std::int32_t* saveRequested);
