// The ElectricImage module's output. Frames go, as they are added, into a
// partial file beside the final name (through the file layer); ending the
// output writes the final file through the atomic replacement: the header
// with the number of frames, then the frames in the order of their indices.
// An output that fails or is never ended leaves nothing under the final name.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "AtomicFile.h"
#include "ByteOrder.h"
#include "Errno.h"
#include "EI_internal.h"
#include "Scratch.h"
#include "drivers/common/drivers.h"

using namespace tv;
using namespace tv::ei;

namespace {

// One frame in the partial file.
struct Entry {
  int32_t index;
  int64_t offset, length;
};

// The state of an output under way.
struct Output {
  explicit Output(std::string path) : partial(std::move(path)) {}
  ~Output() {
    if (ref) FILE_Dispose(ref);  // closed before the partial file is removed
  }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  pin::PartialFile partial;
  FILE_SpecH ref = nullptr;  // the partial file, open for writing while adding
  int32_t width = 0, height = 0;
  std::vector<Entry> entries;
  int64_t size = 0;               // bytes of the partial file
  ScratchArray<uint8_t> frame;    // the encoded frame ("memory for writing")
  ScratchArray<uint8_t> packed;   // the World's rows without padding, when it has some
};

std::string NameIn(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// The output's state, made from the OutputSpec's file when there is none
// (an output started again after it ended).
Output* StateOf(PIN_OutputSpecH out) {
  if (Output* o = pin::GetOutput<Output>(out)) return o;
  if (!out || !pin::kOutMagic.Intact(out) || !pin::OutRec(out).file) return nullptr;
  const std::string path = pin::PathOf(pin::OutRec(out).file);
  if (path.empty()) return nullptr;
  auto* o = new Output(path);
  if (pin::SetOutput(out, o) != 0) return nullptr;
  return o;
}

ErrorCode WriteAll(FILE_SpecH ref, int64_t at, const uint8_t* bytes, int64_t count) {
  if (ErrorCode err = FILE_SetPos(ref, at)) return err;
  // Frames of up to 30000 x 30000 pixels pass what one write takes.
  while (count > 0) {
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(count, 1 << 30));
    if (ErrorCode err = FILE_NWrite(ref, n, bytes)) return err;
    bytes += n, count -= n;
  }
  return 0;
}

ErrorCode NewOutput(PIN_OutputSpecH) { return 0; }

ErrorCode SetFile(PIN_OutputSpecH out, FILE_SpecH file) {
  const std::string path = pin::PathOf(file);
  if (path.empty()) return kReport.BadParam(kSiteWrite, {"SetOutputFile"});
  return pin::SetOutput(out, new Output(path));
}

ErrorCode GetOptions(PIN_OutputSpecH out, Handle* options) {
  if (!options) return kReport.BadParam(kSiteWrite, {"GetOutputOptions"});
  // "output options": "EIDI", u16 version 1, u16 the depth written, u32 0.
  *options = NewHandleClear(12);
  if (!*options) return kReport.OutOfMemory(kSiteWrite, "output options", 12);
  uint8_t* p = reinterpret_cast<uint8_t*>(**options);
  be::Store<uint32_t>(p, D_EI_Signature);
  be::Store<uint16_t>(p + 4, 1);
  be::Store<uint16_t>(p + 6, pin::OutRec(out).info.depth > 24 ? 32 : 24);
  return 0;
}

ErrorCode DisposeOptions(PIN_OutputSpecH, Handle options) {
  if (options) DisposeHandle(options);
  return 0;
}

// Nothing to choose: the depth and rate come from the output's information.
ErrorCode OptionsDialog(PIN_OutputSpecH, Boolean32* cancelled) {
  if (cancelled) *cancelled = 0;
  return 0;
}

// What is written: 24 bits, with 8 matte bits above 24; no sound.
ErrorCode GetInfo(PIN_OutputSpecH, void* info, int32_t size) {
  if (!info || size != static_cast<int32_t>(sizeof(PIN_OutputInfo))) return kReport.BadParam(kSiteWrite, {"GetOutputInfo"});
  auto* i = static_cast<PIN_OutputInfo*>(info);
  i->depth = i->depth > 24 ? 32 : 24;
  i->soundRate = 0, i->soundChannels = 0, i->soundBytes = 0, i->soundEncoding = 0;
  return 0;
}

// Frames of one file share their size: a new size is refused once frames
// of another were added.
ErrorCode SetInfo(PIN_OutputSpecH out, const void* info, int32_t size) {
  if (!info || size != static_cast<int32_t>(sizeof(PIN_OutputInfo))) return kReport.BadParam(kSiteWrite, {"SetOutputInfo"});
  const auto* i = static_cast<const PIN_OutputInfo*>(info);
  const Output* o = pin::GetOutput<Output>(out);
  if (o && !o->entries.empty() && (i->width != o->width || i->height != o->height))
    return kReport.Fail(kSiteWrite, PIN_ErrBadRequest, kTextDifferingSizes);
  return 0;
}

ErrorCode Labels(PIN_OutputSpecH) { return kReport.Fail(kSiteWrite, kErrUnimplemented, kTextNoLabels); }

ErrorCode Sizes(PIN_OutputSpecH out, int64_t* volumeSpace, int64_t* fileSize) {
  const Output* o = pin::GetOutput<Output>(out);
  if (!o) return PIN_ErrNoSizes;  // the framework answers for an output not under way
  FILE_SpecH parent = nullptr;
  if (ErrorCode err = FILE_ParentDir(pin::OutRec(out).file, 0, &parent)) return err;
  uint64_t space = 0;
  const ErrorCode err = FILE_InqVolSpaceAvailable(parent, &space);
  FILE_Dispose(parent);
  if (err) return err;
  *volumeSpace = static_cast<int64_t>(std::min<uint64_t>(space, INT64_MAX));
  *fileSize = o->size;
  return 0;
}

ErrorCode Flush(PIN_OutputSpecH out) {
  const Output* o = pin::GetOutput<Output>(out);
  return o && o->ref ? FILE_Flush(o->ref) : 0;
}

ErrorCode Suffix(PIN_OutputSpecH, char* suffix, int32_t size) {
  if (!suffix || size < 5) return kReport.BadParam(kSiteWrite, {"GetOutputSuffix"});
  std::memcpy(suffix, ".img", 5);
  return 0;
}

// Writes the final file: the header, then the frames by index (the last one
// added of an index), copied from the partial file.
ErrorCode Finish(Output& o) {
  std::stable_sort(o.entries.begin(), o.entries.end(), [](const Entry& a, const Entry& b) { return a.index < b.index; });
  std::vector<Entry> frames;
  for (const Entry& e : o.entries) {
    if (!frames.empty() && frames.back().index == e.index)
      frames.back() = e;
    else
      frames.push_back(e);
  }
  uint8_t head[D_EI_FileHeaderSize];
  WriteFileHeader(static_cast<uint32_t>(frames.size()), std::span<uint8_t, D_EI_FileHeaderSize>(head));
  const int in = ::open(o.partial.path().c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return kSysFileNotFound;
  const ErrorCode err = platform::ReplaceFileAtomically(o.partial.finalPath(), [&](int fd, const std::string&) -> ErrorCode {
    int e = platform::WriteFully(fd, head, sizeof head);
    for (auto it = frames.begin(); !e && it != frames.end(); ++it) e = platform::CopyFully(fd, in, it->offset, it->length);
    return platform::FromErrno(e);
  });
  ::close(in);
  return err;
}

}  // namespace

namespace tv::ei {
void InstallOutput(PIN_ModuleProcs& p) {
  p.newOutputSpec = D_EI_NewOutputSpec;
  p.getOutputOptions = GetOptions;
  p.disposeOutputOptions = DisposeOptions;
  p.userOptionsDialog = OptionsDialog;
  p.getOutputInfo = GetInfo;
  p.setOutputInfo = SetInfo;
  p.setOutputFile = SetFile;
  p.startAdding = D_EI_StartAdding;
  p.addFrame = D_EI_AddFrame;
  p.endAdding = D_EI_EndAdding;
  p.outputFrame = D_EI_OutputFrame;
  p.writeLabels = Labels;
  p.getSizes = Sizes;
  p.flush = Flush;
  p.addSoundChunk = D_EI_AddSoundChunk;
  p.getLegalDepths = D_EI_GetLegalDepths;
  p.getOutputSuffix = Suffix;
}
}  // namespace tv::ei

ErrorCode D_EI_NewOutputSpec(PIN_OutputSpecH out) { return NewOutput(out); }

ErrorCode D_EI_StartAdding(PIN_OutputSpecH out) try {
  Output* o = StateOf(out);
  if (!o) return kReport.BadParam(kSiteWrite, {"D_EI_StartAdding (no output file)"});
  // Starting again begins a new file.
  if (o->ref) FILE_Dispose(o->ref);
  o->ref = nullptr;
  o->entries.clear();
  o->size = 0;
  if (ErrorCode err = o->partial.Create())
    return kReport.Fail(kSiteWrite, FILE_TranslateError(err), kTextCannotWrite,
                        {NameIn(o->partial.finalPath()).c_str(), U_GetSysEnglish(err)});
  FILE_SpecH ref = nullptr;
  if (ErrorCode err = FILE_New(o->partial.path().c_str(), FILE_LocFullPath, &ref)) return err;
  ErrorCode err = FILE_Create(FILE_CreateFile, 0, FILE_CreateReplace, ref);
  if (!err) err = FILE_SetFileType(ref, D_EI_FileType, D_EI_Creator);
  if (!err) err = FILE_Open(FILE_PermWrite, ref);
  if (err) {
    FILE_Dispose(ref);
    return err;
  }
  o->ref = ref;
  uint8_t head[D_EI_FileHeaderSize];
  WriteFileHeader(0, std::span<uint8_t, D_EI_FileHeaderSize>(head));
  if ((err = WriteAll(ref, 0, head, sizeof head)) != 0) return err;
  o->size = D_EI_FileHeaderSize;
  return 0;
} TV_CATCH(D_EI_PackageNumber)

ErrorCode D_EI_AddFrame(PIN_OutputSpecH out, int32_t index, BM_World world) try {
  Output* o = pin::GetOutput<Output>(out);
  if (!o || !o->ref || !world) return kReport.BadParam(kSiteWrite, {"D_EI_AddFrame"});
  pin::PixelLock px(world);
  if (!px.ok()) return px.error() ? px.error() : kReport.BadParam(kSiteWrite, {"D_EI_AddFrame"});
  const int32_t w = px.width(), h = px.height();
  if (w < 1 || h < 1 || w > D_EI_MaxSize || h > D_EI_MaxSize) return kReport.BadParam(kSiteWrite, {"D_EI_AddFrame"});
  if (o->entries.empty()) {
    o->width = w, o->height = h;
  } else if (w != o->width || h != o->height) {
    return kReport.Fail(kSiteWrite, PIN_ErrBadRequest, kTextDifferingSizes);
  }
  const int64_t count = int64_t{w} * h;
  const size_t bound = static_cast<size_t>(FrameBytesBound(count));
  if (o->frame.size() != bound && !o->frame.Allocate(bound))
    return kReport.OutOfMemory(kSiteWrite, kTextMemWriting, o->frame.failedBytes());
  const uint8_t* pixels = px.Row(0);
  if (px.rowBytes() != 4 * w) {
    if (o->packed.size() != static_cast<size_t>(count) * 4 && !o->packed.Allocate(static_cast<size_t>(count) * 4))
      return kReport.OutOfMemory(kSiteWrite, kTextMemWriting, o->packed.failedBytes());
    for (int32_t y = 0; y < h; ++y)
      std::memcpy(o->packed.data() + static_cast<size_t>(y) * 4 * static_cast<size_t>(w), px.Row(y), size_t{4} * w);
    pixels = o->packed.data();
  }
  const PIN_OutputInfo& info = pin::OutRec(out).info;
  const bool alpha = info.depth > 24;
  const float time = info.frameRate > 0 ? static_cast<float>(index * 65536.0 / info.frameRate) : 0.0f;
  const int64_t bytes = EncodeFrame(pixels, w, h, alpha, time, o->frame.data());
  // Each frame goes at the end of what was written before, so a write that
  // failed part way leaves only bytes that no entry points at.
  if (ErrorCode err = WriteAll(o->ref, o->size, o->frame.data(), bytes)) return err;
  o->entries.push_back(Entry{index, o->size, bytes});
  o->size += bytes;
  return 0;
} TV_CATCH(D_EI_PackageNumber)

ErrorCode D_EI_EndAdding(PIN_OutputSpecH out) try {
  Output* o = pin::GetOutput<Output>(out);
  if (!o || !o->ref) return kReport.BadParam(kSiteWrite, {"D_EI_EndAdding"});
  const std::string name = NameIn(o->partial.finalPath());
  // A file without frames could not be read back: nothing is written.
  if (o->entries.empty()) {
    pin::EndOutput<Output>(out);
    return kReport.Fail(kSiteWrite, PIN_ErrBadRequest, kTextCannotWrite, {name.c_str(), "no frame was added"});
  }
  ErrorCode err = FILE_Close(o->ref);
  if (err) {
    pin::EndOutput<Output>(out);
    return err;
  }
  FILE_Dispose(o->ref);
  o->ref = nullptr;
  err = Finish(*o);
  pin::EndOutput<Output>(out);  // the partial file goes with it
  if (err) return kReport.Fail(kSiteWrite, FILE_TranslateError(err), kTextCannotWrite, {name.c_str(), U_GetSysEnglish(err)});
  return 0;
} TV_CATCH(D_EI_PackageNumber)

ErrorCode D_EI_OutputFrame(PIN_OutputSpecH out, BM_World world) {
  // Between StartAdding and EndAdding the frame is added after the others
  // (EndAdding writes the file); on its own it is a file of one frame.
  if (const Output* o = pin::GetOutput<Output>(out); o && o->ref) {
    int32_t next = 0;
    for (const Entry& e : o->entries) next = std::max(next, e.index + 1);
    return D_EI_AddFrame(out, next, world);
  }
  if (ErrorCode err = D_EI_StartAdding(out)) return err;
  if (ErrorCode err = D_EI_AddFrame(out, 0, world)) {
    pin::EndOutput<Output>(out);
    return err;
  }
  return D_EI_EndAdding(out);
}

ErrorCode D_EI_GetLegalDepths(PIN_OutputSpecH, uint32_t* depths) {
  if (!depths) return kReport.BadParam(kSiteWrite, {"D_EI_GetLegalDepths"});
  *depths = D_EI_LegalDepths;
  return 0;
}

ErrorCode D_EI_AddSoundChunk(PIN_OutputSpecH, Handle) {
  return kReport.Fail(kSiteSound, PIN_ErrObsolete, kTextUnsupported);
}
