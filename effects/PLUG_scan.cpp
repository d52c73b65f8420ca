// Sacks of scan entries, the folder walk and scan records.
#include <sys/stat.h>

#include "PLUG_internal.h"
#include "Scratch.h"

namespace tv::plug {

ErrorCode CheckScan(PLUG_ScanData scan, uint32_t site) {
  if (scan && scan->magic == kScanMagic && scan->tailMagic == kScanMagic) return 0;
  return kReport.Fail(site, kErrDamaged, kTextDamagedSD, {kReport.Text(kTextDamaged)});
}

namespace {

ErrorCode CheckSack(PLUG_Sack sack, uint32_t site) {
  if (kSackDesc.Intact(sack)) return 0;
  return kReport.Fail(site, kErrDamaged, kTextDamagedSack, {kReport.Text(kTextDamaged)});
}


// Releases what the callbacks opened through a scan record.
void ReleaseScan(PLUG_ScanRec& s) {
  if (s.res) DisposeHandle(s.res);
  if (s.pipl) DisposeHandle(s.pipl);
  s.res = nullptr;
  s.pipl = nullptr;
  s.resFailed = false;
}

struct DirId {
  dev_t dev;
  ino_t ino;
};

struct Walk {
  SackRec* sack = nullptr;
  int32_t flags = 0;
  int32_t maxDepth = 0;
  const char* exclude = nullptr;
  PLUG_ProgressFunc progress = nullptr;
  void* refcon = nullptr;
  Boolean32 cancel = 0;
  ErrorCode err = 0;
  ScratchArray<DirId> visited;
};

void Progress(Walk& w, int32_t status, const char* name) {
  if (w.progress) w.progress(w.refcon, status, name, &w.cancel);
}

// Enters each folder once: a symbolic link back up the tree (or to a folder
// walked already) is passed over, so a loop of links ends.
bool FirstVisit(Walk& w, FILE_SpecH dir) {
  char path[FILE_MaxPath] = {};
  struct stat st {};
  if (FILE_InqName(dir, FILE_NameFullPath, path, sizeof path) || ::stat(path, &st) != 0) return false;
  for (const DirId& d : w.visited)
    if (d.dev == st.st_dev && d.ino == st.st_ino) return false;
  return w.visited.Push(DirId{st.st_dev, st.st_ino});
}

void Dispatch(Walk& w, FILE_SpecH file, int32_t depth, const char* name) {
  FourCC type = 0, creator = 0;
  if (FILE_InqFileType(file, &type, &creator)) return;
  PLUG_ScanRec rec{};
  rec.magic = rec.tailMagic = kScanMagic;
  rec.file = file;
  rec.depth = depth;
  rec.progress = w.progress;
  rec.refcon = w.refcon;
  // The entries may not change while a callback runs; work on a copy.
  const size_t n = ArrayCount<ScanEntry>(w.sack->scans);
  ScratchArray<ScanEntry> entries(n);
  if (!entries.ok()) {
    kReport.OutOfMemory(kSiteSearch, kTextRoutine, n * sizeof(ScanEntry));
    return;
  }
  if (n) std::memcpy(entries.data(), ArrayItems<ScanEntry>(w.sack->scans), n * sizeof(ScanEntry));
  for (const ScanEntry& e : entries) {
    if (e.type != static_cast<FourCC>(PLUG_AnyType) && e.type != type) continue;
    Progress(w, PLUG_Status_File, name);
    // A failing callback has reported its failure; the file is done with,
    // the walk goes on (one broken plug-in never stops the others).
    if (e.scan(&rec, 1, e.refcon) || w.cancel) break;
  }
  ReleaseScan(rec);
}

void WalkFolder(Walk& w, FILE_SpecH dir, int32_t depth) {
  if (depth >= w.maxDepth || w.cancel) return;
  if (!FirstVisit(w, dir)) return;
  char dirName[FILE_MaxPath] = {};
  FILE_InqName(dir, FILE_NameOnly, dirName, sizeof dirName);
  int32_t count = 0;
  if (FILE_DirFileCount(dir, &count)) return;  // an unreadable folder, reported by the file layer
  Progress(w, PLUG_Status_Folder, dirName);
  for (int32_t i = 1; i <= count && !w.cancel; ++i) {
    FILE_SpecH ref = nullptr;
    if (FILE_DirInqFileSpec(dir, i, &ref)) continue;
    char name[FILE_MaxPath] = {};
    FILE_InqName(ref, FILE_NameOnly, name, sizeof name);
    bool skip = PLUG_NameExcluded(name, w.exclude);
    if (!skip && !(w.flags & PLUG_Search_NoAliases)) {
      Boolean32 wasAlias = 0;
      skip = FILE_ResolveFinderAlias(ref, &wasAlias) != 0;  // a broken link
    }
    Boolean32 isDir = 0;
    if (!skip) FILE_InqIsDir(ref, &isDir);
    if (skip) {
    } else if (isDir) {
      WalkFolder(w, ref, depth + 1);
      Progress(w, PLUG_Status_Folder, dirName);
    } else {
      Dispatch(w, ref, depth, name);
      if ((i - 1) % 10 == 0) Progress(w, PLUG_Status_Tick, name);
    }
    FILE_Dispose(ref);
  }
}

}  // namespace
}  // namespace tv::plug

