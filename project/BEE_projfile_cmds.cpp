// The save, open and import commands (table commands 4, 5 and 6), the
// project's file path, and the proxies that project files carry.
#include <cstring>

#include "BEE_projfile.h"

namespace tv::bee {

namespace {

using proj::kSiteProjectFile;

std::string PathOf(FILE_SpecH spec) {
  std::string path(FILE_MaxPath, '\0');
  if (FILE_InqName(spec, FILE_NameFullPath, path.data(), FILE_MaxPath) != 0) return {};
  path.resize(path.find('\0'));
  return path;
}

// A spec of our own for a path (closed), disposed with the guard.
struct OwnSpec {
  FILE_SpecH spec = nullptr;
  ~OwnSpec() {
    if (spec) FILE_Dispose(spec);
  }
  ErrorCode Make(const std::string& path) { return FILE_New(path.c_str(), FILE_LocFullPath, &spec); }
};

ErrorCode Save(FILE_SpecH given, const proj::SaveOptions& options) {
  if (ErrorCode err = RequireProject()) return err;
  std::string path = given ? PathOf(given) : G().path;
  if (path.empty()) {
    if (given) return kReport.BadParam(kSiteArgument, {"BEE_CmdSaveProject"});
    return kReport.Fail(kSiteProjectFile, kErrBadParam, kTextNoProjectPath);
  }
  OwnSpec target;
  if (ErrorCode err = target.Make(path)) return err;
  Boolean32 exists = 0, locked = 0;
  if (ErrorCode err = FILE_InqExist(target.spec, &exists)) return err;
  if (exists) {
    if (ErrorCode err = FILE_InqFileLocked(target.spec, &locked)) return err;
    if (locked) {
      char name[FILE_MaxName + 1] = "";
      FILE_InqName(target.spec, FILE_NameOnly, name, sizeof name);
      return kReport.Fail(proj::kSiteLocked, 787, kTextFileLocked, {name});
    }
  }
  ErrorCode err = slu::SaveAtomically(target.spec, [&](SLU_FileContext* file) {
    return proj::WriteProject(file, options);
  });
  if (err) return err;
  if (options.version == proj::kFileVersion) G().path = path;
  return 0;
}

ErrorCode Read(FILE_SpecH given, bool importing, BEE_Item folder, bool keep, proj::ReadResult* result) {
  const std::string path = given ? PathOf(given) : std::string();
  if (path.empty()) return kReport.BadParam(kSiteArgument, {importing ? "BEE_CmdImportProject" : "BEE_CmdOpenProject"});
  OwnSpec file;
  if (ErrorCode err = file.Make(path)) return err;
  if (ErrorCode err = FILE_Open(FILE_PermRead, file.spec)) return err;
  SLU_FileContext context{};
  ErrorCode err = SLU_InitFile(file.spec, 0, &context);
  if (!err) err = proj::ReadProject(&context, importing, folder, keep, result);
  ErrorCode closed = FILE_Close(file.spec);
  if (err) return err;
  if (closed) return closed;
  if (!importing) G().path = result->converted ? std::string() : path;
  return 0;
}

}  // namespace

BEE_OP(OpSaveProject) {
  const auto* p = reinterpret_cast<const BEE_SaveParams*>(rec->param1);
  if (!p) return kReport.BadParam(kSiteArgument, {"BEE_CmdSaveProject"});
  proj::SaveOptions options;
  options.value1 = p->headerValue1;
  options.value2 = p->headerValue2;
  return Save(p->file, options);
}

BEE_OP(OpOpenProject) {
  auto* p = reinterpret_cast<BEE_OpenParams*>(rec->param1);
  if (!p) return kReport.BadParam(kSiteArgument, {"BEE_CmdOpenProject"});
  p->converted = 0;
  proj::ReadResult result;
  if (ErrorCode err = Read(p->file, false, nullptr, p->keepMissingEffects != 0, &result)) return err;
  p->converted = result.converted ? 1 : 0;
  return 0;
}

BEE_OP(OpImportProject) {
  auto file = reinterpret_cast<FILE_SpecH>(rec->param1);
  auto folder = reinterpret_cast<BEE_Item>(rec->param2);
  if (ErrorCode err = RequireProject()) return err;
  if (!folder) folder = G().root;
  if (ErrorCode err = CheckKind(folder, BEE_KindFolder, kTextNotFolder)) return err;
  proj::ReadResult result;
  return Read(file, true, folder, true, &result);
}

}  // namespace tv::bee

using namespace tv;
using namespace tv::bee;

ErrorCode BEE_CmdSaveProject(FILE_SpecH file, uint32_t headerValue1, uint32_t headerValue2) try {
  BEE_SaveParams p{file, headerValue1, headerValue2};
  intptr_t words[2] = {reinterpret_cast<intptr_t>(&p), 0};
  return BEE_DoCommand(BEE_CmdNumSaveProject, words);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdOpenProject(FILE_SpecH file, Boolean32 keepMissingEffects, Boolean32* converted) try {
  if (converted) *converted = 0;
  BEE_OpenParams p{file, keepMissingEffects, 0};
  intptr_t words[2] = {reinterpret_cast<intptr_t>(&p), 0};
  ErrorCode err = BEE_DoCommand(BEE_CmdNumOpenProject, words);
  if (!err && converted) *converted = p.converted;
  return err;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdImportProject(FILE_SpecH file, BEE_Item folder) try {
  intptr_t words[2] = {reinterpret_cast<intptr_t>(file), reinterpret_cast<intptr_t>(folder)};
  return BEE_DoCommand(BEE_CmdNumImportProject, words);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetProjectPath(char* path, int32_t size) try {
  if (path && size > 0) path[0] = 0;
  if (!path || size <= 0) return kReport.BadParam(kSiteArgument, {"BEE_GetProjectPath"});
  fmt::CopyTo(std::span<char>(path, static_cast<size_t>(size)), G().path);
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEEp_SaveProjectVersion(FILE_SpecH file, uint16_t version) try {
  if (!file || version < proj::kOldestVersion || version > proj::kFileVersion)
    return kReport.BadParam(kSiteArgument, {"BEEp_SaveProjectVersion"});
  proj::SaveOptions options;
  options.version = version;
  return Save(file, options);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEEp_SetItemProxy(BEE_Item item, PIN_SeqSpecH seq) try {
  if (ErrorCode err = CheckItem(item)) return err;
  if (R(item).kind != BEE_KindFootage && R(item).kind != BEE_KindComp)
    return kReport.BadParam(kSiteArgument, {"BEEp_SetItemProxy"});
  if (R(item).proxy) PIN_DisposeSeqSpec(R(item).proxy);
  R(item).proxy = seq;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEEp_GetItemProxy(BEE_Item item, PIN_SeqSpecH* seq) try {
  if (seq) *seq = nullptr;
  if (ErrorCode err = CheckItem(item)) return err;
  if (!seq) return kReport.BadParam(kSiteArgument, {"BEEp_GetItemProxy"});
  *seq = R(item).proxy;
  return 0;
} TV_CATCH(BEE_PackageNumber)
