// Fuzzing entry point for the stored-record reader: any bytes, any length.
// The reader must stay inside the bytes, keep every buffer terminated, and a
// record it produced must serialise and read back to the same image.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "store/format.h"
#include "store/record.h"

namespace {

void checkTerminated(const ImageSafeDataStruct& record) {
  for (const IsdTextField& field : IsdTextFields) {
    const std::uint8_t* buffer = record.*field.buffer;
    if (buffer[field.capacity - 2] != 0 || buffer[field.capacity - 1] != 0) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ImageSafeDataStruct record{};
  if (!isdCreate(&record)) return 0;
  IsdRecordBuffers release(&record);
  isdParse(data, size, &record);
  checkTerminated(record);

  IsdImage first = isdSerialize(&record);
  ImageSafeDataStruct again{};
  if (!isdCreate(&again)) return 0;
  IsdRecordBuffers releaseAgain(&again);
  isdParse(first.bytes.get(), first.length, &again);
  IsdImage second = isdSerialize(&again);
  if (first.length != second.length || std::memcmp(first.bytes.get(), second.bytes.get(), first.length) != 0)
    std::abort();
  return 0;
}
