// The module registry: registration of the built-in drivers in their fixed
// order, the list sorted by name with the lists of every declared file type
// and extension, finding modules by index, signature and file.
#include <cstring>

#include "PIN_internal.h"
#include "drivers/ei/D_EI.h"
#include "drivers/rla/D_RLA.h"
#include "drivers/common/drivers.h"

namespace tv::pin {

namespace {

// The built-in drivers in registration order. Drivers of formats whose
// platform components do not exist here are not compiled in; a driver whose
// library fails to start answers PIN_ErrNotAvailable from its birth.
constexpr Driver kBuiltin[] = {
    {"ElectricImage", D_EI_Birth},
    {"RLA", D_RLA_Birth},
    {"Placeholder", PlaceholderBirth},
    {"Image Files", ImageFilesBirth},
    {"Sound Files", SoundFilesBirth},
    {"Movie", MovieBirth},
};

std::span<const Driver> gTestDrivers;

// A declared code and the module that declared it.
struct CodeEntry {
  FourCC code;
  FourCC signature;
};

LIST_Handle gModules = nullptr;     // Module, sorted by name; locked while born
LIST_Handle gFileTypes = nullptr;   // CodeEntry
LIST_Handle gExtensions = nullptr;  // CodeEntry
std::span<const Module> gView;

int32_t CompareNames(intptr_t, LIST_Handle, const void* a, const void* b) {
  // strcmp compares as unsigned characters, a shorter name first on a common prefix.
  return std::strcmp(static_cast<const Module*>(a)->info.name, static_cast<const Module*>(b)->info.name);
}

void DisposeLists() {
  if (gModules && !gView.empty()) LIST_Unlock(gModules);
  gView = {};
  LIST_Dispose(gModules, 0);
  LIST_Dispose(gFileTypes, 0);
  LIST_Dispose(gExtensions, 0);
  gModules = gFileTypes = gExtensions = nullptr;
}

// Folds an extension code for comparison: ASCII lower case, a space the same
// as an absent character.
FourCC FoldCode(FourCC code) {
  FourCC out = 0;
  for (int shift = 24; shift >= 0; shift -= 8) {
    uint32_t c = (code >> shift) & 0xFF;
    if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
    if (c == ' ') c = 0;
    out |= c << shift;
  }
  return out;
}

// The extension code of a file name (".ext", at most four characters with
// the full stop), or 0 when it has none that fits.
FourCC ExtensionCode(std::string_view name) {
  const size_t slash = name.rfind('/');
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || name.size() - dot < 2 || name.size() - dot > 4) return 0;
  FourCC code = 0;
  for (size_t i = 0; i < 4; ++i) {
    const uint32_t c = dot + i < name.size() ? static_cast<uint8_t>(name[dot + i]) : 0;
    code |= c << (24 - 8 * i);
  }
  return FoldCode(code);
}

// Checks what a driver's birth described before it is added.
bool Plausible(const PIN_ModuleInfo& info) {
  return std::memchr(info.name, 0, sizeof info.name) != nullptr && info.name[0] != 0 &&
         info.numFileTypes >= 0 && info.numFileTypes <= PIN_MaxFileTypes && info.numExtensions >= 0 &&
         info.numExtensions <= PIN_MaxExtensions;
}

int32_t Count(LIST_Handle list) {
  int32_t n = 0;
  if (list) LIST_GetNumItems(list, &n);
  return n;
}

template <class T>
T ItemAt(LIST_Handle list, int32_t i) {
  T item{};
  LIST_GetItem(list, i, &item);
  return item;
}

ErrorCode AddModule(Module& m, const char* driverName) {
  bool taken = false;
  for (int32_t i = 0, n = Count(gModules); i < n && !taken; ++i)
    taken = ItemAt<Module>(gModules, i).info.signature == m.info.signature;
  if (!Plausible(m.info) || taken) return kReport.BadParam(kSiteRegistry, {driverName});
  m.info.registered = PIN_RegisteredMark;
  if (ErrorCode err = LIST_Insert(&m, -1, gModules)) return err;
  for (int16_t i = 0; i < m.info.numFileTypes; ++i) {
    CodeEntry e{m.info.fileTypes[i][0], m.info.signature};
    if (ErrorCode err = LIST_Insert(&e, -1, gFileTypes)) return err;
  }
  for (int16_t i = 0; i < m.info.numExtensions; ++i) {
    CodeEntry e{FoldCode(m.info.extensions[i]), m.info.signature};
    if (ErrorCode err = LIST_Insert(&e, -1, gExtensions)) return err;
  }
  return 0;
}

}  // namespace

std::span<const Driver> BuiltinDrivers() {
  return gTestDrivers.empty() ? std::span<const Driver>(kBuiltin) : gTestDrivers;
}
void SetDriversForTesting(std::span<const Driver> drivers) { gTestDrivers = drivers; }

