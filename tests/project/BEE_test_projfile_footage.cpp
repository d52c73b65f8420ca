// Project files with footage read through the footage modules: sources and
// proxies come back, and files that went missing open as placeholders that
// keep their references, so that putting the file back restores them.
#include <unistd.h>

#include <string>

#include "BEE.h"
#include "PIN_internal.h"
#include "PinTestDriver.h"
#include "TestSupport.h"

namespace tv::bee::test {
namespace {

constexpr tv::pin::Driver kDrivers[] = {
    {"Placeholder", tv::pin::PlaceholderBirth},
    {"Test Frames", tv::test::pin::TsfBirth},
};

class ProjFootage : public tv::test::UFixture {
 protected:
  ProjFootage() : UFixture({PIN_PackageNumber, BEE_PackageNumber}) { tv::pin::SetDriversForTesting(kDrivers); }
  ~ProjFootage() override { tv::pin::SetDriversForTesting({}); }
  void TearDown() override {
    specs_.Clear();
    tv::test::UFixture::TearDown();
  }
  FILE_SpecH Spec(const std::string& path) { return specs_.New(path); }
  PIN_SeqSpecH Seq(const std::string& name) {
    PIN_SeqSpecH seq = nullptr;
    EXPECT_EQ(PIN_NewSeqSpecFromFileOptions(Spec(dir.P(name)), 0, &seq), 0);
    return seq;
  }
  bool Missing(BEE_Item item) {
    PIN_SeqSpecH seq = nullptr;
    EXPECT_EQ(BEE_GetFootageSeqSpec(item, &seq), 0);
    Boolean32 missing = 7;
    EXPECT_EQ(PIN_IsMissing(seq, &missing), 0);
    return missing != 0;
  }
  bool Reported(const std::string& text) const {
    for (const auto& r : rec.reports)
      if (r.text.find(text) != std::string::npos) return true;
    return false;
  }

  tv::test::TempDir dir{"bee-projfootage"};
  tv::test::Specs specs_;
};

TEST_F(ProjFootage, MissingFilesOpenAsPlaceholdersThatKeepTheirReferences) {
  tv::test::pin::WriteTsf(dir.P("a.tsf"), 12, 10, 1);
  tv::test::pin::WriteTsf(dir.P("b.tsf"), 8, 6, 2);
  tv::test::pin::WriteTsf(dir.P("proxy.tsf"), 6, 5, 3);
  BEE_Item a = nullptr, b = nullptr;
  ASSERT_EQ(BEEp_MakeFootageFromSeqSpec(nullptr, Seq("a.tsf"), &a), 0);
  ASSERT_EQ(BEEp_MakeFootageFromSeqSpec(nullptr, Seq("b.tsf"), &b), 0);
  ASSERT_EQ(BEEp_SetItemProxy(a, Seq("proxy.tsf")), 0);
  ASSERT_EQ(BEE_CmdSaveProject(Spec(dir.P("f.tvp")), 0, 0), 0);

  // Everything present: sources and the proxy come back.
  ASSERT_EQ(BEE_CmdOpenProject(Spec(dir.P("f.tvp")), 1, nullptr), 0);
  BEE_Item a2 = nullptr;
  ASSERT_EQ(BEE_FindItem(nullptr, "a.tsf", BEE_KindFootage, &a2), 0);
  EXPECT_FALSE(Missing(a2));
  PIN_SeqSpecH proxy = nullptr;
  ASSERT_EQ(BEEp_GetItemProxy(a2, &proxy), 0);
  EXPECT_NE(proxy, nullptr);

  // Both sources gone: placeholders, one message.
  unlink(dir.P("a.tsf").c_str());
  unlink(dir.P("b.tsf").c_str());
  rec.clear();
  ASSERT_EQ(BEE_CmdOpenProject(Spec(dir.P("f.tvp")), 1, nullptr), 0);
  EXPECT_TRUE(Reported("2 files are missing since you last saved this project."));
  ASSERT_EQ(BEE_FindItem(nullptr, "a.tsf", BEE_KindFootage, &a2), 0);
  EXPECT_TRUE(Missing(a2));
  BEE_FootageDesc d{};
  ASSERT_EQ(BEE_GetFootageDesc(a2, &d), 0);
  EXPECT_EQ(d.width, 12);
  // Saved as placeholders, the references survive: with the file back the
  // source is whole again.
  ASSERT_EQ(BEE_CmdSaveProject(nullptr, 0, 0), 0);
  tv::test::pin::WriteTsf(dir.P("a.tsf"), 12, 10, 1);
  rec.clear();
  ASSERT_EQ(BEE_CmdOpenProject(Spec(dir.P("f.tvp")), 1, nullptr), 0);
  EXPECT_TRUE(Reported("1 file is missing since you last saved this project."));
  ASSERT_EQ(BEE_FindItem(nullptr, "a.tsf", BEE_KindFootage, &a2), 0);
  EXPECT_FALSE(Missing(a2));
}

}  // namespace
}  // namespace tv::bee::test
