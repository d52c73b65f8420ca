// Project descriptions (the JSON files `tavelo build` reads) built into the
// open project by the host's own description builder, compiled into the
// module: the builder calls the engine's exported commands only, and its
// failures become tavelo.Error here.
#include <filesystem>

#include "cli.h"
#include "description.h"
#include "objects.h"
#include "session.h"

// What the builder needs of the host's session: failures with the engine's
// report and absolute paths.
namespace tavelo {

void EngineFail(const std::string& what, ErrorCode err) {
  tvpy::Check(err, what);
  tvpy::Fail(err, what + " failed (code " + std::to_string(err) + ")");
}

std::string AbsolutePath(const std::string& path) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(path, ec);
  if (ec) return path;
  return p.lexically_normal().string();
}

}  // namespace tavelo

namespace tvpy {

void BuildDescription(uint64_t life, const std::string& text, const std::string& name, const std::string& baseDir) {
  Enter(life);
  try {
    tavelo::BuildDescriptionText(text, name, baseDir);
  } catch (const tavelo::Failure& f) {
    // A fault of the description itself (the engine reported nothing).
    throw EngineError(3, 0, f.what(), f.what());
  }
}

}  // namespace tvpy