using namespace tv;
using namespace tv::plug;

ErrorCode PLUG_NewSack(PLUG_Sack* sack) {
  if (!sack) return kReport.BadParam(kSiteSack, {"PLUG_NewSack"});
  *sack = nullptr;
  if (ErrorCode err = CheckGlobals(kSiteSack)) return err;
  Handle h = NewHandleClear(sizeof(SackRec));
  Handle scans = NewHandle(0), dones = NewHandle(0);
  if (!h || !scans || !dones) {
    DisposeHandle(h);
    DisposeHandle(scans);
    DisposeHandle(dones);
    return kReport.OutOfMemory(kSiteSack, "sack", sizeof(SackRec));
  }
  auto* r = reinterpret_cast<SackRec*>(*h);
  r->magic = r->tailMagic = kSackMagic;
  r->scans = scans;
  r->dones = dones;
  *sack = h;
  return 0;
}

ErrorCode PLUG_DisposeSack(PLUG_Sack sack) {
  if (!sack) return 0;
  if (ErrorCode err = CheckSack(sack, kSiteSack)) return err;
  auto* r = reinterpret_cast<SackRec*>(*sack);
  DisposeHandle(r->scans);
  DisposeHandle(r->dones);
  r->magic = r->tailMagic = 0;
  DisposeHandle(sack);
  return 0;
}

ErrorCode PLUG_InstallScan(PLUG_Sack sack, int32_t typeCount, const FourCC* types, PLUG_ScanFunc scan,
                           PLUG_DoneFunc done, void* refcon) {
  if (ErrorCode err = CheckGlobals(kSiteInstall)) return err;
  if (!sack) sack = G().defaultSack;
  if (ErrorCode err = CheckSack(sack, kSiteInstall)) return err;
  if (!scan || typeCount < 0 || (typeCount > 0 && !types)) return kReport.BadParam(kSiteInstall, {"PLUG_InstallScan"});
  auto* r = reinterpret_cast<SackRec*>(*sack);
  const FourCC any = static_cast<FourCC>(PLUG_AnyType);
  for (int32_t i = 0; i < (typeCount ? typeCount : 1); ++i) {
    const ScanEntry e{typeCount ? types[i] : any, scan, refcon};
    // Any-type entries first, then by type; equal types keep their order.
    auto before = [&](const ScanEntry& x) {
      if (e.type == any) return x.type != any;
      return x.type != any && x.type > e.type;
    };
    const size_t n = ArrayCount<ScanEntry>(r->scans);
    size_t at = 0;
    while (at < n && !before(ArrayItems<ScanEntry>(r->scans)[at])) ++at;
    if (!ArrayInsert(r->scans, at, e)) return kReport.OutOfMemory(kSiteInstall, "scan entry", sizeof e);
  }
  if (done && !ArrayInsert(r->dones, ArrayCount<DoneEntry>(r->dones), DoneEntry{done, refcon}))
    return kReport.OutOfMemory(kSiteInstall, "scan entry", sizeof(DoneEntry));
  return 0;
}

Boolean32 PLUG_NameExcluded(const char* name, const char* p) {
  if (!name || !p || !p[0]) return 0;
  const size_t len = std::strlen(name), plen = std::strlen(p);
  if (len == 0) return 0;
  const bool startsP0 = name[0] == p[0];
  if (plen == 1) return startsP0;
  if (startsP0 && name[len - 1] == p[1]) return 1;
  if (plen >= 3 && name[0] == p[2]) return 1;
  // "(name).ext": p[1] right before the last '.'.
  const char* dot = std::strrchr(name, '.');
  if (startsP0 && dot && dot > name && dot[-1] == p[1]) return 1;
  return 0;
}

