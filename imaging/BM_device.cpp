// Screen devices: one World per device of the platform's device list, the
// device inquiries (by index, best fit for a depth and a rectangle, device
// capabilities) and the colour tables that devices carry.
#include <algorithm>
#include <cstdlib>

#include "BM_internal.h"
#include "ColourTable.h"

using namespace tv;
using namespace tv::bm;

namespace tv::bm {

bool ResetDeviceTable(plat::Device& d, int32_t depth) {
  Handle table = nullptr;
  if (depth <= 8) {
    table = platform::NewStandardColourTable(depth);
    if (!table) return false;
  }
  DisposeDeviceTable(d);
  d.clut = table;
  return true;
}

void DisposeDeviceTable(plat::Device& d) {
  platform::DisposeColourTable(d.clut);
  d.clut = nullptr;
}

// The platform's device list starts with the main device.
namespace {
const plat::Device* MainDevice() { return plat::ScreenAt(0); }
}  // namespace

ErrorCode MakeDeviceWorlds() {
  if (G().colour) {
    G().table8 = platform::NewStandardColourTable(8);
    if (!G().table8)
      return kReport.OutOfMemory(kSiteBirth, kStrLutMemory,
                                 sizeof(platform::ColourTableHeader) + 256 * sizeof(platform::ColourSpec));
  }
  // Without colour graphics only the main screen has a World.
  const int32_t count = std::min(plat::ScreenCount(), G().colour ? kDeviceSlots : 1);
  for (int32_t i = 0; i < count; ++i) {
    BM_World w = nullptr;
    if (ErrorCode err = BM_NewWorld(plat::ScreenAt(i), BM_Flag_ScreenDevice, nullptr, 0, 0, nullptr, &w))
      return err;
    G().devices[i] = w;
  }
  return 0;
}

void DisposeDeviceWorlds() {
  for (BM_World& w : G().devices) {
    if (w) BM_DisposeWorld(w);
    w = nullptr;
  }
  platform::DisposeColourTable(G().table8);
  G().table8 = nullptr;
}

}  // namespace tv::bm

namespace {

int32_t Width(const Rect& r) { return int32_t{r.right} - r.left; }
int32_t Height(const Rect& r) { return int32_t{r.bottom} - r.top; }

bool Contains(const Rect& r, int32_t h, int32_t v) {
  return h >= r.left && h < r.right && v >= r.top && v < r.bottom;
}

// The occupied slot with the largest key (ties: the later slot), or null.
template <class Key>
BM_World Largest(Key key) {
  BM_World chosen = nullptr;
  int64_t best = INT64_MIN;
  for (BM_World w : G().devices) {
    if (!w) continue;
    const int64_t k = key(*Rec(w));
    if (k >= best) {
      best = k;
      chosen = w;
    }
  }
  return chosen;
}

}  // namespace

ErrorCode BM_GetIndDevice(int32_t index, BM_World* world) {
  if (world) *world = nullptr;
  if (ErrorCode err = CheckBorn(kSiteDeviceQuery)) return err;
  if (!world) return kReport.BadParam(kSiteDeviceQuery, {"BM_GetIndDevice"});
  if (!G().colour && index < 0) index = 0;
  if (index >= 0 && index < kDeviceSlots) {
    *world = G().devices[index];
    return 0;
  }
  switch (index) {
    case -3:
      for (BM_World w : G().devices)
        if (w && MainDevice() && Rec(w)->device == MainDevice()) {
          *world = w;
          return 0;
        }
      return kReport.Fail(kSiteDeviceQuery, kErrDamaged, kStrNoMainDevice);
    case -2:
      *world = Largest([](const WorldRec& r) { return int64_t{r.depth}; });
      return 0;
    case -1:
      *world = Largest([](const WorldRec& r) { return int64_t{r.width} * r.height; });
      return 0;
    default:
      return 0;
  }
}

ErrorCode BM_GetBestDevice(int32_t depth, Boolean32 mustMatch, const Rect* rect, Boolean32 mustFit,
                           BM_World* world) {
  if (world) *world = nullptr;
  if (ErrorCode err = CheckBorn(kSiteDeviceQuery)) return err;
  if (!world || depth < 0 || depth > 32) return kReport.BadParam(kSiteDeviceQuery, {"BM_GetBestDevice"});
  const int32_t rw = rect ? Width(*rect) : 0;
  const int32_t rh = rect ? Height(*rect) : 0;
  // Any qualifying device is a candidate, however large its score: a rectangle
  // far larger than every device still gets the closest one.
  int64_t best = INT64_MAX;
  for (BM_World w : G().devices) {
    if (!w) continue;
    const WorldRec& r = *Rec(w);
    const int32_t dw = r.width, dh = r.height;
    // "Must match" needs a depth to match.
    if (mustMatch && depth != 0 && r.depth != depth) continue;
    if (mustFit && rect && (dw < rw || dh < rh)) continue;
    int64_t score = 0;
    if (depth != 0 && depth != r.depth) score += depth - r.depth + 32;
    if (rect) {
      if (rw != dw) score += 1;
      if (dw < rw) score += 1 + (rw - dw) / 8;
      if (rh != dh) score += 1;
      if (dh < rh) score += 1 + (rh - dh) / 8;
    }
    score *= 2;
    const int32_t h = rect ? rect->left : 0, v = rect ? rect->top : 0;
    if (!Contains(r.bounds, h, v)) score += 1;
    if (score <= best) {
      best = score;
      *world = w;
    }
  }
  return 0;
}

ErrorCode BM_GetDeviceCaps(BM_World world, int32_t* caps) {
  if (caps) *caps = -1;
  if (ErrorCode err = CheckWorld(world, kSiteDeviceQuery, "BM_GetDeviceCaps")) return err;
  if (!caps) return kReport.BadParam(kSiteDeviceQuery, {"BM_GetDeviceCaps"});
  const int32_t depth = Rec(world)->depth;
  switch (depth) {
    case 1:
      *caps = BM_Caps_Mono;
      return 0;
    case 2:
    case 4:
    case 8:
      *caps = BM_Caps_Indexed;
      return 0;
    case 24:
    case 32:
      *caps = BM_Caps_Direct;
      return 0;
    default:
      return kReport.Fail(kSiteDeviceQuery, 1, kStrDeviceCaps, {depth});
  }
}
