// The image-file module: every format read into 8-bit worlds, deep samples
// rounded and clamped, alpha reported as stored, damaged files refused with
// one report. The files are made here with the imaging library.
#include <OpenImageIO/imageio.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "OutputFormats.h"
#include "PIN_test_fixture.h"

namespace tv::test::pin {
namespace {

namespace OIIO = OIIO_NAMESPACE;

// Writes a w x h image of nch float samples (converted to `type` by the
// library) to path.
void WriteImage(const std::string& path, int w, int h, int nch, OIIO::TypeDesc type, const std::vector<float>& px,
                bool unassociated = false) {
  auto out = OIIO::ImageOutput::create(path);
  ASSERT_TRUE(out) << OIIO::geterror();
  OIIO::ImageSpec spec(w, h, nch, type);
  if (unassociated) spec.attribute("oiio:UnassociatedAlpha", 1);
  ASSERT_TRUE(out->open(path, spec)) << out->geterror();
  ASSERT_TRUE(out->write_image(OIIO::TypeDesc::FLOAT, px.data())) << out->geterror();
  ASSERT_TRUE(out->close());
}

// A pattern of nch channels in 0..1 that survives 8-bit storage exactly.
// A smooth one suits lossy formats.
std::vector<float> Pattern(int w, int h, int nch, bool smooth = false) {
  std::vector<float> px;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < nch; ++c)
        px.push_back(static_cast<float>(smooth ? (x * 6 + y * 5 + c * 60) % 256 : (x * 37 + y * 11 + c * 64) % 256) /
                     255.0f);
  return px;
}

// The ARGB bytes the pattern should draw as.
std::vector<uint8_t> Expected(int w, int h, int nch, bool smooth = false) {
  const std::vector<float> px = Pattern(w, h, nch, smooth);
  std::vector<uint8_t> out;
  for (int i = 0; i < w * h; ++i) {
    const float* p = &px[static_cast<size_t>(i * nch)];
    auto b = [](float v) { return static_cast<uint8_t>(std::lround(v * 255)); };
    out.push_back(nch == 4 || nch == 2 ? b(p[nch - 1]) : 255);
    for (int c = 0; c < 3; ++c) out.push_back(b(p[nch >= 3 ? c : 0]));
  }
  return out;
}

struct FormatCase {
  const char* file;
  int nch;
  OIIO::TypeDesc type;
  int alphaType;     // PIN_Alpha_*
  double minPsnr;    // 999: exact
};

class PINImagesTest : public DriverTest {};

TEST_F(PINImagesTest, EveryFormatReadsIntoAWorld) {
  const FormatCase cases[] = {
      {"a.png", 4, OIIO::TypeDesc::UINT8, PIN_Alpha_Straight, 999},
      {"b.png", 3, OIIO::TypeDesc::UINT16, PIN_Alpha_None, 999},
      {"c.tif", 4, OIIO::TypeDesc::UINT16, PIN_Alpha_Premul, 999},
      {"d.exr", 4, OIIO::TypeDesc::HALF, PIN_Alpha_Premul, 999},
      {"e.dpx", 3, OIIO::TypeDesc::UINT16, PIN_Alpha_None, 999},
      {"f.tga", 4, OIIO::TypeDesc::UINT8, PIN_Alpha_Straight, 999},
      {"g.bmp", 3, OIIO::TypeDesc::UINT8, PIN_Alpha_None, 999},
      {"j.bmp", 4, OIIO::TypeDesc::UINT8, PIN_Alpha_Straight, 999},
      {"h.jpg", 3, OIIO::TypeDesc::UINT8, PIN_Alpha_None, 35},
      {"i.png", 1, OIIO::TypeDesc::UINT8, PIN_Alpha_None, 999},
  };
  constexpr int W = 13, H = 7;
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(c.file);
    const bool lossy = c.minPsnr != 999;
    // Straight alpha is written as it is (the library would divide otherwise).
    WriteImage(dir.P(c.file), W, H, c.nch, c.type, Pattern(W, H, c.nch, lossy), c.alphaType == PIN_Alpha_Straight);
    PIN_SeqSpecH seq = Opened(dir.P(c.file));
    EXPECT_EQ(OUT(PIN_GetModuleSignature, seq), MakeFourCC("OIMG"));
    EXPECT_EQ(OUT(PIN_GetInterpretation, seq).alpha.type, c.alphaType);
    const std::vector<uint8_t> got = Frame(seq);
    if (!lossy)
      EXPECT_EQ(got, Expected(W, H, c.nch));
    else
      EXPECT_GT(Psnr(got, Expected(W, H, c.nch, true)), c.minPsnr);
  }
  EXPECT_TRUE(rec.reports.empty());
}

