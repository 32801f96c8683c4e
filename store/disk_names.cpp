#include "store/disk_names.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

bool allOf(const char* text, bool (*accept)(char)) {
  if (*text == '\0') return false;
  for (; *text != '\0'; ++text)
    if (!accept(*text)) return false;
  return true;
}
bool isLetter(char c) { return c >= 'a' && c <= 'z'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// nvme<c>n<n> only: partitions (nvme0n1p1) and the hidden paths of a
// multipath namespace (nvme0c0n1) are no whole disks of their own.
bool parseNvme(const char* rest, ExtraName& out) {
  const char* n = std::strchr(rest, 'n');
  if (n == nullptr) return false;
  const std::string_view controller(rest, static_cast<std::size_t>(n - rest));
  if (controller.empty() || controller.size() > 9 || !allOf(n + 1, isDigit) || std::strlen(n + 1) > 9)
    return false;
  for (char c : controller)
    if (!isDigit(c)) return false;
  out.first = std::strtoul(rest, nullptr, 10);
  out.second = std::strtoul(n + 1, nullptr, 10);
  return true;
}

}  // namespace

bool isIdePath(const char* path) { return strncasecmp(path, "/dev/hd", 7) == 0; }

ExtraName classifyDiskName(const char* name) {
  ExtraName out;
  if (std::strlen(name) >= DiskNameMax) return out;
  std::memcpy(out.name, name, std::strlen(name) + 1);  // fits: checked above
  const auto letters = [&](std::size_t prefix, ExtraGroup group) {
    if (allOf(out.name + prefix, isLetter)) {
      out.group = group;
      out.letters = prefix;
    }
  };
  if (std::strncmp(name, "nvme", 4) == 0) {
    if (parseNvme(name + 4, out)) out.group = ExtraGroup::Nvme;
  } else if (std::strncmp(name, "vd", 2) == 0) {
    letters(2, ExtraGroup::Virtio);
  } else if (std::strncmp(name, "xvd", 3) == 0) {
    letters(3, ExtraGroup::Xen);
  } else if (std::strncmp(name, "sd", 2) == 0) {
    letters(2, ExtraGroup::Scsi);
    // sda to sdh are fixed candidates already.
    if (out.group == ExtraGroup::Scsi && std::strlen(out.name) == 3 && out.name[2] <= 'h')
      out.group = ExtraGroup::None;
  }
  return out;
}

bool diskNameBefore(const ExtraName& a, const ExtraName& b) {
  if (a.group != b.group) return a.group < b.group;
  if (a.group == ExtraGroup::Nvme) return a.first != b.first ? a.first < b.first : a.second < b.second;
  const char* lettersA = a.name + a.letters;
  const char* lettersB = b.name + b.letters;
  const std::size_t lengthA = std::strlen(lettersA), lengthB = std::strlen(lettersB);
  return lengthA != lengthB ? lengthA < lengthB : std::strcmp(lettersA, lettersB) < 0;
}
