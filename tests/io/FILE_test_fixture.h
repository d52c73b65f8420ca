// Shared fixture of the FILE tests: U born with a recorder, a fresh temporary
// folder per test, helpers to make files and to check reports.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "FILE.h"
#include "Memory.h"
#include "PermissionChecks.h"
#include "TestSupport.h"

namespace tv::test {

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