TEST_F(PINImagesTest, DeepSamplesRoundAndClamp) {
  // One row of single-channel samples: float and 16-bit sources.
  const std::vector<float> values = {-0.5f, 0.0f, 0.5f / 255 - 0.001f, 0.5f / 255 + 0.001f, 127.5f / 255 + 0.001f,
                                     1.0f, 7.0f, NAN};
  const std::vector<uint8_t> want = {0, 0, 0, 1, 128, 255, 255, 0};
  WriteImage(dir.P("f.exr"), static_cast<int>(values.size()), 1, 1, OIIO::TypeDesc::FLOAT, values);
  PIN_SeqSpecH seq = Opened(dir.P("f.exr"));
  const std::vector<uint8_t> got = Frame(seq);
  for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(got[4 * i + 1], want[i]) << i;

  // 16-bit words: v * 255 / 65535 rounded to nearest (128 of 65535 is 0.498).
  const uint16_t words[] = {0, 128, 129, 32767, 32896, 65535};
  const uint8_t wordWant[] = {0, 0, 1, 127, 128, 255};
  std::vector<float> asFloat;
  for (uint16_t w : words) asFloat.push_back(w / 65535.0f);
  WriteImage(dir.P("w.png"), 6, 1, 1, OIIO::TypeDesc::UINT16, asFloat);
  seq = Opened(dir.P("w.png"));
  const std::vector<uint8_t> got16 = Frame(seq);
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(got16[4 * i + 1], wordWant[i]) << i;
}

TEST_F(PINImagesTest, ScaledDrawTakesNearestSamples) {
  WriteImage(dir.P("s.png"), 8, 6, 3, OIIO::TypeDesc::UINT8, Pattern(8, 6, 3));
  PIN_SeqSpecH seq = Opened(dir.P("s.png"));
  BM_World half = World(4, 3);
  ASSERT_EQ(Draw(seq, half, Time{0, 1}, Ratio{1, 2}), 0);
  const std::vector<uint8_t> full = Expected(8, 6, 3), got = Argb(half);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x)
      for (int k = 0; k < 4; ++k) ASSERT_EQ(got[(y * 4 + x) * 4 + k], full[(2 * y * 8 + 2 * x) * 4 + k]);
}

// A still sequence whose second file is wider than the first: that frame is
// refused with one report naming the file (it was once drawn cropped, with
// success); the others still draw.
TEST_F(PINImagesTest, AFrameOfAnotherSizeIsRefusedByName) {
  WriteImage(dir.P("s_1.png"), 8, 6, 3, OIIO::TypeDesc::UINT8, Pattern(8, 6, 3));
  WriteImage(dir.P("s_2.png"), 10, 6, 3, OIIO::TypeDesc::UINT8, Pattern(10, 6, 3));
  PIN_SeqSpecH seq = Opened(dir.P("s_1.png"), PIN_Import_Sequence);
  BM_World world = World(8, 6);
  rec.clear();
  EXPECT_EQ(Draw(seq, world, Time{1, 30}), PIN_ErrCannotImport);
  ExpectOneReport(PIN_PackageNumber,
                  "file 's_2.png' cannot be imported -- it is 10 x 6 pixels where the footage is 8 x 6",
                  PIN_ErrCannotImport);
  ASSERT_EQ(Draw(seq, world, Time{0, 30}), 0);
  EXPECT_EQ(Argb(world), Expected(8, 6, 3));
}

