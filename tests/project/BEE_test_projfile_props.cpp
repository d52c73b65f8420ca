// Project files as a user meets them: random projects (compositions, nested
// compositions, layers with every setting, keyed standard and effect
// parameters, masks, and with the ffmpeg tool a movie and a still as
// interpreted, time-remapped, frame-blended footage) render the same bytes
// after a save and an open and
// after an import (effect chains read from a file animate their keyed
// parameters: the first seeds already fail without it); and a saved project with one bit flipped either is
// refused, leaving the open project as it was, or opens to a project that
// renders every composition and holds only values the commands accept.
#include <cstdlib>
#include <random>

#include "BEE_test_frames.h"
#include "PF.h"
#include "SLU.h"

namespace tv::bee::test {
namespace {

constexpr std::initializer_list<int32_t> kTimes = {0, 3, 7};

void Must(ErrorCode err) { EXPECT_EQ(err, 0); }

class ProjectProps : public FramesFixture {
 protected:
  void SetUp() override {
    FramesFixture::SetUp();
    // An RGB movie (twelve 16 x 12 frames at 10 fps) and a still. Decoding
    // such a movie once wrote past each frame's buffer: the sanitizer run of
    // the first seed stops on the damaged heap.
    const std::string make = "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=s=16x12:r=10:d=2 ";
    footage_ = std::system((make + "-frames:v 12 -c:v png '" + dir.P("clip.mov") + "' && " + make +
                            "-frames:v 1 '" + dir.P("still.png") + "'")
                               .c_str()) == 0;
    Warm([&] {
      Build(1);
      BEE_Layer l = GOT(BEE_Layer, BEE_GetIndLayer, Comps().front(), 0);
      for (const char* m : {FLT_MatchFastBlur, FLT_MatchLevels, FLT_MatchInvert})
        ASSERT_EQ(BEE_CmdApplyEffect(l, Class(m), nullptr), 0);
      ASSERT_EQ(BEE_CmdSaveProject(Spec("warm.tvp"), 0, 0), 0);
      ASSERT_EQ(BEE_CmdOpenProject(Spec("warm.tvp"), 1, nullptr), 0);
      for (BEE_Item c : Comps()) Frame(c, 3);
      for (uint32_t seed = 1; seed <= 5; ++seed) {
        Build(seed);
        AllFrames();
      }
      // The packages that read streams, shapes, lists and chunks install
      // their message texts with their first report: each reports once
      // here, so a refused file later allocates no texts that outlive it.
      OM_Shape shape = nullptr;
      LIST_Handle list = nullptr;
      TDB_Stream stream = nullptr;
      EXPECT_EQ(OM_ShapeFromBytes(nullptr, 0, &shape), OM_ErrFileData);
      EXPECT_NE(LIST_New(0, 0, 1, 1, &list), 0);
      EXPECT_NE(TDB_ReadStream(nullptr, nullptr, &stream), 0);
      EXPECT_NE(SLU_WriteAliasRec(nullptr, nullptr), 0);
      ASSERT_EQ(BEE_CmdSaveProject(Spec("warm.tvp"), 0, 0), 0);
      const std::vector<uint8_t> bytes = Bytes("warm.tvp");
      std::mt19937 rng(1);
      for (int i = 0; i < 100; ++i) {
        Flipped(bytes, rng);
        if (BEE_CmdOpenProject(Spec("flip.tvp"), 0, nullptr) == 0) BEE_NewProject();
      }
    });
  }
  bool footage_ = false;

  std::vector<uint8_t> Bytes(const std::string& name) {
    std::vector<uint8_t> bytes = ReadBytes(dir.P(name));
    EXPECT_FALSE(bytes.empty()) << name;
    return bytes;
  }
  // Writes "flip.tvp": bytes with one bit flipped; answers where.
  std::string Flipped(std::vector<uint8_t> bytes, std::mt19937& rng) {
    const size_t at = rng() % bytes.size();
    const uint8_t bit = static_cast<uint8_t>(1u << (rng() % 8));
    bytes[at] ^= bit;
    WriteBytes(dir.P("flip.tvp"), bytes);
    return "byte " + std::to_string(at) + " bit " + std::to_string(bit);
  }

