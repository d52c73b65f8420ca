// Every output module under a full or broken disk: for each format a write
// that fails at several points fails with the platform's code and one
// clear report, the file that had the name before is byte-identical, and no
// temporary file remains. Also the JPEG library's fatal errors.
#include "drivers/ei/D_EI.h"
#include "PIN_test_fixture.h"
#include "WriteFaults.h"
#include "drivers/oiio/oiio.h"

namespace tv::test::pin {
namespace {

constexpr int32_t kW = 16, kH = 8;

struct Target {
  FourCC signature;
  const char* name;
  FourCC codec = 0;        // movies
  bool sound = false;      // sound chunks added
  bool translated = false; // codes come through the file layer's translation
};

class PINWriteFaultsTest : public DriverTest {
 protected:
  void TearDown() override {
    if (sound_) SND_DisposeWorld(sound_);
    DriverTest::TearDown();
  }
  // A tenth of a second of stereo sound at 48 kHz.
  SND_World Sound() {
    if (sound_) return sound_;
    const SND_Format f{48000.0, SND_Encoding_Signed, 2, 2, 0};
    sound_ = OUT(SND_NewWorld, &f, nullptr);
    void* p = OUT(SND_SizeAndLockBuffer, 4800, 0, sound_);
    for (int i = 0; i < 9600; ++i) static_cast<int16_t*>(p)[i] = static_cast<int16_t>((i * 331) % 20000 - 10000);
    SND_UnlockBuffer(sound_);
    return sound_;
  }
  // Writes the target at path: three frames (a still: one), with sound when
  // it takes some. The first failure's code.
  ErrorCode Write(const Target& t, const std::string& path) {
    BM_World world = World(kW, kH);
    {
      tv::pin::PixelLock px(world);
      for (int y = 0; y < kH; ++y)
        for (int x = 0; x < 4 * kW; ++x) px.Row(y)[x] = static_cast<uint8_t>(x * 7 + y * 13);
    }
    const bool pictures = t.signature != MakeFourCC("WAVD");
    PIN_OutputSpecH out = nullptr;
    ErrorCode err = PIN_NewOutputSpec(t.signature, pictures ? kW : 0, pictures ? kH : 0, &out);
    if (!err) err = SetFile(out, path);
    PIN_OutputInfo info{};
    if (!err) err = PIN_GetOutputInfo(out, &info, sizeof info);
    info.width = kW, info.height = kH, info.depth = 32, info.frameRate = 24 << 16;
    if (!err && pictures) err = PIN_SetOutputInfo(out, &info, sizeof info);
    const int32_t rate = 48000;
    if (!err && t.codec) err = PIN_SetOutSpecificData(out, 1, &t.codec, 4);
    if (!err && t.codec && t.sound) err = PIN_SetOutSpecificData(out, 4, &rate, 4);
    if (t.signature == MakeFourCC("OIMG")) {
      if (!err) err = PIN_OutputFrame(out, world);
    } else {
      if (!err) err = PIN_StartAdding(out);
      for (int32_t i = 0; i < 3 && !err; ++i) {
        if (t.sound) err = PIN_AddSoundChunk(out, Sound());
        if (!err && pictures) err = PIN_AddFrame(out, i, world);
      }
      if (!err) err = PIN_EndAdding(out);
    }
    PIN_DisposeOutputSpec(out);
    return err;
  }
  SND_World sound_ = nullptr;
};

TEST_F(PINWriteFaultsTest, EveryFormatKeepsTheOldFileUnderEveryFault) {
  const Target targets[] = {
      {MakeFourCC("OIMG"), "f.png"}, {MakeFourCC("OIMG"), "f.tif"},  {MakeFourCC("OIMG"), "f.exr"},
      {MakeFourCC("OIMG"), "f.dpx"}, {MakeFourCC("OIMG"), "f.jpg"},
      {MakeFourCC("MooV"), "m.mp4", MakeFourCC("avc1"), true},
      {MakeFourCC("MooV"), "m.mov", MakeFourCC("png "), true},
      {MakeFourCC("WAVD"), "s.wav", 0, true}, {MakeFourCC("WAVD"), "s.aif", 0, true},
      {D_EI_Signature, "e.img", 0, false, true},
  };
  for (const Target& t : targets) {
    SCOPED_TRACE(t.name);
    const std::string path = dir.P(t.name);
    int64_t total = 0;
    {
      WriteFaultScope count({platform::WriteFaultOp::Write, ENOSPC, INT64_MAX});
      ASSERT_EQ(Write(t, path), 0) << (rec.reports.empty() ? "" : rec.reports.back().text);
      total = platform::BytesWrittenSinceFault();
    }
    ASSERT_GT(total, 0);
    const std::string old = "the earlier file";
    for (const FaultCase& c : FaultsFor(total)) {
      SCOPED_TRACE(::testing::Message() << "fault " << static_cast<int>(c.fault.op) << " after " << c.fault.afterBytes);
      std::ofstream(path, std::ios::binary) << old;
      rec.reports.clear();
      {
        WriteFaultScope fault(c.fault);
        EXPECT_EQ(Write(t, path), t.translated ? FILE_TranslateError(c.code) : c.code);
      }
      ASSERT_FALSE(rec.reports.empty());
      EXPECT_NE(rec.reports.back().text.find(c.reason), std::string::npos) << rec.reports.back().text;
      EXPECT_NE(rec.reports.back().text.find(t.name), std::string::npos) << rec.reports.back().text;
      EXPECT_EQ(Slurp(path), old);
      EXPECT_EQ(NamesIn(dir.path()), std::vector<std::string>{t.name});
    }
    std::filesystem::remove(path);
  }
}

// libjpeg's fatal errors come back as failures with its message.
TEST(JpegEncoding, LibraryFailuresComeBack) {
  std::vector<uint8_t> bytes;
  std::string why;
  const uint8_t rgb[3] = {1, 2, 3};
  EXPECT_FALSE(tv::pin::EncodeJpeg(rgb, 0, 1, 90, &bytes, &why));
  EXPECT_NE(why.find("Empty JPEG image"), std::string::npos) << why;
  EXPECT_TRUE(bytes.empty());
  ASSERT_TRUE(tv::pin::EncodeJpeg(rgb, 1, 1, 90, &bytes, &why));
  ASSERT_GT(bytes.size(), 4u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xD8);
  EXPECT_EQ(bytes[bytes.size() - 1], 0xD9);
}

}  // namespace
}  // namespace tv::test::pin
