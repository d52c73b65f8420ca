// Feeds arbitrary bytes to the list reader, plain and through an item
// decoder; a list that is read is used (grown, shrunk, written) and disposed.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "FILE.h"
#include "LIST_file.h"
#include "FuzzSupport.h"
#include "U.h"

namespace {

std::string gPath, gOut;

ErrorCode Decode(intptr_t, LIST_Handle, int32_t, const uint8_t* in, void* item) {
  static_cast<uint8_t*>(item)[0] = in[0];
  return in[0] == 0xEE ? tv::kErrRange : 0;
}

void Use(LIST_Handle list) {
  LIST_Insert(nullptr, -1, list);
  LIST_Remove(0, list, 0, nullptr);
  FILE_SpecH out = nullptr;
  if (FILE_New(gOut.c_str(), FILE_LocFullPath, &out) == 0) {
    SLU_FileContext c{};
    if (FILE_Create(FILE_CreateFile, 0, FILE_CreateReplace, out) == 0 && FILE_Open(FILE_PermReadWrite, out) == 0 &&
        SLU_InitFile(out, 0, &c) == 0)
      LIST_Write(list, &c);
    FILE_Dispose(out);
  }
  LIST_Dispose(list, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tv::fuzz::QuietEngine();
  gPath = tv::fuzz::WriteInput("listio-read", data, size);
  if (gPath.empty()) return 0;
  gOut = gPath + ".out";
  FILE_SpecH ref = nullptr;
  if (FILE_New(gPath.c_str(), FILE_LocFullPath, &ref) == 0) {
    SLU_FileContext c{};
    if (FILE_Open(FILE_PermRead, ref) == 0 && SLU_InitFile(ref, 0, &c) == 0) {
      LIST_Handle list = nullptr;
      if (LIST_Read(&c, nullptr, &list) == 0) Use(list);
      FILE_SetPos(ref, 0);
      list = nullptr;
      if (LIST_ReadDecoded(&c, nullptr, 16, 4, Decode, 0, &list) == 0) Use(list);
    }
    FILE_Dispose(ref);
  }
  ::unlink(gPath.c_str());
  ::unlink(gOut.c_str());
  return 0;
}
