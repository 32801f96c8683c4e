// The lookup index of the four name tables, generated with them into
// name_index.cpp: for each table, the first row that carries an ID, found by
// hashing the ID. Only small integers in read-only data, so the index needs
// no relocation at load; the rows themselves are read through the tables.
#ifndef DEVNAME_NAME_INDEX_H
#define DEVNAME_NAME_INDEX_H

#include <cstddef>
#include <cstdint>

#include "devname_internal.h"

// Rows, IDs and bucket bounds are stored as 16-bit numbers.
constexpr std::size_t IndexRowLimit = 0xFFFF;
static_assert(QorPciVendorsCount <= IndexRowLimit && QorPciDevicesCount <= IndexRowLimit &&
                  PciVenTableCount <= IndexRowLimit && PciDevTableCount <= IndexRowLimit,
              "a name table outgrew its 16-bit index");

constexpr uint32_t IndexHashMultiplier = 0x9E3779B1u;

// A table has the fewest buckets, a power of two, that are at least as many
// as its rows, and never fewer than two.
constexpr unsigned indexBucketBits(std::size_t rows) {
  unsigned bits = 1;
  while ((std::size_t{1} << bits) < rows) {
    ++bits;
  }
  return bits;
}

constexpr std::size_t indexBucketCount(std::size_t rows) { return std::size_t{1} << indexBucketBits(rows); }

// Buckets[b] .. Buckets[b + 1] is the slice of Keys and Rows that holds the
// IDs of bucket b, each ID once, with the first row of the table carrying it.
#define DEVNAME_DECLARE_INDEX(prefix, rowCount)                                        \
  DEVNAME_LOCAL extern const uint16_t prefix##Buckets[indexBucketCount(rowCount) + 1]; \
  DEVNAME_LOCAL extern const uint32_t prefix##Keys[];                                  \
  DEVNAME_LOCAL extern const uint16_t prefix##Rows[]

DEVNAME_DECLARE_INDEX(ownVendorIndex, QorPciVendorsCount);
DEVNAME_DECLARE_INDEX(ownDeviceIndex, QorPciDevicesCount);
DEVNAME_DECLARE_INDEX(generalVendorIndex, PciVenTableCount);
DEVNAME_DECLARE_INDEX(generalDeviceIndex, PciDevTableCount);

#undef DEVNAME_DECLARE_INDEX

// The row a first-match scan of a table with rowCount rows would stop at for
// key, or -1 when no row carries it.
template <std::size_t RowCount>
int32_t indexFirstRow(const uint16_t (&buckets)[indexBucketCount(RowCount) + 1], const uint32_t* keys,
                      const uint16_t* rows, uint32_t key) {
  constexpr unsigned Shift = 32 - indexBucketBits(RowCount);
  const uint32_t bucket = (key * IndexHashMultiplier) >> Shift;
  for (uint32_t slot = buckets[bucket]; slot < buckets[bucket + 1]; ++slot) {
    if (keys[slot] == key) {
      return rows[slot];
    }
  }
  return -1;
}

#endif
