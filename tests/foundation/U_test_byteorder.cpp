// Big-endian reading and writing.
#include <gtest/gtest.h>

#include <cmath>

#include "ByteOrder.h"

using tv::be::Reader;
using tv::be::Writer;

TEST(ByteOrder, WritesEveryWidthBigEndian) {
  Writer w;
  w.Write<uint8_t>(0xA1);
  w.Write<int16_t>(-2);
  w.Write<uint32_t>(0x01020304);
  w.Write<int64_t>(-1);
  w.Write<float>(1.0f);
  w.Write<double>(-2.0);
  w.WriteFourCC(tv::MakeFourCC("RIFX"));
  w.WriteFixedString("ab", 4);
  const std::vector<uint8_t> want = {0xA1, 0xFF, 0xFE, 1, 2, 3, 4, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                     0x3F, 0x80, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0, 'R', 'I', 'F', 'X', 'a', 'b', 0, 0};
  EXPECT_EQ(w.bytes(), want);
  EXPECT_TRUE(w.Patch<uint16_t>(1, 0x1234));
  EXPECT_EQ(w.bytes()[1], 0x12);
  EXPECT_FALSE(w.Patch<uint32_t>(w.size() - 3, 0));

  Reader r(w.bytes());
  EXPECT_EQ(r.Read<uint8_t>(), 0xA1);
  EXPECT_EQ(r.Read<uint16_t>(), 0x1234);
  EXPECT_EQ(r.Read<uint32_t>(), 0x01020304u);
  EXPECT_EQ(r.Read<int64_t>(), -1);
  EXPECT_EQ(r.Read<float>(), 1.0f);
  EXPECT_EQ(r.Read<double>(), -2.0);
  EXPECT_EQ(r.ReadFourCC(), tv::MakeFourCC("RIFX"));
  EXPECT_TRUE(r.Skip(4));
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.remaining(), 0u);
}

TEST(ByteOrder, ReadingPastTheEndFailsAndStaysFailed) {
  const uint8_t bytes[3] = {1, 2, 3};
  Reader r(bytes);
  EXPECT_EQ(r.Read<uint16_t>(), 0x0102);
  EXPECT_EQ(r.Read<uint16_t>(), 0);  // only one byte left
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.Read<uint8_t>(), 0);  // still failed
  EXPECT_EQ(r.remaining(), 0u);
  Reader s(bytes);
  EXPECT_FALSE(s.Skip(4));
  Reader t(bytes);
  EXPECT_TRUE(t.Take(static_cast<size_t>(-1)).empty());
  EXPECT_FALSE(t.ok());
}
