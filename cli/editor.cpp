// The editor role's command line: erase, clear, apply field assignments with
// a confirmation line each, and save the record to every usable disk.
#include <arpa/inet.h>
#include <strings.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/fields.h"
#include "cli/frontends.h"
#include "cli/i18n.h"
#include "cli/numbers.h"
#include "cli/program.h"
#include "cli/report.h"
#include "cli/text.h"
#include "store/disk.h"
#include "tui/tui.h"

namespace {

struct EditorRun {
  ImageSafeDataStruct* record;
  std::int32_t saveRequested = 0;
  int result = 0;
  bool storeFailed = false;  // a save or removal did not reach every disk
};

// Confirmation labels, indexed like fieldKeywords.
constexpr const char* RowLabels[FieldKeywordCount] = {
    N_("   DEZE Just Imaged Flag set to "),
    N_("   DEZE Scripted Image Flag set to "),
    N_("   DEZE Last Base Image Restored set to"),
    N_("   DEZE Workstation Object set to"),
    N_("   DEZE Tree Name set to"),
    N_("   DEZE Workstation NetBIOS Name set to"),
    N_("   DEZE Workstation Workgroup set to"),
    N_("   DEZE Windows Security ID set to"),
    N_("   DEZE Workstation ID set to"),
    N_("   DEZE DHCP Flag set to"),
    N_("   DEZE Static IP Address set to"),
    N_("   DEZE IP Gateway set to"),
    N_("   DEZE IP Subnet Mask set to"),
    N_("   DEZE DNS Server Count set to"),
    N_("   DEZE DNS Name Server set to "),
    N_("   DEZE DNS Suffix set to"),
    N_("   DEZE DNS Host Name set to"),
};

void confirm(std::size_t row, const std::string& value) {
  std::printf("%s '%s'\n", tr(RowLabels[row]), value.c_str());
}

// Only the first character counts: t sets the bit and reads "true", then a
// value beginning with f clears it and reads "false"; anything else changes
// neither the bit nor the text shown.
void applyFlag(ImageSafeDataStruct* record, std::uint32_t bit, std::string& value) {
  if (!value.empty() && (value[0] == 't' || value[0] == 'T')) {
    record->flags |= bit;
    value = "true";
  }
  if (!value.empty() && (value[0] == 'f' || value[0] == 'F')) {
    record->flags &= ~bit;
    value = "false";
  }
}

void applyDhcp(ImageSafeDataStruct* record, const std::string& value) {
  if (strcasecmp(value.c_str(), "off") == 0) record->DHCP = 0;
  if (strcasecmp(value.c_str(), "on") == 0) record->DHCP = 1;
}

const IsdTextField* textFieldOf(FieldKind kind) {
  const char* name = nullptr;
  switch (kind) {
    case FieldKind::LastBaseImage: name = "lastBaseImage"; break;
    case FieldKind::ObjectDN: name = "wsDN"; break;
    case FieldKind::Tree: name = "wsTree"; break;
    case FieldKind::NetBIOSName: name = "netbiosName"; break;
    case FieldKind::WorkGroup: name = "workgroup"; break;
    case FieldKind::WorkstationID: name = "wsID"; break;
    case FieldKind::DNSSuffix: name = "dnsSuffix"; break;
    case FieldKind::DNSHostName: name = "dnsHostname"; break;
    default: return nullptr;
  }
  for (const IsdTextField& field : IsdTextFields) {
    if (std::strcmp(field.name, name) == 0) return &field;
  }
  return nullptr;
}

// The count is limited to the 32 entries the record holds: any other number
// is refused, so no reader is ever pointed beyond the table.
void applyDnsServerCount(ImageSafeDataStruct* record, std::size_t row, const std::string& value) {
  const std::int32_t count = convertLong32(value.c_str());
  if (count < 0 || static_cast<std::uint32_t>(count) > IsdDnsServerSlots) {
    std::fputs("   Could not set DNS server count.  (The count must be between 0 and 32.)\n", stdout);
    return;
  }
  record->dnsServerCount = static_cast<std::uint32_t>(count);
  std::printf("%s '%d'\n", tr(RowLabels[row]), count);
}

// "DNSServer<n>=<address>": the number follows the keyword's nine characters.
void applyDnsServer(ImageSafeDataStruct* record, std::size_t row, const char* argument,
                    const std::string& value) {
  const char* numberText = argument + std::strlen("DNSServer");
  const std::int32_t number = convertLong32(numberText);
  if (number == 0 && numberText[0] == '0') {
    std::fputs("   Could not set DNS name server.  (Could not interpret which server to set.)\n", stdout);
    return;
  }
  if (number < 1 || static_cast<std::size_t>(number) > listedDnsServers(record)) {
    std::fputs(
        "   Could not set DNS name server.  (Server index out larger than current DNS "
        "server count.)\n",
        stdout);
    return;
  }
  const in_addr_t address = inet_addr(value.c_str());
  if (address == INADDR_NONE) {
    std::fputs("   Could not set DNS name server.  (Invalid IP address.)\n", stdout);
    return;
  }
  std::memcpy(record->dnsServer[number - 1], &address, 4);  // network order: as written
  confirm(row, value);
}

void applyRow(EditorRun& run, std::size_t row, const char* argument, std::string value) {
  ImageSafeDataStruct* record = run.record;
  switch (fieldKeywords[row].kind) {
    case FieldKind::JustImaged: applyFlag(record, IsdFlagJustImaged, value); break;
    case FieldKind::ScriptedImage: applyFlag(record, IsdFlagScriptedImage, value); break;
    case FieldKind::SID:
      run.result = parseSid(value.c_str(), record);
      if (run.result != 0) return;
      break;
    case FieldKind::DHCP: applyDhcp(record, value); break;
    case FieldKind::IP: parseDottedQuad(value.c_str(), record->ipAddress); break;
    case FieldKind::Gateway: parseDottedQuad(value.c_str(), record->gateway); break;
    case FieldKind::Mask: parseDottedQuad(value.c_str(), record->subnet); break;
    case FieldKind::DNSServerCount: applyDnsServerCount(record, row, value); return;
    case FieldKind::DNSServer: applyDnsServer(record, row, argument, value); return;
    default: {
      const IsdTextField* field = textFieldOf(fieldKeywords[row].kind);
      if (field == nullptr) return;
      value = storeFieldText(record->*(field->buffer), field->capacity, value);
      break;
    }
  }
  confirm(row, value);
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
    std::size_t row = 0;
    while (row < FieldKeywordCount && matchAssignment(argument, fieldKeywords[row].keyword, value) < 0) {
      ++row;
    }
    if (row < FieldKeywordCount) {
      applyRow(run, row, argument, value);
      run.saveRequested = 1;
      continue;
    }
    if (strcasecmp(argument, "clearset") == 0) {
      loadSampleRecord(run.record);
      run.saveRequested = 1;
      return;
    }
    std::printf("%s (%d): '%s'\n", tr("Unknown parameter"), index, argument);
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

std::size_t listedDnsServers(const ImageSafeDataStruct* record) {
  return record->dnsServerCount < IsdDnsServerSlots ? record->dnsServerCount : IsdDnsServerSlots;
}

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
    tuiOpen();
    runEditorForm(run.record, &run.saveRequested);
    tuiClose();
    if (run.saveRequested != 0) saveRecord(run);
  }
  // A status that an argument already set says more about the run and stays.
  if (run.storeFailed && run.result == 0) return ExitStoreFailed;
  return run.result;
}
