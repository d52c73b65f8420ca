// Feeds arbitrary bytes to the parade reader as the content of a chunked file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "FILE.h"
#include "FLT.h"
#include "FuzzSupport.h"
#include "SLU.h"
#include "U.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tv::fuzz::QuietEngine();
  static bool born = FLT_Birth(0, 0, nullptr) == 0;
  if (!born) return 0;
  std::string path = tv::fuzz::WriteInput("flt-read", data, size);
  if (path.empty()) return 0;
  FILE_SpecH ref = nullptr;
  if (FILE_New(path.c_str(), FILE_LocFullPath, &ref) != 0) return 0;
  if (FILE_Open(FILE_PermRead, ref) == 0) {
    SLU_FileContext context{};
    FLT_Parade parade = nullptr;
    char missing[256] = {};
    int32_t count = 0;
    if (SLU_InitFile(ref, 0, &context) == 0 &&
        FLT_ReadParade(&context, nullptr, 12, nullptr, nullptr, nullptr, missing, &count, &parade) == 0) {
      // A parade that was accepted must answer its inquiries without faults.
      int32_t n = 0;
      uint32_t flags = 0;
      Boolean32 nop = 0;
      FLT_InqParadeNumSeqs(parade, &n);
      FLT_InqParadeOutFlags(parade, &flags);
      FLT_ParadeWillNop(parade, 1, 0, &nop);
      FLT_DisposeParade(parade);
    }
  }
  FILE_Dispose(ref);
  return 0;
}
