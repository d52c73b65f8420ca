// Frames for display, thumbnails and export: cached source frames, frames
// matted on an opaque background, thumbnails fitted into a World, and one
// frame written to a file through a footage module's single-frame output.
#include <algorithm>
#include <cmath>
#include <string>

#include "BEE_internal.h"
#include "BEE_render_internal.h"
#include "BM.h"
#include "FILE.h"
#include "OutputFormats.h"
#include "PF.h"

namespace tv::bee {
namespace {

constexpr uint32_t kSiteDisplay = 0x31;

// A checked-out cached frame, checked in when the hold ends.
class Frame {
 public:
  Frame() = default;
  ~Frame() {
    if (r_) BEE_CheckinItemFrame(r_);
  }
  Frame(const Frame&) = delete;
  Frame& operator=(const Frame&) = delete;
  MC_Receipt* out() { return &r_; }
  MC_Receipt receipt() const { return r_; }
  ErrorCode World(BM_World* w) const { return BEE_GetReceiptWorld(r_, w); }

 private:
  MC_Receipt r_ = nullptr;
};

// world := background, then the item's frame for rq at world's size over it.
ErrorCode Matted(BEE_Item item, const BEE_RenderRequest& rq, uint32_t background, BM_World world) {
  int32_t w = 0, h = 0;
  if (ErrorCode err = WorldSize(world, &w, &h)) return err;
  Frame frame;
  if (ErrorCode err = BEE_CheckoutItemFrame(item, &rq, w, h, frame.out())) return err;
  BM_World pixels = nullptr;
  if (ErrorCode err = frame.World(&pixels)) return err;
  return OverBackground(pixels, background, world);
}

ErrorCode CheckRequest(const BEE_RenderRequest* request, const char* operation) {
  if (!request || request->field < 0 || request->field > 2) return kReport.BadParam(kSiteArgument, {operation});
  return 0;
}

std::string FileName(FILE_SpecH file) {
  char name[FILE_MaxName + 1] = "";
  if (FILE_InqName(file, FILE_NameOnly, name, sizeof name) != 0) return {};
  return name;
}

// An output instance of a module: a handle the module keeps its state in,
// ended (adding stops, the state goes) and disposed with the hold.
// An OutputSpec disposed on every path.
struct Output {
  PIN_OutputSpecH h = nullptr;
  Output() = default;
  ~Output() { PIN_DisposeOutputSpec(h); }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
};

}  // namespace

uint32_t MatteBackground(BEE_Item item, const uint32_t* background) {
  if (background) return *background | 0xFF000000u;
  if (item && R(item).kind == BEE_KindComp) return R(item).bgColor | 0xFF000000u;
  return 0xFF000000u;
}

ErrorCode Over(BM_World src, BM_World dst, int32_t left, int32_t top) {
  Locked s(src), d(dst);
  if (ErrorCode err = s.error() ? s.error() : d.error()) return err;
  PF_CompositeMode mode{};
  mode.mode = PF_Xfer_Normal;
  mode.opacity = 255;
  return PF_TransferRect(nullptr, 1, 0, 0, nullptr, &s.pf(), &mode, nullptr, left, top, &d.pf());
}

ErrorCode OverBackground(BM_World src, uint32_t background, BM_World dst) {
  if (ErrorCode err = BM_ClearWorldToLong(dst, background)) return err;
  return Over(src, dst, 0, 0);
}

}  // namespace tv::bee

using namespace tv;
using namespace tv::bee;

