// Side-car resource forks: "name.rsrc" is the fork of exactly the file it was
// made for. Renames and deletes take it along only then, never touch an
// unrelated file of that name, and never let a file adopt an orphan.
#include <sys/xattr.h>

#include "FILE_internal.h"
#include "FILE_test_fixture.h"

namespace tv::test {
namespace {

using namespace tv::file;

class FileSidecar : public FileTest {
 protected:
  int64_t ForkSize(const std::string& name) { return OUT(FILE_InqSize, Ref(P(name)), FILE_SizeResource); }
  // Whether the folder's file system keeps extended attributes (without them
  // a side-car is known by its name alone).
  bool KeepsMarks() {
    Write(P(".probe"), "");
    bool keeps = ::setxattr(P(".probe").c_str(), "user.probe", "1", 1, 0) == 0;
    std::filesystem::remove(P(".probe"));
    return keeps;
  }
};

TEST_F(FileSidecar, RenameRefusesATargetWhoseSideCarExists) {
  Write(P("a"), "A");
  MakeFork("a", "RA");
  Write(P("c"), "C");
  Write(P("b.rsrc"), "unrelated");
  // With a fork of its own, and without one (which would adopt the orphan).
  for (const char* name : {"a", "c"}) {
    SCOPED_TRACE(name);
    Fails(FILE_Rename(Ref(P(name)), "b"), 792, kSiteRename, "file \"" + P("b.rsrc") + "\" aleady exists (318).");
    EXPECT_FALSE(Exists("b"));
  }
  EXPECT_EQ(Slurp(P("b.rsrc")), "unrelated");
}

TEST_F(FileSidecar, FoldersHaveNone) {
  MakeDir("dir");
  Write(P("dir.rsrc"), "unrelated");
  FILE_SpecH d = Ref(P("dir"));
  ASSERT_EQ(FILE_Rename(d, "dir2"), 0);
  EXPECT_TRUE(Exists("dir2"));
  EXPECT_EQ(Slurp(P("dir.rsrc")), "unrelated");
  EXPECT_FALSE(Exists("dir2.rsrc"));
  ASSERT_EQ(FILE_Delete(d), 0);
  EXPECT_EQ(Slurp(P("dir.rsrc")), "unrelated");
}

// A file named like a side-car that was not made as this file's fork is an
// unrelated file: it is not read as the fork, and a delete or rename leaves it.
TEST_F(FileSidecar, AnUnrelatedFileOfTheNameIsLeftAlone) {
  if (!KeepsMarks()) GTEST_SKIP() << "the file system keeps no extended attributes";
  Write(P("e1.rsrc"), "unrelated");
  FILE_SpecH e1 = Made("e1", "1");
  EXPECT_EQ(ForkSize("e1"), 0);
  int32_t resRef = 0;
  Fails(FILE_OpenResFile(e1, FILE_PermRead, &resRef), -192, kSiteOpenResFile,
        "opening resource fork of file \"" + P("e1") + "\" -- resource not found (-192).");
  // Writing a fork would take the unrelated file over: refused.
  Fails(FILE_OpenForkWithPermissions(e1, FILE_ResourceFork, FILE_PermReadWrite), 792, kSiteOpenFork,
        "file \"" + P("e1.rsrc") + "\" aleady exists (318).");
  ASSERT_EQ(FILE_Delete(e1), 0);
  EXPECT_FALSE(Exists("e1"));
  EXPECT_EQ(Slurp(P("e1.rsrc")), "unrelated");

  // Its own fork goes with it.
  FILE_SpecH e2 = Made("e2", "2");
  MakeFork(e2, "R2");
  ASSERT_EQ(FILE_Delete(e2), 0);
  EXPECT_FALSE(Exists("e2") || Exists("e2.rsrc"));

  // An orphan: the file went behind this package's back. A new file of the
  // name does not adopt it; creating over a file removes the old file's fork.
  Write(P("o"), "old");
  MakeFork("o", "RO");
  std::filesystem::remove(P("o"));
  FILE_SpecH o = Ref(P("o"));
  ASSERT_EQ(FILE_Create(FILE_CreateFile, 0, 0, o), 0);
  EXPECT_EQ(ForkSize("o"), 0);
  EXPECT_EQ(Slurp(P("o.rsrc")), "RO");
  std::filesystem::remove(P("o.rsrc"));
  MakeFork("o", "new");
  ASSERT_EQ(FILE_Create(FILE_CreateFile, 0, FILE_CreateReplace, o), 0);
  EXPECT_FALSE(Exists("o.rsrc"));
  EXPECT_TRUE(rec.reports.empty());
}

// Copies and exchanges refuse to overwrite a side-car that is there already.
TEST_F(FileSidecar, CopyAndExchangeKeepForksWithTheirFiles) {
  FILE_SpecH a = Made("a", "A");
  MakeFork(a, "RA");
  Write(P("c.rsrc"), "unrelated");
  Fails(FILE_Copy(a, Ref(P("c"))), 792, kSiteCopy, "file \"" + P("c.rsrc") + "\" aleady exists (318).");
  EXPECT_FALSE(Exists("c"));
  // Exchanging with c would put a's fork over c's unrelated side-car.
  Write(P("c"), "C");
  if (KeepsMarks()) {
    Fails(FILE_ExchFileData(a, Ref(P("c"))), 792, kSiteExchange,
          "file \"" + P("c.rsrc") + "\" aleady exists (318).");
    EXPECT_EQ(Slurp(P("c.rsrc")), "unrelated");
  }
}

}  // namespace
}  // namespace tv::test
