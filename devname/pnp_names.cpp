// Plug and Play device names: QorGetDevicePNP.
#include "pnp_name_list.h"

#include "devname_internal.h"
#include "text_writer.h"

namespace {

// The list's numbers, and its texts as one block of zero-terminated strings
// reached by offset: small integers and bytes, read-only and free of
// relocations.
constexpr std::size_t textLength(const char* text) {
  std::size_t length = 0;
  while (text[length] != '\0') {
    ++length;
  }
  return length;
}

constexpr std::size_t pnpTextBytes() {
  std::size_t bytes = 0;
  for (const PnpName& entry : pnpNames) {
    bytes += textLength(entry.text) + 1;
  }
  return bytes;
}

// Numbers ascend within 16 bits, as the halving search and the 16-bit
// numbers and offsets below need.
constexpr bool pnpListFitsTexts() {
  for (std::size_t i = 0; i < pnpNameCount; ++i) {
    if (pnpNames[i].number < 0 || pnpNames[i].number > 0xFFFF ||
        (i > 0 && pnpNames[i - 1].number >= pnpNames[i].number)) {
      return false;
    }
  }
  return pnpTextBytes() <= 0xFFFF;
}
static_assert(pnpListFitsTexts(), "Plug and Play numbers unsorted or out of range");

constexpr std::size_t longestPnpText() {
  std::size_t longest = 0;
  for (const PnpName& entry : pnpNames) {
    longest = textLength(entry.text) > longest ? textLength(entry.text) : longest;
  }
  return longest;
}

struct PnpTexts {
  uint16_t number[pnpNameCount];
  uint16_t offset[pnpNameCount];
  char bytes[pnpTextBytes()];
};

constexpr PnpTexts makePnpTexts() {
  PnpTexts texts{};
  std::size_t next = 0;
  for (std::size_t i = 0; i < pnpNameCount; ++i) {
    texts.number[i] = static_cast<uint16_t>(pnpNames[i].number);
    texts.offset[i] = static_cast<uint16_t>(next);
    for (const char* c = pnpNames[i].text; *c != '\0'; ++c) {
      texts.bytes[next++] = *c;
    }
    texts.bytes[next++] = '\0';
  }
  return texts;
}

constexpr PnpTexts pnpTexts = makePnpTexts();

constexpr char PnpPrefix[] = "Plug and Play device -- ";
static_assert(sizeof PnpPrefix + longestPnpText() <= LongestResultBytes,
              "a Plug and Play name would not fit the working text of the length-checked calls");

// Exact match on the whole signed number: no masking, so negative numbers and
// numbers above 0xFFFF find nothing.
const char* findPnpName(int32_t number) {
  if (number < 0 || number > 0xFFFF) {
    return nullptr;
  }
  std::size_t low = 0;
  std::size_t high = pnpNameCount;
  while (low < high) {
    const std::size_t middle = low + (high - low) / 2;
    if (pnpTexts.number[middle] == number) {
      return pnpTexts.bytes + pnpTexts.offset[middle];
    }
    if (pnpTexts.number[middle] < number) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return nullptr;
}

}  // namespace

std::size_t writePnpName(uint32_t vendor, int32_t device, char* buffer) {
  if (vendor != PnpVendorMarker || buffer == nullptr) {
    return 0;
  }
  char* out = appendText(buffer, PnpPrefix, sizeof PnpPrefix);
  if (const char* text = findPnpName(device)) {
    out = appendText(out, text, pnpTextBytes());
  } else {
    out = appendText(out, "unknown device 0x", sizeof "unknown device 0x");
    out = appendHex(out, static_cast<uint32_t>(device), 1);
  }
  *out = '\0';
  return static_cast<std::size_t>(out - buffer);
}

extern "C" DEVNAME_EXPORT char* QorGetDevicePNP(uint32_t vendor, int32_t device, char* buffer) {
  return writeInto<writePnpName>(vendor, device, buffer);
}

// Any other vendor gives the empty text: the buffer is terminated at its
// first byte, so that the caller always reads a text.
extern "C" DEVNAME_EXPORT std::size_t QorGetDevicePNPN(uint32_t vendor, int32_t device, char* buffer,
                                                       std::size_t size) {
  return writeBounded<writePnpName>(vendor, device, buffer, size);
}
