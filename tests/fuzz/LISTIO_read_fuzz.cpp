// Feeds arbitrary bytes to the list reader, plain and through an item
// decoder; a list that is read is used (grown, shrunk, written) and disposed.
#include <cstddef>
#include <cstdint>

#include "LIST_file.h"
#include "FuzzSupport.h"

namespace {

ErrorCode Decode(intptr_t, LIST_Handle, int32_t, const uint8_t* in, void* item) {
  static_cast<uint8_t*>(item)[0] = in[0];
  return in[0] == 0xEE ? tv::kErrRange : 0;
}

void Use(LIST_Handle list) {
  LIST_Insert(nullptr, -1, list);
  LIST_Remove(0, list, 0, nullptr);
  tv::fuzz::WriteChunked("listio-read", [&](SLU_FileContext* c) { LIST_Write(list, c); });
  LIST_Dispose(list, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tv::fuzz::QuietEngine();
  tv::fuzz::ReadInputChunked("listio-read", data, size, [](SLU_FileContext* c) {
    LIST_Handle list = nullptr;
    if (LIST_Read(c, nullptr, &list) == 0) Use(list);
    FILE_SetPos(c->file, 0);
    list = nullptr;
    if (LIST_ReadDecoded(c, nullptr, 16, 4, Decode, 0, &list) == 0) Use(list);
  });
  return 0;
}
