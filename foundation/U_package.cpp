// The version table of every package and the generic version check.
#include <array>

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
    {"BM", BM, 0x1D0000, {{U, 45}, {M, 8}, {STR, 3}}},
    {"RI", RI, 0x90007, {{U, 45}, {FILE_, 23}}},
    {"SND", SND, 0x200001, {{U, 45}, {FILE_, 23}, {M, 8}, {TDB, 23}}},
    {"M", M, 0x8000D, {{U, 45}, {STR, 3}}},
    {"PREF", PREF, 0x3000C, {{U, 45}, {FILE_, 23}, {RI, 9}}},
    {"U", U, 0x2D0007, {}},
    {"FLT", FLT, 0x29000E,
     {{U, 0}, {BM, 0}, {FILE_, 0}, {M, 0}, {TDB, 0}, {LIST, 0}, {STR, 0}, {PLUG, 0}, {SLU, 0},
      {PF, 0}, {RI, 0}, {TVFX, 0}, {SND, 0}, {OM, 0}}},
    {"BEE", BEE, 0x5D0015,
     {{U, 0}, {BM, 0}, {M, 0}, {LIST, 0}, {TDB, 0}, {PIN, 0}, {FILE_, 0}, {STR, 0}, {FLT, 0},
      {OM, 0}, {MSK, 0}, {SLU, 0}, {PF, 0}, {TVFX, 0}, {T, 0}, {MC, 0}, {VAL, 0}}},
    {"LIST", LIST, 0x80006, {{U, 45}, {STR, 3}, {FILE_, 23}, {SLU, 1}}},
    {"STR", STR, 0x30012, {{U, 45}}},
    {"TDB", TDB, 0x17000D, {{U, 45}, {STR, 3}, {M, 8}, {LIST, 8}, {FILE_, 23}, {SLU, 1}, {BEZ, 3}}},
    {"OM", OM, 0x80002, {{U, 45}, {STR, 3}, {M, 8}, {FILE_, 23}, {SLU, 1}, {LIST, 8}, {TDB, 23}}},
    {"SLU", SLU, 0x10008, {{U, 45}, {FILE_, 23}, {STR, 3}}},
    {"PF", PF, 0xD004B,
     {{U, 45}, {STR, 3}, {BM, 29}, {M, 8}, {FILE_, 23}, {LIST, 8}, {TVFX, 7}, {PLUG, 10}}},
    {"MSK", MSK, 0x40000,
     {{U, 45}, {STR, 3}, {M, 8}, {BM, 29}, {FILE_, 23}, {SLU, 1}, {LIST, 8}, {TDB, 23}, {OM, 8},
      {PF, 13}}},
    {"PIN", PIN, 0x160022,
     {{BM, 0}, {FILE_, 0}, {LIST, 0}, {M, 0}, {SLU, 0}, {SND, 0}, {STR, 0}, {TDB, 0}, {U, 0},
      {RI, 0}, {PF, 0}, {TVFX, 0}, {PLUG, 0}}},
    {"OTLN", OTLN, 0x140009, {{U, 45}, {STR, 3}, {M, 8}}},
    {"BEZ", BEZ, 0x30003, {{U, 45}, {M, 8}, {STR, 3}, {LIST, 8}}},
    {"PLUG", PLUG, 0xA0004, {{U, 45}, {RI, 9}, {M, 8}, {FILE_, 23}, {LIST, 8}, {STR, 3}}},
    {"VAL", VAL, 0x20002, {{U, 45}, {M, 8}, {STR, 3}}},
    {"MC", MC, 0x30003, {{U, 45}, {M, 8}, {LIST, 8}, {FILE_, 23}, {STR, 3}, {VAL, 2}}},
    {"T", T, 0x20001, {{U, 45}, {STR, 3}, {M, 8}}},
    {"KDM", KDM, 0x90002, {{U, 45}, {STR, 3}, {PLUG, 10}}},
    {"FLO", FLO, 0x70008, {{U, 45}, {STR, 3}, {M, 8}, {LIST, 8}, {BEZ, 3}}},
    {"TVFX", TVFX, 0x70009, {{U, 45}}},
};

struct CheckState {
  bool checked = false;
  bool dependencyFailed = false;
};
std::array<CheckState, 256> gChecks;

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
    report::Text(location, kSevFatal,
                 "\"%s package\" v%ld does not match with \"%s.h\" v%ld included by the pkg or app at "
                 "the loc below.",
                 {info->name, own, info->name, expectedMajor});
    result = kErrVersion;
  }
  return result;
}

void ResetVersionChecks() { gChecks.fill(CheckState{}); }

ErrorCode Lifecycle::Birth(uint32_t site) {
  if (alive_) {
    const Info* info = Find(number_);
    return report::Code(Location(static_cast<uint32_t>(number_), site), kSevError, kErrBirth,
                        "%s package", {info ? info->name : "?"});
  }
  alive_ = true;
  return 0;
}

ErrorCode Lifecycle::Death(uint32_t site) {
  if (!alive_) {
    const Info* info = Find(number_);
    return report::Code(Location(static_cast<uint32_t>(number_), site), kSevError, kErrDeath,
                        "%s package", {info ? info->name : "?"});
  }
  alive_ = false;
  return 0;
}

}  // namespace tv::pkg

TV_PACKAGE_VERSION_OPS(U, 23)

ErrorCode Up_GetPackageInfo(int32_t index, const char** name, int32_t* number, uint32_t* version) {
  const auto all = tv::pkg::All();
  const bool inside = index >= 0 && static_cast<size_t>(index) < all.size();
  const tv::pkg::Info* info = inside ? all.begin() + index : nullptr;
  if (name) *name = info ? info->name : nullptr;
  if (number) *number = info ? info->number : 0;
  if (version) *version = info ? info->version : 0;
  return info ? 0 : tv::kErrRange;
}
// Packages that only take part in version checks.
TV_PACKAGE_VERSION_OPS(RI, 9)
TV_PACKAGE_VERSION_OPS(TVFX, 68)
