// Calls from several threads at once, each with its own buffer.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "devname.h"

namespace {

struct Query {
  uint32_t vendor;
  int32_t device;
};

// A spread of PCI pairs, Plug and Play numbers and unknown IDs.
std::vector<Query> mixedQueries() {
  std::vector<Query> queries;
  for (std::size_t i = 0; i < std::size(PciDevTable); i += 97) {
    queries.push_back({PciDevTable[i].vendorId, PciDevTable[i].deviceId});
  }
  for (std::size_t i = 0; i < std::size(qorPciDevices); i += 89) {
    queries.push_back({qorPciDevices[i].vendorId, qorPciDevices[i].deviceId});
  }
  for (int32_t number : {0x0000, 0x0931, 0x0C01, 0x81C6, 0x0005, -1}) {
    queries.push_back({PnpVendorMarker, number});
  }
  queries.push_back({0xFFFF, 0xFFFF});
  queries.push_back({0x00018086, 0x1229});
  return queries;
}

std::vector<std::string> runQueries(const std::vector<Query>& queries) {
  std::vector<std::string> results;
  char buffer[512];
  for (const Query& q : queries) {
    std::string line = QorGetDeviceInfo(q.vendor, q.device, buffer);
    line += '|';
    line += QorGetDevicePNP(q.vendor, q.device, buffer);
    line += '|';
    line += std::to_string(QorGetDeviceClassString(static_cast<uint32_t>(q.device) << 16, buffer));
    line += buffer;
    results.push_back(line);
  }
  return results;
}

TEST(Concurrency, ParallelCallsDifferFromSerialCalls) {
  const std::vector<Query> queries = mixedQueries();
  const std::vector<std::string> serial = runQueries(queries);
  constexpr int ThreadCount = 4;
  constexpr int Rounds = 3;
  std::vector<std::vector<std::string>> results(ThreadCount * Rounds);
  std::vector<std::thread> threads;
  for (int t = 0; t < ThreadCount; ++t) {
    threads.emplace_back([&results, &queries, t] {
      for (int r = 0; r < Rounds; ++r) {
        results[static_cast<std::size_t>(t * Rounds + r)] = runQueries(queries);
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  for (const auto& result : results) {
    EXPECT_EQ(result, serial);
  }
}

}  // namespace
