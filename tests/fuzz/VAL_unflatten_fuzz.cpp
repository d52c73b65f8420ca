// Feeds arbitrary bytes to the value unflattener as header plus data.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "FuzzSupport.h"
#include "VAL.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tv::fuzz::QuietEngine();
  static bool born = VAL_Birth() == 0;
  (void)born;
  if (size < VAL_FlatHeaderSize) return 0;
  VAL_FlatHeader header;
  std::memcpy(header.bytes, data, VAL_FlatHeaderSize);
  VAL_Value values[16];
  if (VAL_UnflattenValues(&header, data + VAL_FlatHeaderSize, static_cast<uint32_t>(size - VAL_FlatHeaderSize),
                          values, 16) == 0) {
    uint32_t count = (uint32_t(header.bytes[0]) << 24) | (uint32_t(header.bytes[1]) << 16) |
                     (uint32_t(header.bytes[2]) << 8) | header.bytes[3];
    VAL_DisposeValues(static_cast<int32_t>(count), values);
  }
  return 0;
}
