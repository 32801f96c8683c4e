// The JSON forms of what the store reports and of the record: the members
// of the objects of cli/editor_output.cpp and cli/viewer.cpp.
#pragma once

#include <string>
#include <vector>

#include "cli/json.h"
#include "cli/report.h"
#include "store/disk.h"
#include "store/record.h"

// The record's fields under the editor's names, then the rest of the header
// under names of their own, with JSON types.
std::vector<JsonMember> recordMembers(const ImageSafeDataStruct* record);

// Each disk the load looked at, with its state, whether it was read, its
// generation and the reason it was passed over or how it was taken.
std::string loadDisksJson(const LoadReport& report);

// Each disk of a save or removal (`planned`: a dry run's) with its result and the reason.
std::string storeDisksJson(const DiskReport& report, StoreAction action, bool planned);
// True when the save or removal wrote (or, planned, would write) a disk.
bool anyDiskWritten(const DiskReport& report);
