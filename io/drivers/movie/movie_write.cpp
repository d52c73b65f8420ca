// The movie module's output: frames and sound chunks encoded into a movie
// that takes its final name only when adding ends, every byte written
// through the checked road (a write that fails, or an output dropped without
// being ended, leaves nothing under the final name and the file that had it
// untouched). The container comes from the file's extension and the codec
// from the module options, both from the table of outputs (OutputFormats.h):
// MP4 (H.264 with AAC sound), QuickTime (ProRes 422 HQ, ProRes 4444, H.264,
// PNG, Animation), Matroska and AVI (with 16-bit PCM sound). The frame size
// comes from the first frame; the frame rate and the sound's rate and
// channels are options (sound rate 0: no sound track). Colour is tagged in
// the stream and, where the container has room for it, in the container:
// BT.709 from HD up, BT.601 below; YUV codecs get the matching matrix in
// video range, RGB codecs full range.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>

extern "C" {
#include <libavutil/opt.h>
}

#include "AtomicFile.h"
#include "ByteOrder.h"
#include "Errno.h"
#include "OutputFormats.h"
#include "movie.h"

namespace tv::pin {
namespace {

// Output options (stored big-endian): "MVo1", codec, quality (CRF of H.264),
// frame rate (16.16), sound rate (Hz, 0 for none), sound channels.
constexpr FourCC kOptionsTag = MakeFourCC("MVo1");
constexpr size_t kOptionsSize = 24;
enum : int32_t { kSelCodec = 1, kSelQuality = 2, kSelFrameRate = 3, kSelSoundRate = 4, kSelChannels = 5 };
using outputs::kAnimation;
using outputs::kH264;
using outputs::kPng;
using outputs::kProRes;
using outputs::kProRes4444;

struct Options {
  FourCC codec = 0;  // 0: the container's default
  int32_t quality = 18;
  Fixed frameRate = 24 << 16;
  int32_t soundRate = 0;
  int32_t channels = 2;
};

// The container's bytes go through the output's own stream (below); the
// format context never owns it.
struct FormatFree {
  void operator()(AVFormatContext* c) const { avformat_free_context(c); }
};
struct IoFree {
  void operator()(AVIOContext* io) const {
    av_freep(&io->buffer);
    avio_context_free(&io);
  }
};
struct CodecFree {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsFree {
  void operator()(SwsContext* s) const { sws_freeContext(s); }
};

struct MovieOutput {
  explicit MovieOutput(std::string path) : file(std::move(path)) {}
  // The movie is written into a temporary file beside its final name, which
  // it takes only when adding ends; dropped unended (a stop, a failure) it
  // goes, and whatever had the final name before stays as it was.
  platform::AtomicFile file;
  ErrorCode createError = 0;  // the platform's code when the file cannot be made
  int ioError = 0;            // errno of the first write or seek of the file that failed
  Options opt;
  std::unique_ptr<AVIOContext, IoFree> io;
  std::unique_ptr<AVFormatContext, FormatFree> fmt;
  std::unique_ptr<AVCodecContext, CodecFree> video, audio;
  std::unique_ptr<SwsContext, SwsFree> sws;
  std::unique_ptr<AVFrame, FrameFree> picture{av_frame_alloc()};
  std::unique_ptr<AVPacket, PacketFree> packet{av_packet_alloc()};
  AVStream *videoStream = nullptr, *audioStream = nullptr;
  int64_t frames = 0, samples = 0;
  std::vector<float> pending;  // interleaved sound not yet encoded
  bool started = false;
  AVRational pixelAspect{0, 1};  // the output information's; 0: not told
  // Frames of two fields (the output's field order: 1 upper first, 2 lower
  // first) are coded and tagged as interlaced; 4:2:0 chroma is then
  // subsampled within each field, so that the fields do not bleed.
  uint32_t askedFieldOrder = 0;  // the output information's, until the movie starts
  uint32_t fieldOrder = 0;
  bool chromaByField = false;
};

std::string NameIn(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The container's writes and seeks, through the checked road: the first
// failure is kept and every later call fails with it.
int WritePacket(void* opaque, uint8_t* buf, int size) {
  auto* o = static_cast<MovieOutput*>(opaque);
  if (!o->ioError) o->ioError = platform::WriteFully(o->file.fd(), buf, static_cast<size_t>(size));
  return o->ioError ? AVERROR(o->ioError) : size;
}

int64_t SeekPacket(void* opaque, int64_t offset, int whence) {
  auto* o = static_cast<MovieOutput*>(opaque);
  if (o->ioError) return AVERROR(o->ioError);
  if (whence == AVSEEK_SIZE) {
    struct stat st {};
    return ::fstat(o->file.fd(), &st) == 0 ? static_cast<int64_t>(st.st_size) : AVERROR(errno);
  }
  const off_t at = ::lseek(o->file.fd(), static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
  if (at < 0) o->ioError = errno;
  return at < 0 ? AVERROR(o->ioError) : static_cast<int64_t>(at);
}

// Sends a frame (null: drains) and writes what the encoder gives back.
int Encode(MovieOutput& o, AVCodecContext* c, AVStream* st, AVFrame* f) {
  int r = avcodec_send_frame(c, f);
  if (r < 0) return r;
  while ((r = avcodec_receive_packet(c, o.packet.get())) == 0) {
    // A picture lasts one frame (intra-only encoders leave it unset).
    if (o.packet->duration == 0 && c->codec_type == AVMEDIA_TYPE_VIDEO) o.packet->duration = 1;
    av_packet_rescale_ts(o.packet.get(), c->time_base, st->time_base);
    o.packet->stream_index = st->index;
    if ((r = av_interleaved_write_frame(o.fmt.get(), o.packet.get())) < 0) return r;
  }
  return r == AVERROR(EAGAIN) || r == AVERROR_EOF ? 0 : r;
}

// The container of the movie's final name (null: not one the module writes).
const outputs::Container* ContainerOf(const std::string& path) {
  const size_t slash = path.rfind('/'), dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return nullptr;
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return outputs::FindContainer(ext);
}

// The codec an output writes: the one chosen, else its container's default.
FourCC CodecOf(const MovieOutput& o) {
  if (o.opt.codec) return o.opt.codec;
  const outputs::Container* c = ContainerOf(o.file.path());
  return c ? c->codecs[0] : kH264;
}

// Tags the colour of frames of w x h: BT.709 from HD up, BT.601 below (the
// PAL primaries for 576 lines, else the NTSC ones); YUV in video range with
// that matrix, RGB in full range.
void TagColour(AVCodecContext* c, bool rgb) {
  const bool hd = outputs::IsHD(c->width, c->height);
  c->color_primaries = hd ? AVCOL_PRI_BT709 : c->height == 576 ? AVCOL_PRI_BT470BG : AVCOL_PRI_SMPTE170M;
  c->color_trc = hd ? AVCOL_TRC_BT709 : AVCOL_TRC_SMPTE170M;
  c->colorspace = rgb ? AVCOL_SPC_RGB : hd ? AVCOL_SPC_BT709 : c->height == 576 ? AVCOL_SPC_BT470BG
                                                                                : AVCOL_SPC_SMPTE170M;
  c->color_range = rgb ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
}

// The stream's frame rate for a rate in 16.16: the fraction of the
// smallest denominator up to 100, else of 1001 (the NTSC rates: 24000/1001
// ...), that the 16.16 value rounds from; else the 16.16 value itself.
AVRational StreamRate(int32_t fixed) {
  AVRational r{};
  // Whether n/d, n the nearest numerator, is within half a 16.16 unit.
  const auto near = [fixed, &r](int64_t d) {
    const int64_t n = (int64_t{fixed} * d + 32768) / 65536;
    return n > 0 && std::llabs(n * 65536 - int64_t{fixed} * d) * 2 <= d && av_reduce(&r.num, &r.den, n, d, INT32_MAX);
  };
  for (int64_t d = 1; d <= 100; ++d)
    if (near(d)) return r;
  if (near(1001)) return r;
  av_reduce(&r.num, &r.den, fixed, 65536, INT32_MAX);
  return r;
}

// Opens the container and its streams for frames of w x h.
int Begin(MovieOutput& o, int w, int h, uint32_t fieldOrder, std::string* why) {
  const outputs::Container* container = ContainerOf(o.file.path());
  if (!container) {
    *why = "movies are written as .mp4, .mov, .mkv or .avi files";
    return AVERROR(EINVAL);
  }
  const FourCC codecTag = CodecOf(o);
  const outputs::Codec* codecInfo = outputs::CodecOf(codecTag);
  if (!codecInfo || !outputs::Holds(*container, codecTag)) {
    *why = std::string("a .") + std::string(container->ext) + " movie cannot hold " +
           (codecInfo ? std::string(codecInfo->description) : std::string("that codec"));
    return AVERROR(EINVAL);
  }
  const bool fields = fieldOrder == 1 || fieldOrder == 2;
  if (!outputs::FitsFrame(*codecInfo, w, h, fields)) {
    *why = std::string(codecInfo->description.substr(0, codecInfo->description.find(','))) +
           (fields ? " of two fields needs an even width and a height divisible by 4"
                   : " needs an even width and height") +
           "; the frames are " + std::to_string(w) + " x " + std::to_string(h);
    return AVERROR(EINVAL);
  }
  const bool aac = container->sound == outputs::SoundCodec::Aac;
  AVFormatContext* raw = nullptr;
  int r = avformat_alloc_output_context2(&raw, nullptr, std::string(container->muxer).c_str(), nullptr);
  if (r < 0) return r;
  o.fmt.reset(raw);
  const bool prores = codecTag == kProRes || codecTag == kProRes4444;
  const char* name = codecTag == kH264 ? "libx264" : prores ? "prores_ks" : codecTag == kPng ? "png" : "qtrle";
  const AVCodec* codec = avcodec_find_encoder_by_name(name);
  if (!codec) {
    *why = std::string("no encoder ") + name;
    return AVERROR_ENCODER_NOT_FOUND;
  }
  o.video.reset(avcodec_alloc_context3(codec));
  AVCodecContext* c = o.video.get();
  c->width = w, c->height = h;
  c->thread_count = 0;  // as many threads as the machine has
  c->framerate = StreamRate(o.opt.frameRate);
  c->time_base = av_inv_q(c->framerate);
  c->pix_fmt = codecTag == kH264 ? AV_PIX_FMT_YUV420P : codecTag == kProRes ? AV_PIX_FMT_YUV422P10LE
               : codecTag == kProRes4444 ? AV_PIX_FMT_YUVA444P10LE : codecTag == kPng ? AV_PIX_FMT_RGBA
               : AV_PIX_FMT_ARGB;
  TagColour(c, codecTag == kPng || codecTag == kAnimation);
  // Pixels that are not square say so (the container's box and the stream's).
  if (o.pixelAspect.num > 0 && o.pixelAspect.num != o.pixelAspect.den) c->sample_aspect_ratio = o.pixelAspect;
  if (codecTag == kH264) {
    av_opt_set_int(c->priv_data, "crf", o.opt.quality, 0);
    // AVI keeps no presentation times: its pictures stay in display order.
    if (container->muxer == "avi") c->max_b_frames = 0;
    // A look-ahead and frame threads bounded so that the encoder's buffers
    // are all taken within the first frames (movie_budget.cpp).
    av_opt_set_int(c->priv_data, "rc-lookahead", H264Lookahead(w, h), 0);
    c->thread_count = H264Threads();
  }
  if (prores) av_opt_set_int(c->priv_data, "profile", codecTag == kProRes ? 3 : 4, 0);  // 422 HQ, 4444
  if (fields) {
    o.fieldOrder = fieldOrder;
    c->field_order = fieldOrder == 1 ? AV_FIELD_TT : AV_FIELD_BB;
    // Coded field by field where the fields are of equal height (ProRes
    // loses the last row of an odd height so coded); tagged either way.
    if ((codecTag == kH264 || prores) && h % 2 == 0)
      c->flags |= AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;
    // H.264 tells the order in each picture's timing message.
    if (codecTag == kH264) av_opt_set(c->priv_data, "x264-params", "pic-struct=1", 0);
    o.chromaByField = c->pix_fmt == AV_PIX_FMT_YUV420P && h % 4 == 0;
  }
  if (o.fmt->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if ((r = avcodec_open2(c, codec, nullptr)) < 0) return r;
  o.videoStream = avformat_new_stream(raw, nullptr);
  if (!o.videoStream) return AVERROR(ENOMEM);
  o.videoStream->time_base = c->time_base;
  o.videoStream->sample_aspect_ratio = c->sample_aspect_ratio;
  o.videoStream->avg_frame_rate = c->framerate;
  if ((r = avcodec_parameters_from_context(o.videoStream->codecpar, c)) < 0) return r;
  // QuickTime tells the ProRes flavours apart by the encoder's tag; the other
  // containers choose their own.
  if (container->muxer != "mov") o.videoStream->codecpar->codec_tag = 0;
  if (o.opt.soundRate > 0) {
    const AVCodec* ac = avcodec_find_encoder(aac ? AV_CODEC_ID_AAC : AV_CODEC_ID_PCM_S16LE);
    o.audio.reset(avcodec_alloc_context3(ac));
    AVCodecContext* a = o.audio.get();
    a->sample_rate = o.opt.soundRate;
    a->sample_fmt = aac ? AV_SAMPLE_FMT_FLTP : AV_SAMPLE_FMT_S16;
    av_channel_layout_default(&a->ch_layout, o.opt.channels);
    a->time_base = AVRational{1, o.opt.soundRate};
    if (aac) a->bit_rate = 256000;
    if (o.fmt->oformat->flags & AVFMT_GLOBALHEADER) a->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if ((r = avcodec_open2(a, ac, nullptr)) < 0) return r;
    o.audioStream = avformat_new_stream(raw, nullptr);
    if (!o.audioStream) return AVERROR(ENOMEM);
    o.audioStream->time_base = a->time_base;
    if ((r = avcodec_parameters_from_context(o.audioStream->codecpar, a)) < 0) return r;
  }
  if ((o.createError = o.file.Create())) return AVERROR(EIO);
  constexpr int kBuffer = 1 << 16;
  auto* buffer = static_cast<unsigned char*>(av_malloc(kBuffer));
  o.io.reset(buffer ? avio_alloc_context(buffer, kBuffer, 1, &o, nullptr, WritePacket, SeekPacket) : nullptr);
  if (!o.io) {
    av_free(buffer);
    return AVERROR(ENOMEM);
  }
  raw->pb = o.io.get();
  raw->flags |= AVFMT_FLAG_CUSTOM_IO;
  if ((r = avformat_write_header(raw, nullptr)) < 0) return r;
  o.picture->format = c->pix_fmt;
  o.picture->width = w, o.picture->height = h;
  // Encoders that tag each picture (ProRes) take the tags from the frame.
  o.picture->color_primaries = c->color_primaries;
  o.picture->color_trc = c->color_trc;
  o.picture->colorspace = c->colorspace;
  o.picture->color_range = c->color_range;
  o.picture->interlaced_frame = o.fieldOrder != 0;
  o.picture->top_field_first = o.fieldOrder == 1;
  if ((r = av_frame_get_buffer(o.picture.get(), 0)) < 0) return r;
  o.started = true;
  return 0;
}

// Encodes the pending sound in the encoder's frame size (all of it at the end).
int EncodeSound(MovieOutput& o, bool last) {
  if (!o.audio) return 0;
  AVCodecContext* a = o.audio.get();
  const int ch = o.opt.channels;
  const int size = a->frame_size > 0 ? a->frame_size : 1024;
  size_t at = 0;
  int r = 0;
  while (r == 0 && (o.pending.size() - at) / ch >= static_cast<size_t>(last ? 1 : size)) {
    const int n = static_cast<int>(std::min<size_t>(size, (o.pending.size() - at) / ch));
    std::unique_ptr<AVFrame, FrameFree> f(av_frame_alloc());
    f->format = a->sample_fmt;
    f->nb_samples = n;
    av_channel_layout_copy(&f->ch_layout, &a->ch_layout);
    f->sample_rate = a->sample_rate;
    if ((r = av_frame_get_buffer(f.get(), 0)) < 0) break;
    for (int i = 0; i < n; ++i)
      for (int c = 0; c < ch; ++c) {
        const float v = o.pending[at + static_cast<size_t>(i * ch + c)];
        if (a->sample_fmt == AV_SAMPLE_FMT_FLTP)
          reinterpret_cast<float*>(f->data[c])[i] = v;
        else
          reinterpret_cast<int16_t*>(f->data[0])[i * ch + c] =
              static_cast<int16_t>(std::clamp(std::lround(v * 32768.0f), -32768L, 32767L));
      }
    f->pts = o.samples;
    o.samples += n;
    at += static_cast<size_t>(n * ch);
    r = Encode(o, a, o.audioStream, f.get());
  }
  o.pending.erase(o.pending.begin(), o.pending.begin() + static_cast<ptrdiff_t>(at));
  return r;
}

// Reports a failure (r: the library's code; the file that cannot be made or
// written is reported with the platform's reason) and drops the output with
// its temporary file.
ErrorCode Fail(PIN_OutputSpecH out, MovieOutput& o, int r, const std::string& why) {
  const std::string name = NameIn(o.file.path());
  ErrorCode err;
  if (o.createError)
    err = CannotWriteFile(kSiteMovieWrite, o.createError, name);
  else if (o.ioError)
    err = CannotWriteFile(kSiteMovieWrite, platform::FromErrno(o.ioError), name);
  else
    err = CannotWrite(kSiteMovieWrite, kSysIO, name, why.empty() ? AvError(r) : why);
  EndOutput<MovieOutput>(out);
  return err;
}

ErrorCode NewOutput(PIN_OutputSpecH) { return 0; }

ErrorCode SetFile(PIN_OutputSpecH out, FILE_SpecH file) {
  const std::string path = PathOf(file);
  if (path.empty()) return BadArgument(kSiteMovieWrite, "SetOutputFile");
  return SetOutput(out, new MovieOutput(path));
}

ErrorCode Start(PIN_OutputSpecH out) {
  return GetOutput<MovieOutput>(out) ? 0 : BadArgument(kSiteMovieWrite, "StartAdding");
}

ErrorCode AddFrame(PIN_OutputSpecH out, int32_t, BM_World world) {
  MovieOutput* o = GetOutput<MovieOutput>(out);
  if (!o || !world) return BadArgument(kSiteMovieWrite, "AddFrame");
  PixelLock px(world);
  if (!px.ok()) return BadArgument(kSiteMovieWrite, "AddFrame");
  std::string why;
  int r = 0;
  if (!o->started && (r = Begin(*o, px.width(), px.height(), o->askedFieldOrder, &why)) < 0)
    return Fail(out, *o, r, why);
  if (px.width() != o->video->width || px.height() != o->video->height)
    return Fail(out, *o, 0, "frames of different sizes");
  if ((r = av_frame_make_writable(o->picture.get())) < 0) return Fail(out, *o, r, why);
  // Whole frames, or each field on its own (every other row).
  const int fields = o->chromaByField ? 2 : 1, rows = px.height() / fields;
  o->sws.reset(sws_getCachedContext(o->sws.release(), px.width(), rows, AV_PIX_FMT_ARGB, px.width(), rows,
                                    static_cast<AVPixelFormat>(o->picture->format),
                                    SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP, nullptr, nullptr, nullptr));
  if (!o->sws) return Fail(out, *o, 0, "the frame cannot be converted");
  // Full-range RGB into the stream's matrix and range.
  if (o->video->colorspace != AVCOL_SPC_RGB)
    UseMatrix(o->sws.get(), o->video->colorspace, 1, o->video->color_range == AVCOL_RANGE_JPEG ? 1 : 0);
  const uint8_t* src[4] = {px.Row(0), nullptr, nullptr, nullptr};
  const int stride[4] = {px.rowBytes(), 0, 0, 0};
  ScaleFields(o->sws.get(), src, stride, px.height(), o->picture->data, o->picture->linesize, fields);
  o->picture->pts = o->frames++;
  if ((r = Encode(*o, o->video.get(), o->videoStream, o->picture.get())) < 0) return Fail(out, *o, r, why);
  if ((r = EncodeSound(*o, false)) < 0) return Fail(out, *o, r, why);
  return 0;
}

ErrorCode AddSound(PIN_OutputSpecH out, Handle world) {
  MovieOutput* o = GetOutput<MovieOutput>(out);
  if (!o || !world) return BadArgument(kSiteMovieWrite, "AddSoundChunk");
  if (o->opt.soundRate <= 0) return 0;  // no sound track asked for
  // The chunk in the track's format.
  SND_Format f{double(o->opt.soundRate), SND_Encoding_Float, 4, static_cast<uint16_t>(o->opt.channels), 0};
  if (ErrorCode err = SND_UpdateWorld(SND_Quality_Best, &f, nullptr, world)) return err;
  SND_WorldInfo wi{};
  if (ErrorCode err = SNDp_GetWorldInfo(world, &wi)) return err;
  if (wi.frames == 0) return 0;
  if (ErrorCode err = SND_LockBuffer(0, world)) return err;
  void* p = nullptr;
  SNDp_GetBuffer(world, &p);
  const float* s = static_cast<const float*>(p);
  o->pending.insert(o->pending.end(), s, s + wi.frames * o->opt.channels);
  SND_UnlockBuffer(world);
  if (o->started)
    if (int r = EncodeSound(*o, false); r < 0) return Fail(out, *o, r, "");
  return 0;
}

ErrorCode End(PIN_OutputSpecH out) {
  MovieOutput* o = GetOutput<MovieOutput>(out);
  if (!o) return BadArgument(kSiteMovieWrite, "EndAdding");
  if (!o->started) return Fail(out, *o, 0, "no frame was added");
  int r = Encode(*o, o->video.get(), o->videoStream, nullptr);
  if (r >= 0) r = EncodeSound(*o, true);
  if (r >= 0 && o->audio) r = Encode(*o, o->audio.get(), o->audioStream, nullptr);
  if (r >= 0) r = av_write_trailer(o->fmt.get());
  if (r >= 0) {
    avio_flush(o->io.get());
    r = o->io->error;
  }
  if (r < 0 || o->ioError) return Fail(out, *o, r < 0 ? r : AVERROR(EIO), "");
  if (ErrorCode c = o->file.Commit()) {
    const ErrorCode err = CannotWriteFile(kSiteMovieWrite, c, NameIn(o->file.path()));
    EndOutput<MovieOutput>(out);
    return err;
  }
  EndOutput<MovieOutput>(out);
  return 0;
}

ErrorCode GetOptions(PIN_OutputSpecH out, Handle* options) {
  if (!options) return BadArgument(kSiteMovieWrite, "GetOutputOptions");
  *options = NewHandle(kOptionsSize);
  if (!*options) return kErrOutOfMemory;
  const MovieOutput* o = GetOutput<MovieOutput>(out);
  const Options opt = o ? o->opt : Options{};
  be::Writer w;
  w.WriteFourCC(kOptionsTag);
  w.WriteFourCC(opt.codec);
  w.Write<uint32_t>(static_cast<uint32_t>(opt.quality));
  w.Write<uint32_t>(static_cast<uint32_t>(opt.frameRate));
  w.Write<uint32_t>(static_cast<uint32_t>(opt.soundRate));
  w.Write<uint32_t>(static_cast<uint32_t>(opt.channels));
  std::memcpy(**options, w.bytes().data(), kOptionsSize);
  return 0;
}

ErrorCode DisposeOptions(PIN_OutputSpecH, Handle options) {
  if (options) DisposeHandle(options);
  return 0;
}

ErrorCode SetData(PIN_OutputSpecH out, int32_t selector, const void* data, int32_t size) {
  MovieOutput* o = GetOutput<MovieOutput>(out);
  int32_t v = 0;
  if (o && data && size == 4) std::memcpy(&v, data, 4);
  bool ok = o && data && size == 4 && !o->started;
  if (ok) switch (selector) {
      case kSelCodec:
        ok = outputs::CodecOf(static_cast<FourCC>(v)) != nullptr;
        if (ok) o->opt.codec = static_cast<FourCC>(v);
        break;
      case kSelQuality: ok = v >= 0 && v <= 51; if (ok) o->opt.quality = v; break;
      case kSelFrameRate: ok = v >= (1 << 16) / 100 && v <= (240 << 16); if (ok) o->opt.frameRate = v; break;
      case kSelSoundRate: ok = v >= 0 && v <= 192000; if (ok) o->opt.soundRate = v; break;
      case kSelChannels: ok = v == 1 || v == 2; if (ok) o->opt.channels = v; break;
      default: ok = false;
    }
  return ok ? 0 : BadArgument(kSiteMovieWrite, "SetOutSpecificData");
}

// The output information: its field order and pixel aspect are taken when
// the movie starts (information given before the file is set has no output
// to go to).
ErrorCode SetInfo(PIN_OutputSpecH out, const void* info, int32_t size) {
  if (!info || size != static_cast<int32_t>(sizeof(PIN_OutputInfo)))
    return BadArgument(kSiteMovieWrite, "SetOutputInfo");
  if (MovieOutput* o = GetOutput<MovieOutput>(out)) {
    const auto* i = static_cast<const PIN_OutputInfo*>(info);
    o->askedFieldOrder = i->fieldOrder;
    if (i->hsfNum > 0 && i->hsfDen > 0)
      av_reduce(&o->pixelAspect.num, &o->pixelAspect.den, i->hsfNum, i->hsfDen, 100000);
  }
  return 0;
}

// 24- and 32-bit frames, or 24-bit only for a codec without alpha (known
// once the file and the codec are set).
ErrorCode Depths(PIN_OutputSpecH out, uint32_t* depths) {
  const MovieOutput* o = GetOutput<MovieOutput>(out);
  const outputs::Codec* codec = o ? outputs::CodecOf(CodecOf(*o)) : nullptr;
  *depths = codec && !codec->alpha ? 0x40 : 0xC0;
  return 0;
}

}  // namespace

void InstallMovieOutput(PIN_ModuleProcs& p) {
  p.newOutputSpec = NewOutput;
  p.setOutputFile = SetFile;
  p.setOutputInfo = SetInfo;
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
