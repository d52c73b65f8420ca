// Frames and sound of a composition into NumPy arrays.
//
// Frames: the engine's worlds hold 8-bit alpha-red-green-blue pixels
// (straight alpha, byte 0 alpha); the array is height x width x 4 in red,
// green, blue, alpha order, the order image libraries expect.
// Sound: frames x channels, in the sample type asked for.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "BM.h"
#include "FILE.h"
#include "MC.h"
#include "OutputFormats.h"
#include "PIN.h"
#include "SND.h"
#include "desc_build.h"
#include "objects.h"
#include "output_name.h"

namespace tvpy {
namespace {

// A World disposed whatever happens.
struct World {
  BM_World w = nullptr;
  ~World() {
    if (w) BM_DisposeWorld(w);
  }
};

struct SoundWorld {
  SND_World w = nullptr;
  bool locked = false;
  ~SoundWorld() {
    if (locked) SND_UnlockBuffer(w);
    if (w) SND_DisposeWorld(w);
  }
};

struct PixelLock {
  BM_World w = nullptr;
  ~PixelLock() {
    if (w) BM_UnlockPixels(w);
  }
};

}  // namespace

py::array_t<uint8_t> Comp::RenderFrame(std::optional<int64_t> frame, std::optional<double> time,
                                       const py::object& progress) const {
  Enter();
  if (frame && time) BadValue("give frame or time, not both");
  Time f{}, d{};
  Check(BEE_GetCompFrameDuration(h, &f), "reading the frame rate");
  Check(BEE_GetItemDuration(h, &d, nullptr), "reading the duration");
  if (f.value <= 0 || f.scale == 0) Fail(3, "the composition has no frame rate");
  const int64_t count = FrameCount();
  int64_t n = frame.value_or(0);
  if (time) {
    if (!std::isfinite(*time)) BadValue("a time must be finite");
    n = tavelo::desc::FrameAtSeconds(*time, f);
  }
  if (n < 0 || n >= count)
    Fail(10, "frame " + std::to_string(n) + " is outside the composition (frames 0 to " + std::to_string(count - 1) +
                 ")");
  Enter();
  BEE_RenderRequest rq{};
  rq.time = Time{static_cast<int32_t>(n * f.value), f.scale};
  rq.span = f;
  rq.layerCount = -1;
  // The frame goes into the array, not into the frame cache: a loop over a
  // composition's frames keeps memory flat.
  int32_t frameWidth = 0, frameHeight = 0;
  Check(BEE_GetCompDimensionsDSF(h, &frameWidth, &frameHeight, nullptr), "reading the frame size");
  World frameWorld;
  const Rect bounds{0, 0, static_cast<int16_t>(std::max(frameHeight, 1)), static_cast<int16_t>(std::max(frameWidth, 1))};
  Check(BM_NewWorld(nullptr, 0, &bounds, 32, 0, nullptr, &frameWorld.w), "making the frame");
  ProgressScope scope(progress);
  ErrorCode err = 0;
  {
    // Other Python threads run while the engine renders.
    py::gil_scoped_release released;
    err = BEEp_RenderItemFrame(h, &rq, frameWorld.w);
  }
  scope.Finish();
  Check(err, "rendering frame " + std::to_string(n));
  BM_World world = frameWorld.w;
  int32_t width = 0, height = 0, depth = 0, rowBytes = 0;
  Check(BM_GetWorldInfo(world, &width, &height, &depth, &rowBytes), "reading the frame");
  if (depth != 32) Fail(3, "the rendered frame is not a 32-bit image");
  Boolean32 failed = 0;
  Check(BM_LockPixels(0, world, &failed), "locking the frame");
  PixelLock lock{world};
  if (failed) Fail(4, "the rendered frame's pixels are not in memory");
  py::array_t<uint8_t> out({static_cast<py::ssize_t>(height), static_cast<py::ssize_t>(width), py::ssize_t{4}});
  auto* dst = out.mutable_data();
  const auto* base = reinterpret_cast<const uint8_t*>(BMp_GetPixBaseAddr(world));
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* src = base + static_cast<size_t>(y) * static_cast<size_t>(rowBytes);
    uint8_t* row = dst + static_cast<size_t>(y) * static_cast<size_t>(width) * 4;
    for (int32_t x = 0; x < width; ++x, src += 4, row += 4) {
      row[0] = src[1];
      row[1] = src[2];
      row[2] = src[3];
      row[3] = src[0];
    }
  }
  return out;
}

