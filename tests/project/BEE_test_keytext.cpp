// Keyframe text: golden texts, round trips through scraps and pastes, every
// fault with its line and column, and the mask path form.
#include "BEE_test_support.h"
#include "Scrap.h"

namespace tv::bee::test {
namespace {

const std::string kHead =
    "Quorral Tavelo 4.0 Keyframe Data\r\n\r\n\tUnits Per Second\t30\r\n\tSource Width\t640\r\n"
    "\tSource Height\t480\r\n\tSource Pixel Aspect Ratio\t1\r\n\tComp Pixel Aspect Ratio\t1\r\n\r\n";
const std::string kPosition =
    "Position\r\n\tFrame\tX pixels\tY pixels\t\r\n\t0\t320\t240\t\r\n\t15\t100\t50\t\r\n\r\n";
const std::string kOpacity = "Opacity\r\n\tFrame\tpercent\t\r\n\t\t100\t\r\n\r\n";
const std::string kEnd = "\r\nEnd of Keyframe Data\r\n";

std::string Replace(std::string s, const std::string& from, const std::string& to) {
  size_t at = s.find(from);
  if (at != std::string::npos) s.replace(at, from.size(), to);
  return s;
}
std::string Lf(std::string s, const char* eol = "\n") {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') {
      out += eol;
      ++i;
    } else {
      out += s[i];
    }
  }
  return out;
}

class KeyText : public ClipFixture {
 protected:
  void Key(BEE_Layer layer, int32_t index, Time t, std::vector<double> v, bool vary = false) {
    ASSERT_EQ(SetValue(layer, index, t, v, vary), 0);
  }
  std::string Text(BEE_Scrap scrap, uint32_t want = BEE_PublicText) {
    uint32_t type = 0;
    Handle h = GOT(Handle, BEE_ConvertScrapToPublic, scrap, &type);
    EXPECT_EQ(type, want);
    if (!h) return "<none>";
    std::string s(*h);
    EXPECT_EQ(static_cast<size_t>(GetHandleSize(h)), s.size() + 1);  // trimmed to its length
    DisposeHandle(h);
    return s;
  }
  ErrorCode Read(const std::string& text, BEE_Scrap* scrap, uint32_t type = BEE_PublicText) {
    return BEE_ConvertScrapFromPublic(type, text.data(), static_cast<int32_t>(text.size()), scrap);
  }
  // Text -> scrap -> text.
  std::string Again(const std::string& text) {
    BEE_Scrap s = nullptr;
    EXPECT_EQ(Read(text, &s), 0);
    if (!s) return "<no scrap>";
    std::string out = Text(s);
    BEE_DisposeScrap(s);
    return out;
  }
};

TEST_F(KeyText, GoldenPositionAndOpacity) {
  Key(a, BEE_StreamPosition, Time{1, 2}, {100, 50}, true);
  BEE_Scrap scrap = CopyStreams(a, {BEE_StreamOpacity, BEE_StreamPosition});
  EXPECT_EQ(Text(scrap), kHead + kPosition + kOpacity + kEnd);
  BEE_DisposeScrap(scrap);
  // Negative, exponent and fractional values survive as "%g" writes them.
  const std::string odd = kHead + "Rotation\r\n\tFrame\tdegrees\t\r\n\t-2\t-1e-05\t\r\n\t2.5\t1.5e+07\t\r\n\r\n" + kEnd;
  EXPECT_EQ(Again(odd), odd);
}

