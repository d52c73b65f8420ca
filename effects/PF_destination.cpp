// Drawing destinations: a world opened for the platform's drawing routines.
// Destinations nest and close in the reverse order of opening; a record
// that is not the innermost open one is refused without closing anything.
#include <array>
#include <cstring>

#include "BM.h"
#include "PF_internal.h"

using namespace tv;
using namespace tv::pf;

namespace {

constexpr int32_t kRtOpenDestination = 66, kRtCloseDestination = 67;

struct OpenList {
  std::array<PF_Destination*, PF_MaxOpenDestinations> open{};
  int32_t count = 0;
};
thread_local OpenList gOpen;

}  // namespace

ErrorCode PF_OpenDestination(PF_EffectRef ref, PFWorld* world, PF_Destination* dest) {
  if (dest) std::memset(dest, 0, sizeof *dest);
  if (!dest || !world) return BadParam(kRtOpenDestination, "no world or destination");
  if (gOpen.count >= PF_MaxOpenDestinations) return BadParam(kRtOpenDestination, "too many open destinations");
  if (world->width < 1 || world->height < 1 || world->width > 30000 || world->height > 30000)
    return BadParam(kRtOpenDestination, "world size");
  void* port = nullptr;
  void* device = nullptr;
  if (ErrorCode err = PF_GetPlatformRefs(ref, world, &port, &device)) return err;
  dest->magic = PF_DestinationMagic;
  dest->depth = gOpen.count + 1;
  dest->world = world;
  dest->port = port;
  dest->device = device;
  dest->bounds = Rect{0, 0, static_cast<int16_t>(world->height), static_cast<int16_t>(world->width)};
  gOpen.open[static_cast<size_t>(gOpen.count++)] = dest;
  return 0;
}

ErrorCode PF_CloseDestination(PF_EffectRef, PF_Destination* dest) {
  if (!dest || gOpen.count == 0 || gOpen.open[static_cast<size_t>(gOpen.count - 1)] != dest ||
      dest->magic != PF_DestinationMagic || dest->depth != gOpen.count)
    return BadParam(kRtCloseDestination, "not the destination opened last");
  gOpen.open[static_cast<size_t>(--gOpen.count)] = nullptr;
  std::memset(dest, 0, sizeof *dest);
  return 0;
}