std::span<const Module> Modules() { return gView; }

const Module* FindModule(FourCC signature) {
  for (const Module& m : gView)
    if (m.info.signature == signature) return &m;
  return nullptr;
}

const Module* FindModuleOrFallback(FourCC signature) {
  const Module* m = FindModule(signature);
  return m ? m : FindModule(kPlaceholderSig);
}

ErrorCode RegisterModules() {
  ErrorCode err = LIST_New(0, sizeof(Module), 8, 1, &gModules);
  if (!err) err = LIST_New(0, sizeof(CodeEntry), 16, 1, &gFileTypes);
  if (!err) err = LIST_New(0, sizeof(CodeEntry), 16, 1, &gExtensions);
  for (const Driver& d : BuiltinDrivers()) {
    if (err) break;
    Module m{};
    m.procs = DefaultProcs();
    const ErrorCode born = d.birth(&m.info, &m.procs);
    if (born == PIN_ErrNotAvailable) continue;  // not available here: left out, no failure
    err = born ? born : AddModule(m, d.name);
  }
  if (!err) err = LIST_Sort(CompareNames, 0, gModules);
  if (!err) err = LIST_Lock(LIST_LockInPlace, gModules);
  if (!err) {
    const int32_t n = Count(gModules);
    void* first = nullptr;
    if (n > 0) err = LIST_GetAddress(gModules, 0, 0, &first);
    if (!err && n > 0) gView = {static_cast<const Module*>(first), static_cast<size_t>(n)};
    if (!err && n == 0) LIST_Unlock(gModules);
  }
  if (err) DisposeLists();
  return err;
}

void UnregisterModules() {
  for (const Module& m : gView)
    if (Filled(m.procs, PIN_Slot_Death)) m.procs.death(&m.info);
  DisposeLists();
}

FourCC SigFromType(FourCC fileType, FourCC creator, std::string_view name, bool extensionFirst) {
  const FourCC ext = ExtensionCode(name);
  auto byExtension = [&]() -> FourCC {
    if (!ext) return PIN_NoSignature;
    for (int32_t i = 0, n = Count(gExtensions); i < n; ++i) {
      const CodeEntry e = ItemAt<CodeEntry>(gExtensions, i);
      if (e.code == ext) return e.signature;
    }
    return PIN_NoSignature;
  };
  FourCC sig = extensionFirst ? byExtension() : PIN_NoSignature;
  if (sig == PIN_NoSignature && fileType) {
    for (int32_t i = 0, n = Count(gFileTypes); i < n && sig == PIN_NoSignature; ++i) {
      const CodeEntry e = ItemAt<CodeEntry>(gFileTypes, i);
      if (e.code == fileType) sig = e.signature;
    }
  }
  if (sig == PIN_NoSignature && creator) {
    for (const Module& m : gView)
      if (m.info.creator == creator) {
        sig = m.info.signature;
        break;
      }
  }
  if (sig == PIN_NoSignature) sig = byExtension();
  return sig;
}

}  // namespace tv::pin

using namespace tv;
using namespace tv::pin;

ErrorCode PIN_GetNumModules(int32_t* count) {
  if (!count) return kReport.BadParam(kSiteRegistry, {"PIN_GetNumModules"});
  *count = 0;
  if (!pkg::Alive(PIN_PackageNumber)) return kReport.Damaged(kSiteRegistry);
  *count = static_cast<int32_t>(Modules().size());
  return 0;
}

ErrorCode PIN_GetModuleInfo(int32_t index, FourCC signature, PIN_ModuleInfo* info) {
  if (!info) return kReport.BadParam(kSiteModuleInfo, {"PIN_GetModuleInfo"});
  *info = PIN_ModuleInfo{};
  if (!pkg::Alive(PIN_PackageNumber)) return kReport.Damaged(kSiteModuleInfo);
  const auto modules = Modules();
  if (index == -1) {
    const Module* m = FindModuleOrFallback(signature);
    if (!m) return kReport.Fail(kSiteModuleInfo, kErrBadParam, kTextNoModule);
    *info = m->info;
    return 0;
  }
  if (index < 0 || static_cast<size_t>(index) >= modules.size())
    return kReport.BadParam(kSiteModuleInfo, {"PIN_GetModuleInfo"});
  *info = modules[static_cast<size_t>(index)].info;
  return 0;
}

ErrorCode PIN_GetSigFromType(FourCC fileType, FourCC creator, const char* name, FourCC* signature) {
  if (!signature) return kReport.BadParam(kSiteSigFromType, {"PIN_GetSigFromType"});
  *signature = PIN_NoSignature;
  if (!pkg::Alive(PIN_PackageNumber)) return kReport.Damaged(kSiteSigFromType);
  *signature = SigFromType(fileType, creator, name ? name : "", false);
  return 0;
}