ErrorCode BEE_CheckoutCachedLayerSourceFrame(BEE_Layer layer, const BEE_RenderRequest* request,
                                             MC_Receipt* receipt) try {
  if (receipt) *receipt = nullptr;
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (ErrorCode err = CheckRequest(request, "BEE_CheckoutCachedLayerSourceFrame")) return err;
  if (!receipt) return kReport.BadParam(kSiteArgument, {"BEE_CheckoutCachedLayerSourceFrame"});
  Boolean32 active = 0;
  BEE_RenderRequest srq{};
  if (ErrorCode err = SourceRequest(layer, *request, &active, &srq)) return err;
  if (!active) return 0;
  BEE_Item src = R(layer).source;
  int32_t w = 0, h = 0;
  if (ErrorCode err = FullSize(src, &w, &h)) return err;
  srq.flags |= BEE_Request_Cacheable;
  return BEE_CheckoutItemFrame(src, &srq, std::max(w, 1), std::max(h, 1), receipt);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_DrawMattedItemFrame(BEE_Item item, const BEE_RenderRequest* request, const uint32_t* background,
                                  BM_World world) try {
  if (ErrorCode err = CheckItem(item)) return err;
  if (ErrorCode err = CheckRequest(request, "BEE_DrawMattedItemFrame")) return err;
  if (!world) return kReport.BadParam(kSiteArgument, {"BEE_DrawMattedItemFrame"});
  return Matted(item, *request, MatteBackground(item, background), world);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_DrawMattedSourceFrame(BEE_Layer layer, const BEE_RenderRequest* request, const uint32_t* background,
                                    BM_World world) try {
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (ErrorCode err = CheckRequest(request, "BEE_DrawMattedSourceFrame")) return err;
  if (!world) return kReport.BadParam(kSiteArgument, {"BEE_DrawMattedSourceFrame"});
  int32_t w = 0, h = 0;
  if (ErrorCode err = WorldSize(world, &w, &h)) return err;
  Boolean32 active = 0;
  BEE_RenderRequest srq{};
  if (ErrorCode err = SourceRequest(layer, *request, &active, &srq)) return err;
  BEE_Item src = active ? R(layer).source : nullptr;
  const uint32_t bg = MatteBackground(src, background);
  if (!active) return BM_ClearWorldToLong(world, bg);
  return Matted(src, srq, bg, world);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_DrawItemThumbnail(BEE_Item item, BM_World world) try {
  if (ErrorCode err = CheckItem(item)) return err;
  if (!world) return kReport.BadParam(kSiteArgument, {"BEE_DrawItemThumbnail"});
  int32_t ww = 0, wh = 0;
  if (ErrorCode err = WorldSize(world, &ww, &wh)) return err;
  if (ErrorCode err = BM_ClearWorldToZeros(world)) return err;
  const int16_t kind = R(item).kind;
  if (kind != BEE_KindComp && kind != BEE_KindSolid && kind != BEE_KindFootage) return 0;
  int32_t w = 0, h = 0;
  if (ErrorCode err = FullSize(item, &w, &h)) return err;
  if (w <= 0 || h <= 0) return 0;
  Ratio hsf{1, 1};
  if (BEE_GetItemHSF(item, &hsf) != 0 || hsf.num <= 0 || hsf.den <= 0) hsf = Ratio{1, 1};
  // The frame's shape on screen (pixel aspect applied), fitted and centred.
  const double shownW = static_cast<double>(w) * hsf.num / hsf.den, shownH = h;
  const double fit = std::min(ww / shownW, wh / shownH);
  const int32_t tw = std::clamp<int32_t>(static_cast<int32_t>(std::lround(shownW * fit)), 1, ww);
  const int32_t th = std::clamp<int32_t>(static_cast<int32_t>(std::lround(shownH * fit)), 1, wh);
  Time now{};
  if (ErrorCode err = BEE_GetItemCurrentTime(item, &now)) return err;
  BEE_RenderRequest rq{now, Time{0, 1}, 0, BEE_Request_Cacheable, -1, {0, 0}};
  TempWorld thumb;
  if (ErrorCode err = thumb.Make(tw, th)) return err;
  if (ErrorCode err = Matted(item, rq, MatteBackground(item, nullptr), thumb.w)) return err;
  Locked s(thumb.w), d(world);
  if (ErrorCode err = s.error() ? s.error() : d.error()) return err;
  PF_CompositeMode copy{};
  copy.mode = PF_Xfer_Copy;
  copy.opacity = 255;
  return PF_TransferRect(nullptr, 1, 0, 0, nullptr, &s.pf(), &copy, nullptr, (ww - tw) / 2, (wh - th) / 2, &d.pf());
} TV_CATCH(BEE_PackageNumber)

// The frame goes through an OutputSpec of the module (set the file, write
// one frame, end), the road every single-frame output takes; disposing an
// output that was not ended leaves no file under its final name.
ErrorCode BEE_SaveFrameAs(BEE_Item item, const BEE_RenderRequest* request, FILE_SpecH file, FourCC signature) try {
  if (ErrorCode err = CheckItem(item)) return err;
  if (ErrorCode err = CheckRequest(request, "BEE_SaveFrameAs")) return err;
  if (!file) return kReport.BadParam(kSiteArgument, {"BEE_SaveFrameAs"});
  if (signature == 0) {
    const std::string name = tv::outputs::StillLookupName(FileName(file));
    if (ErrorCode err = PIN_GetSigFromType(0, 0, name.c_str(), &signature)) return err;
    if (signature == PIN_NoSignature) return kReport.BadParam(kSiteDisplay, {"a file type a module writes"});
  }
  int32_t w = 0, h = 0;
  if (ErrorCode err = ItemSize(item, &w, &h)) return err;
  w = std::max(w, 1), h = std::max(h, 1);
  Output out;
  if (ErrorCode err = PIN_NewOutputSpec(signature, w, h, &out.h)) return err;
  // A cacheable request takes the frame from the frame cache (or renders
  // and caches it); any other is rendered for the file alone and not kept,
  // so saving a long run of frames does not fill the cache.
  Frame frame;
  TempWorld own;
  BM_World pixels = nullptr;
  if (request->flags & BEE_Request_Cacheable) {
    if (ErrorCode err = BEE_CheckoutItemFrame(item, request, w, h, frame.out())) return err;
    if (ErrorCode err = frame.World(&pixels)) return err;
  } else {
    if (ErrorCode err = own.Make(w, h)) return err;
    if (ErrorCode err = BEEp_RenderItemFrame(item, request, own.w)) return err;
    pixels = own.w;
  }
  if (ErrorCode err = PIN_SetOutputFile(out.h, file)) return err;
  // A file that keeps no alpha (a module writing 24-bit frames only) shows
  // the composition's background where the frame is transparent.
  uint32_t depths = 0;
  TempWorld flat;
  const bool opaque = PIN_GetLegalDepths(out.h, &depths) == 0 && depths != 0 && !(depths & 0x80);
  if (opaque) {
    if (ErrorCode err = flat.Make(w, h)) return err;
    if (ErrorCode err = OverBackground(pixels, MatteBackground(item, nullptr), flat.w)) return err;
    pixels = flat.w;
  }
  // The item's pixel aspect, for the formats that keep one (as movie
  // renders tell it).
  Ratio hsf{1, 1};
  if (BEE_GetItemHSF(item, &hsf) == 0 && hsf.num > 0 && hsf.den > 0 && hsf.num != static_cast<int32_t>(hsf.den)) {
    PIN_OutputInfo info{};
    if (ErrorCode err = PIN_GetOutputInfo(out.h, &info, sizeof info)) return err;
    const tv::outputs::PixelAspect aspect = tv::outputs::OutputPixelAspect(hsf.num, hsf.den);
    info.width = w, info.height = h, info.depth = opaque ? 24 : 32;
    info.hsfNum = aspect.num, info.hsfDen = aspect.den;
    if (ErrorCode err = PIN_SetOutputInfo(out.h, &info, sizeof info)) return err;
  }
  if (ErrorCode err = PIN_StartAdding(out.h)) return err;
  if (ErrorCode err = PIN_OutputFrame(out.h, pixels)) return err;
  return PIN_EndAdding(out.h);
} TV_CATCH(BEE_PackageNumber)
