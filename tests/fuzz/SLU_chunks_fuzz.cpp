// Feeds arbitrary bytes to the chunk walker: every chunk is descended into,
// containers are walked recursively, atoms are read into a bounded buffer
// and as blocks, and every chunk is ascended out of again.
#include <cstddef>
#include <cstdint>

#include "Memory.h"
#include "FuzzSupport.h"

namespace {

void Walk(SLU_FileContext* c, const SLU_Chunk* parent, int depth) {
  for (int steps = 0;; ++steps) {
    SLU_Chunk chunk{};
    Boolean32 found = 0;
    if (SLU_Descend(c, 0, 0, parent, &chunk, &found) != 0 || !found) return;
    if (steps > 1 << 20) __builtin_trap();  // a scan that does not advance
    if (tv::slu::IsContainer(chunk.id)) {
      if (depth < 64) Walk(c, &chunk, depth + 1);
    } else if (chunk.size & 1) {
      Handle h = nullptr;
      int64_t start = chunk.dataStart - 8;
      FILE_SetPos(c->file, start);
      if (SLU_ReadHandle(c, parent, chunk.id, &h) == 0 && h) DisposeHandle(h);
      FILE_SetPos(c->file, chunk.dataStart);
    } else {
      uint8_t buffer[64];
      SLU_Read(c, &chunk, sizeof buffer, buffer);
    }
    if (SLU_Ascend(c, &chunk) != 0) return;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tv::fuzz::QuietEngine();
  tv::fuzz::ReadInputChunked("slu-chunks", data, size, [](SLU_FileContext* c) {
    SLU_Chunk top{};
    Boolean32 found = 0;
    if (SLU_Descend(c, 0, 0, nullptr, &top, &found) == 0 && found) {
      if (tv::slu::IsContainer(top.id)) Walk(c, &top, 0);
      SLU_Ascend(c, &top);
    }
    FILE_AliasH alias = nullptr;
    FILE_SetPos(c->file, 0);
    if (SLU_ReadAliasRec(c, nullptr, nullptr, &alias) == 0 && alias) FILE_DisposeAliasRec(alias);
  });
  return 0;
}
