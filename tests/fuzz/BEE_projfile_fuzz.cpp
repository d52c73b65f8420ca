// Feeds arbitrary bytes to the project file reader: the bytes are opened as
// a project and imported into it; a project that reads is saved again. A
// refused file must leave the open project exactly as it was.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "EngineFuzzSupport.h"
#include "FILE.h"

namespace {

std::string Dump() {
  Handle h = nullptr;
  if (BEEp_DumpProject(&h) != 0) return {};
  return tv::fuzz::TakeText(h);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tv::fuzz::ProjectEngine();
  const std::string path = tv::fuzz::WriteInput("BEE_projfile", data, size);
  if (path.empty()) return 0;
  FILE_SpecH in = nullptr;
  if (FILE_New(path.c_str(), FILE_LocFullPath, &in) != 0) return 0;
  BEE_NewProject();
  const std::string before = Dump();
  if (BEE_CmdImportProject(in, nullptr) != 0 && Dump() != before) std::abort();
  if (BEE_CmdOpenProject(in, 1, nullptr) == 0) {
    const std::string out = path + ".out";
    FILE_SpecH o = nullptr;
    if (FILE_New(out.c_str(), FILE_LocFullPath, &o) == 0) {
      BEE_CmdSaveProject(o, 0, 0);
      FILE_Dispose(o);
    }
    std::remove(out.c_str());
  }
  FILE_Dispose(in);
  std::remove(path.c_str());
  return 0;
}
