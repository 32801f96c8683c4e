// What libdevname costs its callers, side by side with the floor library (the
// same exported tables without any code: what loading the tables alone
// costs) and with libpci naming the same IDs from pci.ids:
//   - per call, each of the three functions over a fixed shuffled set of IDs:
//     every PCI pair of the tables (hits), as many pairs no table has
//     (misses), Plug and Play numbers and class registers;
//   - loading: dlopen and the first call, in a fresh process each run;
//   - the library's private dirty memory after loading, and heap allocations
//     made by the calls.
// It prints figures and ratios and decides nothing: it is not a test.
// Usage: devname_bench [--rounds N] [--loads N] [--library PATH] [--floor PATH]
//                      [--libpci PATH | --no-libpci]
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "devname.h"
#include "pnp_name_list.h"

#if DEVNAME_BENCH_LIBPCI
#include <pci/pci.h>
#endif

// Every allocation of the process passes through here, so that the calls of
// the library can be shown to make none. (The sanitizers bring allocators of
// their own, which must not be wrapped.)
#if !defined(__SANITIZE_ADDRESS__)
extern "C" void* __libc_malloc(std::size_t size);
extern "C" void* __libc_calloc(std::size_t count, std::size_t size);
extern "C" void* __libc_realloc(void* old, std::size_t size);
namespace {
unsigned long heapCalls = 0;
}
extern "C" void* malloc(std::size_t size) noexcept {
  ++heapCalls;
  return __libc_malloc(size);
}
extern "C" void* calloc(std::size_t count, std::size_t size) noexcept {
  ++heapCalls;
  return __libc_calloc(count, size);
}
extern "C" void* realloc(void* old, std::size_t size) noexcept {
  ++heapCalls;
  return __libc_realloc(old, size);
}
constexpr bool HeapCounted = true;
#else
namespace {
unsigned long heapCalls = 0;
}
constexpr bool HeapCounted = false;
#endif

