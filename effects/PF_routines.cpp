// The routine table, the callback blocks effects receive, the selector table
// of PF_GetCallbackAddr, the handle callbacks and the small inquiries.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "Memory.h"
#include "PF_internal.h"

namespace tv::pf {
namespace {

PF_AppCallbackFunc gAppCallback = nullptr;

// The built-in routines: this file's own, then those of the package's other
// parts through their install functions.
PF_RoutineTable Builtins() {
  PF_RoutineTable t{};
  t.compositeDraftStraight = &PF_CompositeRectDraft_Straight;
  t.compositeDraftPremul = &PF_CompositeRectDraft_Premul;
  t.compositeBestStraight = &PF_CompositeRectBest_Straight;
  t.compositeBestPremul = &PF_CompositeRectBest_Premul;
  t.blendStraight = &PF_Blend_Straight;
  t.blendPremul = &PF_Blend_Premul;
  t.fill = &PF_Fill;
  t.iterate = &PF_Iterate;
  t.premul = &PF_Premul;
  t.premulColor = &PF_PremulColor;
  t.iterateOrigin = &PF_IterateOrigin;
  t.iterateOriginNoClip = &PF_IterateOriginNoClip;
  t.iterateLUT = &PF_IterateLUT;
  t.iterateIndexed = &PF_IterateIndexed;
  t.transferRect = &PF_TransferRect_S;
  t.getBatchFunc = &PF_GetBatchFunc;
  t.rgbToHlsStraight = &PF_RGBtoHLS_Straight;
  t.rgbToHlsPremul = &PF_RGBtoHLS_Premul;
  t.rgbToYiqStraight = &PF_RGBtoYIQ_Straight;
  t.rgbToYiqPremul = &PF_RGBtoYIQ_Premul;
  t.hlsToRgbStraight = &PF_HLStoRGB_Straight;
  t.hlsToRgbPremul = &PF_HLStoRGB_Premul;
  t.yiqToRgbStraight = &PF_YIQtoRGB_Straight;
  t.yiqToRgbPremul = &PF_YIQtoRGB_Premul;
  t.luminanceStraight = &PF_Luminance_Straight;
  t.luminancePremul = &PF_Luminance_Premul;
  t.hueStraight = &PF_Hue_Straight;
  t.huePremul = &PF_Hue_Premul;
  t.lightnessStraight = &PF_Lightness_Straight;
  t.lightnessPremul = &PF_Lightness_Premul;
  t.saturationStraight = &PF_Saturation_Straight;
  t.saturationPremul = &PF_Saturation_Premul;
  PFp_InstallSecondRoutines(&t);  // samplers, copies, convolution, kernels, blurs, planes
  PFp_InstallTransformRoutines(&t);  // the layer transform
  return t;
}

PF_RoutineTable& Table() {
  static PF_RoutineTable table = Builtins();
  return table;
}

bool Straight(int32_t flags) { return (flags & PF_CallbackFlag_Straight) != 0; }

FpLong Atan(FpLong x) { return std::atan(x); }
FpLong Atan2(FpLong y, FpLong x) { return std::atan2(y, x); }
FpLong Ceil(FpLong x) { return std::ceil(x); }
FpLong Cos(FpLong x) { return std::cos(x); }
FpLong Exp(FpLong x) { return std::exp(x); }
FpLong Fabs(FpLong x) { return std::fabs(x); }
FpLong Floor(FpLong x) { return std::floor(x); }
FpLong Fmod(FpLong x, FpLong y) { return std::fmod(x, y); }
FpLong Log(FpLong x) { return std::log(x); }
FpLong Log10(FpLong x) { return std::log10(x); }
FpLong Pow(FpLong x, FpLong y) { return std::pow(x, y); }
FpLong Sin(FpLong x) { return std::sin(x); }
FpLong Sqrt(FpLong x) { return std::sqrt(x); }
FpLong Tan(FpLong x) { return std::tan(x); }
FpLong Asin(FpLong x) { return std::asin(x); }
FpLong Acos(FpLong x) { return std::acos(x); }
char* Strcpy(char* d, const char* s) { return std::strcpy(d, s); }

template <class T>
void* Addr(T fn) {
  return reinterpret_cast<void*>(fn);
}

}  // namespace
}  // namespace tv::pf

