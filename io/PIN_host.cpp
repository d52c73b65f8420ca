// What the host hands to the framework (its procedures, cue sheet and
// dialogs), the clipboard's way to the modules, the lookup of a file's
// module by name, and device-independent bitmaps turned into Worlds.
#include <cstring>
#include <vector>

#include "PIN_internal.h"

namespace tv::pin {
namespace {

PIN_HostProcs gHostProcs = {};
void* gCueSheet = nullptr;
PIN_UserDialogProc gDialog = nullptr;
intptr_t gDialogRefcon = 0;

constexpr uint32_t kSite = kSiteCallbacks;

}  // namespace

void ClearHostProcs() {
  gHostProcs = {};
  gCueSheet = nullptr;
  gDialog = nullptr;
  gDialogRefcon = 0;
}

ErrorCode AskUser(int32_t kind, Handle spec, char* path, int32_t size, Boolean32* cancelled) {
  *cancelled = 0;
  if (!gDialog) return kReport.Fail(kSite, kErrUnsupported, kTextInteraction);
  if (path && size > 0) path[0] = 0;
  ErrorCode err = gDialog(gDialogRefcon, kind, spec, path, size, cancelled);
  if (err || *cancelled) return err;
  // The host's path must be a terminated string inside the buffer.
  if (path && (size < 1 || !std::memchr(path, 0, static_cast<size_t>(size)) || !path[0]))
    return kReport.BadParam(kSite, {"PIN_UserDialogProc"});
  return 0;
}

}  // namespace tv::pin

using namespace tv;
using namespace tv::pin;

ErrorCode PIN_SetHostProcs(const PIN_HostProcs* procs) {
  if (!pkg::Alive(PIN_PackageNumber)) return kReport.Damaged(kSite);
  gHostProcs = procs ? *procs : PIN_HostProcs{};
  return 0;
}

ErrorCode PIN_GetHostProcs(PIN_HostProcs* procs) {
  if (!procs) return kReport.BadParam(kSite, {"PIN_GetHostProcs"});
  *procs = PIN_HostProcs{};
  if (!pkg::Alive(PIN_PackageNumber)) return kReport.Damaged(kSite);
  *procs = gHostProcs;
  return 0;
}

ErrorCode PIN_SetCueSheet(void* cueSheet) {
  if (!pkg::Alive(PIN_PackageNumber)) return kReport.Damaged(kSite);
  gCueSheet = cueSheet;
  return 0;
}

ErrorCode PIN_GetCueSheet(void** cueSheet) {
  if (!cueSheet) return kReport.BadParam(kSite, {"PIN_GetCueSheet"});
  *cueSheet = nullptr;
  if (!pkg::Alive(PIN_PackageNumber)) return kReport.Damaged(kSite);
  *cueSheet = gCueSheet;
  return 0;
}

ErrorCode PIN_SetUserDialogProc(PIN_UserDialogProc proc, intptr_t refcon) {
  if (!pkg::Alive(PIN_PackageNumber)) return kReport.Damaged(kSite);
  gDialog = proc;
  gDialogRefcon = proc ? refcon : 0;
  return 0;
}

ErrorCode PIN_SeqOptionsDialog(PIN_SeqSpecH seq, Boolean32* cancelled) {
  if (!cancelled) return kReport.BadParam(kSite, {"PIN_SeqOptionsDialog"});
  *cancelled = 0;
  if (ErrorCode err = CheckSeq(seq, kSite)) return err;
  return AskUser(PIN_Dialog_SeqOptions, seq, nullptr, 0, cancelled);
}

ErrorCode PIN_IsThisPBSufficient(PIN_SeqSpecH seq, const PIN_DrawParams* params, Boolean32* sufficient) {
  if (!sufficient || !params) return kReport.BadParam(kSiteDraw, {"PIN_IsThisPBSufficient"});
  *sufficient = 0;
  if (ErrorCode err = CheckSeq(seq, kSiteDraw)) return err;
  const auto okRatio = [](const Ratio& r) { return (r.num == 0 && r.den == 0) || (r.num > 0 && r.den > 0); };
  *sufficient = params->time.scale != 0 && params->time.value != INT32_MIN && okRatio(params->scaleX) &&
                okRatio(params->scaleY);
  return 0;
}

// ---- Clipboard -------------------------------------------------------------------

ErrorCode PIN_GetScrapModuleSignature(FourCC scrapType, FourCC* signature) {
  if (!signature) return kReport.BadParam(kSiteRegistry, {"PIN_GetScrapModuleSignature"});
  *signature = PIN_NoSignature;
  if (!pkg::Alive(PIN_PackageNumber)) return kReport.Damaged(kSiteRegistry);
  for (const Module& m : Modules()) {
    if (!Filled(m.procs, PIN_Slot_ConvertScrap)) continue;
    bool declared = m.info.fileType == scrapType;
    for (int i = 0; i < m.info.numFileTypes && i < PIN_MaxFileTypes && !declared; ++i)
      declared = m.info.fileTypes[i][0] == scrapType;
    if (declared) {
      *signature = m.info.signature;
      break;
    }
  }
  return 0;
}