namespace {

using NameFunction = char* (*)(uint32_t, int32_t, char*);
using ClassFunction = int32_t (*)(uint32_t, char*);
using Clock = std::chrono::steady_clock;

struct Options {
  int rounds = 7;
  int loads = 21;
  std::string library = DEVNAME_BENCH_LIBRARY;
  std::string floor = DEVNAME_BENCH_FLOOR;
  std::string libpci = DEVNAME_BENCH_LIBPCI ? "libpci.so.3" : "";
};

struct Query {
  uint32_t vendor;
  int32_t device;
};

// Median and range of a set of figures.
struct Spread {
  double median = 0;
  double low = 0;
  double high = 0;
};

Spread spreadOf(std::vector<double> values) {
  if (values.empty()) {
    return {};
  }
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  const double median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  return {median, values.front(), values.back()};
}

std::string show(const Spread& s, int decimals) {
  char text[96];
  std::snprintf(text, sizeof text, "%.*f [%.*f-%.*f]", decimals, s.median, decimals, s.low, decimals, s.high);
  return text;
}

void* bind(void* library, const char* name) {
  void* address = dlsym(library, name);
  if (address == nullptr) {
    std::fprintf(stderr, "devname_bench: %s not found: %s\n", name, dlerror());
    std::exit(2);
  }
  return address;
}

template <typename Function>
Function bindFunction(void* library, const char* name) {
  return reinterpret_cast<Function>(bind(library, name));
}

// The library as its callers see it: functions and tables bound by name.
struct Devname {
  void* handle = nullptr;
  NameFunction info = nullptr;
  NameFunction pnp = nullptr;
  ClassFunction classString = nullptr;
};

Devname openDevname(const std::string& path) {
  Devname lib;
  lib.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (lib.handle == nullptr) {
    std::fprintf(stderr, "devname_bench: cannot load %s: %s\n", path.c_str(), dlerror());
    std::exit(2);
  }
  lib.info = bindFunction<NameFunction>(lib.handle, "QorGetDeviceInfo");
  lib.pnp = bindFunction<NameFunction>(lib.handle, "QorGetDevicePNP");
  lib.classString = bindFunction<ClassFunction>(lib.handle, "QorGetDeviceClassString");
  return lib;
}

// The ID sets, in one fixed shuffled order.
struct IdSets {
  std::vector<Query> hits;
  std::vector<Query> misses;
  std::vector<int32_t> pnpNumbers;
  std::vector<uint32_t> classRegisters;
};

IdSets makeIdSets(void* library) {
  const auto* ownDevices = static_cast<const DeviceNameEntry*>(bind(library, "qorPciDevices"));
  const auto* generalDevices = static_cast<const PciDeviceEntry*>(bind(library, "PciDevTable"));
  const auto* ownVendors = static_cast<const VendorNameEntry*>(bind(library, "qorPciVendors"));
  const auto* generalVendors = static_cast<const PciVendorEntry*>(bind(library, "PciVenTable"));
  std::set<std::pair<uint32_t, uint32_t>> pairs;
  for (std::size_t i = 0; i < QorPciDevicesCount; ++i) {
    pairs.insert({ownDevices[i].vendorId, ownDevices[i].deviceId});
  }
  for (std::size_t i = 0; i < PciDevTableCount; ++i) {
    pairs.insert({generalDevices[i].vendorId, generalDevices[i].deviceId});
  }
  std::set<uint32_t> vendors;
  for (std::size_t i = 0; i < QorPciVendorsCount; ++i) {
    vendors.insert(ownVendors[i].vendorId);
  }
  for (std::size_t i = 0; i < PciVenTableCount; ++i) {
    vendors.insert(generalVendors[i].vendorId);
  }
  for (const auto& [vendor, device] : pairs) {
    vendors.insert(vendor);
  }

  IdSets sets;
  std::vector<uint32_t> unknownVendors;
  for (uint32_t vendor = 0; vendor <= 0xFFFF; ++vendor) {
    if (vendors.count(vendor) == 0) {
      unknownVendors.push_back(vendor);
    }
  }
  // Half the misses are an unknown device of a known vendor, half a vendor
  // that no table has.
  std::size_t n = 0;
  for (const auto& [vendor, device] : pairs) {
    sets.hits.push_back({vendor, static_cast<int32_t>(device)});
    uint32_t missVendor = vendor;
    uint32_t missDevice = device;
    if (n % 2 == 0) {
      while (pairs.count({missVendor, missDevice}) != 0) {
        missDevice = (missDevice + 0x3C5u) & 0xFFFFu;
      }
    } else {
      missVendor = unknownVendors[n % unknownVendors.size()];
    }
    sets.misses.push_back({missVendor, static_cast<int32_t>(missDevice)});
    ++n;
  }
  for (const PnpName& entry : pnpNames) {
    sets.pnpNumbers.push_back(entry.number);
    sets.pnpNumbers.push_back(entry.number + 0x7001);  // mostly unknown numbers
  }
  for (uint32_t upper = 0; upper <= 0xFFFF; ++upper) {
    sets.classRegisters.push_back(upper << 16);
  }
  std::mt19937 random(20230410u);
  std::shuffle(sets.hits.begin(), sets.hits.end(), random);
  std::shuffle(sets.misses.begin(), sets.misses.end(), random);
  std::shuffle(sets.pnpNumbers.begin(), sets.pnpNumbers.end(), random);
  std::shuffle(sets.classRegisters.begin(), sets.classRegisters.end(), random);
  return sets;
}

volatile unsigned sink = 0;

// Nanoseconds per call over enough passes of the set to last some 20 ms.
template <typename Item, typename Call>
double nsPerCall(const std::vector<Item>& items, Call call) {
  const std::size_t passes = std::max<std::size_t>(1, 200000 / items.size());
  unsigned checksum = 0;
  const auto start = Clock::now();
  for (std::size_t pass = 0; pass < passes; ++pass) {
    for (const Item& item : items) {
      checksum += static_cast<unsigned char>(call(item)[0]);
    }
  }
  const auto end = Clock::now();
  sink = sink + checksum;
  return std::chrono::duration<double, std::nano>(end - start).count() /
         static_cast<double>(passes * items.size());
}

#if DEVNAME_BENCH_LIBPCI
// libpci loaded by name, so that the benchmark also builds and runs where
// only the header is installed for another architecture.
struct LibPci {
  void* handle = nullptr;
  pci_access* access = nullptr;
  char* (*lookup)(pci_access*, char*, int, int, ...) = nullptr;
  void (*cleanup)(pci_access*) = nullptr;
};

LibPci openLibPci(const std::string& path) {
  LibPci pci;
  pci.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (pci.handle == nullptr) {
    return pci;
  }
  auto alloc = bindFunction<pci_access* (*)()>(pci.handle, "pci_alloc");
  auto init = bindFunction<void (*)(pci_access*)>(pci.handle, "pci_init");
  pci.lookup = bindFunction<char* (*)(pci_access*, char*, int, int, ...)>(pci.handle, "pci_lookup_name");
  pci.cleanup = bindFunction<void (*)(pci_access*)>(pci.handle, "pci_cleanup");
  pci.access = alloc();
  init(pci.access);
  return pci;
}

// Names from pci.ids only, as libdevname names from its tables: udev's
// hardware database is not asked.
constexpr int PciNameFlags = PCI_LOOKUP_VENDOR | PCI_LOOKUP_DEVICE | PCI_LOOKUP_NO_HWDB;
constexpr int PciClassFlags = PCI_LOOKUP_CLASS | PCI_LOOKUP_NO_HWDB;
#endif

// Bytes of this process's private dirty pages in the mappings of a file.
long privateDirtyOf(const std::string& path) {
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) {
    return -1;
  }
  const std::string suffix = std::string(" ") + resolved;
  std::ifstream smaps("/proc/self/smaps");
  std::string line;
  bool inside = false;
  long kilobytes = 0;
  while (std::getline(smaps, line)) {
    // A mapping starts with its address range; its fields follow, one a line.
    if (!line.empty() && std::isxdigit(static_cast<unsigned char>(line[0])) && line.find('-') < 17) {
      inside = line.size() >= suffix.size() &&
               line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0;
    } else if (inside && line.rfind("Private_Dirty:", 0) == 0) {
      kilobytes += std::strtol(line.c_str() + 14, nullptr, 10);
    }
  }
  return kilobytes * 1024;
}

double cpuNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

// One load in this fresh process: dlopen and the first call, then the
// library's private dirty memory. Prints "wall-ns processor-ns dirty-bytes";
// processor time leaves out the waits for a processor on a busy machine.
int loadChild(const std::string& kind, const std::string& path) {
  char buffer[512] = "";
  const double cpuStart = cpuNanoseconds();
  const auto start = Clock::now();
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    std::printf("error %s\n", dlerror());
    return 1;
  }
  if (kind == "devname") {
    bindFunction<NameFunction>(handle, "QorGetDeviceInfo")(0x8086u, 0x1229, buffer);
  } else if (kind == "floor") {
    // No code: the first use is reading a row through the exported symbol.
    const auto* rows = static_cast<const PciDeviceEntry*>(bind(handle, "PciDevTable"));
    std::strcpy(buffer, rows[0].description);
#if DEVNAME_BENCH_LIBPCI
  } else if (kind == "libpci") {
    auto alloc = bindFunction<pci_access* (*)()>(handle, "pci_alloc");
    auto init = bindFunction<void (*)(pci_access*)>(handle, "pci_init");
    auto lookup = bindFunction<char* (*)(pci_access*, char*, int, int, ...)>(handle, "pci_lookup_name");
    pci_access* access = alloc();
    init(access);
    lookup(access, buffer, sizeof buffer, PciNameFlags, 0x8086, 0x1229);
#endif
  }
  const auto end = Clock::now();
  const double cpu = cpuNanoseconds() - cpuStart;
  const double wall = std::chrono::duration<double, std::nano>(end - start).count();
  std::printf("%.0f %.0f %ld\n", wall, cpu, kind == "libpci" ? 0L : privateDirtyOf(path));
  return buffer[0] != '\0' ? 0 : 1;
}

struct LoadFigures {
  double wallUs = -1;
  double cpuUs = -1;
  double dirtyKiB = -1;
};

LoadFigures runLoadChild(const std::string& kind, const std::string& path) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) {
    return {};
  }
  std::fflush(nullptr);  // else the child would inherit, and could print, what is still buffered
  const pid_t child = fork();
  if (child == 0) {
    dup2(pipeEnds[1], STDOUT_FILENO);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    execl("/proc/self/exe", "devname_bench", "--load-child", kind.c_str(), path.c_str(),
          static_cast<char*>(nullptr));
    std::printf("cannot start a fresh process: %s\n", std::strerror(errno));
    std::fflush(stdout);
    _exit(127);
  }
  close(pipeEnds[1]);
  std::string output;
  char chunk[256];
  ssize_t got = 0;
  while ((got = read(pipeEnds[0], chunk, sizeof chunk)) > 0) {
    output.append(chunk, static_cast<std::size_t>(got));
  }
  close(pipeEnds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  double wallNs = 0;
  double cpuNs = 0;
  double dirtyBytes = 0;
  std::istringstream fields(output);
  if (child < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
      !(fields >> wallNs >> cpuNs >> dirtyBytes)) {
    std::fprintf(stderr, "devname_bench: load of %s failed (%s %d): %s\n", path.c_str(),
                 WIFEXITED(status) ? "exit status" : "signal",
                 WIFEXITED(status) ? WEXITSTATUS(status) : WTERMSIG(status), output.c_str());
    return {};
  }
  return {wallNs / 1000, cpuNs / 1000, dirtyBytes / 1024};
}

