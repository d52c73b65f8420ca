// Collapsing, task records, groups left open, failures during undo and
// redo, preferences, and a seeded random sequence of commands checked
// against snapshots of the model.
#include <random>

#include "BEE_test_support.h"
#include "Platform.h"

namespace tv::bee::test {
namespace {

// Task records for tests: each run counts, each disposal counts, and a run
// can be made to fail.
struct TaskLog {
  int runs = 0;
  int disposes = 0;
  int failAtRun = -1;  // the run number that fails
  bool noInverse = false;
  BEE_Item comp = nullptr;  // when set, each run also issues a time change
};
TaskLog gLog;

void DisposeTask(BEE_CmdRec* rec) {
  if (rec->param1) {
    delete reinterpret_cast<BEE_TaskBlock*>(rec->param1);
    ++gLog.disposes;
  }
  rec->param1 = 0;
}

ErrorCode RunTask(BEE_CmdRec* rec, BEE_CmdRec* inv, const BEE_CmdRec*, uint8_t*) {
  if (gLog.runs == gLog.failAtRun) {
    ++gLog.runs;
    return kErrBadParam;
  }
  ++gLog.runs;
  if (gLog.comp) {
    // A collapsible command inside an operation is carried out, not recorded.
    intptr_t p[2] = {reinterpret_cast<intptr_t>(gLog.comp), BEE_PackTime(Time{gLog.runs, 1})};
    if (ErrorCode err = BEE_DoCommand(BEE_CmdNumTimeChange, p)) return err;
  }
  if (gLog.noInverse) return 0;
  const auto* block = reinterpret_cast<const BEE_TaskBlock*>(rec->param1);
  inv->flags |= BEE_RecTask;
  inv->param1 = reinterpret_cast<intptr_t>(new BEE_TaskBlock(*block));
  inv->operation = &RunTask;
  inv->dispose = &DisposeTask;
  return 0;
}

ErrorCode Task(const char* name) {
  BEE_TaskBlock block{&RunTask, {}};
  std::strncpy(block.name, name, sizeof block.name - 1);
  intptr_t p[2] = {reinterpret_cast<intptr_t>(&block), 0};
  return BEE_DoCommand(BEE_CmdNumTask, p);
}

class Undo : public BeeFixture {
 protected:
  void SetUp() override {
    BeeFixture::SetUp();
    gLog = TaskLog{};
    comp = NewComp("Main");
    layer = NewSolidLayer(comp, "L");
    BEE_ClearUndoRedo();
    rec.clear();
  }
  void TearDown() override {
    BeeFixture::TearDown();
    gLog = TaskLog{};
  }
  int UndoGroups() { return Stacks()[1]; }

