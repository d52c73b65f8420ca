// Resource maps of plug-in files read through the file layer (the ".tvrsrc"
// section, else the side-car "<name>.rsrc"), resources and properties.
#include <algorithm>
#include <string>

#include "PLUG_internal.h"

namespace tv::plug {
namespace {

constexpr uint64_t kMaxMap = 16u << 20;  // bytes of a resource map read at most

// A reference opened for reading, closed when it goes.
class OpenFile {
 public:
  explicit OpenFile(FILE_SpecH ref) : ref_(ref) { err_ = FILE_Open(FILE_PermRead, ref); }
  ~OpenFile() {
    if (!err_) FILE_Close(ref_);
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  ErrorCode error() const { return err_; }

 private:
  FILE_SpecH ref_;
  ErrorCode err_;
};

struct Reader {
  FILE_SpecH ref;
  ErrorCode err = 0;
};

bool ReadAtFile(void* ctx, uint64_t offset, void* buffer, uint32_t count) {
  auto* r = static_cast<Reader*>(ctx);
  if (count > 0x7FFFFFFF) return false;
  if ((r->err = FILE_SetPos(r->ref, static_cast<int64_t>(offset)))) return false;
  return (r->err = FILE_NRead(r->ref, static_cast<int32_t>(count), buffer)) == 0;
}

// Reads `size` bytes at `offset` of an open file into a new handle.
ErrorCode ReadBlock(FILE_SpecH ref, uint64_t offset, uint64_t size, Handle* out) {
  *out = NewHandle(static_cast<Size>(size));
  if (!*out) return kReport.OutOfMemory(kSiteRsrc, kTextReadingPiPL, size);
  Reader r{ref};
  HandleLock<uint8_t> lock(*out);
  if (size && !ReadAtFile(&r, offset, lock.get(), static_cast<uint32_t>(size))) {
    lock.reset();
    DisposeHandle(*out);
    *out = nullptr;
    return r.err;
  }
  return 0;
}

ErrorCode Refuse(FILE_SpecH file, const char* why) {
  char path[FILE_MaxPath] = {};
  FILE_InqName(file, FILE_NameFullPath, path, sizeof path);
  return kReport.Report(kSiteRsrc, kSevWarning, kErrResource, kTextBadPlugin, {path, why});
}

ErrorCode CheckAndKeep(FILE_SpecH file, Handle block, PLUG_ResFile* resFile) {
  const char* why = nullptr;
  {
    HandleLock<uint8_t> lock(block);
    why = CheckMap({lock.get(), static_cast<size_t>(GetHandleSize(block))});
  }
  if (why) {
    DisposeHandle(block);
    return Refuse(file, why);
  }
  *resFile = block;
  return 0;
}

ErrorCode ReadSidecar(FILE_SpecH file, const char* elfWhy, PLUG_ResFile* resFile) {
  char path[FILE_MaxPath] = {};
  if (ErrorCode err = FILE_InqName(file, FILE_NameFullPath, path, sizeof path)) return err;
  std::string side = std::string(path) + ".rsrc";
  if (side.size() >= FILE_MaxPath) return Refuse(file, elfWhy ? elfWhy : "no resource section");
  Boolean32 exists = 0;
  FILE_InqLocExist(side.c_str(), FILE_LocFullPath, &exists);
  if (!exists) return Refuse(file, elfWhy ? elfWhy : "no resource section");
  FILE_SpecH ref = nullptr;
  if (ErrorCode err = FILE_New(side.c_str(), FILE_LocFullPath, &ref)) return err;
  ErrorCode err = 0;
  {
    OpenFile open(ref);
    int64_t size = 0;
    if ((err = open.error()) || (err = FILE_InqSize(ref, FILE_SizeData, &size))) {
      // reported by the file layer
    } else if (static_cast<uint64_t>(size) > kMaxMap) {
      err = Refuse(file, "resource map too large");
    } else {
      Handle block = nullptr;
      if (!(err = ReadBlock(ref, 0, static_cast<uint64_t>(size), &block)))
        err = CheckAndKeep(file, block, resFile);
    }
  }
  FILE_Dispose(ref);
  return err;
}

}  // namespace
}  // namespace tv::plug

using namespace tv;
using namespace tv::plug;

ErrorCode PLUG_ReadResFile(FILE_SpecH file, PLUG_ResFile* resFile) try {
  if (!resFile) return kReport.BadParam(kSiteRsrc, {"PLUG_ReadResFile"});
  *resFile = nullptr;
  if (!file) return kReport.BadParam(kSiteRsrc, {"PLUG_ReadResFile"});
  const char* why = nullptr;
  bool isElf = false;
  uint64_t offset = 0, size = 0;
  {
    OpenFile open(file);
    if (open.error()) return open.error();
    int64_t fileSize = 0;
    if (ErrorCode err = FILE_InqSize(file, FILE_SizeData, &fileSize)) return err;
    Reader r{file};
    why = FindElfSection(ReadAtFile, &r, static_cast<uint64_t>(fileSize), ".tvrsrc", &offset, &size, &isElf);
    if (r.err) return r.err;  // an I/O failure, reported by the file layer
    if (!why && size) {
      if (size > kMaxMap) return Refuse(file, "resource map too large");
      Handle block = nullptr;
      if (ErrorCode err = ReadBlock(file, offset, size, &block)) return err;
      return CheckAndKeep(file, block, resFile);
    }
  }
  // A damaged library is refused; a file without the section (or not a
  // library at all) may still have its resources in the side-car.
  if (why && isElf) return Refuse(file, why);
  return ReadSidecar(file, why, resFile);
} TV_CATCH(PLUG_PackageNumber)

ErrorCode PLUG_GetResource(PLUG_ResFile resFile, FourCC type, int32_t id, Handle* data) {
  if (!data) return kReport.BadParam(kSiteRsrc, {"PLUG_GetResource"});
  *data = nullptr;
  if (!resFile || !*resFile) return kReport.BadParam(kSiteRsrc, {"PLUG_GetResource"});
  HandleLock<uint8_t> lock(resFile);
  std::span<const uint8_t> map{lock.get(), static_cast<size_t>(GetHandleSize(resFile))};
  if (CheckMap(map)) return kReport.Fail(kSiteRsrc, kErrResource, kTextReadingPiPL);
  const uint32_t n = MapCount(map);
  for (uint32_t i = 0; i < n; ++i) {
    const ResEntry e = MapEntry(map, i);
    if (e.type != type || e.id != id) continue;
    if (PtrToHand(map.data() + e.offset, data, static_cast<Size>(e.length)) != 0) {
      *data = nullptr;
      return kReport.OutOfMemory(kSiteRsrc, kTextReadingPiPL, e.length);
    }
    return 0;
  }
  return kReport.Fail(kSiteRsrc, kErrResource, kTextPropIndex);
}

namespace {
ErrorCode GetProp(PLUG_PiPL pipl, FourCC key, int32_t identifier, int32_t maxLength, int32_t* length, void* data,
                  Boolean32* found, const char* op) {
  if (!length) return kReport.BadParam(kSiteProp, {op});
  *length = 0;
  if (found) *found = 0;
  if (!pipl || !*pipl || maxLength < 0) return kReport.BadParam(kSiteProp, {op});
  HandleLock<uint8_t> lock(pipl);
  std::span<const uint8_t> bytes{lock.get(), static_cast<size_t>(GetHandleSize(pipl))};
  if (CheckPiPLBytes(bytes)) return kReport.Fail(kSiteProp, kErrResource, kTextReadingPiPL);
  std::span<const uint8_t> prop;
  if (!FindProp(bytes, key, identifier, &prop))
    return found ? 0 : kReport.Fail(kSiteProp, kErrResource, kTextPropIndex);
  if (prop.size() > 0x7FFFFFFF) return kReport.Fail(kSiteProp, kErrResource, kTextReadingPiPL);
  *length = static_cast<int32_t>(prop.size());
  if (found) *found = 1;
  if (data) std::memcpy(data, prop.data(), std::min<size_t>(prop.size(), static_cast<size_t>(maxLength)));
  return 0;
}
}  // namespace

ErrorCode PLUG_GetPiPLProp(PLUG_PiPL pipl, FourCC key, int32_t identifier, int32_t maxLength, int32_t* length,
                           void* data) {
  return GetProp(pipl, key, identifier, maxLength, length, data, nullptr, "PLUG_GetPiPLProp");
}

ErrorCode PLUG_InqPiPLProp(PLUG_PiPL pipl, FourCC key, int32_t identifier, int32_t maxLength, int32_t* length,
                           void* data, Boolean32* found) {
  if (!found) return kReport.BadParam(kSiteProp, {"PLUG_InqPiPLProp"});
  return GetProp(pipl, key, identifier, maxLength, length, data, found, "PLUG_InqPiPLProp");
}

ErrorCode PLUG_DisposePiPL(PLUG_PiPL pipl) {
  if (pipl) DisposeHandle(pipl);
  return 0;
}