// Files whose stored pixels (the data window) are not their picture (the
// display window): a cropped render's box inside it, an overscan around it.
// The footage is the picture's size; the pixels lie at their origin, and
// what they do not cover is transparent black (opaque black without alpha).
// Frames of a sequence whose boxes differ are one footage.
TEST_F(PINImagesTest, DataWindowsLieInTheDisplayWindow) {
  constexpr int W = 12, H = 8;
  const struct {
    const char* file;
    int x, y, w, h, nch;
  } cases[] = {{"w_1.exr", 4, 2, 5, 3, 4}, {"w_2.exr", -2, -1, 16, 10, 4}, {"rgb.exr", 9, 5, 6, 6, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    OIIO::ImageSpec spec(c.w, c.h, c.nch, OIIO::TypeDesc::HALF);
    spec.x = c.x, spec.y = c.y;
    spec.full_x = spec.full_y = 0;
    spec.full_width = W, spec.full_height = H;
    const std::vector<float> px = Pattern(c.w, c.h, c.nch);
    auto out = OIIO::ImageOutput::create(dir.P(c.file));
    ASSERT_TRUE(out && out->open(dir.P(c.file), spec) && out->write_image(OIIO::TypeDesc::FLOAT, px.data()) &&
                out->close());
    // Each picture pixel: the data pixel over it, or the uncovered colour.
    std::vector<uint8_t> want;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const int dx = x - c.x, dy = y - c.y;
        if (dx < 0 || dy < 0 || dx >= c.w || dy >= c.h) {
          want.insert(want.end(), {uint8_t(c.nch == 4 ? 0 : 255), 0, 0, 0});
          continue;
        }
        const float* p = &px[static_cast<size_t>((dy * c.w + dx) * c.nch)];
        want.push_back(c.nch == 4 ? static_cast<uint8_t>(std::lround(p[3] * 255)) : 255);
        for (int k = 0; k < 3; ++k) want.push_back(static_cast<uint8_t>(std::lround(p[k] * 255)));
      }
    const bool sequence = c.file[0] == 'w';
    PIN_SeqSpecH seq = Opened(dir.P(sequence ? "w_1.exr" : c.file), sequence ? PIN_Import_Sequence : 0);
    int32_t w = 0, h = 0;
    ASSERT_EQ(PIN_GetDimensions(seq, nullptr, &w, &h, nullptr), 0);
    EXPECT_EQ(w, W);
    EXPECT_EQ(h, H);
    EXPECT_EQ(Frame(seq, c.file[2] == '2' ? 1 : 0, 30), want);
  }
  EXPECT_TRUE(rec.reports.empty());
}

// A file stored turned or mirrored (a camera held on its side) is footage of
// the picture as it is shown: each of the eight orientations, in TIFF and JPEG.
TEST_F(PINImagesTest, OrientationTurnsThePictureAsShown) {
  constexpr int W = 3, H = 2;
  const std::vector<float> px = Pattern(W, H, 3);
  const std::vector<uint8_t> stored = Expected(W, H, 3);
  // Where shown pixel (x, y) of the shown w x h picture comes from.
  const auto from = [](int o, int x, int y) {
    switch (o) {
      case 2: return std::pair{W - 1 - x, y};
      case 3: return std::pair{W - 1 - x, H - 1 - y};
      case 4: return std::pair{x, H - 1 - y};
      case 5: return std::pair{y, x};
      case 6: return std::pair{y, H - 1 - x};
      case 7: return std::pair{W - 1 - y, H - 1 - x};
      case 8: return std::pair{W - 1 - y, x};
      default: return std::pair{x, y};
    }
  };
  for (int o = 1; o <= 8; ++o) {
    SCOPED_TRACE(o);
    const std::string file = dir.P("o" + std::to_string(o) + ".tif");
    auto out = OIIO::ImageOutput::create(file);
    OIIO::ImageSpec spec(W, H, 3, OIIO::TypeDesc::UINT8);
    spec.attribute("Orientation", o);
    ASSERT_TRUE(out && out->open(file, spec) && out->write_image(OIIO::TypeDesc::FLOAT, px.data()) && out->close());
    PIN_SeqSpecH seq = Opened(file);
    const int w = o >= 5 ? H : W, h = o >= 5 ? W : H;
    int32_t gw = 0, gh = 0;
    ASSERT_EQ(PIN_GetDimensions(seq, nullptr, &gw, &gh, nullptr), 0);
    EXPECT_EQ(std::pair(gw, gh), std::pair(w, h));
    std::vector<uint8_t> want;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const auto [sx, sy] = from(o, x, y);
        const auto at = stored.begin() + (sy * W + sx) * 4;
        want.insert(want.end(), at, at + 4);
      }
    EXPECT_EQ(Frame(seq, 0, 30), want);
  }
  // A JPEG's orientation is read as well (its pixels only sized here: the
  // coding changes them).
  const std::string jpg = dir.P("o6.jpg");
  auto out = OIIO::ImageOutput::create(jpg);
  OIIO::ImageSpec spec(8, 4, 3, OIIO::TypeDesc::UINT8);
  spec.attribute("Orientation", 6);
  const std::vector<float> big = Pattern(8, 4, 3);
  ASSERT_TRUE(out && out->open(jpg, spec) && out->write_image(OIIO::TypeDesc::FLOAT, big.data()) && out->close());
  int32_t gw = 0, gh = 0;
  ASSERT_EQ(PIN_GetDimensions(Opened(jpg), nullptr, &gw, &gh, nullptr), 0);
  EXPECT_EQ(std::pair(gw, gh), std::pair(4, 8));
  EXPECT_TRUE(rec.reports.empty());
}

