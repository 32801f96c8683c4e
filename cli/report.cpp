// Standard-error lines for locks and loads that failed and for disks that a
// save or removal did not reach.
#include "cli/report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "program/program.h"
#include "store/journal.h"
#include "store/record.h"

namespace {

const char* readFrom(const LoadReport& report) {
  return report.source < report.count ? report.disks[report.source].devicePath : nullptr;
}

// Why journal area `area` of a disk was not written, in a few words.
std::string journalRefusal(DiskOutcome outcome, std::size_t area = 0) {
  const std::uint32_t offset = JournalAreaOffsets[area < JournalAreaCount ? area : 0];
  const std::string from = "the bytes from " + std::to_string(offset) + " on";
  switch (outcome) {
    case DiskOutcome::RefusedTooSmall:
      return "the disk ends before byte " + std::to_string(offset + JournalAreaLength);
    case DiskOutcome::RefusedGpt: return from + " lie inside the GUID partition table";
    case DiskOutcome::RefusedPartition:
      return "a partition starts at or before the sectors from byte " + std::to_string(offset) + " on";
    case DiskOutcome::RefusedForeignData: return from + " hold other data";
    default: return diskOutcomeText(outcome);
  }
}

const char* pathOf(const DiskResult& disk) { return disk.devicePath != nullptr ? disk.devicePath : "?"; }

// The line for a disk that did not take what it should have, or would not.
void reportDiskFailure(const DiskResult& disk) {
  std::fprintf(stderr, "%s: %s: %s\n", programName(), pathOf(disk), diskFailureText(disk).c_str());
}

}  // namespace

std::string diskFailureText(const DiskResult& disk) {
  std::string text = diskOutcomeText(disk.outcome);
  if (disk.outcome == DiskOutcome::RefusedStaleJournal) {
    const std::size_t cut = text.find(';');
    text.insert(cut, " (" + journalRefusal(disk.journal, disk.journalArea) + ")");
  }
  if (disk.user[0] != '\0') text += std::string(" (") + disk.user + ")";
  if (disk.error < 0) text += std::string(" (") + std::strerror(-disk.error) + ")";
  if (disk.outcome == DiskOutcome::RefusedGpt && disk.gptRemedyLba != 0)
    text += "; to make room, move the table's partition entry array with: sgdisk --move-main-table=" +
            std::to_string(disk.gptRemedyLba) + " " + pathOf(disk);
  return text;
}

std::string lockFailureText(std::size_t slot, int error, bool editor) {
  const std::string path = slot < diskTable.count ? diskTable.slots[slot].devicePath : "?";
  const std::string consequence = editor ? "nothing was written" : "nothing was read";
  if (error == -EWOULDBLOCK)
    return path + " is in use by another run of wexedit or wexview; gave up after " +
           std::to_string(DiskLockWaitMilliseconds / 1000) + " seconds; " + consequence;
  return path + " could not be locked (" + std::strerror(-error) + "); " + consequence;
}

namespace {

// The line (after the program's name) for a disk whose record the load did
// not take as it stands; empty when there is nothing to say. `source` is the
// disk the record was read from, if any.
std::string loadLine(const DiskLoadResult& disk, const char* source) {
  const std::string path = disk.devicePath != nullptr ? disk.devicePath : "?";
  const std::string at = std::to_string(IsdStoreOffset);
  const std::string error = std::strerror(-disk.error);
  switch (disk.outcome) {
    case LoadOutcome::OpenFailed: return path + ": cannot be opened (" + error + ")";
    // Every node that opened but does not answer as a disk may hide a copy
    // of the record: say why it is not used.
    case LoadOutcome::Unusable: return path + ": not usable as a disk (" + error + ")";
    case LoadOutcome::Damaged:
      if (source == disk.devicePath)
        return path + ": the image-safe data at byte " + at +
               " is damaged; the image-safe data was read from its journal copy";
      if (source == nullptr) return "";
      return path + ": the image-safe data at byte " + at +
             " is damaged; the image-safe data was read from " + source;
    case LoadOutcome::ReadDamaged:
      return path + ": the image-safe data at byte " + at +
             " is damaged and no disk holds another copy; it was read as far as it goes";
    case LoadOutcome::ReadFailed: return path + ": the bytes at " + at + " could not be read (" + error + ")";
    case LoadOutcome::ReadJournal:
      return path + " holds a save that did not finish; the image-safe data was read from its journal copy";
    case LoadOutcome::CutShort:
      return path + ": the image-safe data runs past the end of the disk; it was passed over";
    case LoadOutcome::Unfinished:
      if (source != nullptr)
        return path + " holds a save that did not finish; the image-safe data was read from " + source;
      return path + " holds a save that did not finish; no disk holds complete image-safe data";
    default: return "";
  }
}

}  // namespace

