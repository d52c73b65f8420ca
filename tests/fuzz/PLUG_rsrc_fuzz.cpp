// Feeds arbitrary bytes to the plug-in file readers: the first byte picks the
// ELF section lookup, the resource map or the property list; a map that
// passes its check is searched and its property lists read.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "FuzzSupport.h"
#include "PLUG_internal.h"

namespace {

using namespace tv::plug;

struct Memory {
  const uint8_t* data;
  uint64_t size;
};

bool ReadMemory(void* ctx, uint64_t offset, void* buffer, uint32_t count) {
  auto* m = static_cast<Memory*>(ctx);
  if (offset > m->size || count > m->size - offset) return false;
  std::memcpy(buffer, m->data + offset, count);
  return true;
}

void ReadPiPL(std::span<const uint8_t> p) {
  if (CheckPiPLBytes(p)) return;
  std::span<const uint8_t> prop;
  for (FourCC key : {Four("kind"), Four("pwpc"), Four("eMNA"), Four("tvFL")}) {
    if (!FindProp(p, key, 0, &prop)) continue;
    char text[48];
    CopyPString(prop, key == Four("pwpc") ? 24 : 0, text, sizeof text);
  }
}

void ReadMap(std::span<const uint8_t> map) {
  if (CheckMap(map)) return;
  for (int32_t n = 0; n < 4; ++n) {
    std::span<const uint8_t> pipl = FindResource(map, kPiPLType, n, false, 0);
    if (pipl.empty()) break;
    ReadPiPL(pipl);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tv::fuzz::QuietEngine();
  if (size < 1) return 0;
  std::span<const uint8_t> rest(data + 1, size - 1);
  switch (data[0] % 3) {
    case 0: {
      Memory m{rest.data(), rest.size()};
      uint64_t offset = 0, length = 0;
      bool isElf = false;
      if (!FindElfSection(ReadMemory, &m, m.size, ".tvrsrc", &offset, &length, &isElf) && length)
        ReadMap(rest.subspan(offset, length));
      break;
    }
    case 1:
      ReadMap(rest);
      break;
    default:
      ReadPiPL(rest);
      break;
  }
  return 0;
}
