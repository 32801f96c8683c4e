// pcinames: one line per PCI device of this machine, named by libdevname.
//
//   pcinames [--sysfs DIR]
//
// The devices come from DIR/bus/pci/devices (DIR is /sys unless --sysfs or
// the environment variable PCINAMES_SYSFS names another tree). libdevname is
// loaded by its plain name "libdevname.so", the way the imaging programs load it.
//
// Exit status: 0 listed, 1 a device could not be read or the library could not
// be loaded, 2 the machine has no PCI bus, 64 bad usage.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pcinames/names.h"
#include "pcinames/sysfs.h"

namespace {

constexpr int ExitListed = 0;
constexpr int ExitFailed = 1;
constexpr int ExitNoPciBus = 2;
constexpr int ExitUsage = 64;
constexpr const char* LibraryName = "libdevname.so";

void usage(std::FILE* out) {
  std::fputs(
      "Usage: pcinames [--sysfs DIR]\n"
      "Names the PCI devices listed in DIR/bus/pci/devices (DIR: /sys, or $PCINAMES_SYSFS)\n"
      "through libdevname.so: address, class, vendor and device.\n",
      out);
}

// Returns -1 to go on, else the exit status. Sets *root.
int parseArguments(int argc, char** argv, std::string* root) {
  const char* fromEnvironment = std::getenv("PCINAMES_SYSFS");
  *root = fromEnvironment != nullptr && fromEnvironment[0] != '\0' ? fromEnvironment : "/sys";
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
      usage(stdout);
      return ExitListed;
    }
    if (std::strcmp(argument, "--sysfs") == 0 && i + 1 < argc && argv[i + 1][0] != '\0') {
      *root = argv[++i];
    } else if (std::strncmp(argument, "--sysfs=", 8) == 0 && argument[8] != '\0') {
      *root = argument + 8;
    } else {
      std::fprintf(stderr, "pcinames: unexpected argument '%s'\n", argument);
      usage(stderr);
      return ExitUsage;
    }
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string root;
  const int early = parseArguments(argc, argv, &root);
  if (early >= 0) return early;

  const PciScan scan = scanPciDevices(root);
  if (!scan.busPresent) {
    std::fprintf(stderr, "pcinames: this machine has no PCI bus (%s/bus/pci/devices does not exist)\n",
                 root.c_str());
    return ExitNoPciBus;
  }
  DeviceNamer namer;
  if (!namer.load(LibraryName)) {
    std::fprintf(stderr, "pcinames: cannot load %s: %s\n", LibraryName, namer.error().c_str());
    return ExitFailed;
  }
  for (const PciDevice& device : scan.devices) {
    std::printf("%s %s: %s\n", device.address.c_str(), namer.className(device.classCode).c_str(),
                namer.deviceName(device.vendor, device.device).c_str());
  }
  for (const std::string& problem : scan.problems) std::fprintf(stderr, "pcinames: %s\n", problem.c_str());
  return scan.problems.empty() ? ExitListed : ExitFailed;
}
