#include "store/guard.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "store/bytes.h"
#include "store/format.h"
#include "store/journal.h"

namespace {

constexpr std::size_t MbrBootCodeLength = 440;
constexpr std::size_t MbrPartitionTable = 446;
constexpr std::uint8_t ProtectiveMbrType = 0xEE;
constexpr std::size_t MbrPartitionCount = 4;
constexpr std::size_t MbrEntryLength = 16;
constexpr std::size_t MbrEntryTypeAt = 4;
constexpr std::size_t MbrEntryStartAt = 8;  // first sector, 32 bits
constexpr std::size_t MbrBootSignatureAt = 510;
constexpr std::size_t MbrLength = 512;
constexpr std::size_t GptHeaderMinimum = 92;
constexpr std::size_t GptEntryLbaAt = 72;  // 64 bits
constexpr std::size_t GptEntryCountAt = 80;
constexpr std::size_t GptEntrySizeAt = 84;
constexpr std::uint32_t SectorSizesChecked[] = {512, 4096};

// Markers in the MBR boot code of boot loaders that keep code or data in the
// sectors right after the MBR.
constexpr std::string_view GapBootLoaders[] = {"GRUB", "TrueCrypt Boot Loader", "VeraCrypt Boot Loader"};

// A signature at a fixed offset from the start of the disk.
struct Mark {
  std::size_t offset;
  std::string_view magic;
};

// A file system that starts at the first byte of the disk (no partition
// table): the sectors around the store offset are its own.
constexpr Mark WholeDiskFileSystems[] = {
    {1080, std::string_view("\x53\xEF", 2)},  // ext2, ext3, ext4 superblock
    {0, "XFSB"},
    {3, "NTFS    "},
    {3, "EXFAT   "},
    {54, "FAT1"},  // FAT12 and FAT16 boot sector
    {82, "FAT32   "},
    {65600, "_BHRfS_M"},  // btrfs
    {0, "LUKS\xBA\xBE"},
};

// Other users of a whole disk, by the names libblkid gives them.
struct UserMark {
  Mark mark;
  const char* user;
};
constexpr std::string_view MdMagic("\xFC\x4E\x2B\xA9", 4);  // 0xa92b4efc, little-endian
constexpr UserMark WholeDiskUsers[] = {
    // Swap areas and hibernation images end their first page with their name;
    // the page is 4 KiB on x86 and up to 64 KiB elsewhere.
    {{4096 - 10, "SWAPSPACE2"}, "swap"},
    {{4096 - 10, "SWAP-SPACE"}, "swap"},
    {{8192 - 10, "SWAPSPACE2"}, "swap"},
    {{16384 - 10, "SWAPSPACE2"}, "swap"},
    {{65536 - 10, "SWAPSPACE2"}, "swap"},
    {{4096 - 10, "S1SUSPEND"}, "swsuspend"},
    {{4096 - 10, "S2SUSPEND"}, "swsuspend"},
    {{4096 - 10, "ULSUSPEND"}, "swsuspend"},
    {{4096 - 10, "LINHIB0001"}, "swsuspend"},
    // LVM2 physical volume label, in one of the first four sectors.
    {{0 * 512 + 24, "LVM2 001"}, "LVM2_member"},
    {{1 * 512 + 24, "LVM2 001"}, "LVM2_member"},
    {{2 * 512 + 24, "LVM2 001"}, "LVM2_member"},
    {{3 * 512 + 24, "LVM2 001"}, "LVM2_member"},
    // MD RAID superblocks 1.1 (at the start) and 1.2 (4 KiB in).
    {{0, MdMagic}, "linux_raid_member"},
    {{4096, MdMagic}, "linux_raid_member"},
};
constexpr const char* MdUser = "linux_raid_member";

bool marked(const std::uint8_t* bytes, std::size_t length, const Mark& mark) {
  return length >= mark.offset + mark.magic.size() &&
         std::memcmp(bytes + mark.offset, mark.magic.data(), mark.magic.size()) == 0;
}

bool wholeDiskFileSystem(const std::uint8_t* head, std::size_t length) {
  return std::any_of(std::begin(WholeDiskFileSystems), std::end(WholeDiskFileSystems),
                     [&](const Mark& mark) { return marked(head, length, mark); });
}

// The MD RAID superblocks kept near the end of a member: 0.90 in the last
// 64 KiB-aligned 64 KiB, 1.0 8 KiB before the end, 4 KiB-aligned.
constexpr std::uint64_t Md090Block = 64 * 1024;
constexpr std::uint64_t Md10Before = 8 * 1024;
constexpr std::uint64_t Md10Alignment = 4 * 1024;
constexpr std::uint64_t MdSmallestMember = 2 * Md090Block;

bool tailRaidMember(const GuardDisk& disk) {
  if (disk.tail == nullptr || disk.deviceBytes < MdSmallestMember) return false;
  const std::uint64_t at[] = {(disk.deviceBytes & ~(Md090Block - 1)) - Md090Block,
                              (disk.deviceBytes - Md10Before) & ~(Md10Alignment - 1)};
  return std::any_of(std::begin(at), std::end(at), [&](std::uint64_t offset) {
    return offset >= disk.tailOffset &&
           marked(disk.tail, disk.tailLength, {static_cast<std::size_t>(offset - disk.tailOffset), MdMagic});
  });
}

const char* wholeDiskUser(const GuardDisk& disk) {
  for (const UserMark& entry : WholeDiskUsers)
    if (marked(disk.head, disk.headLength, entry.mark)) return entry.user;
  return tailRaidMember(disk) ? MdUser : nullptr;
}

bool overlaps(std::uint64_t start, std::uint64_t end, std::uint64_t otherStart, std::uint64_t otherEnd) {
  return start < otherEnd && otherStart < end;
}

const std::uint8_t* gptHeader(const std::uint8_t* head, std::size_t length, std::uint32_t sectorSize) {
  if (sectorSize < 512 || length < sectorSize + GptHeaderMinimum) return nullptr;
  const std::uint8_t* header = head + sectorSize;
  return std::memcmp(header, "EFI PART", 8) == 0 ? header : nullptr;
}

// A GUID partition table header at `sectorSize`, whose header sector or
// partition entry array overlaps [start, end).
bool gptOverlaps(const std::uint8_t* head, std::size_t length, std::uint32_t sectorSize, std::uint64_t start,
                 std::uint64_t end) {
  const std::uint8_t* header = gptHeader(head, length, sectorSize);
  if (header == nullptr) return false;
  if (overlaps(start, end, sectorSize, std::uint64_t{sectorSize} * 2)) return true;
  const std::uint64_t entryLba = isdGetU64(header + GptEntryLbaAt);
  const std::uint64_t entryCount = isdGetU32(header + GptEntryCountAt);
  const std::uint64_t entrySize = isdGetU32(header + GptEntrySizeAt);
  const std::uint64_t entryStart = entryLba * sectorSize;
  // A header whose entry array cannot be located is taken to cover everything.
  if (entryLba == 0 || entryLba > (1ULL << 40)) return true;
  const std::uint64_t arrayBytes = std::max<std::uint64_t>(entryCount * entrySize, 1);
  const std::uint64_t arrayEnd = entryStart + (arrayBytes + sectorSize - 1) / sectorSize * sectorSize;
  return overlaps(start, end, entryStart, arrayEnd);
}

// A partition of a GUID partition table at `sectorSize` that starts within
// or before the sectors holding [0, end). An entry array the head does not
// hold cannot be read, and is taken to hold such a partition.
constexpr std::size_t GptEntryFirstLbaAt = 32;
constexpr std::size_t GptEntryTypeLength = 16;
constexpr std::uint64_t GptEntriesRead = 1024;
bool gptPartitionReaches(const std::uint8_t* head, std::size_t length, std::uint32_t sectorSize,
                         std::uint64_t end) {
  const std::uint8_t* header = gptHeader(head, length, sectorSize);
  if (header == nullptr) return false;
  const std::uint64_t entryLba = isdGetU64(header + GptEntryLbaAt);
  const std::uint64_t entryCount =
      std::min<std::uint64_t>(isdGetU32(header + GptEntryCountAt), GptEntriesRead);
  const std::uint64_t entrySize = isdGetU32(header + GptEntrySizeAt);
  if (entryLba == 0 || entryLba > (1ULL << 40) || entrySize < GptEntryFirstLbaAt + 8 || entrySize > 4096)
    return true;
  const std::uint64_t first = entryLba * sectorSize;
  if (first + entryCount * entrySize > length) return true;
  for (std::uint64_t i = 0; i < entryCount; ++i) {
    const std::uint8_t* entry = head + first + i * entrySize;
    if (isdAllZero(entry, 0, GptEntryTypeLength)) continue;
    if (isdGetU64(entry + GptEntryFirstLbaAt) * sectorSize < end) return true;
  }
  return false;
}

bool hasGpt(const GuardDisk& disk) {
  for (std::uint32_t size : SectorSizesChecked)
    if (gptHeader(disk.head, disk.headLength, size) != nullptr) return true;
  return gptHeader(disk.head, disk.headLength, disk.sectorSize) != nullptr;
}

bool hasBootSignature(const std::uint8_t* head, std::size_t length) {
  return length >= MbrLength && head[MbrBootSignatureAt] == 0x55 && head[MbrBootSignatureAt + 1] == 0xAA;
}

bool gapBootLoader(const std::uint8_t* head, std::size_t length) {
  if (!hasBootSignature(head, length)) return false;
  const std::string_view code(reinterpret_cast<const char*>(head), MbrBootCodeLength);
  return std::any_of(std::begin(GapBootLoaders), std::end(GapBootLoaders),
                     [&](std::string_view marker) { return code.find(marker) != std::string_view::npos; });
}

// An MBR partition in use that starts within or before the sectors holding
// [0, end). The protective entry of a GUID partition table is left to the GPT
// rule when the table is there.
bool partitionReaches(const GuardDisk& disk, std::uint64_t end) {
  if (!hasBootSignature(disk.head, disk.headLength)) return false;
  const std::uint64_t sector =
      disk.sectorSize >= MbrLength && disk.sectorSize % MbrLength == 0 ? disk.sectorSize : MbrLength;
  const std::uint64_t lastSectorEnd = (end + sector - 1) / sector * sector;
  const bool gpt = hasGpt(disk);
  for (std::size_t i = 0; i < MbrPartitionCount; ++i) {
    const std::uint8_t* entry = disk.head + MbrPartitionTable + MbrEntryLength * i;
    const std::uint8_t type = entry[MbrEntryTypeAt];
    if (type == 0 || (type == ProtectiveMbrType && gpt)) continue;
    if (isdGetU32(entry + MbrEntryStartAt) * sector < lastSectorEnd) return true;
  }
  return false;
}

// The rules of the disk's layout for a write of [start, end): partition
// tables, boot loaders, file systems and other users of the whole disk.
DiskOutcome layoutVerdict(const GuardDisk& disk, std::uint64_t start, std::uint64_t end, const char** user) {
  *user = nullptr;
  const std::uint8_t* head = disk.head;
  const std::size_t length = disk.headLength;
  for (std::uint32_t size : SectorSizesChecked)
    if (gptOverlaps(head, length, size, start, end)) return DiskOutcome::RefusedGpt;
  if (disk.sectorSize != 512 && disk.sectorSize != 4096 &&
      gptOverlaps(head, length, disk.sectorSize, start, end))
    return DiskOutcome::RefusedGpt;
  if (gapBootLoader(head, length)) return DiskOutcome::RefusedBootLoader;
  if (wholeDiskFileSystem(head, length)) return DiskOutcome::RefusedFileSystem;
  if ((*user = wholeDiskUser(disk)) != nullptr) return DiskOutcome::RefusedDiskUser;
  if (partitionReaches(disk, end)) return DiskOutcome::RefusedPartition;
  for (const std::uint32_t size : {std::uint32_t{512}, std::uint32_t{4096}, disk.sectorSize})
    if (gptPartitionReaches(head, length, size, end)) return DiskOutcome::RefusedPartition;
  return DiskOutcome::Written;
}

}  // namespace

