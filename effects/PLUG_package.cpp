// PLUG's package frame: the text table, the reporter, the globals, birth and death.
#include "PLUG_internal.h"

STR_Table PLUGp_G_STRs = {};

namespace tv::plug {
namespace {

constexpr pkg::Text kTexts[] = {
    {kTextDamaged, "internal structure damaged"},
    {kTextDamagedG, " %s (g)."},
    {kTextDamagedSack, " %s (sack)."},
    {kTextDamagedSD, " %s (sd)."},
    {kTextDamagedRD, " %s (rd)."},
    {kTextBadArgument, "bad argument to %s."},
    {kTextUnsupported, "unsupported plug-in type."},
    {kTextUnbalanced, "unbalanced unprep."},
    {kTextLoading, "loading code fragment \"%s\"."},
    {kTextNoSymbol, "unable to find plug-in symbol."},
    {kTextReadingCode, "reading code resource."},
    {kTextReadingPiPL, "reading PiPL resource."},
    {kTextPropIndex, "property list index."},
    {kTextLockedRoutine, "can't dispose locked routine."},
    {kTextNotDLL, "%s is not a dynamic link library."},
    {kTextNoEntry, "could not locate entrypoint %s."},
    {kTextBadPlugin, "plug-in \"%s\" skipped: %s."},
    {kTextNoResources, "plug-in \"%s\" has no resources."},
    {kTextRoutine, "plug-in routine"},
    {kTextBrambletFailure, "bramblet failure"},
    {kTextBrambletInit, "bramblet initialization"},
    {kTextNotOffered, "%s is not offered on this platform."},
    {kTextAlreadyRunning, "suite plug-ins are already running."},
};
TV_TEXT_TABLE(kTexts, kTextCount);

constexpr pkg::Lifecycle gLife(PLUG_PackageNumber);
Globals gGlobals;

}  // namespace

constinit const pkg::Reporter kReport{.number = PLUG_PackageNumber,
                                      .table = &PLUGp_G_STRs,
                                      .compiled = pkg::CompiledTexts<kTexts>,
                                      .count = kTextCount,
                                      .damaged = kTextDamaged,
                                      .badParam = kTextBadArgument};

Globals& G() { return gGlobals; }

ErrorCode CheckGlobals(uint32_t site) {
  if (gGlobals.magic == kGlobalsMagic && gGlobals.tailMagic == kGlobalsMagic) return 0;
  return kReport.Fail(site, kErrDamaged, kTextDamagedG, {kReport.Text(kTextDamaged)});
}

}  // namespace tv::plug

using namespace tv;
using namespace tv::plug;

TV_PACKAGE_VERSION_OPS(PLUG, PLUG_PackageNumber)

ErrorCode PLUG_Birth(uintptr_t hostA, const char* hostString, uintptr_t hostB, uintptr_t hostC,
                     uintptr_t hostD) {
  if (ErrorCode err = gLife.Birth(kSiteBirth)) return err;
  if (ErrorCode err = kReport.InstallTable()) {
    gLife.SetAlive(false);
    return err;
  }
  Globals& g = G();
  g = Globals{};
  g.host[0] = hostA;
  g.host[1] = hostB;
  g.host[2] = hostC;
  g.host[3] = hostD;
  if (hostString) {
    const size_t n = strnlen(hostString, PLUG_MaxHostString);
    std::memcpy(g.hostString, hostString, n);
  }
  g.tag = Four("CTXF");
  g.routines = NewHandle(0);
  if (!g.routines) {
    gLife.SetAlive(false);
    return kReport.OutOfMemory(kSiteBirth, kTextRoutine, sizeof(Handle));
  }
  g.magic = g.tailMagic = kGlobalsMagic;
  PLUG_Sack sack = nullptr;
  ErrorCode err = PLUG_NewSack(&sack);
  if (!err) err = FILE_AddExtensionMap(".tvx", Four(".TVX"), 0);
  if (!err) err = InstallStandardSuites();
  if (err) {
    DisposeSuites();
    if (sack) PLUG_DisposeSack(sack);
    DisposeHandle(g.routines);
    g = Globals{};
    gLife.SetAlive(false);
    return err;
  }
  g.defaultSack = sack;
  return 0;
}

ErrorCode PLUG_Death(void) {
  if (ErrorCode err = gLife.Death(kSiteDeath)) return err;
  Globals& g = G();
  DisposeSuites();
  ErrorCode first = DisposeAllRoutines();
  if (g.defaultSack) PLUG_DisposeSack(g.defaultSack);
  if (g.routines) DisposeHandle(g.routines);
  g = Globals{};
  return first;
}
