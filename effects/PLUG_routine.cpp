// Routine descriptors: registration from a file's property list or from the
// host, loading code on demand (dlopen by absolute path), releasing it into
// the cache of recently used code, and unloading.
#include <dlfcn.h>

#include <cstdio>

#include "PLUG_internal.h"

namespace tv::plug {
namespace {

constexpr FourCC kKeyKind = PLUG_FOURCC('k', 'i', 'n', 'd');
constexpr FourCC kKeyFlags = PLUG_FOURCC('t', 'v', 'F', 'L');
constexpr FourCC kKeyCode = PLUG_FOURCC('p', 'w', 'p', 'c');
constexpr uint32_t kKeepLoaded = 0x8;  // 'tvFL' bit 3
constexpr size_t kSymbolAt = 24;       // the entry name's place in 'pwpc'

ErrorCode Damaged(uint32_t site) {
  return kReport.Fail(site, kErrDamaged, kTextDamagedRD, {kReport.Text(kTextDamaged)});
}

// Reads a u32 property of a checked list (0 when absent or shorter).
uint32_t PropU32(Handle pipl, FourCC key) {
  if (!pipl) return 0;
  HandleLock<uint8_t> lock(pipl);
  std::span<const uint8_t> prop;
  if (!FindProp({lock.get(), static_cast<size_t>(GetHandleSize(pipl))}, key, 0, &prop) || prop.size() < 4)
    return 0;
  return LoadLE32(prop.data());
}

// The entry symbol: the name in 'pwpc', else ENTRYPOINT<index>.
void EntryName(const RoutineRec& r, char* name, size_t room) {
  HandleLock<uint8_t> lock(r.pipl);
  std::span<const uint8_t> prop;
  if (FindProp({lock.get(), static_cast<size_t>(GetHandleSize(r.pipl))}, kKeyCode, 0, &prop)) {
    CopyPString(prop, kSymbolAt, name, room);
    if (name[0]) return;
  }
  std::snprintf(name, room, "ENTRYPOINT%ld", static_cast<long>(r.index));
}

ErrorCode LoadLibrary(RoutineRec& r) {
  char path[FILE_MaxPath] = {};
  if (ErrorCode err = FILE_InqName(r.file, FILE_NameFullPath, path, sizeof path)) return err;
  char symbol[256] = {};
  EntryName(r, symbol, sizeof symbol);
  dlerror();
  void* lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    const char* why = dlerror();
    return kReport.Platform(kSitePrep, kSevError, PLUG_ErrNotDLL, kTextLoading, {why ? why : path});
  }
  void* entry = dlsym(lib, symbol);
  if (!entry) {
    dlclose(lib);
    return kReport.Platform(kSitePrep, kSevError, PLUG_ErrNoSymbol, kTextNoEntry, {symbol});
  }
  r.entry = entry;
  r.second = lib;
  return 0;
}

void EvictOldest() {
  Globals& g = G();
  const size_t n = ArrayCount<PLUG_Routine>(g.routines);
  RoutineRec* oldest = nullptr;
  for (size_t i = 0; i < n; ++i) {
    auto* r = reinterpret_cast<RoutineRec*>(*ArrayItems<PLUG_Routine>(g.routines)[i]);
    if ((r->flags & PLUG_Flag_Cached) && (!oldest || r->stamp < oldest->stamp)) oldest = r;
  }
  if (oldest) UnloadCode(*oldest);
}

ErrorCode AddRoutine(Handle h) {
  Globals& g = G();
  if (!ArrayInsert(g.routines, ArrayCount<PLUG_Routine>(g.routines), h))
    return kReport.OutOfMemory(kSiteRegister, kTextRoutine, sizeof h);
  return 0;
}

Handle NewRoutine(Handle pipl, FILE_SpecH file, uint16_t flags, uint16_t kind, int32_t index) {
  Handle h = NewHandleClear(sizeof(RoutineRec));
  if (!h) return nullptr;
  auto* r = reinterpret_cast<RoutineRec*>(*h);
  r->magic = r->tailMagic = kRoutineMagic;
  r->pipl = pipl;
  r->file = file;
  r->flags = flags;
  r->kind = kind;
  r->index = index;
  return h;
}

}  // namespace

