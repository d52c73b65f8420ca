// Masks on layers: adding, deleting, reordering and changing masks, each
// undone and redone, their streams, and masks travelling with layers.
#include <tuple>

#include "BEE_test_support.h"
#include "M.h"

namespace tv::bee::test {
namespace {

class Masks : public BeeFixture {
 protected:
  void SetUp() override {
    BeeFixture::SetUp();
    comp = NewComp();
    layer = NewSolidLayer(comp);
    const FixedRect b{0, 0, 10 << 16, 20 << 16};
    ASSERT_EQ(OM_NewShape(OM_TypeOval, &b, &shape), 0);
    ASSERT_EQ(OM_SetShapeType(OM_TypePath, shape), 0);
  }
  void TearDown() override {
    EXPECT_EQ(OM_DisposeShape(shape), 0);
    BeeFixture::TearDown();
  }
  int32_t Count(BEE_Layer l) {
    int32_t n = -1;
    EXPECT_EQ(BEE_GetLayerNumMasks(l, &n), 0);
    return n;
  }
  std::string Name(BEE_Layer l, int32_t mask) {
    BEE_MaskInfo info = GOT(BEE_MaskInfo, BEE_GetMaskInfo, l, mask);
    return info.name;
  }
  BEE_MaskInfo Info(int32_t mask) { return GOT(BEE_MaskInfo, BEE_GetMaskInfo, layer, mask); }
  TDB_Stream Stream(int32_t mask, int32_t k) {
    BEE_StreamRef ref{layer, BEE_StreamFirstMask + 3 * mask + k};
    return GOT(TDB_Stream, BEE_StreamLookup, &ref);
  }
  ErrorCode Setting(int32_t command, int32_t mask, int32_t value) {
    intptr_t words[2] = {reinterpret_cast<intptr_t>(layer), BEE_PackMaskValue(mask, value)};
    return BEE_DoCommand(command, words);
  }
  BEE_Item comp = nullptr;
  BEE_Layer layer = nullptr;
  OM_Shape shape = nullptr;
};

TEST_F(Masks, DeleteAndReorderUndo) {
  for (int i = 0; i < 3; ++i) ASSERT_EQ(BEE_CmdAddMask(layer, shape, nullptr), 0);
  EXPECT_EQ(UndoName(), "Add Mask");
  // Each setting is one named step; values out of range and masks the layer
  // lacks are refused.
  for (auto [command, value, name] : {std::tuple{BEE_CmdNumMaskInvert, 1, "Mask Invert"},
                                      {BEE_CmdNumMaskInvert2, 0, "Mask Invert"},
                                      {BEE_CmdNumMaskMode, 5, "Mask Mode"},
                                      {BEE_CmdNumMaskLock, 1, "Mask Lock"}}) {
    ASSERT_EQ(Setting(command, 2, value), 0) << command;
    EXPECT_EQ(UndoName(), name);
  }
  const BEE_MaskInfo set = Info(2);
  EXPECT_EQ(std::tuple(set.mode, set.invert, set.locked), std::tuple(5u, 0, 1));
  EXPECT_EQ(Setting(BEE_CmdNumMaskMode, 0, 9), 3);
  EXPECT_EQ(Setting(BEE_CmdNumMaskInvert, 4, 1), 10);
  for (int i = 0; i < 4; ++i) ASSERT_EQ(BEE_Undo(), 0);
  TDB_Stream middle = Stream(1, BEE_MaskStreamShape);
  ASSERT_EQ(BEE_CmdDeleteMask(layer, 1), 0);
  EXPECT_EQ(UndoName(), "Delete Mask");
  EXPECT_EQ(Count(layer), 2);
  EXPECT_EQ(Name(layer, 1), "Mask 3");
  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_EQ(Name(layer, 1), "Mask 2");
  EXPECT_EQ(Stream(1, BEE_MaskStreamShape), middle);  // the same mask came back
  ASSERT_EQ(BEE_CmdReorderMasks(layer, 0, 2), 0);
  EXPECT_EQ(UndoName(), "Mask Reordering");
  EXPECT_EQ(Name(layer, 0), "Mask 2");
  EXPECT_EQ(Name(layer, 2), "Mask 1");
  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_EQ(Name(layer, 0), "Mask 1");
  EXPECT_EQ(Name(layer, 2), "Mask 3");
  EXPECT_EQ(BEE_CmdDeleteMask(layer, 3), 10);
  EXPECT_EQ(BEE_CmdReorderMasks(layer, 0, -1), 10);
  // A deleted mask whose undo is dropped goes with it (the fixture counts).
  ASSERT_EQ(BEE_CmdDeleteMask(layer, 0), 0);
  ASSERT_EQ(BEE_ClearUndoRedo(), 0);
}

TEST_F(Masks, StreamChangesDuplicatesAndLimit) {
  ASSERT_EQ(BEE_CmdAddMask(layer, shape, nullptr), 0);
  const int32_t opacity = int32_t{BEE_StreamFirstMask} + BEE_MaskStreamOpacity;
  TDB_Stream s = KeyableCopy(layer, opacity);
  const double half = 50;
  ASSERT_EQ(TDB_InsertKeyF(s, nullptr, 300, 1, &half, 1, 1), 0);
  ASSERT_EQ(BEE_CmdSetStreamKeys(layer, opacity, s), 0);
  EXPECT_EQ(Stream(0, BEE_MaskStreamOpacity), s);
  BEE_Layer copy = GOT(BEE_Layer, BEE_CmdDuplicateLayer, layer);
  EXPECT_EQ(Count(copy), 1);
  EXPECT_EQ(Name(copy, 0), "Mask 1");
  ASSERT_EQ(BEE_Undo(), 0);
  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_NE(Stream(0, BEE_MaskStreamOpacity), s);
  // A new frame rate rescales the mask streams with the layer's own.
  BEE_CompSettings fast = Settings("Comp", 640, 480, 24u << 16);
  ASSERT_EQ(BEE_CmdSetCompSettings(comp, &fast), 0);
  TDB_StreamInfo own{}, mask{};
  BEE_StreamRef ownRef{layer, BEE_StreamOpacity};
  TDB_Stream layerOpacity = GOT(TDB_Stream, BEE_StreamLookup, &ownRef);
  ASSERT_EQ(TDB_GetStreamInfo(layerOpacity, &own), 0);
  ASSERT_EQ(TDB_GetStreamInfo(Stream(0, BEE_MaskStreamShape), &mask), 0);
  EXPECT_EQ(mask.timeScale, own.timeScale);
  for (int i = 1; i < BEE_MaxMasks; ++i) ASSERT_EQ(BEE_CmdAddMask(layer, shape, nullptr), 0);
  EXPECT_EQ(BEE_CmdAddMask(layer, shape, nullptr), 3);
  EXPECT_EQ(rec.last().text, "Test error: can't apply more than 127 masks to one layer -- a bad parameter was passed.");
  EXPECT_EQ(Count(layer), BEE_MaxMasks);
  ASSERT_EQ(BEE_CmdDeleteLayer(layer), 0);
}

// The points of the mask's shape at a time.
std::vector<FixedPoint> Points(TDB_Stream s, int32_t frame) {
  const Time t{frame, 30};
  OM_Shape sh = GOT(OM_Shape, OM_GetShape, s, &t, 0);
  int32_t n = GOT(int32_t, OM_GetShapeInfo, sh, nullptr, nullptr);
  std::vector<FixedPoint> p(static_cast<size_t>(n));
  if (n) OM_ShapeGetValues(sh, 0, n, p.data());
  OM_DisposeShape(sh);
  return p;
}

TEST_F(Masks, TransformMovesEveryShapeAsOneNamedStep) {
  // A constant oval path, and a rectangle keyed at two times.
  ASSERT_EQ(BEE_CmdAddMask(layer, shape, nullptr), 0);
  const FixedRect r{2 << 16, 2 << 16, 6 << 16, 8 << 16};
  OM_Shape rect = GOT(OM_Shape, OM_NewShape, OM_TypeRect, &r);
  ASSERT_EQ(BEE_CmdAddMask(layer, rect, nullptr), 0);
  const Time t0{0, 30}, t1{10, 30};
  ASSERT_EQ(BEE_CmdSetStreamVary(layer, BEE_StreamFirstMask + 3, &t0, 1), 0);
  BEE_StreamValue v{};
  v.shape = rect;
  ASSERT_EQ(BEE_CmdSetStreamFPV(layer, BEE_StreamFirstMask + 3, &t1, nullptr, &v), 0);
  OM_DisposeShape(rect);
  const std::vector<FixedPoint> oval = Points(Stream(0, 0), 0);
  const std::string before = Dump();
  // Moved by (3, -2) pixels.
  FloatMatrix m = GOT(FloatMatrix, M_SetIdentityMatrix);
  M_TranslateMatrix(&m, 3, -2);
  for (int32_t mask : {0, 1}) ASSERT_EQ(BEE_CmdMaskTransform(layer, mask, &m, "Move Mask"), 0);
  EXPECT_EQ(UndoName(), "Move Mask");
  const std::vector<FixedPoint> moved = Points(Stream(0, 0), 0);
  ASSERT_EQ(moved.size(), oval.size());
  for (size_t i = 0; i < oval.size(); ++i) {
    EXPECT_EQ(moved[i].h, oval[i].h + (3 << 16));
    EXPECT_EQ(moved[i].v, oval[i].v - (2 << 16));
  }
  for (int32_t frame : {0, 10}) {
    const std::vector<FixedPoint> p = Points(Stream(1, 0), frame);
    ASSERT_EQ(p.size(), 24u);  // the rectangle, as the path it stands for
    EXPECT_EQ(p[0].h, (4 + 3) << 16);  // the top middle
    EXPECT_EQ(p[0].v, (2 - 2) << 16);
  }
  // Undone step by step: as it was; redone: moved again.
  ASSERT_EQ(BEE_Undo(), 0);
  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_EQ(Dump(), before);
  ASSERT_EQ(BEE_Redo(), 0);
  const std::vector<FixedPoint> redone = Points(Stream(0, 0), 0);
  ASSERT_EQ(redone.size(), moved.size());
  for (size_t i = 0; i < moved.size(); ++i) EXPECT_TRUE(redone[i].h == moved[i].h && redone[i].v == moved[i].v) << i;
  // A transform with no name is named for what it is; refusals change nothing.
  ASSERT_EQ(BEE_CmdMaskTransform(layer, 0, &m, nullptr), 0);
  EXPECT_EQ(UndoName(), "Mask Transform");
  const std::string now = Dump();
  FloatMatrix huge = m;
  M_ScaleMatrix(&huge, 1e6, 1e6, 0, 0);
  EXPECT_NE(BEE_CmdMaskTransform(layer, 0, &huge, "Too Big"), 0);
  EXPECT_EQ(BEE_CmdMaskTransform(layer, 2, &m, nullptr), kErrRange);
  EXPECT_EQ(BEE_CmdMaskTransform(layer, 0, nullptr, nullptr), kErrBadParam);
  EXPECT_EQ(Dump(), now);
}

}  // namespace
}  // namespace tv::bee::test