// A file the linker has just written counts as dirty in smaps while its pages
// wait to be written back; flushing it first keeps that out of the figures.
void flushFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    fdatasync(fd);
    close(fd);
  }
}

// The bytes the dynamic linker relocates: every exported table holds pointers.
constexpr std::size_t relocatedTableBytes() {
  return sizeof(VendorNameEntry) * QorPciVendorsCount + sizeof(DeviceNameEntry) * QorPciDevicesCount +
         sizeof(PciVendorEntry) * PciVenTableCount + sizeof(PciDeviceEntry) * PciDevTableCount +
         sizeof(PciClassCodeEntry) * PciClassCodeTableCount +
         sizeof(const char*) * (PciCommandFlagsCount + PciStatusFlagsCount + PciDevSelFlagsCount);
}

std::vector<double> ratios(const std::vector<double>& a, const std::vector<double>& b) {
  std::vector<double> result;
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
    result.push_back(a[i] / b[i]);
  }
  return result;
}

// One line of a table: a label and up to three columns of figures.
void printRow(const char* label, const std::vector<std::string>& columns) {
  std::string line = "  " + std::string(label);
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const std::size_t start = 37 + 27 * i;  // columns stand at fixed places, or a blank apart
    line.resize(std::max(start, line.size() + 1), ' ');
    line += columns[i];
  }
  std::printf("%s\n", line.c_str());
}

void perCall(const Options& options, const Devname& lib, const IdSets& ids) {
  char buffer[512];
  std::vector<double> hits, misses, pnp, classes, pciHits, pciMisses, pciClasses;
  unsigned long allocations = 0;
  std::size_t calls = 0;
#if DEVNAME_BENCH_LIBPCI
  LibPci pci = options.libpci.empty() ? LibPci{} : openLibPci(options.libpci);
  char pciBuffer[512];
  if (pci.access != nullptr) {  // the first lookup reads pci.ids: not a per-call cost
    pci.lookup(pci.access, pciBuffer, sizeof pciBuffer, PciNameFlags, 0x8086, 0x1229);
  }
#endif
  for (int round = 0; round < options.rounds; ++round) {
    const unsigned long heapBefore = heapCalls;
    const double hit =
        nsPerCall(ids.hits, [&](const Query& q) { return lib.info(q.vendor, q.device, buffer); });
    const double miss =
        nsPerCall(ids.misses, [&](const Query& q) { return lib.info(q.vendor, q.device, buffer); });
    const double number =
        nsPerCall(ids.pnpNumbers, [&](int32_t n) { return lib.pnp(PnpVendorMarker, n, buffer); });
    const double classRegister = nsPerCall(ids.classRegisters, [&](uint32_t reg) {
      lib.classString(reg, buffer);
      return buffer;
    });
    allocations += heapCalls - heapBefore;
    calls += ids.hits.size() + ids.misses.size() + ids.pnpNumbers.size() + ids.classRegisters.size();
    hits.push_back(hit);
    misses.push_back(miss);
    pnp.push_back(number);
    classes.push_back(classRegister);
#if DEVNAME_BENCH_LIBPCI
    if (pci.access != nullptr) {
      auto name = [&](const Query& q) {
        return pci.lookup(pci.access, pciBuffer, sizeof pciBuffer, PciNameFlags, static_cast<int>(q.vendor),
                          q.device);
      };
      pciHits.push_back(nsPerCall(ids.hits, name));
      pciMisses.push_back(nsPerCall(ids.misses, name));
      pciClasses.push_back(nsPerCall(ids.classRegisters, [&](uint32_t reg) {
        return pci.lookup(pci.access, pciBuffer, sizeof pciBuffer, PciClassFlags,
                          static_cast<int>(reg >> 16));
      }));
    }
#endif
  }

  std::printf("per call, ns: median [min-max] of %d rounds\n", options.rounds);
  if (pciHits.empty()) {
    printRow("", {"libdevname"});
  } else {
    printRow("", {"libdevname", "libpci", "ratio libdevname/libpci"});
  }
  auto compared = [&](const char* label, const std::vector<double>& ours, const std::vector<double>& theirs) {
    if (theirs.empty()) {
      printRow(label, {show(spreadOf(ours), 1)});
    } else {
      printRow(label,
               {show(spreadOf(ours), 1), show(spreadOf(theirs), 1), show(spreadOf(ratios(ours, theirs)), 3)});
    }
  };
  compared("QorGetDeviceInfo, hits", hits, pciHits);
  compared("QorGetDeviceInfo, misses", misses, pciMisses);
  compared("QorGetDevicePNP", pnp, {});
  compared("QorGetDeviceClassString", classes, pciClasses);
  if (pciHits.empty()) {
    std::printf("  (libpci not compared: %s)\n", options.libpci.empty() ? "not asked for" : "not loadable");
  }
  if (HeapCounted) {
    std::printf("heap allocations during %zu libdevname calls: %lu\n", calls, allocations);
  } else {
    std::printf("heap allocations: not counted in a sanitizer build\n");
  }
#if DEVNAME_BENCH_LIBPCI
  if (pci.access != nullptr) {
    pci.cleanup(pci.access);
  }
#endif
}