// A sound layer's source is 0 x 0: its keys go out as from a 1 x 1 source,
// which reads back (0 was written once, and the reader refused it).
TEST_F(KeyText, ASoundLayersKeysReadBack) {
  BEE_FootageDesc d = Footage("tone", 0, 0, Time{4, 1}, 0);
  BEE_Item tone = GOT(BEE_Item, BEEp_MakeFootageItem, nullptr, &d);
  BEE_Layer l = GOT(BEE_Layer, BEE_CmdNewLayer, comp, tone);
  Key(l, BEE_StreamAudioLevels, Time{1, 2}, {-6, 3}, true);
  BEE_Scrap scrap = CopyStreams(l, {BEE_StreamAudioLevels, BEE_StreamAnchorPoint});
  const std::string text = Text(scrap);
  BEE_DisposeScrap(scrap);
  EXPECT_EQ(text.substr(0, 120), Replace(Replace(kHead, "640", "1"), "480", "1").substr(0, 120));
  EXPECT_NE(text.find("\t\t0.5\t0.5\t\r\n"), std::string::npos) << text;  // the anchor, as a fraction
  EXPECT_EQ(Again(text), text);
}

TEST_F(KeyText, GoldenScaleRotationMaskAndEffect) {
  const FixedRect r{0, 0, 10 << 16, 10 << 16};
  AddShapeMask(a, 1, r);
  const int16_t cls = Class(FLT_MatchFastBlur);
  WarmClasses({cls});  // the class's parameter template lives until the package dies
  ASSERT_EQ(BEE_CmdApplyEffect(a, cls, nullptr), 0);
  Key(a, BEE_StreamRotation, Time{1, 10}, {1234.5678}, true);
  BEE_Scrap scrap = CopyStreams(a, {BEE_StreamAnchorPoint, BEE_StreamScale, BEE_StreamRotation, BEE_StreamFirstMask + 1,
                             BEE_StreamFirstMask + 2, BEE_StreamFirstEffect});
  const std::string golden =
      kHead +
      "Anchor Point\r\n\tFrame\tX pixels\tY pixels\t\r\n\t\t320\t240\t\r\n\r\n"
      "Scale\r\n\tFrame\tX percent\tY percent\t\r\n\t\t100\t100\t\r\n\r\n"
      "Rotation\r\n\tFrame\tdegrees\t\r\n\t0\t0\t\r\n\t3\t1234.57\t\r\n\r\n"
      "Mask Feather\r\n\tFrame\tX pixels\tY pixels\t\r\n\t\t0\t0\t\r\n\r\n"
      "Mask Opacity\r\n\tFrame\tpercent\t\r\n\t\t100\t\r\n\r\n"
      "Fast Blur\tRadius\tEffect Parameter #1\t\r\n\tFrame\tvalue\t\r\n\t\t4\t\r\n\r\n" +
      kEnd;
  EXPECT_EQ(Text(scrap), golden);
  EXPECT_EQ(Again(golden), golden);
  // Pasted onto a layer with the same effect and a mask, and copied again.
  ASSERT_EQ(BEE_CmdApplyEffect(b, cls, nullptr), 0);
  AddShapeMask(b, 3, r);
  BEE_Scrap read = nullptr;
  ASSERT_EQ(Read(golden, &read), 0);
  ASSERT_EQ(BEE_CmdPasteKeyframesIntoLayer(b, read), 0);
  BEE_Scrap back = CopyStreams(b, {BEE_StreamAnchorPoint, BEE_StreamScale, BEE_StreamRotation, BEE_StreamFirstMask + 1,
                            BEE_StreamFirstMask + 2, BEE_StreamFirstEffect});
  EXPECT_EQ(Text(back), golden);
  BEE_DisposeScrap(scrap);
  BEE_DisposeScrap(read);
  BEE_DisposeScrap(back);
}

