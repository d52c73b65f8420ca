// The package kit shared by every package: the version table with its
// generic check, the birth and death rules, string tables checked against
// their index enums at compile time, the one reporter per package, the checked
// handle guard, and the boundary that turns a C++ exception into a code.
//
// What a package may rely on:
// - Reports never allocate from the C++ heap: messages are formatted into
//   fixed buffers (cut at U_MessageBufferSize bytes, never inside a UTF-8
//   sequence), so a report can be made while memory is short.
// - A reporter's Text(i) is text i of the package's table once the table is
//   installed (by the package's birth, by STRp_BirthStrTab, or on first use
//   for packages without a birth), else the compiled text i; an installation
//   on use that fails for memory falls back on the compiled text without a
//   second report. Outside the table it is "[?]".
// - Every report goes through U's one report path at (number << 24) | site.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <string_view>
#include <utility>

#include "Format.h"
#include "HandleLock.h"
#include "Memory.h"
#include "STR.h"
#include "U.h"

namespace tv::pkg {

// ---- The package table ----------------------------------------------------------

struct Dependency {
  int32_t number;
  int32_t expectedMajor;  // 0: the dependency's current major
};

struct Info {
  const char* name;
  int32_t number;
  uint32_t version;  // major in bits 16-31, minor in bits 0-15
  std::initializer_list<Dependency> checks;
  // The packages that must be alive before this one is born (its birth needs
  // them), in the order they are born.
  std::initializer_list<int32_t> births = {};
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

// Whether package `number` is alive (born and not dead yet).
bool Alive(int32_t number);
void SetAlive(int32_t number, bool alive);

// Birth and death bookkeeping for one package.
class Lifecycle {
 public:
  constexpr explicit Lifecycle(int32_t number) : number_(number) {}
  // 0, or 12 (reported at severity 8) when the package is already alive.
  ErrorCode Birth(uint32_t site) const;
  // 0, or 11 (reported) when the package is not alive.
  ErrorCode Death(uint32_t site) const;
  bool alive() const { return Alive(number_); }
  void SetAlive(bool alive) const { pkg::SetAlive(number_, alive); }

 private:
  int32_t number_;
};

// ---- String tables -----------------------------------------------------------------
// A package lists its texts as {index, text} entries in index order; the
// index enum ends with a count. TV_TEXT_TABLE checks, at compile time, that
// entry i carries index i and that there are exactly `count` entries, so the
// enum and the texts cannot drift apart.

struct Text {
  int32_t index;
  const char* text;
};

template <size_t N>
consteval bool TextsMatch(const Text (&table)[N], int32_t count) {
  if (static_cast<int32_t>(N) != count) return false;
  for (size_t i = 0; i < N; ++i)
    if (table[i].index != static_cast<int32_t>(i) || table[i].text == nullptr) return false;
  return true;
}

namespace detail {
template <const auto& kTable, class Seq>
struct Terminated;
template <const auto& kTable, size_t... I>
struct Terminated<kTable, std::index_sequence<I...>> {
  static const char* const texts[sizeof...(I) + 1];
};
template <const auto& kTable, size_t... I>
const char* const Terminated<kTable, std::index_sequence<I...>>::texts[sizeof...(I) + 1] = {kTable[I].text...,
                                                                                           STR_END};
}  // namespace detail

// The texts of a table as STR installs them: in index order, ended by STR_END.
template <const auto& kTable>
inline constexpr const char* const* CompiledTexts =
    detail::Terminated<kTable, std::make_index_sequence<std::size(kTable)>>::texts;

#define TV_TEXT_TABLE(table, count) \
  static_assert(::tv::pkg::TextsMatch(table, count), "the text table and its index enum differ")

// ---- Magic words -------------------------------------------------------------------
// Where a record kept in a handle carries its magic words: the first and the
// last field (tail may be null for records with one word) and their values.
template <class T, class W = uint32_t>
struct Magic {
  W T::*head;
  W headValue;
  W T::*tail;
  W tailValue;

  // The handle holds a block of at least sizeof(T) bytes whose words are
  // intact. The memory manager checks the handle first, so a stale or foreign
  // one is never read through.
  bool Intact(Handle h) const {
    if (!h || GetHandleSize(h) < static_cast<Size>(sizeof(T)) || !*h) return false;
    const T* r = reinterpret_cast<const T*>(*h);
    return r->*head == headValue && (!tail || r->*tail == tailValue);
  }
};

// ---- The reporter ------------------------------------------------------------------
// One per package, bound to its number and its string table:
//   constinit const pkg::Reporter kReport{.number = BM_PackageNumber, .table = &BMp_G_STRs,
//       .compiled = pkg::CompiledTexts<kTexts>, .count = kStrCount, .damaged = kStrDamaged,
//       .badParam = kStrBadArg};
// Every method reports once and returns the code it reported (0 when none).
struct Reporter {
  int32_t number;
  STR_Table* table;
  const char* const* compiled;  // ended by STR_END
  int32_t count;
  int32_t damaged = -1;             // the "damaged" text (-1: the code's English text alone)
  int32_t badParam = -1;            // the bad-argument text (-1: the code's English text alone)
  Severity damagedSeverity = kSevError;
  bool installOnUse = false;        // packages without a birth install their table on first use

  constexpr LocationCode Loc(uint32_t site) const { return Location(static_cast<uint32_t>(number), site); }

