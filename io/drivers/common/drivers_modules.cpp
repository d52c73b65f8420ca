// The drivers that live in shared objects of their own ("Image Files" on
// OpenImageIO and libjpeg, "Movie" on FFmpeg), so that starting the engine
// loads none of those libraries. Their births describe them from the tables
// here (name, signature, flags, file types, extensions) and fill their slots
// with stand-ins: the first call of any of them loads the module (from the
// folder "tavelo/formats" beside the engine's own file, or from the folder
// named by TAVELO_FORMAT_MODULES), hands it the engine's table and passes the
// call on. A module that cannot be loaded answers PIN_ErrNotAvailable with one
// report naming the file and the loader's reason, at each call.
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <type_traits>

#include "FILE.h"
#include "module_imports.h"

namespace tv::pin {
namespace {

struct ModuleDescription {
  const char* name;
  const char* file;  // in the modules' folder
  FourCC signature;
  uint32_t flags;
  FourCC types[PIN_MaxFileTypes];       // 0 ends the list
  FourCC extensions[PIN_MaxExtensions];  // 0 ends the list; [0] is the default
  uint64_t slots;                        // bit n: slot n is the driver's own
};

constexpr uint64_t Bit(int slot) { return uint64_t{1} << slot; }

// The output slots both drivers fill.
constexpr uint64_t kOutputSlots =
    Bit(PIN_Slot_NewOutputSpec) | Bit(PIN_Slot_GetOutputOptions) | Bit(PIN_Slot_DisposeOutputOptions) |
    Bit(PIN_Slot_SetOutputFile) | Bit(PIN_Slot_StartAdding) | Bit(PIN_Slot_AddFrame) | Bit(PIN_Slot_EndAdding) |
    Bit(PIN_Slot_SetOutSpecificData) | Bit(PIN_Slot_GetLegalDepths);
constexpr uint64_t kReadSlots = Bit(PIN_Slot_NewSeqSpecFromFile) | Bit(PIN_Slot_DisposeSeqSpec) |
                                Bit(PIN_Slot_DrawSparseFrame) | Bit(PIN_Slot_DrawPartialFrame);

enum Which { kImages, kMovie, kModuleCount };

constexpr ModuleDescription kModules[kModuleCount] = {
    {"Image Files",
     "image-files.so",
     MakeFourCC("OIMG"),
     PIN_ModFlag_Files | PIN_ModFlag_StillPerFile | PIN_ModFlag_NoTime,
     {MakeFourCC("PNGf"), MakeFourCC("JPEG"), MakeFourCC("TIFF"), MakeFourCC("EXR "), MakeFourCC("DPX "),
      MakeFourCC("TPIC"), MakeFourCC("BMPf"), MakeFourCC("8BPS")},
     {MakeFourCC(".png"), MakeFourCC(".jpg"), MakeFourCC(".tif"), MakeFourCC(".exr"), MakeFourCC(".dpx"),
      MakeFourCC(".tga"), MakeFourCC(".bmp"), MakeFourCC(".psd")},
     kReadSlots | kOutputSlots | Bit(PIN_Slot_OutputFrame) | Bit(PIN_Slot_SetOutputInfo)},
    {"Movie",
     "movie.so",
     kMovieSig,
     PIN_ModFlag_Files,
     {MakeFourCC("MooV"), MakeFourCC("mpg4"), MakeFourCC("VfW ")},
     {MakeFourCC(".mov"), MakeFourCC(".mp4"), MakeFourCC(".m4v"), MakeFourCC(".avi"), MakeFourCC(".mkv"),
      MakeFourCC(".mxf"), MakeFourCC(".mpg")},
     kReadSlots | kOutputSlots | Bit(PIN_Slot_GetSound) | Bit(PIN_Slot_GetInSpecificData) |
         Bit(PIN_Slot_InqNextFrameTime) | Bit(PIN_Slot_AddSoundChunk) | Bit(PIN_Slot_SetOutputInfo)},
};

// What the engine gives the modules.
const ModuleImports kImports = {
    sizeof(ModuleImports), kModuleImportsVersion,
    &::NewHandle, &::GetHandleSize, &::DisposeHandle, &::EMUL_GetMemoryBudget, &::FILE_Dispose,
    &::PIN_GetFile, &::PIN_GetFileAtTime, &::PIN_GetFrameIndex, &::PIN_GetSourceInfo, &::PIN_SetSourceInfo,
    &::PIN_SetHSF,
    &::PIN_GetInstanceData, &::PIN_SetInstanceData, &::PIN_GetOutputInstance, &::PIN_SetOutputInstance,
    &::PIN_InstallStillProcs,
    &::BM_GetWorldInfo, &::BM_LockPixels, &::BM_UnlockPixels, &::BMp_GetPixBaseAddr,
    &::SNDp_GetWorldInfo, &::SNDp_GetBuffer, &::SND_LockBuffer, &::SND_UnlockBuffer, &::SND_UpdateWorld,
    &BadArgument, &CannotRead, &CannotWrite, &CannotWriteFile, &DrawFrame, &PathOf, &NameOf, &FillSound,
    &AnswerSoundFormat,
    [](int fd, const void* data, size_t size, size_t* written) { return platform::WriteFully(fd, data, size, written); },
    [](const std::string& path, std::span<const uint8_t> bytes, platform::AtomicStage* failed) {
      return platform::WriteFileAtomically(path, bytes, failed);
    },
    &platform::AtomicFile::Create, &platform::AtomicFile::Commit, &platform::AtomicFile::Discard,
};

// A module's state in this process. Once loaded it stays (the libraries
// under it keep threads and handlers of their own).
struct Loaded {
  std::mutex mutex;
  std::atomic<bool> ready{false};
  bool tried = false;
  std::string path;     // the file tried
  std::string failure;  // why it cannot be used
  PIN_ModuleProcs procs{};
};
Loaded gLoaded[kModuleCount];

// The folder of the file holding this code: the engine's shared library, or
// the program that links the engine's packages.
std::string EngineFolder() {
  Dl_info info{};
  link_map* map = nullptr;
  std::string file;
  if (dladdr1(reinterpret_cast<void*>(&EngineFolder), &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) &&
      map && map->l_name && map->l_name[0])
    file = map->l_name;
  else {
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) file.assign(self, static_cast<size_t>(n));
  }
  const size_t slash = file.rfind('/');
  return slash == std::string::npos ? std::string(".") : file.substr(0, slash);
}

std::string ModulePath(const ModuleDescription& d) {
  const char* folder = std::getenv("TAVELO_FORMAT_MODULES");
  if (folder && *folder) return std::string(folder) + "/" + d.file;
  return EngineFolder() + "/tavelo/formats/" + d.file;
}

// Loads the module once; 0 with *procs its table, or the one report of why
// it cannot be used.
ErrorCode Load(int which, const PIN_ModuleProcs** procs) {
  Loaded& l = gLoaded[which];
  if (!l.ready.load(std::memory_order_acquire)) {
    std::lock_guard lock(l.mutex);
    if (!l.tried) {
      l.tried = true;
      l.path = ModulePath(kModules[which]);
      dlerror();
      void* handle = dlopen(l.path.c_str(), RTLD_NOW | RTLD_LOCAL);
      void* entry = handle ? dlsym(handle, kModuleEntryName) : nullptr;
      PIN_ModuleProcs table = DefaultProcs();
      if (!entry) {
        const char* why = dlerror();
        l.failure = why ? why : "no entry point";
      } else if (reinterpret_cast<ModuleEntry>(entry)(&kImports, &table) != 0) {
        l.failure = "it was built for another version of the engine";
      } else {
        l.procs = table;
        l.ready.store(true, std::memory_order_release);
      }
    }
    if (!l.ready.load(std::memory_order_acquire))
      return kReport.Message(kSiteFormatModule, kSevError, PIN_ErrNotAvailable,
                             "the format module '" + std::string(kModules[which].name) + "' cannot be loaded from '" +
                                 l.path + "' -- " + l.failure + ".");
  }
  *procs = &l.procs;
  return 0;
}

// The stand-in of slot `Slot` (the table's member `Member`) of module `W`.
template <class Fn>
struct StandIn;
template <class... Args>
struct StandIn<ErrorCode (*)(Args...)> {
  template <int W, auto Member, int Slot>
  static ErrorCode Call(Args... args) {
    // A SeqSpec the module never saw (restored from a project, never drawn)
    // holds nothing of the module's to dispose of.
    if (Slot == PIN_Slot_DisposeSeqSpec && !gLoaded[W].ready.load(std::memory_order_acquire)) return 0;
    const PIN_ModuleProcs* real = nullptr;
    if (ErrorCode err = Load(W, &real)) return err;
    if (!Filled(*real, Slot)) return ApplyDefault(Slot, kModules[W].name);
    return (real->*Member)(args...);
  }
};

template <int W, auto Member, int Slot>
void Stand(PIN_ModuleProcs* procs) {
  if (kModules[W].slots & Bit(Slot))
    procs->*Member = &StandIn<std::remove_reference_t<decltype(procs->*Member)>>::template Call<W, Member, Slot>;
}

template <int W>
ErrorCode Birth(PIN_ModuleInfo* info, PIN_ModuleProcs* procs) {
  const ModuleDescription& d = kModules[W];
  info->signature = d.signature;
  std::strcpy(info->name, d.name);
  info->flags = d.flags;
  info->maxWidth = info->maxHeight = 30000;
  info->fileType = d.types[0];
  for (; info->numFileTypes < PIN_MaxFileTypes && d.types[info->numFileTypes]; ++info->numFileTypes)
    info->fileTypes[info->numFileTypes][0] = d.types[info->numFileTypes];
  for (; info->numExtensions < PIN_MaxExtensions && d.extensions[info->numExtensions]; ++info->numExtensions)
    info->extensions[info->numExtensions] = d.extensions[info->numExtensions];
  info->extension = d.extensions[0];
  // The footage's own dimensions, duration, start, file and saving need no module.
  PIN_InstallStillProcs(procs);
  using P = PIN_ModuleProcs;
  Stand<W, &P::newSeqSpecFromFile, PIN_Slot_NewSeqSpecFromFile>(procs);
  Stand<W, &P::disposeSeqSpec, PIN_Slot_DisposeSeqSpec>(procs);
  Stand<W, &P::drawSparseFrame, PIN_Slot_DrawSparseFrame>(procs);
  Stand<W, &P::drawPartialFrame, PIN_Slot_DrawPartialFrame>(procs);
  Stand<W, &P::getSound, PIN_Slot_GetSound>(procs);
  Stand<W, &P::inqNextFrameTime, PIN_Slot_InqNextFrameTime>(procs);
  Stand<W, &P::getInSpecificData, PIN_Slot_GetInSpecificData>(procs);
  Stand<W, &P::newOutputSpec, PIN_Slot_NewOutputSpec>(procs);
  Stand<W, &P::getOutputOptions, PIN_Slot_GetOutputOptions>(procs);
  Stand<W, &P::disposeOutputOptions, PIN_Slot_DisposeOutputOptions>(procs);
  Stand<W, &P::setOutputFile, PIN_Slot_SetOutputFile>(procs);
  Stand<W, &P::startAdding, PIN_Slot_StartAdding>(procs);
  Stand<W, &P::addFrame, PIN_Slot_AddFrame>(procs);
  Stand<W, &P::endAdding, PIN_Slot_EndAdding>(procs);
  Stand<W, &P::outputFrame, PIN_Slot_OutputFrame>(procs);
  Stand<W, &P::addSoundChunk, PIN_Slot_AddSoundChunk>(procs);
  Stand<W, &P::setOutSpecificData, PIN_Slot_SetOutSpecificData>(procs);
  Stand<W, &P::setOutputInfo, PIN_Slot_SetOutputInfo>(procs);
  Stand<W, &P::getLegalDepths, PIN_Slot_GetLegalDepths>(procs);
  return 0;
}

int IndexOf(FourCC signature) {
  for (int w = 0; w < kModuleCount; ++w)
    if (kModules[w].signature == signature) return w;
  return -1;
}

}  // namespace

