// What the format drivers built on system libraries share: their births,
// their report sites, the decoded frame they keep and how it is drawn, the
// conversion of deep samples to bytes, and the one report of a file a
// library cannot read.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "AtomicFile.h"
#include "PIN_internal.h"

namespace tv::pin {

// Births (registered from PIN's driver table).
ErrorCode ImageFilesBirth(PIN_ModuleInfo* info, PIN_ModuleProcs* procs);
ErrorCode MovieBirth(PIN_ModuleInfo* info, PIN_ModuleProcs* procs);
ErrorCode SoundFilesBirth(PIN_ModuleInfo* info, PIN_ModuleProcs* procs);

// The drivers in shared objects of their own (drivers_modules.cpp): the
// module's real table, loaded on first use (the one report of why it cannot
// be loaded otherwise); whether it is loaded; and, for tests, forgetting
// every module that was loaded or tried so the next use loads it afresh
// (from TAVELO_FORMAT_MODULES as it is then), while no footage or output
// of theirs is open.
ErrorCode LoadFormatModule(FourCC signature, const PIN_ModuleProcs** procs);
bool FormatModuleLoaded(FourCC signature);
void ForgetFormatModulesForTesting();

// Report sites of the drivers (below the slot defaults' sites).
enum DriverSite : uint32_t {
  kSiteImageRead = 0x20,
  kSiteImageWrite = 0x21,
  kSiteMovieRead = 0x22,
  kSiteMovieWrite = 0x23,
  kSiteSoundRead = 0x24,
  kSiteSoundWrite = 0x25,
};

// A decoded frame: ARGB bytes (byte 0 alpha), rows packed.
struct Frame {
  int32_t width = 0, height = 0;
  int64_t index = -1;  // the frame it holds; -1 for none
  std::vector<uint8_t> argb;
};

// Copies the frame (scaled by nearest samples to the params' scale) into the
// World: the part whose top left is (left, top) in scaled pixels.
ErrorCode DrawFrame(const Frame& f, const PIN_DrawParams* params, BM_World world, int32_t left, int32_t top);

// A sample in 0..1 as a byte: rounded to nearest, clamped; NaN is 0.
inline uint8_t UnitToByte(float v) {
  if (!(v > 0.0f)) return 0;
  if (v >= 1.0f) return 255;
  return static_cast<uint8_t>(std::lround(v * 255.0f));
}
// A 16-bit sample as a byte, rounded to nearest.
inline uint8_t WordToByte(uint16_t v) { return static_cast<uint8_t>((v * 255u + 32767u) / 65535u); }

// The full path and the name of a file reference ("" when it has none).
std::string PathOf(FILE_SpecH file);
std::string NameOf(FILE_SpecH file);

// The one report of a bad argument to a driver's operation `what`; returns 3.
ErrorCode BadArgument(uint32_t site, const char* what);
// Reports that a library cannot read `name` (9987, "file '<name>' cannot be
// imported -- <reason>."), once; returns the code.
ErrorCode CannotRead(uint32_t site, std::string_view name, std::string_view reason);
// Reports a failed write of `name` with the library's reason; returns code.
ErrorCode CannotWrite(uint32_t site, ErrorCode code, std::string_view name, std::string_view reason);
// Reports that the platform refused writing `name` ("cannot write 'x.png'
// -- disk is full (-34)."); returns the platform code.
ErrorCode CannotWriteFile(uint32_t site, ErrorCode platformCode, std::string_view name);

// A file's frames must have the size its footage was imported with: a file
// replaced on disk by one of another size, or a still sequence whose files
// differ, is refused with the one report of why, naming the file.
// (Inline: a module reaches what it calls through its import table.)
inline ErrorCode CheckFrameSize(PIN_SeqSpecH seq, int32_t width, int32_t height, uint32_t site,
                                std::string_view name) {
  PIN_SourceInfo info{};
  if (ErrorCode err = PIN_GetSourceInfo(seq, &info)) return err;
  if (width == info.width && height == info.height) return 0;
  const auto size = [](int32_t w, int32_t h) { return std::to_string(w) + " x " + std::to_string(h); };
  return CannotRead(site, name,
                    "it is " + size(width, height) + " pixels where the footage is " + size(info.width, info.height));
}

// A driver's own C++ object kept as the SeqSpec's instance data (a handle
// holding the pointer). Take hands the object over; Get finds it.
template <class T>
T* GetInstance(PIN_SeqSpecH seq) {
  Handle h = nullptr;
  if (PIN_GetInstanceData(seq, &h) || !h || GetHandleSize(h) != sizeof(T*)) return nullptr;
  return *reinterpret_cast<T**>(*h);
}
template <class T>
ErrorCode SetInstance(PIN_SeqSpecH seq, T* object) {
  Handle h = NewHandle(sizeof(T*));
  if (!h) {
    delete object;
    return kErrOutOfMemory;
  }
  *reinterpret_cast<T**>(*h) = object;
  if (ErrorCode err = PIN_SetInstanceData(seq, h)) {
    DisposeHandle(h);
    delete object;
    return err;
  }
  return 0;
}
template <class T>
void DisposeInstance(PIN_SeqSpecH seq) {
  Handle h = nullptr;
  if (PIN_GetInstanceData(seq, &h) || !h) return;
  if (GetHandleSize(h) == sizeof(T*)) delete *reinterpret_cast<T**>(*h);
  DisposeHandle(h);
  PIN_SetInstanceData(seq, nullptr);
}

}  // namespace tv::pin

