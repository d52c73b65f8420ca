// tavelo: the command-line host of the engine. It births the engine's
// packages, drives them without a window system and kills them again.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "Package.h"
#include "Platform.h"
#include "U.h"

namespace {

constexpr uint32_t kHostMajor = 45;

// Reports go to standard error, dialogs are never shown.
ErrorCode LogToStderr(intptr_t, LocationCode, Severity, const char* text) {
  std::fprintf(stderr, "%s\n", text);
  return 0;
}

int Fail(const char* what, ErrorCode err) {
  std::fprintf(stderr, "tavelo: %s failed (code %d)\n", what, err);
  return 1;
}

struct Engine {
  ErrorCode err = 0;
  Engine() {
    tv::platform::SetDialogSink([](const tv::platform::Dialog& d) {
      std::fprintf(stderr, "%s\n", d.text.c_str());
      return ErrorCode{0};
    });
    err = U_Birth("tavelo", 0);
    if (err) return;
    U_SetLoggingCallback(&LogToStderr, 0);
    Up_SetInteract(0xFFFF0000u);  // log every severity, show none
    err = U_CheckVersions(tv::Location(0, 0), kHostMajor);
  }
  ~Engine() {
    if (err == 0) U_Death();
  }
};

using VersionFn = uint32_t (*)();

// Prints every package that this build of the engine contains.
void PrintPackages() {
  for (const tv::pkg::Info& info : tv::pkg::All()) {
    std::string symbol = std::string(info.name) + "_PkgObjectVersion";
    auto fn = reinterpret_cast<VersionFn>(dlsym(RTLD_DEFAULT, symbol.c_str()));
    if (!fn) continue;
    uint32_t v = fn();
    std::printf("  %-5s #%-3d %u.%u\n", info.name, info.number, v >> 16, v & 0xFFFFu);
  }
}

int Version() {
  Engine engine;
  if (engine.err) return Fail("starting the engine", engine.err);
  std::printf("tavelo engine packages:\n");
  PrintPackages();
  return 0;
}

int Demo() {
  Engine engine;
  if (engine.err) return Fail("starting the engine", engine.err);
  std::printf("Tavelo demo\n\nPackages in this engine:\n");
  PrintPackages();
  std::printf("\nWhat the engine can do so far:\n");
  std::printf("  - package frame: version checks, birth and death\n");
  std::printf("  - failure reporting through one path, logged to standard error\n");
  char text[64];
  U_AsciiVersion(0x824A0C05u, text);
  std::printf("  - version text: 0x824A0C05 reads %s\n", text);
  return 0;
}

void Usage() {
  std::printf(
      "usage: tavelo <command>\n"
      "  --version   list the engine's packages and their versions\n"
      "  demo        run the demonstration job\n");
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