TEST_F(KeyText, FaultsGiveLineAndColumnAndNoScrap) {
  const std::string good = kHead + kPosition + kOpacity + kEnd;
  std::string masks = kHead;
  for (int i = 0; i < 128; ++i) masks += "Mask Feather\r\n\tFrame\tX pixels\tY pixels\t\r\n\t\t1\t1\t\r\n\r\n";
  masks += kEnd;
  struct Case {
    std::string text;
    const char* what;
    int line, column;
  } cases[] = {
      {Replace(good, "Width\t640", "Width\t0"), "value must be greater than zero", 4, 2},
      {Replace(good, "\t100\t50\t", "\t12abc\t50\t"), "non-numeric data \"12abc\"", 12, 2},
      {Replace(good, "\tSource Height\t480\r\n", ""), "expecting \"Source Height\"", 5, 1},
      {Replace(good, "Width\t640", "Width\t640\tjunk"), "extra data", 4, 3},
      {Replace(good, "\t15\t100\t50\t", "\t15\t100"), "expecting more data", 12, 2},
      {Replace(good, "\t100\t50\t", "\tabc\t50\t"), "expecting a number", 12, 2},
      {Replace(good, "\t100\t50\t", "\t1e999\t50\t"), "value out of range", 12, 2},
      {Replace(good, "\t100\t50\t", "\t-inf\t50\t"), "value out of range", 12, 2},
      {Replace(good, "\t100\t50\t", "\t-nan\t50\t"), "value out of range", 12, 2},
      {Replace(good, "\t100\t50\t", "\t" + std::string(300, '1') + "\t50\t"), "value out of range", 12, 2},
      {Replace(good, "Width\t640", "Width\t640.5"), "expecting a whole number", 4, 2},
      {Replace(good, "Aspect Ratio\t1", "Aspect Ratio\t1000"), "value out of range", 6, 2},
      {Replace(good, "Position\r\n", "Wobble\r\n"), "incorrect data", 9, 0},
      {kHead + kOpacity + kPosition + kEnd, "repeated or incorrectly ordered property", 13, 0},
      {Replace(good, "\t15\t100\t50\t", "\t0.00001\t100\t50\t"), "two keyframes at the same time", 12, 1},
      {Replace(good, "\t\t100\t\r\n", "\t\t100\t\r\n\t5\t50\t\r\n"),
       "constant property (no frame specified) can have only one value", 17, 0},
      {Replace(good, "Position\r\n\tFrame\tX pixels\tY pixels\t\r\n\t0\t320\t240\t\r\n\t15\t100\t50\t\r\n",
               "Nonesuch\tRadius\tEffect Parameter #1\t\r\n\tFrame\tvalue\t\r\n\t\t1\t\r\n"),
       "effect Nonesuch could not be found", 9, 0},
      {Replace(good, "Position\r\n\tFrame\tX pixels\tY pixels\t\r\n\t0\t320\t240\t\r\n\t15\t100\t50\t\r\n",
               "Fast Blur\tRadius\tEffect Parameter #99\t\r\n\tFrame\tvalue\t\r\n\t\t1\t\r\n"),
       "incorrect data", 9, 2},
      {masks, "incorrect data", 9 + 4 * 127, 0},
      {kHead + kPosition, "expecting \"End of Keyframe Data\"", 14, 0},
  };
  for (const Case& c : cases) {
    for (const char* eol : {"\r\n", "\n", "\r"}) {
      SCOPED_TRACE(std::string(c.what) + " with line end " + (eol[0] == '\n' ? "LF" : eol[1] ? "CRLF" : "CR"));
      rec.clear();
      BEE_Scrap s = reinterpret_cast<BEE_Scrap>(1);
      EXPECT_EQ(Read(Lf(c.text, eol), &s), BEE_ErrKeyText);
      EXPECT_EQ(s, nullptr);
      ASSERT_EQ(rec.reports.size(), 1u);
      EXPECT_EQ(rec.last().severity, kSevError);
      const std::string want = "invalid clipboard format -- " + std::string(c.what) + " (line " +
                               std::to_string(c.line) + ", near column " + std::to_string(c.column) + ")";
      EXPECT_TRUE(Reported(want)) << rec.last().text;
    }
  }
}

