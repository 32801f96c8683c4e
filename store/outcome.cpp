#include "store/outcome.h"

#include "store/numbered_text.h"
#include "store/record.h"

namespace {

constexpr NumberedText ReadFailedText =
    numberedText("the bytes at ", IsdStoreOffset, " could not be read to check them; nothing was written");
constexpr NumberedText RefusedGptText =
    numberedText("byte ", IsdStoreOffset,
                 " lies inside the GUID partition table; the image-safe data was not written there");
constexpr NumberedText RefusedForeignText =
    numberedText("byte ", IsdStoreOffset, " holds other data; the image-safe data was not written there");

}  // namespace

bool diskOutcomeFailed(DiskOutcome outcome) {
  return outcome != DiskOutcome::NotUsed && outcome != DiskOutcome::Written &&
         outcome != DiskOutcome::Unchanged;
}

const char* diskOutcomeText(DiskOutcome outcome) {
  switch (outcome) {
    case DiskOutcome::NotUsed: return "not used";
    case DiskOutcome::Written: return "written";
    case DiskOutcome::Unchanged: return "no image-safe data present; nothing was written";
    case DiskOutcome::WriteFailed: return "the write failed; the image-safe data was not written completely";
    case DiskOutcome::SyncFailed: return "the written data could not be synced to the disk";
    case DiskOutcome::ReadFailed: return ReadFailedText.text;
    case DiskOutcome::RefusedGpt: return RefusedGptText.text;
    case DiskOutcome::RefusedBootLoader:
      return "the boot loader keeps its code in the sectors after the MBR; the image-safe data was not "
             "written there";
    case DiskOutcome::RefusedFileSystem:
      return "the disk holds a file system without a partition table; the image-safe data was not written "
             "there";
    case DiskOutcome::RefusedForeignData: return RefusedForeignText.text;
    case DiskOutcome::RefusedDiskUser:
      return "the whole disk is in use by a file system, RAID set, volume group or swap area; the "
             "image-safe data was not written there";
    case DiskOutcome::RefusedPartition:
      return "a partition starts at or before the sectors of the image-safe data; the image-safe data was "
             "not written there";
    case DiskOutcome::RefusedTooSmall:
      return "the disk ends before the image-safe data would; it was not written there";
    case DiskOutcome::RefusedStaleJournal:
      return "a journal copy lies where the disk no longer leaves room for one; the image-safe data was not "
             "written there";
    case DiskOutcome::Unusable:
      return "the disk could not be used; the image-safe data was not written there";
  }
  return "unknown";
}
