// Rebuilding a frame from the rows of one field.
#include "PIN_interp.h"
#include "PIN_test_fixture.h"

namespace tv::test::pin {
namespace {

// Rebuilding from one parity: doubled rows copy the kept row above (below
// for row 0); interpolated ones take the mean of the two around them.
TEST(PINFieldRows, DoubledAndInterpolated) {
  // One byte a row is enough to follow: rows 0..4 of width 1 (4 bytes).
  std::vector<uint8_t> px = {10, 10, 10, 10, 99, 99, 99, 99, 30, 30, 30, 30, 99, 99, 99, 99, 51, 51, 51, 51};
  std::vector<uint8_t> d = px;
  tv::pin::FillOtherRows(d.data(), 4, 1, 5, 0, false);
  EXPECT_EQ(d, (std::vector<uint8_t>{10, 10, 10, 10, 10, 10, 10, 10, 30, 30, 30, 30, 30, 30, 30, 30, 51, 51, 51, 51}));
  d = px;
  tv::pin::FillOtherRows(d.data(), 4, 1, 5, 0, true);
  EXPECT_EQ(d, (std::vector<uint8_t>{10, 10, 10, 10, 20, 20, 20, 20, 30, 30, 30, 30, 41, 41, 41, 41, 51, 51, 51, 51}));
  d = px;
  tv::pin::FillOtherRows(d.data(), 4, 1, 5, 1, true);
  EXPECT_EQ(d, (std::vector<uint8_t>{99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99}));
}

}  // namespace
}  // namespace tv::test::pin