py::array Comp::RenderAudio(double start, std::optional<double> duration, double rate, int channels,
                            const std::string& dtype, const py::object& progress) const {
  Enter();
  SND_Format format{};
  if (!(rate >= 1000 && rate <= 192000)) BadValue("rate must be 1000 to 192000 samples a second");
  if (channels != 1 && channels != 2) BadValue("channels must be 1 or 2");
  format.rate = rate;
  format.channels = static_cast<uint16_t>(channels);
  if (dtype == "int16") {
    format.encoding = SND_Encoding_Signed;
    format.bytesPerSample = 2;
  } else if (dtype == "float32") {
    format.encoding = SND_Encoding_Float;
    format.bytesPerSample = 4;
  } else if (dtype == "uint8") {
    format.encoding = SND_Encoding_Unsigned;
    format.bytesPerSample = 1;
  } else {
    BadValue("dtype must be \"int16\", \"float32\" or \"uint8\"");
  }
  Time d{};
  Check(BEE_GetItemDuration(h, &d, nullptr), "reading the duration");
  // On the grid of the samples asked for, so that the span holds exactly
  // the sample frames it names and spans rendered one after the other join.
  const auto atSamples = [rate](double seconds) {
    const Time t = ToTime(seconds);
    const double samples = std::round(seconds * rate);
    if (rate != std::floor(rate) || std::fabs(samples) > INT32_MAX) return t;
    return Time{static_cast<int32_t>(samples), static_cast<uint32_t>(rate)};
  };
  const Time s = atSamples(start);
  const Time len = duration ? atSamples(*duration) : atSamples(Seconds(d) - start);
  if (len.value <= 0) BadValue("the duration must be more than 0");
  ProgressScope scope(progress);
  SoundWorld world;
  // Each layer at its own quality, as a composition's sound is rendered; the
  // progress record makes the engine poll the progress callable per stage.
  BEE_SoundProgress stage{};
  ErrorCode err = 0;
  {
    py::gil_scoped_release released;
    err = BEE_RenderItemSound(h, 1, s, len, &format, &stage, &world.w);
  }
  scope.Finish();
  Check(err, "rendering the sound");
  SND_WorldInfo info{};
  Check(SNDp_GetWorldInfo(world.w, &info), "reading the sound");
  const auto frames = static_cast<py::ssize_t>(info.frames);
  py::array out;
  if (dtype == "int16") out = py::array_t<int16_t>({frames, static_cast<py::ssize_t>(channels)});
  else if (dtype == "float32") out = py::array_t<float>({frames, static_cast<py::ssize_t>(channels)});
  else out = py::array_t<uint8_t>({frames, static_cast<py::ssize_t>(channels)});
  if (frames > 0) {
    Check(SND_LockBuffer(0, world.w), "locking the sound");
    world.locked = true;
    void* samples = nullptr;
    Check(SNDp_GetBuffer(world.w, &samples), "reading the sound");
    if (samples)
      std::memcpy(out.mutable_data(), samples,
                  static_cast<size_t>(frames) * static_cast<size_t>(channels) * format.bytesPerSample);
  }
  return out;
}

