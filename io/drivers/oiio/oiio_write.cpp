// The image-file module's output: each frame written as one still file
// (PNG, TIFF, OpenEXR, JPEG or DPX by the file's extension), encoded in
// memory and written through the atomic replacement, so a write that fails
// leaves nothing under the final name and every failure is reported. PNG and
// TIFF files get the World's bytes as they are, alpha straight (TIFF files
// say so); OpenEXR and DPX files record no such mark and are read everywhere
// as premultiplied, so their colour is multiplied by alpha first. OpenEXR
// gets half floats (premultiplied before rounding), the others 8-bit samples.
// OpenEXR and DPX files carry the pixel aspect of the output information.
// Options: the JPEG quality (1..100, default 95), whether alpha is written
// (default yes; never in JPEG) and the PNG compression level (0..9, default
// 1: a frame is written several times faster than at zlib's usual 6, for
// files about a fifth larger; levels up to 3 filter each row by its left
// neighbour alone, higher ones let the encoder choose a filter per row).
#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>

#include <cctype>
#include <cstring>
#include <strings.h>

#include "AtomicFile.h"
#include "ByteOrder.h"
#include "OutputFormats.h"
#include "oiio.h"

namespace tv::pin {
namespace {

namespace OIIO = OIIO_NAMESPACE;

// Output options (stored big-endian): "OIo2", quality, alpha, PNG
// compression level (u32 each).
constexpr FourCC kOptionsTag = MakeFourCC("OIo2");
constexpr size_t kOptionsSize = 16;
enum : int32_t { kSelQuality = 1, kSelAlpha = 2, kSelCompression = 3 };
// libpng's row filters: the left neighbour only, or all five to choose from.
constexpr int32_t kPngFilterSub = 0x10, kPngFiltersAll = 0xF8;

struct ImageOutput {
  std::string path;
  int32_t quality = 95;
  int32_t alpha = 1;
  int32_t compression = 1;
  outputs::PixelAspect aspect;  // the output information's
};

std::string NameIn(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Extension(const std::string& path) {
  const size_t dot = path.rfind('.');
  return dot == std::string::npos ? std::string() : path.substr(dot + 1);
}

// Whether files of the extension can say that their alpha is straight.
bool KeepsStraightAlpha(const std::string& ext) {
  return strcasecmp(ext.c_str(), "png") == 0 || strcasecmp(ext.c_str(), "tif") == 0 ||
         strcasecmp(ext.c_str(), "tiff") == 0;
}

// Encodes samples of the type (RGB or RGBA) as a file of the extension's
// format into bytes; the file name goes into formats that record it (DPX);
// PNG files are compressed at the level. 0, kErrUnsupported for a format
// without a writer, kSysIO for a failure of the library (*why).
ErrorCode EncodeImage(const std::string& ext, const std::string& name, int w, int h, int nch, bool exr,
                      int32_t compression, outputs::PixelAspect aspect, OIIO::TypeDesc type, const void* samples,
                      std::vector<uint8_t>* bytes, std::string* why) {
  auto writer = OIIO::ImageOutput::create(ext);
  if (!writer) {
    *why = OIIO::geterror();
    return kErrUnsupported;
  }
  OIIO::Filesystem::IOVecOutput memory(*bytes);
  if (!writer->supports("ioproxy") || !writer->set_ioproxy(&memory)) {
    *why = "the " + ext + " writer cannot write into memory";
    return kErrUnsupported;
  }
  OIIO::ImageSpec spec(w, h, nch, exr ? OIIO::TypeDesc::HALF : OIIO::TypeDesc::UINT8);
  if (nch == 4) {
    spec.alpha_channel = 3;
    if (KeepsStraightAlpha(ext)) spec.attribute("oiio:UnassociatedAlpha", 1);
  }
  // Formats with a field for the pixel aspect (width over height) get it;
  // the others keep resolutions, which readers turn into an aspect both ways.
  if (aspect.num != aspect.den && (exr || strcasecmp(ext.c_str(), "dpx") == 0))
    spec.attribute("PixelAspectRatio", static_cast<float>(static_cast<double>(aspect.num) / aspect.den));
  if (strcasecmp(ext.c_str(), "png") == 0) {
    spec.attribute("png:compressionLevel", compression);
    spec.attribute("png:filter", compression <= 3 ? kPngFilterSub : kPngFiltersAll);
  }
  if (!writer->open(name, spec) || !writer->write_image(type, samples) || !writer->close()) {
    *why = writer->geterror();
    return kSysIO;
  }
  return 0;
}

ErrorCode NewOutput(PIN_OutputSpecH) { return 0; }

ErrorCode SetFile(PIN_OutputSpecH out, FILE_SpecH file) {
  const std::string path = PathOf(file);
  if (path.empty()) return BadArgument(kSiteImageWrite, "SetOutputFile");
  // A numbered still sequence gets each frame's file in turn: the options stay.
  if (ImageOutput* o = GetOutput<ImageOutput>(out)) {
    o->path = path;
    return 0;
  }
  auto* o = new ImageOutput;
  o->path = path;
  return SetOutput(out, o);
}

ErrorCode WriteFrame(PIN_OutputSpecH out, BM_World world) {
  ImageOutput* o = GetOutput<ImageOutput>(out);
  if (!o || !world) return BadArgument(kSiteImageWrite, "OutputFrame");
  PixelLock px(world);
  if (!px.ok()) return BadArgument(kSiteImageWrite, "OutputFrame");
  const std::string ext = Extension(o->path);
  const bool jpeg = strcasecmp(ext.c_str(), "jpg") == 0 || strcasecmp(ext.c_str(), "jpeg") == 0;
  const bool exr = strcasecmp(ext.c_str(), "exr") == 0;
  const int nch = o->alpha && !jpeg ? 4 : 3;
  const int w = px.width(), h = px.height();
  // RGB(A) samples from the World's ARGB bytes.
  std::vector<uint8_t> rgba(static_cast<size_t>(w) * static_cast<size_t>(h) * static_cast<size_t>(nch));
  for (int y = 0; y < h; ++y) {
    const uint8_t* s = px.Row(y);
    uint8_t* d = &rgba[static_cast<size_t>(y) * static_cast<size_t>(w) * static_cast<size_t>(nch)];
    for (int x = 0; x < w; ++x, s += 4, d += nch) {
      d[0] = s[1], d[1] = s[2], d[2] = s[3];
      if (nch == 4) d[3] = s[0];
    }
  }
  // Premultiplied where the format cannot say straight: in floats for
  // OpenEXR, rounded to the nearest byte for the others.
  OIIO::TypeDesc type = OIIO::TypeDesc::UINT8;
  const void* samples = rgba.data();
  std::vector<float> unit;
  if (nch == 4 && !KeepsStraightAlpha(ext)) {
    if (exr) unit.resize(rgba.size());
    for (size_t i = 0; i < rgba.size(); i += 4) {
      const unsigned a = rgba[i + 3];
      for (size_t c = i; c < i + 3; ++c) {
        if (exr)
          unit[c] = static_cast<float>(rgba[c] * a) / (255.0f * 255.0f);
        else
          rgba[c] = static_cast<uint8_t>((rgba[c] * a + 127) / 255);
      }
      if (exr) unit[i + 3] = static_cast<float>(a) / 255.0f;
    }
    if (exr) type = OIIO::TypeDesc::FLOAT, samples = unit.data();
  }
  // The file is encoded in memory and then written through the checked road:
  // the image library's own file writing does not report every failed write.
  std::vector<uint8_t> bytes;
  std::string why;
  const ErrorCode encoded =
      jpeg ? (EncodeJpeg(rgba.data(), w, h, o->quality, &bytes, &why) ? 0 : kSysIO)
           : EncodeImage(ext, NameIn(o->path), w, h, nch, exr, o->compression, o->aspect, type, samples, &bytes,
                         &why);
  if (encoded) return CannotWrite(kSiteImageWrite, encoded, NameIn(o->path), why);
  if (ErrorCode err = platform::WriteFileAtomically(o->path, bytes))
    return CannotWriteFile(kSiteImageWrite, err, NameIn(o->path));
  return 0;
}

ErrorCode Start(PIN_OutputSpecH out) {
  return GetOutput<ImageOutput>(out) ? 0 : BadArgument(kSiteImageWrite, "StartAdding");
}

// The output information: the files tell the pixel aspect.
ErrorCode SetInfo(PIN_OutputSpecH out, const void* info, int32_t size) {
  if (!info || size != static_cast<int32_t>(sizeof(PIN_OutputInfo)))
    return BadArgument(kSiteImageWrite, "SetOutputInfo");
  const auto* i = static_cast<const PIN_OutputInfo*>(info);
  if (ImageOutput* o = GetOutput<ImageOutput>(out)) o->aspect = outputs::OutputPixelAspect(i->hsfNum, i->hsfDen);
  return 0;
}
ErrorCode AddFrame(PIN_OutputSpecH out, int32_t, BM_World world) { return WriteFrame(out, world); }
ErrorCode End(PIN_OutputSpecH out) {
  EndOutput<ImageOutput>(out);
  return 0;
}

ErrorCode GetOptions(PIN_OutputSpecH out, Handle* options) {
  if (!options) return BadArgument(kSiteImageWrite, "GetOutputOptions");
  *options = NewHandle(kOptionsSize);
  if (!*options) return kErrOutOfMemory;
  const ImageOutput defaults;
  const ImageOutput* o = GetOutput<ImageOutput>(out);
  if (!o) o = &defaults;
  be::Writer w;
  w.WriteFourCC(kOptionsTag);
  w.Write<uint32_t>(static_cast<uint32_t>(o->quality));
  w.Write<uint32_t>(static_cast<uint32_t>(o->alpha));
  w.Write<uint32_t>(static_cast<uint32_t>(o->compression));
  std::memcpy(**options, w.bytes().data(), kOptionsSize);
  return 0;
}

ErrorCode DisposeOptions(PIN_OutputSpecH, Handle options) {
  if (options) DisposeHandle(options);
  return 0;
}

ErrorCode SetData(PIN_OutputSpecH out, int32_t selector, const void* data, int32_t size) {
  ImageOutput* o = GetOutput<ImageOutput>(out);
  int32_t v = 0;
  if (o && data && size == 4) std::memcpy(&v, data, 4);
  const bool valid = selector == kSelQuality     ? v >= 1 && v <= 100
                     : selector == kSelAlpha       ? v == 0 || v == 1
                     : selector == kSelCompression ? v >= 0 && v <= 9
                                                   : false;
  if (!o || !data || size != 4 || !valid) return BadArgument(kSiteImageWrite, "SetOutSpecificData");
  (selector == kSelQuality ? o->quality : selector == kSelAlpha ? o->alpha : o->compression) = v;
  return 0;
}

// 24- and 32-bit frames, or 24-bit only for a format without alpha (known
// once the file is set).
ErrorCode Depths(PIN_OutputSpecH out, uint32_t* depths) {
  const ImageOutput* o = GetOutput<ImageOutput>(out);
  std::string ext = o ? Extension(o->path) : std::string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const outputs::StillFormat* format = outputs::FindStill(ext);
  *depths = format && !format->alpha ? 0x40 : 0xC0;
  return 0;
}

}  // namespace

void InstallImageOutput(PIN_ModuleProcs& p) {
  p.newOutputSpec = NewOutput;
  p.setOutputFile = SetFile;
  p.setOutputInfo = SetInfo;
  p.startAdding = Start;
  p.addFrame = AddFrame;
  p.endAdding = End;
  p.outputFrame = WriteFrame;
  p.getOutputOptions = GetOptions;
  p.disposeOutputOptions = DisposeOptions;
  p.setOutSpecificData = SetData;
  p.getLegalDepths = Depths;
}

}  // namespace tv::pin
