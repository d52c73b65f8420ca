// Feeds arbitrary text to the interpretation rules parser, then applies the
// rules that loaded to a missing-footage SeqSpec and lists the named pixel
// aspect ratios they brought; the rules are dropped after each input.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "EngineFuzzSupport.h"
#include "PIN_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tv::fuzz::FootageEngine();
  tv::pin::LoadRules(std::string_view(reinterpret_cast<const char*>(data), size));
  PIN_SeqSpecH seq = nullptr;
  const Time duration{30, 30};
  if (PIN_NewSeqSpecMissingPlus(720, 486, &duration, 30 << 16, &seq) == 0) {
    tv::pin::ApplyRules(seq);
    PIN_Interpretation interp{};
    PIN_GetInterpretation(seq, &interp);
    PIN_DisposeSeqSpec(seq);
  }
  int32_t count = 0;
  PIN_GetNamedPixelAspectRatios(nullptr, 0, &count);
  std::vector<PIN_NamedRatio> ratios(static_cast<size_t>(count));
  PIN_GetNamedPixelAspectRatios(ratios.data(), count, &count);
  tv::pin::ClearRules();
  return 0;
}
