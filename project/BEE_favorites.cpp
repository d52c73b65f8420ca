// Effect favorites: an effect chain saved in a file of its own and applied
// to a layer later.
#include <cstring>
#include <string>

#include "BEE_projfile.h"
#include "FLT.h"
#include "U.h"

using namespace tv;
using namespace tv::bee;

namespace {

constexpr FourCC kFaFX = MakeFourCC("FaFX");
constexpr uint32_t kFavHeadSize = 16;
constexpr uint32_t kSiteFavorite = 0x4C;

std::string PathOf(FILE_SpecH spec) {
  std::string path(FILE_MaxPath, '\0');
  if (FILE_InqName(spec, FILE_NameFullPath, path.data(), FILE_MaxPath) != 0) return {};
  path.resize(path.find('\0'));
  return path;
}

struct OwnSpec {
  FILE_SpecH spec = nullptr;
  ~OwnSpec() {
    if (spec) FILE_Dispose(spec);
  }
};

// The four head words: 1, the version, 1 (big-endian), and a word the effect
// package gets back, stored least significant byte first.
void WriteHead(uint8_t (&head)[kFavHeadSize]) {
  be::Store<uint32_t>(head, 1);
  be::Store<uint32_t>(head + 4, bee::proj::kFileVersion);
  be::Store<uint32_t>(head + 8, 1);
  head[12] = 1;
  head[13] = head[14] = head[15] = 0;
}

int32_t EffectCount(BEE_Layer layer) {
  Handle parade = nullptr;
  int32_t n = 0;
  BEE_InqLayerEffectSeq(layer, &parade, &n);
  return n;
}

void ReportMissing(int32_t count, const char* names, bool cut) {
  const int32_t text = cut ? kTextFavRemovedEtc : count == 1 ? kTextFavRemoved1 : kTextFavRemovedN;
  std::string out = u::SubString(kReport.Text(text), {count, std::string_view(names)});
  report::Text(kReport.Loc(kSiteFavorite), kSevWarning, "%s", {out});
}

// Applies one effect of the favorite with its values and name.
ErrorCode ApplyOne(BEE_Layer layer, FLT_Sequence fav) {
  int16_t cls = 0;
  if (ErrorCode err = FLT_SeqInqClass(fav, &cls)) return err;
  int32_t index = 0;
  if (ErrorCode err = BEE_CmdApplyEffect(layer, cls, &index)) return err;
  int32_t params = 0;
  if (ErrorCode err = FLT_SeqInqNumParams(fav, &params)) return err;
  for (int32_t p = 1; p < params && p <= 128; ++p) {
    uint32_t flags = 0, ui = 0, type = 0;
    if (FLT_SeqInqParamInfoPlus(fav, p, &flags, &ui, &type) != 0) continue;
    if ((flags & PF_ParamFlag_NoStream) || (ui & PF_PUI_STD_CONTROL_ONLY)) continue;
    Handle h = nullptr;
    if (FLT_SeqInqParamStream(fav, p, &h) != 0 || !h) continue;
    TDB_Stream copy = nullptr;
    if (ErrorCode err = TDB_DuplicateStream(reinterpret_cast<TDB_Stream>(h), &copy)) return err;
    BEE_StreamRef ref{layer, BEE_StreamFirstEffect + 128 * index + p - 1};
    BEE_InhibitCollapsingForNextCmd();
    ErrorCode err = DoCommand(KeyframeChangeCmd{&ref, copy});
    if (err) {
      TDB_DisposeStream(copy);
      return err;
    }
  }
  char name[48] = {};
  if (FLT_SeqInqName(fav, name) == 0 && name[0])
    if (ErrorCode err = BEE_CmdRenameEffect(layer, index, name)) return err;
  return 0;
}

ErrorCode ApplyFrom(SLU_FileContext* c, BEE_Layer layer) {
  int64_t size = 0;
  if (ErrorCode err = FILE_InqSize(c->file, FILE_SizeData, &size)) return err;
  uint8_t first[12] = {};
  int32_t count = sizeof first;
  if (size >= 12) {
    if (ErrorCode err = FILE_SetPos(c->file, 0)) return err;
    if (ErrorCode err = FILE_Read(c->file, &count, first)) return err;
  }
  if (size < 12 || be::Load<uint32_t>(first) != slu::kRIFX || be::Load<uint32_t>(first + 8) != kFaFX)
    return kReport.Fail(kSiteFavorite, BEE_ErrProjectFile, kTextNotFavorite);
  if (ErrorCode err = FILE_SetPos(c->file, 0)) return err;
  SLU_Chunk rifx{};
  if (ErrorCode err = SLU_Descend(c, slu::kRIFX, kFaFX, nullptr, &rifx, nullptr)) return err;
  uint8_t head[kFavHeadSize] = {};
  if (ErrorCode err = SLU_ReadAtom(c, bee::proj::khead, &rifx, sizeof head, head)) return err;
  const uint32_t version = be::Load<uint32_t>(head + 4);
  if (version > bee::proj::kFileVersion) return kReport.Fail(kSiteFavorite, kErrDocVersion, kTextNewerVersion);
  if (version < bee::proj::kOldestVersion) return kReport.Fail(kSiteFavorite, kErrDocVersion, kTextOlderVersion);
  char names[256] = "";
  int32_t missing = 0;
  Handle parade = nullptr;
  if (ErrorCode err = FLT_ReadParade(c, nullptr, static_cast<int32_t>(version), nullptr, &rifx, nullptr, names,
                                     &missing, &parade))
    return err;
  struct Guard {
    Handle p;
    ~Guard() {
      if (p) FLT_DisposeParade(p);
    }
  } guard{parade};
  // The layers its layer parameters read were another composition's: a
  // favorite reads none until chosen again.
  if (ErrorCode err = ClearLayerChoices(parade)) return err;
  int32_t n = 0;
  FLT_InqParadeNumSeqs(parade, &n);
  if (missing > 0) {
    for (int32_t i = n - 1; i >= 0; --i) {
      Boolean32 gone = 0;
      FLT_Sequence seq = nullptr;
      if (FLT_InqParadeSeqMissing(parade, i, &gone) == 0 && gone && FLT_RemoveSeqParade(parade, i, &seq) == 0)
        FLT_DisposeSequence(seq);
    }
    // The names list is cut when it would not fit: count them.
    int32_t listed = names[0] ? 1 : 0;
    for (const char* p = names; (p = std::strstr(p, ", ")); p += 2) ++listed;
    ReportMissing(missing, names, listed < missing);
    FLT_InqParadeNumSeqs(parade, &n);
  }
  // Every effect must fit before any is applied.
  if (EffectCount(layer) + n > BEE_MaxEffects)
    return kReport.Report(BEE_SiteApplyEffect, kSevError, kErrBadParam, kTextTooManyEffects);
  if (n == 0) return 0;
  if (ErrorCode err = BEE_StartGroup(nullptr, BEE_CmdNumApplyEffect)) return err;
  ErrorCode err = 0;
  for (int32_t i = 0; i < n && !err; ++i) {
    FLT_Sequence seq = nullptr;
    err = FLT_GetParadeSeq(parade, i, &seq);
    if (!err) err = ApplyOne(layer, seq);
  }
  BEE_EndGroup();
  // A favorite that failed halfway is taken back whole.
  if (err) BEE_Undo();
  return err;
}

}  // namespace