std::size_t guardOwnedLength(const std::uint8_t* store, std::size_t length) {
  if (length < IsdSignatureLength) return 0;
  std::size_t ours = 0;
  switch (isdSignatureStateOf(store)) {
    case IsdSignatureState::Complete:
    case IsdSignatureState::Unfinished:
      // The header is ours whatever the length word says; so is what it
      // claims, but never more than the longest record its header can frame:
      // a damaged length word must not make someone else's bytes ours.
      if (isdFramingAddsUp(store, length)) {
        ours = isdStoredLength(store, length, length);  // framing that adds up ends within the bytes
      } else if (isdSignatureStateOf(store) == IsdSignatureState::Complete) {
        // A complete record was finished with its length words as written:
        // where they no longer add up, it owns only what they still frame.
        ours = isdFramedLength(store, length);
      } else {
        ours = std::max<std::size_t>(isdStoredLength(store, length, isdLongestRecord(store, length)),
                                     IsdHeaderLength);
      }
      break;
    case IsdSignatureState::Vacant:
      ours = guardIsRemovedRecord(store, length)        ? isdStoredLength(store, length, length)
             : isdAllZero(store, 0, IsdSignatureLength) ? 0
                                                        : IsdSignatureLength;
      break;
    case IsdSignatureState::Foreign: break;
  }
  return std::min(ours, length);
}

