// Feeds arbitrary bytes to the SeqSpec reader: the bytes are a file whose
// first "LIST"/"Pin " chunk is read as a SeqSpec ("sspc", alias, file list,
// "opti"); a SeqSpec that reads is written out again and disposed. The same
// bytes also go straight to the "sspc" and file-list decoders.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "EngineFuzzSupport.h"
#include "FILE.h"
#include "Memory.h"
#include "PIN_internal.h"
#include "SLU.h"

namespace {

void ReadFile(const std::string& path, const std::string& out) {
  FILE_SpecH ref = nullptr;
  if (FILE_New(path.c_str(), FILE_LocFullPath, &ref) != 0) return;
  if (FILE_Open(FILE_PermRead, ref) == 0) {
    SLU_FileContext c{};
    SLU_Chunk list{};
    PIN_SeqSpecH seq = nullptr;
    if (SLU_InitFile(ref, 0, &c) == 0 &&
        SLU_Descend(&c, tv::MakeFourCC("LIST"), tv::MakeFourCC("Pin "), nullptr, &list, nullptr) == 0 &&
        PIN_ReadSeqSpec(&c, &list, &seq) == 0) {
      FILE_SpecH dst = nullptr;
      if (FILE_New(out.c_str(), FILE_LocFullPath, &dst) == 0) {
        SLU_FileContext w{};
        if (FILE_Create(FILE_CreateFile, 0, FILE_CreateReplace, dst) == 0 &&
            FILE_Open(FILE_PermReadWrite, dst) == 0 && SLU_InitFile(dst, 0, &w) == 0)
          PIN_WriteSeqSpec(seq, &w);
        FILE_Dispose(dst);
      }
      PIN_DisposeSeqSpec(seq);
    }
    FILE_Close(ref);
  }
  FILE_Dispose(ref);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tv::fuzz::FootageEngine();
  tv::pin::SeqSpec s{};
  bool list = false, none = false;
  const char* what = nullptr;
  tv::pin::DecodeSspc({data, size}, s, &list, &none, &what);
  LIST_Handle files = nullptr;
  if (tv::pin::DecodeFileList({data, size}, &files, &what)) LIST_Dispose(files, 0);
  const std::string path = tv::fuzz::WriteInput("pin-sspc", data, size);
  if (path.empty()) return 0;
  ReadFile(path, path + ".out");
  std::remove((path + ".out").c_str());
  return 0;
}
