// Write faults for the tests of every writer: a scope that makes the
// engine's checked writes fail as a full or broken disk would, the set of
// faults each writer is put through, and what a folder holds afterwards.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "AtomicFile.h"

namespace tv::test {

class WriteFaultScope {
 public:
  explicit WriteFaultScope(const platform::WriteFault& fault) { platform::SetWriteFault(fault); }
  ~WriteFaultScope() { platform::ClearWriteFault(); }
  WriteFaultScope(const WriteFaultScope&) = delete;
  WriteFaultScope& operator=(const WriteFaultScope&) = delete;
};

struct FaultCase {
  platform::WriteFault fault;
  ErrorCode code;        // the platform code the writer returns
  const char* reason;    // the platform's words in the report
};

// For a writer that writes `total` bytes when nothing fails: a full disk
// before the first byte, a third of the way, one byte short; an I/O error
// half way; failing fsync and close.
inline std::vector<FaultCase> FaultsFor(int64_t total) {
  using platform::WriteFaultOp;
  return {{{WriteFaultOp::Write, ENOSPC, 0}, kSysDiskFull, "disk is full"},
          {{WriteFaultOp::Write, ENOSPC, total / 3}, kSysDiskFull, "disk is full"},
          {{WriteFaultOp::Write, EFBIG, total - 1}, kSysDiskFull, "disk is full"},
          {{WriteFaultOp::Write, EIO, total / 2}, kSysIO, "disk error"},
          {{WriteFaultOp::Sync, EIO, 0}, kSysIO, "disk error"},
          {{WriteFaultOp::Close, ENOSPC, 0}, kSysDiskFull, "disk is full"}};
}

inline std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// The names in a folder, sorted (hidden ones included).
inline std::vector<std::string> NamesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace tv::test
