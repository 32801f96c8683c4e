#include "store/guard.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "store/format.h"

namespace {

constexpr std::size_t MbrBootCodeLength = 440;
constexpr std::size_t GptHeaderMinimum = 92;
constexpr std::uint32_t SectorSizesChecked[] = {512, 4096};

// Markers in the MBR boot code of boot loaders that keep code or data in the
// sectors right after the MBR.
constexpr std::string_view GapBootLoaders[] = {"GRUB", "TrueCrypt Boot Loader", "VeraCrypt Boot Loader"};

// A file system that starts at the first byte of the disk (no partition
// table): the sectors around the store offset are its own.
struct FileSystemMark {
  std::size_t offset;
  std::string_view magic;
};
constexpr FileSystemMark WholeDiskFileSystems[] = {
    {1080, std::string_view("\x53\xEF", 2)},  // ext2, ext3, ext4 superblock
    {0, "XFSB"},
    {3, "NTFS    "},
    {3, "EXFAT   "},
    {54, "FAT1"},  // FAT12 and FAT16 boot sector
    {82, "FAT32   "},
    {65600, "_BHRfS_M"},  // btrfs
    {0, "LUKS\xBA\xBE"},
};

bool wholeDiskFileSystem(const std::uint8_t* head, std::size_t length) {
  return std::any_of(std::begin(WholeDiskFileSystems), std::end(WholeDiskFileSystems),
                     [&](const FileSystemMark& mark) {
                       return length >= mark.offset + mark.magic.size() &&
                              std::memcmp(head + mark.offset, mark.magic.data(), mark.magic.size()) == 0;
                     });
}

bool overlaps(std::uint64_t start, std::uint64_t end, std::uint64_t otherStart, std::uint64_t otherEnd) {
  return start < otherEnd && otherStart < end;
}

bool allZero(const std::uint8_t* bytes, std::size_t from, std::size_t to) {
  return std::all_of(bytes + from, bytes + to, [](std::uint8_t b) { return b == 0; });
}

// A GUID partition table header at `sectorSize`, whose header sector or
// partition entry array overlaps [start, end).
bool gptOverlaps(const std::uint8_t* head, std::size_t length, std::uint32_t sectorSize, std::uint64_t start,
                 std::uint64_t end) {
  if (sectorSize < 512 || length < sectorSize + GptHeaderMinimum) return false;
  const std::uint8_t* header = head + sectorSize;
  if (std::memcmp(header, "EFI PART", 8) != 0) return false;
  if (overlaps(start, end, sectorSize, std::uint64_t{sectorSize} * 2)) return true;
  const std::uint64_t entryLba = isdGetU64(header + 72);
  const std::uint64_t entryCount = isdGetU32(header + 80);
  const std::uint64_t entrySize = isdGetU32(header + 84);
  const std::uint64_t entryStart = entryLba * sectorSize;
  // A header whose entry array cannot be located is taken to cover everything.
  if (entryLba == 0 || entryLba > (1ULL << 40)) return true;
  const std::uint64_t arrayBytes = std::max<std::uint64_t>(entryCount * entrySize, 1);
  const std::uint64_t arrayEnd = entryStart + (arrayBytes + sectorSize - 1) / sectorSize * sectorSize;
  return overlaps(start, end, entryStart, arrayEnd);
}

bool gapBootLoader(const std::uint8_t* head, std::size_t length) {
  if (length < 512 || head[510] != 0x55 || head[511] != 0xAA) return false;
  const std::string_view code(reinterpret_cast<const char*>(head), MbrBootCodeLength);
  return std::any_of(std::begin(GapBootLoaders), std::end(GapBootLoaders),
                     [&](std::string_view marker) { return code.find(marker) != std::string_view::npos; });
}

}  // namespace

bool guardIsRemovedRecord(const std::uint8_t* record, std::size_t length) {
  return length >= IsdHeaderLength && allZero(record, 0, 4) && isdFramingAddsUp(record, length);
}

DiskOutcome guardStoreRange(const std::uint8_t* head, std::size_t length, std::size_t writeLength,
                            std::uint32_t sectorSize) {
  const std::uint64_t start = IsdStoreOffset;
  const std::uint64_t end = start + writeLength;
  for (std::uint32_t size : SectorSizesChecked)
    if (gptOverlaps(head, length, size, start, end)) return DiskOutcome::RefusedGpt;
  if (sectorSize != 512 && sectorSize != 4096 && gptOverlaps(head, length, sectorSize, start, end))
    return DiskOutcome::RefusedGpt;
  if (gapBootLoader(head, length)) return DiskOutcome::RefusedBootLoader;
  if (wholeDiskFileSystem(head, length)) return DiskOutcome::RefusedFileSystem;

  // Only the bytes the disk has can hold anything; past its end nothing is lost.
  const std::size_t rangeEnd = static_cast<std::size_t>(std::min<std::uint64_t>(end, length));
  if (rangeEnd <= start) return DiskOutcome::Written;
  const std::uint8_t* at = head + start;
  const std::size_t present = rangeEnd - static_cast<std::size_t>(start);

  std::size_t ours = 0;  // bytes of the range that hold our own (possibly removed) record
  if (present >= 4 && std::memcmp(at, IsdSignature, 4) == 0) {
    // The header is ours whatever the stored length says; so is what it claims.
    ours = std::max<std::size_t>(
        present >= IsdTotalLengthOffset + 4 ? isdGetU32(at + IsdTotalLengthOffset) : 0, IsdHeaderLength);
  } else if (guardIsRemovedRecord(at, length - static_cast<std::size_t>(start))) {
    ours = isdGetU32(at + IsdTotalLengthOffset);
  }
  ours = std::min(ours, present);
  return allZero(at, ours, present) ? DiskOutcome::Written : DiskOutcome::RefusedForeignData;
}
