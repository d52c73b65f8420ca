// The locked pixels of a 32-bit World for one scope. Compiled into the engine
// and into the format modules (which reach the World's operations through
// the engine's table).
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

}  // namespace tv::pin
