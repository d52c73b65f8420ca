// The engine's package list and the births and deaths in dependency order.
#include <array>

#include "BEE.h"
#include "BEZ.h"
#include "BM.h"
#include "Engine.h"
#include "FILE.h"
#include "FLO.h"
#include "FLT.h"
#include "LIST.h"
#include "M.h"
#include "MC.h"
#include "PF.h"
#include "PIN.h"
#include "PLUG.h"
#include "Package.h"
#include "SLU.h"
#include "SND.h"
#include "STR.h"
#include "T.h"
#include "TDB.h"
#include "OM.h"
#include "MSK.h"
#include "U.h"
#include "VAL.h"

namespace tv::engine {
namespace {

enum TextIndex : int32_t { kTextNoPackage, kTextBadArgument, kTextCount };
constexpr pkg::Text kTexts[] = {
    {kTextNoPackage, "no package #%ld to birth in this engine."},
    {kTextBadArgument, "bad argument to %s."},
};
TV_TEXT_TABLE(kTexts, kTextCount);

// U's name for the next birth (TV_BirthPackages sets it).
const char* gName = "";

ErrorCode BirthU() { return U_Birth(gName, 0); }
ErrorCode BirthM() {
  int32_t granted = 0;
  return M_Birth(M_ServiceFastTrig | M_ServiceFastCharMath, &granted);
}
ErrorCode BirthBM() { return BM_Birth(0); }
ErrorCode BirthFLT() { return FLT_Birth(0, 0, nullptr); }
ErrorCode BirthMC() { return MC_Birth(0, 0); }
ErrorCode BirthPLUG() { return PLUG_Birth(0, nullptr, 0, 0, 0); }

constexpr Entry kEntries[] = {
    {"FILE", FILE_PackageNumber, FILE_PkgObjectVersion, FILE_CheckVersions, nullptr, nullptr},
    {"BM", BM_PackageNumber, BM_PkgObjectVersion, BM_CheckVersions, BirthBM, BM_Death},
    {"RI", 9, RI_PkgObjectVersion, RI_CheckVersions, nullptr, nullptr},
    {"SND", SND_PackageNumber, SND_PkgObjectVersion, SND_CheckVersions, SND_Birth, SND_Death},
    {"M", M_PackageNumber, M_PkgObjectVersion, M_CheckVersions, BirthM, M_Death},
    {"U", U_PackageNumber, U_PkgObjectVersion, U_CheckVersions, BirthU, U_Death},
    {"BEE", BEE_PackageNumber, BEE_PkgObjectVersion, BEE_CheckVersions, BEE_Birth, BEE_Death},
    {"LIST", LIST_PackageNumber, LIST_PkgObjectVersion, LIST_CheckVersions, nullptr, nullptr},
    {"STR", STR_PackageNumber, STR_PkgObjectVersion, STR_CheckVersions, nullptr, nullptr},
    {"TDB", TDB_PackageNumber, TDB_PkgObjectVersion, TDB_CheckVersions, nullptr, nullptr},
    {"OM", OM_PackageNumber, OM_PkgObjectVersion, OM_CheckVersions, OM_Birth, OM_Death},
    {"MSK", MSK_PackageNumber, MSK_PkgObjectVersion, MSK_CheckVersions, nullptr, nullptr},
    {"SLU", SLU_PackageNumber, SLU_PkgObjectVersion, SLU_CheckVersions, nullptr, nullptr},
    {"PF", PF_PackageNumber, PF_PkgObjectVersion, PF_CheckVersions, PF_Birth, PF_Death},
    {"PIN", PIN_PackageNumber, PIN_PkgObjectVersion, PIN_CheckVersions, PIN_Birth, PIN_Death},
    {"BEZ", BEZ_PackageNumber, BEZ_PkgObjectVersion, BEZ_CheckVersions, nullptr, nullptr},
    {"VAL", VAL_PackageNumber, VAL_PkgObjectVersion, VAL_CheckVersions, VAL_Birth, VAL_Death},
    {"MC", MC_PackageNumber, MC_PkgObjectVersion, MC_CheckVersions, BirthMC, MC_Death},
    {"T", T_PackageNumber, T_PkgObjectVersion, T_CheckVersions, nullptr, nullptr},
    {"FLO", FLO_PackageNumber, FLO_PkgObjectVersion, FLO_CheckVersions, nullptr, nullptr},
    {"FLT", FLT_PackageNumber, FLT_PkgObjectVersion, FLT_CheckVersions, BirthFLT, FLT_Death},
    {"PLUG", PLUG_PackageNumber, PLUG_PkgObjectVersion, PLUG_CheckVersions, BirthPLUG, PLUG_Death},
    {"TVFX", 68, TVFX_PkgObjectVersion, TVFX_CheckVersions, nullptr, nullptr},
};

// What the births made, in order (each package at most once).
std::array<int32_t, 256> gBorn;
size_t gBornCount = 0;

bool Born(int32_t number) {
  for (size_t i = 0; i < gBornCount; ++i)
    if (gBorn[i] == number) return true;
  return false;
}

ErrorCode Kill(size_t downTo) {
  ErrorCode first = 0;
  while (gBornCount > downTo) {
    const int32_t number = gBorn[--gBornCount];
    const Entry* e = FindEntry(number);
    if (!e || !pkg::Alive(number)) continue;  // a test may have killed it already
    ErrorCode err = e->death();
    if (number == U_PackageNumber) STRp_Death();
    if (err && !first) first = err;
  }
  return first;
}

// Reports a bad argument (once U lives: before that the caller gets the
// code alone). The engine is no package: its reports carry location 0.
ErrorCode BadArgument(int32_t text, fmt::Arg arg) {
  if (!pkg::Alive(U_PackageNumber)) return kErrBadParam;
  return report::Code(0, kSevError, kErrBadParam, kTexts[text].text, {arg});
}
ErrorCode BadPackage(int32_t number) { return BadArgument(kTextNoPackage, number); }

// Births `number` after what its birth needs; depth guards a table that would loop.
ErrorCode Birth(int32_t number, int depth) {
  if (pkg::Alive(number)) return 0;
  const Entry* e = FindEntry(number);
  const pkg::Info* info = pkg::Find(number);
  if (!e || !info || depth > 16) return BadPackage(number);
  for (int32_t need : info->births)
    if (ErrorCode err = Birth(need, depth + 1)) return err;
  if (!e->birth) return 0;  // nothing to birth: the package works unborn
  if (ErrorCode err = e->birth()) return err;
  if (!Born(number)) gBorn[gBornCount++] = number;
  return 0;
}

}  // namespace

std::span<const Entry> Packages() { return kEntries; }

const Entry* FindEntry(int32_t number) {
  for (const Entry& e : kEntries)
    if (e.number == number) return &e;
  return nullptr;
}

}  // namespace tv::engine

using namespace tv;
using namespace tv::engine;

ErrorCode TV_BirthPackages(const char* name, const int32_t* packages, int32_t count) {
  if (count < 0 || (count > 0 && !packages)) return BadArgument(kTextBadArgument, "TV_BirthPackages");
  const size_t mark = gBornCount;
  gName = name ? name : "";
  ErrorCode err = Birth(U_PackageNumber, 0);
  for (int32_t i = 0; err == 0 && i < count; ++i) err = Birth(packages[i], 0);
  if (err) Kill(mark);
  return err;
}

ErrorCode TV_DeathPackages(void) { return Kill(0); }

ErrorCode TV_IsPackageAlive(int32_t number, Boolean32* alive) {
  if (!alive) return BadArgument(kTextBadArgument, "TV_IsPackageAlive");
  *alive = pkg::Alive(number) ? 1 : 0;
  return 0;
}
