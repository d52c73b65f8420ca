// Sample conversion between encodings, sizes and channel counts at equal
// rates, with mixing. Integer sizes scale by powers of two: widening shifts
// left, narrowing rounds to nearest (halves up) and limits to the range;
// floating point has full scale 1.0 (an 8-bit sample is divided by 128, a
// 16-bit one by 32768); stereo to mono is the average, mono to stereo copies.
// Mixing adds each converted sample to the destination's (unsigned samples
// taken as signed around their midpoint) and limits integer sums to the range.
//
// Two kernels give the same results: the literal one converts one sample at a
// time through the general rules; the fast one runs a loop specialised for
// the format pair, channel mapping and mode, which the compiler vectorises.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "SND_internal.h"

namespace tv::snd {
namespace {

// ---- The literal kernel ------------------------------------------------------------

int32_t Bits(SampleFormat f) { return 8 * f.bytes; }
bool IsFloat(SampleFormat f) { return f.encoding == SND_Encoding_Float; }

// An integer sample as a signed value.
int32_t ReadInt(SampleFormat f, const uint8_t* p) {
  if (f.bytes == 1) return f.encoding == SND_Encoding_Unsigned ? int32_t{p[0]} - 128 : int32_t{static_cast<int8_t>(p[0])};
  uint16_t u;
  std::memcpy(&u, p, 2);
  return f.encoding == SND_Encoding_Unsigned ? int32_t{u} - 32768 : int32_t{static_cast<int16_t>(u)};
}

void WriteInt(SampleFormat f, uint8_t* p, int32_t v) {
  if (f.bytes == 1) {
    p[0] = static_cast<uint8_t>(f.encoding == SND_Encoding_Unsigned ? v + 128 : v);
  } else {
    const uint16_t u = static_cast<uint16_t>(f.encoding == SND_Encoding_Unsigned ? v + 32768 : v);
    std::memcpy(p, &u, 2);
  }
}

float ReadFloat(const uint8_t* p) {
  float v;
  std::memcpy(&v, p, 4);
  return v;
}

void WriteFloat(uint8_t* p, float v) { std::memcpy(p, &v, 4); }

int32_t Limit(int64_t v, int32_t bits) {
  const int64_t hi = (int64_t{1} << (bits - 1)) - 1;
  return static_cast<int32_t>(std::clamp(v, -hi - 1, hi));
}

// A double at full scale 1.0 into an integer of `bits`, rounded half up, limited.
int32_t FromDouble(double v, int32_t bits) {
  if (std::isnan(v)) return 0;
  const double x = std::floor(v * static_cast<double>(int64_t{1} << (bits - 1)) + 0.5);
  const double hi = static_cast<double>((int64_t{1} << (bits - 1)) - 1);
  return static_cast<int32_t>(std::clamp(x, -hi - 1, hi));
}

// One destination sample from the source samples a (and b when averaging).
void ConvertOne(SampleFormat sf, const uint8_t* a, const uint8_t* b, SampleFormat df, uint8_t* d, bool mix) {
  const bool avg = b != nullptr;
  if (IsFloat(df)) {
    double v;
    if (IsFloat(sf))
      v = avg ? (static_cast<double>(ReadFloat(a)) + ReadFloat(b)) * 0.5 : ReadFloat(a);
    else
      v = static_cast<double>(ReadInt(sf, a) + (avg ? ReadInt(sf, b) : 0)) /
          static_cast<double>(int64_t{1} << (Bits(sf) - 1 + (avg ? 1 : 0)));
    const float out = static_cast<float>(v);
    WriteFloat(d, mix ? ReadFloat(d) + out : out);
    return;
  }
  int32_t out;
  if (IsFloat(sf)) {
    out = FromDouble(avg ? (static_cast<double>(ReadFloat(a)) + ReadFloat(b)) * 0.5 : ReadFloat(a), Bits(df));
  } else {
    const int64_t num = ReadInt(sf, a) + (avg ? ReadInt(sf, b) : 0);
    const int32_t shift = Bits(sf) - Bits(df) + (avg ? 1 : 0);
    out = Limit(shift <= 0 ? num * (int64_t{1} << -shift) : (num + (int64_t{1} << (shift - 1))) >> shift, Bits(df));
  }
  if (mix) out = Limit(int64_t{ReadInt(df, d)} + out, Bits(df));
  WriteInt(df, d, out);
}

// ---- The fast kernels ------------------------------------------------------------------

enum class Kind { U8, S8, U16, S16, F32 };

template <Kind K>
struct Traits;
template <>
struct Traits<Kind::U8> {
  using T = uint8_t;
  static constexpr int bits = 8;
  static int32_t Get(T v) { return int32_t{v} - 128; }
  static T Put(int32_t v) { return static_cast<T>(v + 128); }
};
template <>
struct Traits<Kind::S8> {
  using T = int8_t;
  static constexpr int bits = 8;
  static int32_t Get(T v) { return v; }
  static T Put(int32_t v) { return static_cast<T>(v); }
};
template <>
struct Traits<Kind::U16> {
  using T = uint16_t;
  static constexpr int bits = 16;
  static int32_t Get(T v) { return int32_t{v} - 32768; }
  static T Put(int32_t v) { return static_cast<T>(v + 32768); }
};
template <>
struct Traits<Kind::S16> {
  using T = int16_t;
  static constexpr int bits = 16;
  static int32_t Get(T v) { return v; }
  static T Put(int32_t v) { return static_cast<T>(v); }
};
template <>
struct Traits<Kind::F32> {
  using T = float;
  static constexpr int bits = 0;
};

template <int Bits>
inline int32_t Clamp(int32_t v) {
  constexpr int32_t hi = (1 << (Bits - 1)) - 1;
  return v < -hi - 1 ? -hi - 1 : (v > hi ? hi : v);
}

// floor(v * 2^(bits-1) + 0.5), limited to the range; NaN gives 0. The floor
// is taken by truncation and a correction (no library call in the loop).
template <int Bits>
inline int32_t RoundTo(double v) {
  constexpr double hi = (1 << (Bits - 1)) - 1;
  double x = v * (1 << (Bits - 1)) + 0.5;
  x = x == x ? x : 0.5;  // NaN
  x = x < -hi - 1 ? -hi - 1 : x;
  x = x > hi ? hi : x;
  const int32_t t = static_cast<int32_t>(x);
  return t - (static_cast<double>(t) > x ? 1 : 0);
}

template <int Bits>
inline int32_t FloatTo(float f) {
  return RoundTo<Bits>(static_cast<double>(f));
}

// The converted value of source samples a (and b when averaging): a float
// for a floating-point destination, else the signed integer value.
template <Kind S, Kind D, bool Avg>
inline auto Convert(typename Traits<S>::T a, typename Traits<S>::T b) {
  using ST = Traits<S>;
  if constexpr (D == Kind::F32) {
    if constexpr (S == Kind::F32)
      return Avg ? static_cast<float>((static_cast<double>(a) + b) * 0.5) : a;
    else
      return static_cast<float>(static_cast<double>(ST::Get(a) + (Avg ? ST::Get(b) : 0)) /
                                static_cast<double>(1 << (ST::bits - 1 + (Avg ? 1 : 0))));
  } else if constexpr (S == Kind::F32) {
    return FloatTo<Traits<D>::bits>(Avg ? static_cast<float>((static_cast<double>(a) + b) * 0.5) : a);
  } else {
    const int32_t num = ST::Get(a) + (Avg ? ST::Get(b) : 0);
    constexpr int shift = ST::bits - Traits<D>::bits + (Avg ? 1 : 0);
    if constexpr (shift <= 0)
      return num * (1 << -shift);
    else
      return Clamp<Traits<D>::bits>((num + (1 << (shift - 1))) >> shift);
  }
}

template <Kind D>
inline typename Traits<D>::T Store(typename Traits<D>::T old, decltype(Convert<Kind::S16, D, false>(0, 0)) v,
                                   std::bool_constant<true>) {
  if constexpr (D == Kind::F32)
    return old + v;
  else
    return Traits<D>::Put(Clamp<Traits<D>::bits>(Traits<D>::Get(old) + v));
}
template <Kind D>
inline typename Traits<D>::T Store(typename Traits<D>::T, decltype(Convert<Kind::S16, D, false>(0, 0)) v,
                                   std::bool_constant<false>) {
  if constexpr (D == Kind::F32)
    return v;
  else
    return Traits<D>::Put(v);
}

template <Kind S, Kind D, ChannelMap M, bool Mix>
void Loop(const void* src, void* dst, int64_t frames) {
  using ST = typename Traits<S>::T;
  using DT = typename Traits<D>::T;
  const ST* s = static_cast<const ST*>(src);
  DT* d = static_cast<DT*>(dst);
  constexpr int sc = M == ChannelMap::StereoToMono ? 2 : 1;
  constexpr int dc = M == ChannelMap::MonoToStereo ? 2 : 1;
  // Equal channel counts run over samples (the caller passes frames x channels).
  for (int64_t i = 0; i < frames; ++i) {
    const auto v = Convert<S, D, sc == 2>(s[i * sc], s[i * sc + sc - 1]);
    for (int k = 0; k < dc; ++k) d[i * dc + k] = Store<D>(d[i * dc + k], v, std::bool_constant<Mix>{});
  }
}

Kind KindOf(SampleFormat f) {
  if (f.encoding == SND_Encoding_Float) return Kind::F32;
  if (f.bytes == 1) return f.encoding == SND_Encoding_Unsigned ? Kind::U8 : Kind::S8;
  return f.encoding == SND_Encoding_Unsigned ? Kind::U16 : Kind::S16;
}

using LoopFn = void (*)(const void*, void*, int64_t);

template <Kind S, Kind D>
LoopFn Pick(ChannelMap m, bool mix) {
  switch (m) {
    case ChannelMap::Same:
      return mix ? Loop<S, D, ChannelMap::Same, true> : Loop<S, D, ChannelMap::Same, false>;
    case ChannelMap::MonoToStereo:
      return mix ? Loop<S, D, ChannelMap::MonoToStereo, true> : Loop<S, D, ChannelMap::MonoToStereo, false>;
    default:
      return mix ? Loop<S, D, ChannelMap::StereoToMono, true> : Loop<S, D, ChannelMap::StereoToMono, false>;
  }
}

template <Kind S>
LoopFn PickDst(Kind d, ChannelMap m, bool mix) {
  switch (d) {
    case Kind::U8: return Pick<S, Kind::U8>(m, mix);
    case Kind::S8: return Pick<S, Kind::S8>(m, mix);
    case Kind::U16: return Pick<S, Kind::U16>(m, mix);
    case Kind::S16: return Pick<S, Kind::S16>(m, mix);
    default: return Pick<S, Kind::F32>(m, mix);
  }
}

LoopFn PickLoop(Kind s, Kind d, ChannelMap m, bool mix) {
  switch (s) {
    case Kind::U8: return PickDst<Kind::U8>(d, m, mix);
    case Kind::S8: return PickDst<Kind::S8>(d, m, mix);
    case Kind::U16: return PickDst<Kind::U16>(d, m, mix);
    case Kind::S16: return PickDst<Kind::S16>(d, m, mix);
    default: return PickDst<Kind::F32>(d, m, mix);
  }
}

std::atomic<int> gReference{-1};  // -1: not yet read from the environment

}  // namespace

bool UseFastKernels() {
  int v = gReference.load(std::memory_order_relaxed);
  if (v < 0) {
    const char* e = std::getenv("TAVELO_REFERENCE_KERNELS");
    v = e && std::strcmp(e, "1") == 0 ? 1 : 0;
    gReference.store(v, std::memory_order_relaxed);
  }
  return v == 0;
}

void UseReferenceKernels(bool on) { gReference.store(on ? 1 : 0, std::memory_order_relaxed); }

void ConvertFramesReference(SampleFormat sf, int srcChannels, const void* src, SampleFormat df, int dstChannels,
                            void* dst, int64_t frames, bool mix) {
  const auto* s = static_cast<const uint8_t*>(src);
  auto* d = static_cast<uint8_t*>(dst);
  const int64_t sfb = int64_t{sf.bytes} * srcChannels;
  const int64_t dfb = int64_t{df.bytes} * dstChannels;
  for (int64_t i = 0; i < frames; ++i) {
    const uint8_t* frame = s + i * sfb;
    for (int c = 0; c < dstChannels; ++c) {
      const uint8_t* a = frame + (srcChannels == dstChannels ? c : 0) * sf.bytes;
      const uint8_t* b = srcChannels > dstChannels ? frame + sf.bytes : nullptr;
      ConvertOne(sf, a, b, df, d + i * dfb + c * df.bytes, mix);
    }
  }
}

void ConvertFramesFast(SampleFormat sf, int srcChannels, const void* src, SampleFormat df, int dstChannels,
                       void* dst, int64_t frames, bool mix) {
  if (frames <= 0) return;
  if (srcChannels == dstChannels) {
    if (!mix && sf.encoding == df.encoding && sf.bytes == df.bytes) {
      std::memcpy(dst, src, static_cast<size_t>(frames * srcChannels * sf.bytes));
      return;
    }
    PickLoop(KindOf(sf), KindOf(df), ChannelMap::Same, mix)(src, dst, frames * srcChannels);
    return;
  }
  const ChannelMap m = srcChannels == 1 ? ChannelMap::MonoToStereo : ChannelMap::StereoToMono;
  PickLoop(KindOf(sf), KindOf(df), m, mix)(src, dst, frames);
}

double ReadNormalized(SampleFormat f, const uint8_t* p) {
  if (IsFloat(f)) return ReadFloat(p);
  return static_cast<double>(ReadInt(f, p)) / static_cast<double>(int64_t{1} << (Bits(f) - 1));
}

void WriteNormalized(SampleFormat f, uint8_t* p, double v, bool mix) {
  if (IsFloat(f)) {
    const float out = static_cast<float>(v);
    WriteFloat(p, mix ? ReadFloat(p) + out : out);
    return;
  }
  int32_t out = FromDouble(v, Bits(f));
  if (mix) out = Limit(int64_t{ReadInt(f, p)} + out, Bits(f));
  WriteInt(f, p, out);
}

namespace {

template <Kind K>
inline double Normalized(typename Traits<K>::T v) {
  if constexpr (K == Kind::F32)
    return v;
  else
    return static_cast<double>(Traits<K>::Get(v)) * (1.0 / (1 << (Traits<K>::bits - 1)));
}

template <Kind K>
void LoadKind(int sc, int dc, const uint8_t* src, int64_t frames, int64_t lo, int64_t n, double* out) {
  using T = typename Traits<K>::T;
  const T* s = reinterpret_cast<const T*>(src);
  const int64_t a = std::clamp<int64_t>(-lo, 0, n);                // first index inside the source
  const int64_t b = std::clamp<int64_t>(frames - lo, a, n);         // end of the inside
  for (int64_t i = 0; i < a * dc; ++i) out[i] = 0.0;
  for (int64_t i = b * dc; i < n * dc; ++i) out[i] = 0.0;
  const T* f = s + (lo + a) * sc;
  double* o = out + a * dc;
  const int64_t m = b - a;
  if (sc == dc) {
    for (int64_t i = 0; i < m * dc; ++i) o[i] = Normalized<K>(f[i]);
  } else if (sc == 1) {
    for (int64_t i = 0; i < m; ++i) o[2 * i] = o[2 * i + 1] = Normalized<K>(f[i]);
  } else {
    for (int64_t i = 0; i < m; ++i) o[i] = (Normalized<K>(f[2 * i]) + Normalized<K>(f[2 * i + 1])) * 0.5;
  }
}

template <Kind K, bool Mix>
void StoreKind(const double* v, uint8_t* dst, int64_t n) {
  using T = typename Traits<K>::T;
  T* d = reinterpret_cast<T*>(dst);
  for (int64_t i = 0; i < n; ++i) {
    if constexpr (K == Kind::F32) {
      const float out = static_cast<float>(v[i]);
      d[i] = Mix ? d[i] + out : out;
    } else {
      constexpr int bits = Traits<K>::bits;
      int32_t out = RoundTo<bits>(v[i]);
      if constexpr (Mix) out = Clamp<bits>(Traits<K>::Get(d[i]) + out);
      d[i] = Traits<K>::Put(out);
    }
  }
}

template <Kind K>
void StoreMix(const double* v, uint8_t* dst, int64_t n, bool mix) {
  if (mix)
    StoreKind<K, true>(v, dst, n);
  else
    StoreKind<K, false>(v, dst, n);
}

}  // namespace

void LoadNormalized(SampleFormat f, int sc, int dc, const uint8_t* src, int64_t frames, int64_t lo, int64_t n,
                    double* out) {
  switch (KindOf(f)) {
    case Kind::U8: return LoadKind<Kind::U8>(sc, dc, src, frames, lo, n, out);
    case Kind::S8: return LoadKind<Kind::S8>(sc, dc, src, frames, lo, n, out);
    case Kind::U16: return LoadKind<Kind::U16>(sc, dc, src, frames, lo, n, out);
    case Kind::S16: return LoadKind<Kind::S16>(sc, dc, src, frames, lo, n, out);
    default: return LoadKind<Kind::F32>(sc, dc, src, frames, lo, n, out);
  }
}

void StoreNormalized(SampleFormat f, const double* v, uint8_t* dst, int64_t n, bool mix) {
  switch (KindOf(f)) {
    case Kind::U8: return StoreMix<Kind::U8>(v, dst, n, mix);
    case Kind::S8: return StoreMix<Kind::S8>(v, dst, n, mix);
    case Kind::U16: return StoreMix<Kind::U16>(v, dst, n, mix);
    case Kind::S16: return StoreMix<Kind::S16>(v, dst, n, mix);
    default: return StoreMix<Kind::F32>(v, dst, n, mix);
  }
}

}  // namespace tv::snd
