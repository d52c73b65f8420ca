// The suite system's own objects: memory blocks with their headers, the
// adapters of older suite plug-ins, cache flushers, the string pool and the
// list of suite plug-in files found.
#include "PLUG_internal.h"

namespace tv::plug {

ErrorCode Bramblet(uint32_t site) { return kReport.Fail(site, PLUG_ErrBramblet, kTextBrambletFailure); }

SuiteRec* FindSuite(const char* name, int32_t major, size_t* at) {
  const size_t n = ArrayCount<SuiteRec>(G().suites);
  for (size_t i = 0; i < n; ++i) {
    SuiteRec& s = ArrayItems<SuiteRec>(G().suites)[i];
    if (s.major == major && std::strcmp(s.name, name) == 0) {
      if (at) *at = i;
      return &s;
    }
  }
  return nullptr;
}

namespace {

BlockHead* HeadOf(void* block) {
  if (!block) return nullptr;
  auto* h = reinterpret_cast<BlockHead*>(static_cast<char*>(block) - sizeof(BlockHead));
  // Only blocks on the live list are ours: a foreign pointer is never
  // written through, and a freed one is no longer on the list.
  for (BlockHead* b = G().firstBlock; b; b = b->next)
    if (b == h) return h->magic == kBlockMagic ? h : nullptr;
  return nullptr;
}

void Unlink(BlockHead* h) {
  Globals& g = G();
  (h->prev ? h->prev->next : g.firstBlock) = h->next;
  (h->next ? h->next->prev : g.lastBlock) = h->prev;
  --g.blockCount;
  g.blockBytes -= h->size;
  h->magic = 0;
}

ErrorCode NotABlock() { return kReport.Damaged(kSiteSuite, {"suite block"}); }

void FreePtrArray(Handle& h) {
  if (!h) return;
  for (size_t i = 0; i < ArrayCount<Ptr>(h); ++i) DisposePtr(ArrayItems<Ptr>(h)[i]);
  DisposeHandle(h);
  h = nullptr;
}

}  // namespace

ErrorCode AllocateBlock(uint32_t size, void** block) {
  if (!block) return kReport.BadParam(kSiteSuite, {"allocateBlock"});
  *block = nullptr;
  auto* h = reinterpret_cast<BlockHead*>(NewPtr(static_cast<Size>(sizeof(BlockHead) + size)));
  if (!h) return kReport.OutOfMemory(kSiteSuite, "suite block", size);
  Globals& g = G();
  *h = BlockHead{kBlockMagic, size, g.lastBlock, nullptr, 0};
  (g.lastBlock ? g.lastBlock->next : g.firstBlock) = h;
  g.lastBlock = h;
  ++g.blockCount;
  g.blockBytes += size;
  *block = h + 1;
  return 0;
}

ErrorCode FreeBlock(void* block) {
  if (!block) return 0;
  BlockHead* h = HeadOf(block);
  if (!h) return NotABlock();
  Unlink(h);
  DisposePtr(reinterpret_cast<Ptr>(h));
  return 0;
}

ErrorCode ReallocateBlock(void* block, uint32_t size, void** moved) {
  if (!moved) return kReport.BadParam(kSiteSuite, {"reallocateBlock"});
  *moved = nullptr;
  BlockHead* old = block ? HeadOf(block) : nullptr;
  if (block && !old) return NotABlock();
  void* fresh = nullptr;
  if (ErrorCode err = AllocateBlock(size, &fresh)) return err;  // the old block stays as it was
  if (old) {
    std::memcpy(fresh, block, std::min(old->size, size));
    FreeBlock(block);
  }
  *moved = fresh;
  return 0;
}

ErrorCode BlockSize(void* block, uint32_t* size) {
  if (!size) return kReport.BadParam(kSiteSuite, {"getBlockSize"});
  *size = 0;
  BlockHead* h = HeadOf(block);
  if (!h) return NotABlock();
  *size = h->size;
  return 0;
}

ErrorCode CheckBlock(void* block) { return HeadOf(block) ? 0 : NotABlock(); }

ErrorCode NthBlock(int32_t n, void** block, uint32_t* size) {
  if (!block || !size) return kReport.BadParam(kSiteSuite, {"getNthBlock"});
  *block = nullptr;
  *size = 0;
  BlockHead* h = G().firstBlock;
  for (int32_t i = 0; h && i < n; ++i) h = h->next;
  if (n < 0 || !h) return Bramblet(kSiteSuite);
  *block = h + 1;
  *size = h->size;
  return 0;
}

ErrorCode AddAdapter(const char* name, int32_t version, PLUG_AdapterProc proc) {
  if (ErrorCode err = CheckGlobals(kSiteSuite)) return err;
  if (!name || !proc || std::strlen(name) > PLUG_MaxSuiteName) return kReport.BadParam(kSiteSuite, {"addAdapter"});
  for (size_t i = 0; i < ArrayCount<AdapterRec>(G().adapters); ++i)
    if (std::strcmp(ArrayItems<AdapterRec>(G().adapters)[i].name, name) == 0) return Bramblet(kSiteSuite);
  AdapterRec a{};
  std::memcpy(a.name, name, std::strlen(name));
  a.version = version;
  a.proc = proc;
  if (!ArrayInsert(G().adapters, ArrayCount<AdapterRec>(G().adapters), a))
    return kReport.OutOfMemory(kSiteSuite, "adapter", sizeof a);
  return 0;
}

ErrorCode RemoveAdapter(const char* name) {
  if (!name) return kReport.BadParam(kSiteSuite, {"removeAdapter"});
  for (size_t i = 0; i < ArrayCount<AdapterRec>(G().adapters); ++i)
    if (std::strcmp(ArrayItems<AdapterRec>(G().adapters)[i].name, name) == 0) {
      ArrayErase<AdapterRec>(G().adapters, i);
      return 0;
    }
  return Bramblet(kSiteSuite);
}

ErrorCode FindAdapter(int32_t version, PLUG_AdapterProc* proc) {
  if (!proc) return kReport.BadParam(kSiteSuite, {"findAdapter"});
  *proc = nullptr;
  for (size_t i = 0; i < ArrayCount<AdapterRec>(G().adapters); ++i)
    if (ArrayItems<AdapterRec>(G().adapters)[i].version == version) {
      *proc = ArrayItems<AdapterRec>(G().adapters)[i].proc;
      return 0;
    }
  return Bramblet(kSiteSuite);
}

ErrorCode CountAdapters(int32_t* count) {
  if (!count) return kReport.BadParam(kSiteSuite, {"countAdapters"});
  *count = static_cast<int32_t>(ArrayCount<AdapterRec>(G().adapters));
  return 0;
}

ErrorCode NthAdapter(int32_t n, char name[PLUG_MaxSuiteName + 1], int32_t* version) {
  if (!name || !version) return kReport.BadParam(kSiteSuite, {"getNthAdapter"});
  name[0] = 0;
  *version = 0;
  if (n < 0 || static_cast<size_t>(n) >= ArrayCount<AdapterRec>(G().adapters)) return Bramblet(kSiteSuite);
  const AdapterRec& a = ArrayItems<AdapterRec>(G().adapters)[n];
  std::memcpy(name, a.name, sizeof a.name);
  *version = a.version;
  return 0;
}

ErrorCode AddFlusher(PLUG_FlushProc proc, void* refcon) {
  if (!proc) return kReport.BadParam(kSiteSuite, {"addFlusher"});
  if (!ArrayInsert(G().flushers, ArrayCount<FlusherRec>(G().flushers), FlusherRec{proc, refcon}))
    return kReport.OutOfMemory(kSiteSuite, "cache flusher", sizeof(FlusherRec));
  return 0;
}

ErrorCode RemoveFlusher(PLUG_FlushProc proc, void* refcon) {
  for (size_t i = 0; i < ArrayCount<FlusherRec>(G().flushers); ++i) {
    const FlusherRec& f = ArrayItems<FlusherRec>(G().flushers)[i];
    if (f.proc == proc && f.refcon == refcon) {
      ArrayErase<FlusherRec>(G().flushers, i);
      return 0;
    }
  }
  return Bramblet(kSiteSuite);
}

ErrorCode FlushCaches(int64_t* freed) {
  if (!freed) return kReport.BadParam(kSiteSuite, {"flushCaches"});
  *freed = 0;
  // A flusher may remove itself: the list is read by index each time.
  for (size_t i = 0; i < ArrayCount<FlusherRec>(G().flushers); ++i) {
    const FlusherRec f = ArrayItems<FlusherRec>(G().flushers)[i];
    const int64_t n = f.proc(f.refcon);
    if (n > 0) *freed += n;
  }
  PurgeMem(0x7FFFFFFF);
  return 0;
}

ErrorCode PoolString(const char* text, const char** pooled) {
  if (!text || !pooled) return kReport.BadParam(kSiteSuite, {"addString"});
  *pooled = nullptr;
  for (size_t i = 0; i < ArrayCount<Ptr>(G().strings); ++i)
    if (std::strcmp(ArrayItems<Ptr>(G().strings)[i], text) == 0) {
      *pooled = ArrayItems<Ptr>(G().strings)[i];
      return 0;
    }
  const size_t n = std::strlen(text) + 1;
  Ptr copy = NewPtr(static_cast<Size>(n));
  if (!copy || !ArrayInsert(G().strings, ArrayCount<Ptr>(G().strings), copy)) {
    if (copy) DisposePtr(copy);
    return kReport.OutOfMemory(kSiteSuite, "string pool", n);
  }
  std::memcpy(copy, text, n);
  *pooled = copy;
  return 0;
}

ErrorCode FindString(const char* text, const char** pooled) {
  if (!text || !pooled) return kReport.BadParam(kSiteSuite, {"findString"});
  *pooled = nullptr;
  for (size_t i = 0; i < ArrayCount<Ptr>(G().strings); ++i)
    if (std::strcmp(ArrayItems<Ptr>(G().strings)[i], text) == 0) {
      *pooled = ArrayItems<Ptr>(G().strings)[i];
      return 0;
    }
  return Bramblet(kSiteSuite);
}

ErrorCode CountStrings(int32_t* count) {
  if (!count) return kReport.BadParam(kSiteSuite, {"countStrings"});
  *count = static_cast<int32_t>(ArrayCount<Ptr>(G().strings));
  return 0;
}

ErrorCode RememberFile(const char* path) {
  const size_t n = std::strlen(path) + 1;
  Ptr copy = NewPtr(static_cast<Size>(n));
  if (!copy || !ArrayInsert(G().files, ArrayCount<Ptr>(G().files), copy)) {
    if (copy) DisposePtr(copy);
    return kReport.OutOfMemory(kSiteSuite, "file list", n);
  }
  std::memcpy(copy, path, n);
  return 0;
}

void ForgetFiles() {
  FreePtrArray(G().files);
  G().files = NewHandle(0);
}

ErrorCode CountFiles(int32_t* count) {
  if (!count) return kReport.BadParam(kSiteSuite, {"countFiles"});
  *count = static_cast<int32_t>(ArrayCount<Ptr>(G().files));
  return 0;
}

ErrorCode NthFile(int32_t n, char* path, int32_t room) {
  if (!path || room <= 0) return kReport.BadParam(kSiteSuite, {"getNthFile"});
  path[0] = 0;
  if (n < 0 || static_cast<size_t>(n) >= ArrayCount<Ptr>(G().files)) return Bramblet(kSiteSuite);
  const char* p = ArrayItems<Ptr>(G().files)[n];
  if (std::strlen(p) >= static_cast<size_t>(room)) return kReport.BadParam(kSiteSuite, {"getNthFile (room)"});
  std::memcpy(path, p, std::strlen(p) + 1);
  return 0;
}

ErrorCode InstallSuiteObjects() {
  Globals& g = G();
  g.adapters = NewHandle(0);
  g.flushers = NewHandle(0);
  g.strings = NewHandle(0);
  g.files = NewHandle(0);
  if (!g.adapters || !g.flushers || !g.strings || !g.files)
    return kReport.OutOfMemory(kSiteSuite, "suite list", sizeof(AdapterRec));
  return 0;
}

void DisposeSuiteObjects() {
  Globals& g = G();
  if (g.adapters) DisposeHandle(g.adapters);
  if (g.flushers) DisposeHandle(g.flushers);
  g.adapters = g.flushers = nullptr;
  FreePtrArray(g.strings);
  FreePtrArray(g.files);
  // Blocks the plug-ins did not free go with the suite system.
  while (BlockHead* h = g.firstBlock) {
    Unlink(h);
    DisposePtr(reinterpret_cast<Ptr>(h));
  }
}

}  // namespace tv::plug
