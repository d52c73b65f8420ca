// The sound-file module: WAV and AIFF files read through libsndfile as
// audio-only footage (a frame of it draws cleared), their sound answered
// into sound worlds.
#include <sndfile.h>

#include <cstring>
#include <memory>

#include "../common/drivers.h"

namespace tv::pin {
namespace {

inline constexpr FourCC kSoundFilesSig = MakeFourCC("WAVD");

struct SndCloser {
  void operator()(SNDFILE* f) const { sf_close(f); }
};
using SndFile = std::unique_ptr<SNDFILE, SndCloser>;

// An open sound file.
struct SoundFile final : SoundSource {
  SndFile file;
  int64_t Read(int64_t first, int64_t count, float* out, std::string* why) override {
    return ReadWith(sf_readf_float, first, count, out, why);
  }
  int64_t ReadShorts(int64_t first, int64_t count, int16_t* out, std::string* why) override {
    return ReadWith(sf_readf_short, first, count, out, why);
  }
  // Frames from `first` through the library's reader of one sample type.
  template <class T>
  int64_t ReadWith(sf_count_t (*read)(SNDFILE*, T*, sf_count_t), int64_t first, int64_t count, T* out,
                   std::string* why) {
    if (sf_seek(file.get(), first, SEEK_SET) < 0) {
      *why = sf_strerror(file.get());
      return -1;
    }
    const sf_count_t got = read(file.get(), out, count);
    if (got < count && sf_error(file.get())) {
      *why = sf_strerror(file.get());
      return -1;
    }
    return got;
  }
};

// Opens path; the library's reason in *why on failure.
std::unique_ptr<SoundFile> Open(const std::string& path, std::string* why) {
  SF_INFO info{};
  SndFile f(sf_open(path.c_str(), SFM_READ, &info));
  if (!f) {
    *why = sf_strerror(nullptr);
    return nullptr;
  }
  if (info.samplerate <= 0 || info.channels < 1 || info.frames < 0) {
    *why = "the file has no sound";
    return nullptr;
  }
  auto s = std::make_unique<SoundFile>();
  s->file = std::move(f);
  s->rate = info.samplerate;
  s->channels = info.channels;
  s->frames = info.frames;
  // 8- and 16-bit integer samples read as shorts are the library's floats
  // times 32768 exactly; wider or coded ones are not.
  const int sub = info.format & SF_FORMAT_SUBMASK;
  s->shorts = sub == SF_FORMAT_PCM_16 || sub == SF_FORMAT_PCM_S8 || sub == SF_FORMAT_PCM_U8;
  return s;
}

ErrorCode NewFromFile(PIN_SeqSpecH seq, FILE_SpecH file, uint32_t) {
  std::string why;
  std::unique_ptr<SoundFile> s = Open(PathOf(file), &why);
  if (!s) return CannotRead(kSiteSoundRead, NameOf(file), why);
  if (s->frames > INT32_MAX) return CannotRead(kSiteSoundRead, NameOf(file), "the file is too long");
  PIN_SourceInfo info{};
  PIN_GetSourceInfo(seq, &info);
  // Audio-only footage: the framework keeps a one-pixel frame that draws
  // cleared; the module's flag tells that there is no picture.
  info.width = info.height = 1;
  info.depth = 24;
  info.duration = Time{static_cast<int32_t>(s->frames), static_cast<uint32_t>(s->rate)};
  info.start = Time{0, 1};
  info.nativeRate = 0;
  info.alpha.type = PIN_Alpha_None;
  if (ErrorCode err = PIN_SetSourceInfo(seq, &info)) return err;
  return SetInstance<SoundSource>(seq, s.release());
}

ErrorCode Dispose(PIN_SeqSpecH seq) {
  DisposeInstance<SoundSource>(seq);
  return 0;
}

ErrorCode DrawCleared(PIN_SeqSpecH, const PIN_DrawParams*, BM_World world) {
  PixelLock px(world);
  if (!px.ok()) return kErrBadParam;
  for (int32_t y = 0; y < px.height(); ++y) std::memset(px.Row(y), 0, size_t{4} * static_cast<size_t>(px.width()));
  return 0;
}

ErrorCode GetSound(PIN_SeqSpecH seq, const void* request, Handle world) {
  FILE_SpecH file = nullptr;
  PIN_GetFile(seq, &file);
  const std::string name = NameOf(file), path = PathOf(file);
  FILE_Dispose(file);
  SoundSource* s = GetInstance<SoundSource>(seq);
  // A SeqSpec restored from a project opens its file on first use.
  if (!s) {
    std::string why;
    std::unique_ptr<SoundFile> opened = Open(path, &why);
    if (!opened) return CannotRead(kSiteSoundRead, name, why);
    if (ErrorCode err = SetInstance<SoundSource>(seq, opened.release())) return err;
    s = GetInstance<SoundSource>(seq);
  }
  return FillSound(*s, static_cast<const PIN_SoundRequest*>(request), world, kSiteSoundRead, name);
}

ErrorCode GetData(PIN_SeqSpecH seq, int32_t selector, void* data, int32_t size) {
  if (selector != PIN_SeqData_SoundFormat) return 0;
  SoundSource* s = GetInstance<SoundSource>(seq);
  if (!s) {
    FILE_SpecH file = nullptr;
    PIN_GetFile(seq, &file);
    const std::string path = PathOf(file);
    FILE_Dispose(file);
    std::string why;
    // A file that cannot be opened now answers no sound; reading it reports why.
    if (std::unique_ptr<SoundFile> opened = Open(path, &why)) {
      if (ErrorCode err = SetInstance<SoundSource>(seq, opened.release())) return err;
      s = GetInstance<SoundSource>(seq);
    }
  }
  return AnswerSoundFormat(s, selector, data, size);
}

}  // namespace

void InstallSoundOutput(PIN_ModuleProcs& procs);

ErrorCode SoundFilesBirth(PIN_ModuleInfo* info, PIN_ModuleProcs* procs) {
  info->signature = kSoundFilesSig;
  std::strcpy(info->name, "Sound Files");
  info->flags = PIN_ModFlag_Files | PIN_ModFlag_NoVideo;
  info->maxWidth = info->maxHeight = 1;
  info->fileType = MakeFourCC("WAVE");
  info->numFileTypes = 3;
  info->fileTypes[0][0] = MakeFourCC("WAVE");
  info->fileTypes[1][0] = MakeFourCC("AIFF");
  info->fileTypes[2][0] = MakeFourCC("AIFC");
  info->numExtensions = 2;
  info->extension = info->extensions[0] = MakeFourCC(".wav");
  info->extensions[1] = MakeFourCC(".aif");
  PIN_InstallStillProcs(procs);
  procs->newSeqSpecFromFile = NewFromFile;
  procs->disposeSeqSpec = Dispose;
  procs->drawSparseFrame = DrawCleared;
  procs->getSound = GetSound;
  procs->getInSpecificData = GetData;
  InstallSoundOutput(*procs);
  return 0;
}

}  // namespace tv::pin
