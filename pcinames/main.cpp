// pcinames: one line per PCI device of this machine, named by libdevname.
//
//   pcinames [-n | -nn] [-D] [-s [[domain:]bus:][slot][.func]] [-d [vendor]:[device]] [--sysfs DIR]
//
// The devices come from DIR/bus/pci/devices (DIR is /sys unless --sysfs or
// the environment variable PCINAMES_SYSFS names another tree). libdevname is
// loaded by its plain name "libdevname.so", the way the imaging programs load
// it; -n prints the numeric IDs alone and needs no library, -nn prints both
// in the manner of lspci -nn. The lines, -D and the -s and -d filters follow
// lspci's conventions; the names are libdevname's own.
//
// Exit status: 0 listed, 1 a device could not be read or the library could not
// be loaded, 2 the machine has no PCI bus, 64 bad usage.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pcinames/names.h"
#include "pcinames/sysfs.h"

#ifndef WEX_VERSION
#error "WEX_VERSION must be the project version, set by the build"
#endif

namespace {

constexpr int ExitListed = 0;
constexpr int ExitFailed = 1;
constexpr int ExitNoPciBus = 2;
constexpr int ExitUsage = 64;
constexpr const char* LibraryName = "libdevname.so";

// What a line shows: names (the default), numeric IDs (-n) or both (-nn).
enum class Numbers { Names, Only, Both };

// A part of a filter that is omitted or '*' matches any value.
constexpr long Any = -1;

struct SlotFilter {
  long domain = Any;
  long bus = Any;
  long slot = Any;
  long function = Any;
};

struct IdFilter {
  long vendor = Any;
  long device = Any;
};

struct Settings {
  std::string root;
  Numbers numbers = Numbers::Names;
  bool domains = false;
  SlotFilter slot;
  IdFilter ids;
};

// One hexadecimal part of a filter, at most `limit`; "" and "*" match any.
bool filterPart(const std::string& text, long limit, long* value) {
  if (text.empty() || text == "*") {
    *value = Any;
    return true;
  }
  if (text.size() > 8 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
  const long number = std::strtol(text.c_str(), nullptr, 16);
  if (number > limit) return false;
  *value = number;
  return true;
}

// [[domain:]bus:][slot][.func], as lspci -s reads it.
bool parseSlotFilter(const std::string& text, SlotFilter* filter) {
  std::string rest = text;
  const std::size_t lastColon = rest.rfind(':');
  if (lastColon != std::string::npos) {
    std::string front = rest.substr(0, lastColon);
    rest = rest.substr(lastColon + 1);
    const std::size_t firstColon = front.find(':');
    if (firstColon != std::string::npos) {
      if (!filterPart(front.substr(0, firstColon), 0x7FFFFFFF, &filter->domain)) return false;
      front = front.substr(firstColon + 1);
    }
    if (!filterPart(front, 0xFF, &filter->bus)) return false;
  }
  const std::size_t dot = rest.find('.');
  if (dot != std::string::npos) {
    if (!filterPart(rest.substr(dot + 1), 7, &filter->function)) return false;
    rest = rest.substr(0, dot);
  }
  return filterPart(rest, 0x1F, &filter->slot);
}

// [vendor]:[device], as lspci -d reads it.
bool parseIdFilter(const std::string& text, IdFilter* filter) {
  const std::size_t colon = text.find(':');
  return colon != std::string::npos && filterPart(text.substr(0, colon), 0xFFFF, &filter->vendor) &&
         filterPart(text.substr(colon + 1), 0xFFFF, &filter->device);
}

bool matches(long wanted, std::uint32_t value) { return wanted == Any || wanted == static_cast<long>(value); }

bool selected(const PciDevice& device, const Settings& settings) {
  const SlotFilter& slot = settings.slot;
  const bool anySlot = slot.domain == Any && slot.bus == Any && slot.slot == Any && slot.function == Any;
  if (!anySlot &&
      !(device.addressParsed && matches(slot.domain, device.domain) && matches(slot.bus, device.bus) &&
        matches(slot.slot, device.slot) && matches(slot.function, device.function))) {
    return false;
  }
  return matches(settings.ids.vendor, device.vendor) && matches(settings.ids.device, device.device);
}

// "00:1f.2", or "0000:00:1f.2" when domains are shown; a name of another
// form as sysfs gives it.
std::string addressText(const PciDevice& device, bool domains) {
  if (!device.addressParsed) return device.address;
  char text[32];
  if (domains) {
    std::snprintf(text, sizeof text, "%04x:%02x:%02x.%u", device.domain, device.bus, device.slot,
                  device.function);
  } else {
    std::snprintf(text, sizeof text, "%02x:%02x.%u", device.bus, device.slot, device.function);
  }
  return text;
}

// " (rev 08)" after a line, as lspci adds it for a non-zero revision.
std::string revisionText(const PciDevice& device) {
  if (device.revision == 0) return "";
  char text[16];
  std::snprintf(text, sizeof text, " (rev %02x)", device.revision);
  return text;
}

void usage(std::FILE* out) {
  std::fputs(
      "Usage: pcinames [-n | -nn] [-D] [-s SLOT] [-d IDS] [--sysfs DIR]\n"
      "       pcinames -h | --help | --version\n"
      "Names the PCI devices listed in DIR/bus/pci/devices (DIR: /sys, or $PCINAMES_SYSFS)\n"
      "through libdevname.so: address, class, vendor and device.\n"
      "  -n       show the numeric class and vendor:device IDs instead of the names\n"
      "  -nn      show the names followed by the numeric IDs in brackets\n"
      "  -D       always show the PCI domain of the addresses\n"
      "  -s SLOT  only the devices at [[domain:]bus:][slot][.func] (hexadecimal)\n"
      "  -d IDS   only the devices with [vendor]:[device] (hexadecimal)\n"
      "A part of SLOT or IDS that is left out or given as * matches any value.\n",
      out);
}

// An answer to --help or --version that did not reach its reader is a failure.
int delivered() {
  if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return ExitListed;
  std::fputs("pcinames: cannot write to standard output\n", stderr);
  return ExitFailed;
}

// Returns -1 to go on, else the exit status. Fills *settings.
int parseArguments(int argc, char** argv, Settings* settings) {
  const char* fromEnvironment = std::getenv("PCINAMES_SYSFS");
  settings->root = fromEnvironment != nullptr && fromEnvironment[0] != '\0' ? fromEnvironment : "/sys";
  int numeric = 0;  // -n counts once, -nn twice, as lspci counts them
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
      usage(stdout);
      return delivered();
    }
    if (std::strcmp(argument, "--version") == 0) {
      std::printf("pcinames (libdevname) %s\nLicense: MIT\n", WEX_VERSION);
      return delivered();
    }
    if (std::strcmp(argument, "-n") == 0 || std::strcmp(argument, "-nn") == 0) {
      numeric += argument[2] == 'n' ? 2 : 1;
    } else if (std::strcmp(argument, "-D") == 0) {
      settings->domains = true;
    } else if ((argument[0] == '-' && (argument[1] == 's' || argument[1] == 'd')) &&
               (argument[2] != '\0' || i + 1 < argc)) {
      const char option = argument[1];
      const std::string value = argument[2] != '\0' ? argument + 2 : argv[++i];
      if (option == 's' ? !parseSlotFilter(value, &settings->slot) : !parseIdFilter(value, &settings->ids)) {
        std::fprintf(stderr, "pcinames: -%c: invalid %s '%s'\n", option,
                     option == 's' ? "slot [[domain:]bus:][slot][.func]" : "ID [vendor]:[device]",
                     value.c_str());
        usage(stderr);
        return ExitUsage;
      }
    } else if (std::strcmp(argument, "--sysfs") == 0 && i + 1 < argc && argv[i + 1][0] != '\0') {
      settings->root = argv[++i];
    } else if (std::strncmp(argument, "--sysfs=", 8) == 0 && argument[8] != '\0') {
      settings->root = argument + 8;
    } else {
      std::fprintf(stderr, "pcinames: unexpected argument '%s'\n", argument);
      usage(stderr);
      return ExitUsage;
    }
  }
  settings->numbers = numeric == 0 ? Numbers::Names : numeric == 1 ? Numbers::Only : Numbers::Both;
  return -1;
}

