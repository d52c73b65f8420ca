// The package frame shared by every package: the version table, the generic
// version check with its first-call dependency check, the birth and death
// rules, and small helpers for reporting through U.
#pragma once

#include <initializer_list>
#include <string_view>

#include "Format.h"
#include "U.h"

namespace tv::pkg {

struct Dependency {
  int32_t number;
  int32_t expectedMajor;  // 0: the dependency's current major
};

struct Info {
  const char* name;
  int32_t number;
  uint32_t version;  // major in bits 16-31, minor in bits 0-15
  std::initializer_list<Dependency> checks;
};

// The package with this number, or null.
const Info* Find(int32_t number);
// Every package of the engine, in number order.
std::initializer_list<Info> All();

constexpr int32_t Major(uint32_t version) { return static_cast<int32_t>(version >> 16); }
uint32_t Version(int32_t number);

// The version check of package `number`: on its first call it checks every
// package it depends on; then it compares its own major with expectedMajor.
ErrorCode CheckVersions(int32_t number, LocationCode location, int32_t expectedMajor);
// Forgets which packages have made their first check (for tests).
void ResetVersionChecks();

// Birth and death bookkeeping for one package.
class Lifecycle {
 public:
  explicit Lifecycle(int32_t number) : number_(number) {}
  // 0, or 12 (reported at severity 8) when the package is already alive.
  ErrorCode Birth(uint32_t site);
  // 0, or 11 (reported) when the package is not alive.
  ErrorCode Death(uint32_t site);
  bool alive() const { return alive_; }
  void SetAlive(bool alive) { alive_ = alive; }

 private:
  int32_t number_;
  bool alive_ = false;
};

}  // namespace tv::pkg

namespace tv::report {

// Reports text (formatted with args) at the location; returns 0 or the report's result.
inline ErrorCode Text(LocationCode location, Severity severity, std::string_view format,
                      std::initializer_list<fmt::Arg> args = {}) {
  return Up_ReportErrString(location, severity, fmt::Format(format, args).c_str());
}
// Reports a general or package code with the text; returns code.
inline ErrorCode Code(LocationCode location, Severity severity, ErrorCode code, std::string_view format,
                      std::initializer_list<fmt::Arg> args = {}) {
  return Up_ReportVeskErrString(location, severity, code, fmt::Format(format, args).c_str());
}
// Reports a platform code with the text; returns the code.
inline ErrorCode System(LocationCode location, Severity severity, ErrorCode code, std::string_view format,
                        std::initializer_list<fmt::Arg> args = {}) {
  return Up_ReportSyserrString(location, severity, code, fmt::Format(format, args).c_str());
}

}  // namespace tv::report

// Defines PREFIX_PkgObjectVersion and PREFIX_CheckVersions for package NUMBER.
#define TV_PACKAGE_VERSION_OPS(PREFIX, NUMBER)                                           \
  TV_EXPORT uint32_t PREFIX##_PkgObjectVersion(void) { return tv::pkg::Version(NUMBER); } \
  TV_EXPORT ErrorCode PREFIX##_CheckVersions(LocationCode location, int32_t expectedMajor) { \
    return tv::pkg::CheckVersions(NUMBER, location, expectedMajor);                      \
  }

// The packages that only take part in version checks (RI, TVFX) are declared
// in U.h.