ErrorCode ImageFilesBirth(PIN_ModuleInfo* info, PIN_ModuleProcs* procs) {
  // The four-letter names of its formats: the module's extension codes hold
  // three letters, so ".tiff" and ".jpeg" are known by their file types
  // (else such a still was read by the movie module as a one-frame clip).
  if (ErrorCode err = FILE_AddExtensionMap(".tiff", MakeFourCC("TIFF"), 0)) return err;
  if (ErrorCode err = FILE_AddExtensionMap(".jpeg", MakeFourCC("JPEG"), 0)) return err;
  return Birth<kImages>(info, procs);
}
ErrorCode MovieBirth(PIN_ModuleInfo* info, PIN_ModuleProcs* procs) { return Birth<kMovie>(info, procs); }

ErrorCode LoadFormatModule(FourCC signature, const PIN_ModuleProcs** procs) {
  const int w = IndexOf(signature);
  return w < 0 ? kReport.BadParam(kSiteFormatModule, {"LoadFormatModule"}) : Load(w, procs);
}

bool FormatModuleLoaded(FourCC signature) {
  const int w = IndexOf(signature);
  return w >= 0 && gLoaded[w].ready.load(std::memory_order_acquire);
}

void ForgetFormatModulesForTesting() {
  for (Loaded& l : gLoaded) {
    std::lock_guard lock(l.mutex);
    l.tried = false;
    l.ready.store(false, std::memory_order_release);
    l.failure.clear();
  }
}

}  // namespace tv::pin
