// The buffers of open files: reads at the end of the file, and writes that
// fail only when the buffer goes out (reported once, returned). Random reads,
// writes (across the window's edges), seeks back and size changes against a
// model of the file are in FILE_test_shared.cpp.
#include <unistd.h>

#include <fstream>
#include <functional>

#include "FILE_internal.h"
#include "FILE_test_fixture.h"
#include "FileSizeLimit.h"

namespace tv::test {
namespace {

using namespace tv::file;

constexpr int64_t kWindow = 64 * 1024;

std::string Pattern(size_t n, uint32_t seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7 + seed) % 26);
  return s;
}

class FileBuffer : public FileTest {
 protected:
  FILE_SpecH OpenNew(const std::string& name, int32_t permission = FILE_PermReadWrite) {
    Write(P(name), "");
    return Opened(name, permission);
  }
  static int64_t Pos(FILE_SpecH r) { return OUT(FILE_InqPos, r); }
  static int64_t Size(FILE_SpecH r) { return OUT(FILE_InqSize, r, FILE_SizeData); }
};

TEST_F(FileBuffer, ReadsAtTheEndOfTheFile) {
  std::string data = Pattern(static_cast<size_t>(kWindow + 10), 3);
  Write(P("a"), data);
  FILE_SpecH a = Opened("a", FILE_PermRead);
  ASSERT_EQ(FILE_SetPos(a, kWindow - 6), 0);
  char buf[32] = {};
  int32_t count = 32;
  EXPECT_EQ(FILE_Read(a, &count, buf), 786);
  EXPECT_EQ(count, 16);
  EXPECT_EQ(std::string(buf, 16), data.substr(kWindow - 6));
  ExpectReport(kSiteRead, "Test error: reading from file \"" + P("a") + "\" -- unexpected end-of-file (-39).");
  EXPECT_EQ(Pos(a), kWindow + 10);
  rec.clear();
  // Exactly at the end is a valid position; one past it is not.
  ASSERT_EQ(FILE_SetPos(a, kWindow + 10), 0);
  Fails(FILE_SetPos(a, kWindow + 11), 786, kSiteSetPos,
        "setting position in file \"" + P("a") + "\" -- unexpected end-of-file (-39).");
  // The file grew behind the reader's back: the new bytes are read.
  std::ofstream(P("a"), std::ios::binary | std::ios::app) << "more";
  EXPECT_EQ(Read(a, 4), "more");
  ASSERT_EQ(FILE_Close(a), 0);
}

TEST_F(FileBuffer, PlatformReferenceSeesEveryByteAtThePosition) {
  FILE_SpecH a = OpenNew("a");
  ASSERT_EQ(FILE_NWrite(a, 5, "hello"), 0);
  int32_t fd = OUT(FILE_InqPlatDepRef, a);
  char buf[5] = {};
  ASSERT_EQ(::pread(fd, buf, 5, 0), 5);
  EXPECT_EQ(std::string(buf, 5), "hello");
  EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 5);
  // A copy of an open file holds what was written.
  ASSERT_EQ(FILE_NWrite(a, 3, "!!!"), 0);
  ASSERT_EQ(FILE_Copy(a, Ref(P("copy"))), 0);
  EXPECT_EQ(Slurp(P("copy")), "hello!!!");
  ASSERT_EQ(FILE_Close(a), 0);
}

// Bytes accepted while the limit allowed them, and refused by the platform
// only when they go out (the limit was lowered in between): the operation that
// writes them out reports the failure once and returns it.
TEST_F(FileBuffer, FailedWriteBackIsReportedOnceAndReturned) {
  const std::string text = "Test error: writing to file \"" + P("a") + "\" -- disk is full (-34).";
  struct Case {
    uint32_t site;
    std::function<ErrorCode(FILE_SpecH)> flush;
  };
  std::vector<Case> cases = {
      {kSiteClose, [](FILE_SpecH r) { return FILE_Close(r); }},
      {kSiteInqSize,
       [](FILE_SpecH r) {
         int64_t size = 0;
         return FILE_InqSize(r, FILE_SizeData, &size);
       }},
      {kSiteFlush, [](FILE_SpecH r) { return FILE_Flush(r); }},
      {kSiteDispose, [](FILE_SpecH r) { return FILE_Dispose(r); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.site);
    FILE_SpecH a = OpenNew("a");
    std::string data = Pattern(200, 5);
    for (int i = 0; i < 20; ++i) ASSERT_EQ(FILE_NWrite(a, 10, data.data() + 10 * i), 0);
    {
      FileSizeLimit cap(100);
      if (!cap.active()) GTEST_SKIP() << "file size limits are not available";
      EXPECT_TRUE(rec.reports.empty());
      EXPECT_EQ(c.flush(a), 785);
      ExpectReport(c.site, text);
      if (c.site == kSiteDispose) {
        Forget(a);
      } else if (c.site != kSiteClose) {
        ASSERT_EQ(FILE_Flush(a), 0);
        ASSERT_EQ(FILE_Close(a), 0);
      }
      EXPECT_TRUE(rec.reports.empty());
    }
    EXPECT_EQ(Slurp(P("a")).substr(0, 10), data.substr(0, 10));
  }
}

}  // namespace
}  // namespace tv::test
