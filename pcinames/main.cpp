// pcinames: one line per PCI device of this machine, named by libdevname.
//
//   pcinames [-n | -nn] [--sysfs DIR]
//
// The devices come from DIR/bus/pci/devices (DIR is /sys unless --sysfs or
// the environment variable PCINAMES_SYSFS names another tree). libdevname is
// loaded by its plain name "libdevname.so", the way the imaging programs load
// it; -n prints the numeric IDs alone and needs no library, -nn prints both
// in the manner of lspci -nn.
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

struct Settings {
  std::string root;
  Numbers numbers = Numbers::Names;
};

void usage(std::FILE* out) {
  std::fputs(
      "Usage: pcinames [-n | -nn] [--sysfs DIR]\n"
      "       pcinames -h | --help | --version\n"
      "Names the PCI devices listed in DIR/bus/pci/devices (DIR: /sys, or $PCINAMES_SYSFS)\n"
      "through libdevname.so: address, class, vendor and device.\n"
      "  -n   show the numeric class and vendor:device IDs instead of the names\n"
      "  -nn  show the names followed by the numeric IDs in brackets\n",
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
void printNumbers(const PciDevice& device) {
  std::printf("%s %04x: %04x:%04x\n", device.address.c_str(), device.classCode >> 8, device.vendor,
              device.device);
}

void printNames(const PciDevice& device, const DeviceNamer& namer, Numbers numbers) {
  const std::string className = namer.className(device.classCode);
  const std::string deviceName = namer.deviceName(device.vendor, device.device);
  if (numbers == Numbers::Both) {
    std::printf("%s %s [%04x]: %s [%04x:%04x]\n", device.address.c_str(), className.c_str(),
                device.classCode >> 8, deviceName.c_str(), device.vendor, device.device);
  } else {
    std::printf("%s %s: %s\n", device.address.c_str(), className.c_str(), deviceName.c_str());
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
  for (const PciDevice& device : scan.devices) {
    if (settings.numbers == Numbers::Only) {
      printNumbers(device);
    } else {
      printNames(device, namer, settings.numbers);
    }
  }
  for (const std::string& problem : scan.problems) std::fprintf(stderr, "pcinames: %s\n", problem.c_str());
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    std::fputs("pcinames: cannot write to standard output\n", stderr);
    return ExitFailed;
  }
  return scan.problems.empty() ? ExitListed : ExitFailed;
}
