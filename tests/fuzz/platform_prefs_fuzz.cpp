// Feeds arbitrary text to the preferences reader as the preferences file: the
// memory manager reads its settings from it (writing the defaults it misses),
// a few keys are read as numbers and texts, and a value that is set reads
// back as set, whatever else the file holds.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "Memory.h"
#include "Prefs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = tv::fuzz::WriteInput("platform-prefs", data, size);
  if (path.empty()) return 0;
  EMUL_SetTVPrefsFile(path.c_str());  // reloads the memory settings from it
  char text[64];
  for (const char* section : {TV_PREFS_SECTION, "a", ""})
    for (const char* key : {"MemoryUsage", "a", "key", "Slop"}) {
      EMUL_GetProfileInt(section, key, -7);
      EMUL_GetProfileString(section, key, "none", text, sizeof text);
    }
  if (EMUL_SetProfileString("Fuzz Section", "FuzzKey", "4 2") == 0) {
    EMUL_GetProfileString("fuzz section", "fuzzkey", "", text, sizeof text);
    if (std::strcmp(text, "4 2") != 0) __builtin_trap();
  }
  if (EMUL_SetProfileInt(TV_PREFS_SECTION, "key", -123) == 0 && EMUL_GetProfileInt(TV_PREFS_SECTION, "KEY", 0) != -123)
    __builtin_trap();
  EMUL_SetTVPrefsFile(nullptr);  // back to the defaults for the next input
  ::unlink(path.c_str());
  return 0;
}