// "0200: 8086:1229" as lspci -n prints it: the class without its programming
// interface, then vendor and device, in lower-case hexadecimal.
void printNumbers(const PciDevice& device, const std::string& address) {
  std::printf("%s %04x: %04x:%04x%s\n", address.c_str(), device.classCode >> 8, device.vendor, device.device,
              revisionText(device).c_str());
}

void printNames(const PciDevice& device, const std::string& address, const DeviceNamer& namer,
                Numbers numbers) {
  const std::string className = namer.className(device.classCode);
  const std::string deviceName = namer.deviceName(device.vendor, device.device);
  if (numbers == Numbers::Both) {
    std::printf("%s %s [%04x]: %s [%04x:%04x]%s\n", address.c_str(), className.c_str(), device.classCode >> 8,
                deviceName.c_str(), device.vendor, device.device, revisionText(device).c_str());
  } else {
    std::printf("%s %s: %s%s\n", address.c_str(), className.c_str(), deviceName.c_str(),
                revisionText(device).c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  const int early = parseArguments(argc, argv, &settings);
  if (early >= 0) return early;

  const PciScan scan = scanPciDevices(settings.root);
  if (!scan.busPresent) {
    std::fprintf(stderr, "pcinames: this machine has no PCI bus (%s/bus/pci/devices does not exist)\n",
                 settings.root.c_str());
    return ExitNoPciBus;
  }
  DeviceNamer namer;
  if (settings.numbers != Numbers::Only && !namer.load(LibraryName)) {
    std::fprintf(stderr, "pcinames: cannot load %s: %s\n", LibraryName, namer.error().c_str());
    return ExitFailed;
  }
  // As lspci does, the domain is shown by -D or as soon as any device is
  // outside domain 0, so that no two lines can show the same address.
  bool domains = settings.domains;
  for (const PciDevice& device : scan.devices) domains = domains || device.domain != 0;
  for (const PciDevice& device : scan.devices) {
    if (!selected(device, settings)) continue;
    const std::string address = addressText(device, domains);
    if (settings.numbers == Numbers::Only) {
      printNumbers(device, address);
    } else {
      printNames(device, address, namer, settings.numbers);
    }
  }
  for (const std::string& problem : scan.problems) std::fprintf(stderr, "pcinames: %s\n", problem.c_str());
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    std::fputs("pcinames: cannot write to standard output\n", stderr);
    return ExitFailed;
  }
  return scan.problems.empty() ? ExitListed : ExitFailed;
}