ErrorCode PIN_ConvertScrap(FourCC signature, Handle scrap, Handle* converted) {
  if (!converted || !scrap) return kReport.BadParam(kSiteRegistry, {"PIN_ConvertScrap"});
  *converted = nullptr;
  if (!pkg::Alive(PIN_PackageNumber)) return kReport.Damaged(kSiteRegistry);
  const Module* m = FindModule(signature);
  if (!m) return kReport.Fail(kSiteRegistry, kErrBadParam, kTextNoModule);
  Handle h = nullptr;
  ErrorCode err = CallSlot(m, PIN_Slot_ConvertScrap, &PIN_ModuleProcs::convertScrap, Handle{nullptr}, scrap, &h);
  if (!err) *converted = h;
  return err;
}

ErrorCode PIN_CleanupScrap(FourCC signature, Handle scrap) {
  if (!pkg::Alive(PIN_PackageNumber)) return kReport.Damaged(kSiteRegistry);
  const Module* m = FindModule(signature);
  if (!m) return kReport.Fail(kSiteRegistry, kErrBadParam, kTextNoModule);
  return CallSlot(m, PIN_Slot_CleanupScrap, &PIN_ModuleProcs::cleanupScrap, Handle{nullptr}, scrap);
}

ErrorCode PINp_GetSigFromType(FourCC fileType, FourCC creator, const char* name, Boolean32 extensionFirst,
                              FourCC* signature) {
  if (!signature) return kReport.BadParam(kSiteSigFromType, {"PINp_GetSigFromType"});
  *signature = PIN_NoSignature;
  if (!pkg::Alive(PIN_PackageNumber)) return kReport.Damaged(kSiteSigFromType);
  *signature = SigFromType(fileType, creator, name ? name : "", extensionFirst != 0);
  return 0;
}

// ---- Device-independent bitmaps ----------------------------------------------------------

namespace {

uint32_t LE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
uint16_t LE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

}  // namespace

ErrorCode PIN_DIB2BM(const void* dib, int32_t size, Boolean32 useAlpha, BM_World* world) try {
  constexpr uint32_t site = kSiteDraw;
  if (!world) return kReport.BadParam(site, {"PIN_DIB2BM"});
  *world = nullptr;
  if (!pkg::Alive(PIN_PackageNumber)) return kReport.Damaged(site);
  if (!dib || size < 40) return kReport.BadParam(site, {"PIN_DIB2BM"});
  const auto* b = static_cast<const uint8_t*>(dib);
  const uint32_t headerSize = LE32(b);
  const int32_t width = static_cast<int32_t>(LE32(b + 4));
  const int32_t rawHeight = static_cast<int32_t>(LE32(b + 8));
  const uint16_t planes = LE16(b + 12), bits = LE16(b + 14);
  const uint32_t compression = LE32(b + 16), used = LE32(b + 32);
  // Every field checked before anything is read through it or allocated.
  const bool bitsOk = bits == 1 || bits == 4 || bits == 8 || bits == 24 || bits == 32;
  const int64_t height = rawHeight < 0 ? -static_cast<int64_t>(rawHeight) : rawHeight;
  if (headerSize < 40 || headerSize > static_cast<uint32_t>(size) || planes != 1 || !bitsOk || compression != 0 ||
      width < 1 || width > 30000 || height < 1 || height > 30000)
    return kReport.BadParam(site, {"PIN_DIB2BM"});
  const uint32_t colours = bits <= 8 ? (used ? used : (1u << bits)) : 0;
  if (colours > 256) return kReport.BadParam(site, {"PIN_DIB2BM"});
  const uint64_t rowBytes = ((static_cast<uint64_t>(width) * bits + 31) / 32) * 4;
  const uint64_t pixelsAt = headerSize + 4ull * colours;
  if (pixelsAt + rowBytes * static_cast<uint64_t>(height) > static_cast<uint64_t>(size))
    return kReport.BadParam(site, {"PIN_DIB2BM"});
  const uint8_t* table = b + headerSize;
  const Rect bounds{0, 0, static_cast<int16_t>(height), static_cast<int16_t>(width)};
  BM_World w = nullptr;
  if (ErrorCode err = BM_NewWorld(nullptr, BM_Flag_Clear, &bounds, 32, 0, nullptr, &w)) return err;
  {
    PixelLock px(w);
    if (!px.ok()) {
      BM_DisposeWorld(w);
      return px.error() ? px.error() : kErrBadParam;
    }
    for (int64_t y = 0; y < height; ++y) {
      // Bottom-up unless the height is negative.
      const int64_t srcRow = rawHeight < 0 ? y : height - 1 - y;
      const uint8_t* s = b + pixelsAt + static_cast<uint64_t>(srcRow) * rowBytes;
      uint8_t* d = px.Row(static_cast<int32_t>(y));
      for (int32_t x = 0; x < width; ++x, d += 4) {
        if (bits <= 8) {
          const uint32_t bitPos = static_cast<uint32_t>(x) * bits;
          const uint32_t v = (s[bitPos / 8] >> (8 - bits - bitPos % 8)) & ((1u << bits) - 1);
          const uint8_t* c = v < colours ? table + 4 * v : nullptr;
          d[0] = 255, d[1] = c ? c[2] : 0, d[2] = c ? c[1] : 0, d[3] = c ? c[0] : 0;
        } else {
          const uint8_t* c = s + static_cast<size_t>(x) * (bits / 8);
          d[0] = bits == 32 && useAlpha ? c[3] : 255;
          d[1] = c[2], d[2] = c[1], d[3] = c[0];
        }
      }
    }
  }
  *world = w;
  return 0;
}
TV_CATCH(PIN_PackageNumber)