void UnloadCode(RoutineRec& r) {
  Globals& g = G();
  if (r.flags & PLUG_Flag_Cached) --g.cached;
  if (r.flags & PLUG_Flag_Loaded) --g.loaded;
  if (!(r.flags & PLUG_Flag_Static)) {
    if (r.second) dlclose(r.second);
    r.entry = nullptr;
    r.second = nullptr;
  }
  r.flags &= static_cast<uint16_t>(~(PLUG_Flag_Loaded | PLUG_Flag_Cached));
}

ErrorCode DisposeAllRoutines() {
  Globals& g = G();
  while (const size_t n = ArrayCount<PLUG_Routine>(g.routines)) {
    Handle h = ArrayItems<PLUG_Routine>(g.routines)[n - 1];
    ArrayErase<PLUG_Routine>(g.routines, n - 1);
    auto* r = reinterpret_cast<RoutineRec*>(*h);
    UnloadCode(*r);
    if (r->pipl) DisposeHandle(r->pipl);
    if (r->access) DisposeHandle(r->access);
    if (r->file) FILE_Dispose(r->file);
    r->magic = r->tailMagic = 0;
    DisposeHandle(h);
  }
  return 0;
}

}  // namespace tv::plug

using namespace tv;
using namespace tv::plug;

ErrorCode PLUG_GetRoutineInfo(PLUG_ScanData scan, int32_t index, FourCC* kind, PLUG_PiPL* pipl, int32_t* count) {
  if (kind) *kind = 0;
  if (pipl) *pipl = nullptr;
  if (count) *count = 0;
  if (ErrorCode err = CheckGlobals(kSiteRegister)) return err;
  if (ErrorCode err = CheckScan(scan, kSiteRegister)) return err;
  if (index < 0) return kReport.BadParam(kSiteRegister, {"PLUG_GetRoutineInfo"});
  PLUG_ResFile res = nullptr;
  if (ErrorCode err = PLUG_GetResFileFromScan(scan, &res)) return err;
  HandleLock<uint8_t> lock(res);
  std::span<const uint8_t> map{lock.get(), static_cast<size_t>(GetHandleSize(res))};
  int32_t lists = 0;
  for (uint32_t i = 0, n = MapCount(map); i < n; ++i)
    if (MapEntry(map, i).type == kPiPLType) ++lists;
  if (count) *count = lists;
  std::span<const uint8_t> bytes = FindResource(map, kPiPLType, index, false, 0);
  if (index >= lists) return kReport.Fail(kSiteRegister, kErrResource, kTextPropIndex);
  if (const char* why = CheckPiPLBytes(bytes)) {
    char path[FILE_MaxPath] = {};
    FILE_InqName(scan->file, FILE_NameFullPath, path, sizeof path);
    if (count) *count = 0;
    return kReport.Report(kSitePiPL, kSevWarning, kErrResource, kTextBadPlugin, {path, why});
  }
  std::span<const uint8_t> prop;
  if (kind && FindProp(bytes, kKeyKind, 0, &prop) && prop.size() >= 4) *kind = LoadLE32(prop.data());
  if (pipl && PtrToHand(bytes.data(), pipl, static_cast<Size>(bytes.size())) != 0) {
    *pipl = nullptr;
    if (kind) *kind = 0;
    if (count) *count = 0;
    return kReport.OutOfMemory(kSiteRegister, kTextReadingPiPL, bytes.size());
  }
  return 0;
}

ErrorCode PLUG_RegisterRoutine(PLUG_ScanData scan, int32_t index, PLUG_Routine* routine) {
  if (!routine) return kReport.BadParam(kSiteRegister, {"PLUG_RegisterRoutine"});
  *routine = nullptr;
  PLUG_PiPL pipl = nullptr;
  if (ErrorCode err = PLUG_GetRoutineInfo(scan, index, nullptr, &pipl, nullptr)) return err;
  FILE_SpecH file = nullptr;
  if (ErrorCode err = FILE_Duplicate(scan->file, &file)) {
    DisposeHandle(pipl);
    return err;
  }
  Handle h = NewRoutine(pipl, file, 0, PLUG_Kind_Library, index);
  if (!h) {
    DisposeHandle(pipl);
    FILE_Dispose(file);
    return kReport.OutOfMemory(kSiteRegister, kTextRoutine, sizeof(RoutineRec));
  }
  if (ErrorCode err = AddRoutine(h)) {
    DisposeHandle(pipl);
    FILE_Dispose(file);
    DisposeHandle(h);
    return err;
  }
  *routine = h;
  return 0;
}

