// The memory limit of the control group this process runs in (a container,
// a systemd slice, a batch scheduler's job): the cgroup v2 "memory.max" of
// the process's own group and of every group above it, else the cgroup v1
// "memory.limit_in_bytes" the same way. The lowest limit found is the one
// the kernel enforces.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "memory_internal.h"

namespace tv::mem {
namespace {

std::string ReadSmallFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> out;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) out.push_back(part);
  return out;
}

// Where a cgroup hierarchy is mounted: the group mounted there (its root,
// "/" unless the mount shows a subtree, as in a container) and the folder.
struct Mount {
  std::string root = "/";
  std::string point;
};

// The v2 mount and the v1 mount of the memory controller, from mountinfo
// ("id parent dev root point options [tags] - type source super-options").
void FindMounts(const std::string& prefix, Mount* v2, Mount* v1) {
  v2->point = "/sys/fs/cgroup";
  v1->point = "/sys/fs/cgroup/memory";
  bool foundV2 = false, foundV1 = false;
  std::istringstream lines(ReadSmallFile(prefix + "/proc/self/mountinfo"));
  std::string line;
  while (std::getline(lines, line)) {
    const size_t dash = line.find(" - ");
    if (dash == std::string::npos) continue;
    std::istringstream head(line.substr(0, dash)), tail(line.substr(dash + 3));
    std::string id, parent, dev, root, point, type, source, options;
    if (!(head >> id >> parent >> dev >> root >> point) || !(tail >> type >> source >> options)) continue;
    if (type == "cgroup2" && !foundV2) {
      *v2 = Mount{root, point};
      foundV2 = true;
    } else if (type == "cgroup" && !foundV1) {
      for (const std::string& o : Split(options, ','))
        if (o == "memory") {
          *v1 = Mount{root, point};
          foundV1 = true;
        }
    }
  }
}

// The lowest limit in `file` of the group's folder and of each folder above
// it up to the mount point; "max" (v2) or a figure beyond any machine (v1's
// "no limit") is no limit.
CgroupLimit LowestLimit(const std::string& prefix, const Mount& mount, std::string group, const char* file,
                        int32_t version) {
  CgroupLimit best;
  if (mount.root != "/" && group.compare(0, mount.root.size(), mount.root) == 0) group.erase(0, mount.root.size());
  std::string dir = group;
  while (!dir.empty() && dir.back() == '/') dir.pop_back();
  for (;;) {
    const std::string path = prefix + mount.point + dir + "/" + file;
    const std::string text = ReadSmallFile(path);
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (end != text.c_str() && v > 0 && v < (1LL << 60) && (best.bytes == 0 || v < best.bytes)) {
      best.bytes = v;
      best.version = version;
      best.file = mount.point + dir + "/" + file;
    }
    if (dir.empty()) break;
    dir.erase(dir.rfind('/'));
  }
  return best;
}

}  // namespace

CgroupLimit ReadCgroupLimit(const std::string& prefix) {
  Mount v2, v1;
  FindMounts(prefix, &v2, &v1);
  std::string groupV2, groupV1;
  bool inV2 = false, inV1 = false;
  // "hierarchy:controllers:path": "0::/path" is the v2 group; the v1 line
  // whose controllers include "memory" is the memory controller's group.
  std::istringstream lines(ReadSmallFile(prefix + "/proc/self/cgroup"));
  std::string line;
  while (std::getline(lines, line)) {
    const size_t a = line.find(':'), b = a == std::string::npos ? a : line.find(':', a + 1);
    if (b == std::string::npos) continue;
    const std::string id = line.substr(0, a), controllers = line.substr(a + 1, b - a - 1), path = line.substr(b + 1);
    if (id == "0" && controllers.empty()) {
      groupV2 = path;
      inV2 = true;
    }
    for (const std::string& c : Split(controllers, ','))
      if (c == "memory") {
        groupV1 = path;
        inV1 = true;
      }
  }
  // Both hierarchies can be mounted at once; the v2 one limits memory only
  // when the memory controller is enabled there, which its files show.
  if (inV2) {
    CgroupLimit v = LowestLimit(prefix, v2, groupV2, "memory.max", 2);
    if (v.bytes > 0) return v;
  }
  if (inV1) return LowestLimit(prefix, v1, groupV1, "memory.limit_in_bytes", 1);
  return {};
}

}  // namespace tv::mem