using namespace tv;
using namespace tv::pf;

PF_RoutineTable* PFp_GetRoutineTable(void) { return &Table(); }

FpLong PF_Hypot(FpLong x, FpLong y) { return std::sqrt(x * x + y * y); }
FpLong PF_HypotFPU(FpLong x, FpLong y) { return std::sqrt(x * x + y * y); }

ErrorCode PF_SetCallbackBlockQuality(int32_t quality, int32_t flags, PF_UtilCallbacks* block) {
  if (!block) return BadParam(kRtGetCallbackAddr, "no callback block");
  const PF_RoutineTable& t = Table();
  const bool straight = Straight(flags);
  if (quality & PF_Quality_ExtraMath) {
    block->gaussianKernel = t.gaussianKernel;
    block->hypot = &PF_Hypot;
    quality &= ~PF_Quality_ExtraMath;
  }
  if (quality == PF_Quality_Draft) {
    block->subpixelSample = t.nnSample;
    block->areaSample = t.nnSample;
    block->copy = t.copyDraft;
    block->compositeRect = straight ? t.compositeDraftStraight : t.compositeDraftPremul;
  } else {
    block->subpixelSample = straight ? t.subpixelSampleStraight : t.subpixelSamplePremul;
    block->areaSample = straight ? t.areaSampleStraight : t.areaSamplePremul;
    block->copy = straight ? t.copyHQStraight : t.copyHQPremul;
    block->compositeRect = straight ? t.compositeBestStraight : t.compositeBestPremul;
  }
  block->blend = straight ? t.blendStraight : t.blendPremul;
  block->RGBtoHLS = straight ? t.rgbToHlsStraight : t.rgbToHlsPremul;
  block->HLStoRGB = straight ? t.hlsToRgbStraight : t.hlsToRgbPremul;
  block->RGBtoYIQ = straight ? t.rgbToYiqStraight : t.rgbToYiqPremul;
  block->YIQtoRGB = straight ? t.yiqToRgbStraight : t.yiqToRgbPremul;
  block->luminance = straight ? t.luminanceStraight : t.luminancePremul;
  block->hue = straight ? t.hueStraight : t.huePremul;
  block->lightness = straight ? t.lightnessStraight : t.lightnessPremul;
  block->saturation = straight ? t.saturationStraight : t.saturationPremul;
  return 0;
}

ErrorCode PF_GetCallbackBlock(int32_t quality, int32_t flags, PF_UtilCallbacks* block) {
  if (!block) return BadParam(kRtGetCallbackAddr, "no callback block");
  std::memset(static_cast<void*>(block), 0, sizeof *block);
  const PF_RoutineTable& t = Table();
  // The fixed entries: the Gaussian kernel is always offered, and the hypot
  // word is the floating-point one unless the quality's 0x8000 bit asks for
  // PF_Hypot (applied below).
  block->getBatchFunc = t.getBatchFunc;
  block->newChunk = &PF_NewChunk;
  block->disposeChunk = &PF_DisposeChunk;
  block->lockChunk = &PF_LockChunk;
  block->unlockChunk = &PF_UnlockChunk;
  block->chunkDataSize = &PF_ChunkDataSize;
  block->openDestination = &PF_OpenDestination;
  block->closeDestination = &PF_CloseDestination;
  block->convolve = t.convolve;
  block->fill = t.fill;
  block->gaussianKernel = t.gaussianKernel;
  block->iterate = t.iterate;
  block->premul = t.premul;
  block->premulColor = t.premulColor;
  block->newWorld = &PF_NewWorld;
  block->getPlatformRefs = &PF_GetPlatformRefs;
  block->disposeWorld = &PF_DisposeWorld;
  block->iterateOrigin = t.iterateOrigin;
  block->iterateLUT = t.iterateLUT;
  block->transferRect = &PF_TransferRect;
  block->transformWorld = t.transformWorld;
  block->newHandle = &PF_NewHandleQuiet;
  block->lockHandle = &PF_LockHandle;
  block->unlockHandle = &PF_UnlockHandle;
  block->disposeHandle = &PF_DisposeHandle;
  block->getCallbackAddr = &PF_GetCallbackAddr;
  block->appCallback = &PF_AppCallback;
  block->atan = &Atan;
  block->atan2 = &Atan2;
  block->ceil = &Ceil;
  block->cos = &Cos;
  block->exp = &Exp;
  block->fabs = &Fabs;
  block->floor = &Floor;
  block->fmod = &Fmod;
  block->hypot = &PF_HypotFPU;
  block->log = &Log;
  block->log10 = &Log10;
  block->pow = &Pow;
  block->sin = &Sin;
  block->sqrt = &Sqrt;
  block->tan = &Tan;
  block->sprintf = &std::sprintf;
  block->strcpy = &Strcpy;
  block->asin = &Asin;
  block->acos = &Acos;
  block->obsoleteInquiry = &PF_ObsoleteInquiry;
  block->platformInquiry = &PF_PlatformInquiry;
  block->getHandleSize = &PF_GetHandleSize;
  block->iterateOriginNoClip = t.iterateOriginNoClip;
  block->iterateIndexed = t.iterateIndexed;
  block->resizeHandle = &PF_ResizeHandle;
  return PF_SetCallbackBlockQuality(quality, flags, block);
}

