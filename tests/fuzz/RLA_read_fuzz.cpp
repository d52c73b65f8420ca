// Feeds arbitrary bytes to the RLA driver as an ".rla" file: the footage is
// opened through the module framework, its frame drawn (at full size and at
// half size) and every auxiliary channel it names drawn and freed.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "EngineFuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tv::fuzz::FootageEngine();
  // The name decides the module.
  const std::string rla = tv::fuzz::WriteInput("rla-read", data, size, ".rla");
  if (rla.empty()) return 0;
  tv::fuzz::ReadFootage(rla, {Time{0, 1}});
  std::remove(rla.c_str());
  return 0;
}
