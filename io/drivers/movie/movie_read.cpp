// The movie module ("MooV"): movies read through FFmpeg's libraries (MOV,
// MP4, MKV, AVI and whatever else the library recognises by content: files
// no other module claims come here). Frames are found exactly: a frame is
// the one showing at its time, found by seeking to the key frame before it
// and decoding forward; drawing the next frame goes on decoding without a
// seek. Variable frame rates map each time to the frame showing then. A
// movie with a display matrix turning it by quarter turns is footage of the
// picture turned, as players show it. Its sound keeps its place against its
// pictures, as the streams' times say. The
// module keeps no options of its own: options stored by another movie
// module stay with the footage, untouched.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "OutputFormats.h"
#include "movie.h"

namespace tv::pin {

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = "";
  av_strerror(code, text, sizeof text);
  return text;
}

void UseMatrix(SwsContext* sws, int space, int srcRange, int dstRange) {
  int* inv = nullptr;
  int* table = nullptr;
  int src = 0, dst = 0, brightness = 0, contrast = 0, saturation = 0;
  // A conversion without a matrix (RGB to RGB) has nothing to set.
  if (sws_getColorspaceDetails(sws, &inv, &src, &table, &dst, &brightness, &contrast, &saturation) < 0) return;
  const int* matrix = sws_getCoefficients(space);
  const int wantSrc = srcRange >= 0 ? srcRange : src, wantDst = dstRange >= 0 ? dstRange : dst;
  if (std::equal(matrix, matrix + 4, inv) && std::equal(matrix, matrix + 4, table) && src == wantSrc &&
      dst == wantDst)
    return;
  sws_setColorspaceDetails(sws, matrix, wantSrc, matrix, wantDst, brightness, contrast, saturation);
}

void ScaleFields(SwsContext* sws, const uint8_t* const src[4], const int srcStride[4], int rows, uint8_t* const dst[4],
                 const int dstStride[4], int fields) {
  for (int field = 0; field < fields; ++field) {
    const uint8_t* s[4] = {};
    uint8_t* d[4] = {};
    int ss[4] = {}, ds[4] = {};
    for (int p = 0; p < 4; ++p) {
      if (src[p]) s[p] = src[p] + static_cast<ptrdiff_t>(field) * srcStride[p], ss[p] = srcStride[p] * fields;
      if (dst[p]) d[p] = dst[p] + static_cast<ptrdiff_t>(field) * dstStride[p], ds[p] = dstStride[p] * fields;
    }
    sws_scale(sws, s, ss, 0, rows / fields, d, ds);
  }
}