ErrorCode PLUG_RegisterStaticRoutine(const void* piplData, int32_t piplSize, void* entry, void* second,
                                     PLUG_Routine* routine) {
  if (!routine) return kReport.BadParam(kSiteRegister, {"PLUG_RegisterStaticRoutine"});
  *routine = nullptr;
  if (ErrorCode err = CheckGlobals(kSiteRegister)) return err;
  if (piplSize < 0 || (piplSize > 0 && !piplData)) return kReport.BadParam(kSiteRegister, {"PLUG_RegisterStaticRoutine"});
  Handle pipl = nullptr;
  if (piplData) {
    if (CheckPiPLBytes({static_cast<const uint8_t*>(piplData), static_cast<size_t>(piplSize)}))
      return kReport.Fail(kSiteRegister, kErrResource, kTextReadingPiPL);
    if (PtrToHand(piplData, &pipl, piplSize) != 0)
      return kReport.OutOfMemory(kSiteRegister, kTextReadingPiPL, static_cast<uint64_t>(piplSize));
  }
  Handle h = NewRoutine(pipl, nullptr, PLUG_Flag_Static, 0, 0);
  if (!h) {
    DisposeHandle(pipl);
    return kReport.OutOfMemory(kSiteRegister, kTextRoutine, sizeof(RoutineRec));
  }
  auto* r = reinterpret_cast<RoutineRec*>(*h);
  r->entry = entry;
  r->second = second;
  if (ErrorCode err = AddRoutine(h)) {
    DisposeHandle(pipl);
    DisposeHandle(h);
    return err;
  }
  *routine = h;
  return 0;
}

ErrorCode PLUG_UnregisterRoutine(PLUG_Routine routine) {
  if (ErrorCode err = CheckGlobals(kSiteUnregister)) return err;
  if (!kRoutineDesc.Intact(routine)) return Damaged(kSiteUnregister);
  auto* r = reinterpret_cast<RoutineRec*>(*routine);
  if (r->flags & PLUG_Flag_Loaded) return kReport.Fail(kSiteUnregister, kErrBadParam, kTextLockedRoutine);
  UnloadCode(*r);
  Globals& g = G();
  const size_t n = ArrayCount<PLUG_Routine>(g.routines);
  for (size_t i = 0; i < n; ++i)
    if (ArrayItems<PLUG_Routine>(g.routines)[i] == routine) {
      ArrayErase<PLUG_Routine>(g.routines, i);
      break;
    }
  if (r->pipl) DisposeHandle(r->pipl);
  if (r->access) DisposeHandle(r->access);
  if (r->file) FILE_Dispose(r->file);
  r->magic = r->tailMagic = 0;
  DisposeHandle(routine);
  return 0;
}

ErrorCode PLUG_GetRoutineCount(int32_t* count) {
  if (!count) return kReport.BadParam(kSiteRoutine, {"PLUG_GetRoutineCount"});
  *count = 0;
  if (ErrorCode err = CheckGlobals(kSiteRoutine)) return err;
  *count = static_cast<int32_t>(ArrayCount<PLUG_Routine>(G().routines));
  return 0;
}

ErrorCode PLUG_GetRoutinePiPL(PLUG_Routine routine, PLUG_PiPL* pipl) {
  if (!pipl) return kReport.BadParam(kSiteRoutine, {"PLUG_GetRoutinePiPL"});
  *pipl = nullptr;
  if (!kRoutineDesc.Intact(routine)) return Damaged(kSiteRoutine);
  *pipl = reinterpret_cast<RoutineRec*>(*routine)->pipl;
  return 0;
}

ErrorCode PLUG_GetRoutineFlags(PLUG_Routine routine, uint32_t* flags) {
  if (!flags) return kReport.BadParam(kSiteRoutine, {"PLUG_GetRoutineFlags"});
  *flags = 0;
  if (!kRoutineDesc.Intact(routine)) return Damaged(kSiteRoutine);
  *flags = reinterpret_cast<RoutineRec*>(*routine)->flags;
  return 0;
}

ErrorCode PLUG_GetRoutineFile(PLUG_Routine routine, FILE_SpecH* file) {
  if (!file) return kReport.BadParam(kSiteRoutine, {"PLUG_GetRoutineFile"});
  *file = nullptr;
  if (!kRoutineDesc.Intact(routine)) return Damaged(kSiteRoutine);
  *file = reinterpret_cast<RoutineRec*>(*routine)->file;
  return 0;
}