TEST_F(PINImagesTest, DamagedFilesAreRefusedWithOneReport) {
  WriteImage(dir.P("bad.png"), 64, 64, 3, OIIO::TypeDesc::UINT8, Pattern(64, 64, 3));
  // Cut the file in the middle of its image data.
  std::filesystem::resize_file(dir.P("bad.png"), 100);
  {
    std::ofstream(dir.P("junk.png")) << "this is not an image";
  }
#ifdef TAVELO_SANITIZED
  // The imaging library's PNG error path leaks a string (it jumps over its
  // destructor): the leak checker would stop the run.
  const char* const names[] = {"junk.png"};
#else
  const char* const names[] = {"bad.png", "junk.png"};
#endif
  for (const char* name : names) {
    SCOPED_TRACE(name);
    rec.reports.clear();
    PIN_SeqSpecH seq = reinterpret_cast<PIN_SeqSpecH>(1);
    EXPECT_EQ(Import(dir.P(name), 0, &seq), PIN_ErrCannotImport);
    EXPECT_EQ(seq, nullptr);
    ASSERT_EQ(rec.reports.size(), 1u);
    EXPECT_EQ(rec.reports[0].severity, kSevError);
    EXPECT_EQ(rec.reports[0].location, Location(PIN_PackageNumber, tv::pin::kSiteImageRead));
    const std::string& text = rec.reports[0].text;
    EXPECT_NE(text.find(std::string("file '") + name + "' cannot be imported -- "), std::string::npos) << text;
    // The library's reason follows.
    EXPECT_GT(text.size(), std::string(name).size() + 40) << text;
  }
}

// A file of another of this module's formats than its name says opens by
// its signature; one of nothing (a large file of zeros, as a crash may leave) is refused by the
// reader its name gives, not tried by every reader the imaging library has
// (one of them walks such a file eight bytes at a time: hours for gigabytes).
TEST_F(PINImagesTest, AFileIsReadByItsNameOrItsSignatureOnly) {
  WriteImage(dir.P("really.tif"), 5, 3, 3, OIIO::TypeDesc::UINT8, Pattern(5, 3, 3));
  std::filesystem::rename(dir.P("really.tif"), dir.P("named.png"));
  EXPECT_EQ(Frame(Opened(dir.P("named.png")), 0, 30), Expected(5, 3, 3));
  // A format that is not this module's, named as one of them, is refused.
  WriteImage(dir.P("other.ppm"), 5, 3, 3, OIIO::TypeDesc::UINT8, Pattern(5, 3, 3));
  std::filesystem::rename(dir.P("other.ppm"), dir.P("other.png"));
  rec.reports.clear();
  PIN_SeqSpecH other = nullptr;
  EXPECT_EQ(Import(dir.P("other.png"), 0, &other), PIN_ErrCannotImport);
  EXPECT_EQ(rec.reports.size(), 1u);
  {
    std::ofstream zeros(dir.P("zeros.png"), std::ios::binary);
  }
  std::filesystem::resize_file(dir.P("zeros.png"), 1 << 30);  // sparse: no disk used
  rec.reports.clear();
  PIN_SeqSpecH seq = nullptr;
  EXPECT_EQ(Import(dir.P("zeros.png"), 0, &seq), PIN_ErrCannotImport);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.reports[0].text, "Test error: file 'zeros.png' cannot be imported -- Not a PNG file (2703).");
}

