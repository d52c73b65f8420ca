// Shared test doubles: a fixture that births U and the packages a test needs
// through the engine's births, records every logged report and every dialog,
// and kills them afterwards.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "FILE.h"
#include "Platform.h"
#include "U.h"

namespace tv::test {

struct Report {
  LocationCode location;
  Severity severity;
  std::string text;
};

// A dialog as the sink saw it.
struct ShownDialog {
  std::string title;
  std::string text;
  platform::Icon icon;
};

// Records reports through U's log callback and dialogs through the platform
// message sink while it lives.
class Recorder {
 public:
  Recorder();
  ~Recorder();
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // Installs the log callback (U must be alive).
  void Attach();

  std::vector<Report> reports;
  std::vector<ShownDialog> dialogs;
  ErrorCode callbackResult = 0;

  const Report& last() const { return reports.back(); }
  void clear() {
    reports.clear();
    dialogs.clear();
  }
  // The last report came from `location` with `severity` and exactly `text`.
  void ExpectLast(LocationCode location, Severity severity, const std::string& text) const;
  // Exactly one report since the last clear(), as ExpectLast; then forgotten.
  void ExpectOnly(LocationCode location, Severity severity, const std::string& text);
  // No report since the last clear().
  void ExpectNone();

 private:
  bool attached_ = false;
  static ErrorCode Log(intptr_t data, LocationCode location, Severity severity, const char* text);
};

// A fresh folder under $TMPDIR (or /tmp) for one test; it goes with
// everything in it (write permission given back first) with the object.
class TempDir {
 public:
  explicit TempDir(const char* prefix = "tv");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string P(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The file specs a test makes, disposed together by Clear(), which the
// fixture calls in TearDown before the packages die.
class Specs {
 public:
  Specs() = default;
  ~Specs() { Clear(); }
  Specs(const Specs&) = delete;
  Specs& operator=(const Specs&) = delete;
  // A new spec of the full path `path`, kept until Clear().
  FILE_SpecH New(const std::string& path) {
    FILE_SpecH s = nullptr;
    EXPECT_EQ(FILE_New(path.c_str(), FILE_LocFullPath, &s), 0);
    specs_.push_back(s);
    return s;
  }
  void Clear() {
    for (FILE_SpecH s : specs_) FILE_Dispose(s);
    specs_.clear();
  }

 private:
  std::vector<FILE_SpecH> specs_;
};

// How many of a property test's seeded random cases to run: all of them in
// the optimized build; under the sanitizers, where each case is ten times
// slower, the first fifth (the same cases), for the memory checks.
constexpr int RandomCases(int all) {
#ifdef TAVELO_SANITIZED
  return all / 5;
#else
  return all;
#endif
}

// The code of the last report (U's last-error record).
ErrorCode LastCode();

// Births U as "Test" and the given packages (numbers of the package table,
// with what they need first) with a recorder attached; kills them afterwards
// and checks that no handle outlived the test.
class UFixture : public ::testing::Test {
 protected:
  UFixture() = default;
  explicit UFixture(std::initializer_list<int32_t> packages) : packages_(packages) {}
  void SetUp() override;
  void TearDown() override;

  Recorder rec;

 private:
  std::vector<int32_t> packages_;
  int64_t handlesAtStart_ = 0;
};

}  // namespace tv::test
