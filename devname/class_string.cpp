// PCI device class descriptions: QorGetDeviceClassString and
// QorGetDeviceClassStringN.
#include <cstring>

#include "devname_internal.h"
#include "text_writer.h"

namespace {

struct ClassDescription {
  const char* text;
  DeviceCategory category;
};

constexpr ClassDescription UnknownClass = {"Unknown device class", CategoryNone};

ClassDescription massStorage(unsigned subClass) {
  switch (subClass) {
    case 0x00: return {"SCSI Mass Storage Device", CategoryScsi};
    case 0x01: return {"IDE Mass Storage Device", CategoryIde};
    case 0x03: return {"IPI Mass Storage Device", CategoryNone};
    default: return {"Unknown Mass Storage Device", CategoryNone};
  }
}

ClassDescription network(unsigned subClass) {
  switch (subClass) {
    case 0x00: return {"Ethernet interface controller", CategoryNetwork};
    case 0x01: return {"Token ring interface controller", CategoryNetwork};
    case 0x02: return {"FDDI interface controller", CategoryNetwork};
    default: return {"Unknown network interface controller", CategoryNetwork};
  }
}

ClassDescription communications(unsigned subClass) {
  switch (subClass) {
    case 0x00: return {"Serial communications device", CategorySerial};
    case 0x01: return {"Parallel communications device", CategoryParallel};
    default: return {"Unknown communications device", CategoryOther};
  }
}

ClassDescription input(unsigned subClass) {
  switch (subClass) {
    case 0x00: return {"Keyboard", CategoryKeyboard};
    case 0x02: return {"Mouse", CategoryMouse};
    default: return {"Unknown input device", CategoryOther};
  }
}

ClassDescription processor(unsigned subClass) {
  switch (subClass) {
    case 0x00: return {"386-based CPU", CategoryProcessor};
    case 0x01: return {"486-CPU", CategoryProcessor};
    case 0x02: return {"Pentium-based CPU", CategoryProcessor};
    default: return {"Unknown CPU Type", CategoryProcessor};
  }
}

// Only the base class and the subclass count; programming interface and
// revision are ignored.
ClassDescription describeClass(unsigned baseClass, unsigned subClass) {
  switch (baseClass) {
    case 0x01: return massStorage(subClass);
    case 0x02: return network(subClass);
    case 0x03: return {"Display controller", CategoryDisplay};
    case 0x04: return {"Multi-media controller", CategoryMultimedia};
    case 0x05: return {"Memory", CategoryMemory};
    case 0x06: return {"Bridge Controller", CategoryOther};
    case 0x07: return communications(subClass);
    case 0x08: return {"System peripheral", CategoryOther};
    case 0x09: return input(subClass);
    case 0x0A: return {"Docking Station", CategoryOther};
    case 0x0B: return processor(subClass);
    default: return UnknownClass;
  }
}

// The class-code register: base class in bits 31-24, subclass in bits 23-16.
ClassDescription describeRegister(uint32_t classRegister) {
  return describeClass((classRegister >> 24) & 0xFFu, (classRegister >> 16) & 0xFFu);
}

}  // namespace

extern "C" DEVNAME_EXPORT int32_t QorGetDeviceClassString(uint32_t classRegister, char* buffer) {
  const ClassDescription description = describeRegister(classRegister);
  if (buffer != nullptr) {
    std::strcpy(buffer, description.text);
  }
  return description.category;
}

extern "C" DEVNAME_EXPORT std::size_t QorGetDeviceClassStringN(uint32_t classRegister, char* buffer,
                                                               std::size_t size) {
  const ClassDescription description = describeRegister(classRegister);
  return copyBounded(buffer, size, description.text, std::strlen(description.text));
}