void reportLoad(const LoadReport& report) {
  const char* source = readFrom(report);
  for (std::size_t slot = 0; slot < report.count; ++slot) {
    const std::string line = loadLine(report.disks[slot], source);
    if (!line.empty()) std::fprintf(stderr, "%s: %s\n", programName(), line.c_str());
  }
}

std::string loadFailureText(int status, bool editor) {
  switch (status) {
    case IsdNoMemory: return "not enough memory to read the image-safe data; nothing was written";
    case IsdReadFailed:
      return editor ? "the image-safe data could not be read; nothing was written"
                    : "no disk holds image-safe data, and a disk could not be read";
    case IsdNoDevice: return editor ? "" : "no usable disk; the image-safe data could not be read";
    default: return "";
  }
}

bool loadStopsRun(int status, bool editor) {
  return status == IsdNoMemory || (editor && status == IsdReadFailed);
}

std::string noUsableDiskText(StoreAction action, bool planned) {
  const char* done = action == StoreAction::Save ? "written" : "removed";
  return std::string("no usable disk; the image-safe data ") + (planned ? "could not be " : "was not ") +
         done;
}

void reportStoreFailure(int status, const DiskReport& report, StoreAction storeAction) {
  if (status == IsdNoDevice) {
    std::fprintf(stderr, "%s: %s\n", programName(), noUsableDiskText(storeAction, false).c_str());
    return;
  }
  const char* action = storeAction == StoreAction::Save ? "written" : "removed";
  bool failed = false;
  for (std::size_t slot = 0; slot < report.count; ++slot) {
    const DiskResult& disk = report.disks[slot];
    if (!diskOutcomeFailed(disk.outcome)) {
      if (disk.outcome != DiskOutcome::NotUsed && diskOutcomeFailed(disk.journal))
        std::fprintf(stderr,
                     "%s: %s: the disk has no journal copy (%s); the image-safe data was %s without one\n",
                     programName(), pathOf(disk), journalRefusal(disk.journal).c_str(), action);
      continue;
    }
    failed = true;
    reportDiskFailure(disk);
  }
  if (status < 0 && !failed) {
    std::fprintf(stderr, "%s: the image-safe data was not %s (status %d)\n", programName(), action, status);
  }
}

void reportPlannedStore(int status, const DiskReport& report, StoreAction action, std::FILE* out) {
  const bool save = action == StoreAction::Save;
  if (status == IsdNoDevice) {
    std::fprintf(stderr, "%s: %s\n", programName(), noUsableDiskText(action, true).c_str());
    return;
  }
  bool failed = false;
  for (std::size_t slot = 0; slot < report.count; ++slot) {
    const DiskResult& disk = report.disks[slot];
    const char* what = nullptr;
    switch (disk.outcome) {
      case DiskOutcome::NotUsed: continue;
      case DiskOutcome::Written:
        what = save ? "the image-safe data would be written" : "the image-safe data would be removed";
        if (save && diskOutcomeFailed(disk.journal))
          std::fprintf(stderr,
                       "%s: %s: the disk has no journal copy (%s); the image-safe data would be written "
                       "without one\n",
                       programName(), pathOf(disk), journalRefusal(disk.journal).c_str());
        break;
      case DiskOutcome::Unchanged:
        what = save ? "already holds this image-safe data" : "holds no image-safe data";
        break;
      default:
        failed = true;
        reportDiskFailure(disk);
        what = save ? "the image-safe data would not be written" : "the image-safe data would not be removed";
        break;
    }
    std::fprintf(out, "Dry run: %s: %s\n", pathOf(disk), what);
  }
  if (status < 0 && !failed) {
    std::fprintf(stderr, "%s: the image-safe data could not be %s (status %d)\n", programName(),
                 save ? "written" : "removed", status);
  }
}
