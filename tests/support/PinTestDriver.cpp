// The ".tsf" test driver (see PIN_test_driver.h).
#include "PinTestDriver.h"

#include <cstdio>
#include <cstring>

#include "ByteOrder.h"

namespace tv::test::pin {
namespace {

using tv::pin::PixelLock;

int32_t gDecodes = 0;

// Instance data: the frame decoded last, its pixels after the header.
struct Decoded {
  int32_t index;
  uint32_t width, height;
};

ErrorCode ReadHeader(FILE_SpecH file, uint32_t* w, uint32_t* h, uint32_t* seed) {
  if (ErrorCode err = FILE_Open(FILE_PermRead, file)) return err;
  uint8_t bytes[16] = {};
  ErrorCode err = FILE_NRead(file, sizeof bytes, bytes);
  FILE_Close(file);
  if (err) return err;
  be::Reader r(bytes);
  if (r.ReadFourCC() != MakeFourCC("TSF1")) return PIN_ErrCannotImport;
  *w = r.Read<uint32_t>();
  *h = r.Read<uint32_t>();
  *seed = r.Read<uint32_t>();
  return 0;
}

ErrorCode New(PIN_SeqSpecH seq, FILE_SpecH file, uint32_t) {
  uint32_t w = 0, h = 0, seed = 0;
  if (ErrorCode err = ReadHeader(file, &w, &h, &seed)) return err;
  PIN_SourceInfo info{};
  info.fileType = kTsfType;
  info.width = static_cast<int32_t>(w);
  info.height = static_cast<int32_t>(h);
  info.depth = 32;
  info.duration = Time{0, 1};
  info.start = Time{0, 1};
  info.alpha.type = PIN_Alpha_Straight;
  return PIN_SetSourceInfo(seq, &info);
}

ErrorCode Dispose(PIN_SeqSpecH seq) {
  Handle data = nullptr;
  PIN_GetInstanceData(seq, &data);
  if (data) DisposeHandle(data);
  return PIN_SetInstanceData(seq, nullptr);
}

// The decoded frame at the time, decoding it when it is not the last one.
ErrorCode Decode(PIN_SeqSpecH seq, const Time& time, Handle* out) {
  int32_t index = 0;
  if (ErrorCode err = PIN_GetFrameIndex(seq, &time, &index)) return err;
  Handle data = nullptr;
  PIN_GetInstanceData(seq, &data);
  if (data && reinterpret_cast<Decoded*>(*data)->index == index) {
    *out = data;
    return 0;
  }
  FILE_SpecH file = nullptr;
  if (ErrorCode err = PIN_GetFileAtTime(seq, &time, &file)) return err;
  uint32_t w = 0, h = 0, seed = 0;
  ErrorCode err = ReadHeader(file, &w, &h, &seed);
  FILE_Dispose(file);
  if (err) return err;
  const Size bytes = static_cast<Size>(sizeof(Decoded) + size_t{4} * w * h);
  if (!data) {
    data = NewHandle(bytes);
    if (!data) return kErrOutOfMemory;
    PIN_SetInstanceData(seq, data);
  } else if (GetHandleSize(data) != bytes) {
    SetHandleSize(data, bytes);
    if (GetHandleSize(data) != bytes) return kErrOutOfMemory;
  }
  Decoded* d = reinterpret_cast<Decoded*>(*data);
  d->index = index, d->width = w, d->height = h;
  uint8_t* p = reinterpret_cast<uint8_t*>(*data) + sizeof(Decoded);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x, p += 4) {
      const uint32_t argb = TsfPixel(seed, static_cast<int32_t>(x), static_cast<int32_t>(y));
      p[0] = static_cast<uint8_t>(argb >> 24), p[1] = static_cast<uint8_t>(argb >> 16);
      p[2] = static_cast<uint8_t>(argb >> 8), p[3] = static_cast<uint8_t>(argb);
    }
  ++gDecodes;
  *out = data;
  return 0;
}

// Copies the decoded frame (scaled by nearest samples) into the World, the
// part from (left, top) of the scaled frame.
ErrorCode Copy(PIN_SeqSpecH seq, const PIN_DrawParams* params, BM_World world, int32_t left, int32_t top) {
  Handle data = nullptr;
  if (ErrorCode err = Decode(seq, params->time, &data)) return err;
  const Decoded d = *reinterpret_cast<Decoded*>(*data);
  int32_t sw = static_cast<int32_t>(d.width), sh = static_cast<int32_t>(d.height);
  if (ErrorCode err = PIN_ScaleDimensions(&params->scaleX, &params->scaleY, &sw, &sh)) return err;
  PixelLock px(world);
  if (!px.ok()) return kErrBadParam;
  const uint8_t* src = reinterpret_cast<const uint8_t*>(*data) + sizeof(Decoded);
  const size_t srcRow = size_t{4} * d.width;
  if (sw == static_cast<int32_t>(d.width) && sh == static_cast<int32_t>(d.height)) {
    for (int32_t y = 0; y < px.height(); ++y)
      std::memcpy(px.Row(y),
                  src + static_cast<size_t>(y + top) * srcRow + size_t{4} * static_cast<size_t>(left),
                  size_t{4} * static_cast<size_t>(px.width()));
    return 0;
  }
  for (int32_t y = 0; y < px.height(); ++y) {
    const int64_t sy = static_cast<int64_t>(y + top) * d.height / sh;
    uint8_t* dst = px.Row(y);
    for (int32_t x = 0; x < px.width(); ++x) {
      const int64_t sx = static_cast<int64_t>(x + left) * d.width / sw;
      std::memcpy(dst + 4 * x, src + static_cast<size_t>(sy) * srcRow + 4 * static_cast<size_t>(sx), 4);
    }
  }
  return 0;
}

ErrorCode Draw(PIN_SeqSpecH seq, const PIN_DrawParams* params, BM_World world) {
  return Copy(seq, params, world, 0, 0);
}

ErrorCode DrawPartial(PIN_SeqSpecH seq, const PIN_DrawParams* params, BM_World world) {
  return Copy(seq, params, world, params->part.left, params->part.top);
}

// ---- Output: each frame written as a .tsf whose seed is the red of its
// first pixel (the module's state: the file's path).
std::string NameOf(FILE_SpecH file, int32_t form) {
  char name[FILE_MaxPath] = "";
  FILE_InqName(file, form, name, sizeof name);
  return name;
}
ErrorCode SetFile(PIN_OutputSpecH out, FILE_SpecH file) {
  return PIN_SetOutputInstance(out, new std::string(NameOf(file, FILE_NameFullPath)),
                               [](void* p) { delete static_cast<std::string*>(p); });
}
ErrorCode OutputFrame(PIN_OutputSpecH out, BM_World world) {
  void* state = nullptr;
  PIN_GetOutputInstance(out, &state);
  PixelLock px(world);
  if (!state || !px.ok()) return kErrBadParam;
  WriteTsf(*static_cast<std::string*>(state), static_cast<uint32_t>(px.width()),
           static_cast<uint32_t>(px.height()), px.Row(0)[1]);
  return 0;
}
ErrorCode Nothing(PIN_OutputSpecH) { return 0; }

std::vector<std::string> gOutLog;
ErrorCode Log(std::string what) {
  gOutLog.push_back(std::move(what));
  return 0;
}
ErrorCode OutNew(PIN_OutputSpecH) { return Log("new"); }
ErrorCode OutFile(PIN_OutputSpecH, FILE_SpecH file) { return Log("file " + NameOf(file, FILE_NameOnly)); }
ErrorCode OutStart(PIN_OutputSpecH) { return Log("start"); }
ErrorCode OutFrame(PIN_OutputSpecH, int32_t index, BM_World) { return Log("frame " + std::to_string(index)); }
ErrorCode OutEnd(PIN_OutputSpecH) { return Log("end"); }
ErrorCode OutFlush(PIN_OutputSpecH) { return Log("flush"); }
ErrorCode OutSound(PIN_OutputSpecH, Handle) { return Log("sound"); }
ErrorCode OutSizes(PIN_OutputSpecH, int64_t*, int64_t*) { return PIN_ErrNoSizes; }
ErrorCode OutInfo(PIN_OutputSpecH, const void* info, int32_t) {
  return Log("info " + std::to_string(static_cast<const PIN_OutputInfo*>(info)->depth));
}
ErrorCode OutSetData(PIN_OutputSpecH, int32_t selector, const void* data, int32_t size) {
  if (size != 4) return kErrBadParam;
  int32_t v = 0;
  std::memcpy(&v, data, 4);
  return Log("data " + std::to_string(selector) + "=" + std::to_string(v));
}
ErrorCode OutOptions(PIN_OutputSpecH, Handle* options) {
  *options = NewHandle(4);
  if (!*options) return kErrOutOfMemory;
  std::memcpy(**options, "TOo1", 4);
  return 0;
}
ErrorCode OutDisposeOptions(PIN_OutputSpecH, Handle options) {
  if (options) DisposeHandle(options);
  return Log("dispose options");
}

}  // namespace

