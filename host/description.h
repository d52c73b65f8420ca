// Project descriptions: a JSON file of footage, compositions, layers (solids,
// footage, nested compositions), keyframed properties, masks and effects,
// turned into a project through the engine's undoable commands (values in
// the units a user sees). docs/project-description.md is the schema.
#pragma once

#include <cstdint>
#include <string>

namespace tavelo {

// How renders of a description's compositions go (its "render" object);
// kept by the host for the render commands, not part of a project file.
struct DescriptionRender {
  int32_t fieldOrder = 0;  // 0 whole frames, 1 upper (even rows) first, 2 lower first
};

struct DescriptionOptions {
  // Footage and proxy files may be read; off, naming one is refused (the
  // fuzz target reads descriptions without touching files).
  bool readFiles = true;
};

// Builds the description at path into the open project (which should be
// empty). A built project starts, as an opened one does, with nothing to
// undo or redo: the build's own commands are not the user's steps. Throws Failure "<file>:<line>:<column>: <json path>: <what is
// wrong>" for a bad description, with the engine's failure text for a
// command that fails. Descriptions larger than kMaxDescriptionBytes are
// refused.
void BuildDescriptionFile(const std::string& path);
// The same from text; relative footage paths are taken from baseDir.
void BuildDescriptionText(const std::string& text, const std::string& name, const std::string& baseDir,
                          const DescriptionOptions& options = {});
constexpr uint64_t kMaxDescriptionBytes = 256u << 20;

// The render settings of the description built last (defaults when none).
const DescriptionRender& LastDescriptionRender();

}  // namespace tavelo
