// The editor role's command line: erase, clear, apply field assignments with
// a confirmation line each, and save the record to every usable disk.
#include <strings.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/frontends.h"
#include "cli/json.h"
#include "cli/report.h"
#include "cli/report_json.h"
#include "cli/usage.h"
#include "fields/fields.h"
#include "fields/i18n.h"
#include "fields/numbers.h"
#include "fields/program.h"
#include "fields/text.h"
#include "fields/values.h"
#include "store/disk.h"
#include "tui/tui.h"

namespace {

struct EditorRun {
  ImageSafeDataStruct* record;
  std::int32_t saveRequested = 0;
  int result = 0;
  bool storeFailed = false;  // a save or removal did not reach every disk
  bool refused = false;      // a value was refused and its field left unchanged
  // What --json reports: each refused value, the disks of the removal and of
  // the save, whether any disk was (or in a dry run would be) written, and
  // the record as the save wrote it.
  std::vector<std::string> refusals = {};
  std::string removalDisks = JsonNull;
  std::string saveDisks = "[]";
  bool changed = false;
  std::vector<JsonMember> saved = {};
  std::string noDisk = {};  // why a save or removal found no usable disk; empty when it found one
};

StoreMode storeMode() { return ToolOptions.dryRun ? StoreMode::Plan : StoreMode::Write; }

void noteRefusal(EditorRun& run, const std::string& field, const char* value, const std::string& reason) {
  run.refusals.push_back(jsonObject(
      {{"field", jsonString(field)}, {"value", jsonString(value)}, {"reason", jsonString(reason)}}));
}

void confirm(const FieldKeyword& row, const std::string& value) {
  std::printf("%s '%s'\n", tr(row.confirmLabel), value.c_str());
}

// One line on standard error naming the field, the value and what the field
// takes; the field keeps its value, and the run ends with ExitValueRefused
// unless a status that says more was set.
void refuse(EditorRun& run, const std::string& field, const std::string& value, const std::string& expected) {
  std::fflush(stdout);  // in order with the confirmation lines before it
  std::fprintf(stderr, "%s: %s '%s' refused, expected %s\n", programName(), field.c_str(), value.c_str(),
               expected.c_str());
  run.refused = true;
  noteRefusal(run, field, value.c_str(), "expected " + expected);
}

void refuse(EditorRun& run, const FieldKeyword& row, const std::string& value) {
  refuse(run, row.documentedName, value, expectedValue(row.value));
}

// Counts the record cannot hold (it has 32 server entries) keep the refusal
// line this program has always printed, besides the line on standard error.
void applyDnsServerCount(EditorRun& run, const FieldKeyword& row, const std::string& value) {
  std::uint32_t count = 0;
  if (!readDnsServerCount(value, &count)) {
    std::printf("   Could not set DNS server count.  (The count must be between 0 and %zu.)\n",
                IsdDnsServerSlots);
    refuse(run, row, value);
    return;
  }
  run.record->dnsServerCount = count;
  std::printf("%s '%u'\n", tr(row.confirmLabel), count);
}

// "DNSServer<n>=<address>": the number follows the keyword's nine characters.
// Each refusal prints its own line on standard output as well.
void applyDnsServer(EditorRun& run, const FieldKeyword& row, const char* argument, const std::string& value) {
  ImageSafeDataStruct* record = run.record;
  const std::string field(argument, std::strchr(argument, '='));
  const char* numberText = argument + std::strlen(row.keyword);
  const std::int32_t number = convertLong32(numberText);
  const std::size_t servers = listedDnsServers(record);
  const std::string expectedNumber =
      "a server number from 1 to the DNS server count (" + std::to_string(servers) + ") before the \"=\"";
  if (number == 0 && numberText[0] == '0') {
    std::fputs("   Could not set DNS name server.  (Could not interpret which server to set.)\n", stdout);
    refuse(run, field, value, expectedNumber);
    return;
  }
  if (number < 1 || static_cast<std::size_t>(number) > servers) {
    std::fputs(
        "   Could not set DNS name server.  (Server index out larger than current DNS "
        "server count.)\n",
        stdout);
    refuse(run, field, value, expectedNumber);
    return;
  }
  if (!parseDottedQuad(value.c_str(), record->dnsServer[number - 1])) {
    std::fputs("   Could not set DNS name server.  (Invalid IP address.)\n", stdout);
    refuse(run, field, value, expectedValue(row.value));
    return;
  }
  confirm(row, value);
}

const char* sidRefusal(int status) {
  switch (status) {
    case SidTooFewFields: return "not enough fields or an invalid separator";
    case SidTooManyFields: return "too many fields";
    default: return "invalid data in one of the fields";
  }
}

void applyRow(EditorRun& run, const FieldKeyword& row, const char* argument, std::string value) {
  ImageSafeDataStruct* record = run.record;
  bool accepted = true;
  switch (row.value) {
    case ValueKind::Flag: accepted = applyFlag(record, row.flagBit, value); break;
    case ValueKind::Text:
      accepted = storableFieldText(value);
      if (accepted) value = storeFieldText(fieldBuffer(row, record), row.capacity, value);
      break;
    case ValueKind::Sid:
      run.result = parseSid(value.c_str(), record);
      if (run.result != 0) {
        noteRefusal(run, row.documentedName, value.c_str(), sidRefusal(run.result));
        return;
      }
      break;
    case ValueKind::Dhcp: accepted = applyDhcp(record, value); break;
    case ValueKind::Address: accepted = parseDottedQuad(value.c_str(), record->*row.address); break;
    case ValueKind::DnsServerCount: applyDnsServerCount(run, row, value); return;
    case ValueKind::DnsServer: applyDnsServer(run, row, argument, value); return;
  }
  if (accepted) {
    confirm(row, value);
  } else {
    refuse(run, row, value);
  }
}

void storeSampleAddress(std::uint8_t address[4], std::uint8_t a, std::uint8_t b, std::uint8_t c,
                        std::uint8_t d) {
  address[0] = a;
  address[1] = b;
  address[2] = c;
  address[3] = d;
}

// "clearset": a fixed sample workstation, for trying out an imaging set-up.
void loadSampleRecord(ImageSafeDataStruct* record) {
  isdCreate(record);
  storeFieldText(record->netbiosName, IsdCapNetbiosName, "ImagingTest");
  storeFieldText(record->lastBaseImage, IsdCapLastBaseImage, "//imageserver/images/baseimage.zmg");
  storeFieldText(record->wsDN, IsdCapWsDN, "CN=ImagingTest.OU=Workstations.O=Lab");
  storeFieldText(record->workgroup, IsdCapWorkgroup, "IMAGING");
  storeFieldText(record->wsTree, IsdCapWsTree, "LAB_TREE");
  storeSampleAddress(record->ipAddress, 10, 0, 0, 100);
  storeSampleAddress(record->gateway, 10, 0, 0, 1);
  storeSampleAddress(record->subnet, 255, 255, 252, 0);
  record->DHCP = 0;
}

// Applies the arguments in order; stops at "clearset" or an unknown one.
void applyArguments(EditorRun& run, int count, char** arguments) {
  std::string value;
  for (int index = 0; index < count; ++index) {
    const char* argument = arguments[index];
    if (const FieldKeyword* row = findFieldAssignment(argument, value)) {
      applyRow(run, *row, argument, value);
      run.saveRequested = 1;
      continue;
    }
    if (strcasecmp(argument, "clearset") == 0) {
      loadSampleRecord(run.record);
      run.saveRequested = 1;
      return;
    }
    printUnknownParameter(index, argument);
    noteRefusal(run, argument, nullptr, "unknown parameter; the arguments after it were not applied");
    run.result = -1;
    return;
  }
}

// After a save or removal: the failure lines (or a dry run's report), and
// what --json says of it.
void noteStore(EditorRun& run, int status, const DiskReport& report, StoreAction action) {
  const bool failed = ToolOptions.dryRun ? reportPlannedStore(status, report, action)
                                         : reportStoreFailure(status, report, action);
  if (failed) run.storeFailed = true;
  if (anyDiskWritten(report)) run.changed = true;
  if (status == IsdNoDevice && run.noDisk.empty()) run.noDisk = noUsableDiskText(action, ToolOptions.dryRun);
  (action == StoreAction::Save ? run.saveDisks : run.removalDisks) =
      storeDisksJson(report, action, ToolOptions.dryRun);
}

void saveRecord(EditorRun& run) {
  std::fflush(stdout);                    // confirmation lines come before any failure report
  run.saved = recordMembers(run.record);  // the save releases the record's texts
  DiskReport report;
  const int status = isdSave(run.record, &report, storeMode());
  noteStore(run, status, report, StoreAction::Save);
}

// Each field whose value the run changed, before and after.
std::string changedFields(const std::vector<JsonMember>& before, const std::vector<JsonMember>& after) {
  std::vector<JsonMember> changed;
  for (std::size_t i = 0; i < before.size() && i < after.size(); ++i)
    if (before[i].value != after[i].value)
      changed.push_back(
          {before[i].name, jsonObject({{"before", before[i].value}, {"after", after[i].value}})});
  return jsonObject(changed);
}

// With --json standard output carries the object alone: the lines the run
// prints on its way go to standard error until the object is written.
class ObjectOnlyOutput {
 public:
  ObjectOnlyOutput() {
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    if (saved_ >= 0 && dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
      close(saved_);
      saved_ = -1;
    }
  }
  ~ObjectOnlyOutput() { restore(); }
  ObjectOnlyOutput(const ObjectOnlyOutput&) = delete;
  ObjectOnlyOutput& operator=(const ObjectOnlyOutput&) = delete;
  bool ready() const { return saved_ >= 0; }
  void restore() {
    if (saved_ < 0) return;
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
    saved_ = -1;
  }