std::size_t guardRecordExtent(const std::uint8_t* head, std::size_t length) {
  if (length <= IsdStoreOffset) return 0;
  const std::uint8_t* store = head + IsdStoreOffset;
  const std::size_t storeLength = length - IsdStoreOffset;
  const std::size_t own = guardOwnedLength(store, storeLength);
  if (storeLength < IsdSignatureLength || isdSignatureStateOf(store) == IsdSignatureState::Foreign)
    return own;
  std::size_t claim = own;
  const auto claimRecord = [&](RecordKey key, std::size_t longest) {
    claim = std::max(claim, std::min<std::size_t>(key.length, longest));
  };
  for (std::size_t area = 0; area < JournalAreaCount; ++area) {
    const JournalBytes bytes = journalBytes(head, length, area);
    if (bytes.bytes == nullptr) continue;
    const JournalCopy copy = journalDecode(bytes.bytes, bytes.length);
    if (copy.valid) {
      const std::size_t longest = isdLongestRecord(copy.record, copy.recordLength);
      claimRecord(copy.key(), longest);
      claimRecord(copy.replaced, longest);
    }
    if (const JournalSeal seal = journalSealOf(bytes.bytes, bytes.length); seal.valid)
      claimRecord(seal.record, isdLongestRecord(store, storeLength));
  }
  return std::min(claim, storeLength);
}

