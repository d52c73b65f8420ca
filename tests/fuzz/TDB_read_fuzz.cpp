// Feeds arbitrary bytes to the stream reader as the content of a chunked file.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "FILE.h"
#include "Platform.h"
#include "SLU.h"
#include "TDB.h"
#include "U.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string path = [] {
    tv::platform::SetDialogSink([](const tv::platform::Dialog&) { return ErrorCode{0}; });
    U_Birth("fuzz", 0);
    Up_SetInteract(0);
    return "/tmp/tdb_read_fuzz_" + std::to_string(::getpid()) + ".bin";
  }();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);
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
