// First cut of the handle layer: master pointers over the C allocator.
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "Memory.h"

namespace {
struct Record {
  char* data;
  Size size;
  uint16_t flags;
};
OSErr gMemError = 0;
constexpr uint16_t kLocked = 2;

Record* Rec(Handle h) { return reinterpret_cast<Record*>(h); }
}  // namespace

Handle NewHandle(Size size) {
  gMemError = 0;
  if (size < 0) {
    gMemError = -50;
    return nullptr;
  }
  auto* r = static_cast<Record*>(std::calloc(1, sizeof(Record)));
  if (!r) {
    gMemError = -108;
    return nullptr;
  }
  if (size > 0) {
    r->data = static_cast<char*>(std::calloc(1, static_cast<size_t>(size)));
    if (!r->data) {
      std::free(r);
      gMemError = -108;
      return nullptr;
    }
  }
  r->size = size;
  return reinterpret_cast<Handle>(r);
}
Handle NewHandleClear(Size size) { return NewHandle(size); }
Handle NewHandleSys(Size size) { return NewHandle(size); }
Handle NewEmptyHandle(void) { return NewHandle(0); }
void DisposeHandle(Handle h) {
  gMemError = 0;
  if (!h) {
    gMemError = -109;
    return;
  }
  std::free(Rec(h)->data);
  std::free(Rec(h));
}
Size GetHandleSize(Handle h) { return h ? Rec(h)->size : 0; }
void SetHandleSize(Handle h, Size size) {
  gMemError = 0;
  if (!h) {
    gMemError = -111;
    return;
  }
  Record* r = Rec(h);
  if (size == r->size) return;
  if ((r->flags & kLocked) && size > r->size) {
    gMemError = -108;
    return;
  }
  char* p = static_cast<char*>(std::realloc(r->data, static_cast<size_t>(size ? size : 1)));
  if (!p) {
    gMemError = -108;
    return;
  }
  r->data = p;
  r->size = size;
}
void ReallocateHandle(Handle h, Size size) { SetHandleSize(h, size); }
void EmptyHandle(Handle h) {
  if (!h) return;
  std::free(Rec(h)->data);
  Rec(h)->data = nullptr;
  Rec(h)->size = 0;
}
void HLock(Handle h) { if (h) Rec(h)->flags |= kLocked; }
void HLockHi(Handle h) { HLock(h); }
void HUnlock(Handle h) { if (h) Rec(h)->flags &= static_cast<uint16_t>(~kLocked); }
void HPurge(Handle) {}
void HNoPurge(Handle) {}
SignedByte HGetState(Handle) { return 0; }
void HSetState(Handle, SignedByte) {}
OSErr HandToHand(Handle* h) {
  if (!h || !*h) return -50;
  Handle n = NewHandle(GetHandleSize(*h));
  if (!n) return -108;
  if (GetHandleSize(*h)) std::memcpy(*n, **h, static_cast<size_t>(GetHandleSize(*h)));
  *h = n;
  return 0;
}
OSErr PtrToHand(const void* p, Handle* h, Size size) {
  Handle n = NewHandle(size);
  if (!n) return -108;
  if (size) std::memcpy(*n, p, static_cast<size_t>(size));
  *h = n;
  return 0;
}
Handle RecoverHandle(Ptr) { return nullptr; }
Ptr NewPtr(Size size) { return static_cast<Ptr>(std::calloc(1, static_cast<size_t>(size ? size : 1))); }
Ptr NewPtrClear(Size size) { return NewPtr(size); }
void DisposePtr(Ptr p) { std::free(p); }
Size GetPtrSize(Ptr) { return 0; }
void BlockMove(const void* src, void* dst, Size n) { std::memmove(dst, src, static_cast<size_t>(n)); }
OSErr MemError(void) { return gMemError; }
