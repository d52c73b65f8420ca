// Feeds arbitrary bytes to the stream reader as the content of a chunked file.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "TDB.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tv::fuzz::QuietEngine();
  tv::fuzz::ReadInputChunked("tdb-read", data, size, [](SLU_FileContext* c) {
    TDB_Stream stream = nullptr;
    if (TDB_ReadStream(c, nullptr, &stream) != 0) return;
    // A stream that was accepted must evaluate without faults.
    double values[5];
    for (int32_t t : {-100, 0, 1, 300, 600, 100000}) TDB_GetValueF(stream, nullptr, t, 0, values, nullptr);
    TDB_DisposeStream(stream);
  });
  return 0;
}
