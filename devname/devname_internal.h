// Declarations shared by the library's own sources.
#ifndef DEVNAME_INTERNAL_H
#define DEVNAME_INTERNAL_H

#include <cstddef>
#include <cstdint>

#include "devname.h"

// Everything is built with hidden visibility; this marks the eleven exported
// names, which the linker version script then lists once more.
#define DEVNAME_EXPORT __attribute__((visibility("default")))

// One Plug and Play device number with its text; pnpNames is sorted by number.
struct PnpName {
  int32_t number;
  const char* text;
};

extern const PnpName pnpNames[];
extern const std::size_t pnpNameCount;

#endif
