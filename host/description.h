// Project descriptions: a JSON file of footage, compositions, layers (solids,
// footage, nested compositions), keyframed properties, masks and effects,
// turned into a project through the engine's undoable commands (values in
// the units a user sees). docs/project-description.md is the schema.
#pragma once

#include <string>

namespace tavelo {

// Builds the description at path into the open project (which should be
// empty). Throws Failure "<file>: <json path>: <what is wrong>" for a bad
// description and the engine's failure text for a command that fails.
void BuildDescriptionFile(const std::string& path);
// The same from text; relative footage paths are taken from baseDir.
void BuildDescriptionText(const std::string& text, const std::string& name, const std::string& baseDir);

}  // namespace tavelo
