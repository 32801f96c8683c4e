/* A consumer as the imaging environment's programs are: it loads the library
 * by file name and binds every function and table by name. Written in C so
 * that the public header is also checked as C.
 * Usage: dlopen_consumer PATH-TO-LIBDEVNAME */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <link.h>
#include <stdio.h>
#include <string.h>

#include "devname.h"

typedef char* (*NameFunction)(uint32_t, int32_t, char*);
typedef int32_t (*ClassFunction)(uint32_t, char*);
typedef size_t (*BoundedNameFunction)(uint32_t, int32_t, char*, size_t);
typedef size_t (*BoundedClassFunction)(uint32_t, char*, size_t);

static int failures = 0;

static void* bind(void* library, const char* name) {
  void* address = dlsym(library, name);
  if (address == NULL) {
    printf("FAIL: %s not bound: %s\n", name, dlerror());
    ++failures;
  }
  return address;
}

static void expectText(const char* what, const char* actual, const char* expected) {
  if (strcmp(actual, expected) != 0) {
    printf("FAIL: %s gave \"%s\", expected \"%s\"\n", what, actual, expected);
    ++failures;
  }
}

static void checkFunctions(void* library) {
  char buffer[512];
  NameFunction info = (NameFunction)(uintptr_t)bind(library, "QorGetDeviceInfo");
  NameFunction pnp = (NameFunction)(uintptr_t)bind(library, "QorGetDevicePNP");
  ClassFunction classString = (ClassFunction)(uintptr_t)bind(library, "QorGetDeviceClassString");
  if (info != NULL) {
    expectText("QorGetDeviceInfo", info(0x8086u, 0x1229, buffer),
               "Intel Corporation 82557 Fast Ethernet PRO/100");
    expectText("QorGetDeviceInfo", info(0x00018086u, 0x1229, buffer),
               "Unknown vendor 0x8086 : Unknown device 0x1229");
  }
  if (pnp != NULL) {
    expectText("QorGetDevicePNP", pnp(PnpVendorMarker, -1, buffer),
               "Plug and Play device -- unknown device 0xFFFFFFFF");
  }
  if (classString != NULL && classString(0x0101808Au, buffer) != CategoryIde) {
    printf("FAIL: QorGetDeviceClassString category\n");
    ++failures;
  }
  /* The length-checked calls, each cut short by a small buffer. */
  char small[10];
  BoundedNameFunction infoN = (BoundedNameFunction)(uintptr_t)bind(library, "QorGetDeviceInfoN");
  BoundedNameFunction pnpN = (BoundedNameFunction)(uintptr_t)bind(library, "QorGetDevicePNPN");
  BoundedClassFunction classN = (BoundedClassFunction)(uintptr_t)bind(library, "QorGetDeviceClassStringN");
  if (infoN != NULL && infoN(0x8086u, 0x1229, small, sizeof small) != 45) {
    printf("FAIL: QorGetDeviceInfoN length\n");
    ++failures;
  }
  if (infoN != NULL) {
    expectText("QorGetDeviceInfoN", small, "Intel Cor");
  }
  if (pnpN != NULL && pnpN(PnpVendorMarker, 0x0C01, small, sizeof small) != 36) {
    printf("FAIL: QorGetDevicePNPN length\n");
    ++failures;
  }
  if (classN != NULL && classN(0x0101808Au, small, sizeof small) != 23) {
    printf("FAIL: QorGetDeviceClassStringN length\n");
    ++failures;
  }
  if (classN != NULL) {
    expectText("QorGetDeviceClassStringN", small, "IDE Mass ");
  }
}

/* Each table as an outside program sees it: the address from dlsym and the
 * size of the symbol from the library's dynamic symbol table (what nm -S -D
 * shows), which must be exactly the header's rows, none more. Every row within
 * that size is then read: no row of the name tables carries vendor 0xFFFF, the
 * ID an absent PCI function reads back, and no text pointer is null. */
typedef int (*RowCheck)(const void* row);

static int vendorNameRow(const void* row) {
  const VendorNameEntry* entry = row;
  return entry->vendorId != 0xFFFF && entry->name != NULL && entry->name[0] != '\0';
}
static int deviceNameRow(const void* row) {
  const DeviceNameEntry* entry = row;
  return entry->vendorId != 0xFFFF && entry->name != NULL && entry->name[0] != '\0';
}
static int pciVendorRow(const void* row) {
  const PciVendorEntry* entry = row;
  return entry->vendorId != 0xFFFF && entry->abbreviation != NULL && entry->name != NULL &&
         entry->name[0] != '\0';
}
static int pciDeviceRow(const void* row) {
  const PciDeviceEntry* entry = row;
  return entry->vendorId != 0xFFFF && entry->partNumber != NULL && entry->description != NULL;
}
static int classCodeRow(const void* row) {
  const PciClassCodeEntry* entry = row;
  return entry->className != NULL && entry->subClassName != NULL && entry->progIfName != NULL;
}
static int textRow(const void* row) { return *(const char* const*)row != NULL; }

