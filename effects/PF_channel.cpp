// Channel copies between worlds, and splitting a world into four one-byte
// planes and joining them back.
#include "PF_internal.h"

using namespace tv;
using namespace tv::pf;

namespace {

// The byte of logical channel c (alpha, red, green, blue) in a pixel of the order.
int32_t ByteOf(int32_t channel, int32_t order) { return order == BM_Order_BGRA ? 3 - channel : channel; }

bool SameSize(const PFWorld& a, const PFWorld& b) { return a.width == b.width && a.height == b.height; }

ErrorCode CheckPlanes(int32_t routine, const PF_Planes* planes, const PFWorld& w) {
  if (!planes) return BadParam(routine, "null planes");
  for (int c = 0; c < 4; ++c)
    if (planes->plane[c] && planes->rowBytes[c] < w.width) return BadParam(routine, "plane rows too short");
  return 0;
}

}  // namespace

ErrorCode PF_ChannelCopy(void* /*ref*/, const PFWorld* src, int32_t srcChannel, int32_t dstChannel, PFWorld* dst) {
  if (!ValidWorld(src) || !ValidWorld(dst)) return BadParam(PF_Routine_ChannelCopy, "bad world");
  if (!SameSize(*src, *dst)) return BadParam(PF_Routine_ChannelCopy, "worlds of different sizes");
  if (srcChannel < 0 || srcChannel > 3 || dstChannel < 0 || dstChannel > 3)
    return BadParam(PF_Routine_ChannelCopy, "bad channel");
  const int32_t order = ChannelOrder(*src);
  if (order != ChannelOrder(*dst))
    return tv::pf::kReport.Message(kSiteCopy, kSevError, PF_ErrBadParam, tv::pf::kReport.Text(tv::pf::kStrChannels));
  const int32_t from = ByteOf(srcChannel, order), to = ByteOf(dstChannel, order);
  // The same world may give and take: each byte is read before it is written.
  for (int32_t y = 0; y < src->height; ++y) {
    const uint8_t* in = Row(*src, y) + from;
    uint8_t* out = Row(*dst, y) + to;
    for (int32_t x = 0; x < src->width; ++x) out[4 * x] = in[4 * x];
  }
  return 0;
}

ErrorCode PF_ExtractPlanes(void* /*ref*/, const PFWorld* src, const PF_Planes* planes) {
  if (!ValidWorld(src)) return BadParam(PF_Routine_ExtractPlanes, "bad world");
  if (ErrorCode err = CheckPlanes(PF_Routine_ExtractPlanes, planes, *src)) return err;
  const int32_t order = ChannelOrder(*src);
  for (int c = 0; c < 4; ++c) {
    uint8_t* plane = planes->plane[c];
    if (!plane) continue;
    const int32_t b = ByteOf(c, order);
    for (int32_t y = 0; y < src->height; ++y) {
      const uint8_t* in = Row(*src, y) + b;
      uint8_t* out = plane + static_cast<ptrdiff_t>(y) * planes->rowBytes[c];
      for (int32_t x = 0; x < src->width; ++x) out[x] = in[4 * x];
    }
  }
  return 0;
}

ErrorCode PF_InsertPlanes(void* /*ref*/, const PF_Planes* planes, PFWorld* dst) {
  if (!ValidWorld(dst)) return BadParam(PF_Routine_InsertPlanes, "bad world");
  if (ErrorCode err = CheckPlanes(PF_Routine_InsertPlanes, planes, *dst)) return err;
  const int32_t order = ChannelOrder(*dst);
  for (int c = 0; c < 4; ++c) {
    const uint8_t* plane = planes->plane[c];
    if (!plane) continue;
    const int32_t b = ByteOf(c, order);
    for (int32_t y = 0; y < dst->height; ++y) {
      const uint8_t* in = plane + static_cast<ptrdiff_t>(y) * planes->rowBytes[c];
      uint8_t* out = Row(*dst, y) + b;
      for (int32_t x = 0; x < dst->width; ++x) out[4 * x] = in[x];
    }
  }
  return 0;
}
