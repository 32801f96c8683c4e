// The editor role's command line: erase, clear, apply field assignments with
// a confirmation line each, and save the record to every usable disk.
#include <strings.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/frontends.h"
#include "cli/report.h"
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
};

void confirm(const FieldKeyword& row, const std::string& value) {
  std::printf("%s '%s'\n", tr(row.confirmLabel), value.c_str());
}

// One line on standard error naming the field, the value and what the field
// takes; the field keeps its value, and the run ends with ExitValueRefused
// unless a status that says more was set.
void refuse(EditorRun& run, const std::string& field, const std::string& value, const std::string& expected) {
  std::fflush(stdout);  // in order with the confirmation lines before it
  std::fprintf(stderr, "wexedit: %s '%s' refused, expected %s\n", field.c_str(), value.c_str(),
               expected.c_str());
  run.refused = true;
}

void refuse(EditorRun& run, const FieldKeyword& row, const std::string& value) {
  refuse(run, row.documentedName, value, expectedValue(row.value));
}

// Counts the record cannot hold (it has 32 server entries) keep the refusal
// line this program has always printed, besides the line on standard error.
void applyDnsServerCount(EditorRun& run, const FieldKeyword& row, const std::string& value) {
  std::uint32_t count = 0;
  if (!readDnsServerCount(value, &count)) {
    std::fputs("   Could not set DNS server count.  (The count must be between 0 and 32.)\n", stdout);
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
      if (run.result != 0) return;
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
    run.result = -1;
    return;
  }
}

void saveRecord(EditorRun& run) {
  std::fflush(stdout);  // confirmation lines come before any failure report
  DiskReport report;
  const int status = isdSave(run.record, &report);
  if (reportStoreFailure(status, report, "written")) run.storeFailed = true;
}

}  // namespace

int runEditorCommandLine(int count, char** arguments) {
  EditorRun run{&isdRecord};
  if (ToolOptions.remove) {
    DiskReport report;
    const int status = isdRemove(&report);
    if (reportStoreFailure(status, report, "removed")) run.storeFailed = true;
  }
  if (ToolOptions.clear) {
    isdCreate(run.record);
    run.saveRequested = 1;
  }
  applyArguments(run, count, arguments);
  if (run.saveRequested != 0) {
    saveRecord(run);
  } else if (!ToolOptions.remove && !ToolOptions.clear) {
    if (!tuiTerminalReady()) {
      std::fflush(stdout);
      std::fputs("wexedit: the full-screen form needs a terminal; nothing was changed\n", stderr);
      return run.result != 0 ? run.result : ExitNoTerminal;
    }
    tuiOpen();
    runEditorForm(run.record, &run.saveRequested);
    tuiClose();
    if (run.saveRequested != 0) saveRecord(run);
  }
  // A status that an argument already set says more about the run and stays;
  // a disk that was not written outweighs a refused value.
  if (run.result != 0) return run.result;
  if (run.storeFailed) return ExitStoreFailed;
  if (run.refused) return ExitValueRefused;
  return 0;
}