namespace {

struct FormatCloser {
  void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecCloser {
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
struct SwrFree {
  void operator()(SwrContext* s) const { swr_free(&s); }
};

struct Movie final : SoundSource {
  std::unique_ptr<AVFormatContext, FormatCloser> fmt;
  std::unique_ptr<AVCodecContext, CodecCloser> video;
  std::unique_ptr<AVFrame, FrameFree> decoded{av_frame_alloc()};
  std::unique_ptr<AVPacket, PacketFree> packet{av_packet_alloc()};
  std::unique_ptr<SwsContext, SwsFree> sws;
  int videoIndex = -1, audioIndex = -1;
  AVRational frameRate{0, 1};
  int64_t startPts = 0;
  int64_t frameCount = 0;
  int32_t width = 1, height = 1;  // as stored
  // Quarter turns clockwise the movie is shown with (a phone's upright
  // picture is stored on its side, with a display matrix that turns it).
  int turn = 0;
  int32_t ShownWidth() const { return turn & 1 ? height : width; }
  int32_t ShownHeight() const { return turn & 1 ? width : height; }
  std::vector<uint8_t> unturned;  // a turned movie's frame as stored
  bool alpha = false;
  Frame frame;        // the frame drawn last
  Frame ahead;        // a frame decoded past the one asked for
  // The pixels of a frame no longer needed, for the next one decoded: a
  // frame's buffer is allocated once, not cleared and faulted in anew.
  std::vector<uint8_t> spare;
  bool eof = false;   // the decoder gave its last frame
  std::vector<float> sound;  // the whole audio track, decoded on first request
  bool soundDecoded = false;
  // Both qualities convert colours with exact rounding and full chroma
  // resolution: the library's fastest path is off by up to 3 levels in every
  // channel, which a composite must not inherit. Best quality interpolates
  // the chroma bicubically, draft bilinearly (about a third faster).
  bool best = true;

  // The frame index showing at a stream timestamp.
  int64_t IndexOf(int64_t pts) const {
    const AVRational tb = fmt->streams[videoIndex]->time_base;
    // round((pts - start) * tb * rate), exact in 64 bits for sane movies.
    return av_rescale_q_rnd(pts - startPts, tb, av_inv_q(frameRate),
                            static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
  }
  int64_t PtsOf(int64_t index) const {
    return startPts + av_rescale_q(index, av_inv_q(frameRate), fmt->streams[videoIndex]->time_base);
  }

  // Turns a frame as stored (ARGB) into the frame shown.
  void Turn(const std::vector<uint8_t>& from, std::vector<uint8_t>& to) const;
  // Decodes the next frame into `out`; false at the end or on failure (*err
  // holds the library's code on failure).
  bool Next(Frame& out, int* err);
  bool Convert(Frame& out);
  void TagConversion(const AVFrame& f);
  // The frame showing at index.
  ErrorCode Seek(int64_t index, std::string* why);
  // Opens the file's container afresh (at its start).
  int Reopen();
  std::string path;
  bool seekable = true;  // false: a stream without a length, read from its start
  int64_t Read(int64_t first, int64_t count, float* out, std::string* why) override;
  bool DecodeSound(std::string* why);
};

// The YUV pictures' matrix and range as tagged; an untagged movie is taken
// as BT.709 from HD up and BT.601 below, in video range, as players do.
void Movie::TagConversion(const AVFrame& f) {
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(f.format));
  if (!d || (d->flags & AV_PIX_FMT_FLAG_RGB)) return;
  int space = f.colorspace;
  if (space == AVCOL_SPC_UNSPECIFIED || space == AVCOL_SPC_RGB || space == AVCOL_SPC_RESERVED)
    space = outputs::IsHD(f.width, f.height) ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
  UseMatrix(sws.get(), space, f.color_range == AVCOL_RANGE_JPEG ? 1 : -1, -1);
}

void Movie::Turn(const std::vector<uint8_t>& from, std::vector<uint8_t>& to) const {
  const int64_t w = width, h = height, shownW = ShownWidth(), shownH = ShownHeight();
  to.resize(from.size());
  // Each shown pixel (x, y) takes the stored pixel it was turned from.
  for (int64_t y = 0; y < shownH; ++y)
    for (int64_t x = 0; x < shownW; ++x) {
      const int64_t sx = turn == 1 ? y : turn == 2 ? w - 1 - x : w - 1 - y;
      const int64_t sy = turn == 1 ? h - 1 - x : turn == 2 ? h - 1 - y : x;
      std::memcpy(&to[static_cast<size_t>(y * shownW + x) * 4], &from[static_cast<size_t>(sy * w + sx) * 4], 4);
    }
}

bool Movie::Convert(Frame& out) {
  AVFrame* f = decoded.get();
  // An interlaced picture whose chroma spans two rows (4:2:0) is converted
  // field by field, at its own size.
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(f->format));
  const int fields =
      f->interlaced_frame && d && d->log2_chroma_h > 0 && f->height == height && f->height % 4 == 0 ? 2 : 1;
  sws.reset(sws_getCachedContext(sws.release(), f->width, f->height / fields, static_cast<AVPixelFormat>(f->format),
                                 width, height / fields, AV_PIX_FMT_ARGB,
                                 (best ? SWS_BICUBIC : SWS_FAST_BILINEAR) | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
                                 nullptr, nullptr, nullptr));
  if (!sws) return false;
  TagConversion(*f);
  out.width = ShownWidth(), out.height = ShownHeight();
  // The scaler may store a little past the last pixel (one byte seen for
  // RGB pictures): it writes into slack that is dropped after it (the
  // capacity stays, so the next frame reuses it).
  constexpr size_t kScalerSlack = 64;
  const size_t bytes = size_t{4} * static_cast<size_t>(width) * static_cast<size_t>(height);
  std::vector<uint8_t>& stored = turn ? unturned : out.argb;
  stored.resize(bytes + kScalerSlack);
  uint8_t* dst[4] = {stored.data(), nullptr, nullptr, nullptr};
  const int stride[4] = {4 * width, 0, 0, 0};
  const uint8_t* src[4] = {f->data[0], f->data[1], f->data[2], f->data[3]};
  ScaleFields(sws.get(), src, f->linesize, f->height, dst, stride, fields);
  stored.resize(bytes);
  if (turn) Turn(stored, out.argb);
  if (!alpha)
    for (size_t i = 0; i < out.argb.size(); i += 4) out.argb[i] = 255;
  const int64_t pts = f->best_effort_timestamp != AV_NOPTS_VALUE ? f->best_effort_timestamp : f->pts;
  out.index = pts == AV_NOPTS_VALUE ? frame.index + 1 : IndexOf(pts);
  return true;
}

bool Movie::Next(Frame& out, int* err) {
  *err = 0;
  for (;;) {
    int r = avcodec_receive_frame(video.get(), decoded.get());
    if (r == 0) {
      const bool ok = Convert(out);
      av_frame_unref(decoded.get());
      if (!ok) *err = AVERROR(ENOMEM);
      return ok;
    }
    if (r == AVERROR_EOF) {
      eof = true;
      return false;
    }
    if (r != AVERROR(EAGAIN)) {
      *err = r;
      return false;
    }
    // The decoder wants more data.
    for (;;) {
      r = av_read_frame(fmt.get(), packet.get());
      if (r < 0) {
        avcodec_send_packet(video.get(), nullptr);  // drain
        break;
      }
      if (packet->stream_index == videoIndex) {
        r = avcodec_send_packet(video.get(), packet.get());
        av_packet_unref(packet.get());
        if (r < 0 && r != AVERROR(EAGAIN)) {
          *err = r;
          return false;
        }
        break;
      }
      av_packet_unref(packet.get());
    }
  }
}

ErrorCode Movie::Seek(int64_t index, std::string* why) {
  if (frame.index == index) return 0;
  int err = 0;
  // Going on from the frame drawn last, when the one asked for is a little ahead.
  const bool forward = frame.index >= 0 && index > frame.index && index <= frame.index + 16 && !eof;
  // A seek may land after the frame asked for: formats that seek by
  // searching timestamps (MPEG transport streams) land near the time, not
  // on the key frame before it. Such a seek is made again further back (a
  // second's frames, then four times as far each time) until the first
  // frame decoded is not later than the one asked for; past the start, the
  // file is read from its beginning.
  int64_t back = 0;
  bool restart = false;
  const int64_t second = std::max<int64_t>(1, av_rescale(1, frameRate.num, frameRate.den));
  for (;;) {
    const bool sought = !forward || back > 0 || restart;
    if (sought) {
      // A stream that cannot seek (frames piped one after another) is read
      // again from its start.
      const int64_t target = std::max<int64_t>(0, index - back);
      int r = seekable && !restart ? av_seek_frame(fmt.get(), videoIndex, PtsOf(target), AVSEEK_FLAG_BACKWARD) : -1;
      if (r < 0 && (!seekable || restart)) r = Reopen();
      if (r < 0) {
        *why = AvError(r);
        return PIN_ErrCannotImport;
      }
      avcodec_flush_buffers(video.get());
      eof = false;
      ahead.index = -1;
      frame.index = -1;
    }
    // Decodes forward to the last frame that starts at or before the index.
    Frame prev = std::move(frame);
    if (ahead.index >= 0) {
      if (ahead.index > index) {
        frame = std::move(prev);
        frame.index = index;
        return 0;
      }
      spare.swap(prev.argb);
      prev = std::move(ahead);
      ahead.index = -1;
    }
    int64_t first = -1;  // the first frame decoded after a seek
    for (;;) {
      if (prev.index == index) break;
      Frame next;
      next.argb.swap(spare);
      if (!Next(next, &err)) {
        spare.swap(next.argb);
        if (err) {
          *why = AvError(err);
          return PIN_ErrCannotImport;
        }
        break;  // past the last frame: the last one shows
      }
      if (first < 0) first = next.index;
      if (next.index > index && prev.index >= 0) {
        ahead = std::move(next);
        break;
      }
      spare.swap(prev.argb);
      prev = std::move(next);
    }
    if (sought && seekable && !restart && (first < 0 || first > index)) {
      if (index - back > 0)
        back = back ? back * 4 : second;
      else
        restart = true;
      spare.swap(prev.argb);
      frame = Frame{};
      frame.index = -1;
      continue;
    }
    if (prev.index < 0 || prev.argb.empty()) {
      *why = "no frame could be decoded";
      return PIN_ErrCannotImport;
    }
    frame = std::move(prev);
    // A frame held over a gap (variable rate) stands for the indices it covers.
    frame.index = index;
    return 0;
  }
}

int Movie::Reopen() {
  AVFormatContext* raw = nullptr;
  int r = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
  if (r < 0) return r;
  fmt.reset(raw);
  return avformat_find_stream_info(raw, nullptr);
}

bool Movie::DecodeSound(std::string* why) {
  soundDecoded = true;
  sound.clear();
  if (audioIndex < 0) return true;
  // Read from a demuxer opened afresh, not one sought back to the start:
  // after a seek, the encoder's delay is no longer cut from the first
  // packets as the file says (an MP4's AAC sound began with 448 silent
  // samples, and the rest was decoded a little off).
  if (int r = Reopen(); r < 0) {
    *why = AvError(r);
    return false;
  }
  // The video decoder starts again from a seek.
  frame.index = -1;
  ahead.index = -1;
  AVStream* st = fmt->streams[audioIndex];
  const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
  std::unique_ptr<AVCodecContext, CodecCloser> dec(avcodec_alloc_context3(codec));
  if (!codec || !dec || avcodec_parameters_to_context(dec.get(), st->codecpar) < 0 ||
      avcodec_open2(dec.get(), codec, nullptr) < 0) {
    *why = "the sound's codec cannot be opened";
    return false;
  }
  AVChannelLayout outLayout{};
  av_channel_layout_default(&outLayout, channels);
  SwrContext* raw = nullptr;
  if (swr_alloc_set_opts2(&raw, &outLayout, AV_SAMPLE_FMT_FLT, dec->sample_rate, &dec->ch_layout, dec->sample_fmt,
                          dec->sample_rate, 0, nullptr) < 0 ||
      swr_init(raw) < 0) {
    swr_free(&raw);
    *why = "the sound cannot be converted";
    return false;
  }
  std::unique_ptr<SwrContext, SwrFree> swr(raw);
  std::unique_ptr<AVFrame, FrameFree> f(av_frame_alloc());
  // In a movie with pictures, the sound lies where its first sample's time
  // says against the pictures' start (the footage's time 0): sound that
  // starts later is preceded by silence, sound that starts earlier loses
  // what comes before. Sound alone starts with its first sample.
  bool placed = videoIndex < 0;
  int64_t drop = 0;  // samples still to drop from the start
  auto place = [&](const AVFrame& first) {
    placed = true;
    const int64_t ts = first.best_effort_timestamp != AV_NOPTS_VALUE ? first.best_effort_timestamp
                       : st->start_time != AV_NOPTS_VALUE             ? st->start_time
                                                                       : 0;
    const AVRational perSample{1, dec->sample_rate};
    int64_t offset = av_rescale_q(ts, st->time_base, perSample) -
                     av_rescale_q(startPts, fmt->streams[videoIndex]->time_base, perSample);
    // Beyond a minute either way the times are not to be trusted.
    if (std::abs(offset) > int64_t{60} * dec->sample_rate) offset = 0;
    if (offset > 0) sound.assign(static_cast<size_t>(offset) * static_cast<size_t>(channels), 0.0f);
    drop = std::max<int64_t>(0, -offset);
  };
  auto drain = [&]() {
    while (avcodec_receive_frame(dec.get(), f.get()) == 0) {
      if (!placed) place(*f);
      const size_t at = sound.size();
      sound.resize(at + static_cast<size_t>(f->nb_samples) * static_cast<size_t>(channels));
      uint8_t* out[1] = {reinterpret_cast<uint8_t*>(sound.data() + at)};
      const int got = swr_convert(swr.get(), out, f->nb_samples, const_cast<const uint8_t**>(f->extended_data),
                                  f->nb_samples);
      sound.resize(at + static_cast<size_t>(std::max(got, 0)) * static_cast<size_t>(channels));
      if (drop > 0) {
        const int64_t cut = std::min<int64_t>(drop, static_cast<int64_t>(sound.size()) / channels);
        sound.erase(sound.begin(), sound.begin() + static_cast<ptrdiff_t>(cut * channels));
        drop -= cut;
      }
      av_frame_unref(f.get());
    }
  };
  while (av_read_frame(fmt.get(), packet.get()) >= 0) {
    if (packet->stream_index == audioIndex && avcodec_send_packet(dec.get(), packet.get()) >= 0) drain();
    av_packet_unref(packet.get());
  }
  avcodec_send_packet(dec.get(), nullptr);
  drain();
  frames = static_cast<int64_t>(sound.size()) / channels;
  return true;
}

int64_t Movie::Read(int64_t first, int64_t count, float* out, std::string* why) {
  if (!soundDecoded && !DecodeSound(why)) return -1;
  const int64_t n = std::max<int64_t>(0, std::min(count, frames - first));
  if (n > 0)
    std::memcpy(out, sound.data() + first * channels, static_cast<size_t>(n * channels) * sizeof(float));
  return n;
}

// Opens a movie; the library's reason in *why on failure.
std::unique_ptr<Movie> Open(const std::string& path, std::string* why) {
  auto m = std::make_unique<Movie>();
  m->path = path;
  int r = m->Reopen();
  if (r < 0) {
    *why = AvError(r);
    return nullptr;
  }
  AVFormatContext* raw = m->fmt.get();
  m->videoIndex = PicturesStream(*raw);
  m->audioIndex = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  if (m->videoIndex < 0 && m->audioIndex < 0) {
    *why = "the file holds neither pictures nor sound";
    return nullptr;
  }
  if (m->audioIndex >= 0) {
    const AVCodecParameters* a = raw->streams[m->audioIndex]->codecpar;
    m->rate = a->sample_rate;
    m->channels = std::clamp(a->ch_layout.nb_channels, 1, 2);
    const AVStream* st = raw->streams[m->audioIndex];
    m->frames = st->duration != AV_NOPTS_VALUE ? av_rescale_q(st->duration, st->time_base, AVRational{1, a->sample_rate})
                                               : av_rescale(raw->duration, a->sample_rate, AV_TIME_BASE);
  }
  if (m->videoIndex < 0) return m;
  AVStream* st = raw->streams[m->videoIndex];
  const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
  if (!codec) {
    *why = "no decoder for the movie's pictures";
    return nullptr;
  }
  m->video.reset(avcodec_alloc_context3(codec));
  if (m->video) m->video->thread_count = 0;  // as many threads as the machine has
  if (!m->video || (r = avcodec_parameters_to_context(m->video.get(), st->codecpar)) < 0 ||
      (r = avcodec_open2(m->video.get(), codec, nullptr)) < 0) {
    *why = m->video ? AvError(r) : "out of memory";
    return nullptr;
  }
  m->width = st->codecpar->width;
  m->height = st->codecpar->height;
  if (m->width < 1 || m->height < 1 || m->width > 30000 || m->height > 30000) {
    *why = "the movie's frame size is not usable";
    return nullptr;
  }
  m->turn = QuarterTurns(*st);
  m->frameRate = st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0 ? st->avg_frame_rate : st->r_frame_rate;
  if (m->frameRate.num <= 0 || m->frameRate.den <= 0) m->frameRate = AVRational{25, 1};
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(st->codecpar->format));
  m->alpha = d && (d->flags & AV_PIX_FMT_FLAG_ALPHA);
  m->startPts = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
  if (st->nb_frames > 0) {
    m->frameCount = st->nb_frames;
    // A movie cut without coding again (an edit list that starts after a
    // key frame) counts the frames before its start, which are decoded but
    // never shown: its duration tells the frames shown, the last one perhaps
    // in part.
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0) {
      const long double frames = static_cast<long double>(st->duration) * st->time_base.num * m->frameRate.num /
                                 (static_cast<long double>(st->time_base.den) * m->frameRate.den);
      const auto shown = static_cast<int64_t>(std::ceil(frames - 0.001L));
      if (shown > 0 && shown < m->frameCount) m->frameCount = shown;
    }
  } else if (st->duration != AV_NOPTS_VALUE) {
    m->frameCount = av_rescale_q(st->duration, st->time_base, av_inv_q(m->frameRate));
  } else if (raw->duration != AV_NOPTS_VALUE && raw->duration > 0) {
    m->frameCount = av_rescale_q(raw->duration, AVRational{1, AV_TIME_BASE}, av_inv_q(m->frameRate));
  }
  if (m->frameCount <= 0) {
    // A stream that states no length (frames piped one after another, such
    // as a PNG stream): its pictures are counted, and it is read from its
    // start whenever it would seek.
    while (av_read_frame(raw, m->packet.get()) >= 0) {
      if (m->packet->stream_index == m->videoIndex) ++m->frameCount;
      av_packet_unref(m->packet.get());
    }
    m->seekable = false;
    if ((r = m->Reopen()) < 0) {
      *why = AvError(r);
      return nullptr;
    }
  }
  // The first frame must decode: a damaged movie is refused here.
  std::string seekWhy;
  if (m->Seek(0, &seekWhy)) {
    *why = seekWhy;
    return nullptr;
  }
  return m;
}