namespace tv::pin {

// Interleaved float samples (full scale 1.0) of a source at `rate`: the
// frame at index i is the source's time i / rate from its start.
struct SoundSource {
  double rate = 0;
  int32_t channels = 0;
  int64_t frames = 0;  // of the whole source
  // Reads `count` frames from frame `first` (in the source) into out
  // (count * channels floats); the frames read (0 past the end), or -1 with
  // the library's reason in *why.
  virtual int64_t Read(int64_t first, int64_t count, float* out, std::string* why) = 0;
  // A source of 8- or 16-bit integer samples may also read them as signed
  // 16-bit values (sets shorts): the floats above are exactly these over
  // 32768, so a world of them converts to every format as the floats would.
  bool shorts = false;
  virtual int64_t ReadShorts(int64_t, int64_t, int16_t*, std::string* why) {
    *why = "no 16-bit reading";
    return -1;
  }
  virtual ~SoundSource() = default;
};

// Answers a sound request from a source into the world (see
// PIN_SoundRequest): reads the span, mixes down to at most two channels and
// converts to the requested format. Failures are reported once at site.
ErrorCode FillSound(SoundSource& src, const PIN_SoundRequest* request, Handle world, uint32_t site,
                    std::string_view name);
// Answers PIN_SeqData_SoundFormat with the source's format (signed 16-bit
// samples at its rate and at most two channels; channels 0 for a source
// without sound); other selectors leave data alone.
ErrorCode AnswerSoundFormat(const SoundSource* src, int32_t selector, void* data, int32_t size);
// A sample of a sound world's buffer at full 32-bit scale (floats clamped).
int32_t SampleToInt32(const SND_Format& f, const uint8_t* p);

}  // namespace tv::pin

namespace tv::pin {

// The state of an output under way, owned by the OutputSpec (its instance).
// It is made when the output's file is set and freed when adding ends or
// fails, or with the OutputSpec.
template <class T>
T* GetOutput(PIN_OutputSpecH out) {
  void* state = nullptr;
  if (!out || !kOutMagic.Intact(out) || PIN_GetOutputInstance(out, &state) != 0) return nullptr;
  return static_cast<T*>(state);
}
template <class T>
ErrorCode SetOutput(PIN_OutputSpecH out, T* state) {
  return PIN_SetOutputInstance(out, state, [](void* p) { delete static_cast<T*>(p); });
}
template <class T>
void EndOutput(PIN_OutputSpecH out) {
  if (GetOutput<T>(out)) PIN_SetOutputInstance(out, nullptr, nullptr);
}

// A scratch file beside an output's final name for a writer that assembles
// the final file from it at the end (through the atomic replacement). It has
// the form of the atomic replacement's temporaries and goes with the object.
class PartialFile {
 public:
  explicit PartialFile(std::string finalPath) : scratch_(std::move(finalPath)) {}
  // Makes a new empty scratch file (dropping an earlier one); a platform code.
  ErrorCode Create() { return scratch_.Create(); }
  const std::string& path() const { return scratch_.tempPath(); }
  const std::string& finalPath() const { return scratch_.path(); }

 private:
  platform::AtomicFile scratch_;  // never committed
};

}  // namespace tv::pin
