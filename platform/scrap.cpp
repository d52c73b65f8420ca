// The in-process public clipboard and its hand-over through descriptors.
#include <unistd.h>

#include <algorithm>
#include <utility>

#include "AtomicFile.h"
#include "Errno.h"
#include "Scrap.h"

namespace tv::platform {

namespace {

std::vector<std::pair<uint32_t, std::string>>& Store() {
  static std::vector<std::pair<uint32_t, std::string>> store;
  return store;
}

}  // namespace

void ClearPublicScrap() { Store().clear(); }

void PutPublicScrap(uint32_t type, std::string_view data) {
  for (auto& [t, d] : Store())
    if (t == type) {
      d.assign(data);
      return;
    }
  Store().emplace_back(type, std::string(data));
}

bool GetPublicScrap(uint32_t type, std::string* data) {
  data->clear();
  for (const auto& [t, d] : Store())
    if (t == type) {
      *data = d;
      return true;
    }
  return false;
}

std::vector<uint32_t> PublicScrapTypes() {
  std::vector<uint32_t> types;
  for (const auto& [t, d] : Store()) types.push_back(t);
  return types;
}

ErrorCode ExportPublicScrap(uint32_t type, int fd) {
  std::string data;
  if (!GetPublicScrap(type, &data)) return 0;
  return FromErrno(WriteFully(fd, data.data(), data.size()));
}

ErrorCode ImportPublicScrap(uint32_t type, int fd, size_t limit) {
  std::string data;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      return FromErrno(errno);
    }
    if (n == 0) break;
    if (data.size() + static_cast<size_t>(n) > limit) return kSysParam;
    data.append(buf, static_cast<size_t>(n));
  }
  PutPublicScrap(type, data);
  return 0;
}

}  // namespace tv::platform
