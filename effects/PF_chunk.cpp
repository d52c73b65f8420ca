// Effect-owned memory: chunks are relocatable blocks of the memory manager
// that an effect allocates, locks to reach and disposes of. A chunk handed
// back by an effect is looked up among the live ones before it is touched,
// so a stale or made-up value is refused instead of being read.
#include <mutex>
#include <unordered_map>

#include "Memory.h"
#include "PF_internal.h"

using namespace tv;
using namespace tv::pf;

namespace {

constexpr int32_t kRtNewChunk = 61, kRtDisposeChunk = 62, kRtLockChunk = 63, kRtUnlockChunk = 64,
                  kRtChunkSize = 65;

struct ChunkState {
  int32_t size;
  int32_t locks;
};

struct Chunks {
  std::mutex lock;
  std::unordered_map<Handle, ChunkState> live;
};
Chunks& Live() {
  static Chunks c;
  return c;
}

}  // namespace

ErrorCode PF_NewChunk(PF_EffectRef, int32_t size, PF_Chunk* chunk) {
  if (chunk) *chunk = nullptr;
  if (!chunk || size < 0 || size > PF_MaxChunkBytes) return BadParam(kRtNewChunk, "chunk size");
  // A block of at least one byte, so an empty chunk still has an address.
  Handle h = NewHandleClear(size > 0 ? size : 1);
  if (!h) return kReport.OutOfMemory(kSiteHandle, kStrHandleData, static_cast<uint64_t>(size));
  Chunks& c = Live();
  std::lock_guard guard(c.lock);
  c.live.emplace(h, ChunkState{size, 0});
  *chunk = h;
  return 0;
}

ErrorCode PF_DisposeChunk(PF_EffectRef, PF_Chunk chunk) {
  Chunks& c = Live();
  std::unique_lock guard(c.lock);
  auto it = c.live.find(chunk);
  if (it == c.live.end()) {
    guard.unlock();
    return BadParam(kRtDisposeChunk, "not a chunk");
  }
  c.live.erase(it);
  guard.unlock();
  DisposeHandle(chunk);
  return 0;
}

ErrorCode PF_LockChunk(PF_EffectRef, PF_Chunk chunk, void** data) {
  if (data) *data = nullptr;
  Chunks& c = Live();
  std::unique_lock guard(c.lock);
  auto it = c.live.find(chunk);
  if (it == c.live.end() || !data || it->second.locks == INT32_MAX) {
    guard.unlock();
    return BadParam(kRtLockChunk, data ? "not a chunk" : "no data pointer");
  }
  if (it->second.locks++ == 0) HLock(chunk);
  if (it->second.size > 0) *data = *chunk;
  return 0;
}

ErrorCode PF_UnlockChunk(PF_EffectRef, PF_Chunk chunk) {
  Chunks& c = Live();
  std::unique_lock guard(c.lock);
  auto it = c.live.find(chunk);
  if (it == c.live.end() || it->second.locks == 0) {
    guard.unlock();
    return BadParam(kRtUnlockChunk, it == c.live.end() ? "not a chunk" : "chunk not locked");
  }
  if (--it->second.locks == 0) HUnlock(chunk);
  return 0;
}

ErrorCode PF_ChunkDataSize(PF_EffectRef, PF_Chunk chunk, int32_t* size) {
  if (size) *size = 0;
  Chunks& c = Live();
  std::unique_lock guard(c.lock);
  auto it = c.live.find(chunk);
  if (it == c.live.end() || !size) {
    guard.unlock();
    return BadParam(kRtChunkSize, size ? "not a chunk" : "no size pointer");
  }
  *size = it->second.size;
  return 0;
}

int32_t PFp_LiveChunkCount(void) {
  Chunks& c = Live();
  std::lock_guard guard(c.lock);
  return static_cast<int32_t>(c.live.size());
}