JournalBytes journalBytes(const std::uint8_t* head, std::size_t length, std::size_t area) {
  const std::uint32_t offset = JournalAreaOffsets[area];
  if (length <= offset) return {};
  return {head + offset, std::min<std::size_t>(length - offset, JournalAreaLength)};
}

JournalCopy journalOf(const std::uint8_t* head, std::size_t length, std::size_t* area) {
  JournalCopy newest;
  if (area != nullptr) *area = NoJournalArea;
  for (std::size_t i = 0; i < JournalAreaCount; ++i) {
    const JournalBytes bytes = journalBytes(head, length, i);
    if (bytes.bytes == nullptr) continue;
    const JournalCopy copy = journalDecode(bytes.bytes, bytes.length);
    if (journalNewer(copy, newest)) {
      newest = copy;
      if (area != nullptr) *area = i;
    }
  }
  return newest;
}

bool guardIsRemovedRecord(const std::uint8_t* record, std::size_t length) {
  return length >= IsdHeaderLength && isdSignatureStateOf(record) == IsdSignatureState::Vacant &&
         isdFramingAddsUp(record, length);
}

DiskOutcome guardDisk(const GuardDisk& disk, std::size_t rangeLength, const char** user) {
  const std::uint64_t start = IsdStoreOffset;
  const std::uint64_t end = start + rangeLength;
  if (const DiskOutcome verdict = layoutVerdict(disk, start, end, user); verdict != DiskOutcome::Written)
    return verdict;

  // Only the bytes the disk has can hold anything; past its end nothing is lost.
  const std::uint8_t* head = disk.head;
  const std::size_t length = disk.headLength;
  const std::size_t rangeEnd = static_cast<std::size_t>(std::min<std::uint64_t>(end, length));
  if (rangeEnd <= start) return DiskOutcome::Written;
  const std::uint8_t* at = head + start;
  const std::size_t present = rangeEnd - static_cast<std::size_t>(start);
  const std::size_t ours = std::min(guardRecordExtent(head, length), present);
  return isdAllZero(at, ours, present) ? DiskOutcome::Written : DiskOutcome::RefusedForeignData;
}