TEST_F(KeyText, TwoMaskSectionsAreTwoMasksAndOtherTextIsNoScrap) {
  const std::string text = kHead + "Mask Feather\r\n\tFrame\tX pixels\tY pixels\t\r\n\t\t1\t2\t\r\n\r\n" +
                           "Mask Feather\r\n\tFrame\tX pixels\tY pixels\t\r\n\t\t3\t4\t\r\n\r\n" + kEnd;
  BEE_Scrap s = nullptr;
  ASSERT_EQ(Read(text, &s), 0);
  std::vector<int32_t> indices;
  ASSERT_EQ(BEE_ForEachScrapStream(
                s,
                [](int32_t index, TDB_Stream, intptr_t ref) {
                  reinterpret_cast<std::vector<int32_t>*>(ref)->push_back(index);
                  return ErrorCode{0};
                },
                reinterpret_cast<intptr_t>(&indices)),
            0);
  EXPECT_EQ(indices, (std::vector<int32_t>{BEE_StreamFirstMask + 1, BEE_StreamFirstMask + 4}));
  BEE_DisposeScrap(s);
  s = reinterpret_cast<BEE_Scrap>(1);
  EXPECT_EQ(Read("just some words\r\n", &s), 0);
  EXPECT_EQ(s, nullptr);
  EXPECT_TRUE(rec.reports.empty());
  // A scrap of layers explains itself.
  BEE_Scrap layers = GOT(BEE_Scrap, BEE_NewScrap);
  ASSERT_EQ(BEE_CopyLayerToScrap(layers, a), 0);
  ASSERT_EQ(BEE_CopyLayerToScrap(layers, b), 0);
  EXPECT_EQ(Text(layers), "Tavelo must have keyframes selected from one layer in order to export them as text.");
  BEE_DisposeScrap(layers);
}

TEST_F(KeyText, MaskPathTravelsAsPostScript) {
  OM_Shape shape = nullptr;
  FixedRect r{0, 0, 20 << 16, 10 << 16};
  ASSERT_EQ(OM_NewShape(3, &r, &shape), 0);  // an oval: four curved sides
  ASSERT_EQ(BEE_CmdAddMask(a, shape, nullptr), 0);
  BEE_Selection sel = GOT(BEE_Selection, BEE_NewSelection);
  BEE_SelDesc d{BEE_SelKindMask, a, 0, 0};
  ASSERT_EQ(BEE_Select(sel, 1, &d, nullptr), 0);
  BEE_Scrap scrap = GOT(BEE_Scrap, BEE_CopyKeysToNewScrap, sel);
  BEE_DisposeSelection(sel);
  const std::string eps = Text(scrap, BEE_PublicPath);
  for (const char* line : {"%%BoundingBox: 0 0 20 10\r\n", "%%HiResBoundingBox: ",
                           "%%DocumentProcSets:Quorral_Vellumor_ProcSet\r\n", "%%EndComments\r\n",
                           "%%BeginProlog\r\n", "%%EndProlog\r\n", "%%BeginSetup\r\n", "%%EndSetup\r\n",
                           "%%Trailer\r\n", "%%EOF\r\n"})
    EXPECT_NE(eps.find(line), std::string::npos) << line;
  // Through the host's public scrap and back.
  platform::PutPublicScrap(BEE_PublicPath, eps);
  std::string held;
  ASSERT_TRUE(platform::GetPublicScrap(BEE_PublicPath, &held));
  BEE_Scrap back = nullptr;
  ASSERT_EQ(Read(held, &back, BEE_PublicPath), 0);
  EXPECT_EQ(Text(back, BEE_PublicPath), eps);
  ASSERT_EQ(BEE_CmdPasteKeyframesIntoStream(b, BEE_StreamFirstMask, back), kErrRange);  // b has no mask
  ASSERT_EQ(BEE_CmdAddMask(b, shape, nullptr), 0);
  ASSERT_EQ(BEE_CmdPasteKeyframesIntoStream(b, BEE_StreamFirstMask, back), 0);
  OM_DisposeShape(shape);
  platform::ClearPublicScrap();
  BEE_DisposeScrap(scrap);
  BEE_DisposeScrap(back);
}

}  // namespace
}  // namespace tv::bee::test