// The output slots: a World written in every format and read back.
TEST_F(PINImagesTest, OutputRoundTrips) {
  const tv::pin::Module* m = tv::pin::FindModule(MakeFourCC("OIMG"));
  ASSERT_NE(m, nullptr);
  const PIN_ModuleProcs& p = m->procs;
  constexpr int W = 24, H = 10;
  BM_World src = World(W, H);
  Paint(src, [](int32_t x, int32_t y) {
    return uint32_t(x * 10 + 5) << 24 | uint32_t(x * 8 + y * 3) << 16 | uint32_t(200 - x * 4) << 8 |
           uint32_t(y * 20 + x);
  });
  const std::vector<uint8_t> want = Argb(src);
  // PNG and TIFF files keep straight alpha and say so; OpenEXR and DPX
  // files are premultiplied, as every reader of them takes them (OpenEXR
  // in half floats: within a unit of the bytes).
  struct Case {
    const char* file;
    int alphaType;   // PIN_Alpha_* as read back
    double minPsnr;  // 999: exact; 998: within a unit
  } cases[] = {{"o.png", PIN_Alpha_Straight, 999}, {"o9.png", PIN_Alpha_Straight, 999},
               {"o.tif", PIN_Alpha_Straight, 999}, {"o.exr", PIN_Alpha_Premul, 998},
               {"o.dpx", PIN_Alpha_Premul, 999},   {"o.jpg", PIN_Alpha_None, 45}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    PIN_OutputSpecH out = SlotOutput(MakeFourCC("OIMG"), dir.P(c.file));
    const bool alpha = c.alphaType != PIN_Alpha_None;
    EXPECT_EQ(OUT(p.getLegalDepths, out), alpha ? 0xC0u : 0x40u);  // 32 and 24 bits, or 24 alone
    const int32_t quality = 100;
    ASSERT_EQ(p.setOutSpecificData(out, 1, &quality, 4), 0);
    Handle opts = OUT(p.getOutputOptions, out);
    const uint8_t golden[16] = {'O', 'I', 'o', '2', 0, 0, 0, 100, 0, 0, 0, 1, 0, 0, 0, 1};
    ASSERT_EQ(GetHandleSize(opts), 16);
    EXPECT_EQ(std::memcmp(*opts, golden, 16), 0);
    p.disposeOutputOptions(out, opts);
    // PNG compression levels 0..9: the default (1) and the smallest give the same pixels.
    for (const int32_t level : {10, -1}) EXPECT_NE(p.setOutSpecificData(out, 3, &level, 4), 0);
    const int32_t smallest = 9;
    if (std::string(c.file) == "o9.png") {
      ASSERT_EQ(p.setOutSpecificData(out, 3, &smallest, 4), 0);
    }
    ASSERT_EQ(p.outputFrame(out, src), 0);
    ASSERT_EQ(p.endAdding(out), 0);
    PIN_DisposeOutputSpec(out);
    PIN_SeqSpecH seq = Opened(dir.P(c.file));
    EXPECT_EQ(OUT(PIN_GetInterpretation, seq).alpha.type, c.alphaType);
    std::vector<uint8_t> got = Frame(seq), expect = want;
    for (size_t i = 0; i < expect.size(); i += 4) {
      if (!alpha) expect[i] = 255;
      if (c.alphaType == PIN_Alpha_Premul)
        for (size_t k = i + 1; k < i + 4; ++k)
          expect[k] = static_cast<uint8_t>(std::lround(expect[k] * expect[i] / 255.0));
    }
    if (c.minPsnr == 999) {
      EXPECT_EQ(got, expect);
    } else if (c.minPsnr == 998) {
      ASSERT_EQ(got.size(), expect.size());
      for (size_t i = 0; i < got.size(); ++i) ASSERT_LE(std::abs(got[i] - expect[i]), 1) << "byte " << i;
    } else
      EXPECT_GT(Psnr(got, expect), c.minPsnr);
  }
  // A failed write leaves nothing under the final name, and says why once.
  rec.reports.clear();
  PIN_OutputSpecH out = SlotOutput(MakeFourCC("OIMG"), dir.P("o.xyz"));
  EXPECT_NE(p.outputFrame(out, src), 0);
  p.endAdding(out);
  PIN_DisposeOutputSpec(out);
  EXPECT_FALSE(std::filesystem::exists(dir.P("o.xyz")));
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_NE(rec.reports[0].text.find("cannot write 'o.xyz' -- "), std::string::npos) << rec.reports[0].text;
}

