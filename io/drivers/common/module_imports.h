// The format drivers built on large libraries (the image files on
// OpenImageIO and libjpeg, the movies on FFmpeg) live in shared objects of
// their own, loaded when one of their slots is first called. Such a module
// links none of the engine: every engine operation its code calls arrives in
// this table, handed to the module's entry point. The engine's shared library
// and programs that link the engine's packages statically (the tests) then
// load the same module file, each giving it its own engine.
#pragma once

#include <cstdint>

#include "AtomicFile.h"
#include "drivers.h"

namespace tv::pin {

// The table the engine hands to a format module.
struct ModuleImports {
  uint32_t size;  // sizeof(ModuleImports) of the engine that made it
  uint32_t version;
  // Memory, files, footage and outputs.
  decltype(&::NewHandle) NewHandle;
  decltype(&::GetHandleSize) GetHandleSize;
  decltype(&::DisposeHandle) DisposeHandle;
  decltype(&::EMUL_GetMemoryBudget) EMUL_GetMemoryBudget;
  decltype(&::FILE_Dispose) FILE_Dispose;
  decltype(&::PIN_GetFile) PIN_GetFile;
  decltype(&::PIN_GetFileAtTime) PIN_GetFileAtTime;
  decltype(&::PIN_GetFrameIndex) PIN_GetFrameIndex;
  decltype(&::PIN_GetSourceInfo) PIN_GetSourceInfo;
  decltype(&::PIN_SetSourceInfo) PIN_SetSourceInfo;
  decltype(&::PIN_SetHSF) PIN_SetHSF;
  decltype(&::PIN_GetInstanceData) PIN_GetInstanceData;
  decltype(&::PIN_SetInstanceData) PIN_SetInstanceData;
  decltype(&::PIN_GetOutputInstance) PIN_GetOutputInstance;
  decltype(&::PIN_SetOutputInstance) PIN_SetOutputInstance;
  decltype(&::PIN_InstallStillProcs) PIN_InstallStillProcs;
  // Worlds of pixels and of sound.
  decltype(&::BM_GetWorldInfo) BM_GetWorldInfo;
  decltype(&::BM_LockPixels) BM_LockPixels;
  decltype(&::BM_UnlockPixels) BM_UnlockPixels;
  decltype(&::BMp_GetPixBaseAddr) BMp_GetPixBaseAddr;
  decltype(&::SNDp_GetWorldInfo) SNDp_GetWorldInfo;
  decltype(&::SNDp_GetBuffer) SNDp_GetBuffer;
  decltype(&::SND_LockBuffer) SND_LockBuffer;
  decltype(&::SND_UnlockBuffer) SND_UnlockBuffer;
  decltype(&::SND_UpdateWorld) SND_UpdateWorld;
  // The drivers' shared helpers (drivers.h) and reports.
  decltype(&pin::BadArgument) BadArgument;
  decltype(&pin::CannotRead) CannotRead;
  decltype(&pin::CannotWrite) CannotWrite;
  decltype(&pin::CannotWriteFile) CannotWriteFile;
  decltype(&pin::DrawFrame) DrawFrame;
  decltype(&pin::PathOf) PathOf;
  decltype(&pin::NameOf) NameOf;
  decltype(&pin::FillSound) FillSound;
  decltype(&pin::AnswerSoundFormat) AnswerSoundFormat;
  // The checked, atomic road to files (its temporaries are listed for the
  // engine's fatal-signal handler; its injected faults apply).
  int (*WriteFully)(int fd, const void* data, size_t size, size_t* written);
  ErrorCode (*WriteFileAtomically)(const std::string& path, std::span<const uint8_t> bytes,
                                   platform::AtomicStage* failed);
  ErrorCode (platform::AtomicFile::*AtomicCreate)();
  ErrorCode (platform::AtomicFile::*AtomicCommit)(platform::AtomicStage* stage);
  void (platform::AtomicFile::*AtomicDiscard)();
};

// Changes whenever the table above changes.
inline constexpr uint32_t kModuleImportsVersion = 2;

// A module's entry point, "TaveloFormatModule": checks the table, keeps it
// and fills the driver's slots; 0, or PIN_ErrNotAvailable for a table of
// another engine.
using ModuleEntry = ErrorCode (*)(const ModuleImports* imports, PIN_ModuleProcs* procs);
inline constexpr const char* kModuleEntryName = "TaveloFormatModule";

}  // namespace tv::pin
