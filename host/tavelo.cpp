// tavelo: the command-line host of the engine. It births the engine's
// packages, drives them without a window system and kills them again.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "BM.h"
#include "Engine.h"
#include "M.h"
#include "MC.h"
#include "Prefs.h"
#include "U.h"
#include "VAL.h"

namespace {

constexpr uint32_t kHostMajor = 45;

// Reports go to standard error, dialogs are never shown.
ErrorCode LogToStderr(intptr_t, LocationCode, Severity, const char* text) {
  std::fprintf(stderr, "%s\n", text);
  return 0;
}

int Fail(const char* what, ErrorCode err) {
  std::fprintf(stderr, "tavelo: starting %s failed (code %d)\n", what ? what : "the engine", err);
  return 1;
}

// The engine's packages, born in dependency order (through the engine's
// births) and killed in reverse.
struct Engine {
  ErrorCode err = 0;
  const char* failed = nullptr;
  bool born = false;

  Engine() {
    // Machine settings (memory budget, codecs) come from the preferences file
    // named by TAVELO_PREFS; without it they stay in memory at their defaults.
    if (const char* prefs = std::getenv("TAVELO_PREFS")) EMUL_SetTVPrefsFile(prefs);
    err = TV_BirthPackages("tavelo", nullptr, 0);
    if (err) {
      failed = "U";
      return;
    }
    born = true;
    U_SetLoggingCallback(&LogToStderr, 0);
    Up_SetInteract(0xFFFF0000u);  // log every severity, show none
    err = U_CheckVersions(tv::Location(0, 0), kHostMajor);
    if (err) {
      failed = "versions";
      return;
    }
    // M (with its fast tables), VAL and BM; the project engine is born by the demo.
    const int32_t packages[] = {M_PackageNumber, VAL_PackageNumber, BM_PackageNumber};
    err = TV_BirthPackages("tavelo", packages, 3);
    if (err) failed = "the packages";
    // When memory runs short, cached frames go first, least important first.
    SetGrowZone(&MC_GrowZone);
  }

  ~Engine() {
    SetGrowZone(nullptr);
    if (born) TV_DeathPackages();
  }
};

using VersionFn = uint32_t (*)();

}  // namespace

int RunProjectDemo();

namespace {

// Prints every package that this build of the engine contains.
void PrintPackages() {
  const char* name = nullptr;
  int32_t number = 0;
  for (int32_t i = 0; Up_GetPackageInfo(i, &name, &number, nullptr) == 0; ++i) {
    std::string symbol = std::string(name) + "_PkgObjectVersion";
    auto fn = reinterpret_cast<VersionFn>(dlsym(RTLD_DEFAULT, symbol.c_str()));
    if (!fn) continue;
    uint32_t v = fn();
    std::printf("  %-5s #%-3d %u.%u\n", name, number, v >> 16, v & 0xFFFFu);
  }
}

int Version() {
  Engine engine;
  if (engine.err) return Fail(engine.failed, engine.err);
  std::printf("tavelo engine packages:\n");
  PrintPackages();
  return 0;
}

int Demo() {
  Engine engine;
  if (engine.err) return Fail(engine.failed, engine.err);
  std::printf("Tavelo demo\n\nPackages in this engine:\n");
  PrintPackages();
  std::printf("\n");
  return RunProjectDemo() == 0 ? 0 : 1;
}

void Usage() {
  std::printf(
      "usage: tavelo <command>\n"
      "  --version   list the engine's packages and their versions\n"
      "  demo        run the demonstration job\n"
      "\n"
      "environment:\n"
      "  TAVELO_PREFS         preferences file (section \"Tavelo\"); settings stay in memory without it\n"
      "  TAVELO_DEBUG_OUTPUT  print the engine's debugger output to standard error\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    Usage();
    return 2;
  }
  std::string_view cmd = argv[1];
  if (cmd == "--version") return Version();
  if (cmd == "demo") return Demo();
  if (cmd == "--help" || cmd == "-h") {
    Usage();
    return 0;
  }
  std::fprintf(stderr, "tavelo: unknown command \"%s\"\n", argv[1]);
  Usage();
  return 2;
}
