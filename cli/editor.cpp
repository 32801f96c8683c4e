// The editor role's command line: erase, clear, apply field assignments and
// save the record to every usable disk, noting what each step did; then the
// outcome is rendered once, as text or as the --json object.
#include "cli/editor.h"

#include <strings.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/exit.h"
#include "cli/frontends.h"
#include "cli/report_json.h"
#include "fields/numbers.h"
#include "fields/text.h"
#include "fields/values.h"
#include "program/program.h"
#include "store/disk.h"
#include "tui/tui.h"

namespace {

StoreMode storeMode() { return ToolOptions.dryRun ? StoreMode::Plan : StoreMode::Write; }

// The name a result goes by: the documented one (DNSServer<n> has none).
std::string nameOf(const FieldKeyword& row) {
  return row.documentedName != nullptr ? row.documentedName : row.keyword;
}

ArgumentResult set(const FieldKeyword& row, const std::string& value) {
  return {ArgumentVerdict::Set, &row, 0, nameOf(row), value};
}

ArgumentResult refused(const FieldKeyword& row, const std::string& field, const std::string& value,
                       const std::string& expected, const std::string& note = {}) {
  return {ArgumentVerdict::Refused, &row, 0, field, value, expected, note};
}

ArgumentResult refused(const FieldKeyword& row, const std::string& value) {
  return refused(row, nameOf(row), value, expectedValue(row.value));
}

// Counts the record cannot hold (it has 32 server entries) keep the refusal
// line this program has always printed, besides the line on standard error.
ArgumentResult applyDnsServerCount(ImageSafeDataStruct* record, const FieldKeyword& row,
                                   const std::string& value) {
  std::uint32_t count = 0;
  if (!readDnsServerCount(value, &count)) {
    return refused(row, nameOf(row), value, expectedValue(row.value),
                   "   Could not set DNS server count.  (The count must be between 0 and " +
                       std::to_string(IsdDnsServerSlots) + ".)");
  }
  record->dnsServerCount = count;
  return set(row, std::to_string(count));
}

// "DNSServer<n>=<address>": the number follows the keyword's nine characters.
// Each refusal has its own line on standard output as well.
ArgumentResult applyDnsServer(ImageSafeDataStruct* record, const FieldKeyword& row, const char* argument,
                              const std::string& value) {
  const std::string field(argument, std::strchr(argument, '='));
  const char* numberText = argument + std::strlen(row.keyword);
  const std::int32_t number = convertLong32(numberText);
  const std::size_t servers = listedDnsServers(record);
  const std::string expectedNumber =
      "a server number from 1 to the DNS server count (" + std::to_string(servers) + ") before the \"=\"";
  if (number == 0 && numberText[0] == '0')
    return refused(row, field, value, expectedNumber,
                   "   Could not set DNS name server.  (Could not interpret which server to set.)");
  if (number < 1 || static_cast<std::size_t>(number) > servers)
    return refused(row, field, value, expectedNumber,
                   "   Could not set DNS name server.  (Server index out larger than current DNS server "
                   "count.)");
  if (!parseDottedQuad(value.c_str(), record->dnsServer[number - 1]))
    return refused(row, field, value, expectedValue(row.value),
                   "   Could not set DNS name server.  (Invalid IP address.)");
  return set(row, value);
}

ArgumentResult applyRow(ImageSafeDataStruct* record, const FieldKeyword& row, const char* argument,
                        std::string value) {
  bool accepted = true;
  switch (row.value) {
    case ValueKind::Flag: accepted = applyFlag(record, row.flagBit, value); break;
    case ValueKind::Text:
      accepted = storableFieldText(value);
      if (accepted) value = storeFieldText(fieldBuffer(row, record), row.capacity, value);
      break;
    case ValueKind::Sid:
      if (const int status = parseSid(value.c_str(), record); status != 0) {
        ArgumentResult result{ArgumentVerdict::SidRefused, &row, 0, nameOf(row), value};
        result.note = sidRefusalLine(status);
        result.sidStatus = status;
        return result;
      }
      break;
    case ValueKind::Dhcp: accepted = applyDhcp(record, value); break;
    case ValueKind::Address: accepted = parseDottedQuad(value.c_str(), record->*row.address); break;
    case ValueKind::DnsServerCount: return applyDnsServerCount(record, row, value);
    case ValueKind::DnsServer: return applyDnsServer(record, row, argument, value);
  }
  return accepted ? set(row, value) : refused(row, value);
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
// Each security ID sets the run's status: its parser's, 0 when it was taken.
void applyArguments(EditorOutcome& run, ImageSafeDataStruct* record, int count, char** arguments) {
  std::string value;
  for (int index = 0; index < count; ++index) {
    const char* argument = arguments[index];
    if (const FieldKeyword* row = findFieldAssignment(argument, value)) {
      run.arguments.push_back(applyRow(record, *row, argument, value));
      if (row->value == ValueKind::Sid) run.argumentStatus = run.arguments.back().sidStatus;
      run.saveRequested = true;
      continue;
    }
    if (strcasecmp(argument, "clearset") == 0) {
      loadSampleRecord(record);
      run.arguments.push_back({ArgumentVerdict::SampleLoaded});
      run.saveRequested = true;
      return;
    }
    run.arguments.push_back({ArgumentVerdict::Unknown, nullptr, index, argument});
    run.argumentStatus = -1;
    return;
  }
}

void saveRecord(EditorOutcome& run, ImageSafeDataStruct* record) {
  run.after = recordMembers(record);  // the save releases the record's texts
  run.save.ran = true;
  run.save.status = isdSave(record, &run.save.report, storeMode());
}

// The editor's run without the form: removal, clearing, the arguments and the save.
EditorOutcome runArguments(ImageSafeDataStruct* record, int count, char** arguments) {
  EditorOutcome run;
  run.dryRun = ToolOptions.dryRun;
  run.before = recordMembers(record);
  if (ToolOptions.remove) {
    run.removal.ran = true;
    run.removal.status = isdRemove(&run.removal.report, storeMode());
  }
  if (ToolOptions.clear) {
    isdCreate(record);
    run.saveRequested = true;
  }
  applyArguments(run, record, count, arguments);
  if (run.saveRequested) {
    saveRecord(run, record);
  } else {
    run.after = recordMembers(record);
  }
  return run;
}

}  // namespace

bool storeStepFailed(const StoreStep& step) {
  if (!step.ran) return false;
  if (step.status < 0) return true;
  for (std::size_t slot = 0; slot < step.report.count; ++slot)
    if (diskOutcomeFailed(step.report.disks[slot].outcome)) return true;
  return false;
}

int editorExitStatus(const EditorOutcome& outcome) {
  bool refusedValue = false;
  for (const ArgumentResult& argument : outcome.arguments)
    refusedValue = refusedValue || argument.verdict == ArgumentVerdict::Refused;
  if (outcome.argumentStatus != 0) return outcome.argumentStatus;
  if (storeStepFailed(outcome.removal) || storeStepFailed(outcome.save)) return ExitStoreFailed;
  if (refusedValue) return ExitValueRefused;
  return 0;
}

int runEditorCommandLine(int count, char** arguments) {
  EditorOutcome run = runArguments(&isdRecord, count, arguments);
  if (ToolOptions.json) {
    printEditorLines(run, stderr);  // standard output carries the object alone
    const int status = editorExitStatus(run);
    return deliverJson(stdout, editorJson(run)) != 0 && status == 0 ? ExitOutputFailed : status;
  }
  printEditorLines(run, stdout);
  if (run.saveRequested || run.removal.ran) return editorExitStatus(run);
  if (!tuiTerminalReady()) {
    stopRun(0, "the full-screen form needs a terminal; nothing was changed", false);
    return run.argumentStatus != 0 ? run.argumentStatus : ExitNoTerminal;
  }
  std::int32_t saveRequested = 0;
  tuiOpen();
  runEditorForm(&isdRecord, &saveRequested);
  tuiClose();
  if (saveRequested != 0) {
    run.saveRequested = true;
    saveRecord(run, &isdRecord);
    printSaveLines(run, stdout);
  }
  return editorExitStatus(run);
}
