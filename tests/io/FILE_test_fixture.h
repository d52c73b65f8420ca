// Shared fixture of the FILE tests: U born with a recorder, a fresh temporary
// folder per test, helpers to make files and to check reports.
#pragma once

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "FILE.h"
#include "Memory.h"
#include "TestSupport.h"

namespace tv::test {

// While alive, the calling thread is subject to file permission checks even
// when running as root (the permission-override capabilities are lowered in
// this thread only). Without them it changes nothing.
class PermissionChecks {
 public:
  PermissionChecks() {
    hdr_.version = _LINUX_CAPABILITY_VERSION_3;
    hdr_.pid = 0;
    if (syscall(SYS_capget, &hdr_, saved_) != 0) return;
    __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
    lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
    active_ = syscall(SYS_capset, &hdr_, lowered) == 0;
  }
  ~PermissionChecks() {
    if (active_) syscall(SYS_capset, &hdr_, saved_);
  }
  PermissionChecks(const PermissionChecks&) = delete;
  PermissionChecks& operator=(const PermissionChecks&) = delete;

 private:
  __user_cap_header_struct hdr_{};
  __user_cap_data_struct saved_[2]{};
  bool active_ = false;
};

class FileTest : public UFixture {
 protected:
  void SetUp() override {
    UFixture::SetUp();
    file::ResetState();
    dir = temp_.path();
    ASSERT_FALSE(dir.empty());
  }
  void TearDown() override {
    for (FILE_SpecH r : refs) FILE_Dispose(r);
    refs.clear();
    file::ResetState();
    UFixture::TearDown();
  }

  std::string P(const std::string& name) const { return dir + "/" + name; }

  void Write(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary);
    out << data;
  }
  std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  // A reference for path (disposed at tear-down).
  FILE_SpecH Ref(const std::string& path) {
    FILE_SpecH r = nullptr;
    EXPECT_EQ(FILE_New(path.c_str(), FILE_LocFullPath, &r), 0) << path;
    if (r) refs.push_back(r);
    return r;
  }
  FILE_SpecH Keep(FILE_SpecH r) {
    if (r) refs.push_back(r);
    return r;
  }
  void Forget(FILE_SpecH r) { std::erase(refs, r); }

  // The one report made since the last clear, checked for code location and text.
  void ExpectReport(uint32_t site, const std::string& text, Severity severity = kSevError) {
    ASSERT_EQ(rec.reports.size(), 1u) << (rec.reports.empty() ? "" : rec.reports.back().text);
    EXPECT_EQ(rec.last().location, Location(FILE_PackageNumber, site));
    EXPECT_EQ(rec.last().severity, severity);
    EXPECT_EQ(rec.last().text, text);
    rec.clear();
  }

  TempDir temp_{"tvfile"};
  std::string dir;
  std::vector<FILE_SpecH> refs;
};

}  // namespace tv::test