ErrorCode PF_GetCallbackAddr(PF_EffectRef, int32_t quality, int32_t flags, int32_t selector, void** address) {
  if (!address) return BadParam(kRtGetCallbackAddr, "no address");
  *address = nullptr;
  const PF_RoutineTable& t = Table();
  const bool draft = (quality & ~PF_Quality_ExtraMath) == PF_Quality_Draft;
  const bool straight = Straight(flags);
  void* a = nullptr;
  bool known = true;
  switch (selector) {
    case PF_Sel_AppCallback: a = Addr(&PF_AppCallback); break;
    case PF_Sel_BoxBlurUnoScan: a = Addr(t.boxBlurUnoScan); break;
    case PF_Sel_GaussianValue: a = Addr(t.gaussianValue); break;
    case PF_Sel_InsertPlanes: a = Addr(t.insertPlanes); break;
    case PF_Sel_ExtractPlanes: a = Addr(t.extractPlanes); break;
    case PF_Sel_FastBlur: a = Addr(straight ? t.fastBlurStraight : t.fastBlurPremul); break;
    case PF_Sel_PaintSpot: a = Addr(t.paintSpot); break;
    case PF_Sel_Word0:
    case PF_Sel_Word4: break;  // the block's null words
    case PF_Sel_SubpixelSample:
      a = Addr(draft ? t.nnSample : straight ? t.subpixelSampleStraight : t.subpixelSamplePremul);
      break;
    case PF_Sel_AreaSample:
      a = Addr(draft ? t.nnSample : straight ? t.areaSampleStraight : t.areaSamplePremul);
      break;
    case PF_Sel_NNSample: a = Addr(t.nnSample); break;
    case PF_Sel_CompositeRect:
      a = Addr(draft ? (straight ? t.compositeDraftStraight : t.compositeDraftPremul)
                     : (straight ? t.compositeBestStraight : t.compositeBestPremul));
      break;
    case PF_Sel_Blend: a = Addr(straight ? t.blendStraight : t.blendPremul); break;
    case PF_Sel_Convolve: a = Addr(t.convolve); break;
    case PF_Sel_Copy: a = Addr(draft ? t.copyDraft : straight ? t.copyHQStraight : t.copyHQPremul); break;
    case PF_Sel_Fill: a = Addr(t.fill); break;
    case PF_Sel_GaussianKernel: a = Addr(t.gaussianKernel); break;
    case PF_Sel_Iterate: a = Addr(t.iterate); break;
    case PF_Sel_Premul: a = Addr(t.premul); break;
    case PF_Sel_PremulColor: a = Addr(t.premulColor); break;
    case PF_Sel_RGBtoHLS: a = Addr(straight ? t.rgbToHlsStraight : t.rgbToHlsPremul); break;
    case PF_Sel_HLStoRGB: a = Addr(straight ? t.hlsToRgbStraight : t.hlsToRgbPremul); break;
    case PF_Sel_RGBtoYIQ: a = Addr(straight ? t.rgbToYiqStraight : t.rgbToYiqPremul); break;
    case PF_Sel_YIQtoRGB: a = Addr(straight ? t.yiqToRgbStraight : t.yiqToRgbPremul); break;
    case PF_Sel_Luminance: a = Addr(straight ? t.luminanceStraight : t.luminancePremul); break;
    case PF_Sel_Hue: a = Addr(straight ? t.hueStraight : t.huePremul); break;
    case PF_Sel_Lightness: a = Addr(straight ? t.lightnessStraight : t.lightnessPremul); break;
    case PF_Sel_Saturation: a = Addr(straight ? t.saturationStraight : t.saturationPremul); break;
    case PF_Sel_NewWorld: a = Addr(&PF_NewWorld); break;
    case PF_Sel_GetPlatformRefs: a = Addr(&PF_GetPlatformRefs); break;
    case PF_Sel_DisposeWorld: a = Addr(&PF_DisposeWorld); break;
    case PF_Sel_IterateOrigin: a = Addr(t.iterateOrigin); break;
    case PF_Sel_IterateLUT: a = Addr(t.iterateLUT); break;
    case PF_Sel_TransferRect: a = Addr(&PF_TransferRect_S); break;
    case PF_Sel_TransformWorld: a = Addr(t.transformWorld); break;
    case PF_Sel_Word58: a = Addr(t.iterateOriginNoClip); break;
    case PF_Sel_Word59: a = Addr(t.iterateIndexed); break;
    default: known = false; break;
  }
  if (!known) return kReport.Fail(kSiteSelector, PF_ErrInvalidSelector, kStrBadSelector, {selector});
  if (!a && selector != PF_Sel_Word0 && selector != PF_Sel_Word4)
    // A routine of the table that is not built yet answers like an unknown selector.
    return kReport.Fail(kSiteSelector, PF_ErrInvalidSelector, kStrBadSelector, {selector});
  *address = a;
  return 0;
}

