// Feeds arbitrary bytes to the keyframe text and path readers. A text that
// reads must write again, and the written text must read to the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "EngineFuzzSupport.h"

namespace {

std::string Text(BEE_Scrap scrap) {
  uint32_t type = 0;
  Handle h = nullptr;
  if (BEE_ConvertScrapToPublic(scrap, &type, &h) != 0) return {};
  return tv::fuzz::TakeText(h);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tv::fuzz::ProjectEngine();
  if (size > (1u << 20)) return 0;
  const char* text = reinterpret_cast<const char*>(data);
  for (uint32_t type : {BEE_PublicText, BEE_PublicPath}) {
    BEE_Scrap scrap = nullptr;
    if (BEE_ConvertScrapFromPublic(type, text, static_cast<int32_t>(size), &scrap) != 0 || !scrap) continue;
    const std::string once = Text(scrap);
    BEE_DisposeScrap(scrap);
    if (type != BEE_PublicText) continue;
    BEE_Scrap again = nullptr;
    if (BEE_ConvertScrapFromPublic(type, once.data(), static_cast<int32_t>(once.size()), &again) != 0 || !again)
      std::abort();
    if (Text(again) != once) std::abort();
    BEE_DisposeScrap(again);
  }
  return 0;
}
