// The package kit's own part: the version table of every package, the
// generic version check, the birth and death rules, the non-allocating report
// helpers and the handler of exceptions caught at the C boundary.
#include <array>
#include <exception>
#include <new>
#include <stdexcept>

#include "Format.h"
#include "Package.h"
#include "U_internal.h"

namespace tv::pkg {
namespace {

enum : int32_t {
  FILE_ = 3, BM = 7, RI = 9, SND = 10, M = 17, PREF = 21, U = 23, FLT = 25, BEE = 26, LIST = 27,
  STR = 28, TDB = 29, OM = 32, SLU = 33, PF = 37, MSK = 38, PIN = 39, OTLN = 40, BEZ = 41,
  PLUG = 48, VAL = 57, MC = 58, T = 63, KDM = 64, FLO = 65, TVFX = 68,
};

const std::initializer_list<Info> kPackages = {
    {"FILE", FILE_, 0x170003, {{U, 45}}},
    {"BM", BM, 0x1D0000, {{U, 45}, {M, 8}, {STR, 3}}, {U}},
    {"RI", RI, 0x90007, {{U, 45}, {FILE_, 23}}},
    {"SND", SND, 0x200001, {{U, 45}, {FILE_, 23}, {M, 8}, {TDB, 23}}, {U}},
    {"M", M, 0x8000D, {{U, 45}, {STR, 3}}, {U}},
    {"PREF", PREF, 0x3000C, {{U, 45}, {FILE_, 23}, {RI, 9}}},
    {"U", U, 0x2D0007, {}},
    {"FLT", FLT, 0x29000E,
     {{U, 0}, {BM, 0}, {FILE_, 0}, {M, 0}, {TDB, 0}, {LIST, 0}, {STR, 0}, {PLUG, 0}, {SLU, 0},
      {PF, 0}, {RI, 0}, {TVFX, 0}, {SND, 0}, {OM, 0}},
     {U, BM, SND, PLUG}},
    {"BEE", BEE, 0x5D0015,
     {{U, 0}, {BM, 0}, {M, 0}, {LIST, 0}, {TDB, 0}, {PIN, 0}, {FILE_, 0}, {STR, 0}, {FLT, 0},
      {OM, 0}, {MSK, 0}, {SLU, 0}, {PF, 0}, {TVFX, 0}, {T, 0}, {MC, 0}, {VAL, 0}},
     {U, FLT, MC}},
    {"LIST", LIST, 0x80006, {{U, 45}, {STR, 3}, {FILE_, 23}, {SLU, 1}}},
    {"STR", STR, 0x30012, {{U, 45}}},
    {"TDB", TDB, 0x17000D, {{U, 45}, {STR, 3}, {M, 8}, {LIST, 8}, {FILE_, 23}, {SLU, 1}, {BEZ, 3}}},
    {"OM", OM, 0x80002, {{U, 45}, {STR, 3}, {M, 8}, {FILE_, 23}, {SLU, 1}, {LIST, 8}, {TDB, 23}}, {U}},
    {"SLU", SLU, 0x10008, {{U, 45}, {FILE_, 23}, {STR, 3}}},
    {"PF", PF, 0xD004B,
     {{U, 45}, {STR, 3}, {BM, 29}, {M, 8}, {FILE_, 23}, {LIST, 8}, {TVFX, 7}, {PLUG, 10}},
     {U, M}},
    {"MSK", MSK, 0x40000,
     {{U, 45}, {STR, 3}, {M, 8}, {BM, 29}, {FILE_, 23}, {SLU, 1}, {LIST, 8}, {TDB, 23}, {OM, 8},
      {PF, 13}}},
    {"PIN", PIN, 0x160022,
     {{BM, 0}, {FILE_, 0}, {LIST, 0}, {M, 0}, {SLU, 0}, {SND, 0}, {STR, 0}, {TDB, 0}, {U, 0},
      {RI, 0}, {PF, 0}, {TVFX, 0}, {PLUG, 0}},
     {U, BM}},
    {"OTLN", OTLN, 0x140009, {{U, 45}, {STR, 3}, {M, 8}}},
    {"BEZ", BEZ, 0x30003, {{U, 45}, {M, 8}, {STR, 3}, {LIST, 8}}},
    {"PLUG", PLUG, 0xA0004, {{U, 45}, {RI, 9}, {M, 8}, {FILE_, 23}, {LIST, 8}, {STR, 3}}, {U}},
    {"VAL", VAL, 0x20002, {{U, 45}, {M, 8}, {STR, 3}}, {U}},
    {"MC", MC, 0x30003, {{U, 45}, {M, 8}, {LIST, 8}, {FILE_, 23}, {STR, 3}, {VAL, 2}}, {U, VAL}},
    {"T", T, 0x20001, {{U, 45}, {STR, 3}, {M, 8}}},
    {"KDM", KDM, 0x90002, {{U, 45}, {STR, 3}, {PLUG, 10}}},
    {"FLO", FLO, 0x70008, {{U, 45}, {STR, 3}, {M, 8}, {LIST, 8}, {BEZ, 3}}},
    {"TVFX", TVFX, 0x70009, {{U, 45}}},
};

// The kit's own texts.
enum FrameText : int32_t { kTextMismatch, kTextPackage, kTextMemory, kTextException, kTextCount };
constexpr Text kFrameTexts[] = {
    {kTextMismatch,
     "\"%s package\" v%ld does not match with \"%s.h\" v%ld included by the pkg or app at the loc below."},
    {kTextPackage, "%s package"},
    {kTextMemory, "working storage of the %s package"},
    {kTextException, "unexpected failure in the %s package (%s)"},
};
TV_TEXT_TABLE(kFrameTexts, kTextCount);

const char* NameOf(int32_t number) {
  const Info* info = Find(number);
  return info ? info->name : "?";
}

struct CheckState {
  bool checked = false;
  bool dependencyFailed = false;
};
std::array<CheckState, 256> gChecks;
std::array<bool, 256> gAlive;

}  // namespace

std::initializer_list<Info> All() { return kPackages; }

const Info* Find(int32_t number) {
  for (const Info& info : kPackages)
    if (info.number == number) return &info;
  return nullptr;
}

uint32_t Version(int32_t number) {
  const Info* info = Find(number);
  return info ? info->version : 0;
}

ErrorCode CheckVersions(int32_t number, LocationCode location, int32_t expectedMajor) {
  const Info* info = Find(number);
  if (!info) return kErrVersion;
  CheckState& state = gChecks[static_cast<size_t>(number) & 0xFF];
  if (!state.checked) {
    state.checked = true;
    for (const Dependency& dep : info->checks) {
      const Info* d = Find(dep.number);
      int32_t want = dep.expectedMajor ? dep.expectedMajor : (d ? Major(d->version) : 0);
      if (CheckVersions(dep.number, Location(static_cast<uint32_t>(number), 0), want) != 0)
        state.dependencyFailed = true;
    }
  }
  ErrorCode result = state.dependencyFailed ? kErrVersion : 0;
  int32_t own = Major(info->version);
  if (own != expectedMajor) {
    report::Text(location, kSevFatal, kFrameTexts[kTextMismatch].text, {info->name, own, info->name, expectedMajor});
    result = kErrVersion;
  }
  return result;
}

void ResetVersionChecks() { gChecks.fill(CheckState{}); }

bool Alive(int32_t number) { return gAlive[static_cast<size_t>(number) & 0xFF]; }
void SetAlive(int32_t number, bool alive) { gAlive[static_cast<size_t>(number) & 0xFF] = alive; }

ErrorCode Lifecycle::Birth(uint32_t site) const {
  if (alive()) {
    return report::Code(Location(static_cast<uint32_t>(number_), site), kSevError, kErrBirth,
                        kFrameTexts[kTextPackage].text, {NameOf(number_)});
  }
  SetAlive(true);
  return 0;
}

ErrorCode Lifecycle::Death(uint32_t site) const {
  if (!alive()) {
    return report::Code(Location(static_cast<uint32_t>(number_), site), kSevError, kErrDeath,
                        kFrameTexts[kTextPackage].text, {NameOf(number_)});
  }
  SetAlive(false);
  return 0;
}

CaughtCode Caught(int32_t number) noexcept {
  const LocationCode loc = Location(static_cast<uint32_t>(number), kSiteCaught);
  ErrorCode code = kErrDamaged;
  // The report below allocates nothing; a throwing log callback is the only
  // way out of it, and that is swallowed here.
  try {
    try {
      throw;
    } catch (const std::bad_alloc&) {
      code = kErrOutOfMemory;
    } catch (const std::length_error&) {
      code = kErrOutOfMemory;  // a container asked for more than it can ever hold
    } catch (const std::exception& e) {
      report::Code(loc, kSevError, code, kFrameTexts[kTextException].text, {NameOf(number), e.what()});
      return {code};
    } catch (...) {
      report::Code(loc, kSevError, code, kFrameTexts[kTextException].text, {NameOf(number), "?"});
      return {code};
    }
    report::Code(loc, kSevFailure, code, kFrameTexts[kTextMemory].text, {NameOf(number)});
  } catch (...) {
  }
  return {code};
}

}  // namespace tv::pkg

namespace tv::report {

ErrorCode Text(LocationCode location, Severity severity, std::string_view format,
               std::initializer_list<fmt::Arg> args) {
  char text[U_MessageBufferSize];
  fmt::FormatTo(text, format, args);
  return Up_ReportErrString(location, severity, text);
}

ErrorCode Code(LocationCode location, Severity severity, ErrorCode code, std::string_view format,
               std::initializer_list<fmt::Arg> args) {
  char text[U_MessageBufferSize];
  fmt::FormatTo(text, format, args);
  return Up_ReportVeskErrString(location, severity, code, text);
}

ErrorCode System(LocationCode location, Severity severity, ErrorCode code, std::string_view format,
                 std::initializer_list<fmt::Arg> args) {
  char text[U_MessageBufferSize];
  fmt::FormatTo(text, format, args);
  return Up_ReportSyserrString(location, severity, code, text);
}

}  // namespace tv::report

// Packages that only take part in version checks.
TV_PACKAGE_VERSION_OPS(RI, 9)
TV_PACKAGE_VERSION_OPS(TVFX, 68)