  // Installed text `index`, see above.
  const char* Text(int32_t index) const;
  // Installs the table unless it is installed; 0 or the reported failure.
  ErrorCode InstallTable() const;

  // Reports `code` with text `text` formatted with args (printf-style), at
  // severity 8 (Fail) or the given one (Report).
  ErrorCode Fail(uint32_t site, ErrorCode code, int32_t text, std::initializer_list<fmt::Arg> args = {}) const;
  ErrorCode Report(uint32_t site, Severity severity, ErrorCode code, int32_t text,
                   std::initializer_list<fmt::Arg> args = {}) const;
  // Reports `code` with a message used as it is (no formatting).
  ErrorCode Message(uint32_t site, Severity severity, ErrorCode code, std::string_view message) const;
  // Reports a text without a code (a warning, a note); returns the report's result.
  ErrorCode Note(uint32_t site, Severity severity, int32_t text, std::initializer_list<fmt::Arg> args = {}) const;
  // Reports a platform code with text formatted with args; returns the platform code.
  ErrorCode Platform(uint32_t site, Severity severity, ErrorCode platformCode, int32_t text,
                     std::initializer_list<fmt::Arg> args = {}) const;
  // "not enough memory to create <what>..." (severity 2); returns 4.
  ErrorCode OutOfMemory(uint32_t site, int32_t what, uint64_t size) const;
  ErrorCode OutOfMemory(uint32_t site, const char* what, uint64_t size) const;
  // Code 2 with the package's damaged text (formatted with args).
  ErrorCode Damaged(uint32_t site, std::initializer_list<fmt::Arg> args = {}) const;
  // The one rule for bad arguments, null out-pointers among them: code 3
  // with the package's bad-argument text (formatted with args), reported once.
  ErrorCode BadParam(uint32_t site, std::initializer_list<fmt::Arg> args = {}) const;

  // 0 when h holds an intact record; otherwise Damaged(site, args).
  template <class T, class W>
  ErrorCode CheckRecord(Handle h, const Magic<T, W>& magic, uint32_t site,
                        std::initializer_list<fmt::Arg> args = {}) const {
    return magic.Intact(h) ? 0 : Damaged(site, args);
  }
};

// A HandleLock taken only when the record's magic words are intact; when they
// are not, the package's damaged text is reported (code 2) and the guard is
// empty. Check error() before use.
template <class T, class W = uint32_t>
class CheckedLock : public HandleLock<T> {
 public:
  CheckedLock(Handle h, const Magic<T, W>& magic, const Reporter& reporter, uint32_t site,
              std::initializer_list<fmt::Arg> args = {})
      : CheckedLock(reporter.CheckRecord(h, magic, site, args), h) {}
  ErrorCode error() const { return error_; }

 private:
  CheckedLock(ErrorCode err, Handle h) : HandleLock<T>(err ? nullptr : h), error_(err) {}
  ErrorCode error_;
};

// ---- The C boundary ------------------------------------------------------------------
// Library code does not throw, but the standard containers some packages keep
// throw when they cannot allocate. Every exported operation that can reach
// one is written as a function-try-block ended by TV_CATCH(number):
//
//   ErrorCode FILE_Foo(...) try {
//     ...
//   } TV_CATCH(FILE_PackageNumber)
//
// The handler reports once at site kSiteCaught of the package: a failed
// allocation as code 4 (severity 2), any other exception as code 2
// (severity 8). The operation answers that code, or null when it returns a
// pointer. Out-parameters keep what the operation had stored before (their
// invalid values when it sets them first, as every operation should).
constexpr uint32_t kSiteCaught = 0xFF;

struct CaughtCode {
  ErrorCode code;
  constexpr operator ErrorCode() const { return code; }
  template <class P>
  constexpr operator P*() const {
    return nullptr;
  }
};
// Reports the exception being handled for package `number`; never throws.
CaughtCode Caught(int32_t number) noexcept;

#define TV_CATCH(number) \
  catch (...) {          \
    return ::tv::pkg::Caught(number); \
  }
#define TV_CATCH_VOID(number) \
  catch (...) {               \
    ::tv::pkg::Caught(number); \
  }

}  // namespace tv::pkg

namespace tv::report {

// Reports text (formatted with args into a fixed buffer) at the location;
// returns 0 or the report's result.
ErrorCode Text(LocationCode location, Severity severity, std::string_view format,
               std::initializer_list<fmt::Arg> args = {});
// Reports a general or package code with the text; returns code.
ErrorCode Code(LocationCode location, Severity severity, ErrorCode code, std::string_view format,
               std::initializer_list<fmt::Arg> args = {});
// Reports a platform code with the text; returns the code.
ErrorCode System(LocationCode location, Severity severity, ErrorCode code, std::string_view format,
                 std::initializer_list<fmt::Arg> args = {});

}  // namespace tv::report

// Defines PREFIX_PkgObjectVersion and PREFIX_CheckVersions for package NUMBER.
#define TV_PACKAGE_VERSION_OPS(PREFIX, NUMBER)                                           \
  TV_EXPORT uint32_t PREFIX##_PkgObjectVersion(void) { return tv::pkg::Version(NUMBER); } \
  TV_EXPORT ErrorCode PREFIX##_CheckVersions(LocationCode location, int32_t expectedMajor) { \
    return tv::pkg::CheckVersions(NUMBER, location, expectedMajor);                      \
  }

// The packages that only take part in version checks (RI, TVFX) are declared
// in U.h.
