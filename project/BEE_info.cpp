// The item information record handed to the host.
#include <cstring>

#include "BEE_internal.h"

using namespace tv;
using namespace tv::bee;

static_assert(offsetof(BEE_CompSettings, duration) == 32 && offsetof(BEE_CompSettings, width) == 48 &&
              offsetof(BEE_CompSettings, frameRate) == 52 && offsetof(BEE_CompSettings, pixelAspect) == 56 &&
              offsetof(BEE_CompSettings, dsfH) == 64 && sizeof(BEE_CompSettings) == 68);
static_assert(offsetof(BEE_ItemInfo, name) == 2 && offsetof(BEE_ItemInfo, kindName) == 34 &&
              offsetof(BEE_ItemInfo, width) == 66 && offsetof(BEE_ItemInfo, duration) == 72 &&
              offsetof(BEE_ItemInfo, userCount) == 80 && offsetof(BEE_ItemInfo, flags) == 84 &&
              offsetof(BEE_ItemInfo, frameRate) == 92 && offsetof(BEE_ItemInfo, depth) == 112 &&
              offsetof(BEE_ItemInfo, fieldOrder) == 144 && offsetof(BEE_ItemInfo, text) == 148 &&
              offsetof(BEE_ItemInfo, pixelAspect) == 276 && offsetof(BEE_ItemInfo, dsfH) == 284 &&
              offsetof(BEE_ItemInfo, dsfWidth) == 288 && offsetof(BEE_ItemInfo, dsfHeight) == 290 &&
              sizeof(BEE_ItemInfo) == 292);
static_assert(offsetof(BEE_LayerInfo, sourceKind) == 4 && offsetof(BEE_LayerInfo, quality) == 6 &&
              offsetof(BEE_LayerInfo, stretch) == 8 && offsetof(BEE_LayerInfo, name) == 16 &&
              offsetof(BEE_LayerInfo, sourceName) == 48 && sizeof(BEE_LayerInfo) == 80);
static_assert(offsetof(BEE_Prefs, undoLevels) == 2 && offsetof(BEE_Prefs, flag5) == 5 &&
              offsetof(BEE_Prefs, value8) == 8 && offsetof(BEE_Prefs, shutter) == 20 &&
              offsetof(BEE_Prefs, value28) == 28 && offsetof(BEE_Prefs, bytes40) == 40 &&
              offsetof(BEE_Prefs, byte46) == 46 && sizeof(BEE_Prefs) == 48);

ErrorCode BEE_GetItemInfo(BEE_Item item, BEE_ItemInfo* info) try {
  if (info) std::memset(info, 0, sizeof *info);
  if (ErrorCode err = CheckItem(item)) return err;
  if (!info) return kReport.BadParam(kSiteArgument, {"BEE_GetItemInfo"});
  const BEE_ItemRec& r = R(item);
  info->kind = r.kind;
  BEE_GetItemName(item, info->name);
  if (r.kind != BEE_KindRenderItem) {
    int32_t w = 0, h = 0;
    if (ErrorCode err = BEE_GetItemDimensions(item, &w, &h)) return err;
    info->width = static_cast<uint16_t>(w);
    info->height = static_cast<uint16_t>(h);
    if (ErrorCode err = BEE_GetItemDuration(item, &info->duration, nullptr)) return err;
  }
  if (r.kind == BEE_KindFootage && r.footage) {
    const auto* d = reinterpret_cast<const BEE_FootageDesc*>(*r.footage);
    CopyName(info->kindName, NameOf(d->formatName));
    info->frameRate = d->frameRate;
    info->depth = d->depth;
    int32_t label = 0;
    BEE_FieldLabelConversion(d->fieldSetting, d->fieldSecond, &label);
    info->fieldOrder = static_cast<uint32_t>(label);
    fmt::CopyTo(std::span<char>(info->text, sizeof info->text), std::string_view(d->text, strnlen(d->text, 128)));
  } else {
    BEE_GetTypeName(r.kind, info->kindName);
  }
  info->userCount = static_cast<uint32_t>(CountUsers(item));
  info->flags = r.flags;
  if (info->duration.value == 0) info->flags |= BEE_ItemStill;
  BEE_GetItemHSF(item, &info->pixelAspect);
  if (r.kind == BEE_KindComp) {
    info->frameRate = r.frameRate;
    info->depth = 32;
    info->dsfH = r.dsfH;
    info->dsfV = r.dsfV;
    int32_t w = 0, h = 0;
    BEE_GetCompDimensionsDSF(item, &w, &h, nullptr);
    info->dsfWidth = static_cast<uint16_t>(w);
    info->dsfHeight = static_cast<uint16_t>(h);
  }
  return 0;
} TV_CATCH(BEE_PackageNumber)
