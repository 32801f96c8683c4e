// Which names a disk of the workstation may have, and in which order they are
// taken. Pure: names in, classes and order out; no I/O.
#pragma once

#include <cstddef>

inline constexpr std::size_t DiskSlotCount = 12;  // the fixed candidates /dev/hda .. /dev/sdh
inline constexpr std::size_t DiskNameMax = 32;    // a name in /sys/block, with its terminator

// The fixed candidates, in the order they are tried.
inline constexpr const char* FixedDiskPaths[DiskSlotCount] = {
    "/dev/hda", "/dev/hdb", "/dev/hdc", "/dev/hdd", "/dev/sda", "/dev/sdb",
    "/dev/sdc", "/dev/sdd", "/dev/sde", "/dev/sdf", "/dev/sdg", "/dev/sdh",
};

// True for an IDE disk's path (/dev/hd*, in any case).
bool isIdePath(const char* path);

// The groups of whole disks taken beyond the fixed candidates, in their order.
enum class ExtraGroup { Nvme, Virtio, Xen, Scsi, None };

struct ExtraName {
  ExtraGroup group = ExtraGroup::None;
  unsigned long first = 0, second = 0;  // NVMe controller and namespace
  std::size_t letters = 0;              // where the letters after vd, xvd or sd start
  char name[DiskNameMax] = {};
};

// The group of a name in /sys/block (None for anything that is no whole disk
// taken beyond the fixed candidates: a partition, sda to sdh, a name too long).
ExtraName classifyDiskName(const char* name);
// The order the extra disks are taken in: by group, NVMe by controller and
// namespace number, the others in the kernel's naming order (sdz before sdaa).
bool diskNameBefore(const ExtraName& a, const ExtraName& b);
