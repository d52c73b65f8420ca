// Shared fixture of the FILE tests: U born with a recorder, a fresh temporary
// folder per test, helpers to make files and to check reports.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FILE.h"
#include "Memory.h"
#include "PermissionChecks.h"
#include "TestSupport.h"
#include "WriteFaults.h"
#include "io_test_out.h"

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
  // A call that failed with code and made that one error report, "Test error: " and text.
  void Fails(ErrorCode got, ErrorCode code, uint32_t site, const std::string& text) {
    EXPECT_EQ(got, code) << text;
    ExpectReport(site, "Test error: " + text);
  }
  // The name of a reference (full path by default).
  static std::string NameOf(FILE_SpecH r, int32_t kind = FILE_NameFullPath) {
    char name[FILE_MaxPath] = {};
    EXPECT_EQ(FILE_InqName(r, kind, name, sizeof name), 0);
    return name;
  }
  static bool IsDir(FILE_SpecH r) { return OUT(FILE_InqIsDir, r); }
  static bool Same(FILE_SpecH a, FILE_SpecH b) { return OUT(FILE_Compare, a, b); }
  // A file name holding data, and a reference to it.
  FILE_SpecH Made(const std::string& name, const std::string& data) {
    Write(P(name), data);
    return Ref(P(name));
  }
  // name opened with permission (a reference disposed at tear-down).
  FILE_SpecH Opened(const std::string& name, int32_t permission = FILE_PermReadWrite) {
    FILE_SpecH r = Ref(P(name));
    EXPECT_EQ(FILE_Open(permission, r), 0) << name;
    return r;
  }
  // n bytes read through r at its position, or at `at`.
  static std::string Read(FILE_SpecH r, int32_t n) {
    std::string s(static_cast<size_t>(n), '\0');
    EXPECT_EQ(FILE_NRead(r, n, s.data()), 0);
    return s;
  }
  static std::string ReadAt(FILE_SpecH r, int64_t at, int32_t n) {
    EXPECT_EQ(FILE_SetPos(r, at), 0);
    return Read(r, n);
  }
  // Writes data to the resource fork of r (or of the file name), through the reference.
  static void MakeFork(FILE_SpecH r, const std::string& data, bool close = true) {
    auto count = static_cast<int32_t>(data.size());
    ASSERT_EQ(FILE_OpenForkWithPermissions(r, FILE_ResourceFork, FILE_PermReadWrite), 0);
    ASSERT_EQ(FILE_WriteFork(r, FILE_ResourceFork, &count, data.data()), 0);
    if (close) {
      ASSERT_EQ(FILE_CloseFork(r, FILE_ResourceFork), 0);
    }
  }
  void MakeFork(const std::string& name, const std::string& data) { MakeFork(Ref(P(name)), data); }
  bool Exists(const std::string& name) const { return std::filesystem::exists(P(name)); }
  void MakeDir(const std::string& name) { ASSERT_EQ(::mkdir(P(name).c_str(), 0777), 0) << name; }

  TempDir temp_{"tvfile"};
  std::string dir;
  std::vector<FILE_SpecH> refs;
};

}  // namespace tv::test