void Comp::SaveFrame(const std::string& path, int64_t frame) const {
  Enter();
  const int64_t count = FrameCount();
  if (frame < 0 || frame >= count)
    Fail(10, "frame " + std::to_string(frame) + " is outside the composition (frames 0 to " +
                 std::to_string(count - 1) + ")");
  Time f{};
  Check(BEE_GetCompFrameDuration(h, &f), "reading the frame rate");
  BEE_RenderRequest rq{};
  rq.time = Time{static_cast<int32_t>(frame * f.value), f.scale};
  rq.span = f;
  rq.layerCount = -1;
  std::string ext = std::filesystem::path(path).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (!ext.empty()) ext.erase(0, 1);
  if (!tv::outputs::FindStill(ext))
    BadValue("a frame is saved as .png, .tif, .exr, .jpg or .dpx (\"" + path + "\" is none of them)");
  std::error_code ec;
  const std::string full = std::filesystem::absolute(path, ec).lexically_normal().string();
  FILE_SpecH spec = nullptr;
  Check(FILE_New(full.c_str(), FILE_LocFullPath, &spec), "naming \"" + path + "\"");
  const WriteScope writing;
  const ErrorCode err = BEE_SaveFrameAs(h, &rq, spec, 0);
  FILE_Dispose(spec);
  Check(err, "saving frame " + std::to_string(frame) + " to \"" + path + "\"");
}

