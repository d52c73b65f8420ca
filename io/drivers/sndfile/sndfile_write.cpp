// The sound-file module's output: sound chunks written as a WAV (".wav") or
// AIFF (any other name) file of 16-bit samples, or of the sample size the
// output options ask for. Video frames are accepted and ignored, so the
// module can take part in any output. The file takes its final name only
// when adding ends, every byte written through the checked road.
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "../common/drivers.h"
#include "AtomicFile.h"
#include "ByteOrder.h"
#include "Errno.h"

namespace tv::pin {
namespace {

// Output options (stored big-endian): "SFo1", then the bits of a sample
// (16, 24 or 32 for floats).
constexpr FourCC kOptionsTag = MakeFourCC("SFo1");
constexpr size_t kOptionsSize = 8;
constexpr int32_t kOptionsSelector = 1;  // Get/SetOutSpecificData: the bits of a sample

std::string NameIn(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file is written into a temporary beside its final name through the
// checked road (the library writes through the callbacks below), and takes
// the final name only when adding ends.
struct SoundOutput {
  explicit SoundOutput(std::string path) : file(std::move(path)) {}
  platform::AtomicFile file;
  ErrorCode createError = 0;  // the platform's code when the file cannot be made
  int ioError = 0;            // errno of the first failed write or seek
  int32_t bits = 16;
  SNDFILE* sf = nullptr;
  ~SoundOutput() {
    if (sf) sf_close(sf);
  }
};

SoundOutput& Of(void* user) { return *static_cast<SoundOutput*>(user); }

sf_count_t VirtualLength(void* user) {
  struct stat st {};
  return ::fstat(Of(user).file.fd(), &st) == 0 ? st.st_size : -1;
}
sf_count_t VirtualSeek(sf_count_t offset, int whence, void* user) {
  SoundOutput& o = Of(user);
  const off_t at = ::lseek(o.file.fd(), static_cast<off_t>(offset), whence);
  if (at < 0 && !o.ioError) o.ioError = errno;
  return at;
}
sf_count_t VirtualRead(void* data, sf_count_t count, void* user) {
  const ssize_t n = ::read(Of(user).file.fd(), data, static_cast<size_t>(count));
  return n < 0 ? 0 : n;
}
sf_count_t VirtualWrite(const void* data, sf_count_t count, void* user) {
  SoundOutput& o = Of(user);
  if (o.ioError) return 0;
  size_t written = 0;
  o.ioError = platform::WriteFully(o.file.fd(), data, static_cast<size_t>(count), &written);
  return static_cast<sf_count_t>(written);
}
sf_count_t VirtualTell(void* user) { return ::lseek(Of(user).file.fd(), 0, SEEK_CUR); }

// Reports a failure of the library (the platform's reason when writing the
// file failed) and drops the output with its temporary file.
ErrorCode Fail(PIN_OutputSpecH out, SoundOutput& o, const char* why) {
  const std::string name = NameIn(o.file.path());
  const ErrorCode err = o.createError ? CannotWriteFile(kSiteSoundWrite, o.createError, name)
                        : o.ioError   ? CannotWriteFile(kSiteSoundWrite, platform::FromErrno(o.ioError), name)
                                      : CannotWrite(kSiteSoundWrite, kSysIO, name, why);
  EndOutput<SoundOutput>(out);
  return err;
}

int FormatFor(const std::string& path, int32_t bits) {
  const bool wav = path.size() >= 4 && strcasecmp(path.c_str() + path.size() - 4, ".wav") == 0;
  const int sub = bits == 24 ? SF_FORMAT_PCM_24 : bits == 32 ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_16;
  return (wav ? SF_FORMAT_WAV : SF_FORMAT_AIFF) | sub;
}

// Opens the temporary file at the sound's rate and channels; on failure the
// output is dropped.
ErrorCode OpenWriter(PIN_OutputSpecH out, SoundOutput& o, double rate, int channels) {
  SF_INFO info{};
  info.samplerate = static_cast<int>(rate + 0.5);
  info.channels = channels;
  info.format = FormatFor(o.file.path(), o.bits);
  if ((o.createError = o.file.Create())) return Fail(out, o, "");
  static SF_VIRTUAL_IO io{VirtualLength, VirtualSeek, VirtualRead, VirtualWrite, VirtualTell};
  o.sf = sf_open_virtual(&io, SFM_WRITE, &info, &o);
  if (!o.sf) return Fail(out, o, sf_strerror(nullptr));
  // Samples go in at full 32-bit scale; floats are written over full scale
  // 1, as every reader expects them (the library copies the integers as
  // they are unless told).
  if (o.bits == 32) sf_command(o.sf, SFC_SET_SCALE_INT_FLOAT_WRITE, nullptr, SF_TRUE);
  return 0;
}

ErrorCode NewOutput(PIN_OutputSpecH) { return 0; }

ErrorCode SetFile(PIN_OutputSpecH out, FILE_SpecH file) {
  const std::string path = PathOf(file);
  if (path.empty()) return kReport.BadParam(kSiteSoundWrite, {"SetOutputFile"});
  return SetOutput(out, new SoundOutput(path));
}

ErrorCode Start(PIN_OutputSpecH out) {
  if (!GetOutput<SoundOutput>(out)) return kReport.BadParam(kSiteSoundWrite, {"StartAdding"});
  return 0;
}

ErrorCode AddFrame(PIN_OutputSpecH, int32_t, BM_World) { return 0; }

ErrorCode AddSound(PIN_OutputSpecH out, Handle world) {
  SoundOutput* o = GetOutput<SoundOutput>(out);
  if (!o || !world) return kReport.BadParam(kSiteSoundWrite, {"AddSoundChunk"});
  SND_WorldInfo wi{};
  if (ErrorCode err = SNDp_GetWorldInfo(world, &wi)) return err;
  if (!o->sf)
    if (ErrorCode err = OpenWriter(out, *o, wi.format.rate, wi.format.channels)) return err;
  if (wi.frames == 0) return 0;
  if (ErrorCode err = SND_LockBuffer(0, world)) return err;
  void* samples = nullptr;
  SNDp_GetBuffer(world, &samples);
  const size_t n = static_cast<size_t>(wi.frames) * wi.format.channels;
  std::vector<int32_t> buf(n);
  const uint8_t* p = static_cast<const uint8_t*>(samples);
  for (size_t i = 0; i < n; ++i) buf[i] = SampleToInt32(wi.format, p + i * wi.format.bytesPerSample);
  SND_UnlockBuffer(world);
  if (sf_writef_int(o->sf, buf.data(), wi.frames) != wi.frames || o->ioError) return Fail(out, *o, sf_strerror(o->sf));
  return 0;
}

ErrorCode End(PIN_OutputSpecH out) {
  SoundOutput* o = GetOutput<SoundOutput>(out);
  if (!o) return kReport.BadParam(kSiteSoundWrite, {"EndAdding"});
  if (!o->sf)
    if (ErrorCode err = OpenWriter(out, *o, 48000, 2)) return err;
  // Closing writes the header's final sizes.
  const int closed = sf_close(o->sf);
  o->sf = nullptr;
  if (closed != 0 || o->ioError) return Fail(out, *o, sf_error_number(closed));
  ErrorCode err = o->file.Commit();
  if (err) err = CannotWriteFile(kSiteSoundWrite, err, NameIn(o->file.path()));
  EndOutput<SoundOutput>(out);
  return err;
}

ErrorCode GetOptions(PIN_OutputSpecH out, Handle* options) {
  if (!options) return kReport.BadParam(kSiteSoundWrite, {"GetOutputOptions"});
  *options = NewHandle(kOptionsSize);
  if (!*options) return kErrOutOfMemory;
  const SoundOutput* o = GetOutput<SoundOutput>(out);
  be::Writer w;
  w.WriteFourCC(kOptionsTag);
  w.Write<uint32_t>(static_cast<uint32_t>(o ? o->bits : 16));
  std::memcpy(*(*options), w.bytes().data(), kOptionsSize);
  return 0;
}

ErrorCode DisposeOptions(PIN_OutputSpecH, Handle options) {
  if (options) DisposeHandle(options);
  return 0;
}

ErrorCode SetData(PIN_OutputSpecH out, int32_t selector, const void* data, int32_t size) {
  SoundOutput* o = GetOutput<SoundOutput>(out);
  if (!o || selector != kOptionsSelector || !data || size != 4) return kReport.BadParam(kSiteSoundWrite, {"SetOutSpecificData"});
  int32_t bits;
  std::memcpy(&bits, data, 4);
  if (bits != 16 && bits != 24 && bits != 32) return kReport.BadParam(kSiteSoundWrite, {"SetOutSpecificData"});
  if (o->sf) return kReport.BadParam(kSiteSoundWrite, {"SetOutSpecificData"});
  o->bits = bits;
  return 0;
}

ErrorCode Depths(PIN_OutputSpecH, uint32_t* depths) {
  *depths = 0;
  return 0;
}

}  // namespace

void InstallSoundOutput(PIN_ModuleProcs& p) {
  p.newOutputSpec = NewOutput;
  p.setOutputFile = SetFile;
  p.startAdding = Start;
  p.addFrame = AddFrame;
  p.addSoundChunk = AddSound;
  p.endAdding = End;
  p.getOutputOptions = GetOptions;
  p.disposeOutputOptions = DisposeOptions;
  p.setOutSpecificData = SetData;
  p.getLegalDepths = Depths;
}

}  // namespace tv::pin
