// Feeds arbitrary bytes to the RLA driver as an ".rla" file: the footage is
// opened through the module framework, its frame drawn (at full size and at
// half size) and every auxiliary channel it names drawn and freed. Frames
// of more than a million pixels are only opened, to keep runs fast.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "EngineFuzzSupport.h"
#include "FILE.h"
#include "drivers/rla/D_RLA.h"

namespace {

void DrawAt(PIN_SeqSpecH seq, int32_t width, int32_t height, Ratio scale) {
  PIN_DrawParams p{};
  p.time = Time{0, 1};
  p.scaleX = p.scaleY = scale;
  const Ratio both[2] = {scale, scale};
  int32_t w = 0, h = 0;
  if (PIN_GetDimensions(seq, both, &w, &h, nullptr) != 0 || w < 1 || h < 1) return;
  (void)width, (void)height;
  const Rect bounds{0, 0, static_cast<int16_t>(h), static_cast<int16_t>(w)};
  BM_World world = nullptr;
  if (BM_NewWorld(nullptr, 0, &bounds, 32, 0, nullptr, &world) != 0) return;
  PIN_DrawFrame(seq, world, &p);
  BM_DisposeWorld(world);
}

void Read(const std::string& path) {
  FILE_SpecH ref = nullptr;
  if (FILE_New(path.c_str(), FILE_LocFullPath, &ref) != 0) return;
  PIN_SeqSpecH seq = nullptr;
  if (PIN_NewSeqSpecFromFile(ref, &seq) == 0) {
    int32_t w = 0, h = 0;
    PIN_GetDimensions(seq, nullptr, &w, &h, nullptr);
    if (int64_t{w} * h <= 1000000) {
      DrawAt(seq, w, h, Ratio{1, 1});
      DrawAt(seq, w, h, Ratio{1, 2});
      tv::fuzz::DrawAuxChannels(seq);
    }
    PIN_DisposeSeqSpec(seq);
  }
  FILE_Dispose(ref);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tv::fuzz::FootageEngine();
  // The name decides the module: the file is an ".rla".
  std::string path = tv::fuzz::WriteInput("rla-read", data, size);
  if (path.empty()) return 0;
  const std::string rla = path + ".rla";
  if (std::rename(path.c_str(), rla.c_str()) != 0) return 0;
  Read(rla);
  std::remove(rla.c_str());
  return 0;
}
