/* libdevname: descriptive names for PCI devices, Plug and Play devices and
 * PCI device classes.
 *
 * Every function writes a zero-terminated 8-bit text into a buffer the caller
 * owns. The calls ending in N take the buffer's size and never write beyond
 * it: use them. The three calls without a size write the whole text wherever
 * the buffer ends; a buffer of 512 bytes holds any of their results, and a
 * null buffer receives nothing (the text functions then return null).
 * The tables are exported as plain data and may be read row by row within the
 * row counts below; the library never writes to them. Each table holds
 * exactly its counted rows, with no terminating row, and its exported symbol
 * is exactly that size. The counts of the four name tables may change between
 * releases as the PCI ID list does; a program built against an older header
 * reads only the rows it knows of.
 */
#ifndef DEVNAME_H
#define DEVNAME_H

#include <stddef.h>
#include <stdint.h>

#include "devname_table_sizes.h"

#ifdef __cplusplus
/* Vendor value that asks for a Plug and Play device name instead of a PCI
 * vendor; the device argument then carries the Plug and Play number. */
const uint32_t PnpVendorMarker = 0xAAAAAAAAu;
extern "C" {
#else
#define PnpVendorMarker 0xAAAAAAAAu
#endif

/* Kind of device, as returned by QorGetDeviceClassString. 8 is not used. */
enum DeviceCategory {
  CategoryNone = 0,
  CategoryDisplay = 1,
  CategoryMultimedia = 2,
  CategoryNetwork = 3,
  CategoryScsi = 4,
  CategoryProcessor = 5,
  CategoryMemory = 6,
  CategoryOther = 7,
  CategoryKeyboard = 9,
  CategoryParallel = 10,
  CategorySerial = 11,
  CategoryIde = 12,
  CategoryMouse = 13
};

/* Row counts of the fixed reference tables. */
enum {
  PciClassCodeTableCount = 69,
  PciCommandFlagsCount = 16,
  PciStatusFlagsCount = 16,
  PciDevSelFlagsCount = 4
};

typedef struct VendorNameEntry {
  uint16_t vendorId;
  const char* name;
} VendorNameEntry;

typedef struct DeviceNameEntry {
  uint16_t vendorId;
  uint16_t deviceId;
  const char* name;
} DeviceNameEntry;

typedef struct PciVendorEntry {
  uint16_t vendorId;
  const char* abbreviation;
  const char* name;
} PciVendorEntry;

typedef struct PciDeviceEntry {
  uint16_t vendorId;
  uint16_t deviceId;
  const char* partNumber;
  const char* description;
} PciDeviceEntry;

typedef struct PciClassCodeEntry {
  uint8_t baseClass;
  uint8_t subClass;
  uint8_t progIf;
  const char* className;
  const char* subClassName;
  const char* progIfName;
} PciClassCodeEntry;

/* "Vendor Device" for a PCI vendor and device ID pair, or the Plug and Play
 * name when vendor is PnpVendorMarker. Returns buffer. */
char* QorGetDeviceInfo(uint32_t vendor, int32_t device, char* buffer);

/* "Plug and Play device -- ..." when vendor is PnpVendorMarker; any other
 * vendor leaves the buffer untouched. Returns buffer. */
char* QorGetDevicePNP(uint32_t vendor, int32_t device, char* buffer);

/* Describes the class of a PCI class-code register (base class in bits 31-24,
 * subclass in bits 23-16) and returns its DeviceCategory. */
int32_t QorGetDeviceClassString(uint32_t classRegister, char* buffer);

/* The same texts, length-checked in the manner of snprintf: each writes at
 * most size - 1 bytes of the text and a terminating zero byte, and returns
 * the length of the whole text (terminator not counted), so a result equal to
 * or above size means the text was cut short. With size 0 or a null buffer
 * nothing is written and only the length is returned. QorGetDevicePNPN gives
 * the empty text (length 0) for any vendor but PnpVendorMarker; the category
 * of a class register is what QorGetDeviceClassString returns, which may be
 * called with a null buffer for it. */
size_t QorGetDeviceInfoN(uint32_t vendor, int32_t device, char* buffer, size_t size);
size_t QorGetDevicePNPN(uint32_t vendor, int32_t device, char* buffer, size_t size);
size_t QorGetDeviceClassStringN(uint32_t classRegister, char* buffer, size_t size);

/* Own names, searched first: ascending by vendor (and device), unique. */
extern const VendorNameEntry qorPciVendors[QorPciVendorsCount];
extern const DeviceNameEntry qorPciDevices[QorPciDevicesCount];

/* General PCI ID list: vendors ascending and unique; devices grouped by
 * vendor, the first of duplicate pairs counting. */
extern const PciVendorEntry PciVenTable[PciVenTableCount];
extern const PciDeviceEntry PciDevTable[PciDevTableCount];

/* Reference tables for PCI configuration-space registers. */
extern const PciClassCodeEntry PciClassCodeTable[PciClassCodeTableCount];
extern const char* const PciCommandFlags[PciCommandFlagsCount];
extern const char* const PciStatusFlags[PciStatusFlagsCount];
extern const char* const PciDevSelFlags[PciDevSelFlagsCount];

#ifdef __cplusplus
}
#endif

#endif
