// Effect plug-ins: classes registered from the property lists of the files
// the plug-in registry finds, their code loaded on a class's first use and
// released at death; the image-editor and video-editor filter kinds are
// registered through their adapter records.
#include <cstring>
#include <string>

#include "FLT_adapters.h"
#include "PLUG.h"

namespace tv::flt {
namespace {

constexpr FourCC kKindEffect = MakeFourCC("eFKT");
constexpr FourCC kKindImageFilter = MakeFourCC("Q7FM");
constexpr FourCC kKindVideoFilter = MakeFourCC("KFlt");

constexpr const char* kKnownImageFilters[] = {
    "KVRN RZTwirl",     "KVRN RZWTwirl",    "KVRN RZZigzag",     "KVRN RZWZigzag",     "KVRN RZWave",
    "KVRN RZWWave",     "KVRN RZTiles",     "KVRN RZWTiles",     "KVRN RZSpherize",    "KVRN RZWSpherize",
    "KVRN RZRipple",    "KVRN RZWRipple",   "KVRN RZPinch",      "KVRN RZWPinch",      "KVRN RZLens Flare",
    "KVRN RZWLens Flare", "KVRN RZExtrude", "KVRN RZWExtrude"};

void CopyText(char* dst, size_t size, const std::string& src) {
  std::memset(dst, 0, size);
  size_t n = std::min(src.size(), size - 1);
  while (n > 0 && n < src.size() && (static_cast<uint8_t>(src[n]) & 0xC0) == 0x80) --n;
  std::memcpy(dst, src.data(), n);
}

// A property, or false when absent (no report).
bool Prop(PLUG_PiPL pipl, FourCC key, void* data, int32_t size, int32_t* length = nullptr) {
  int32_t len = 0;
  Boolean32 found = 0;
  std::memset(data, 0, static_cast<size_t>(size));
  if (PLUG_InqPiPLProp(pipl, key, 0, size, &len, data, &found) || !found) return false;
  if (length) *length = len;
  return true;
}

std::string Counted(const uint8_t* p, size_t room) {
  const size_t n = std::min<size_t>(p[0], room - 1);
  return std::string(reinterpret_cast<const char*>(p + 1), strnlen(reinterpret_cast<const char*>(p + 1), n));
}

uint32_t LE32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

struct Found {
  std::string file;
  PLUG_PiPL pipl;
};

// Reads a required property; a missing one is reported against the file.
bool Required(const Found& f, FourCC key, void* data, int32_t size) {
  if (Prop(f.pipl, key, data, size)) return true;
  kReport.Note(kSiteRegister, kSevWarning, kTextMissingProp, {f.file.c_str()});
  return false;
}

ErrorCode AddClass(ClassRec& c, PLUG_Routine routine) {
  int16_t existing = 0;
  Boolean32 found = 0;
  FLTp_FindClass(c.matchName, &existing, &found);
  if (found) {
    // The first copy found stays (the walk is sorted, so which one is stable).
    kReport.Note(kSiteRegister, kSevWarning, kTextMultiple, {c.matchName});
    if (routine) PLUG_UnregisterRoutine(routine);
    if (c.adapter) DisposeHandle(c.adapter);
    return 0;
  }
  c.routine = routine;
  if (ErrorCode err = LIST_Insert(&c, -1, G().classes)) {
    if (routine) PLUG_UnregisterRoutine(routine);
    if (c.adapter) DisposeHandle(c.adapter);
    return err;
  }
  return 0;
}

void RegisterEffect(PLUG_ScanData scan, int32_t index, const Found& f) {
  uint8_t word[4];
  if (!Required(f, MakeFourCC("ePVR"), word, 4)) return;
  if ((LE32(word) >> 16) != 2) {
    kReport.Note(kSiteRegister, kSevWarning, kTextPiPLMismatch, {f.file.c_str()});
    return;
  }
  uint8_t match[48], spec[4], info[2], outFlags[4], version[4];
  if (!Required(f, MakeFourCC("eMNA"), match, 48) || !Required(f, MakeFourCC("eSVR"), spec, 4) ||
      !Required(f, MakeFourCC("eINF"), info, 2) || !Required(f, MakeFourCC("eGLO"), outFlags, 4) ||
      !Required(f, MakeFourCC("eVER"), version, 4))
    return;
  ClassRec c{};
  const std::string matchName = Counted(match, 48);
  if (matchName.empty()) {
    kReport.Note(kSiteRegister, kSevWarning, kTextMissingProp, {f.file.c_str()});
    return;
  }
  CopyText(c.matchName, sizeof c.matchName, matchName);
  uint8_t text[32];
  std::string name = Prop(f.pipl, MakeFourCC("name"), text, 32) ? Counted(text, 32) : std::string();
  if (name.empty()) name = matchName;
  const std::string category = Prop(f.pipl, MakeFourCC("catg"), text, 32) ? Counted(text, 32) : std::string();
  CopyText(c.category, sizeof c.category, category);
  c.outFlags = LE32(outFlags);
  c.specVersion = LE32(spec);
  c.version = LE32(version);
  const uint32_t major = c.specVersion >> 16;
  if (major != 11 && major != 12) {
    c.flags |= kClassUnusable;
    std::string shown = kReport.Text(kTextVersionName);
    shown.replace(shown.find("^1"), 2, name);
    name = shown;
  }
  PLUG_Routine routine = nullptr;
  if (PLUG_RegisterRoutine(scan, index, &routine)) {
    char platform[64];
    std::snprintf(platform, sizeof platform, kReport.Text(kTextPlatformName), f.file.c_str());
    name = platform;
    c.flags |= kClassUnusable;
  }
  CopyText(c.name, sizeof c.name, name);
  if (c.outFlags & PF_OutFlag_Obsolete) {
    CopyText(c.category, sizeof c.category, "_Obsolete");
    c.flags |= kClassHidden;
  }
  AddClass(c, routine);
}

// The foreign kinds' classes: the match name from 'eMNA' (else the name),
// the routine whose code the adapter runs, the adapter record attached.
template <class Record>
void AddAdapterClass(PLUG_ScanData scan, int32_t index, ClassRec& c, const Record& a) {
  PLUG_Routine routine = nullptr;
  if (PLUG_RegisterRoutine(scan, index, &routine)) c.flags |= kClassUnusable;  // reported
  if (PtrToHand(&a, &c.adapter, sizeof a)) {
    if (routine) PLUG_UnregisterRoutine(routine);
    kReport.OutOfMemory(kSiteRegister, kTextMemory, sizeof a);
    return;
  }
  AddClass(c, routine);
}

void RegisterImageFilter(PLUG_ScanData scan, int32_t index, const Found& f) {
  ImageAdapter a{};
  a.magic = kImageAdapterMagic;
  uint8_t mode[2];
  if (!Required(f, MakeFourCC("mode"), mode, 2) || !Required(f, MakeFourCC("fici"), a.caseInfo, 28)) return;
  a.modes = static_cast<uint16_t>(mode[0] | mode[1] << 8);
  uint8_t description[68];
  if (Prop(f.pipl, MakeFourCC("aFLT"), description, 68)) a.filterFlags = LE32(description);
  ImageParam params[FF_MaxParams];
  a.paramCount = static_cast<uint32_t>(ReadImageParams(f.pipl, params));
  uint8_t text[48];
  std::string name = Prop(f.pipl, MakeFourCC("name"), text, 32) ? Counted(text, 32) : f.file;
  const std::string matchName = Prop(f.pipl, MakeFourCC("eMNA"), text, 48) ? Counted(text, 48) : name;
  for (const char* known : kKnownImageFilters)
    if (matchName == known) a.known = 1;
  ClassRec c{};
  CopyText(c.matchName, sizeof c.matchName, matchName);
  // "RZ", "W" for a filter of the whole image, "+" for one with parameters.
  std::string prefix = (a.filterFlags & FF_Flag_WholeImage) ? "RZW" : "RZ";
  if (a.paramCount) prefix += '+';
  CopyText(c.name, sizeof c.name, prefix + " " + name);  // cut to 31 bytes
  c.specVersion = 12u << 16;
  // Only 8-bit ARGB pictures are offered: a filter without that mode is
  // listed but cannot be used.
  if (!(a.modes & FF_Mode_ARGB8)) c.flags |= kClassUnusable;
  AddAdapterClass(scan, index, c, a);
}

void RegisterVideoFilter(PLUG_ScanData scan, int32_t index, const Found& f) {
  VideoAdapter a{};
  a.magic = kVideoAdapterMagic;
  a.outFlags = kVideoFilterOutFlags;
  uint8_t text[48];
  const std::string name = Prop(f.pipl, MakeFourCC("name"), text, 32) ? Counted(text, 32) : f.file;
  const std::string matchName = Prop(f.pipl, MakeFourCC("eMNA"), text, 48) ? Counted(text, 48) : name;
  ClassRec c{};
  CopyText(c.matchName, sizeof c.matchName, matchName);
  CopyText(c.name, sizeof c.name, "VQF " + name);
  c.outFlags = kVideoFilterOutFlags;
  c.specVersion = 12u << 16;
  AddAdapterClass(scan, index, c, a);
}

// The scan callback: every property list of the file, by its kind. A broken
// file has been reported by the registry; the answer is 0 so the walk goes on.
ErrorCode ScanFile(PLUG_ScanData scan, int32_t, void*) try {
  int32_t count = 0;
  for (int32_t index = 0; index == 0 || index < count; ++index) {
    FourCC kind = 0;
    PLUG_PiPL pipl = nullptr;
    if (PLUG_GetRoutineInfo(scan, index, &kind, &pipl, &count)) return 0;
    FILE_SpecH file = nullptr;
    PLUG_GetResFileSpec(scan, &file);
    char name[FILE_MaxPath] = {};
    FILE_InqName(file, FILE_NameOnly, name, sizeof name);
    const Found f{name, pipl};
    if (kind == kKindEffect) RegisterEffect(scan, index, f);
    else if (kind == kKindImageFilter) RegisterImageFilter(scan, index, f);
    else if (kind == kKindVideoFilter) RegisterVideoFilter(scan, index, f);
    PLUG_DisposePiPL(pipl);
  }
  return 0;
} catch (...) {
  return kReport.OutOfMemory(kSiteRegister, kTextMemory, 0);
}

}  // namespace

ErrorCode ScanPluginFolders(const char* const* folders, int32_t maxDepth) {
  int32_t count = 0;
  while (folders[count]) ++count;
  if (count > 64) return kReport.BadParam(kSiteRegister, {"plug-in folders (at most 64)"});
  PLUG_Sack sack = nullptr;
  if (ErrorCode err = PLUG_NewSack(&sack)) return err;
  const FourCC types[] = {MakeFourCC(".TVX"), kKindImageFilter, kKindVideoFilter};
  ErrorCode err = PLUG_InstallScan(sack, 3, types, ScanFile, nullptr, nullptr);
  const int32_t n = count;
  FILE_SpecH refs[64] = {};
  int32_t made = 0;
  for (; !err && made < n; ++made) err = FILE_New(folders[made], FILE_LocFullPath, &refs[made]);
  if (!err) err = PLUG_Search(sack, made, refs, 0, maxDepth, nullptr, nullptr, nullptr, nullptr);
  for (int32_t i = 0; i < made; ++i) FILE_Dispose(refs[i]);
  PLUG_DisposeSack(sack);
  return err;
}

ErrorCode LoadClassCode(ClassRec& c, uint32_t site) {
  if (c.entry) return 0;
  if (c.adapter && !c.routine) return kReport.Fail(site, kErrUnimplemented, kTextNoAdapter, {c.name});
  if (!c.routine) return kReport.Fail(site, FLT_ErrInvalidFilter, kTextInvalidFilter);
  void* entry = nullptr;
  if (ErrorCode err = PLUG_PrepRoutine(c.routine, 0, &entry, nullptr, nullptr)) return err;
  if (!c.adapter) {
    c.entry = reinterpret_cast<PF_EntryFunc>(entry);
    return 0;
  }
  // A foreign filter: its entry goes into the adapter record and the class
  // is called through the adapter.
  const auto magic = *reinterpret_cast<const uint32_t*>(*c.adapter);
  if (magic == kImageAdapterMagic) {
    reinterpret_cast<ImageAdapter*>(*c.adapter)->entry = reinterpret_cast<FF_ImageEntry>(entry);
    c.entry = ImageAdapterEntry;
  } else if (magic == kVideoAdapterMagic) {
    reinterpret_cast<VideoAdapter*>(*c.adapter)->entry = reinterpret_cast<FF_SoundEntry>(entry);
    c.entry = VideoAdapterEntry;
  } else {
    PLUG_UnprepRoutine(c.routine);
    return kReport.Damaged(site, {"adapter record"});
  }
  return 0;
}

void ReleaseClassCode(ClassRec& c) {
  if (c.routine && c.entry) PLUG_UnprepRoutine(c.routine);
  c.entry = nullptr;
  if (c.adapter) DisposeHandle(c.adapter);
  c.adapter = nullptr;
}

}  // namespace tv::flt

using namespace tv;
using namespace tv::flt;

ErrorCode FLTp_ScanPluginFolders(const char* const* folders, int32_t maxDepth) {
  if (!folders) return kReport.BadParam(kSiteRegister, {"FLTp_ScanPluginFolders"});
  if (!pkg::Alive(FLT_PackageNumber)) return kReport.Damaged(kSiteRegister, {"package not born"});
  return ScanPluginFolders(folders, maxDepth);
}
