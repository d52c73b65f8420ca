// The memory manager: relocatable blocks reached through handles (a pointer to
// a master pointer), fixed pointer blocks, zones, purging, the grow-zone
// procedure and the process memory budget. Every package allocates through it.
#pragma once

#include <cstdint>

#include "Types.h"

typedef int64_t Size;
typedef int16_t OSErr;
typedef int8_t SignedByte;
// Called with the number of bytes wanted; returns non-zero when it freed something.
typedef int32_t (*GrowZoneProcPtr)(Size bytesNeeded);

TV_EXPORT Handle NewHandle(Size size);
TV_EXPORT Handle NewHandleClear(Size size);
TV_EXPORT Handle NewHandleSys(Size size);
TV_EXPORT Handle NewEmptyHandle(void);
TV_EXPORT void DisposeHandle(Handle h);
TV_EXPORT Size GetHandleSize(Handle h);
TV_EXPORT void SetHandleSize(Handle h, Size size);
TV_EXPORT void ReallocateHandle(Handle h, Size size);
TV_EXPORT void EmptyHandle(Handle h);
TV_EXPORT void HLock(Handle h);
TV_EXPORT void HLockHi(Handle h);
TV_EXPORT void HUnlock(Handle h);
TV_EXPORT void HPurge(Handle h);
TV_EXPORT void HNoPurge(Handle h);
TV_EXPORT SignedByte HGetState(Handle h);
TV_EXPORT void HSetState(Handle h, SignedByte state);
TV_EXPORT OSErr HandToHand(Handle* h);
TV_EXPORT OSErr PtrToHand(const void* p, Handle* h, Size size);
TV_EXPORT Handle RecoverHandle(Ptr p);
TV_EXPORT Ptr NewPtr(Size size);
TV_EXPORT Ptr NewPtrClear(Size size);
TV_EXPORT void DisposePtr(Ptr p);
TV_EXPORT Size GetPtrSize(Ptr p);
TV_EXPORT void BlockMove(const void* src, void* dst, Size n);
TV_EXPORT OSErr MemError(void);
