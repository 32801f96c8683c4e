// The viewer role after its load: the record as one JSON object, the
// script, the record page, or one plain line per field word on standard
// output.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/exit.h"
#include "cli/frontends.h"
#include "cli/json.h"
#include "cli/report_json.h"
#include "fields/fields.h"
#include "fields/text.h"
#include "program/program.h"
#include "tui/tui.h"

namespace {

void printLine(const std::string& text) { std::printf("%s\n", text.c_str()); }

void printField(const ImageSafeDataStruct* record, const FieldKeyword& row) {
  switch (row.value) {
    case ValueKind::Flag: printLine((record->flags & row.flagBit) != 0 ? "True" : "False"); break;
    case ValueKind::Text: printLine(fieldText(fieldBuffer(row, record))); break;
    case ValueKind::Sid: printLine(sidText(record->sid)); break;
    case ValueKind::Dhcp: printLine(record->DHCP != 0 ? "On" : "Off"); break;
    case ValueKind::Address:
      printLine(record->DHCP != 0 ? std::string(row.dhcpNote) : dottedQuad(record->*row.address));
      break;
    case ValueKind::DnsServerCount: std::printf("%d\n", static_cast<int>(record->dnsServerCount)); break;
    case ValueKind::DnsServer:
      for (std::size_t i = 0; i < listedDnsServers(record); ++i) printLine(dottedQuad(record->dnsServer[i]));
      break;
  }
}

// The object for the load: whether a record is stored, where it came from,
// the record, and each disk that was looked at. With a failure (no disk could
// be read) the record is null and the error says why. Returns 0, or
// ExitOutputFailed when standard output did not take it.
int writeViewerJson(const ViewerLoad& load) {
  const LoadReport& report = load.report;
  const bool stored = load.status == 0;
  const bool hasSource = stored && report.source < report.count;
  std::vector<JsonMember> members = {
      schemaMember(),
      {"stored", jsonBool(stored)},
      {"source", hasSource ? jsonString(report.disks[report.source].devicePath) : JsonNull},
      {"fromJournal", jsonBool(hasSource && report.fromJournal)},
      {"generation", hasSource && report.hasGeneration ? jsonNumber(report.generation) : JsonNull},
      // The empty record the viewer falls back on is no data of this workstation.
      {"record", load.failure.empty() ? jsonObject(recordMembers(load.record)) : JsonNull},
      {"disks", loadDisksJson(report)},
  };
  if (!load.failure.empty()) members.push_back(errorMember(ExitStoreFailed, load.failure));
  return deliverJson(stdout, jsonObject(members));
}

}  // namespace

int runViewer(const ViewerLoad& load, int count, char** words) {
  if (!load.failure.empty()) std::fprintf(stderr, "%s: %s\n", programName(), load.failure.c_str());
  int status = ToolOptions.json ? writeViewerJson(load) : runViewerCommandLine(count, words);
  // A viewer that could read no disk has shown the empty record; its status
  // says so, and outweighs output that did not get through.
  if (!load.failure.empty() && (status == 0 || status == ExitOutputFailed)) status = ExitStoreFailed;
  return withOutputDelivered(status);
}

int runViewerCommandLine(int count, char** words) {
  const ImageSafeDataStruct* record = &isdRecord;
  if (ToolOptions.script) return writeEnvScript(record);
  if (count == 0) {
    if (!tuiTerminalReady()) {
      std::fprintf(stderr,
                   "%s: the full-screen record page needs a terminal; name fields to print them, or use -s\n",
                   programName());
      return ExitNoTerminal;
    }
    tuiOpen();
    showRecordScreen(record);
    tuiClose();
    return 0;
  }
  for (int index = 0; index < count; ++index) {
    const FieldKeyword* row = findFieldWord(words[index]);
    if (row == nullptr) {
      printLine(unknownParameterLine(index, words[index]));
      return -1;
    }
    printField(record, *row);
  }
  return 0;
}