 private:
  int saved_ = -1;
};

int exitStatus(const EditorRun& run) {
  // A status that an argument already set says more about the run and stays;
  // a disk that was not written outweighs a refused value.
  if (run.result != 0) return run.result;
  if (run.storeFailed) return ExitStoreFailed;
  if (run.refused) return ExitValueRefused;
  return 0;
}

// The editor's run without the form: removal, clearing, the arguments and the save.
void runArguments(EditorRun& run, int count, char** arguments) {
  if (ToolOptions.remove) {
    DiskReport report;
    const int status = isdRemove(&report, storeMode());
    noteStore(run, status, report, StoreAction::Removal);
  }
  if (ToolOptions.clear) {
    isdCreate(run.record);
    run.saveRequested = 1;
  }
  applyArguments(run, count, arguments);
  if (run.saveRequested != 0) saveRecord(run);
}

// --json: the run, then one object on standard output instead of the lines.
int runForJson(int count, char** arguments) {
  EditorRun run{&isdRecord};
  ObjectOnlyOutput output;
  if (!output.ready())
    return stopRun(ExitOutputFailed, "standard output cannot be set aside for --json; nothing was changed",
                   true);
  const std::vector<JsonMember> before = recordMembers(run.record);
  runArguments(run, count, arguments);
  const std::vector<JsonMember> after = run.saveRequested != 0 ? run.saved : recordMembers(run.record);
  const int status = exitStatus(run);
  std::vector<JsonMember> members = {
      schemaMember(),
      {"changed", jsonBool(run.changed)},
      {"dryRun", jsonBool(ToolOptions.dryRun)},
      {"fields", changedFields(before, after)},
      {"refused", jsonArray(run.refusals)},
      {"removal", run.removalDisks},
      {"disks", run.saveDisks},
      // A removal that no save followed leaves no record stored.
      {"record", ToolOptions.remove && run.saveRequested == 0 ? JsonNull : jsonObject(after)},
  };
  if (!run.noDisk.empty()) members.push_back(errorMember(status, run.noDisk));
  output.restore();
  return deliverJson(stdout, jsonObject(members)) != 0 && status == 0 ? ExitOutputFailed : status;
}

}  // namespace

int runEditorCommandLine(int count, char** arguments) {
  if (ToolOptions.json) return runForJson(count, arguments);
  EditorRun run{&isdRecord};
  runArguments(run, count, arguments);
  if (run.saveRequested == 0 && !ToolOptions.remove && !ToolOptions.clear) {
    if (!tuiTerminalReady()) {
      std::fflush(stdout);
      std::fprintf(stderr, "%s: the full-screen form needs a terminal; nothing was changed\n", programName());
      return run.result != 0 ? run.result : ExitNoTerminal;
    }
    tuiOpen();
    runEditorForm(run.record, &run.saveRequested);
    tuiClose();
    if (run.saveRequested != 0) saveRecord(run);
  }
  return exitStatus(run);
}