std::vector<std::string>& OutLog() { return gOutLog; }

ErrorCode OutBirth(PIN_ModuleInfo* info, PIN_ModuleProcs* procs) {
  info->signature = kOutSig;
  std::strcpy(info->name, "Test Output");
  info->flags = PIN_ModFlag_Files;
  info->maxWidth = info->maxHeight = 100;
  info->numExtensions = 1;
  info->extension = info->extensions[0] = MakeFourCC(".tou");
  procs->newOutputSpec = OutNew;
  procs->setOutputFile = OutFile;
  procs->startAdding = OutStart;
  procs->addFrame = OutFrame;
  procs->endAdding = OutEnd;
  procs->flush = OutFlush;
  procs->addSoundChunk = OutSound;
  procs->getSizes = OutSizes;
  procs->setOutputInfo = OutInfo;
  procs->setOutSpecificData = OutSetData;
  procs->getOutputOptions = OutOptions;
  procs->disposeOutputOptions = OutDisposeOptions;
  return 0;
}

uint32_t TsfPixel(uint32_t seed, int32_t x, int32_t y) {
  const uint32_t r = (static_cast<uint32_t>(x) + seed) & 0xFF;
  const uint32_t g = (static_cast<uint32_t>(y) * 3 + seed * 7) & 0xFF;
  const uint32_t b = (static_cast<uint32_t>(x) ^ static_cast<uint32_t>(y)) & 0xFF;
  return 0xFF000000u | (r << 16) | (g << 8) | b;
}