ErrorCode PF_AppCallback(PF_EffectRef ref, int32_t selector, void* data) {
  if (gAppCallback) return gAppCallback(ref, selector, data);
  return kReport.Fail(kSiteAppCallback, kErrUnimplemented, kStrNoAppCallback);
}

ErrorCode PFp_SetAppCallback(PF_AppCallbackFunc proc) {
  gAppCallback = proc;
  return 0;
}

ErrorCode PF_OverrideStdFuncs(PF_EffectRef, void*) {
  return kReport.Fail(kSiteOverride, PF_ErrInvalidSelector, kStrNoOverride);
}

ErrorCode PF_ObsoleteInquiry(PF_EffectRef, int32_t, void*, void*) {
  return kReport.Fail(kSiteInquiry, PF_ErrBadParam, kStrObsolete);
}

ErrorCode PF_PlatformInquiry(PF_EffectRef, int32_t kind, void*, void* answer) {
  if (kind != PF_Inquiry_MousePosition)
    return kReport.Fail(kSiteInquiry, PF_ErrBadParam, kStrBadInquiry, {kind});
  if (!answer) return BadParam(56, "no answer");
  // Headless: there is no pointer; the position is the port's origin.
  *static_cast<Point*>(answer) = Point{0, 0};
  return 0;
}

// ---- Handles for effects ----------------------------------------------------------------
Handle PF_NewHandleQuiet(PF_EffectRef, int32_t size) {
  if (size < 0) return nullptr;
  return NewHandle(size);
}

void* PF_LockHandle(PF_EffectRef, Handle h) {
  if (!h) return nullptr;
  HLock(h);
  return *h;
}

ErrorCode PF_UnlockHandle(PF_EffectRef, Handle h) {
  if (h) HUnlock(h);
  return 0;
}

ErrorCode PF_DisposeHandle(PF_EffectRef, Handle h) {
  if (h) DisposeHandle(h);
  return 0;
}

int32_t PF_GetHandleSize(PF_EffectRef, Handle h) {
  if (!h) return 0;
  return static_cast<int32_t>(GetHandleSize(h));
}

ErrorCode PF_ResizeHandle(PF_EffectRef, int32_t size, Handle* h) {
  if (!h || !*h || size < 0) return BadParam(60, kReport.Text(kStrHandleData));
  SetHandleSize(*h, size);
  if (MemError() != 0) return kReport.OutOfMemory(kSiteHandle, kStrHandleData, static_cast<uint64_t>(size));
  return 0;
}