ErrorCode NewFromFile(PIN_SeqSpecH seq, FILE_SpecH file, uint32_t) {
  std::string why;
  std::unique_ptr<Movie> m = Open(PathOf(file), &why);
  if (!m) return CannotRead(kSiteMovieRead, NameOf(file), why);
  PIN_SourceInfo info{};
  PIN_GetSourceInfo(seq, &info);
  info.width = m->ShownWidth();
  info.height = m->ShownHeight();
  // Sound alone (a song) has a one-pixel frame that draws cleared: with
  // alpha, so that its layers composite nothing (opaque, it was a grey dot
  // in the middle of the composition).
  const bool alpha = m->alpha || m->videoIndex < 0;
  info.depth = alpha ? 32 : 24;
  info.start = Time{0, 1};
  info.alpha.type = alpha ? PIN_Alpha_Straight : PIN_Alpha_None;
  if (m->videoIndex >= 0) {
    const AVRational r = m->frameRate;
    if (m->frameCount * r.den > INT32_MAX || r.num > INT32_MAX)
      return CannotRead(kSiteMovieRead, NameOf(file), "the movie is too long");
    info.duration = Time{static_cast<int32_t>(m->frameCount * r.den), static_cast<uint32_t>(r.num)};
    info.nativeRate = static_cast<Fixed>(av_rescale(r.num, 65536, r.den));
  } else {
    info.duration = Time{static_cast<int32_t>(std::min<int64_t>(m->frames, INT32_MAX)), static_cast<uint32_t>(m->rate)};
    info.nativeRate = 0;
  }
  if (ErrorCode err = PIN_SetSourceInfo(seq, &info)) return err;
  // A pixel aspect the movie tells (the container's box, else the stream's)
  // replaces the default of the frame size; interpretation rules still may
  // change it. One out of 1/100 to 100 (as compositions take) is ignored.
  if (m->videoIndex >= 0) {
    AVRational sar = av_guess_sample_aspect_ratio(m->fmt.get(), m->fmt->streams[m->videoIndex], nullptr);
    // Turned a quarter, the pixels are as high as they were wide.
    if (m->turn & 1) std::swap(sar.num, sar.den);
    if (sar.num > 0 && sar.den > 0 && av_reduce(&sar.num, &sar.den, sar.num, sar.den, 100000) >= 0 &&
        int64_t{sar.num} * 100 >= sar.den && int64_t{sar.den} * 100 >= sar.num)
      if (ErrorCode err = PIN_SetHSF(seq, static_cast<uint32_t>(sar.num), static_cast<uint32_t>(sar.den))) return err;
  }
  return SetInstance<SoundSource>(seq, m.release());
}