// The output information's pixel aspect goes into the formats that have a
// field for it (OpenEXR, DPX); PNG, TIFF and JPEG files keep square pixels.
TEST_F(PINImagesTest, PixelAspectGoesWhereAFormatHasAField) {
  const PIN_ModuleProcs& p = tv::pin::FindModule(MakeFourCC("OIMG"))->procs;
  BM_World src = World(6, 4);
  for (const std::string name : {"a.exr", "a.dpx", "a.png", "a.tif", "a.jpg"}) {
    SCOPED_TRACE(name);
    PIN_OutputSpecH out = SlotOutput(MakeFourCC("OIMG"), dir.P(name));
    PIN_OutputInfo info{};
    ASSERT_EQ(PIN_GetOutputInfo(out, &info, sizeof info), 0);
    info.width = 6, info.height = 4, info.depth = 32, info.hsfNum = 10, info.hsfDen = 11;
    ASSERT_EQ(PIN_SetOutputInfo(out, &info, sizeof info), 0);
    ASSERT_EQ(p.outputFrame(out, src), 0);
    ASSERT_EQ(p.endAdding(out), 0);
    PIN_DisposeOutputSpec(out);
    auto in = OIIO::ImageInput::open(dir.P(name));
    ASSERT_TRUE(in);
    const bool field = name == "a.exr" || name == "a.dpx";
    EXPECT_NEAR(in->spec().get_float_attribute("PixelAspectRatio", 1.0f), field ? 10.0 / 11 : 1.0, 1e-5);
    // Read back as footage, the aspect is the footage's.
    const PIN_Interpretation interp = OUT(PIN_GetInterpretation, Opened(dir.P(name)));
    EXPECT_EQ(interp.hsfNum, field ? 10u : 1u);
    EXPECT_EQ(interp.hsfDen, field ? 11u : 1u);
  }
}

// A file stored turned a quarter is shown with its pixels turned: their
// width and height trade places, and so does the pixel aspect.
TEST_F(PINImagesTest, AQuarterTurnTurnsThePixelAspect) {
  for (const int o : {1, 3, 6, 8}) {
    SCOPED_TRACE(o);
    const std::string file = dir.P("t" + std::to_string(o) + ".exr");
    auto out = OIIO::ImageOutput::create(file);
    OIIO::ImageSpec spec(4, 2, 3, OIIO::TypeDesc::HALF);
    spec.attribute("Orientation", o);
    spec.attribute("PixelAspectRatio", 2.0f);
    const std::vector<float> px = Pattern(4, 2, 3);
    ASSERT_TRUE(out && out->open(file, spec) && out->write_image(OIIO::TypeDesc::FLOAT, px.data()) && out->close());
    const PIN_Interpretation interp = OUT(PIN_GetInterpretation, Opened(file));
    const bool turned = o >= 5;
    EXPECT_EQ(std::pair(interp.hsfNum, interp.hsfDen), turned ? std::pair(1u, 2u) : std::pair(2u, 1u));
  }
}

// A pixel aspect stored as a number is the simplest fraction near it.
constexpr bool Is(tv::outputs::PixelAspect a, uint32_t num, uint32_t den) { return a.num == num && a.den == den; }
static_assert(Is(tv::outputs::PixelAspectOf(0.9), 9, 10) && Is(tv::outputs::PixelAspectOf(0.90909094f), 10, 11));
static_assert(Is(tv::outputs::PixelAspectOf(0.90908998f), 10, 11) && Is(tv::outputs::PixelAspectOf(1.0 / 3), 1, 3));
static_assert(Is(tv::outputs::PixelAspectOf(59.0 / 54), 59, 54) && Is(tv::outputs::PixelAspectOf(2), 2, 1));
static_assert(Is(tv::outputs::PixelAspectOf(0), 1, 1) && Is(tv::outputs::PixelAspectOf(-1.5), 1, 1));
static_assert(Is(tv::outputs::OutputPixelAspect(648, 720), 9, 10) && Is(tv::outputs::OutputPixelAspect(0, 5), 1, 1));
static_assert(Is(tv::outputs::OutputPixelAspect(300001, 200000), 3, 2));