ErrorCode PLUG_GetLoadedCounts(int32_t* loaded, int32_t* cached) {
  if (!loaded || !cached) return kReport.BadParam(kSiteRoutine, {"PLUG_GetLoadedCounts"});
  *loaded = *cached = 0;
  if (ErrorCode err = CheckGlobals(kSiteRoutine)) return err;
  *loaded = G().loaded;
  *cached = G().cached;
  return 0;
}

ErrorCode PLUG_PrepRoutine(PLUG_Routine routine, intptr_t /*argument*/, void** entry, int32_t* codeKind,
                           void** second) {
  if (entry) *entry = nullptr;
  if (codeKind) *codeKind = 0;
  if (second) *second = nullptr;
  if (!entry) return kReport.BadParam(kSitePrep, {"PLUG_PrepRoutine"});
  if (ErrorCode err = CheckGlobals(kSitePrep)) return err;
  if (!kRoutineDesc.Intact(routine)) return Damaged(kSitePrep);
  HandleLock<RoutineRec> lock(routine);
  RoutineRec& r = *lock;
  Globals& g = G();
  // Loaded already (pinned by 'tvFL', or prepared by another client): the
  // library is not opened a second time, which would leak its handle.
  if (!(r.flags & PLUG_Flag_Loaded)) {
    if (r.flags & PLUG_Flag_Cached) {
      r.flags &= static_cast<uint16_t>(~PLUG_Flag_Cached);
      --g.cached;
    } else if (!(r.flags & PLUG_Flag_Static)) {
      if (r.kind != PLUG_Kind_Library) return kReport.Fail(kSitePrep, PLUG_ErrUnsupportedKind, kTextUnsupported);
      if (ErrorCode err = LoadLibrary(r)) return err;
    }
    r.flags |= PLUG_Flag_Loaded;
    ++g.loaded;
  }
  *entry = r.entry;
  if (codeKind) *codeKind = r.kind;
  if (second) *second = r.second;
  return 0;
}

ErrorCode PLUG_UnprepRoutine(PLUG_Routine routine) {
  if (ErrorCode err = CheckGlobals(kSiteUnprep)) return err;
  if (!kRoutineDesc.Intact(routine)) return Damaged(kSiteUnprep);
  HandleLock<RoutineRec> lock(routine);
  RoutineRec& r = *lock;
  Globals& g = G();
  if (!(r.flags & PLUG_Flag_Loaded)) return kReport.Fail(kSiteUnprep, PLUG_ErrUnbalancedUnprep, kTextUnbalanced);
  if (r.flags & PLUG_Flag_Static) {
    r.flags &= static_cast<uint16_t>(~PLUG_Flag_Loaded);
    --g.loaded;
    return 0;
  }
  if (PropU32(r.pipl, kKeyFlags) & kKeepLoaded) return 0;
  if (g.maxCached <= 0) {
    UnloadCode(r);
    return 0;
  }
  if (g.cached >= g.maxCached) EvictOldest();
  r.flags = static_cast<uint16_t>((r.flags & ~PLUG_Flag_Loaded) | PLUG_Flag_Cached);
  r.stamp = ++g.clock;
  --g.loaded;
  ++g.cached;
  return 0;
}

ErrorCode PLUG_SetMaxCachedRoutines(int32_t count) {
  if (ErrorCode err = CheckGlobals(kSiteCache)) return err;
  Globals& g = G();
  // A negative maximum caches nothing (as 0 does).
  g.maxCached = count < 0 ? 0 : count;
  while (g.cached > g.maxCached) EvictOldest();
  return 0;
}

ErrorCode PLUG_GetMaxCachedRoutines(int32_t* count) {
  if (!count) return kReport.BadParam(kSiteCache, {"PLUG_GetMaxCachedRoutines"});
  *count = 0;
  if (ErrorCode err = CheckGlobals(kSiteCache)) return err;
  *count = G().maxCached;
  return 0;
}

ErrorCode PLUG_GetResFileFromRD(PLUG_Routine routine, PLUG_ResFile* resFile) {
  if (!resFile) return kReport.BadParam(kSiteRoutine, {"PLUG_GetResFileFromRD"});
  *resFile = nullptr;
  if (!kRoutineDesc.Intact(routine)) return Damaged(kSiteRoutine);
  FILE_SpecH file = reinterpret_cast<RoutineRec*>(*routine)->file;
  if (!file) return kReport.Fail(kSiteRoutine, kErrResource, kTextReadingPiPL);
  return PLUG_ReadResFile(file, resFile);
}