ErrorCode Dispose(PIN_SeqSpecH seq) {
  DisposeInstance<SoundSource>(seq);
  return 0;
}

// The open movie of seq (opened again for a SeqSpec restored from a project).
ErrorCode MovieOf(PIN_SeqSpecH seq, Movie** out) {
  if (SoundSource* s = GetInstance<SoundSource>(seq)) {
    *out = static_cast<Movie*>(s);
    return 0;
  }
  FILE_SpecH file = nullptr;
  PIN_GetFile(seq, &file);
  const std::string path = PathOf(file), name = NameOf(file);
  FILE_Dispose(file);
  std::string why;
  std::unique_ptr<Movie> m = Open(path, &why);
  if (!m) return CannotRead(kSiteMovieRead, name, why);
  if (m->videoIndex >= 0)
    if (ErrorCode err = CheckFrameSize(seq, m->ShownWidth(), m->ShownHeight(), kSiteMovieRead, name)) return err;
  *out = m.get();
  return SetInstance<SoundSource>(seq, m.release());
}

ErrorCode DrawAt(PIN_SeqSpecH seq, const PIN_DrawParams* params, BM_World world, int32_t left, int32_t top) {
  Movie* m = nullptr;
  if (ErrorCode err = MovieOf(seq, &m)) return err;
  if (m->videoIndex < 0) {
    // Sound only: the frame is cleared.
    PixelLock px(world);
    if (!px.ok()) return kErrBadParam;
    for (int32_t y = 0; y < px.height(); ++y) std::memset(px.Row(y), 0, size_t{4} * static_cast<size_t>(px.width()));
    return 0;
  }
  int32_t index = 0;
  if (ErrorCode err = PIN_GetFrameIndex(seq, &params->time, &index)) return err;
  // A frame decoded at the other quality is converted again.
  if (m->best != (params->quality != 0)) {
    m->best = params->quality != 0;
    m->frame.index = -1;
    m->ahead.index = -1;
  }
  std::string why;
  if (m->Seek(index, &why)) {
    FILE_SpecH file = nullptr;
    PIN_GetFile(seq, &file);
    const std::string name = NameOf(file);
    FILE_Dispose(file);
    return CannotRead(kSiteMovieRead, name, why);
  }
  return DrawFrame(m->frame, params, world, left, top);
}