DiskOutcome guardJournalArea(const GuardDisk& disk, std::size_t area, const char** user) {
  *user = nullptr;
  const std::uint32_t offset = JournalAreaOffsets[area];
  const std::uint64_t end = std::uint64_t{offset} + JournalAreaLength;
  const std::uint64_t size = disk.deviceBytes != 0 ? disk.deviceBytes : disk.headLength;
  if (size < end || disk.headLength < end) return DiskOutcome::RefusedTooSmall;
  if (const DiskOutcome verdict = layoutVerdict(disk, offset, end, user); verdict != DiskOutcome::Written)
    return verdict;
  const JournalAreaState state = journalAreaOf(disk.head + offset, JournalAreaLength);
  if (state == JournalAreaState::Foreign) return DiskOutcome::RefusedForeignData;
  // A complete record whose stored length reaches the journal area is read
  // with those bytes: unless a journal copy of ours is there, they are the
  // record's.
  const std::uint8_t* store = disk.head + IsdStoreOffset;
  if (state != JournalAreaState::Ours && isdSignatureStateOf(store) == IsdSignatureState::Complete &&
      guardOwnedLength(store, disk.headLength - IsdStoreOffset) > offset - IsdStoreOffset)
    return DiskOutcome::RefusedForeignData;
  return DiskOutcome::Written;
}

JournalAreaVerdicts guardJournalAreas(const GuardDisk& disk) {
  JournalAreaVerdicts verdicts;
  for (std::size_t area = 0; area < JournalAreaCount; ++area)
    verdicts.outcome[area] = guardJournalArea(disk, area, &verdicts.user[area]);
  return verdicts;
}

std::size_t guardFirstJournalArea(const JournalAreaVerdicts& verdicts) {
  for (std::size_t area = 0; area < JournalAreaCount; ++area)
    if (verdicts.outcome[area] == DiskOutcome::Written) return area;
  return NoJournalArea;
}

std::uint64_t guardGptRemedy(const GuardDisk& disk, std::size_t rangeLength, std::uint32_t* sectorSize) {
  const std::uint64_t start = IsdStoreOffset;
  const std::uint64_t end = std::max<std::uint64_t>(start + rangeLength, JournalEnd);
  for (const std::uint32_t size : {std::uint32_t{512}, std::uint32_t{4096}, disk.sectorSize}) {
    if (!gptOverlaps(disk.head, disk.headLength, size, start, end)) continue;
    *sectorSize = size;
    // The header sector stays where it is, whatever becomes of the array.
    if (overlaps(start, start + rangeLength, size, std::uint64_t{size} * 2)) return 0;
    return (std::uint64_t{JournalEnd} + size - 1) / size;
  }
  return 0;
}

DiskOutcome guardStoreRange(const std::uint8_t* head, std::size_t length, std::size_t writeLength,
                            std::uint32_t sectorSize) {
  GuardDisk disk;
  disk.head = head;
  disk.headLength = length;
  disk.sectorSize = sectorSize;
  const char* user = nullptr;
  return guardDisk(disk, writeLength, &user);
}
