// Feeds arbitrary bytes to the SeqSpec reader: the bytes are a file whose
// first "LIST"/"Pin " chunk is read as a SeqSpec ("sspc", alias, file list,
// "opti"); a SeqSpec that reads is written out again and disposed. The same
// bytes also go straight to the "sspc" and file-list decoders.
#include <cstddef>
#include <cstdint>

#include "EngineFuzzSupport.h"
#include "Memory.h"
#include "PIN_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tv::fuzz::FootageEngine();
  tv::pin::SeqSpec s{};
  bool list = false, none = false;
  const char* what = nullptr;
  tv::pin::DecodeSspc({data, size}, s, &list, &none, &what);
  LIST_Handle files = nullptr;
  if (tv::pin::DecodeFileList({data, size}, &files, &what)) LIST_Dispose(files, 0);
  tv::fuzz::ReadInputChunked("pin-sspc", data, size, [](SLU_FileContext* c) {
    SLU_Chunk list{};
    PIN_SeqSpecH seq = nullptr;
    if (SLU_Descend(c, tv::MakeFourCC("LIST"), tv::MakeFourCC("Pin "), nullptr, &list, nullptr) != 0 ||
        PIN_ReadSeqSpec(c, &list, &seq) != 0)
      return;
    tv::fuzz::WriteChunked("pin-sspc", [&](SLU_FileContext* w) { PIN_WriteSeqSpec(seq, w); });
    PIN_DisposeSeqSpec(seq);
  });
  return 0;
}
