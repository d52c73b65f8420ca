// The image-file module: still images (and numbered still sequences) read
// through OpenImageIO: PNG, JPEG, TIFF, OpenEXR, DPX, Targa, BMP and the
// image editor's layered files (their flattened composite). Samples deeper
// than a byte are rounded to the nearest byte and clamped to 0..255; alpha
// is reported as the file stores it (straight where the format keeps
// unassociated alpha, premultiplied otherwise). Colour values are taken as
// stored: no colour-space conversion happens here. A file stored turned or
// mirrored (its orientation tag) is read as it is shown.
#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "OutputFormats.h"
#include "oiio.h"

namespace tv::pin {
namespace {

namespace OIIO = OIIO_NAMESPACE;

struct StillState {
  Frame frame;
};

// The picture as it is shown when the file says it was stored turned or
// mirrored (the EXIF and TIFF orientation 2 to 8 of a camera or a phone held
// on its side): each shown pixel takes the stored pixel it came from.
void Orient(int orientation, Frame& f) {
  if (orientation < 2 || orientation > 8) return;
  const int64_t w = f.width, h = f.height;
  const bool swap = orientation >= 5;
  const int64_t sw = swap ? h : w, sh = swap ? w : h;
  std::vector<uint8_t> shown(f.argb.size());
  for (int64_t y = 0; y < sh; ++y)
    for (int64_t x = 0; x < sw; ++x) {
      int64_t sx = x, sy = y;
      switch (orientation) {
        case 2: sx = w - 1 - x; break;
        case 3: sx = w - 1 - x, sy = h - 1 - y; break;
        case 4: sy = h - 1 - y; break;
        case 5: sx = y, sy = x; break;
        case 6: sx = y, sy = h - 1 - x; break;
        case 7: sx = w - 1 - y, sy = h - 1 - x; break;
        default: sx = w - 1 - y, sy = x; break;  // 8
      }
      std::memcpy(&shown[static_cast<size_t>(y * sw + x) * 4], &f.argb[static_cast<size_t>(sy * w + sx) * 4], 4);
    }
  f.argb.swap(shown);
  f.width = static_cast<int32_t>(sw);
  f.height = static_cast<int32_t>(sh);
}

// The file opened by the reader of its extension, else by the first of this
// module's formats that knows the file by its signature (a file whose name
// says another format than it holds). Never by every reader the library
// has, as the library would: some walk a file of garbage eight bytes at a
// time, and a large one took hours. Null with the first reader's reason.
std::unique_ptr<OIIO::ImageInput> OpenImage(const std::string& path, const OIIO::ImageSpec& config,
                                            std::string* why) {
  const size_t dot = path.rfind('.'), slash = path.rfind('/');
  const std::string ext = dot != std::string::npos && (slash == std::string::npos || dot > slash)
                              ? path.substr(dot + 1) : std::string();
  why->clear();
  auto attempt = [&](std::unique_ptr<OIIO::ImageInput> in, bool sniff) -> std::unique_ptr<OIIO::ImageInput> {
    if (!in) return nullptr;
    OIIO::ImageSpec spec;
    if ((!sniff || in->valid_file(path)) && in->open(path, spec, config)) return in;
    if (why->empty()) *why = in->geterror();
    return nullptr;
  };
  std::unique_ptr<OIIO::ImageInput> byExtension = ext.empty() ? nullptr : OIIO::ImageInput::create(ext);
  const std::string firstFormat = byExtension ? byExtension->format_name() : std::string();
  OIIO::geterror();  // a reader not found for the extension is no error yet
  if (auto in = attempt(std::move(byExtension), false)) return in;
  static const char* const kFormats[] = {"png", "jpeg", "tiff", "openexr", "dpx", "bmp", "psd", "targa"};
  for (const char* format : kFormats) {
    if (firstFormat == format) continue;
    auto in = attempt(OIIO::ImageInput::create(format), true);
    OIIO::geterror();
    if (in) return in;
  }
  if (why->empty()) *why = "not an image file of a known format";
  return nullptr;
}

// Decodes the first image of path into f; the library's reason in *why on failure.
bool Decode(const std::string& path, Frame& f, bool* straight, bool* hasAlpha, std::string* why,
            float* pixelAspect = nullptr) {
  OIIO::ImageSpec config;
  // Keep unassociated alpha as stored, so it can be reported as straight.
  config.attribute("oiio:UnassociatedAlpha", 1);
  auto in = OpenImage(path, config, why);
  if (!in) return false;
  const OIIO::ImageSpec& spec = in->spec();
  // The picture is the display window. The stored pixels (the data window:
  // a cropped render's bounding box, or an overscan) lie in it at their own
  // origin, cut to it; what they leave uncovered is transparent black (black
  // in a file without alpha), as the formats define. Most files store
  // exactly their picture.
  const int64_t dw = spec.width, dh = spec.height;
  const bool window = spec.full_width > 0 && spec.full_height > 0;
  const int64_t w = window ? spec.full_width : dw, h = window ? spec.full_height : dh;
  const int64_t ox = window ? int64_t{spec.x} - spec.full_x : 0, oy = window ? int64_t{spec.y} - spec.full_y : 0;
  const int nch = spec.nchannels;
  constexpr int64_t kMaxSide = 30000;
  if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide || dw < 1 || dh < 1 || dw > kMaxSide || dh > kMaxSide ||
      nch < 1) {
    *why = "unsupported image size";
    return false;
  }
  int alpha = spec.alpha_channel;
  if (alpha < 0 && nch == 2) alpha = 1;
  if (alpha < 0 && nch >= 4) alpha = 3;
  *hasAlpha = alpha >= 0 && alpha < nch;
  const std::string format = in->format_name();
  // BMP files keep straight alpha (as their writers store it), which the
  // library does not say.
  *straight = spec.get_int_attribute("oiio:UnassociatedAlpha", 0) != 0 || format == "bmp";
  // The pixel aspect of the formats with a field for it (the others' comes
  // from resolutions that readers take both ways).
  if (pixelAspect) {
    *pixelAspect = format == "openexr" || format == "dpx" ? spec.get_float_attribute("PixelAspectRatio", 1.0f) : 1.0f;
  }
  const int color = nch >= 3 ? 3 : 1;
  const size_t count = static_cast<size_t>(dw * dh) * static_cast<size_t>(nch);
  f.width = static_cast<int32_t>(w);
  f.height = static_cast<int32_t>(h);
  f.argb.assign(static_cast<size_t>(w * h) * 4, 0);
  if (!*hasAlpha)
    for (size_t i = 0; i < f.argb.size(); i += 4) f.argb[i] = 255;
  // The data window's rows and columns that fall in the picture.
  const int64_t x0 = std::max<int64_t>(0, -ox), x1 = std::min(dw, w - ox);
  const int64_t y0 = std::max<int64_t>(0, -oy), y1 = std::min(dh, h - oy);
  auto store = [&](auto sampleToByte, const auto* samples) {
    for (int64_t y = y0; y < y1; ++y)
      for (int64_t x = x0; x < x1; ++x) {
        const auto* px = samples + static_cast<size_t>(y * dw + x) * static_cast<size_t>(nch);
        uint8_t* out = &f.argb[static_cast<size_t>((y + oy) * w + x + ox) * 4];
        out[0] = *hasAlpha ? sampleToByte(px[alpha]) : 255;
        for (int c = 0; c < 3; ++c) out[1 + c] = sampleToByte(px[color == 3 ? c : 0]);
      }
  };
  bool ok = false;
  if (spec.format == OIIO::TypeDesc::UINT8) {
    std::vector<uint8_t> px(count);
    ok = in->read_image(0, 0, 0, nch, OIIO::TypeDesc::UINT8, px.data());
    if (ok) store([](uint8_t v) { return v; }, px.data());
  } else if (spec.format == OIIO::TypeDesc::UINT16) {
    std::vector<uint16_t> px(count);
    ok = in->read_image(0, 0, 0, nch, OIIO::TypeDesc::UINT16, px.data());
    if (ok) store(WordToByte, px.data());
  } else {
    std::vector<float> px(count);
    ok = in->read_image(0, 0, 0, nch, OIIO::TypeDesc::FLOAT, px.data());
    if (ok) store(UnitToByte, px.data());
  }
  if (!ok) {
    *why = in->geterror();
    if (why->empty()) *why = OIIO::geterror();
    f = Frame{};
    return false;
  }
  const int orientation = spec.get_int_attribute("Orientation", 1);
  Orient(orientation, f);
  // A picture shown turned a quarter has its pixels turned too: a pixel
  // twice as wide as stored is shown twice as tall.
  if (pixelAspect && orientation >= 5 && orientation <= 8 && *pixelAspect > 0) *pixelAspect = 1.0f / *pixelAspect;
  return true;
}

ErrorCode ReadFrame(PIN_SeqSpecH seq, const Time& time, const Frame** out) {
  int32_t index = 0;
  if (ErrorCode err = PIN_GetFrameIndex(seq, &time, &index)) return err;
  StillState* st = GetInstance<StillState>(seq);
  // A SeqSpec restored from a project gets its state on first use.
  if (!st) {
    if (ErrorCode err = SetInstance(seq, new StillState)) return err;
    st = GetInstance<StillState>(seq);
  }
  if (st->frame.index != index) {
    FILE_SpecH file = nullptr;
    if (ErrorCode err = PIN_GetFileAtTime(seq, &time, &file)) return err;
    const std::string path = PathOf(file), name = NameOf(file);
    FILE_Dispose(file);
    bool straight = false, hasAlpha = false;
    std::string why;
    st->frame.index = -1;
    if (!Decode(path, st->frame, &straight, &hasAlpha, &why)) return CannotRead(kSiteImageRead, name, why);
    if (ErrorCode err = CheckFrameSize(seq, st->frame.width, st->frame.height, kSiteImageRead, name)) return err;
    st->frame.index = index;
  }
  *out = &st->frame;
  return 0;
}

ErrorCode NewFromFile(PIN_SeqSpecH seq, FILE_SpecH file, uint32_t) {
  auto st = std::make_unique<StillState>();
  bool straight = false, hasAlpha = false;
  float pixelAspect = 1;
  std::string why;
  if (!Decode(PathOf(file), st->frame, &straight, &hasAlpha, &why, &pixelAspect))
    return CannotRead(kSiteImageRead, NameOf(file), why);
  st->frame.index = 0;
  PIN_SourceInfo info{};
  PIN_GetSourceInfo(seq, &info);
  info.width = st->frame.width;
  info.height = st->frame.height;
  info.depth = hasAlpha ? 32 : 24;
  info.duration = Time{0, 1};
  info.start = Time{0, 1};
  info.nativeRate = 0;
  info.alpha.marker = PIN_AlphaMarker;
  info.alpha.type = !hasAlpha ? PIN_Alpha_None : straight ? PIN_Alpha_Straight : PIN_Alpha_Premul;
  info.alpha.flags = hasAlpha && !straight ? 1u : 0u;
  if (ErrorCode err = PIN_SetSourceInfo(seq, &info)) return err;
  // A pixel aspect the file tells (1/100 to 100, as compositions take)
  // replaces the default of the frame size.
  if (pixelAspect != 1.0f && pixelAspect >= 0.01f && pixelAspect <= 100.0f) {
    const outputs::PixelAspect aspect = outputs::PixelAspectOf(pixelAspect);
    if (aspect.num != aspect.den)
      if (ErrorCode err = PIN_SetHSF(seq, aspect.num, aspect.den)) return err;
  }
  return SetInstance(seq, st.release());
}

ErrorCode Dispose(PIN_SeqSpecH seq) {
  DisposeInstance<StillState>(seq);
  return 0;
}

ErrorCode Draw(PIN_SeqSpecH seq, const PIN_DrawParams* params, BM_World world) {
  const Frame* f = nullptr;
  if (ErrorCode err = ReadFrame(seq, params->time, &f)) return err;
  return DrawFrame(*f, params, world, 0, 0);
}

ErrorCode DrawPartial(PIN_SeqSpecH seq, const PIN_DrawParams* params, BM_World world) {
  const Frame* f = nullptr;
  if (ErrorCode err = ReadFrame(seq, params->time, &f)) return err;
  return DrawFrame(*f, params, world, params->part.left, params->part.top);
}

}  // namespace

void InstallImageFiles(PIN_ModuleProcs* procs) {
  PIN_InstallStillProcs(procs);
  procs->newSeqSpecFromFile = NewFromFile;
  procs->disposeSeqSpec = Dispose;
  procs->drawSparseFrame = Draw;
  procs->drawPartialFrame = DrawPartial;
  InstallImageOutput(*procs);
}

}  // namespace tv::pin
