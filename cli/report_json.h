// The machine-readable forms of the viewer's record and the editor's run:
// one JSON object each on standard output.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/report.h"
#include "store/disk.h"
#include "store/record.h"

// One member of a JSON object: its name and its value as JSON text.
struct JsonMember {
  std::string name;
  std::string value;
};

// The record's fields under the editor's names, then the rest of the header
// under names of their own, with JSON types.
std::vector<JsonMember> recordMembers(const ImageSafeDataStruct* record);
std::string jsonObject(const std::vector<JsonMember>& members);

// The viewer's object for the load that returned `status` with `report`:
// whether a record is stored, where it came from, the record, and each disk
// that was looked at. Returns 0, or 1 when standard output did not take it.
int writeViewerJson(const ImageSafeDataStruct* record, int status, const LoadReport& report);

// Each disk of a save or removal (`planned`: a dry run's) with its result and the reason.
std::string storeDisksJson(int status, const DiskReport& report, StoreAction action, bool planned);
// True when the save or removal wrote (or, planned, would write) a disk.
bool anyDiskWritten(const DiskReport& report);

// Writes `object` and a newline to `out`; 0, or 1 after a line on standard
// error when it did not get there.
int deliverJson(std::FILE* out, const std::string& object, const char* program);
