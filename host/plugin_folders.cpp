#include "plugin_folders.h"

#include <cstdlib>
#include <filesystem>

#include "session.h"

namespace tavelo {

namespace fs = std::filesystem;

std::string InstalledPluginFolder() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty()) return {};
  return (exe.parent_path().parent_path() / "lib" / "tavelo" / "plug-ins").lexically_normal().string();
}

std::vector<PluginFolder> PluginFolders(const std::vector<std::string>& given, bool withDefaults) {
  std::vector<PluginFolder> all;
  for (const std::string& d : given) all.push_back({AbsolutePath(d), "--plugins"});
  if (withDefaults) {
    if (const char* path = std::getenv("TAVELO_PLUGIN_PATH")) {
      std::string list = path;
      for (size_t start = 0; start <= list.size();) {
        size_t end = list.find(':', start);
        if (end == std::string::npos) end = list.size();
        // Empty entries ("a::b", a trailing colon) name no folder.
        if (end > start) all.push_back({AbsolutePath(list.substr(start, end - start)), "TAVELO_PLUGIN_PATH"});
        start = end + 1;
      }
    }
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (xdg && xdg[0] == '/')
      all.push_back({AbsolutePath(std::string(xdg) + "/tavelo/plug-ins"), "XDG_DATA_HOME"});
    else if (home && home[0] == '/')
      all.push_back({AbsolutePath(std::string(home) + "/.local/share/tavelo/plug-ins"), "XDG_DATA_HOME"});
    if (std::string installed = InstalledPluginFolder(); !installed.empty())
      all.push_back({installed, "installation"});
  }
  // The same folder under two names (a link, a trailing slash) is one folder.
  std::vector<PluginFolder> folders;
  std::vector<std::string> seen;
  for (PluginFolder& f : all) {
    std::error_code ec;
    std::string key = fs::weakly_canonical(f.path, ec).string();
    if (ec) key = f.path;
    bool dup = false;
    for (const std::string& s : seen) dup = dup || s == key;
    if (dup) continue;
    seen.push_back(key);
    folders.push_back(std::move(f));
  }
  return folders;
}

}  // namespace tavelo
