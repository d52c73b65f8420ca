// Values the engine cannot draw are refused by the commands that would set
// them (and, through the same checks, by the project file reader); the
// extremes they take are drawn.
#include "BEE_test_frames.h"

namespace tv::bee::test {
namespace {

class Records : public FramesFixture {
 protected:
  void SetUp() override {
    FramesFixture::SetUp();
    Warm([&] {
      BEE_Layer l = MakeSolid(Comp(), 0xFF20C040, 12, 10);
      ASSERT_EQ(BEE_CmdApplyEffect(l, Class(FLT_MatchFastBlur), nullptr), 0);
      AddMask(l, OM_TypeOval);
      Frame(comp_, 0);
    });
  }
  BEE_Item Comp() { return comp_ = MakeComp("C", 32, 24); }
  static ErrorCode AddMask(BEE_Layer l, int32_t type, bool relative = false) {
    const FixedRect r{2 << 16, 1 << 16, 9 << 16, 8 << 16};
    OM_Shape shape = GOT(OM_Shape, OM_NewShape, type, &r);
    const FixedRect reference{0, 0, 12 << 16, 10 << 16};
    if (relative) {
      EXPECT_EQ(OM_AbsToRel(&reference, shape), 0);
    }
    const ErrorCode err = BEE_CmdAddMask(l, shape, nullptr);
    OM_DisposeShape(shape);
    return err;
  }
  // Gives the layer's stream one key of the values at frame 0 (the keys
  // are disposed here when the command refuses them).
  ErrorCode SetKeyed(BEE_Layer l, int32_t index, std::initializer_list<double> v) {
    TDB_Stream d = KeyableCopy(l, index);
    double values[4] = {};
    std::copy(v.begin(), v.end(), values);
    const Time t{0, 30};
    EXPECT_EQ(TDB_InsertKeyF(d, &t, 0, 1, values, TDB_InterpLinear, TDB_InterpLinear), 0);
    const ErrorCode err = BEE_CmdSetStreamKeys(l, index, d);
    if (err) TDB_DisposeStream(d);
    return err;
  }
  BEE_Item comp_ = nullptr;
};

TEST_F(Records, CommandsRefuseWhatCannotBeDrawn) {
  BEE_Layer l = MakeSolid(Comp(), 0xFF20C040, 12, 10);
  ASSERT_EQ(BEE_CmdApplyEffect(l, Class(FLT_MatchFastBlur), nullptr), 0);
  const double nan = std::nan("");
  struct Case {
    const char* name;
    std::function<ErrorCode()> command;
    const char* text;
  };
  const Case cases[] = {
      {"transfer mode 26", [&] { return BEE_CmdSetTransfer(l, 26, 0, 0); }, "invalid transfer mode (26)."},
      {"stretch 1/65537", [&] { return BEE_CmdSetLayerStretch(l, Ratio{1, 65537}); },
       "a layer stretch must lie between 1/65536 and 65536 times, forwards or backwards (1/65537)"},
      {"stretch 0/1", [&] { return BEE_CmdSetLayerStretch(l, Ratio{0, 1}); }, "forwards or backwards (0/1)"},
      {"stretch 1/0", [&] { return BEE_CmdSetLayerStretch(l, Ratio{1, 0}); }, "forwards or backwards (1/0)"},
      {"a relative mask shape", [&] { return AddMask(l, OM_TypeRect, true); }, "invalid keyframes for stream 128"},
      {"a position that is not a number", [&] { return SetKeyed(l, BEE_StreamPosition, {nan, 3}); },
       "invalid keyframes for stream 3"},
      {"a blur radius beyond its range", [&] { return SetKeyed(l, BEE_StreamFirstEffect, {1e6}); },
       "invalid keyframes for stream 512"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    rec.clear();
    EXPECT_EQ(c.command(), kErrBadParam);
    EXPECT_TRUE(Reported(c.text)) << (rec.reports.empty() ? "" : rec.last().text);
  }
  // The last transfer mode and the extreme stretches, forwards and
  // backwards, are taken and drawn over a minute.
  ASSERT_EQ(BEE_CmdSetTransfer(l, 25, 0, 0), 0);
  for (Ratio s : {Ratio{1, 65536}, Ratio{-1, 65536}, Ratio{65536, 1}, Ratio{-65536, 1}, Ratio{65536, 0xFFFFFFFFu}}) {
    ASSERT_EQ(BEE_CmdSetLayerStretch(l, s), 0);
    for (int32_t f : {0, 29, 1799}) {
      ErrorCode err = 0;
      Frame(comp_, f, &err);
      EXPECT_EQ(err, 0) << s.num << "/" << s.den << " at " << f;
    }
  }
}

}  // namespace
}  // namespace tv::bee::test
