// Feeds arbitrary bytes to the ElectricImage driver as an ".img" file (and,
// for inputs of odd length, the same bytes as its ".eiz" depth file): the
// footage is opened through the module framework, its first frames drawn at
// full and half size, and its depth channel drawn and freed. Frames of more
// than a million pixels are only opened, to keep runs fast.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "BM.h"
#include "FILE.h"
#include "EngineFuzzSupport.h"
#include "PIN.h"
#include "drivers/ei/D_EI.h"

namespace {

void DrawAt(PIN_SeqSpecH seq, Time time, Ratio scale) {
  PIN_DrawParams p{};
  p.time = time;
  p.scaleX = p.scaleY = scale;
  const Ratio both[2] = {scale, scale};
  int32_t w = 0, h = 0;
  if (PIN_GetDimensions(seq, both, &w, &h, nullptr) != 0 || w < 1 || h < 1) return;
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
      for (int32_t f = 0; f < 3; ++f) DrawAt(seq, Time{f, 30}, Ratio{1, 1});
      DrawAt(seq, Time{0, 1}, Ratio{1, 2});
      tv::fuzz::DrawAuxChannels(seq);
    }
    PIN_DisposeSeqSpec(seq);
  }
  FILE_Dispose(ref);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tv::fuzz::FootageEngine();
  // The name decides the module: the file is an ".img".
  std::string path = tv::fuzz::WriteInput("ei-read", data, size);
  if (path.empty()) return 0;
  const std::string stem = path.substr(0, path.size() - 4);
  const std::string img = stem + ".img", eiz = stem + ".eiz";
  if (std::rename(path.c_str(), img.c_str()) != 0) return 0;
  if (size % 2 == 1) {
    if (std::FILE* f = std::fopen(eiz.c_str(), "wb")) {
      if (size) std::fwrite(data, 1, size, f);
      std::fclose(f);
    }
  }
  Read(img);
  std::remove(img.c_str());
  std::remove(eiz.c_str());
  return 0;
}
