// The in-process public clipboard and its hand-over through descriptors.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "Scrap.h"

namespace tv::platform {
namespace {

constexpr uint32_t kText = 0x54455854u, kPath = 0x41494342u;

TEST(PublicScrap, TypesReplaceAndClear) {
  ClearPublicScrap();
  PutPublicScrap(kText, "one");
  PutPublicScrap(kPath, "path");
  PutPublicScrap(kText, std::string("t\0wo", 4));
  std::string s;
  ASSERT_TRUE(GetPublicScrap(kText, &s));
  EXPECT_EQ(s, std::string("t\0wo", 4));
  EXPECT_EQ(PublicScrapTypes(), (std::vector<uint32_t>{kText, kPath}));
  ClearPublicScrap();
  EXPECT_FALSE(GetPublicScrap(kText, &s));
  EXPECT_EQ(s, "");
}

TEST(PublicScrap, ExportAndImportThroughPipes) {
  ClearPublicScrap();
  const std::string big(200000, 'k');
  PutPublicScrap(kText, big);
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  // Written by a child so a full pipe cannot block the test.
  pid_t child = fork();
  if (child == 0) {
    close(p[0]);
    _exit(ExportPublicScrap(kText, p[1]) == 0 ? 0 : 1);
  }
  close(p[1]);
  ClearPublicScrap();
  ASSERT_EQ(ImportPublicScrap(kPath, p[0], big.size()), 0);
  close(p[0]);
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::string s;
  ASSERT_TRUE(GetPublicScrap(kPath, &s));
  EXPECT_EQ(s, big);
  // Input longer than the limit is refused and nothing changes.
  ASSERT_EQ(pipe(p), 0);
  ASSERT_EQ(write(p[1], "abcdef", 6), 6);
  close(p[1]);
  EXPECT_EQ(ImportPublicScrap(kPath, p[0], 5), kSysParam);
  close(p[0]);
  ASSERT_TRUE(GetPublicScrap(kPath, &s));
  EXPECT_EQ(s, big);
  EXPECT_EQ(ExportPublicScrap(kPath, -1), kSysBadRefNum);
  ClearPublicScrap();
}

}  // namespace
}  // namespace tv::platform