ErrorCode Draw(PIN_SeqSpecH seq, const PIN_DrawParams* params, BM_World world) {
  return DrawAt(seq, params, world, 0, 0);
}
ErrorCode DrawPartial(PIN_SeqSpecH seq, const PIN_DrawParams* params, BM_World world) {
  return DrawAt(seq, params, world, params->part.left, params->part.top);
}

// The start of the frame after the one at time (the invalid time after the last).
ErrorCode NextFrameTime(PIN_SeqSpecH seq, const Time* time, Time* next) {
  *next = kInvalidTime;
  Movie* m = nullptr;
  if (ErrorCode err = MovieOf(seq, &m)) return err;
  int32_t index = 0;
  if (m->videoIndex < 0 || PIN_GetFrameIndex(seq, time, &index)) return 0;
  const int64_t k = index + 1;
  if (k >= m->frameCount || k * m->frameRate.den > INT32_MAX || m->frameRate.num > INT32_MAX) return 0;
  *next = Time{static_cast<int32_t>(k * m->frameRate.den), static_cast<uint32_t>(m->frameRate.num)};
  return 0;
}

ErrorCode GetSound(PIN_SeqSpecH seq, const void* request, Handle world) {
  Movie* m = nullptr;
  if (ErrorCode err = MovieOf(seq, &m)) return err;
  FILE_SpecH file = nullptr;
  PIN_GetFile(seq, &file);
  const std::string name = NameOf(file);
  FILE_Dispose(file);
  return FillSound(*m, static_cast<const PIN_SoundRequest*>(request), world, kSiteMovieRead, name);
}