ErrorCode PLUG_Search(PLUG_Sack sack, int32_t folderCount, const FILE_SpecH* folders, int32_t flags,
                      int32_t maxDepth, const char* exclude, PLUG_ProgressFunc progress, void* refcon,
                      Boolean32* cancelled) {
  if (cancelled) *cancelled = 0;
  if (ErrorCode err = CheckGlobals(kSiteSearch)) return err;
  if (!sack) sack = G().defaultSack;
  if (ErrorCode err = CheckSack(sack, kSiteSearch)) return err;
  if (folderCount < 0 || (folderCount > 0 && !folders)) return kReport.BadParam(kSiteSearch, {"PLUG_Search"});
  // The sack stays locked for the walk: callbacks may add entries to other sacks.
  HandleLock<SackRec> lock(sack);
  Walk w;
  w.sack = lock.get();
  w.flags = flags;
  w.maxDepth = maxDepth;
  w.exclude = exclude;
  w.progress = progress;
  w.refcon = refcon;
  for (int32_t i = 0; i < folderCount && !w.cancel; ++i) {
    Boolean32 isDir = 0;
    if (!folders[i] || FILE_InqIsDir(folders[i], &isDir) || !isDir) continue;
    WalkFolder(w, folders[i], 0);
  }
  // The done callbacks run after a cancelled walk too: they finish what the
  // scan callbacks began.
  const bool wasCancelled = w.cancel;
  const size_t n = ArrayCount<DoneEntry>(w.sack->dones);
  for (size_t i = 0; i < n; ++i) {
    const DoneEntry d = ArrayItems<DoneEntry>(w.sack->dones)[i];
    Progress(w, PLUG_Status_Done, "");
    d.done(progress, refcon, d.refcon);
  }
  if (cancelled) *cancelled = wasCancelled ? 1 : 0;
  return 0;
}

ErrorCode PLUG_ScanDataFromFile(FILE_SpecH file, PLUG_ScanData* scan) {
  if (!scan) return kReport.BadParam(kSiteScan, {"PLUG_ScanDataFromFile"});
  *scan = nullptr;
  if (ErrorCode err = CheckGlobals(kSiteScan)) return err;
  if (!file) return kReport.BadParam(kSiteScan, {"PLUG_ScanDataFromFile"});
  FILE_SpecH copy = nullptr;
  if (ErrorCode err = FILE_Duplicate(file, &copy)) return err;
  auto* rec = reinterpret_cast<PLUG_ScanRec*>(NewPtrClear(sizeof(PLUG_ScanRec)));
  if (!rec) {
    FILE_Dispose(copy);
    return kReport.OutOfMemory(kSiteScan, "scan record", sizeof(PLUG_ScanRec));
  }
  rec->magic = rec->tailMagic = kScanMagic;
  rec->file = copy;
  rec->owned = true;
  *scan = rec;
  return 0;
}

ErrorCode PLUG_DisposeScanData(PLUG_ScanData scan) {
  if (!scan) return 0;
  if (ErrorCode err = CheckScan(scan, kSiteScan)) return err;
  if (!scan->owned) return kReport.BadParam(kSiteScan, {"PLUG_DisposeScanData"});
  ReleaseScan(*scan);
  FILE_Dispose(scan->file);
  scan->magic = scan->tailMagic = 0;
  DisposePtr(reinterpret_cast<Ptr>(scan));
  return 0;
}

ErrorCode PLUG_GetResFileFromScan(PLUG_ScanData scan, PLUG_ResFile* resFile) {
  if (!resFile) return kReport.BadParam(kSiteScan, {"PLUG_GetResFileFromScan"});
  *resFile = nullptr;
  if (ErrorCode err = CheckScan(scan, kSiteScan)) return err;
  if (!scan->res) {
    // A refused file is reported once, however many callbacks ask.
    if (scan->resFailed) return kErrResource;
    if (ErrorCode err = PLUG_ReadResFile(scan->file, &scan->res)) {
      scan->resFailed = true;
      return err;
    }
  }
  *resFile = scan->res;
  return 0;
}

ErrorCode PLUG_GetResFileSpec(PLUG_ScanData scan, FILE_SpecH* file) {
  if (!file) return kReport.BadParam(kSiteScan, {"PLUG_GetResFileSpec"});
  *file = nullptr;
  if (ErrorCode err = CheckScan(scan, kSiteScan)) return err;
  *file = scan->file;
  return 0;
}

ErrorCode PLUG_GetScanDepth(PLUG_ScanData scan, int32_t* depth) {
  if (!depth) return kReport.BadParam(kSiteScan, {"PLUG_GetScanDepth"});
  *depth = 0;
  if (ErrorCode err = CheckScan(scan, kSiteScan)) return err;
  *depth = scan->depth;
  return 0;
}
