// FLT's package frame: the string table, the reporter, birth and death, and
// the host procedure slots.
#include "FILE.h"
#include "FLT_internal.h"
#include "PLUG.h"

STR_Table FLTp_G_STRs = {};

namespace tv::flt {
namespace {
constexpr pkg::Text kTexts[] = {
    {kTextDamaged, "internal structure inconsistency (%s)"},
    {kTextBadParam, "invalid parameter (%s)."},
    {kTextIndexRange, "parameter list index out of range"},
    {kTextNoTimeVary, "cannot inquire or set stream of property that cannot timevary."},
    {kTextInvalidFilter, "invalid filter"},
    {kTextNotInParade, "inconsistency -- seq not found in parade."},
    {kTextBufferSize, "inconsistent buffer size information"},
    {kTextMultiple, "there are multiple copies of plug-in effect \"%s\" on your drive."},
    {kTextCountMismatch, "parameter count mismatch in plug-in effect \"%s\"."},
    {kTextStdControlTypes, "effect error: PF_PUI_STD_CONTROL_ONLY can only be combined with certain PF_Param types"},
    {kTextStdControlSupervise, "effect error: PF_PUI_STD_CONTROL_ONLY requires PF_ParamFlag_SUPERVISE."},
    {kTextStdControlConstant, "effect error: PF_PUI_STD_CONTROL_ONLY requires PF_ParamFlag_CANNOT_TIME_VARY."},
    {kTextNoCustomUI,
     "effect: no custom ui outflag, but param has ui_width or ui_height or PF_PUI_TOPIC/CONTROL flags."},
    {kTextCannotUse, "effect cannot use \"%s\" callback when called with \"%s\" command."},
    {kTextEffectMessage, "%s  (%d)"},
    {kTextEffectInfo, "%s"},
    {kTextUnknownError, "unknown error (%ld)."},
    {kTextCannotParse, "cannot parse effect data"},
    {kTextControlConversion, "effect control conversion required in effect \"%s\". Some effect controls will be reset."},
    {kTextNotAvailable, "plug-in effect \"%s\" is not available."},
    {kTextMemory, "effect parameters"},
    {kTextUnimplemented, "%s is not implemented."},
    {kTextReentrant, "PF_Cmd_COMPLETELY_GENERAL can not be called reentrantly."},
    {kTextBadProgPtr, "bad PF_ProgPtr"},
    {kTextMissingProp, "effect \"%s\" is missing a required PiPL property."},
    {kTextPiPLMismatch, "effect \"%s\" has PiPL version mismatch."},
    {kTextVersionName, "(version) ^1"},
    {kTextPlatformName, "(platform) %s"},
    {kTextNoAdapter, "plug-in effect \"%s\" is not available."},
    {kTextArbIndex, "invalid arbitrary data index."},
    {kTextNoContext, "sequence context not available"},
    {kTextFontMissing, "font \"%s\" is not installed; \"%s\" is used instead."},
    {kTextFontUnusable, "no font can be used for the text (font \"%s\")."},
    {kTextUndrawable, "no installed font can draw some characters of \"%s\"; they are drawn as boxes."},
    {kTextTextMemory, "text drawing"},
};
TV_TEXT_TABLE(kTexts, kTextCount);
constexpr pkg::Lifecycle gLife(FLT_PackageNumber);
Globals gGlobals{};
}  // namespace

constinit const pkg::Reporter kReport{.number = FLT_PackageNumber,
                                      .table = &FLTp_G_STRs,
                                      .compiled = pkg::CompiledTexts<kTexts>,
                                      .count = kTextCount,
                                      .damaged = kTextDamaged,
                                      .badParam = kTextBadParam};

Globals& G() { return gGlobals; }

}  // namespace tv::flt

using namespace tv;
using namespace tv::flt;

TV_PACKAGE_VERSION_OPS(FLT, FLT_PackageNumber)

ErrorCode FLT_Birth(uintptr_t hostA, uintptr_t hostB, const char* const* folders) {
  if (ErrorCode err = gLife.Birth(kSiteBirth)) return err;
  if (ErrorCode err = kReport.InstallTable()) {
    gLife.SetAlive(false);
    return err;
  }
  Globals& g = G();
  g = Globals{};
  g.hostA = hostA;
  g.hostB = hostB;
  if (ErrorCode err = LIST_New(0, static_cast<int32_t>(sizeof(ClassRec)), 16, 1, &g.classes)) {
    gLife.SetAlive(false);
    return err;
  }
  // The file types of the foreign filter kinds.
  ErrorCode mapped = FILE_AddExtensionMap(".VQF", MakeFourCC("KFlt"), 0);
  if (!mapped) mapped = FILE_AddExtensionMap(".Q7F", MakeFourCC("Q7FM"), 0);
  if (mapped) {
    LIST_Dispose(g.classes, 0);
    g.classes = nullptr;
    gLife.SetAlive(false);
    return mapped;
  }
  // The effects built into the engine first, then the plug-ins found in the
  // folders (a broken plug-in is reported and skipped, never fails the birth).
  RegisterBuiltins();
  if (folders) ScanPluginFolders(folders, 10);
  if (pkg::Alive(PLUG_PackageNumber)) FLT_InstallStandardSuites();  // reported; effects without them still run
  return 0;
}

ErrorCode FLT_Death(void) {
  if (ErrorCode err = gLife.Death(kSiteDeath)) return err;
  Globals& g = G();
  ReleaseOutstandingSounds();
  DisposeAllContexts();
  SetdownAllClasses();
  if (g.scratch) BM_DisposeWorld(g.scratch);
  LIST_Dispose(g.classes, 0);
  g = Globals{};
  return 0;
}

ErrorCode FLT_InstallProcs(int32_t slot, FLT_HostProc proc) {
  if (slot < 0 || slot >= 20) return kReport.BadParam(kSiteProcs, {"FLT_InstallProcs"});
  G().procs[slot] = proc;
  return 0;
}