  static std::vector<BEE_Item> Comps() {
    std::vector<BEE_Item> out;
    BEE_Item it = nullptr;
    for (BEE_GetNextItem(nullptr, &it); it; BEE_GetNextItem(it, &it)) {
      int16_t kind = GOT(int16_t, BEE_GetItemKind, it);
      if (kind == BEE_KindComp) out.push_back(it);
    }
    return out;
  }
  // Every composition's frames, by name.
  static std::map<std::string, std::vector<uint64_t>> AllFrames(BEE_Item folder = nullptr) {
    std::map<std::string, std::vector<uint64_t>> out;
    for (BEE_Item c : Comps()) {
      Boolean32 inside = 1;
      if (folder) BEE_DoesFolderContainItem(folder, c, &inside);
      if (!inside) continue;
      char name[32] = "";
      BEE_GetItemName(c, name);
      for (int32_t t : kTimes) {
        ErrorCode err = 0;
        out[name].push_back(Frame(c, t, &err));
        EXPECT_EQ(err, 0) << name << " at " << t;
      }
    }
    return out;
  }

  // A fresh random project of small compositions, each nesting only those
  // made before it; with footage, the movie and the still are among the
  // sources.
  void Build(uint32_t seed, bool footage = true) {
    ASSERT_EQ(BEE_NewProject(), 0);
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
    auto real = [&](double lo, double hi) { return lo + (hi - lo) * (rng() % 10001) / 10000.0; };
    std::vector<BEE_Item> sources;
    for (const char* name : {"clip.mov", "still.png"}) {
      if (!footage || !footage_) break;
      sources.push_back(GOT(BEE_Item, BEE_CmdImportFootage, nullptr, Spec(name), 0));
      PIN_Interpretation in = GOT(PIN_Interpretation, PIN_GetInterpretation,
                                  GOT(PIN_SeqSpecH, BEE_GetFootageSeqSpec, sources.back()));
      if (in.nativeRate == 0) continue;
      const Fixed rates[] = {12 << 16, 24 << 16, 0x1DF851};
      if (pick(2)) in.conformedRate = rates[pick(3)];
      in.loop.a = static_cast<uint32_t>(1 + pick(3));
      in.field.separate = static_cast<uint32_t>(pick(2));
      in.field.dominance = static_cast<uint32_t>(pick(2));
      in.pulldown = in.field.separate ? static_cast<uint32_t>(pick(6)) : 0;
      ASSERT_EQ(BEE_CmdInterpretFootage(sources.back(), &in), 0);
    }
    const uint32_t rates[] = {30u << 16, 24u << 16, 25u << 16, 0x1DF851};
    std::vector<BEE_Item> comps;
    const int ncomps = 1 + pick(3);
    for (int c = 0; c < ncomps; ++c) {
      const std::string name = "C" + std::to_string(c);
      BEE_CompSettings s = Settings(name.c_str(), 32, 24, rates[pick(4)]);
      if (pick(4) == 0) s.dsfH = s.dsfV = 2;
      BEE_Item comp = GOT(BEE_Item, BEE_CmdNewComp, nullptr, &s);
      ASSERT_EQ(BEE_CmdSetBackgroundColor(comp, static_cast<uint32_t>(rng())), 0);
      if (pick(2)) Must(BEE_CmdSetCompSwitch(comp, BEE_CompSwitchMotionBlur, 1));
      if (pick(2)) Must(BEE_CmdSetCompSwitch(comp, BEE_CompSwitchFrameBlend, 1));
      const int nlayers = 1 + pick(4);
      for (int i = 0; i < nlayers; ++i) {
        BEE_Layer l = nullptr;
        if (!sources.empty() && pick(3) == 0) {
          ASSERT_EQ(BEE_CmdNewLayer(comp, sources[static_cast<size_t>(pick(static_cast<int>(sources.size())))], &l), 0);
          Must(BEE_CmdSetLayerSwitch(l, BEE_SwitchFrameBlend, 1));
          const Time t0{0, 30};
          if (pick(2) && BEE_CmdSetStreamVary(l, BEE_StreamTimeRemap, &t0, 1) == 0)
            SetAt(l, BEE_StreamTimeRemap, 1 + pick(9), {real(0, 1.5)}, false);
        } else if (!comps.empty() && pick(3) == 0) {
          ASSERT_EQ(BEE_CmdNewLayer(comp, comps[static_cast<size_t>(pick(static_cast<int>(comps.size())))], &l), 0);
          if (pick(2)) Must(BEE_CmdSetLayerSwitch(l, BEE_SwitchCollapse, 1));
        } else {
          BEE_SolidSettings so = Solid("S", static_cast<uint32_t>(rng()) | 0xFF000000u,
                                       static_cast<uint16_t>(4 + pick(24)), static_cast<uint16_t>(4 + pick(20)));
          ASSERT_EQ(BEE_CmdNewSolidLayer(comp, &so, &l), 0);
        }
        Layer(l, rng, pick, real);
      }
      comps.push_back(comp);
    }
  }
  template <class Rng, class Pick, class Real>
  void Layer(BEE_Layer l, Rng& rng, Pick& pick, Real& real) {
    ASSERT_EQ(BEE_CmdSetLayerQuality(l, static_cast<int16_t>(1 + pick(2))), 0);
    ASSERT_EQ(BEE_CmdSetTransfer(l, static_cast<uint32_t>(pick(PF_Xfer_Count)), static_cast<uint32_t>(pick(4)),
                                 static_cast<uint32_t>(pick(3) ? 0 : pick(5))),
              0);
    if (pick(3) == 0) Must(BEE_CmdSetLayerStretch(l, Ratio{1 + pick(3), 2}));
    if (pick(3) == 0) Must(BEE_CmdSetLayerTimes(l, Time{pick(3), 30}, Time{0, 30}, Time{9, 30}));
    if (pick(2)) Must(BEE_CmdSetLayerSwitch(l, BEE_SwitchMotionBlur, 1));
    // Keyed standard streams.
    SetAt(l, BEE_StreamPosition, 0, {real(0, 32), real(0, 24)});
    SetAt(l, BEE_StreamPosition, 9, {real(0, 32), real(0, 24)}, false);
    if (pick(2)) {
      SetAt(l, BEE_StreamRotation, 0, {real(-90, 90)});
      SetAt(l, BEE_StreamRotation, 6, {real(-90, 90)}, false);
    }
    if (pick(2)) {
      SetAt(l, BEE_StreamScale, 0, {real(50, 150), real(50, 150)});
      SetAt(l, BEE_StreamScale, 8, {real(50, 150), real(50, 150)}, false);
    }
    SetAt(l, BEE_StreamOpacity, 2, {real(30, 100)}, pick(2) != 0);
    // Masks.
    for (int m = pick(3); m > 0; --m) {
      const FixedRect r{pick(8) << 16, pick(8) << 16, (8 + pick(16)) << 16, (8 + pick(16)) << 16};
      OM_Shape shape = GOT(OM_Shape, OM_NewShape, pick(2) ? OM_TypeOval : OM_TypeRect, &r);
      int32_t index = GOT(int32_t, BEE_CmdAddMask, l, shape);
      OM_DisposeShape(shape);
      const int32_t base = BEE_StreamFirstMask + 3 * index;
      SetAt(l, base + BEE_MaskStreamFeather, 0, {real(0, 4), real(0, 4)}, pick(2) != 0);
      SetAt(l, base + BEE_MaskStreamOpacity, 5, {real(20, 100)}, pick(2) != 0);
    }
    // Effects with keyed parameters.
    for (int e = pick(3); e > 0; --e) {
      const char* match[] = {FLT_MatchFastBlur, FLT_MatchLevels, FLT_MatchInvert};
      const int which = pick(3);
      int32_t index = GOT(int32_t, BEE_CmdApplyEffect, l, Class(match[which]));
      const int32_t base = BEE_StreamFirstEffect + 128 * index;
      if (which == 0) {
        SetAt(l, base, 0, {real(0, 4)});
        SetAt(l, base, 7, {real(0, 6)}, false);
      } else if (which == 1) {
        SetAt(l, base + 2, 1, {real(0.5, 2)});
        SetAt(l, base + 2, 7, {real(0.5, 2)}, false);
        SetAt(l, base + 4, 0, {static_cast<double>(128 + pick(128))}, pick(2) != 0);
      }
      if (pick(4) == 0) Must(BEE_CmdSetEffectEnabled(l, index, 0));
    }
    (void)rng;
  }
};

TEST_F(ProjectProps, RandomProjectsRenderAlikeAfterSaveOpenAndImport) {
  const int kCases = tv::test::RandomCases(20);
  for (int seed = 1; seed <= kCases; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    Build(static_cast<uint32_t>(seed));
    const auto want = AllFrames();
    ASSERT_EQ(BEE_CmdSaveProject(Spec("p.tvp"), 0, 0), 0);
    ASSERT_EQ(BEE_CmdOpenProject(Spec("p.tvp"), 0, nullptr), 0);
    EXPECT_EQ(AllFrames(), want) << "opened";
    ASSERT_EQ(BEE_NewProject(), 0);
    BEE_Item folder = GOT(BEE_Item, BEE_CmdNewFolder, nullptr, "In");
    ASSERT_EQ(BEE_CmdImportProject(Spec("p.tvp"), folder), 0);
    EXPECT_EQ(AllFrames(folder), want) << "imported";
  }
}

// What the commands would say of the opened project's values: each is given
// back to the command that sets it.
void ExpectCommandsAccept(BEE_Item comp) {
  BEE_CompSettings s = GOT(BEE_CompSettings, BEE_GetCompSettings, comp);
  Time fd = GOT(Time, BEE_GetCompFrameDuration, comp);
  BEE_Item made = nullptr;
  ASSERT_EQ(BEE_CmdNewComp(nullptr, &s, &made), 0) << "composition settings";
  Time madeFd = GOT(Time, BEE_GetCompFrameDuration, made);
  EXPECT_TRUE(fd.value == madeFd.value && fd.scale == madeFd.scale) << "frame duration " << fd.value << "/" << fd.scale;
  BEE_CmdRemoveItem(made);
  int32_t n = GOT(int32_t, BEE_GetCompNumLayers, comp);
  for (int32_t i = 0; i < n; ++i) {
    BEE_Layer l = GOT(BEE_Layer, BEE_GetIndLayer, comp, i);
    BEE_TransferSettings t = GOT(BEE_TransferSettings, BEE_GetLayerTransfer, l);
    EXPECT_EQ(BEE_CmdSetTransfer(l, t.mode, t.flags, t.trackMatte), 0) << "transfer";
    BEE_LayerInfo info = GOT(BEE_LayerInfo, BEE_GetLayerInfo, l);
    EXPECT_EQ(BEE_CmdSetLayerQuality(l, info.quality), 0) << "quality";
    EXPECT_EQ(BEE_CmdSetLayerStretch(l, info.stretch), 0) << "stretch";
    Time offset{}, in{}, out{};
    BEE_GetLayerTime(l, 2, &offset, nullptr);
    BEE_GetLayerTime(l, 4, &in, nullptr);
    BEE_GetLayerTime(l, 5, &out, nullptr);
    EXPECT_EQ(BEE_CmdSetLayerTimes(l, offset, in, out), 0) << "layer times";
    int32_t masks = GOT(int32_t, BEE_GetLayerNumMasks, l);
    for (int32_t m = 0; m < masks; ++m) {
      BEE_MaskInfo mi = GOT(BEE_MaskInfo, BEE_GetMaskInfo, l, m);
      EXPECT_TRUE(mi.mode >= 1 && mi.mode <= 6) << "mask mode " << mi.mode;
    }
  }
}

TEST_F(ProjectProps, EveryFlippedBitIsRefusedOrOpensToARenderableProject) {
  Build(7, false);  // a flipped footage size would be refused at render, by name
  ASSERT_EQ(BEE_CmdSaveProject(Spec("good.tvp"), 0, 0), 0);
  const std::vector<uint8_t> bytes = Bytes("good.tvp");
  ASSERT_EQ(BEE_CmdOpenProject(Spec("good.tvp"), 0, nullptr), 0);
  const std::string before = Dump();
  std::mt19937 rng(51);
  const int kFlips = tv::test::RandomCases(500);
  int opened = 0;
  for (int i = 0; i < kFlips; ++i) {
    SCOPED_TRACE(Flipped(bytes, rng));
    const ErrorCode err = BEE_CmdOpenProject(Spec("flip.tvp"), 0, nullptr);
    specs_.Clear();
    if (err) {
      // Refused: the open project is as it was (checked now and then: the
      // dump is slow).
      if (i % 25 == 0) {
        ASSERT_EQ(Dump(), before);
      }
      continue;
    }
    ++opened;
    for (BEE_Item c : Comps()) {
      // One time per case, in turn.
      const int32_t t = std::data(kTimes)[static_cast<size_t>(i) % kTimes.size()];
      ErrorCode e = 0;
      rec.clear();
      Frame(c, t, &e);
      ASSERT_EQ(e, 0) << "frame " << t << ": " << (rec.reports.empty() ? "" : rec.last().text);
      ExpectCommandsAccept(c);
    }
    if (HasFailure()) return;
    // Back to the good project for the next flip.
    ASSERT_EQ(BEE_CmdOpenProject(Spec("good.tvp"), 0, nullptr), 0);
    specs_.Clear();
  }
  EXPECT_GT(opened, kFlips / 10);
}

}  // namespace
}  // namespace tv::bee::test