py::dict Comp::RenderMovie(const std::string& path, std::optional<double> start, std::optional<double> duration,
                           const std::string& codec, bool sound, const py::object& progress,
                           const std::string& fields) const {
  Enter();
  const char* const orders[] = {"off", "upperFirst", "lowerFirst"};
  int32_t fieldOrder = -1;
  for (int32_t i = 0; i < 3; ++i)
    if (fields == orders[i]) fieldOrder = i;
  if (fieldOrder < 0) BadValue("fields must be \"off\", \"upperFirst\" or \"lowerFirst\"");
  std::string ext = std::filesystem::path(path).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (!ext.empty()) ext.erase(0, 1);
  // The containers and codecs of the engine's table of outputs, as the
  // command line names them.
  const tv::outputs::Container* container = tv::outputs::FindContainer(ext);
  const bool still = tv::outputs::FindStill(ext) != nullptr;
  const bool movie = container != nullptr;
  if (!still && !movie) BadValue("a movie is .mp4, .mov, .mkv or .avi; a still sequence .png, .tif, .exr, .jpg or .dpx");
  FourCC codecTag = movie ? container->codecs[0] : 0;
  if (movie && !codec.empty()) {
    const tv::outputs::Codec* c = tv::outputs::FindCodec(codec);
    if (!c) BadValue("unknown codec \"" + codec + "\" (h264, prores, prores4444, png, animation)");
    if (!tv::outputs::Holds(*container, c->fourcc))
      BadValue("a ." + ext + " movie cannot hold " + std::string(c->name) + " (.mov holds every codec)");
    codecTag = c->fourcc;
  }
  BEE_CompSettings cs{};
  Check(BEE_GetCompSettings(h, &cs), "reading the composition");
  int32_t width = 0, height = 0;
  Check(BEE_GetCompDimensionsDSF(h, &width, &height, nullptr), "reading the composition's size");
  Time d{};
  Check(BEE_GetItemDuration(h, &d, nullptr), "reading the duration");
  const Time from = ToTime(start.value_or(0.0), h);
  const double total = Seconds(d);
  const double first = start.value_or(0.0);
  const double length = duration.value_or(total - first);
  const Time span = ToTime(length, h);
  // The frames rendered are the composition's, as on the command line: none
  // before its start or after its end.
  Time f{};
  Check(BEE_GetCompFrameDuration(h, &f), "reading the frame rate");
  const double half = f.scale ? 0.5 * f.value / f.scale : 0.0;
  const auto secs = [](double v) {
    char b[40];
    std::snprintf(b, sizeof b, "%g s", v);
    return std::string(b);
  };
  if (first < 0 || first >= total - half)
    Fail(10, "start " + secs(first) + " is outside the composition (0 to " + secs(total) + ")");
  if (!(length > 0)) BadValue("the duration must be more than 0");
  if (first + length > total + half)
    Fail(10, "start " + secs(first) + " and duration " + secs(length) + " go past the composition's end (" +
                 secs(total) + ")");

  // The OutputSpec is ours: made here, given to the render, disposed after it.
  struct Output {
    PIN_OutputSpecH out = nullptr;
    ~Output() {
      if (out) PIN_DisposeOutputSpec(out);
    }
  } output;
  const auto four = [](const char* c) {
    return (static_cast<uint32_t>(static_cast<uint8_t>(c[0])) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(c[1])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(c[2])) << 8) | static_cast<uint8_t>(c[3]);
  };
  Check(PIN_NewOutputSpec(four(still ? "OIMG" : "MooV"), width, height, &output.out), "making the output");
  {
    std::error_code ec;
    // A still sequence's name numbers its frames where its run of '#' is
    // ("title_####.png"), as on the command line; else after the name.
    const std::string named = still ? tavelo::FrameworkTemplate(path) : path;
    const std::string full = std::filesystem::absolute(named, ec).lexically_normal().string();
    // Missing folders are made, as the command line makes them (a failure
    // shows when the output is written).
    std::filesystem::create_directories(std::filesystem::path(full).parent_path(), ec);
    FILE_SpecH spec = nullptr;
    Check(FILE_New(full.c_str(), FILE_LocFullPath, &spec), "naming \"" + path + "\"");
    const ErrorCode err = PIN_SetOutputFile(output.out, spec);
    FILE_Dispose(spec);
    Check(err, "naming the output \"" + path + "\"");
  }
  constexpr int32_t kSoundRate = 48000;  // movies' sound, stereo
  PIN_OutputInfo info{};
  Check(PIN_GetOutputInfo(output.out, &info, sizeof info), "reading the output");
  info.frameRate = static_cast<Fixed>(cs.frameRate);
  info.fieldOrder = static_cast<uint32_t>(fieldOrder);
  Ratio hsf{1, 1};
  Check(BEE_GetItemHSF(h, &hsf), "reading the pixel aspect");
  const tv::outputs::PixelAspect aspect = tv::outputs::OutputPixelAspect(hsf.num, hsf.den);
  info.hsfNum = aspect.num, info.hsfDen = aspect.den;
  if (movie) {
    const int32_t words[][2] = {{1, static_cast<int32_t>(codecTag)},
                                {3, static_cast<int32_t>(cs.frameRate)},
                                {4, sound ? kSoundRate : 0},
                                {5, 2}};
    for (const auto& w : words)
      Check(PIN_SetOutSpecificData(output.out, w[0], &w[1], 4), "setting the movie's options");
    if (sound) {
      info.soundRate = static_cast<uint32_t>(kSoundRate) << 16;
      info.soundEncoding = SND_Encoding_Signed;
      info.soundBytes = 2;
      info.soundChannels = 2;
    }
  }
  // A format without alpha gets 24-bit frames: the engine puts the
  // composition's background colour under them.
  uint32_t depths = 0;
  PIN_GetLegalDepths(output.out, &depths);
  info.depth = (depths & 0x80) || depths == 0 ? 32 : 24;
  Check(PIN_SetOutputInfo(output.out, &info, sizeof info), "setting the output");

  BEE_MovieOutput entry{};
  entry.out = output.out;
  BEE_RenderSettings rs{};
  rs.comp = h;
  rs.outputCount = 1;
  rs.outputs = &entry;
  rs.start = from;
  rs.duration = span;
  rs.frameRate = cs.frameRate;
  rs.useResolution = 1;
  rs.fieldOrder = fieldOrder;
  Boolean32 stopped = 0;
  ProgressScope scope(progress, true);
  const WriteScope writing;
  ErrorCode err = 0;
  {
    py::gil_scoped_release released;
    err = BEE_CmdMakeMovie(&rs, &stopped);
  }
  scope.Finish();
  Check(err, "rendering \"" + path + "\"");
  py::dict result;
  result["frames"] = entry.framesWritten;
  result["stopped"] = stopped != 0;
  result["path"] = path;
  return result;
}

}  // namespace tvpy