  BEE_Item comp = nullptr;
  BEE_Layer layer = nullptr;
};

TEST_F(Undo, SuccessiveTimeChangesCollapseIntoOneStep) {
  ASSERT_EQ(BEE_CmdSeekItemToTime(comp, Time{1, 1}), 0);
  ASSERT_EQ(BEE_CmdSeekItemToTime(comp, Time{2, 1}), 0);
  ASSERT_EQ(BEE_CmdSeekItemToTime(comp, Time{3, 1}), 0);
  EXPECT_EQ(UndoGroups(), 1);
  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_EQ(Now(comp).value, 0);
  // Another target does not collapse.
  BEE_Item other = NewComp("Other");
  BEE_ClearUndoRedo();
  ASSERT_EQ(BEE_CmdSeekItemToTime(comp, Time{1, 1}), 0);
  ASSERT_EQ(BEE_CmdSeekItemToTime(other, Time{1, 1}), 0);
  EXPECT_EQ(UndoGroups(), 2);
  // After the inhibit the next command stands alone; the one after it collapses.
  BEE_ClearUndoRedo();
  ASSERT_EQ(BEE_CmdSeekItemToTime(comp, Time{1, 1}), 0);
  ASSERT_EQ(BEE_InhibitCollapsingForNextCmd(), 0);
  ASSERT_EQ(BEE_CmdSeekItemToTime(comp, Time{2, 1}), 0);
  ASSERT_EQ(BEE_CmdSeekItemToTime(comp, Time{3, 1}), 0);
  EXPECT_EQ(UndoGroups(), 2);
  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_EQ(t::Compare(Now(comp), Time{1, 1}), 0);
}

TEST_F(Undo, CollapsibleCommandsInsideAnOperationAreNotRecorded) {
  gLog.comp = comp;
  ASSERT_EQ(Task("Outer"), 0);
  EXPECT_EQ(Stacks()[0], 1);
  EXPECT_EQ(t::Compare(Now(comp), Time{1, 1}), 0);  // carried out all the same
}

TEST_F(Undo, ACommandWithoutInverseReportsAndDropsOlderSteps) {
  ASSERT_EQ(BEE_CmdRenameItem(comp, "a"), 0);
  gLog.noInverse = true;
  rec.clear();
  ASSERT_EQ(Task("No Way Back"), 0);
  EXPECT_TRUE(Reported("can't undo last action."));
  EXPECT_EQ(rec.last().location, 0x1A000002u);
  EXPECT_EQ(rec.last().severity, kSevError);
  EXPECT_EQ(UndoName(), "<none>");
  // The beep has no inverse either, but changes nothing: the older steps stay.
  ASSERT_EQ(BEE_CmdRenameItem(comp, "b"), 0);
  rec.clear();
  uint64_t beeps = platform::BeepCount();
  ASSERT_EQ(BEE_DoCommand(BEE_CmdNumBeep, nullptr), 0);
  EXPECT_EQ(platform::BeepCount(), beeps + 1);
  EXPECT_TRUE(Reported("can't undo last action."));
  EXPECT_EQ(UndoName(), "Name Change");
}

TEST_F(Undo, AGroupLeftOpenIsClosedAndUndoneWithABeep) {
  std::string before = Dump();
  ASSERT_EQ(BEE_StartGroup("Open", 0), 0);
  ASSERT_EQ(BEE_CmdRenameItem(comp, "a"), 0);
  ASSERT_EQ(BEE_CmdSetLayerQuality(layer, 1), 0);
  uint64_t beeps = platform::BeepCount();
  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_EQ(platform::BeepCount(), beeps + 1);
  EXPECT_TRUE(Dump() == before);
  // One close too many: later groups still form, and the next undo beeps
  // twice and goes on.
  ASSERT_EQ(BEE_CmdRenameItem(comp, "b"), 0);
  ASSERT_EQ(BEE_EndGroup(), 0);
  ASSERT_EQ(BEE_StartGroup("After", 0), 0);
  ASSERT_EQ(BEE_CmdSetLayerQuality(layer, 0), 0);
  ASSERT_EQ(BEE_EndGroup(), 0);
  EXPECT_EQ(UndoName(), "After");
  EXPECT_EQ(UndoGroups(), 2);
  beeps = platform::BeepCount();
  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_EQ(platform::BeepCount(), beeps + 2);
  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_EQ(platform::BeepCount(), beeps + 2);
  EXPECT_TRUE(Dump() == before);
}

TEST_F(Undo, AFailureDuringUndoLeavesBothStacksWellFormed) {
  ASSERT_EQ(BEE_StartGroup("Three", 0), 0);
  ASSERT_EQ(Task(""), 0);
  ASSERT_EQ(Task(""), 0);
  ASSERT_EQ(Task(""), 0);
  ASSERT_EQ(BEE_EndGroup(), 0);
  // Runs 0-2 were the commands; undo runs 3, 4 (fails) ...
  gLog.failAtRun = 4;
  EXPECT_EQ(BEE_Undo(), kErrBadParam);
  EXPECT_EQ(Stacks(), (std::vector<int32_t>{2, 1, 1, 1}));
  EXPECT_EQ(UndoName(), "Three");
  EXPECT_EQ(RedoName(), "Three");
  // The rest undoes now; then everything redoes as one group.
  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_EQ(Stacks(), (std::vector<int32_t>{0, 0, 3, 2}));
  ASSERT_EQ(BEE_Redo(), 0);
  ASSERT_EQ(BEE_Redo(), 0);
  auto after = Stacks();
  EXPECT_EQ((std::vector<int32_t>{after[0], after[2], after[3]}), (std::vector<int32_t>{3, 0, 0}));
  // A failure inside a wrapper's group leaves what ran undoable.
  BEE_ClearUndoRedo();
  ASSERT_EQ(BEE_StartGroup("Half", 0), 0);
  ASSERT_EQ(BEE_CmdRenameItem(comp, "half"), 0);
  EXPECT_NE(BEE_CmdSetLayerQuality(layer, 7), 0);
  ASSERT_EQ(BEE_EndGroup(), 0);
  EXPECT_EQ(UndoName(), "Half");
  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_EQ(Name(comp), "Main");
}

TEST_F(Undo, PreferencesDefaultsAndChecks) {
  BEE_Prefs p = GOT(BEE_Prefs, BEE_GetPrefs);
  const uint8_t expected[48] = {0, 0, 20, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0,
                                2, 0, 0, 0, 0, 0, 0x1E, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 255, 255, 255, 255, 255, 1, 0};
  EXPECT_EQ(std::memcmp(&p, expected, 48), 0);  // host order of this little-endian machine
  rec.clear();
  BEE_Prefs bad = p;
  bad.shutter = Ratio{1, 0};
  EXPECT_EQ(BEE_SetPrefs(&bad), kErrBadParam);
  EXPECT_TRUE(Reported("invalid engine preferences."));
  bad.shutter = Ratio{-1, 2};
  EXPECT_EQ(BEE_SetPrefs(&bad), kErrBadParam);
  p.shutter = Ratio{2, 4};
  ASSERT_EQ(BEE_SetPrefs(&p), 0);
  BEE_Prefs back = GOT(BEE_Prefs, BEE_GetPrefs);
  EXPECT_EQ(std::pair(back.shutter.num, back.shutter.den), std::pair(1, 2u));
  Boolean32 lost = 0;
  int32_t freed = -1;
  ASSERT_EQ(BEE_CmdRenameItem(comp, "x"), 0);
  ASSERT_EQ(BEE_FreeUpSomeMemory(1000, 0, &lost, &freed), 0);
  EXPECT_EQ(lost, 0);
  ASSERT_EQ(BEE_FreeUpSomeMemory(1000, 1, &lost, &freed), 0);
  EXPECT_EQ(lost, 1);
  EXPECT_EQ(UndoName(), "<none>");
}

// Seeds 16 and 37 reach a command that fails, and one that records nothing,
// right after an undo: both clear the redo stack.
class UndoRandom : public Undo, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(UndoRandom, ASeededRandomSequenceFollowsItsSnapshots) {
  BEE_Prefs p = GOT(BEE_Prefs, BEE_GetPrefs);
  p.undoLevels = 1000;
  ASSERT_EQ(BEE_SetPrefs(&p), 0);
  std::mt19937 rng(GetParam());
  std::vector<std::string> states{Dump()};
  size_t at = 0;
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
  auto layerAt = [&](int32_t i) {
    BEE_Layer l = nullptr;
    int32_t n = GOT(int32_t, BEE_GetCompNumLayers, comp);
    if (n > 0) BEE_GetIndLayer(comp, i % n, &l);
    return l;
  };
  // Undoes (or redoes) a step, or nothing at the end of its stack, and
  // compares the model with the snapshot it goes back (or on) to.
  auto travel = [&](bool undo, int step) {
    EXPECT_EQ(undo ? BEE_Undo() : BEE_Redo(), 0);
    if (undo ? at > 0 : at + 1 < states.size()) at = undo ? at - 1 : at + 1;
    EXPECT_TRUE(Dump() == states[at]) << (undo ? "undo" : "redo") << " at step " << step;
  };
  for (int step = 0; step < 400 && !HasFailure(); ++step) {
    int what = pick(14);
    if (what < 2) {
      travel(what == 0, step);
      continue;
    }
    int groupsBefore = UndoGroups();
    BEE_Layer l = layerAt(pick(8));
    ErrorCode err = 0;
    switch (what) {
      case 2: err = BEE_CmdRenameItem(comp, step % 2 ? "odd" : "even"); break;
      case 3: err = l ? BEE_CmdSetLayerQuality(l, static_cast<int16_t>(pick(4))) : 1; break;  // 3 fails
      case 4: {
        BEE_SolidSettings s = Solid("R", 0xFF000000u | rng(), static_cast<uint16_t>(1 + pick(50)), 10);
        BEE_Layer nl = nullptr;
        err = BEE_CmdNewSolidLayer(comp, &s, &nl);
        break;
      }
      case 5: err = l ? BEE_CmdDeleteLayer(l) : 1; break;
      case 6: err = l ? BEE_CmdReorderLayer(l, pick(4)) : 1; break;
      case 7: err = l ? BEE_CmdSetLayerSwitch(l, 1u << pick(10), pick(2)) : 1; break;
      case 8: err = l ? BEE_CmdSetLayerStretch(l, Ratio{pick(5) - 2, 2}) : 1; break;
      case 9: err = BEE_CmdSeekItemToTime(comp, Time{pick(300), 30}); break;
      case 10: {
        if (!l) {
          err = 1;
          break;
        }
        BEE_StreamRef ref{l, BEE_StreamPosition};
        TDB_Stream s = nullptr, d = nullptr;
        BEE_StreamLookup(&ref, &s);
        TDB_DuplicateStream(s, &d);
        double v[2] = {static_cast<double>(pick(640)), static_cast<double>(pick(480))};
        TDB_InsertKeyF(d, nullptr, pick(4) * 1920, 1, v, TDB_InterpLinear, TDB_InterpLinear);
        if (pick(5) == 0) BEE_InhibitCollapsingForNextCmd();
        err = BEE_CmdSetStreamKeys(l, BEE_StreamPosition, d);
        if (err) TDB_DisposeStream(d);
        break;
      }
      case 11: err = l ? BEE_CmdDuplicateLayer(l, nullptr) : 1; break;
      case 12: err = l ? BEE_CmdSetLayerComment(l, pick(2) ? "note" : nullptr) : 1; break;
      default: err = l ? BEE_CmdSetTransfer(l, pick(3), 0, pick(6)) : 1; break;  // 5 fails
    }
    // Every command at top level clears the redo stack first, even one that
    // fails or records nothing.
    if (Stacks()[3] == 0) states.resize(at + 1);
    if (err) {
      ASSERT_TRUE(Dump() == states[at]) << "failure changed the model at step " << step;
      continue;
    }
    std::string now = Dump();
    if (UndoGroups() == groupsBefore) {
      // Collapsed into the step on top (or changed nothing undoable).
      states[at] = now;
    } else {
      states.resize(at + 1);
      states.push_back(now);
      ++at;
    }
  }
  // Everything undoes back to the start and redoes to the end.
  while (at > 0 && !HasFailure()) travel(true, -1);
  while (at + 1 < states.size() && !HasFailure()) travel(false, -1);
}
INSTANTIATE_TEST_SUITE_P(Seeds, UndoRandom, ::testing::Values(20261206u, 16u, 37u));

}  // namespace
}  // namespace tv::bee::test
