// The machine-readable forms of the viewer's record and the editor's run:
// one JSON object each on standard output.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/report.h"
#include "store/disk.h"
#include "store/record.h"

// The version of the objects' shape, their first member "schema": raised on
// any change that a reader of the old shape could misread. The schema files
// of cli/schema/ describe this version.
inline constexpr int JsonSchemaVersion = 1;

// One member of a JSON object: its name and its value as JSON text.
struct JsonMember {
  std::string name;
  std::string value;
};

// The record's fields under the editor's names, then the rest of the header
// under names of their own, with JSON types.
std::vector<JsonMember> recordMembers(const ImageSafeDataStruct* record);
std::string jsonObject(const std::vector<JsonMember>& members);

// The "schema" member that every object starts with.
JsonMember schemaMember();
// The "error" member of a run that ends with exit status `status` (a front
// end's result; -1 is reported as the 255 the caller sees) for the reason
// `message`.
JsonMember errorMember(int status, const std::string& message);

// The end of a run that stops before its report: a line on standard error
// with `message`, and with `json` the object of the schema version and the
// error on standard output. Returns `status`.
int stopRun(int status, const std::string& message, bool json);

// The viewer's object for the load that returned `status` with `report`:
// whether a record is stored, where it came from, the record, and each disk
// that was looked at. With a `failure` (the viewer could read no disk) the
// record is null and the error says why. Returns 0, or ExitOutputFailed when
// standard output did not take it.
int writeViewerJson(const ImageSafeDataStruct* record, int status, const LoadReport& report,
                    const std::string& failure);

// Each disk of a save or removal (`planned`: a dry run's) with its result and the reason.
std::string storeDisksJson(const DiskReport& report, StoreAction action, bool planned);
// True when the save or removal wrote (or, planned, would write) a disk.
bool anyDiskWritten(const DiskReport& report);

// Writes `object` and a newline to `out`; 0, or ExitOutputFailed after a
// line on standard error when it did not get there.
int deliverJson(std::FILE* out, const std::string& object);