// The drivers in shared objects of their own: registered without loading
// them, a module that cannot be loaded refused with one report naming the
// file and the loader's reason.
class FormatModuleTest : public PINImagesTest {
 protected:
  void TearDown() override {
    PINImagesTest::TearDown();  // the footage goes while its module is known
    unsetenv("TAVELO_FORMAT_MODULES");
    tv::pin::ForgetFormatModulesForTesting();
  }
};

// A module claims its files without being loaded; threads asking at once for
// it then all get the one table.
TEST_F(FormatModuleTest, RegisteredWithoutLoadingAndThreadsLoadingAtOnceShareOneModule) {
  tv::pin::ForgetFormatModulesForTesting();
  EXPECT_EQ(OUT(PIN_GetSigFromType, 0, 0, "x.mov"), tv::pin::kMovieSig);
  EXPECT_FALSE(tv::pin::FormatModuleLoaded(tv::pin::kMovieSig));
  std::vector<const PIN_ModuleProcs*> got(4, nullptr);
  std::vector<ErrorCode> codes(got.size(), -1);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < got.size(); ++i)
    threads.emplace_back([&, i] { codes[i] = tv::pin::LoadFormatModule(tv::pin::kMovieSig, &got[i]); });
  for (std::thread& t : threads) t.join();
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(codes[i], 0);
    EXPECT_NE(got[i], nullptr);
    EXPECT_EQ(got[i], got[0]);
  }
  EXPECT_TRUE(tv::pin::FormatModuleLoaded(tv::pin::kMovieSig));
}

TEST_F(FormatModuleTest, AModuleThatCannotBeLoadedIsNotAvailableWithOneReport) {
  WriteImage(dir.P("s.png"), 8, 6, 3, OIIO::TypeDesc::UINT8, Pattern(8, 6, 3));
  const std::string folder = dir.P("formats");
  std::filesystem::create_directory(folder);
  setenv("TAVELO_FORMAT_MODULES", folder.c_str(), 1);
  struct Case {
    const char* content;  // of image-files.so; null: no file
    const char* reason;   // what the loader says of it
  } cases[] = {{nullptr, "cannot open shared object file: No such file or directory"},
               {"not a shared object", "invalid ELF header"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    if (c.content) std::ofstream(folder + "/image-files.so") << c.content << std::string(4096, '\n');
    tv::pin::ForgetFormatModulesForTesting();
    rec.reports.clear();
    PIN_SeqSpecH seq = nullptr;
    EXPECT_EQ(Import(dir.P("s.png"), 0, &seq), PIN_ErrNotAvailable);
    EXPECT_EQ(seq, nullptr);
    ASSERT_EQ(rec.reports.size(), 1u);
    EXPECT_EQ(rec.reports[0].location, Location(PIN_PackageNumber, tv::pin::kSiteFormatModule));
    const std::string& text = rec.reports[0].text;
    EXPECT_NE(text.find("the format module 'Image Files' cannot be loaded from '" + folder + "/image-files.so' -- "),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(c.reason), std::string::npos) << text;
    // Writing through it fails alike; the module's folder is not tried again.
    rec.reports.clear();
    PIN_OutputSpecH out = nullptr;
    EXPECT_EQ(PIN_NewOutputSpec(MakeFourCC("OIMG"), 0, 0, &out), PIN_ErrNotAvailable);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(rec.reports.size(), 1u);
  }
  // Found again, it reads.
  unsetenv("TAVELO_FORMAT_MODULES");
  tv::pin::ForgetFormatModulesForTesting();
  PIN_SeqSpecH seq = Opened(dir.P("s.png"));
  EXPECT_EQ(Frame(seq), Expected(8, 6, 3));
}

}  // namespace
}  // namespace tv::test::pin
