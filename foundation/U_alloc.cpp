// Allocation wrappers on the memory manager: a failure is reported once, in
// one wording, at the caller's location.
#include <algorithm>
#include <cstring>

#include "Memory.h"
#include "U_internal.h"

namespace tv::u {
namespace {

enum AllocSite : uint32_t {
  kSiteGetHandleSize = 23,
  kSiteSwapHandleData = 24,
  kSiteDuplicateHandle = 28,
};

constexpr int32_t kTextResizeBlock = 66;
constexpr int32_t kTextResizeHandle = 68;
constexpr int32_t kTextResizePointer = 69;
constexpr int32_t kTextGetHandleSize = 93;
constexpr int32_t kTextSwapHandleData = 94;

enum class Kind { Ptr, Handle };

void* Allocate(Kind kind, bool clear, int64_t size) {
  if (kind == Kind::Ptr) return clear ? NewPtrClear(size) : NewPtr(size);
  return clear ? NewHandleClear(size) : NewHandle(size);
}

void* Reporting(Kind kind, bool clear, LocationCode location, const char* name, int64_t size) {
  // A negative size is a caller's mistake, not a shortage of memory: it is
  // reported as a bad parameter instead of as an absurd number of kilobytes.
  if (size < 0) {
    Up_ReportVeskErrString(location, kSevError, kErrBadParam, name ? name : "");
    return nullptr;
  }
  void* block = Allocate(kind, clear, size);
  if (!block) Up_ReportOutOfMemory(location, name, static_cast<uint64_t>(size));
  return block;
}

void* Quiet(Kind kind, bool clear, int64_t size) { return size < 0 ? nullptr : Allocate(kind, clear, size); }

ErrorCode BadParam(LocationCode location, int32_t text) {
  return Up_ReportVeskErrString(location, kSevError, kErrBadParam, String(text));
}

}  // namespace
}  // namespace tv::u

using namespace tv;
using namespace tv::u;

Ptr U_AllocatePtr(LocationCode location, const char* name, int64_t size) {
  return static_cast<Ptr>(Reporting(Kind::Ptr, false, location, name, size));
}
Handle U_AllocateHandle(LocationCode location, const char* name, int64_t size) {
  return static_cast<Handle>(Reporting(Kind::Handle, false, location, name, size));
}
Ptr U_AllocatePtrClear(LocationCode location, const char* name, int64_t size) {
  return static_cast<Ptr>(Reporting(Kind::Ptr, true, location, name, size));
}
Handle U_AllocateHandleClear(LocationCode location, const char* name, int64_t size) {
  return static_cast<Handle>(Reporting(Kind::Handle, true, location, name, size));
}
Ptr U_AllocatePtrQuiet(int64_t size) { return static_cast<Ptr>(Quiet(Kind::Ptr, false, size)); }
Handle U_AllocateHandleQuiet(int64_t size) { return static_cast<Handle>(Quiet(Kind::Handle, false, size)); }
Ptr U_AllocatePtrClearQuiet(int64_t size) { return static_cast<Ptr>(Quiet(Kind::Ptr, true, size)); }
Handle U_AllocateHandleClearQuiet(int64_t size) { return static_cast<Handle>(Quiet(Kind::Handle, true, size)); }

ErrorCode U_FreePtr(Ptr p) {
  DisposePtr(p);
  return static_cast<ErrorCode>(MemError());
}

ErrorCode U_FreeHandle(Handle h) {
  DisposeHandle(h);
  return static_cast<ErrorCode>(MemError());
}

ErrorCode U_GetHandleSize(Handle h, int64_t* size) {
  if (size) *size = 0;
  LocationCode location = Location(U_PackageNumber, kSiteGetHandleSize);
  if (!h || !size) return BadParam(location, kTextGetHandleSize);
  Size s = GetHandleSize(h);
  if (OSErr err = MemError()) return Up_ReportSyserrString(location, kSevError, err, String(kTextGetHandleSize));
  *size = s;
  return 0;
}

ErrorCode U_ResizeHandle(LocationCode location, int64_t newSize, const char* name, Handle* h) {
  if (!h || !*h || newSize < 0) return BadParam(location, kTextResizeHandle);
  SetHandleSize(*h, newSize);
  OSErr err = MemError();
  if (err == kSysMemFull) return Up_ReportOutOfMemory(location, name, static_cast<uint64_t>(newSize));
  if (err) return Up_ReportSyserrString(location, kSevFailure, err, String(kTextResizeBlock));
  return 0;
}

ErrorCode U_ResizePtr(LocationCode location, int64_t newSize, const char* name, Ptr* p) {
  if (!p || !*p || newSize < 0) return BadParam(location, kTextResizePointer);
  Ptr fresh = U_AllocatePtr(location, name, newSize);
  if (!fresh) return kErrOutOfMemory;  // reported; the old block is kept
  Size oldSize = GetPtrSize(*p);
  Size keep = std::min<Size>(oldSize > 0 ? oldSize : 0, newSize);
  if (keep > 0) std::memcpy(fresh, *p, static_cast<size_t>(keep));
  DisposePtr(*p);
  *p = fresh;
  return 0;
}

ErrorCode U_SwapHandleData(Handle h1, Handle h2) {
  LocationCode location = Location(U_PackageNumber, kSiteSwapHandleData);
  // Null handles are refused like handles of different sizes.
  if (!h1 || !h2) return BadParam(location, kTextSwapHandleData);
  Size size = GetHandleSize(h1);
  if (size != GetHandleSize(h2)) return BadParam(location, kTextSwapHandleData);
  if (size <= 0 || h1 == h2) return 0;
  if (!*h1 || !*h2) return BadParam(location, kTextSwapHandleData);  // purged blocks
  // Nothing allocates during the exchange, so neither block can move.
  std::swap_ranges(*h1, *h1 + size, *h2);
  return 0;
}

ErrorCode U_DuplicateHandle(Handle h, const char* name, Handle* copy) {
  if (copy) *copy = nullptr;
  LocationCode location = Location(U_PackageNumber, kSiteDuplicateHandle);
  // A null handle has no size to copy: refused with the size text.
  if (!h || !copy) return BadParam(location, kTextGetHandleSize);
  Size size = GetHandleSize(h);
  if (size > 0 && !*h) return BadParam(location, kTextGetHandleSize);
  Handle fresh = U_AllocateHandle(location, name, size);
  if (!fresh) return kErrOutOfMemory;
  if (size > 0) std::memcpy(*fresh, *h, static_cast<size_t>(size));
  *copy = fresh;
  return 0;
}
