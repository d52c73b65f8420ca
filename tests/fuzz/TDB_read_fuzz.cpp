// Feeds arbitrary bytes to the stream reader as the content of a chunked file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "FILE.h"
#include "FuzzSupport.h"
#include "SLU.h"
#include "TDB.h"
#include "U.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tv::fuzz::QuietEngine();
  std::string path = tv::fuzz::WriteInput("tdb-read", data, size);
  if (path.empty()) return 0;
  FILE_SpecH ref = nullptr;
  if (FILE_New(path.c_str(), FILE_LocFullPath, &ref) != 0) return 0;
  if (FILE_Open(FILE_PermRead, ref) == 0) {
    SLU_FileContext context{};
    TDB_Stream stream = nullptr;
    if (SLU_InitFile(ref, 0, &context) == 0 && TDB_ReadStream(&context, nullptr, &stream) == 0) {
      // A stream that was accepted must evaluate without faults.
      double values[5];
      for (int32_t t : {-100, 0, 1, 300, 600, 100000}) TDB_GetValueF(stream, nullptr, t, 0, values, nullptr);
      TDB_DisposeStream(stream);
    }
  }
  FILE_Dispose(ref);
  return 0;
}
