// Feeds arbitrary bytes to the shape reader; a shape it accepts is
// converted, written back and compared.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "OM.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tv::fuzz::QuietEngine();
  if (size > (1u << 20)) return 0;
  OM_Shape s = nullptr;
  if (OM_ShapeFromBytes(data, static_cast<int32_t>(size), &s) != 0) return 0;
  std::vector<uint8_t> back(size);
  int32_t n = 0;
  if (OM_ShapeToBytes(s, back.data(), static_cast<int32_t>(size), &n) != 0 || back != std::vector<uint8_t>(data, data + size))
    __builtin_trap();
  const FixedRect ref{0, 0, 100 << 16, 100 << 16};
  if (OM_AbsToRel(&ref, s) == 0) OM_RelToAbs(&ref, s);
  OM_SetShapeType(OM_TypePath, s);
  OM_SetPolyDir(s, 1);
  OM_DisposeShape(s);
  return 0;
}
