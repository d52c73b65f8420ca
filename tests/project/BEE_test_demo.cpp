// The host's project demo, end to end: it builds its project through the
// exported commands, and the evaluated values follow undo and redo.
#include "../../host/demo_project.cpp"

#include "BEE_test_support.h"

namespace tv::bee::test {
namespace {

class DemoRun : public tv::test::UFixture {};

TEST_F(DemoRun, ValuesFollowUndoAndRedo) {
  Demo demo;
  ASSERT_EQ(BEE_Birth(), 0);
  demo.Run();
  EXPECT_TRUE(demo.ok) << demo.out;
  // The table: the square starts at the left, eases to the right and fades.
  EXPECT_NE(demo.out.find("        0   0.00s       100.00       180.00    50.0%       0.0    100.0%"),
            std::string::npos)
      << demo.out;
  EXPECT_NE(demo.out.find("       30   1.00s       540.00       180.00   150.0%     360.0     25.0%"),
            std::string::npos)
      << demo.out;
  EXPECT_EQ(demo.out.find("NO"), std::string::npos) << demo.out;
  EXPECT_NE(demo.out.find("undo: Make It Snappier"), std::string::npos);
  EXPECT_EQ(BEE_Death(), 0);
  int32_t items = -1, layers = -1;
  BEEp_GetLiveCounts(&items, &layers);
  EXPECT_EQ(items, 0);
  EXPECT_EQ(layers, 0);
}

}  // namespace
}  // namespace tv::bee::test