ErrorCode GetData(PIN_SeqSpecH seq, int32_t selector, void* data, int32_t size) {
  if (selector != PIN_SeqData_SoundFormat && selector != PIN_SeqData_HasPicture) return 0;
  Movie* m = nullptr;
  if (ErrorCode err = MovieOf(seq, &m)) return err;
  if (selector == PIN_SeqData_HasPicture) {
    if (!data || size < static_cast<int32_t>(sizeof(int32_t)))
      return BadArgument(kSiteMovieRead, "PIN_GetSeqSpecificData");
    const int32_t has = m->videoIndex >= 0 ? 1 : 0;
    std::memcpy(data, &has, sizeof has);
    return 0;
  }
  return AnswerSoundFormat(m->audioIndex >= 0 ? m : nullptr, selector, data, size);
}

}  // namespace

void InstallMovie(PIN_ModuleProcs* procs) {
  av_log_set_level(AV_LOG_QUIET);
  // Dimensions, duration, start, file and saving are the footage's own.
  PIN_InstallStillProcs(procs);
  procs->newSeqSpecFromFile = NewFromFile;
  procs->disposeSeqSpec = Dispose;
  procs->drawSparseFrame = Draw;
  procs->drawPartialFrame = DrawPartial;
  procs->getSound = GetSound;
  procs->getInSpecificData = GetData;
  procs->inqNextFrameTime = NextFrameTime;
  InstallMovieOutput(*procs);
}

}  // namespace tv::pin
