// The viewer role's command line: the script, the record page, or one plain
// line per field word on standard output.
#include <cstdio>
#include <string>

#include "cli/fields.h"
#include "cli/frontends.h"
#include "cli/i18n.h"
#include "cli/program.h"
#include "cli/text.h"
#include "tui/tui.h"

namespace {

void printLine(const std::string& text) { std::printf("%s\n", text.c_str()); }

void printAddress(const std::uint8_t address[4]) {
  std::printf("%d.%d.%d.%d\n", address[0], address[1], address[2], address[3]);
}

// A static address row: the address, or the DHCP note when DHCP is on.
void printStaticAddress(const ImageSafeDataStruct* record, const std::uint8_t address[4],
                        const char* dhcpNote) {
  if (record->DHCP != 0) {
    printLine(dhcpNote);
  } else {
    printAddress(address);
  }
}

void printField(const ImageSafeDataStruct* record, FieldKind kind) {
  const std::uint32_t* sid = record->sid;
  switch (kind) {
    case FieldKind::JustImaged: printLine(record->flags & IsdFlagJustImaged ? "True" : "False"); break;
    case FieldKind::ScriptedImage: printLine(record->flags & IsdFlagScriptedImage ? "True" : "False"); break;
    case FieldKind::LastBaseImage: printLine(fieldText(record->lastBaseImage)); break;
    case FieldKind::ObjectDN: printLine(fieldText(record->wsDN)); break;
    case FieldKind::Tree: printLine(fieldText(record->wsTree)); break;
    case FieldKind::NetBIOSName: printLine(fieldText(record->netbiosName)); break;
    case FieldKind::WorkGroup: printLine(fieldText(record->workgroup)); break;
    case FieldKind::SID: std::printf("%u-%u-%u-%u-%u\n", sid[0], sid[1], sid[2], sid[3], sid[4]); break;
    case FieldKind::WorkstationID: printLine(fieldText(record->wsID)); break;
    case FieldKind::DHCP: printLine(record->DHCP != 0 ? "On" : "Off"); break;
    case FieldKind::IP:
      printStaticAddress(record, record->ipAddress, "Using DHCP, IP address not set");
      break;
    case FieldKind::Gateway:
      printStaticAddress(record, record->gateway, "Using DHCP, Gateway address not set");
      break;
    case FieldKind::Mask: printStaticAddress(record, record->subnet, "Using DHCP, Netmask not set"); break;
    case FieldKind::DNSServerCount: std::printf("%d\n", static_cast<int>(record->dnsServerCount)); break;
    case FieldKind::DNSServer:
      for (std::size_t i = 0; i < listedDnsServers(record); ++i) {
        const std::uint8_t* server = record->dnsServer[i];
        std::printf("%u.%u.%u.%u\n", server[0], server[1], server[2], server[3]);
      }
      break;
    case FieldKind::DNSSuffix: printLine(fieldText(record->dnsSuffix)); break;
    case FieldKind::DNSHostName: printLine(fieldText(record->dnsHostname)); break;
  }
}

}  // namespace

int runViewerCommandLine(int count, char** words) {
  const ImageSafeDataStruct* record = &isdRecord;
  if (ToolOptions.script) return writeEnvScript(record);
  if (count == 0) {
    tuiOpen();
    showRecordScreen(record);
    tuiClose();
    return 0;
  }
  for (int index = 0; index < count; ++index) {
    std::size_t row = 0;
    while (row < FieldKeywordCount && matchFieldName(words[index], fieldKeywords[row].keyword) != 0) {
      ++row;
    }
    if (row == FieldKeywordCount) {
      std::printf("%s (%d): '%s'\n", tr("Unknown parameter"), index, words[index]);
      return -1;
    }
    printField(record, fieldKeywords[row].kind);
  }
  return 0;
}
