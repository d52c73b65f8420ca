// Project files: golden bytes, save/open round trips of everything a project
// holds, import, older versions, refused and damaged files, and saves that
// fail at every chunk boundary without touching the file on disk.
#include <sys/stat.h>

#include <set>

#include "BEE_test_support.h"
#include "ByteOrder.h"
#include "FileSizeLimit.h"
#include "WriteFaults.h"
#include "PermissionChecks.h"

namespace tv::bee::test {
namespace {

// Every chunk header's position in a chunked file (recursively).
void ChunkStarts(const std::vector<uint8_t>& b, size_t from, size_t to, std::vector<size_t>& out) {
  while (from + 8 <= to) {
    out.push_back(from);
    const uint32_t id = be::Load<uint32_t>(&b[from]);
    const uint32_t size = be::Load<uint32_t>(&b[from + 4]);
    if (id == MakeFourCC("LIST") || id == MakeFourCC("RIFX")) ChunkStarts(b, from + 12, from + 8 + size, out);
    from += 8 + size + (size & 1);
  }
}
// The position of the first chunk with id (and form type) at or after from.
size_t Find(const std::vector<uint8_t>& b, const char* id, size_t from = 0) {
  std::vector<size_t> starts;
  ChunkStarts(b, 0, b.size(), starts);
  for (size_t s : starts)
    if (s >= from && std::memcmp(&b[s], id, 4) == 0) return s;
  return std::string::npos;
}

class ProjFile : public BeeFixture {
 protected:
  void SetUp() override {
    BeeFixture::SetUp();
    // Effect classes and the shape kind keep what they make on first use
    // until their packages die: made (through a save and an open) before
    // the counts are taken again.
    Warm([&] {
      BEE_Layer l = NewSolidLayer(NewComp("warm"));
      ASSERT_EQ(BEE_CmdApplyEffect(l, Class(FLT_MatchLevels), nullptr), 0);
      ASSERT_EQ(BEE_CmdApplyEffect(l, Class(FLT_MatchInvert), nullptr), 0);
      AddShapeMask(l, OM_TypeOval, FixedRect{0, 0, 10 << 16, 20 << 16});
      ASSERT_EQ(BEE_CmdSaveProject(Spec("warm.tvp"), 0, 0), 0);
      ASSERT_EQ(BEE_CmdOpenProject(Spec("warm.tvp"), 1, nullptr), 0);
      unlink(dir.P("warm.tvp").c_str());
    });
  }
  // What the dump leaves out: masks and effects of every layer.
  std::string Extras() {
    std::string out;
    BEE_Item it = GOT(BEE_Item, BEE_GetNextItem, nullptr);
    for (; it; BEE_GetNextItem(it, &it)) {
      int16_t kind = GOT(int16_t, BEE_GetItemKind, it);
      if (kind == BEE_KindFootage) {
        BEE_FootageDesc d = GOT(BEE_FootageDesc, BEE_GetFootageDesc, it);
        out += fmt::Format("footage %s %s %ux%u %ld/%lu\n", {d.name, d.formatName, d.width, d.height,
                                                             d.duration.value, d.duration.scale});
      }
      if (kind != BEE_KindComp) continue;
      int32_t n = GOT(int32_t, BEE_GetCompNumLayers, it);
      for (int32_t i = 0; i < n; ++i) {
        BEE_Layer l = GOT(BEE_Layer, BEE_GetIndLayer, it, i);
        int32_t masks = GOT(int32_t, BEE_GetLayerNumMasks, l);
        for (int32_t m = 0; m < masks; ++m) {
          BEE_MaskInfo info = GOT(BEE_MaskInfo, BEE_GetMaskInfo, l, m);
          out += fmt::Format("mask %s %lu %ld %ld %lu\n", {info.name, info.mode, info.invert, info.locked, info.id});
        }
        Handle parade = nullptr;
        int32_t effects = GOT(int32_t, BEE_InqLayerEffectSeq, l, &parade);
        for (int32_t e = 0; e < effects; ++e) {
          FLT_Sequence s = GOT(FLT_Sequence, FLT_GetParadeSeq, parade, e);
          char name[48] = "";
          FLT_SeqInqName(s, name);
          uint32_t flags = GOT(uint32_t, FLT_InqParadeSeqFlags, parade, e);
          out += fmt::Format("effect %s %lX\n", {name, flags});
        }
      }
    }
    return out;
  }
  std::string State() { return Dump() + Extras(); }