int32_t TsfDecodes() { return gDecodes; }

void WriteTsf(const std::string& path, uint32_t width, uint32_t height, uint32_t seed) {
  be::Writer w;
  w.WriteFourCC(MakeFourCC("TSF1"));
  w.Write<uint32_t>(width);
  w.Write<uint32_t>(height);
  w.Write<uint32_t>(seed);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(w.bytes().data(), 1, w.size(), f);
  std::fclose(f);
}

ErrorCode TsfBirth(PIN_ModuleInfo* info, PIN_ModuleProcs* procs) {
  info->signature = kTsfSig;
  std::strcpy(info->name, "Test Frames");
  info->flags = PIN_ModFlag_Files | PIN_ModFlag_StillPerFile | PIN_ModFlag_NoTime;
  info->maxWidth = info->maxHeight = 30000;
  info->fileType = kTsfType;
  info->numFileTypes = 1;
  info->fileTypes[0][0] = kTsfType;
  info->numExtensions = 1;
  info->extension = info->extensions[0] = MakeFourCC(".tsf");
  PIN_InstallStillProcs(procs);
  procs->newSeqSpecFromFile = New;
  procs->disposeSeqSpec = Dispose;
  procs->drawSparseFrame = Draw;
  procs->drawPartialFrame = DrawPartial;
  procs->newOutputSpec = Nothing;
  procs->setOutputFile = SetFile;
  procs->outputFrame = OutputFrame;
  procs->startAdding = Nothing;
  procs->endAdding = Nothing;
  return 0;
}

ErrorCode EmptyBirth(PIN_ModuleInfo* info, PIN_ModuleProcs*) {
  info->signature = MakeFourCC("EMPT");
  std::strcpy(info->name, "Empty");
  info->numExtensions = 1;
  info->extension = info->extensions[0] = MakeFourCC(".emp");
  return 0;
}

}  // namespace tv::test::pin
