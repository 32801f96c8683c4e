// The viewer role's command line: the script, the record page, or one plain
// line per field word on standard output.
#include <cstdio>
#include <string>

#include "cli/frontends.h"
#include "fields/fields.h"
#include "fields/program.h"
#include "fields/text.h"
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

}  // namespace

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
      printUnknownParameter(index, words[index]);
      return -1;
    }
    printField(record, *row);
  }
  return 0;
}
