// A format module's side of the engine's table (module_imports.h): the
// engine operations the driver's code calls, each passing the call on to the
// engine that loaded the module, and the module's entry point. Compiled into
// each module with TAVELO_MODULE_INSTALL naming the driver's installer.
#include <cstring>

#include "module_imports.h"

#ifndef TAVELO_MODULE_INSTALL
#error "TAVELO_MODULE_INSTALL names the driver's table installer"
#endif

namespace tv::pin {
void TAVELO_MODULE_INSTALL(PIN_ModuleProcs* procs);
namespace {
ModuleImports gEngine{};
}  // namespace
}  // namespace tv::pin

using tv::pin::gEngine;

extern "C" {

Handle NewHandle(Size size) { return gEngine.NewHandle(size); }
Size GetHandleSize(Handle h) { return gEngine.GetHandleSize(h); }
void DisposeHandle(Handle h) { gEngine.DisposeHandle(h); }
ErrorCode EMUL_GetMemoryBudget(EMUL_BudgetInfo* info) { return gEngine.EMUL_GetMemoryBudget(info); }
ErrorCode FILE_Dispose(FILE_SpecH ref) { return gEngine.FILE_Dispose(ref); }
ErrorCode PIN_GetFile(PIN_SeqSpecH seq, FILE_SpecH* file) { return gEngine.PIN_GetFile(seq, file); }
ErrorCode PIN_GetFileAtTime(PIN_SeqSpecH seq, const Time* time, FILE_SpecH* file) {
  return gEngine.PIN_GetFileAtTime(seq, time, file);
}
ErrorCode PIN_GetFrameIndex(PIN_SeqSpecH seq, const Time* time, int32_t* index) {
  return gEngine.PIN_GetFrameIndex(seq, time, index);
}
ErrorCode PIN_GetSourceInfo(PIN_SeqSpecH seq, PIN_SourceInfo* info) { return gEngine.PIN_GetSourceInfo(seq, info); }
ErrorCode PIN_SetSourceInfo(PIN_SeqSpecH seq, const PIN_SourceInfo* info) {
  return gEngine.PIN_SetSourceInfo(seq, info);
}
ErrorCode PIN_SetHSF(PIN_SeqSpecH seq, uint32_t numerator, uint32_t denominator) {
  return gEngine.PIN_SetHSF(seq, numerator, denominator);
}
ErrorCode PIN_GetInstanceData(PIN_SeqSpecH seq, Handle* data) { return gEngine.PIN_GetInstanceData(seq, data); }
ErrorCode PIN_SetInstanceData(PIN_SeqSpecH seq, Handle data) { return gEngine.PIN_SetInstanceData(seq, data); }
ErrorCode PIN_GetOutputInstance(PIN_OutputSpecH out, void** state) {
  return gEngine.PIN_GetOutputInstance(out, state);
}
ErrorCode PIN_SetOutputInstance(PIN_OutputSpecH out, void* state, void (*dispose)(void* state)) {
  return gEngine.PIN_SetOutputInstance(out, state, dispose);
}
ErrorCode PIN_InstallStillProcs(PIN_ModuleProcs* procs) { return gEngine.PIN_InstallStillProcs(procs); }
ErrorCode BM_GetWorldInfo(BM_World world, int32_t* width, int32_t* height, int32_t* depth, int32_t* rowBytes) {
  return gEngine.BM_GetWorldInfo(world, width, height, depth, rowBytes);
}
ErrorCode BM_LockPixels(int32_t mode, BM_World world, Boolean32* failed) {
  return gEngine.BM_LockPixels(mode, world, failed);
}
ErrorCode BM_UnlockPixels(BM_World world) { return gEngine.BM_UnlockPixels(world); }
char* BMp_GetPixBaseAddr(BM_World world) { return gEngine.BMp_GetPixBaseAddr(world); }
ErrorCode SNDp_GetWorldInfo(SND_World world, SND_WorldInfo* info) { return gEngine.SNDp_GetWorldInfo(world, info); }
ErrorCode SNDp_GetBuffer(SND_World world, void** samples) { return gEngine.SNDp_GetBuffer(world, samples); }
ErrorCode SND_LockBuffer(Boolean32 moveHigh, SND_World world) { return gEngine.SND_LockBuffer(moveHigh, world); }
ErrorCode SND_UnlockBuffer(SND_World world) { return gEngine.SND_UnlockBuffer(world); }
ErrorCode SND_UpdateWorld(int32_t quality, const SND_Format* format, void* progress, SND_World world) {
  return gEngine.SND_UpdateWorld(quality, format, progress, world);
}

// The module's only exported symbol.
__attribute__((visibility("default"))) ErrorCode TaveloFormatModule(const tv::pin::ModuleImports* imports,
                                                                     PIN_ModuleProcs* procs) {
  if (!imports || !procs || imports->size != sizeof(tv::pin::ModuleImports) ||
      imports->version != tv::pin::kModuleImportsVersion)
    return PIN_ErrNotAvailable;
  std::memcpy(&gEngine, imports, sizeof gEngine);
  tv::pin::TAVELO_MODULE_INSTALL(procs);
  return 0;
}

}  // extern "C"

namespace tv::pin {

ErrorCode BadArgument(uint32_t site, const char* what) { return gEngine.BadArgument(site, what); }
ErrorCode CannotRead(uint32_t site, std::string_view name, std::string_view reason) {
  return gEngine.CannotRead(site, name, reason);
}
ErrorCode CannotWrite(uint32_t site, ErrorCode code, std::string_view name, std::string_view reason) {
  return gEngine.CannotWrite(site, code, name, reason);
}
ErrorCode CannotWriteFile(uint32_t site, ErrorCode platformCode, std::string_view name) {
  return gEngine.CannotWriteFile(site, platformCode, name);
}
ErrorCode DrawFrame(const Frame& f, const PIN_DrawParams* params, BM_World world, int32_t left, int32_t top) {
  return gEngine.DrawFrame(f, params, world, left, top);
}
std::string PathOf(FILE_SpecH file) { return gEngine.PathOf(file); }
std::string NameOf(FILE_SpecH file) { return gEngine.NameOf(file); }
ErrorCode FillSound(SoundSource& src, const PIN_SoundRequest* request, Handle world, uint32_t site,
                    std::string_view name) {
  return gEngine.FillSound(src, request, world, site, name);
}
ErrorCode AnswerSoundFormat(const SoundSource* src, int32_t selector, void* data, int32_t size) {
  return gEngine.AnswerSoundFormat(src, selector, data, size);
}

}  // namespace tv::pin

namespace tv::platform {

int WriteFully(int fd, const void* data, size_t size, size_t* written) {
  return gEngine.WriteFully(fd, data, size, written);
}
ErrorCode WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes, AtomicStage* failed) {
  return gEngine.WriteFileAtomically(path, bytes, failed);
}
// The object's members are the engine's: built and ended here as there.
AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {}
AtomicFile::~AtomicFile() { Discard(); }
ErrorCode AtomicFile::Create() { return (this->*gEngine.AtomicCreate)(); }
ErrorCode AtomicFile::Commit(AtomicStage* stage) { return (this->*gEngine.AtomicCommit)(stage); }
void AtomicFile::Discard() { (this->*gEngine.AtomicDiscard)(); }

}  // namespace tv::platform
