// The record and the disks of a load or save as JSON.
#include "cli/report_json.h"

#include <cstring>

#include "cli/json.h"
#include "fields/fields.h"
#include "fields/text.h"

namespace {

std::string errorText(int error) { return error < 0 ? std::strerror(-error) : "unknown error"; }

const char* stateName(DiskState state) {
  switch (state) {
    case DiskState::Absent: return "absent";
    case DiskState::Complete: return "complete";
    case DiskState::Damaged: return "damaged";
    case DiskState::Unfinished: return "unfinished";
    case DiskState::NoRecord: return "no-record";
    case DiskState::Refused: return "refused";
    case DiskState::Unusable: return "unusable";
  }
  return "unusable";
}

// Why the load did not take this disk's record, or how it took it; empty
// when there is nothing to say.
std::string loadReason(const DiskLoadResult& disk) {
  switch (disk.outcome) {
    case LoadOutcome::OpenFailed: return "cannot be opened (" + errorText(disk.error) + ")";
    case LoadOutcome::Unusable: return "not usable as a disk (" + errorText(disk.error) + ")";
    case LoadOutcome::ReadFailed: return "could not be read (" + errorText(disk.error) + ")";
    case LoadOutcome::Unfinished: return "holds a save that did not finish";
    case LoadOutcome::CutShort: return "the record runs past the end of the disk";
    case LoadOutcome::ReadJournal: return "holds a save that did not finish; its journal copy was read";
    case LoadOutcome::NotNeeded: return "a copy on another disk was read";
    case LoadOutcome::Damaged:
      return "the record is damaged; a copy on another disk or in the journal was read";
    case LoadOutcome::ReadDamaged: return "the record is damaged; no disk holds another copy";
    case LoadOutcome::NoRecord:
      return disk.state == DiskState::Refused ? "holds other data where the record goes" : "";
    case LoadOutcome::Absent:
    case LoadOutcome::Read: return "";
  }
  return "";
}

const char* resultName(DiskOutcome outcome, StoreAction action, bool planned) {
  switch (outcome) {
    case DiskOutcome::NotUsed: return "not-used";
    case DiskOutcome::Written:
      if (action == StoreAction::Save) return planned ? "would-write" : "written";
      return planned ? "would-remove" : "removed";
    case DiskOutcome::Unchanged: return "unchanged";
    case DiskOutcome::WriteFailed:
    case DiskOutcome::SyncFailed:
    case DiskOutcome::ReadFailed:
    case DiskOutcome::Unusable: return "failed";
    default: return "refused";
  }
}

std::string address(const std::uint8_t value[4]) { return jsonString(dottedQuad(value)); }

std::string optional(const std::string& text) { return text.empty() ? JsonNull : jsonString(text); }

}  // namespace

std::vector<JsonMember> recordMembers(const ImageSafeDataStruct* record) {
  std::vector<JsonMember> members;
  for (const FieldKeyword& row : fieldKeywords) {
    switch (row.value) {
      case ValueKind::Flag:
        members.push_back({row.documentedName, jsonBool((record->flags & row.flagBit) != 0)});
        break;
      case ValueKind::Text:
        members.push_back({row.documentedName, jsonString(wideToUtf8(fieldBuffer(row, record)))});
        break;
      case ValueKind::Sid: members.push_back({row.documentedName, jsonString(sidText(record->sid))}); break;
      case ValueKind::Dhcp: members.push_back({row.documentedName, jsonBool(record->DHCP != 0)}); break;
      // The stored addresses, also while DHCP is on: they are used again once it is off.
      case ValueKind::Address: members.push_back({row.documentedName, address(record->*row.address)}); break;
      // The servers in use as one list; their count is its length.
      case ValueKind::DnsServerCount: break;
      case ValueKind::DnsServer: {
        std::vector<std::string> servers;
        for (std::size_t i = 0; i < listedDnsServers(record); ++i)
          servers.push_back(address(record->dnsServer[i]));
        members.push_back({"DNSServers", jsonArray(servers)});
        break;
      }
    }
  }
  // The rest of the header, which no field assignment sets.
  members.push_back({"Version", jsonNumber(std::uint64_t{record->version})});
  members.push_back({"Flags", jsonNumber(std::uint64_t{record->flags})});
  members.push_back({"LastBaseImageTime", jsonNumber(std::int64_t{record->lastBaseImageTime})});
  members.push_back({"LastBaseImageSize", jsonNumber(std::int64_t{record->lastBaseImageSize})});
  members.push_back({"AdvScript", jsonNumber(std::int64_t{record->advScript})});
  members.push_back({"DNSServerCount", jsonNumber(std::uint64_t{record->dnsServerCount})});
  return members;
}

std::string loadDisksJson(const LoadReport& report) {
  std::vector<std::string> disks;
  for (std::size_t slot = 0; slot < report.count; ++slot) {
    const DiskLoadResult& disk = report.disks[slot];
    if (disk.outcome == LoadOutcome::Absent) continue;
    disks.push_back(jsonObject({{"path", jsonString(disk.devicePath)},
                                {"state", jsonString(stateName(disk.state))},
                                {"read", jsonBool(slot == report.source)},
                                {"generation", disk.hasGeneration ? jsonNumber(disk.generation) : JsonNull},
                                {"reason", optional(loadReason(disk))}}));
  }
  return jsonArray(disks);
}

std::string storeDisksJson(const DiskReport& report, StoreAction action, bool planned) {
  std::vector<std::string> disks;
  for (std::size_t slot = 0; slot < report.count; ++slot) {
    const DiskResult& disk = report.disks[slot];
    if (disk.outcome == DiskOutcome::NotUsed) continue;
    const std::string reason = diskOutcomeFailed(disk.outcome) ? diskFailureText(disk) : "";
    disks.push_back(jsonObject({{"path", jsonString(disk.devicePath)},
                                {"result", jsonString(resultName(disk.outcome, action, planned))},
                                {"reason", optional(reason)}}));
  }
  return jsonArray(disks);
}

bool anyDiskWritten(const DiskReport& report) {
  for (std::size_t slot = 0; slot < report.count; ++slot)
    if (report.disks[slot].outcome == DiskOutcome::Written) return true;
  return false;
}
