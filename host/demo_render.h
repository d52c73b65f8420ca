// The rendered part of `tavelo demo`.
#pragma once

#include <string>

namespace tavelo {

// Renders the demo project into outputDir (frames/, footage/,
// contact_sheet.png) and prints where the files are. The engine must be born.
int RenderDemo(const std::string& outputDir, bool quiet);

}  // namespace tavelo
