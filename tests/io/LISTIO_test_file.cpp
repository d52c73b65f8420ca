// The file form of lists: golden bytes for each kind of item, round trips,
// the older headers, where the file is left, and every refusal.
#include <cstring>

#include "LIST_file.h"
#include "SLU_test_fixture.h"

namespace tv::test {
namespace {

// lhd3 of a list, hand-laid (the signed fields as their 32-bit patterns).
Bytes Lhd3(uint32_t magic, uint32_t user, uint32_t count, uint32_t blocks, uint32_t itemSize,
           uint32_t blockSize, uint32_t minBlocks, uint32_t capacity, uint16_t flags) {
  ByteBuilder b;
  for (uint32_t v : {magic, user, count, blocks, itemSize, blockSize, minBlocks, capacity}) b.U32(v);
  return b.U16(flags).U16(0).Zeros(16).b;
}

// A whole "LIST"/"list" container from header and items.
Bytes ListChunk(const char* headerId, const Bytes& header, const Bytes& items, bool withData = true) {
  ByteBuilder body;
  body.Tag("list").Raw({uint8_t(headerId[0]), uint8_t(headerId[1]), uint8_t(headerId[2]), uint8_t(headerId[3])}).U32(static_cast<uint32_t>(header.size())).Append(header);
  if (header.size() & 1) body.Zeros(1);
  if (withData && !items.empty()) {
    body.Tag("ldat").U32(static_cast<uint32_t>(items.size())).Append(items);
    if (items.size() & 1) body.Zeros(1);
  }
  return ByteBuilder().Tag("LIST").U32(static_cast<uint32_t>(body.b.size())).Append(body.b).b;
}

// (A list that outlives a test is a block the fixture's count catches.)
class ListFile : public ChunkFileTest {
 protected:
  // Writes list with LIST_Write into a new file and returns the bytes. The
  // file is closed again, so the next call may replace it.
  Bytes Written(LIST_Handle list) {
    SLU_FileContext c = Create("w.bin");
    EXPECT_EQ(LIST_Write(list, &c), 0);
    EXPECT_EQ(FILE_Close(c.file), 0);
    return Contents("w.bin");
  }
  // Reads a list from bytes (expects success).
  LIST_Handle ReadBack(const Bytes& bytes) {
    SLU_FileContext c = WithBytes(bytes, "r.bin");
    return OUT(LIST_Read, &c, nullptr);
  }
  // Reading bytes fails with code and a report whose text ends as given.
  void ExpectRefused(const Bytes& bytes, ErrorCode code, const std::string& text) {
    SLU_FileContext c = WithBytes(bytes, "bad.bin");
    LIST_Handle list = reinterpret_cast<LIST_Handle>(0x1234);
    rec.clear();
    EXPECT_EQ(LIST_Read(&c, nullptr, &list), code);
    EXPECT_EQ(list, nullptr);
    ASSERT_EQ(rec.reports.size(), 1u);
    EXPECT_EQ(rec.reports[0].text, text);
    EXPECT_EQ(rec.reports[0].severity, kSevError);
  }
};

std::string BadFileText(const std::string& detail) {
  return "Test error: invalid list information in file (" + detail + ") (1B06).";
}

// ---- Golden bytes

TEST_F(ListFile, ValueListGoldenBytes) {
  LIST_Handle list = OUT(LIST_New, LIST_FlagNoCompact, 4, 4, 1);
  ASSERT_EQ(LIST_SetUserLong(list, 0x01020304), 0);
  for (int32_t v : {1, -2, 0x7FFFFFFF}) ASSERT_EQ(LIST_Insert4(v, -1, list), 0);
  Bytes got = Written(list);
  // The items are written as they lie in memory.
  Bytes memoryOrder(12);
  int32_t values[3] = {1, -2, 0x7FFFFFFF};
  std::memcpy(memoryOrder.data(), values, 12);
  EXPECT_EQ(got, ListChunk("lhd3", Lhd3(0xD00BEE, 0x01020304, 3, 1, 4, 4, 1, 4, LIST_FlagNoCompact), memoryOrder));
  LIST_Dispose(list, 0);
}

TEST_F(ListFile, EmptyListHasNoData) {
  LIST_Handle list = OUT(LIST_New, 0, 16, 32, 2);
  Bytes want = ByteBuilder().Tag("LIST").U32(64).Tag("list").Tag("lhd3").U32(52).Append(Lhd3(0xD00BEE, 0, 0, 2, 16, 32, 2, 64, 0)).b;
  EXPECT_EQ(Written(list), want);
  LIST_Dispose(list, 0);
}

TEST_F(ListFile, OddSizedItemsArePadded) {
  LIST_Handle list = OUT(LIST_New, 0, 3, 2, 1);
  const uint8_t a[3] = {1, 2, 3}, b[3] = {4, 5, 6}, c[3] = {7, 8, 9};
  for (const uint8_t* item : {a, b, c}) ASSERT_EQ(LIST_Insert(item, -1, list), 0);
  // Three items in a list of two-item blocks: two blocks.
  Bytes want = ListChunk("lhd3", Lhd3(0xD00BEE, 0, 3, 2, 3, 2, 1, 4, 0), {1, 2, 3, 4, 5, 6, 7, 8, 9});
  EXPECT_EQ(Written(list), want);
  LIST_Dispose(list, 0);
}

struct Rec {
  int32_t a;
  int16_t b;
  uint16_t c;
};

ErrorCode SwapRec(LIST_Handle, intptr_t data, int32_t, void* item) {
  auto* r = static_cast<Rec*>(item);
  r->a = static_cast<int32_t>(U_LongSwap(static_cast<uint32_t>(r->a)));
  r->b = static_cast<int16_t>(U_ShortSwap(static_cast<uint16_t>(r->b)));
  r->c = U_ShortSwap(r->c);
  if (data) ++*reinterpret_cast<int32_t*>(data);
  return 0;
}

TEST_F(ListFile, RecordListThroughWritePlusIsBigEndianOnFileAndUnchangedInMemory) {
  LIST_Handle list = OUT(LIST_New, 0, sizeof(Rec), 8, 1);
  Rec r1{0x11223344, -2, 0xABCD}, r2{-1, 0x0102, 7};
  ASSERT_EQ(LIST_Insert(&r1, -1, list), 0);
  ASSERT_EQ(LIST_Insert(&r2, -1, list), 0);
  SLU_FileContext c = Create("w.bin");
  int32_t calls = 0;
  ASSERT_EQ(LIST_WritePlus(list, SwapRec, SwapRec, reinterpret_cast<intptr_t>(&calls), &c), 0);
  EXPECT_EQ(calls, 4);
  Bytes items = ByteBuilder().U32(0x11223344).U16(0xFFFE).U16(0xABCD).U32(0xFFFFFFFF).U16(0x0102).U16(7).b;
  EXPECT_EQ(Contents("w.bin"), ListChunk("lhd3", Lhd3(0xD00BEE, 0, 2, 1, 8, 8, 1, 8, 0), items));
  Rec back{};
  ASSERT_EQ(LIST_GetItem(list, 0, &back), 0);
  EXPECT_EQ(back.a, r1.a);
  EXPECT_EQ(back.c, r1.c);

  // And read back through the same conversion.
  SetPos(c, 0);
  LIST_Handle read = OUT(LIST_ReadPlus, &c, nullptr, SwapRec, 0);
  ASSERT_EQ(LIST_GetItem(read, 1, &back), 0);
  EXPECT_EQ(back.a, -1);
  EXPECT_EQ(back.b, 0x0102);
  EXPECT_EQ(back.c, 7);
  LIST_Dispose(read, 0);
  LIST_Dispose(list, 0);
}

// Items holding a pointer: on file a u32 slot (always 0) and the flags.
struct Slot {
  Handle sequence;
  uint32_t flags;
};

ErrorCode EncodeSlot(intptr_t, LIST_Handle, int32_t, const void* item, uint8_t* out) {
  const auto* s = static_cast<const Slot*>(item);
  tv::be::Store<uint32_t>(out, 0);
  tv::be::Store<uint32_t>(out + 4, s->flags);
  return 0;
}
ErrorCode DecodeSlot(intptr_t, LIST_Handle, int32_t index, const uint8_t* in, void* item) {
  auto* s = static_cast<Slot*>(item);
  s->sequence = nullptr;
  s->flags = tv::be::Load<uint32_t>(in + 4);
  return index == 99 ? kErrBadParam : 0;
}

TEST_F(ListFile, PointerItemsGoThroughAnEncoderWithTheFileItemSize) {
  LIST_Handle list = OUT(LIST_New, 0, sizeof(Slot), 4, 1);
  Slot a{reinterpret_cast<Handle>(0x7FFF12345678), 0x80000001}, b{reinterpret_cast<Handle>(0x10), 2};
  ASSERT_EQ(LIST_Insert(&a, -1, list), 0);
  ASSERT_EQ(LIST_Insert(&b, -1, list), 0);
  SLU_FileContext c = Create("w.bin");
  ASSERT_EQ(LIST_WriteEncoded(list, 8, EncodeSlot, 0, &c), 0);
  Bytes items = ByteBuilder().U32(0).U32(0x80000001).U32(0).U32(2).b;
  EXPECT_EQ(Contents("w.bin"), ListChunk("lhd3", Lhd3(0xD00BEE, 0, 2, 1, 8, 4, 1, 4, 0), items));

  // A file item size other than the reader's is refused.
  SetPos(c, 0);
  LIST_Handle read = nullptr;
  rec.clear();
  EXPECT_EQ(LIST_ReadDecoded(&c, nullptr, sizeof(Slot), 12, DecodeSlot, 0, &read), LIST_ErrBadFileData);
  EXPECT_EQ(read, nullptr);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.reports[0].text, BadFileText("item size"));
  LIST_Dispose(list, 0);
}

// ---- Older headers

TEST_F(ListFile, ReadsTheLhd2Header) {
  Bytes header = ByteBuilder()
                     .U32(0xD00BEE).U32(42)                 // magic, user long
                     .U16(3).U16(1)                         // count, blocks
                     .U32(2)                                // item size
                     .U16(4).U16(1).U16(4)                  // block size, minimum blocks, capacity
                     .U16(0xFFFF)                           // flags: only bits 0-2 stay
                     .Zeros(16)
                     .b;
  LIST_Handle list = ReadBack(ListChunk("lhd2", header, {0xA1, 0xA2, 0xB1, 0xB2, 0xC1, 0xC2}));
  ASSERT_NE(list, nullptr);
  uint8_t item[2];
  LIST_GetItem(list, 2, item);
  EXPECT_EQ(item[0], 0xC1);
  // Rewritten in the current form: capacity from blocks x block size, flags 0-2.
  Bytes now = Written(list);
  EXPECT_EQ(Bytes(now.begin() + 20, now.begin() + 72), Lhd3(0xD00BEE, 42, 3, 1, 2, 4, 1, 4, 7));
  LIST_Dispose(list, 0);
}

TEST_F(ListFile, ReadsTheLhdrHeader) {
  Bytes header = ByteBuilder()
                     .U32(0xD00BEE)
                     .U16(2).U16(2)        // count, blocks
                     .U32(4)               // item size
                     .U32(1)               // block size (32-bit here)
                     .U16(2)               // minimum blocks
                     .U16(9).U16(9).U16(9) // unused
                     .U32(0x55555555)      // unread
                     .U32(0xFFFFFFF9)      // user long
                     .U32(0x0000FFFE)      // flags: bits 1 and 2 stay
                     .b;
  ASSERT_EQ(header.size(), 36u);
  LIST_Handle list = ReadBack(ListChunk("lhdr", header, ByteBuilder().U32(5).U32(6).b));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(OUT(LIST_GetUserLong, list), -7);
  Bytes now = Written(list);
  EXPECT_EQ(Bytes(now.begin() + 20, now.begin() + 72), Lhd3(0xD00BEE, -7, 2, 2, 4, 1, 2, 2, 6));
  LIST_Dispose(list, 0);
}

// ---- Refusals

// Headers that describe no list this package could have written: each is
// refused with one report before anything is allocated for it.
TEST_F(ListFile, BadHeadersAreRefused) {
  Bytes h48 = Lhd3(0xD00BEE, 0, 0, 1, 4, 4, 1, 4, 0);
  h48.resize(48);
  const struct {
    const char* what;
    const char* id;
    Bytes header, items;
    const char* detail;
  } cases[] = {
      {"wrong magic", "lhd3", Lhd3(0xD00BEF, 0, 1, 1, 4, 1, 1, 1, 0), {1, 2, 3, 4}, "header info"},
      // 2e9 items of 4 bytes would wrap a 32-bit size; 1e6 spare items of 64
      // bytes ask for far more room than any list in a file needs.
      {"wrapping size", "lhd3", Lhd3(0xD00BEE, 0, 0, 1, 4, 2000000000, 1, 2000000000, 0), {}, "header info"},
      {"huge spare room", "lhd3", Lhd3(0xD00BEE, 0, 0, 1000, 64, 1000, 1, 1000000, 0), {}, "header info"},
      {"largest fields", "lhd3", Lhd3(0xD00BEE, 0, 0, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 1, 1, 0), {},
       "header info"},
      // An empty list of huge items: its scratch item alone, or the first
      // block an insertion would add, is too much.
      {"huge item", "lhd3", Lhd3(0xD00BEE, 0, 0, 0, 973144066, 2, 0, 0, 0), {}, "header info"},
      {"huge first block", "lhd3", Lhd3(0xD00BEE, 0, 0, 0, 64, 1 << 20, 0, 0, 0), {}, "header info"},
      {"less data than the count", "lhd3", Lhd3(0xD00BEE, 0, 2, 1, 4, 2, 1, 2, 0), {1, 2, 3, 4, 5, 6},
       "data length"},
      {"short header", "lhd3", h48, {}, "header length"},
      {"short lhd2", "lhd2", Bytes(36), {}, "old-style header length"},
      {"unknown header", "lhd9", Bytes(52), {}, "unrecognized chunk ID"},
      {"old block size beyond 16 bits", "lhdr",
       ByteBuilder().U32(0xD00BEE).U16(0).U16(1).U32(4).U32(65536).U16(1).Zeros(10).U32(0).U32(0).b, {},
       "old-style header info"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectRefused(ListChunk(c.id, c.header, c.items), LIST_ErrBadFileData, BadFileText(c.detail));
  }
}

ErrorCode FailAtTwo(LIST_Handle, intptr_t, int32_t index, void*) { return index == 2 ? kErrRange : 0; }

TEST_F(ListFile, ConversionFailureLeavesNoList) {
  SLU_FileContext c = WithBytes(ListChunk("lhd3", Lhd3(0xD00BEE, 0, 3, 1, 1, 4, 1, 4, 0), {1, 2, 3}));
  LIST_Handle list = reinterpret_cast<LIST_Handle>(0x1234);
  EXPECT_EQ(LIST_ReadPlus(&c, nullptr, FailAtTwo, 0, &list), kErrRange);
  EXPECT_EQ(list, nullptr);
  c = WithBytes(ListChunk("lhd3", Lhd3(0xD00BEE, 0, 100, 100, 8, 1, 1, 100, 0), Bytes(800)), "decoded.bin");
  list = reinterpret_cast<LIST_Handle>(0x1234);
  EXPECT_EQ(LIST_ReadDecoded(&c, nullptr, sizeof(Slot), 8, DecodeSlot, 0, &list), kErrBadParam);
  EXPECT_EQ(list, nullptr);
}

ErrorCode CountingSwap(LIST_Handle list, intptr_t data, int32_t index, void* item) {
  if (index == 2 && data == 1) return kErrRange;
  return SwapRec(list, 0, index, item);
}

TEST_F(ListFile, FailedWritePlusLeavesTheItemsInMemoryOrder) {
  LIST_Handle list = OUT(LIST_New, 0, sizeof(Rec), 8, 1);
  for (int i = 0; i < 4; ++i) {
    Rec r{i * 0x01010101, static_cast<int16_t>(i), static_cast<uint16_t>(i)};
    ASSERT_EQ(LIST_Insert(&r, -1, list), 0);
  }
  SLU_FileContext c = Create("w.bin");
  // before fails on item 2: nothing is written and items 0 and 1 come back.
  EXPECT_EQ(LIST_WritePlus(list, CountingSwap, CountingSwap, 1, &c), kErrRange);
  EXPECT_TRUE(Contents("w.bin").empty());
  for (int i = 0; i < 4; ++i) {
    Rec r{};
    LIST_GetItem(list, i, &r);
    EXPECT_EQ(r.a, i * 0x01010101);
    EXPECT_EQ(r.b, i);
  }
  LIST_Dispose(list, 0);
}

TEST_F(ListFile, DamagedListIsNotWritten) {
  LIST_Handle list = OUT(LIST_New, 0, 4, 4, 1);
  uint32_t magic = 0;
  std::memcpy(&magic, *list, 4);
  uint32_t bad = 0xBAD;
  std::memcpy(*list, &bad, 4);
  SLU_FileContext c = Create("w.bin");
  rec.clear();
  EXPECT_EQ(LIST_Write(list, &c), kErrDamaged);
  EXPECT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.reports[0].location, Location(27, LIST_SiteWrite));
  EXPECT_TRUE(Contents("w.bin").empty());
  std::memcpy(*list, &magic, 4);
  LIST_Dispose(list, 0);
}

}  // namespace
}  // namespace tv::test