ErrorCode BEE_SaveFavorite(FILE_SpecH file, int32_t script, int32_t flags, Handle parade) try {
  (void)script;
  if (!file || !parade) return kReport.BadParam(kSiteArgument, {"BEE_SaveFavorite"});
  const std::string path = PathOf(file);
  if (path.empty()) return kReport.BadParam(kSiteArgument, {"BEE_SaveFavorite"});
  OwnSpec target;
  if (ErrorCode err = FILE_New(path.c_str(), FILE_LocFullPath, &target.spec)) return err;
  Boolean32 exists = 0;
  if (ErrorCode err = FILE_InqExist(target.spec, &exists)) return err;
  if (exists && !(flags & FILE_CreateReplace)) return kReport.Fail(kSiteFavorite, 792, kTextBadArgument, {"BEE_SaveFavorite"});
  return slu::SaveAtomically(target.spec, [&](SLU_FileContext* c) -> ErrorCode {
    slu::ChunkWriter rifx(c, slu::kRIFX, kFaFX);
    if (rifx.err()) return rifx.err();
    uint8_t head[kFavHeadSize];
    WriteHead(head);
    if (ErrorCode err = SLU_WriteAtom(c, bee::proj::khead, sizeof head, head)) return err;
    if (ErrorCode err = FLT_WriteParade(parade, nullptr, nullptr, c)) return err;
    return rifx.End();
  });
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdApplyFavorite(FILE_SpecH file, BEE_Layer layer) try {
  if (ErrorCode err = CheckLayer(layer)) return err;
  const std::string path = file ? PathOf(file) : std::string();
  if (path.empty()) return kReport.BadParam(kSiteArgument, {"BEE_CmdApplyFavorite"});
  OwnSpec spec;
  if (ErrorCode err = FILE_New(path.c_str(), FILE_LocFullPath, &spec.spec)) return err;
  if (ErrorCode err = FILE_Open(FILE_PermRead, spec.spec)) return err;
  SLU_FileContext context{};
  ErrorCode err = SLU_InitFile(spec.spec, 0, &context);
  if (!err) err = ApplyFrom(&context, layer);
  // A close failure counts only when nothing failed before.
  ErrorCode closed = FILE_Close(spec.spec);
  return err ? err : closed;
} TV_CATCH(BEE_PackageNumber)