  // A project with every kind of item, layer setting, mask, effect,
  // keyframe kind and guide.
  void BuildFullProject() {
    BEE_Item folder = nullptr, inner = nullptr;
    ASSERT_EQ(BEE_CmdNewFolder(nullptr, "Folder", &folder), 0);
    ASSERT_EQ(BEE_CmdNewFolder(folder, "Inner", &inner), 0);
    BEE_Item pre = NewComp("Pre", inner);
    BEE_Item main = NewComp("Main");
    BEE_FootageDesc d = Footage("clip.mov", 320, 240, Time{90, 30});
    std::strcpy(d.formatName, "Movie");
    BEE_Item footage = GOT(BEE_Item, BEEp_MakeFootageItem, folder, &d);
    BEE_Layer solid = NewSolidLayer(main, "Blue");
    BEE_Layer nested = GOT(BEE_Layer, BEE_CmdNewLayer, main, pre);
    BEE_Layer clip = GOT(BEE_Layer, BEE_CmdNewLayer, main, footage);
    NewSolidLayer(pre, "Inside");
    // Item settings.
    ASSERT_EQ(BEE_CmdSetItemComment(main, "odd"), 0);
    ASSERT_EQ(BEE_CmdSetItemComment(folder, "even"), 0);
    ASSERT_EQ(BEE_CmdSetItemLabel(pre, 5), 0);
    const BEE_RulerOrigin origin{12.5, -3.25};
    ASSERT_EQ(BEE_CmdSetItemOrigin(main, &origin), 0);
    ASSERT_EQ(BEE_CmdAddGuide(main, BEE_Guide{40, {1, 2, 3}, 0}), 0);
    ASSERT_EQ(BEE_CmdAddGuide(main, BEE_Guide{-7, {0, 9, 0}, 0}), 0);
    ASSERT_EQ(BEE_CmdAddGuide(footage, BEE_Guide{3, {1, 0, 0}, 0}), 0);
    ASSERT_EQ(BEE_CmdSetBackgroundColor(main, 0xFF102030), 0);
    ASSERT_EQ(BEE_CmdSetCompSwitch(main, BEE_CompSwitchMotionBlur, 1), 0);
    ASSERT_EQ(BEE_CmdSetResolution(main, 2, 2), 0);
    // Layer settings and switches.
    ASSERT_EQ(BEE_CmdSetLayerLabel(solid, 3), 0);
    ASSERT_EQ(BEE_CmdSetLayerComment(solid, "layer note"), 0);
    ASSERT_EQ(BEE_CmdSetLayerOrigin(solid, &origin), 0);
    ASSERT_EQ(BEE_CmdSetLayerQuality(nested, BEE_QualityDraft), 0);
    ASSERT_EQ(BEE_CmdSetTransfer(nested, 4, BEE_TransferKeepAlpha, BEE_MatteLuma), 0);
    ASSERT_EQ(BEE_CmdSetLayerStretch(clip, Ratio{2, 1}), 0);
    ASSERT_EQ(BEE_CmdSetLayerSwitch(solid, BEE_SwitchMotionBlur, 1), 0);
    ASSERT_EQ(BEE_CmdSetLayerSwitch(clip, BEE_SwitchVideo, 0), 0);
    ASSERT_EQ(BEE_CmdSetLayerTimes(clip, Time{30, 600}, Time{60, 600}, Time{1200, 600}), 0);
    // Keyframes: linear, bezier and hold, spatial and not.
    TDB_Stream pos = KeyableCopy(solid, BEE_StreamPosition);
    const double p1[2] = {10, 20}, p2[2] = {300.5, -4}, p3[2] = {1e-9, 7};
    const Time t1{0, 30}, t2{15, 30}, t3{45, 30};
    ASSERT_EQ(TDB_InsertKeyF(pos, &t1, 0, 1, p1, TDB_InterpLinear, TDB_InterpBezier), 0);
    ASSERT_EQ(TDB_InsertKeyF(pos, &t2, 0, 1, p2, TDB_InterpBezier, TDB_InterpHold), 0);
    ASSERT_EQ(TDB_InsertKeyF(pos, &t3, 0, 1, p3, TDB_InterpHold, TDB_InterpLinear), 0);
    ASSERT_EQ(BEE_CmdSetStreamKeys(solid, BEE_StreamPosition, pos), 0);
    TDB_Stream rot = KeyableCopy(nested, BEE_StreamRotation);
    const double r1[1] = {0}, r2[1] = {-720.25};
    ASSERT_EQ(TDB_InsertKeyF(rot, &t1, 0, 1, r1, TDB_InterpBezier, TDB_InterpBezier), 0);
    ASSERT_EQ(TDB_InsertKeyF(rot, &t3, 0, 1, r2, TDB_InterpLinear, TDB_InterpLinear), 0);
    ASSERT_EQ(BEE_CmdSetStreamKeys(nested, BEE_StreamRotation, rot), 0);
    // Effects and masks.
    int32_t index = GOT(int32_t, BEE_CmdApplyEffect, solid, Class(FLT_MatchLevels));
    ASSERT_EQ(BEE_CmdApplyEffect(solid, Class(FLT_MatchInvert), &index), 0);
    ASSERT_EQ(BEE_CmdSetEffectEnabled(solid, 1, 0), 0);
    ASSERT_EQ(BEE_CmdRenameEffect(solid, 0, "Tone"), 0);
    const FixedRect b{0, 0, 10 << 16, 20 << 16};
    OM_Shape shape = GOT(OM_Shape, OM_NewShape, OM_TypeOval, &b);
    ASSERT_EQ(BEE_CmdAddMask(solid, shape, &index), 0);
    ASSERT_EQ(BEE_CmdAddMask(solid, shape, &index), 0);
    OM_DisposeShape(shape);
    intptr_t words[2] = {reinterpret_cast<intptr_t>(solid), BEE_PackMaskValue(1, 3)};
    ASSERT_EQ(BEE_DoCommand(BEE_CmdNumMaskMode, words), 0);
    words[1] = BEE_PackMaskValue(0, 1);
    ASSERT_EQ(BEE_DoCommand(BEE_CmdNumMaskInvert, words), 0);
    ASSERT_EQ(BEE_DoCommand(BEE_CmdNumMaskLock, words), 0);
  }
};

// ---- Golden bytes ----

TEST_F(ProjFile, EmptyProjectWithOneFolderHasTheseBytes) {
  BEE_Item folder = GOT(BEE_Item, BEE_CmdNewFolder, nullptr, "F");
  ASSERT_EQ(BEE_CmdSaveProject(Spec("g.tvp"), 0x11223344, 0x55667788), 0);
  uint32_t id = 0, next = 0, stamp = 0;
  BEE_GetItemID(folder, &id);
  BEE_Item probe = nullptr;
  ASSERT_EQ(BEE_CmdNewFolder(nullptr, "probe", &probe), 0);
  BEE_GetItemID(probe, &next);
  ASSERT_EQ(BEE_FreshTimeStamp(&stamp), 0);

  be::Writer w;
  auto chunk = [&](const char* cid, uint32_t size) {
    w.WriteBytes(std::span(reinterpret_cast<const uint8_t*>(cid), 4));
    w.Write<uint32_t>(size);
  };
  // RIFX "Egg!": form 4 + head 28 + nhed 16 + Fold (12 + fdta 22 + Item (12 + idta 92 + sfdt 12 + Sfdr 12))
  const uint32_t item = 4 + 92 + 12 + 12, fold = 4 + 22 + 8 + item;
  chunk("RIFX", 4 + 28 + 16 + 8 + fold);
  w.WriteBytes(std::span(reinterpret_cast<const uint8_t*>("Egg!"), 4));
  chunk("head", 20);
  w.Write<uint16_t>(22);
  w.Write<uint16_t>(1);
  w.Write<uint32_t>(0x11223344);
  w.Write<uint32_t>(0x55667788);
  w.Write<uint32_t>(next - 1);  // the counter before the probe took its ID
  w.Write<uint32_t>(stamp - 2); // the probe and the fresh stamp came after
  chunk("nhed", 8);
  w.WriteZeros(8);
  chunk("LIST", fold);
  w.WriteBytes(std::span(reinterpret_cast<const uint8_t*>("Fold"), 4));
  chunk("fdta", 14);
  w.WriteZeros(14);
  chunk("LIST", item);
  w.WriteBytes(std::span(reinterpret_cast<const uint8_t*>("Item"), 4));
  chunk("idta", 84);
  w.Write<uint16_t>(BEE_KindFolder);
  w.WriteZeros(14);
  w.Write<uint32_t>(id);
  w.Write<uint32_t>(0);
  w.WriteFixedString("F", 32);
  w.WriteZeros(4 + 16 + 8);
  chunk("sfdt", 4);
  w.WriteZeros(4);
  chunk("LIST", 4);
  w.WriteBytes(std::span(reinterpret_cast<const uint8_t*>("Sfdr"), 4));
  const std::vector<uint8_t> file = ReadBytes(dir.P("g.tvp"));
  // The stamp counter is read back from the file (it moves with every change).
  ASSERT_GE(file.size(), 36u);
  std::vector<uint8_t> want = w.bytes();
  std::memcpy(&want[32], &file[32], 4);
  EXPECT_EQ(file, want);
}

// ---- Round trips ----

TEST_F(ProjFile, SaveAndOpenKeepEverything) {
  BuildFullProject();
  const std::string before = State();
  ASSERT_EQ(BEE_CmdSaveProject(Spec("full.tvp"), 1, 2), 0);
  ASSERT_EQ(BEE_NewProject(), 0);
  Boolean32 converted = 7;
  ASSERT_EQ(BEE_CmdOpenProject(Spec("full.tvp"), 1, &converted), 0);
  EXPECT_EQ(converted, 0);
  EXPECT_EQ(State(), before);
  EXPECT_FALSE(Dirty());
  char path[512] = "";
  ASSERT_EQ(BEE_GetProjectPath(path, sizeof path), 0);
  EXPECT_EQ(std::string(path), dir.P("full.tvp"));
  EXPECT_TRUE(rec.reports.empty()) << rec.last().text;
}

TEST_F(ProjFile, SolidsLiveInsideTheirLayerWithSourceZero) {
  BEE_Item comp = NewComp("C");
  NewSolidLayer(comp, "S");
  ASSERT_EQ(BEE_CmdSaveProject(Spec("s.tvp"), 0, 0), 0);
  const std::vector<uint8_t> b = ReadBytes(dir.P("s.tvp"));
  const size_t ldta = Find(b, "ldta");
  ASSERT_NE(ldta, std::string::npos);
  EXPECT_EQ(be::Load<uint32_t>(&b[ldta + 8 + 40]), 0u);
  EXPECT_EQ(b[ldta + 8 + 59], 1);
  // The next chunk is the solid's item, whose record says kind 6.
  const size_t idta = Find(b, "idta", ldta);
  ASSERT_NE(idta, std::string::npos);
  EXPECT_EQ(be::Load<uint16_t>(&b[idta + 8]), BEE_KindSolid);
  EXPECT_LT(idta, Find(b, "crdt", ldta));
}

TEST_F(ProjFile, SaveAsMovesThePathAndSaveWithoutFileNeedsOne) {
  NewComp("C");
  EXPECT_EQ(BEE_CmdSaveProject(nullptr, 0, 0), kErrBadParam);
  EXPECT_TRUE(Reported("the project has no file yet"));
  ASSERT_EQ(BEE_CmdSaveProject(Spec("a.tvp"), 0, 0), 0);
  ASSERT_EQ(BEE_CmdSaveProject(Spec("b.tvp"), 0, 0), 0);
  char path[512] = "";
  BEE_GetProjectPath(path, sizeof path);
  EXPECT_EQ(std::string(path), dir.P("b.tvp"));
  NewComp("D");
  EXPECT_TRUE(Dirty());
  ASSERT_EQ(BEE_CmdSaveProject(nullptr, 0, 0), 0);
  EXPECT_FALSE(Dirty());
  EXPECT_NE(ReadBytes(dir.P("a.tvp")), ReadBytes(dir.P("b.tvp")));
  ASSERT_EQ(BEE_NewProject(), 0);
  BEE_GetProjectPath(path, sizeof path);
  EXPECT_STREQ(path, "");
}

// ---- Versions ----

TEST_F(ProjFile, VersionGates) {
  NewComp("C");
  const std::string before = State();
  ASSERT_EQ(BEE_CmdSaveProject(Spec("v.tvp"), 0, 0), 0);
  std::vector<uint8_t> b = ReadBytes(dir.P("v.tvp"));
  const size_t head = Find(b, "head");
  struct Case {
    uint16_t version;
    ErrorCode code;
    const char* text;
  };
  const Case cases[] = {
      {23, kErrDocVersion, "this file was created with a newer version of Tavelo -- time to upgrade your application!"},
      {0xFFFF, kErrDocVersion, "newer version"},
      {10, kErrDocVersion,
       "this file was created with an older version of Tavelo, and can't be opened. You can convert this file using "
       "the MacOS version of Tavelo."},
  };
  for (const Case& c : cases) {
    rec.clear();
    be::Store<uint16_t>(&b[head + 8], c.version);
    WriteBytes(dir.P("x.tvp"), b);
    EXPECT_EQ(BEE_CmdImportProject(Spec("x.tvp"), nullptr), c.code) << c.version;
    EXPECT_TRUE(Reported(c.text)) << c.version;
  }
  EXPECT_EQ(State(), before);
  rec.clear();
  WriteBytes(dir.P("x.tvp"), {'R', 'I', 'F', 'F', 0, 0, 0, 4, 'E', 'g', 'g', '!'});
  EXPECT_EQ(BEE_CmdOpenProject(Spec("x.tvp"), 0, nullptr), BEE_ErrProjectFile);
  EXPECT_TRUE(Reported("not a valid Project file."));
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.reports[0].location, 0x1A00004Au);
  EXPECT_EQ(rec.reports[0].severity, kSevError);
}

// Older versions written by our writer with the record sizes of their time.
TEST_F(ProjFile, OlderVersionsAreConverted) {
  BuildFullProject();
  ASSERT_EQ(BEE_SetProjectSortingMode(2), 0);
  const std::string current = State();
  struct Case {
    uint16_t version;
    bool keepsLabel, keepsOrigin, keepsSort, keepsStretch;
  };
  const Case cases[] = {{22, true, true, true, true},
                        {21, true, true, true, true},
                        {19, true, false, false, true},
                        {15, false, false, false, false},
                        {11, false, false, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    ASSERT_EQ(BEEp_SaveProjectVersion(Spec("old.tvp"), c.version), 0);
    rec.clear();
    Boolean32 converted = 7;
    ASSERT_EQ(BEE_CmdOpenProject(Spec("old.tvp"), 1, &converted), 0);
    EXPECT_EQ(converted, c.version < 22 ? 1 : 0);
    char path[512] = "x";
    BEE_GetProjectPath(path, sizeof path);
    EXPECT_EQ(std::string(path), c.version < 22 ? "" : dir.P("old.tvp"));
    EXPECT_EQ(Reported("this project must be converted from an earlier version and will open as \"Untitled\"."),
              c.version < 22);
    BEE_Item main = GOT(BEE_Item, BEE_FindItem, Root(), "Main", BEE_KindComp);
    BEE_Layer solid = GOT(BEE_Layer, BEE_GetIndLayer, main, 2);
    BEE_Layer clip = GOT(BEE_Layer, BEE_GetIndLayer, main, 0);
    EXPECT_EQ(GOT(int8_t, BEE_GetLayerLabel, solid), c.keepsLabel ? 3 : -1);
    EXPECT_EQ(GOT(BEE_RulerOrigin, BEE_GetLayerOrigin, solid).h, c.keepsOrigin ? 12.5 : 0.0);
    int32_t sort = -1;
    BEE_GetProjectSortingMode(&sort);
    EXPECT_EQ(sort, c.keepsSort ? 2 : 0);
    Ratio stretch{};
    Time unused{};
    BEE_GetLayerTime(clip, BEE_LayerTimeStretch, &unused, &stretch);
    EXPECT_EQ(stretch.den, c.keepsStretch ? 1u : 65536u);
    if (c.version == 22) { EXPECT_EQ(State(), current); }
  }
  // Importing an older file says so in its own words.
  ASSERT_EQ(BEEp_SaveProjectVersion(Spec("old.tvp"), 20), 0);
  rec.clear();
  ASSERT_EQ(BEE_CmdImportProject(Spec("old.tvp"), nullptr), 0);
  EXPECT_TRUE(Reported("importing project created with an earlier version.  You should experience no discomfort."));
}

// ---- Damaged files ----

TEST_F(ProjFile, DamagedFilesAreRefusedAndTheProjectStays) {
  BuildFullProject();
  ASSERT_EQ(BEE_CmdSaveProject(Spec("d.tvp"), 0, 0), 0);
  const std::vector<uint8_t> good = ReadBytes(dir.P("d.tvp"));
  const std::string before = State();
  const auto counts = LiveCounts();
  struct Case {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> damage;
    const char* text;
  };
  auto field = [&](const char* id, size_t offset) { return Find(good, id) + 8 + offset; };
  size_t sourced = 0;  // a layer record with a source item
  for (size_t at = Find(good, "ldta"); at != std::string::npos; at = Find(good, "ldta", at + 1))
    if (be::Load<uint32_t>(&good[at + 8 + 40]) != 0) sourced = at;
  ASSERT_NE(sourced, 0u);
  const Case cases[] = {
      {"stretch denominator 0", [&](auto& b) { be::Store<uint32_t>(&b[field("ldta", 108)], 0); },
       "stretch in RIFX:Egg!/LIST:Fold/LIST:Item/LIST:Sfdr/LIST:Item/LIST:Sfdr/LIST:Item/LIST:Layr/ldta"},
      {"quality 9", [&](auto& b) { be::Store<uint16_t>(&b[field("ldta", 4)], 9); }, "quality in"},
      {"frame scale 0", [&](auto& b) { be::Store<uint32_t>(&b[field("cdta", 8)], 0); }, "frame duration in"},
      // Values a command refuses: the file is refused as well.
      {"transfer mode 258", [&](auto& b) { be::Store<uint32_t>(&b[field("ldta", 96)], 258); }, "transfer mode in"},
      {"a frame of 7.6 us at 30 fps",
       [&](auto& b) { b[field("cdta", 8)] ^= 0x01; },  // scale 3840 + 2^24
       "frame duration in"},
      {"mask mode 0", [&](auto& b) { be::Store<uint32_t>(&b[field("mkdt", 4)], 0); }, "mask mode in"},
      {"in point after out point", [&](auto& b) { be::Store<int32_t>(&b[field("ldta", 20)], 0x7FFFFFFF); },
       "layer times in"},
      {"unknown kind", [&](auto& b) { be::Store<uint16_t>(&b[field("idta", 0)], 2); }, "unexpected item kind"},
      {"duplicate id",
       [&](auto& b) {
         const size_t second = Find(good, "idta", Find(good, "idta") + 1);
         std::memcpy(&b[second + 24], &b[field("idta", 16)], 4);
       },
       "bad or repeated ID"},
      {"unknown source", [&](auto& b) { be::Store<uint32_t>(&b[sourced + 8 + 40], 0x7FFF0000); },
       "unknown layer source"},
      {"comment flag without comment", [&](auto& b) { b[Find(good, "ldta") + 8 + 60] = 1; }, "missing comment"},
      {"short cdta", [&](auto& b) { be::Store<uint32_t>(&b[Find(good, "cdta") + 4], 100); }, ""},
      {"truncated", [&](auto& b) { b.resize(b.size() / 2); }, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> b = good;
    c.damage(b);
    WriteBytes(dir.P("bad.tvp"), b);
    rec.clear();
    const ErrorCode err = BEE_CmdOpenProject(Spec("bad.tvp"), 1, nullptr);
    EXPECT_NE(err, 0);
    EXPECT_EQ(rec.reports.size(), 1u);
    if (*c.text) { EXPECT_TRUE(Reported(c.text)) << (rec.reports.empty() ? "" : rec.last().text); }
    EXPECT_EQ(BEE_CmdImportProject(Spec("bad.tvp"), nullptr), err);
    EXPECT_EQ(State(), before);
    EXPECT_EQ(LiveCounts(), counts);
  }
}

// Memory running out at every step of an open in turn: each failure says so
// (not "strange data", nor a command's "invalid keyframes": the keyframe
// checks once took a failed allocation for bad keys) and leaves the open project as it was (the last step, the
// new root, once came after the old project had been closed).
TEST_F(ProjFile, AnOpenOutOfMemoryAtAnyStepLeavesTheProjectAndSaysSo) {
  BuildFullProject();
  ASSERT_EQ(BEE_CmdSaveProject(Spec("m.tvp"), 0, 0), 0);
  const std::string before = State();
  const auto counts = LiveCounts();
  int failed = 0;
  for (int64_t n = 0; n < 20000; ++n) {
    FILE_SpecH file = Spec("m.tvp");
    rec.clear();
    EMUL_FailAllocationsAfter(n);
    const ErrorCode err = BEE_CmdOpenProject(file, 1, nullptr);
    EMUL_StopAllocationFailures();
    if (!err) break;
    ++failed;
    ASSERT_TRUE(err == kErrOutOfMemory || err == kSysMemFull) << "after " << n << ": " << err << " "
                                                               << (rec.reports.empty() ? "" : rec.last().text);
    ASSERT_EQ(State(), before) << "after " << n;
    ASSERT_EQ(LiveCounts(), counts) << "after " << n;
  }
  EXPECT_GT(failed, 50);
  EXPECT_EQ(State(), before);
  // The keys a command is given are checked the same way.
  BEE_Layer solid = nullptr;
  BEE_Item main = nullptr;
  ASSERT_EQ(BEE_FindItem(nullptr, "Main", BEE_KindComp, &main), 0);
  ASSERT_EQ(BEE_GetIndLayer(main, 2, &solid), 0);
  TDB_Stream pos = nullptr;
  BEE_StreamRef ref{solid, BEE_StreamPosition};
  ASSERT_EQ(TDB_DuplicateStream(GOT(TDB_Stream, BEE_StreamLookup, &ref), &pos), 0);
  for (int64_t n = 0;; ++n) {
    rec.clear();
    EMUL_FailAllocationsAfter(n);
    const ErrorCode err = BEE_CmdSetStreamKeys(solid, BEE_StreamPosition, pos);
    EMUL_StopAllocationFailures();
    if (!err) break;
    ASSERT_TRUE(err == kErrOutOfMemory || err == kSysMemFull) << "after " << n << ": " << err << " "
                                                               << (rec.reports.empty() ? "" : rec.last().text);
    ASSERT_EQ(State(), before) << "after " << n;
  }
}

TEST_F(ProjFile, ACompositionThatContainsItselfIsRefused) {
  BEE_Item a = NewComp("A"), b = NewComp("B");
  GOT(BEE_Layer, BEE_CmdNewLayer, a, b);
  // A second layer in B pointing at A would close the loop: patch B's layer.
  BEE_FootageDesc d = Footage("f", 10, 10, Time{1, 1});
  GOT(BEE_Layer, BEE_CmdNewLayer, b, GOT(BEE_Item, BEEp_MakeFootageItem, nullptr, &d));
  ASSERT_EQ(BEE_CmdSaveProject(Spec("c.tvp"), 0, 0), 0);
  const uint32_t idA = GOT(uint32_t, BEE_GetItemID, a);
  std::vector<uint8_t> bytes = ReadBytes(dir.P("c.tvp"));
  const size_t second = Find(bytes, "ldta", Find(bytes, "ldta") + 1);
  ASSERT_NE(second, std::string::npos);
  be::Store<uint32_t>(&bytes[second + 8 + 40], idA);
  WriteBytes(dir.P("c.tvp"), bytes);
  rec.clear();
  EXPECT_EQ(BEE_CmdOpenProject(Spec("c.tvp"), 1, nullptr), BEE_ErrProjectFile);
  EXPECT_TRUE(Reported("a composition that contains itself"));
}

TEST_F(ProjFile, FoldersNestedTooDeepAreRefused) {
  BEE_Item folder = nullptr;
  for (int i = 0; i < 258; ++i) ASSERT_EQ(BEE_CmdNewFolder(folder, "f", &folder), 0);
  ASSERT_EQ(BEE_CmdSaveProject(Spec("deep.tvp"), 0, 0), 0);
  rec.clear();
  EXPECT_EQ(BEE_CmdImportProject(Spec("deep.tvp"), nullptr), BEE_ErrProjectFile);
  EXPECT_TRUE(Reported("folders nested too deep"));
}

// ---- Saving ----

TEST_F(ProjFile, AFailedSaveLeavesTheOldFileAtEveryChunkBoundary) {
  BuildFullProject();
  ASSERT_EQ(BEE_CmdSaveProject(Spec("p.tvp"), 0, 0), 0);
  const std::vector<uint8_t> old = ReadBytes(dir.P("p.tvp"));
  NewComp("More");
  ASSERT_EQ(BEE_CmdSaveProject(Spec("n.tvp"), 0, 0), 0);
  const std::vector<uint8_t> bigger = ReadBytes(dir.P("n.tvp"));
  unlink(dir.P("n.tvp").c_str());
  std::vector<size_t> starts;
  ChunkStarts(bigger, 0, bigger.size(), starts);
  starts.push_back(bigger.size() - 1);
  const std::vector<std::string> files = Entries(dir.path());
  const int64_t ptrsBefore = EMUL_LivePtrCount();
  int64_t ptrsAfterFirst = 0;
  for (size_t limit : starts) {
    {
      tv::test::FileSizeLimit cap(limit);
      ASSERT_TRUE(cap.active());
      EXPECT_NE(BEE_CmdSaveProject(Spec("p.tvp"), 0, 0), 0) << limit;
    }
    ASSERT_EQ(ReadBytes(dir.P("p.tvp")), old) << limit;
    // The first failure of a write makes the report path's lasting blocks;
    // after that no failure may leave anything behind.
    if (limit == starts.front()) ptrsAfterFirst = EMUL_LivePtrCount();
    ASSERT_EQ(EMUL_LivePtrCount(), ptrsAfterFirst) << limit;
    ASSERT_EQ(Entries(dir.path()), files) << limit;
  }
  ASSERT_EQ(BEE_CmdSaveProject(Spec("p.tvp"), 0, 0), 0);
  EXPECT_EQ(ReadBytes(dir.P("p.tvp")).size(), bigger.size());
  livePtrs_ += ptrsAfterFirst - ptrsBefore;
}

TEST_F(ProjFile, SavingOverALockedFileFailsBeforeWriting) {
  NewComp("C");
  ASSERT_EQ(BEE_CmdSaveProject(Spec("l.tvp"), 0, 0), 0);
  const std::vector<uint8_t> old = ReadBytes(dir.P("l.tvp"));
  NewComp("D");
  chmod(dir.P("l.tvp").c_str(), 0444);
  tv::test::PermissionChecks checked;
  rec.clear();
  EXPECT_EQ(BEE_CmdSaveProject(Spec("l.tvp"), 0, 0), 787);
  EXPECT_TRUE(Reported("File \"l.tvp\" is locked. Please save file under different name."));
  EXPECT_EQ(rec.last().location, 0x1A000012u);
  EXPECT_EQ(ReadBytes(dir.P("l.tvp")), old);
}

// The host hears the save's progress and adds a chunk that it gets back on opening.
TEST_F(ProjFile, HostChunksComeBack) {
  NewComp("C");
  NewComp("D");
  struct Host {
    std::vector<double> fractions;
    std::string read;
  } host;
  auto callback = [](intptr_t refcon, int32_t selector, void* data) -> ErrorCode {
    auto* h = reinterpret_cast<Host*>(refcon);
    if (selector == BEE_SelSaveFraction) h->fractions.push_back(*static_cast<double*>(data));
    auto* note = static_cast<BEE_FileChunkNote*>(data);
    if (selector == BEE_SelSaveChunks) return SLU_WriteAtom(note->file, MakeFourCC("host"), 3, "abc");
    if (selector == BEE_SelOpenChunks) {
      char buf[8] = "";
      if (ErrorCode err = SLU_ReadAtom(note->file, MakeFourCC("host"), note->chunk, sizeof buf, buf)) return err;
      h->read = buf;
    }
    return 0;
  };
  ASSERT_EQ(BEE_SetCallbackFunc(callback, reinterpret_cast<intptr_t>(&host)), 0);
  ASSERT_EQ(BEE_CmdSaveProject(Spec("h.tvp"), 0, 0), 0);
  EXPECT_EQ(host.fractions, (std::vector<double>{0.5, 1.0}));
  ASSERT_EQ(BEE_CmdOpenProject(Spec("h.tvp"), 1, nullptr), 0);
  EXPECT_EQ(host.read, "abc");
  BEE_SetCallbackFunc(nullptr, 0);
}


// Effects whose classes are not installed: kept or removed, and listed once.
TEST_F(ProjFile, MissingEffectsAreKeptOrRemovedAndListedOnce) {
  BEE_Item comp = NewComp("C");
  int32_t index = 0;
  for (const char* name : {"A", "B"}) {
    BEE_Layer l = NewSolidLayer(comp, name);
    ASSERT_EQ(BEE_CmdApplyEffect(l, Class(FLT_MatchLevels), &index), 0);
    ASSERT_EQ(BEE_CmdApplyEffect(l, Class(FLT_MatchInvert), &index), 0);
  }
  ASSERT_EQ(BEE_CmdSaveProject(Spec("m.tvp"), 0, 0), 0);
  std::vector<uint8_t> b = ReadBytes(dir.P("m.tvp"));
  // Every stored "TVLO Levels" becomes the name of a class nobody has.
  const std::string from = FLT_MatchLevels, to = "TVLO Levelz";
  for (size_t i = 0; i + from.size() <= b.size(); ++i)
    if (std::memcmp(&b[i], from.data(), from.size()) == 0) std::memcpy(&b[i], to.data(), to.size());
  WriteBytes(dir.P("m.tvp"), b);
  struct Case {
    Boolean32 keep;
    int32_t effects;
    const char* text;
  };
  const Case cases[] = {{1, 2, "2 effect references are missing. ("}, {0, 1, "2 effect references have been removed because some effects used by this project are missing. ("}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keep);
    rec.clear();
    ASSERT_EQ(BEE_CmdOpenProject(Spec("m.tvp"), c.keep, nullptr), 0);
    ASSERT_EQ(rec.reports.size(), 1u);
    EXPECT_TRUE(Reported(c.text)) << rec.last().text;
    EXPECT_EQ(rec.last().severity, kSevWarning);
    // The missing name is listed once although two layers use it.
    const std::string& text = rec.last().text;
    const size_t open = text.find('(');
    ASSERT_NE(open, std::string::npos);
    EXPECT_EQ(text.find(',', open), std::string::npos) << text;
    BEE_Item opened = GOT(BEE_Item, BEE_FindItem, Root(), "C", BEE_KindComp);
    BEE_Layer l = GOT(BEE_Layer, BEE_GetIndLayer, opened, 0);
    Handle parade = nullptr;
    EXPECT_EQ(GOT(int32_t, BEE_InqLayerEffectSeq, l, &parade), c.effects);
  }
  // Kept effects are written back unchanged.
  ASSERT_EQ(BEE_CmdOpenProject(Spec("m.tvp"), 1, nullptr), 0);
  ASSERT_EQ(BEE_CmdSaveProject(Spec("m2.tvp"), 0, 0), 0);
  EXPECT_EQ(ReadBytes(dir.P("m2.tvp")).size(), b.size());
}

}  // namespace
}  // namespace tv::bee::test
