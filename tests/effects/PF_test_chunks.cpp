// Effect-owned chunks, drawing destinations and batch samplers: what an
// effect hands back is checked before it is used.
#include <gmock/gmock.h>

#include "BM.h"
#include "PF_test_fixture.h"

namespace tv::test {
namespace {

using ChunkTest = PFFixture;
// Destinations open worlds of the bitmap package.
class DestinationTest : public UFixture {
 protected:
  DestinationTest() : UFixture({BM_PackageNumber, PF_PackageNumber}) {}
};

TEST_F(ChunkTest, LifecycleAndRefusals) {
  PF_Chunk c = nullptr;
  ASSERT_EQ(PF_NewChunk(nullptr, 100, &c), 0);
  EXPECT_EQ(PFp_LiveChunkCount(), 1);
  int32_t size = -1;
  EXPECT_EQ(PF_ChunkDataSize(nullptr, c, &size), 0);
  EXPECT_EQ(size, 100);
  void* a = nullptr;
  void* b = nullptr;
  ASSERT_EQ(PF_LockChunk(nullptr, c, &a), 0);
  ASSERT_EQ(PF_LockChunk(nullptr, c, &b), 0);  // locks nest
  EXPECT_EQ(a, b);
  EXPECT_EQ(static_cast<uint8_t*>(a)[99], 0);  // cleared
  EXPECT_EQ(PF_UnlockChunk(nullptr, c), 0);
  EXPECT_EQ(PF_UnlockChunk(nullptr, c), 0);
  rec.clear();
  EXPECT_EQ(PF_UnlockChunk(nullptr, c), 516);  // not locked
  EXPECT_THAT(rec.last().text, ::testing::HasSubstr("chunk not locked"));
  // Things that are not chunks, and sizes out of range.
  char* fake[1] = {nullptr};
  PF_Chunk bad = nullptr;
  const struct {
    ErrorCode got;
    const char* what;
  } refusals[] = {
      {PF_NewChunk(nullptr, -1, &bad), "size -1"},
      {PF_NewChunk(nullptr, PF_MaxChunkBytes + 1, &bad), "size too large"},
      {PF_NewChunk(nullptr, 1, nullptr), "no out-pointer"},
      {PF_LockChunk(nullptr, fake, &a), "lock a stranger"},
      {PF_LockChunk(nullptr, c, nullptr), "lock without data pointer"},
      {PF_ChunkDataSize(nullptr, nullptr, &size), "size of null"},
      {PF_DisposeChunk(nullptr, fake), "dispose a stranger"},
  };
  for (const auto& r : refusals) EXPECT_EQ(r.got, 516) << r.what;
  EXPECT_EQ(bad, nullptr);
  EXPECT_EQ(a, nullptr);  // cleared by the failed lock
  EXPECT_EQ(size, 0);
  EXPECT_EQ(PF_DisposeChunk(nullptr, c), 0);
  EXPECT_EQ(PF_DisposeChunk(nullptr, c), 516);  // twice
  EXPECT_EQ(PFp_LiveChunkCount(), 0);
  // An empty chunk exists, and has no data.
  ASSERT_EQ(PF_NewChunk(nullptr, 0, &c), 0);
  a = &size;
  EXPECT_EQ(PF_LockChunk(nullptr, c, &a), 0);
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(PF_DisposeChunk(nullptr, c), 0);  // disposing a locked chunk is allowed
  EXPECT_EQ(PFp_LiveChunkCount(), 0);
}

TEST_F(DestinationTest, CloseInReverseOrder) {
  PFWorld w1{}, w2{};
  ASSERT_EQ(PF_NewWorld(nullptr, 8, 4, 1, &w1), 0);
  ASSERT_EQ(PF_NewWorld(nullptr, 3, 2, 1, &w2), 0);
  PF_Destination d1{}, d2{};
  ASSERT_EQ(PF_OpenDestination(nullptr, &w1, &d1), 0);
  ASSERT_EQ(PF_OpenDestination(nullptr, &w2, &d2), 0);
  EXPECT_EQ(std::make_tuple(d1.depth, d2.depth, d2.bounds.bottom, d2.bounds.right), std::make_tuple(1, 2, 2, 3));
  EXPECT_NE(d1.port, nullptr);
  EXPECT_EQ(PF_CloseDestination(nullptr, &d1), 516);  // not the innermost
  EXPECT_EQ(d1.magic, PF_DestinationMagic);           // nothing closed
  EXPECT_EQ(PF_CloseDestination(nullptr, &d2), 0);
  EXPECT_EQ(PF_CloseDestination(nullptr, &d1), 0);
  EXPECT_EQ(d1.magic, 0u);
  EXPECT_EQ(PF_CloseDestination(nullptr, &d1), 516);
  // A world that is not one, and too many open.
  PFWorld fake{};
  EXPECT_NE(PF_OpenDestination(nullptr, &fake, &d1), 0);
  PF_Destination many[PF_MaxOpenDestinations + 1];
  for (int i = 0; i < PF_MaxOpenDestinations; ++i) ASSERT_EQ(PF_OpenDestination(nullptr, &w1, &many[i]), 0);
  EXPECT_EQ(PF_OpenDestination(nullptr, &w1, &many[PF_MaxOpenDestinations]), 516);
  for (int i = PF_MaxOpenDestinations - 1; i >= 0; --i) ASSERT_EQ(PF_CloseDestination(nullptr, &many[i]), 0);
  PF_DisposeWorld(nullptr, &w1);
  PF_DisposeWorld(nullptr, &w2);
}

TEST_F(ChunkTest, BatchSamplersMatchSingleSamples) {
  Buffer src = Noise(9, 7, 5);
  PF_SampleParams params{};
  params.source = &src.world;
  params.xRadius = params.yRadius = 0x10000;
  struct Case {
    int32_t quality, flags;
    PF_SampleFunc single;
  };
  const Case cases[] = {
      {0, 0, &PF_NNSample},
      {0, PF_Batch_Straight | PF_Batch_Area, &PF_NNSample},
      {1, 0, &PF_SubpixelSample_Premul},
      {1, PF_Batch_Straight, &PF_SubpixelSample_Straight},
      {1, PF_Batch_Area, &PF_AreaSample_Premul},
      {1, PF_Batch_Straight | PF_Batch_Area, &PF_AreaSample_Straight},
  };
  PF_UtilCallbacks block{};
  ASSERT_EQ(PF_GetCallbackBlock(1, 0, &block), 0);
  ASSERT_EQ(block.getBatchFunc, &PF_GetBatchFunc);
  for (const Case& c : cases) {
    void* fn = nullptr;
    ASSERT_EQ(block.getBatchFunc(nullptr, c.quality, c.flags, &params, &fn), 0);
    auto batch = reinterpret_cast<PF_BatchSampleFunc>(fn);
    PF_Pixel row[12];
    const Fixed x0 = 0x8000, y0 = 0x18000, dx = 0x9000, dy = 0x3000;
    ASSERT_EQ(batch(nullptr, x0, y0, dx, dy, 12, &params, row), 0);
    for (int i = 0; i < 12; ++i) {
      PF_Pixel one{};
      ASSERT_EQ(c.single(nullptr, x0 + i * dx, y0 + i * dy, &params, &one), 0);
      EXPECT_EQ(std::memcmp(&one, &row[i], 4), 0) << c.quality << " " << c.flags << " " << i;
    }
  }
  void* fn = &params;
  EXPECT_EQ(PF_GetBatchFunc(nullptr, 1, 4, &params, &fn), 516);
  EXPECT_EQ(fn, nullptr);
  EXPECT_EQ(PF_GetBatchFunc(nullptr, 1, 0, &params, nullptr), 516);
}

}  // namespace
}  // namespace tv::test
