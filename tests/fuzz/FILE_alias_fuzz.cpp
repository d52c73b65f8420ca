// Feeds arbitrary bytes to the alias-record reader, from memory and from a
// file (whose reader takes its sizes from the file). A record that is read is
// queried and flattened; the flattened form must read back and flatten to the
// same bytes, so that what a record keeps survives every save.
#include <unistd.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "FILE.h"
#include "FuzzSupport.h"
#include "Memory.h"

namespace {

// The flattened bytes of a record (empty when it cannot be flattened).
std::string Flat(FILE_AliasH alias) {
  Handle h = nullptr;
  if (FILE_FlattenAliasRec(alias, &h) != 0 || !h) return {};
  std::string bytes(*h, static_cast<size_t>(GetHandleSize(h)));
  DisposeHandle(h);
  return bytes;
}

void Use(FILE_AliasH alias) {
  char text[FILE_MaxPath + 1];
  FourCC type = 0;
  FILE_InqAliasRecName(alias, text, sizeof text);
  FILE_InqAliasRecFullPath(alias, text, sizeof text);
  FILE_InqAliasRecType(alias, &type);
  const std::string first = Flat(alias);
  if (first.empty()) __builtin_trap();  // a record that was read can be written
  FILE_AliasH again = nullptr;
  if (FILE_UnflattenAliasRec(first.data(), static_cast<int32_t>(first.size()), &again) != 0) __builtin_trap();
  if (Flat(again) != first) __builtin_trap();
  FILE_DisposeAliasRec(again);
  FILE_DisposeAliasRec(alias);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tv::fuzz::QuietEngine();
  if (size > INT32_MAX) return 0;
  FILE_AliasH alias = nullptr;
  if (FILE_UnflattenAliasRec(data, static_cast<int32_t>(size), &alias) == 0) Use(alias);
  const std::string path = tv::fuzz::WriteInput("file-alias", data, size);
  if (path.empty()) return 0;
  FILE_SpecH ref = nullptr;
  if (FILE_New(path.c_str(), FILE_LocFullPath, &ref) == 0) {
    alias = nullptr;
    if (FILE_Open(FILE_PermRead, ref) == 0 && FILE_ReadAliasRec(ref, &alias) == 0) Use(alias);
    FILE_Dispose(ref);
  }
  ::unlink(path.c_str());
  return 0;
}
