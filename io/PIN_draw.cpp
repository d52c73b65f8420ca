// Drawing a frame of footage into a World: the checks of time and World, the
// synchronisation with the files, the module's drawing (whole or partial, at
// the asked scale), the missing-footage placeholder and the alpha steps that
// need no matte colour.
#include "PIN_internal.h"

namespace tv::pin {

PixelLock::PixelLock(BM_World world) : world_(world) {
  int32_t depth = 0, rowBytes = 0;
  if (BM_GetWorldInfo(world, &width_, &height_, &depth, &rowBytes) != 0) return;
  if (depth != 32) {
    error_ = kErrBadParam;
    return;
  }
  if ((error_ = BM_LockPixels(1, world, nullptr)) != 0) return;
  locked_ = true;
  base_ = reinterpret_cast<uint8_t*>(BMp_GetPixBaseAddr(world));
  rowBytes_ = rowBytes;
}

PixelLock::~PixelLock() {
  if (locked_) BM_UnlockPixels(world_);
}

namespace {

// Checks the World against the size expected; reports once.
ErrorCode CheckWorld(BM_World world, int32_t width, int32_t height, int32_t* depthOut) {
  int32_t w = 0, h = 0, depth = 0, rowBytes = 0;
  if (ErrorCode err = BM_GetWorldInfo(world, &w, &h, &depth, &rowBytes)) return err;
  *depthOut = depth;
  if (depth != 32)
    return kReport.Fail(kSiteDraw, kErrBadParam, kTextWrongWorld, {kReport.Text(kTextNot32Bit)});
  if (w != width || h != height)
    return kReport.Fail(kSiteDraw, kErrBadParam, kTextWrongWorld, {kReport.Text(kTextWrongSize)});
  return 0;
}

bool ValidTime(const Time& t) { return t.scale != 0 && t.value != INT32_MIN; }

// After the module drew: inverted alpha on request, and an opaque frame for
// footage whose alpha is ignored or absent.
void FinishAlpha(BM_World world, const SeqSpec& s, uint32_t flags) {
  const bool invert = (flags & PIN_Draw_InvertAlpha) != 0;
  const bool opaque = s.alpha.type == PIN_Alpha_Ignore || s.alpha.type == PIN_Alpha_None;
  if (!invert && !opaque) return;
  PixelLock px(world);
  if (!px.ok()) return;
  for (int32_t y = 0; y < px.height(); ++y) {
    uint8_t* p = px.Row(y);
    for (int32_t x = 0; x < px.width(); ++x, p += 4) {
      if (invert) p[0] = static_cast<uint8_t>(255 - p[0]);
      if (opaque) p[0] = 255;
    }
  }
}

// The size the frame is drawn at.
ErrorCode ScaledSize(PIN_SeqSpecH seq, const PIN_DrawParams& params, int32_t* width, int32_t* height) {
  const Ratio scale[2] = {params.scaleX, params.scaleY};
  return PIN_GetDimensions(seq, scale, width, height, nullptr);
}

ErrorCode Draw(PIN_SeqSpecH seq, BM_World world, const PIN_DrawParams* params, bool partial, const char* op) {
  if (!world || !params) return kReport.BadParam(kSiteDraw, {op});
  if (ErrorCode err = CheckSeq(seq, kSiteDraw)) return err;
  if (!ValidTime(params->time))
    return kReport.Fail(kSiteDraw, PIN_ErrBadTime, kTextBadParameters, {kReport.Text(kTextBadSampleTime)});
  int32_t width = 0, height = 0, depth = 0;
  if (ErrorCode err = ScaledSize(seq, *params, &width, &height)) return err;
  if (partial) {
    const LRect& r = params->part;
    if (r.left < 0 || r.top < 0 || r.right > width || r.bottom > height || r.left >= r.right ||
        r.top >= r.bottom)
      return kReport.BadParam(kSiteDraw, {op});
    width = r.right - r.left;
    height = r.bottom - r.top;
  }
  if (ErrorCode err = CheckWorld(world, width, height, &depth)) return err;

  if (Rec(seq).missing) {
    char name[FILE_MaxName + 1] = "";
    const SeqSpec& s = Rec(seq);
    if (s.file)
      FILE_InqName(s.file, FILE_NameOnly, name, sizeof name);
    else if (s.alias)
      FILE_InqAliasRecName(s.alias, name, sizeof name);
    return DrawPlaceholder(world, name);
  }
  if (!Rec(seq).inSynch)
    if (ErrorCode err = PIN_SynchSeqSpec(seq)) return err;
  const Module* m = ModuleOf(seq);
  ErrorCode err =
      partial ? CallSlot(m, PIN_Slot_DrawPartialFrame, &PIN_ModuleProcs::drawPartialFrame, seq, params, world)
              : CallSlot(m, PIN_Slot_DrawSparseFrame, &PIN_ModuleProcs::drawSparseFrame, seq, params, world);
  if (err) return err;
  SeqSpec& s = Rec(seq);
  s.lastIndex = FrameIndex(s, params->time);
  FinishAlpha(world, s, params->flags);
  return 0;
}

}  // namespace
}  // namespace tv::pin

using namespace tv;
using namespace tv::pin;

ErrorCode PIN_DrawFrame(PIN_SeqSpecH seq, BM_World world, const PIN_DrawParams* params) {
  return Draw(seq, world, params, false, "PIN_DrawFrame");
}

ErrorCode PIN_DrawPartialFrame(PIN_SeqSpecH seq, BM_World world, const PIN_DrawParams* params) {
  return Draw(seq, world, params, true, "PIN_DrawPartialFrame");
}

ErrorCode PIN_DrawSparseFrame(PIN_SeqSpecH, BM_World, const PIN_DrawParams*) {
  return kReport.Fail(kSiteDraw, PIN_ErrObsolete, kTextUnimplemented);
}
