// The folders the host scans for effect plug-ins, in order:
//   1. each folder given with --plugins (it must exist);
//   2. each folder of TAVELO_PLUGIN_PATH (colon-separated);
//   3. $XDG_DATA_HOME/tavelo/plug-ins (~/.local/share/tavelo/plug-ins when
//      XDG_DATA_HOME is unset or not absolute);
//   4. the installation's lib/tavelo/plug-ins, found from the program's own
//      place (<prefix>/bin/tavelo), so a moved installation still finds it.
// A folder named twice is scanned once, where it first comes. An effect
// found again in a later folder is skipped with a warning: the first copy
// wins.
#pragma once

#include <string>
#include <vector>

namespace tavelo {

struct PluginFolder {
  std::string path;    // absolute and normalised
  std::string origin;  // "--plugins", "TAVELO_PLUGIN_PATH", "XDG_DATA_HOME" or "installation"
};

// The folders for these --plugins folders; the defaults (2 to 4) only when
// withDefaults.
std::vector<PluginFolder> PluginFolders(const std::vector<std::string>& given, bool withDefaults);

// <prefix>/lib/tavelo/plug-ins for the running program (/proc/self/exe);
// "" when the program's place cannot be read.
std::string InstalledPluginFolder();

}  // namespace tavelo
