// Feeds arbitrary bytes to the ElectricImage driver as an ".img" file (and,
// for inputs of odd length, the same bytes as its ".eiz" depth file): the
// footage is opened through the module framework, its first frames drawn at
// full and half size, and its depth channel drawn and freed.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "EngineFuzzSupport.h"
#include "drivers/ei/D_EI.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tv::fuzz::FootageEngine();
  // The name decides the module.
  const std::string img = tv::fuzz::WriteInput("ei-read", data, size, ".img");
  const std::string eiz = size % 2 == 1 ? tv::fuzz::WriteInput("ei-read", data, size, ".eiz") : "";
  if (!img.empty()) tv::fuzz::ReadFootage(img, {Time{0, 30}, Time{1, 30}, Time{2, 30}});
  std::remove(img.c_str());
  std::remove(eiz.c_str());
  return 0;
}
