// Run-wide state: the role, the option flags and the one record of the run.
#include "program/program.h"

int ToolMode = 0;
ToolOptionsFlags ToolOptions = {};
ImageSafeDataStruct isdRecord = {};

const char* programName() { return ToolMode == ToolModeEditor ? "wexedit" : "wexview"; }