void loading(const Options& options) {
  flushFile(options.library);
  flushFile(options.floor);
  std::vector<LoadFigures> ours, floor, pci;
  for (int run = 0; run < options.loads; ++run) {
    ours.push_back(runLoadChild("devname", options.library));
    floor.push_back(runLoadChild("floor", options.floor));
    if (ours.back().wallUs < 0 || floor.back().wallUs < 0) {
      return;
    }
#if DEVNAME_BENCH_LIBPCI
    if (!options.libpci.empty()) {
      pci.push_back(runLoadChild("libpci", options.libpci));
      if (pci.back().wallUs < 0) {
        pci.clear();
      }
    }
#endif
  }
  auto column = [](const std::vector<LoadFigures>& runs, double LoadFigures::*figure) {
    std::vector<double> values;
    for (const LoadFigures& run : runs) {
      values.push_back(run.*figure);
    }
    return values;
  };
  auto both = [&](const std::vector<double>& wall, const std::vector<double>& cpu, int decimals) {
    return std::vector<std::string>{show(spreadOf(wall), decimals), show(spreadOf(cpu), decimals)};
  };
  using F = LoadFigures;
  std::printf("\nload: dlopen + first call, a fresh process each run, median [min-max] of %d runs\n",
              options.loads);
  printRow("", {"wall, us", "processor time, us"});
  printRow("libdevname", both(column(ours, &F::wallUs), column(ours, &F::cpuUs), 1));
  printRow("floor library (tables, no code)", both(column(floor, &F::wallUs), column(floor, &F::cpuUs), 1));
  printRow("ratio libdevname/floor", both(ratios(column(ours, &F::wallUs), column(floor, &F::wallUs)),
                                          ratios(column(ours, &F::cpuUs), column(floor, &F::cpuUs)), 3));
  if (!pci.empty()) {
    printRow("libpci (reads pci.ids)", both(column(pci, &F::wallUs), column(pci, &F::cpuUs), 1));
    printRow("ratio libdevname/libpci", both(ratios(column(ours, &F::wallUs), column(pci, &F::wallUs)),
                                             ratios(column(ours, &F::cpuUs), column(pci, &F::cpuUs)), 3));
  }
  std::printf("\nmemory after load: the library's private dirty pages, KiB, median [min-max]\n");
  printRow("libdevname", {show(spreadOf(column(ours, &F::dirtyKiB)), 1)});
  printRow("floor library", {show(spreadOf(column(floor, &F::dirtyKiB)), 1)});
  char tables[32];
  std::snprintf(tables, sizeof tables, "%.1f", static_cast<double>(relocatedTableBytes()) / 1024);
  printRow("relocated table data", {tables});
}

bool parseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--rounds" && hasValue) {
      options.rounds = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--loads" && hasValue) {
      options.loads = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--library" && hasValue) {
      options.library = argv[++i];
    } else if (arg == "--floor" && hasValue) {
      options.floor = argv[++i];
    } else if (arg == "--libpci" && hasValue) {
      options.libpci = argv[++i];
    } else if (arg == "--no-libpci") {
      options.libpci.clear();
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--load-child") == 0) {
    return loadChild(argv[2], argv[3]);
  }
  Options options;
  if (!parseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: %s [--rounds N] [--loads N] [--library PATH] [--floor PATH] [--libpci PATH | "
                 "--no-libpci]\n",
                 argv[0]);
    return 2;
  }
  const Devname lib = openDevname(options.library);
  const IdSets ids = makeIdSets(lib.handle);
  std::printf("libdevname %s\nfloor      %s\nlibpci     %s\n", options.library.c_str(), options.floor.c_str(),
              options.libpci.empty() ? "(not compared)" : options.libpci.c_str());
  std::printf(
      "IDs: %zu PCI pairs of the tables, %zu pairs of none, %zu Plug and Play numbers, %zu class "
      "registers\n\n",
      ids.hits.size(), ids.misses.size(), ids.pnpNumbers.size(), ids.classRegisters.size());
  perCall(options, lib, ids);
  loading(options);
  return 0;
}
