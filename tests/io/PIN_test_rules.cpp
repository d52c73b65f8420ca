// The interpretation rules file: line ends, comments, wildcards, the later
// rule winning, the first syntax error with its line, the size limit, and the
// rules applied to new footage.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "PIN_test_fixture.h"

namespace tv::test::pin {
namespace {

class PINRulesTest : public PINTest {
 protected:
  ErrorCode Load(const std::string& text) {
    const std::string path = dir.path() + "/Interpretation Rules.txt";
    std::ofstream(path, std::ios::binary) << text;
    Specs refs;
    return PIN_LoadAutoInterpFile(refs.New(path));
  }
  PIN_Interpretation Imported(uint32_t w, uint32_t h, uint32_t options = 0) {
    const std::string path = dir.path() + "/f_" + std::to_string(n_++) + ".tsf";
    WriteTsf(path, w, h, 3);
    PIN_SeqSpecH seq = nullptr;
    EXPECT_EQ(Import(path, options, &seq), 0);
    PIN_Interpretation i = OUT(PIN_GetInterpretation, seq);
    PIN_DisposeSeqSpec(seq);
    return i;
  }
  std::vector<std::string> Names() {
    PIN_NamedRatio r[8];
    int32_t count = OUT(PIN_GetNamedPixelAspectRatios, r, 8);
    std::vector<std::string> out;
    for (int32_t i = 0; i < count && i < 8; ++i) out.push_back(r[i].name);
    return out;
  }
  int n_ = 0;
};

TEST_F(PINRulesTest, EachLineEndAppliesInOrder) {
  for (const std::string eol : {"\n", "\r", "\r\n"}) {
    ASSERT_EQ(PIN_Death(), 0);
    ASSERT_EQ(PIN_Birth(), 0);
    const std::string text = "# width, height, rate, type, codec = aspect, fields, conform, alpha" + eol +
                             "*, *, *,*,*= 2/1, L, *, W" + eol + eol +
                             "100,\t50 , *,\"TSFf\",*=\t3/2/\"Wide\", upper, *, I" + eol;
    ASSERT_EQ(Load(text), 0) << "line end " << eol.size();
    const PIN_Interpretation any = Imported(10, 10);
    EXPECT_EQ(std::tie(any.hsfNum, any.field.separate, any.field.dominance, any.alpha.type, any.alpha.red),
              std::tuple(2u, 1u, 1u, PIN_Alpha_Premul, 255));
    const PIN_Interpretation both = Imported(100, 50);  // the later rule wins
    EXPECT_EQ(std::tie(both.hsfNum, both.hsfDen, both.field.dominance, both.alpha.type),
              std::tuple(3u, 2u, 0u, PIN_Alpha_Ignore));
    EXPECT_EQ(Names(), (std::vector<std::string>{"2.00", "Wide"}));
  }
}

TEST_F(PINRulesTest, StarInTheFieldColumnSeparatesNothing) {
  ASSERT_EQ(Load("*,*,*,*,*=*,U,*,*\n*,*,*,*,*=*,*,*,*\n"), 0);
  EXPECT_EQ(Imported(8, 8).field.separate, 0u);
  EXPECT_EQ(Imported(8, 8).alpha.type, PIN_Alpha_Straight);
}

TEST_F(PINRulesTest, FirstSyntaxErrorKeepsTheRulesBefore) {
  ASSERT_EQ(Load("# rules\r\n*,*,*,*,*=5/4,*,*,*\r\n*,*,*,\"TSF\",*=*,*,*,*\r\n*,*,*,*,*=1/0,*,*,*\r\n"),
            PIN_ErrRulesSyntax);
  EXPECT_EQ(rec.reports.back().text,
            Logged("could not use the \"Interpretation Rules.txt\" file because of a syntax error on line 3.",
                   PIN_ErrRulesSyntax));
  EXPECT_EQ(Imported(8, 8).hsfNum, 5u);
  // Zero denominators, bad numbers and a missing "=" are errors too.
  for (const char* bad : {"*,*,*,*,*=1/0,*,*,*", "x,*,*,*,*=*,*,*,*", "*,*,29,97,*,*=*,*,*,*", "*,*,*,*,*,*,*,*,*",
                          "*,*,0,*,*=*,*,*,*"})
    EXPECT_EQ(Load(bad), PIN_ErrRulesSyntax) << bad;
  // Spaces are part of the quoted code fields.
  EXPECT_EQ(Load("*,*,*, \"TSFf\",*=*,*,*,*"), PIN_ErrRulesSyntax);
}

TEST_F(PINRulesTest, SizeLimit) {
  std::string text = "#";
  text.resize(32767, 'x');
  EXPECT_EQ(Load(text), 0);
  text.push_back('x');
  EXPECT_EQ(Load(text), PIN_ErrBadRequest);
  EXPECT_EQ(rec.reports.back().text,
            Logged("could not use the \"Interpretation Rules.txt\" file because it is too large.",
                   PIN_ErrBadRequest));
}

TEST_F(PINRulesTest, RatesReadWithoutTheLocaleAndConform) {
  ASSERT_EQ(Load("*,*,*,*,*=*,*,12.5,*\n"), 0);
  const PIN_Interpretation i = Imported(8, 8, PIN_Import_Sequence);
  EXPECT_EQ(i.nativeRate, 12 << 16 | 0x8000);  // stills take the rate as their own
}

TEST_F(PINRulesTest, BirthLoadsTheDefaultOrTheNamedFile) {
  // The default lives under $XDG_CONFIG_HOME/tavelo.
  std::filesystem::create_directories(dir.path() + "/cfg/tavelo");
  std::ofstream(dir.path() + "/cfg/tavelo/Interpretation Rules.txt") << "*,*,*,*,*=3/1,*,*,*\n";
  std::ofstream(dir.path() + "/other.txt") << "*,*,*,*,*=5/1,*,*,*\n";
  const char* old = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = old ? old : "";
  setenv("XDG_CONFIG_HOME", (dir.path() + "/cfg").c_str(), 1);
  ASSERT_EQ(PIN_Death(), 0);
  ASSERT_EQ(PIN_Birth(), 0);
  EXPECT_EQ(Imported(10, 10).hsfNum, 3u);
  // The host names another: the rules are replaced at once, and kept for
  // the next birth.
  ASSERT_EQ(PIN_SetAutoInterpPath((dir.path() + "/other.txt").c_str()), 0);
  EXPECT_EQ(Imported(10, 10).hsfNum, 5u);
  ASSERT_EQ(PIN_Death(), 0);
  ASSERT_EQ(PIN_Birth(), 0);
  EXPECT_EQ(Imported(10, 10).hsfNum, 5u);
  EXPECT_EQ(Names(), std::vector<std::string>{"5.00"});
  // A named file that is not there leaves no rules.
  ASSERT_EQ(PIN_SetAutoInterpPath((dir.path() + "/none.txt").c_str()), 0);
  EXPECT_EQ(Imported(10, 10).hsfNum, 1u);
  ASSERT_EQ(PIN_SetAutoInterpPath(nullptr), 0);
  EXPECT_EQ(Imported(10, 10).hsfNum, 3u);
  if (old)
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
  ASSERT_EQ(PIN_SetAutoInterpPath(nullptr), 0);
  EXPECT_TRUE(rec.reports.empty());
}

}  // namespace
}  // namespace tv::test::pin