static void checkTableSizes(void* library) {
  static const struct {
    const char* name;
    size_t rowSize, rows;
    RowCheck check;
  } tables[] = {
      {"qorPciVendors", sizeof(VendorNameEntry), QorPciVendorsCount, vendorNameRow},
      {"qorPciDevices", sizeof(DeviceNameEntry), QorPciDevicesCount, deviceNameRow},
      {"PciVenTable", sizeof(PciVendorEntry), PciVenTableCount, pciVendorRow},
      {"PciDevTable", sizeof(PciDeviceEntry), PciDevTableCount, pciDeviceRow},
      {"PciClassCodeTable", sizeof(PciClassCodeEntry), PciClassCodeTableCount, classCodeRow},
      {"PciCommandFlags", sizeof(const char*), PciCommandFlagsCount, textRow},
      {"PciStatusFlags", sizeof(const char*), PciStatusFlagsCount, textRow},
      {"PciDevSelFlags", sizeof(const char*), PciDevSelFlagsCount, textRow},
  };
  for (size_t t = 0; t < sizeof tables / sizeof tables[0]; ++t) {
    const char* rows = bind(library, tables[t].name);
    Dl_info info;
    const ElfW(Sym)* symbol = NULL;
    if (rows == NULL || dladdr1(rows, &info, (void**)&symbol, RTLD_DL_SYMENT) == 0 || symbol == NULL ||
        info.dli_saddr != rows) {
      printf("FAIL: %s has no symbol table entry at its address\n", tables[t].name);
      ++failures;
      continue;
    }
    const size_t size = symbol->st_size;
    if (size != tables[t].rows * tables[t].rowSize) {
      printf("FAIL: %s symbol is %zu bytes, %zu rows of %zu expected\n", tables[t].name, size, tables[t].rows,
             tables[t].rowSize);
      ++failures;
    }
    for (size_t offset = 0; offset + tables[t].rowSize <= size; offset += tables[t].rowSize) {
      if (!tables[t].check(rows + offset)) {
        printf("FAIL: %s row %zu breaks the table's rules\n", tables[t].name, offset / tables[t].rowSize);
        ++failures;
        break;
      }
    }
  }
}

static void checkTables(void* library) {
  const VendorNameEntry* ownVendors = bind(library, "qorPciVendors");
  const DeviceNameEntry* ownDevices = bind(library, "qorPciDevices");
  const PciVendorEntry* vendors = bind(library, "PciVenTable");
  const PciDeviceEntry* devices = bind(library, "PciDevTable");
  const PciClassCodeEntry* classes = bind(library, "PciClassCodeTable");
  const char* const* command = bind(library, "PciCommandFlags");
  const char* const* status = bind(library, "PciStatusFlags");
  const char* const* devsel = bind(library, "PciDevSelFlags");
  if (failures != 0) {
    return;
  }
  /* Rows read through the symbols must have the header's layout. */
  expectText("qorPciVendors[0]", ownVendors[0].name, "Gammagraphx, Inc");
  expectText("qorPciDevices[0]", ownDevices[0].name, "IS64PH ISDN Adapter");
  expectText("PciVenTable[0]", vendors[0].name, "Paradyne Corp.");
  expectText("PciDevTable[0]", devices[0].partNumber, "SafeXcel-1141");
  expectText("PciClassCodeTable[68]", classes[68].subClassName, "Device Does Not Fit In Class Codes");
  expectText("PciCommandFlags[15]", command[15], "Reserved 15");
  expectText("PciStatusFlags[15]", status[15], "Detected Parity Error");
  expectText("PciDevSelFlags[3]", devsel[3], "Reserved 9&10");
  if (ownDevices[0].vendorId != 0x0675 || ownDevices[0].deviceId != 0x1700 || classes[68].baseClass != 0xFF) {
    printf("FAIL: row IDs misread\n");
    ++failures;
  }
  checkTableSizes(library);
}

int main(int argc, char** argv) {
  if (argc != 2) {
    printf("usage: %s LIBRARY\n", argv[0]);
    return 2;
  }
  void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (library == NULL) {
    printf("FAIL: dlopen: %s\n", dlerror());
    return 1;
  }
  checkFunctions(library);
  checkTables(library);
  dlclose(library);
  printf("%s\n", failures == 0 ? "all names bound and read" : "failures");
  return failures == 0 ? 0 : 1;
}
