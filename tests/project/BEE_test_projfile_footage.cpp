// Project files with footage read through the footage modules: sources and
// proxies come back, and files that went missing open as placeholders that
// keep their references, so that putting the file back restores them.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "BEE_test_support.h"

namespace tv::bee::test {
namespace {

class ProjFootage : public PinFixture {
 protected:
  bool Missing(BEE_Item item) {
    PIN_SeqSpecH seq = GOT(PIN_SeqSpecH, BEE_GetFootageSeqSpec, item);
    Boolean32 missing = 7;
    EXPECT_EQ(PIN_IsMissing(seq, &missing), 0);
    return missing != 0;
  }
};

TEST_F(ProjFootage, MissingFilesOpenAsPlaceholdersThatKeepTheirReferences) {
  tv::test::pin::WriteTsf(dir.P("a.tsf"), 12, 10, 1);
  tv::test::pin::WriteTsf(dir.P("b.tsf"), 8, 6, 2);
  tv::test::pin::WriteTsf(dir.P("proxy.tsf"), 6, 5, 3);
  BEE_Item a = nullptr, b = nullptr;
  ASSERT_EQ(BEEp_MakeFootageFromSeqSpec(nullptr, Seq("a.tsf"), &a), 0);
  ASSERT_EQ(BEEp_MakeFootageFromSeqSpec(nullptr, Seq("b.tsf"), &b), 0);
  ASSERT_EQ(BEEp_SetItemProxy(a, Seq("proxy.tsf")), 0);
  ASSERT_EQ(BEE_CmdSaveProject(Spec("f.tvp"), 0, 0), 0);

  // Everything present: sources and the proxy come back.
  ASSERT_EQ(BEE_CmdOpenProject(Spec("f.tvp"), 1, nullptr), 0);
  BEE_Item a2 = GOT(BEE_Item, BEE_FindItem, nullptr, "a.tsf", BEE_KindFootage);
  EXPECT_FALSE(Missing(a2));
  EXPECT_NE(GOT(PIN_SeqSpecH, BEEp_GetItemProxy, a2), nullptr);

  // Both sources gone: placeholders, one message.
  unlink(dir.P("a.tsf").c_str());
  unlink(dir.P("b.tsf").c_str());
  rec.clear();
  ASSERT_EQ(BEE_CmdOpenProject(Spec("f.tvp"), 1, nullptr), 0);
  EXPECT_TRUE(Reported("2 files are missing since you last saved this project."));
  ASSERT_EQ(BEE_FindItem(nullptr, "a.tsf", BEE_KindFootage, &a2), 0);
  EXPECT_TRUE(Missing(a2));
  EXPECT_EQ(GOT(BEE_FootageDesc, BEE_GetFootageDesc, a2).width, 12);
  // Saved as placeholders, the references survive: with the file back the
  // source is whole again.
  ASSERT_EQ(BEE_CmdSaveProject(nullptr, 0, 0), 0);
  tv::test::pin::WriteTsf(dir.P("a.tsf"), 12, 10, 1);
  rec.clear();
  ASSERT_EQ(BEE_CmdOpenProject(Spec("f.tvp"), 1, nullptr), 0);
  EXPECT_TRUE(Reported("1 file is missing since you last saved this project."));
  ASSERT_EQ(BEE_FindItem(nullptr, "a.tsf", BEE_KindFootage, &a2), 0);
  EXPECT_FALSE(Missing(a2));
}

// A project moved together with its footage (another disk, another
// machine) finds the footage by the path from the project file, says that
// files moved, and once saved again opens without a word.
TEST_F(ProjFootage, AProjectMovedWithItsFootageFindsIt) {
  ASSERT_EQ(::mkdir(dir.P("proj").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(dir.P("media").c_str(), 0755), 0);
  tv::test::pin::WriteTsf(dir.P("media/a.tsf"), 12, 10, 1);
  BEE_Item a = nullptr;
  ASSERT_EQ(BEEp_MakeFootageFromSeqSpec(nullptr, Seq("media/a.tsf"), &a), 0);
  ASSERT_EQ(BEE_CmdSaveProject(Spec("proj/f.tvp"), 0, 0), 0);
  ASSERT_EQ(::mkdir(dir.P("moved").c_str(), 0755), 0);
  ASSERT_EQ(::rename(dir.P("proj").c_str(), dir.P("moved/proj").c_str()), 0);
  ASSERT_EQ(::rename(dir.P("media").c_str(), dir.P("moved/media").c_str()), 0);
  rec.clear();
  ASSERT_EQ(BEE_CmdOpenProject(Spec("moved/proj/f.tvp"), 1, nullptr), 0);
  BEE_Item a2 = GOT(BEE_Item, BEE_FindItem, nullptr, "a.tsf", BEE_KindFootage);
  EXPECT_FALSE(Missing(a2));
  EXPECT_TRUE(Reported("Note: some files have changed or moved since you last saved this project.  Save to "
                       "incorporate these changes."));
  ASSERT_EQ(rec.reports.size(), 1u) << rec.last().text;
  ASSERT_EQ(BEE_CmdSaveProject(nullptr, 0, 0), 0);
  rec.clear();
  ASSERT_EQ(BEE_CmdOpenProject(Spec("moved/proj/f.tvp"), 1, nullptr), 0);
  EXPECT_TRUE(rec.reports.empty()) << rec.last().text;
  // The project moved without its footage, which moved elsewhere, finds
  // nothing: no other file is taken for it.
  ASSERT_EQ(::rename(dir.P("moved/proj").c_str(), dir.P("proj").c_str()), 0);
  ASSERT_EQ(::rename(dir.P("moved/media").c_str(), dir.P("moved/other").c_str()), 0);
  tv::test::pin::WriteTsf(dir.P("a.tsf"), 12, 10, 1);
  rec.clear();
  ASSERT_EQ(BEE_CmdOpenProject(Spec("proj/f.tvp"), 1, nullptr), 0);
  EXPECT_TRUE(Missing(GOT(BEE_Item, BEE_FindItem, nullptr, "a.tsf", BEE_KindFootage)));
  EXPECT_TRUE(Reported("1 file is missing since you last saved this project."));
}

// A missing file saved into a project elsewhere ("save as" at another
// folder depth) keeps leading where it led: no other file of its name is
// taken for it, and moved together with the project it is found.
TEST_F(ProjFootage, AMissingFileSavedElsewhereLeadsWhereItLed) {
  for (const char* d : {"w", "w/proj", "w/media", "w/deep", "w/deep/er", "w/deep/media"})
    ASSERT_EQ(::mkdir(dir.P(d).c_str(), 0755), 0) << d;
  tv::test::pin::WriteTsf(dir.P("w/media/a.tsf"), 12, 10, 1);
  BEE_Item a = nullptr;
  ASSERT_EQ(BEEp_MakeFootageFromSeqSpec(nullptr, Seq("w/media/a.tsf"), &a), 0);
  ASSERT_EQ(BEE_CmdSaveProject(Spec("w/proj/f.tvp"), 0, 0), 0);
  unlink(dir.P("w/media/a.tsf").c_str());
  ASSERT_EQ(BEE_CmdOpenProject(Spec("w/proj/f.tvp"), 1, nullptr), 0);
  ASSERT_TRUE(Missing(GOT(BEE_Item, BEE_FindItem, nullptr, "a.tsf", BEE_KindFootage)));
  ASSERT_EQ(BEE_CmdSaveProject(Spec("w/deep/er/g.tvp"), 0, 0), 0);
  // The path it had from the old project leads from the new one to another file.
  tv::test::pin::WriteTsf(dir.P("w/deep/media/a.tsf"), 8, 6, 2);
  rec.clear();
  ASSERT_EQ(BEE_CmdOpenProject(Spec("w/deep/er/g.tvp"), 1, nullptr), 0);
  EXPECT_TRUE(Missing(GOT(BEE_Item, BEE_FindItem, nullptr, "a.tsf", BEE_KindFootage)));
  EXPECT_TRUE(Reported("1 file is missing since you last saved this project."));
  // Everything moved, the file back in its place: found from the new project.
  unlink(dir.P("w/deep/media/a.tsf").c_str());
  ASSERT_EQ(::rename(dir.P("w").c_str(), dir.P("w2").c_str()), 0);
  tv::test::pin::WriteTsf(dir.P("w2/media/a.tsf"), 12, 10, 1);
  rec.clear();
  ASSERT_EQ(BEE_CmdOpenProject(Spec("w2/deep/er/g.tvp"), 1, nullptr), 0);
  EXPECT_FALSE(Missing(GOT(BEE_Item, BEE_FindItem, nullptr, "a.tsf", BEE_KindFootage)));
  EXPECT_TRUE(Reported("Note: some files have changed or moved since you last saved this project.  Save to "
                       "incorporate these changes."));
}

}  // namespace
}  // namespace tv::bee::test
