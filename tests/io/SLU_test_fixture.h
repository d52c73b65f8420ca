// Shared fixture of the chunk-layer and list-file tests: U born with a
// recorder, a fresh temporary folder per test, files opened through the file
// layer with a chunk context on them, byte builders for hand-made files, and
// a check that no block outlives a test.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "ByteOrder.h"
#include "FILE.h"
#include "Memory.h"
#include "SLU.h"
#include "TestSupport.h"
#include "io_test_out.h"

namespace tv::test {

using Bytes = std::vector<uint8_t>;

// Builds file images by hand, field by field, big-endian.
struct ByteBuilder {
  Bytes b;
  ByteBuilder& Tag(const char (&s)[5]) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(s[i]));
    return *this;
  }
  ByteBuilder& U32(uint32_t v) {
    for (int i = 3; i >= 0; --i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
  ByteBuilder& U16(uint16_t v) {
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v));
    return *this;
  }
  ByteBuilder& Raw(std::initializer_list<uint8_t> bytes) {
    b.insert(b.end(), bytes);
    return *this;
  }
  ByteBuilder& Append(const Bytes& more) {
    b.insert(b.end(), more.begin(), more.end());
    return *this;
  }
  ByteBuilder& Zeros(size_t n) {
    b.resize(b.size() + n, 0);
    return *this;
  }
};

class ChunkFileTest : public UFixture {
 protected:
  void SetUp() override {
    UFixture::SetUp();
    liveHandles = EMUL_LiveHandleCount();
    dir = temp_.path();
    ASSERT_FALSE(dir.empty());
  }
  void TearDown() override {
    CloseAll();
    EXPECT_EQ(EMUL_LiveHandleCount(), liveHandles) << "a block outlived the test";
    UFixture::TearDown();
  }

  std::string P(const std::string& name) const { return dir + "/" + name; }

  // A new empty file opened read-write, with a context on it.
  SLU_FileContext Create(const std::string& name) {
    FILE_SpecH ref = Ref(name);
    EXPECT_EQ(FILE_Create(FILE_CreateFile, 0, FILE_CreateReplace, ref), 0);
    return Open(ref, FILE_PermReadWrite);
  }
  // A file holding bytes, opened read-only, with a context on it.
  SLU_FileContext WithBytes(const Bytes& bytes, const std::string& name = "in.bin") {
    // A new file rather than a truncated one: the file system flushes a
    // truncated file on close, which makes thousands of rounds slow.
    std::error_code ec;
    std::filesystem::remove(P(name), ec);
    std::ofstream(P(name), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                   static_cast<std::streamsize>(bytes.size()));
    return Open(Ref(name), FILE_PermRead);
  }
  FILE_SpecH Ref(const std::string& name) {
    FILE_SpecH ref = nullptr;
    std::string path = P(name);
    EXPECT_EQ(FILE_New(path.c_str(), FILE_LocFullPath, &ref), 0);
    refs.push_back(ref);
    return ref;
  }
  SLU_FileContext Open(FILE_SpecH ref, int32_t permission) {
    EXPECT_EQ(FILE_Open(permission, ref), 0);
    SLU_FileContext c{};
    EXPECT_EQ(SLU_InitFile(ref, 0, &c), 0);
    return c;
  }
  void CloseAll() {
    for (FILE_SpecH r : refs) FILE_Dispose(r);
    refs.clear();
  }
  // The whole file as written so far. The file layer buffers writes, so the
  // references open for writing write out what they hold first (a size query
  // does that without forcing the data to the disk).
  Bytes Contents(const std::string& name) {
    for (FILE_SpecH r : refs) {
      int32_t perm = 0;
      int64_t size = 0;
      if (FILE_InqPerm(r, &perm) == 0 && perm != 0 && perm != FILE_PermRead) {
        EXPECT_EQ(FILE_InqSize(r, FILE_SizeData, &size), 0);
      }
    }
    std::ifstream in(P(name), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  int64_t Pos(SLU_FileContext& c) { return OUT(FILE_InqPos, c.file); }
  void SetPos(SLU_FileContext& c, int64_t p) { ASSERT_EQ(FILE_SetPos(c.file, p), 0); }

  // Exactly one report since the last clear, with these fields.
  void ExpectReport(LocationCode location, Severity severity, const std::string& text) {
    ASSERT_EQ(rec.reports.size(), 1u);
    EXPECT_EQ(rec.reports[0].location, location);
    EXPECT_EQ(rec.reports[0].severity, severity);
    EXPECT_EQ(rec.reports[0].text, text);
  }

  TempDir temp_{"tvslu"};
  std::string dir;
  std::vector<FILE_SpecH> refs;
  int64_t liveHandles = 0;
};

}  // namespace tv::test
