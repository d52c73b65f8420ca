// Feeds arbitrary bytes to the parade reader as the content of a chunked file.
#include <cstddef>
#include <cstdint>

#include "FLT.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tv::fuzz::QuietEngine();
  static bool born = FLT_Birth(0, 0, nullptr) == 0;
  if (!born) return 0;
  tv::fuzz::ReadInputChunked("flt-read", data, size, [](SLU_FileContext* c) {
    FLT_Parade parade = nullptr;
    char missing[256] = {};
    int32_t count = 0;
    if (FLT_ReadParade(c, nullptr, 12, nullptr, nullptr, nullptr, missing, &count, &parade) != 0) return;
    // A parade that was accepted must answer its inquiries without faults.
    int32_t n = 0;
    uint32_t flags = 0;
    Boolean32 nop = 0;
    FLT_InqParadeNumSeqs(parade, &n);
    FLT_InqParadeOutFlags(parade, &flags);
    FLT_ParadeWillNop(parade, 1, 0, &nop);
    FLT_DisposeParade(parade);
  });
  return 0;
}
