// Sound sources: sound files read through the platform's sound file library
// (libsndfile). A source keeps its file open until it is disposed; its sound
// is handed out through sound worlds, converted like any world.
#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "Errno.h"
#include "SND_internal.h"

namespace tv::snd {
namespace {

constexpr uint32_t kSourceMagic = 0x534E4473;  // 'SNDs'
constexpr uint32_t kSourceDead = 0x534E4478;

struct SourceRec {
  uint32_t magic;
  SNDFILE* file;
  SND_SourceDesc desc;
  Boolean32 floats;  // read as 4-byte floats, else as signed 16-bit
  char path[1024];
  uint32_t tailMagic;
};
constexpr pkg::Magic<SourceRec> kSource{&SourceRec::magic, kSourceMagic, &SourceRec::tailMagic, kSourceMagic};

SourceRec& Src(SND_Source s) { return *reinterpret_cast<SourceRec*>(*s); }

}  // namespace
}  // namespace tv::snd

using namespace tv;
using namespace tv::snd;

ErrorCode SND_NewSource(const char* path, SND_Source* source) {
  if (source) *source = nullptr;
  if (!path || !source) return kReport.BadParam(kSiteSource, {"SND_NewSource"});
  struct stat st{};
  if (::stat(path, &st) != 0) {
    const ErrorCode code = platform::FromErrno(errno);
    return kReport.Platform(kSiteSource, kSevError, code, kTextSourceOpen, {path, std::strerror(errno)});
  }
  SF_INFO info{};
  SNDFILE* f = sf_open(path, SFM_READ, &info);
  if (!f) return kReport.Fail(kSiteSource, kErrBadParam, kTextSourceOpen, {path, sf_strerror(nullptr)});
  if (info.channels < 1 || info.channels > 2 || info.frames < 0) {
    sf_close(f);
    return kReport.Fail(kSiteSource, kErrBadParam, kTextSourceOpen, {path, kReport.Text(kTextNotMonoOrStereo)});
  }
  SourceRec r{};
  r.magic = r.tailMagic = kSourceMagic;
  r.file = f;
  const int sub = info.format & SF_FORMAT_SUBMASK;
  r.floats = sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE;
  SND_Format& fmt = r.desc.format;
  fmt.channels = static_cast<uint16_t>(info.channels);
  if (r.floats) {
    fmt.encoding = SND_Encoding_Float;
    fmt.bytesPerSample = 4;
  } else if (sub == SF_FORMAT_PCM_U8 || sub == SF_FORMAT_PCM_S8) {
    fmt.encoding = sub == SF_FORMAT_PCM_U8 ? SND_Encoding_Unsigned : SND_Encoding_Signed;
    fmt.bytesPerSample = 1;
  } else {
    fmt.encoding = SND_Encoding_Signed;
    fmt.bytesPerSample = 2;
  }
  fmt.rate = info.samplerate;
  if (info.samplerate <= 0) {
    kReport.Note(kSiteSource, kSevWarning, kTextRateNotPresent);
    fmt.rate = SND_DEFAULT_RATE;
  }
  r.desc.frames = info.frames;
  fmt::CopyTo(r.path, path);
  Handle h = NewHandleClear(static_cast<Size>(sizeof(SourceRec)));
  if (!h) {
    sf_close(f);
    return kReport.OutOfMemory(kSiteSource, kTextSource, sizeof(SourceRec));
  }
  std::memcpy(*h, &r, sizeof(r));
  *source = h;
  return 0;
}

ErrorCode SND_DisposeSource(SND_Source source) {
  if (ErrorCode err = kReport.CheckRecord(source, kSource, kSiteSource)) return err;
  SourceRec& r = Src(source);
  sf_close(r.file);
  r.file = nullptr;
  r.magic = r.tailMagic = kSourceDead;
  DisposeHandle(source);
  return 0;
}

ErrorCode SND_GetDesc(SND_Source source, SND_SourceDesc* desc) {
  if (desc) *desc = SND_SourceDesc{};
  if (!desc) return kReport.BadParam(kSiteSource, {"SND_GetDesc"});
  if (ErrorCode err = kReport.CheckRecord(source, kSource, kSiteSource)) return err;
  *desc = Src(source).desc;
  return 0;
}

ErrorCode SND_GetSound(SND_Source source, int32_t quality, Time start, Time duration, SND_World world) {
  if (ErrorCode err = kReport.CheckRecord(source, kSource, kSiteSource)) return err;
  if (ErrorCode err = Check(world, kSiteSource)) return err;
  if (start.scale == 0 || duration.scale == 0)
    return kReport.Fail(kSiteSource, kErrBadParam, kTextBadTime, {start.value, start.scale});
  const SourceRec r = Src(source);
  const double rate = r.desc.format.rate;
  int32_t window = 0;
  if (ErrorCode err = SND_GetResampleWindowSizeF(quality, rate, Rec(world).format.rate, &window)) return err;
  // The file's frames under the span, widened by the conversion's window.
  const long double s = Position(start, rate);
  const long double e = s + Position(duration, rate);
  const int64_t first = std::clamp<int64_t>(static_cast<int64_t>(std::floor(s)) - window - 1, 0, r.desc.frames);
  const int64_t end = std::clamp<int64_t>(static_cast<int64_t>(std::ceil(e)) + window + 1, first, r.desc.frames);
  SND_Format f = r.desc.format;
  if (!r.floats) {
    f.encoding = SND_Encoding_Signed;
    f.bytesPerSample = 2;
  }
  SND_World read = nullptr;
  if (ErrorCode err = SND_NewWorld(&f, nullptr, &read)) return err;
  ErrorCode err = 0;
  void* samples = nullptr;
  if (end > first) {
    err = SND_SizeAndLockBuffer(end - first, 0, read, &samples);
    if (!err) {
      const sf_count_t n = end - first;
      sf_count_t got = sf_seek(r.file, first, SEEK_SET) == first
                           ? (r.floats ? sf_readf_float(r.file, static_cast<float*>(samples), n)
                                       : sf_readf_short(r.file, static_cast<short*>(samples), n))
                           : -1;
      if (got != n)
        err = kReport.Platform(kSiteSource, kSevError, kSysIO, kTextSourceRead,
                               {r.path, static_cast<int64_t>(first + std::max<sf_count_t>(got, 0))});
      SND_UnlockBuffer(read);
    }
    Time at{};
    if (!err) err = SND_SampToTime(SND_Round_Nearest, first, rate, &at, nullptr);
    if (!err) err = SND_SetWorldStartTime(at, read);
    if (!err) err = SND_Blit(quality, read, &start, &duration, SND_Blit_Replace, nullptr, world);
  }
  SND_DisposeWorld(read);
  return err;
}
