// The command table and the dispatcher, the engine preferences and memory
// release.
#include <algorithm>
#include <cstring>

#include "BEE_cmd_internal.h"

namespace tv::bee {

namespace {

int32_t gInCommand = 0;
bool gInhibitCollapse = false;
BEE_Prefs gPrefs{};

const char* MissingPart(int n) {
  switch (n) {
    case 4: return "Saving projects";
    case 5: return "Opening projects";
    case 6: return "Importing projects";
    case 7: return "Selection";
    case 8: return "The clipboard";
    case 9: return "Pasting layers";
    case 14: return "Importing footage";
    case 23:
    case 24: return "Changing keyframe interpolation";
    case 45:
    case 46: return "This project operation";
    case 48:
    case 49:
    case 52: return "Keyframe editing";
    case 50: return "Time markers";
    case 58: return "Changing folders";
    case 16: case 17: case 18: case 19: case 44: case 71: case 76: return "Effects";
    case 34: case 62: case 63: case 64: case 65: case 66: case 67: case 78: return "Masks";
    case 42: case 43: case 53: case 54: case 56: case 61: return "Footage interpretation";
    default: return "This command";
  }
}

#define U_(n) &OpUnimplemented<n>

CommandEntry gTable[BEE_CommandCount + 1] = {
    {nullptr, 0, 0},
    {&OpRemoveItem, 0, kTextRemoveItem},               // 1
    {&OpNewProject, 0xB, 0},                           // 2
    {&OpCloseProject, 0x3, 0},                         // 3
    {&OpSaveProject, 0xB, 0},                          // 4
    {&OpOpenProject, 0x13, 0},                         // 5
    {&OpImportProject, 0x3, 0},                        // 6
    {&OpSelect, 0x14, 0},                              // 7
    {&OpSetScrap, 0x10, kTextCopy},                    // 8
    {&OpPasteLayer, 0, kTextPasteLayer},               // 9
    {&OpKeyframeChange, 0x4, kTextKeyframeChange},     // 10
    {&OpNewComp, 0, kTextNewComposition},              // 11
    {&OpNewLayer, 0, kTextNewLayer},                   // 12
    {&OpNewSolidLayer, 0, kTextNewLayer},              // 13
    {&OpImportFootage, 0, kTextImport},                // 14
    {&OpCompSettings, 0x3, kTextCompSettings},         // 15
    {&OpApplyEffect, 0, kTextApplyEffect},                     // 16
    {&OpDeleteEffect, 0, kTextDeleteEffect},                    // 17
    {&OpEffectToggle, 0, kTextEffectToggle},                    // 18
    {&OpEffectReorder, 0, kTextEffectReordering},                // 19
    {&OpClearLayer, 0, kTextClearLayer},               // 20
    {&OpObsoleteSetValue, 0x4, kTextChangeValue},      // 21
    {&OpObsoleteClearKey, 0, kTextRemoveKeyframe},     // 22
    {&OpStreamVary, 0, kTextInterpolationChange},      // 23
    {&OpKeyInterp, 0, kTextInterpolationChange},       // 24
    {&OpLayerTimes, 0, kTextLayerTimeChange},          // 25
    {&OpTimeChange, 0x4, kTextTimeChange},             // 26
    {&OpNameChange, 0, kTextNameChange},               // 27
    {&OpResolution, 0, kTextResolutionChange},         // 28
    {&OpLayerReorder, 0, kTextLayerReordering},        // 29
    {&OpBackgroundColor, 0, kTextBackgroundColor},     // 30
    {&OpLayerStretch, 0, kTextLayerStretch},           // 31
    {&OpQuality, 0, kTextQualityChange},               // 32
    {&OpTransfer, 0, kTextTransferMode},               // 33
    {&OpMaskInvert, 0, kTextMaskInvert},               // 34
    {&OpToggleSwitch, 0, kTextToggleSwitch},           // 35
    {&OpCompSwitch, 0, kTextCompSwitch},               // 36
    {&OpSolidSettings, 0, kTextSolidSettings},         // 37
    {&OpDuplicateLayer, 0, kTextDuplicateLayer},       // 38
    {&OpDuplicateComp, 0, kTextDuplicateComp},         // 39
    {&OpReplaceSource, 0, kTextReplaceSource},         // 40
    {&OpReplaceItem, 0, kTextReplaceItem},             // 41
    {&OpInterpretFootage, 0, kTextInterpretFootage},   // 42
    {&OpInterpretProxy, 0, kTextInterpretProxy},     // 43
    {U_(44), 0, kTextCompoundControl},                 // 44
    {U_(45), 0x3, 0},                                  // 45
    {U_(46), 0x3, 0},                                  // 46
    {&OpLayerLooping, 0, kTextLayerLooping},           // 47
    {&OpKeyEase, 0x4, kTextEaseAdjustment},            // 48
    {&OpKeyTangent, 0x4, kTextTangentAdjustment},      // 49
    {&OpTimeMarker, 0, kTextTimeMarker},               // 50
    {&OpLayerName, 0, kTextLayerName},                 // 51
    {&OpKeyFlag, 0, kTextKeyframeFlag},                // 52
    {&OpSetProxy, 0, kTextSetProxy},                 // 53
    {&OpProxyToggle, 0, kTextProxyToggle},           // 54
    {&OpBeep, 0x14, 0},                                // 55
    {&OpReplaceFootage, 0, kTextReplaceFootage},       // 56
    {&OpNewFolder, 0, kTextNewFolder},                 // 57
    {U_(58), 0, kTextChangeFolder},                    // 58
    {&OpMoveItem, 0, kTextMoveItem},                   // 59
    {&OpTask, 0x4, 0},                                 // 60
    {&OpRememberInterp, 0, kTextRememberInterp},     // 61
    {&OpMaskInvert, 0, kTextMaskInvert},               // 62
    {&OpMaskName, 0, kTextMaskName},                   // 63
    {&OpMaskMode, 0, kTextMaskMode},                   // 64
    {&OpAddMask, 0, kTextAddMask},                     // 65
    {&OpDeleteMask, 0, kTextDeleteMask},               // 66
    {&OpReorderMask, 0, kTextMaskReordering},          // 67
    {&OpNewGuide, 0, kTextNewGuide},                   // 68
    {&OpRemoveGuide, 0, kTextRemoveGuide},             // 69
    {&OpGuideMove, 0, kTextGuideMove},                 // 70
    {U_(71), 0, kTextCompoundControl},                 // 71
    {&OpItemLabel, 0, kTextLabelChange},               // 72
    {&OpLayerLabel, 0, kTextLabelChange},              // 73
    {&OpItemComment, 0, kTextCommentChange},           // 74
    {&OpLayerComment, 0, kTextCommentChange},          // 75
    {&OpEffectName, 0, kTextEffectNameChange},                // 76
    {&OpRulerOrigin, 0, kTextRulerOrigin},             // 77
    {&OpMaskLock, 0, kTextMaskLock},                   // 78
};

#undef U_

void DefaultPrefs(BEE_Prefs& p) {
  std::memset(&p, 0, sizeof p);
  p.undoLevels = 20;
  p.flag4 = p.flag5 = 1;
  p.shutter = Ratio{1, 2};
  p.value28 = 0x1E0000;
  std::memset(p.bytes40, 255, sizeof p.bytes40);
  p.byte46 = 1;
}

}  // namespace

template <int N>
BEE_OP(OpUnimplemented) {
  return Unimplemented(MissingPart(N), N);
}

CommandEntry* Entry(int32_t command) {
  if (command < 1 || command > BEE_CommandCount) return nullptr;
  return &gTable[command];
}

bool InCommand() { return gInCommand > 0; }

ErrorCode CarryOut(BEE_CmdRec& rec, BEE_CmdRec& inverse, const BEE_CmdRec* merge, uint8_t* merged) {
  inverse = BEE_CmdRec{};
  inverse.flags = rec.flags;
  inverse.name = rec.name;
  uint8_t mergedByte = 0;
  if (!rec.operation) return kErrUnimplemented;
  ErrorCode err = 0;
  {
    // The depth comes back down even when the operation throws (out of
    // memory in a container), or every later command would count as nested.
    struct Depth {
      Depth() { ++gInCommand; }
      ~Depth() { --gInCommand; }
    } depth;
    err = rec.operation(&rec, &inverse, merge, &mergedByte);
  }
  if (!err && gInCommand == 0) CacheAfterChange();
  if (merged) *merged = mergedByte;
  if (err) {
    DisposeRecord(inverse);
    inverse = BEE_CmdRec{};
  }
  return err;
}

void ResetStacks() {
  ClearStack(RedoStack());
  ClearStack(UndoStack());
}

ErrorCode NewBlock(const void* data, size_t size, void** out) {
  *out = nullptr;
  Ptr p = NewPtr(static_cast<Size>(size));
  if (!p) return kReport.OutOfMemory(BEE_SiteCommandOp, "undo information", size);
  std::memcpy(p, data, size);
  *out = p;
  return 0;
}

// Every block an inverse owns is its second word.
void DisposeParam2Block(BEE_CmdRec* rec) {
  if (rec->param2) DisposePtr(reinterpret_cast<Ptr>(rec->param2));
  rec->param2 = 0;
}

void DisposeOwnedItem(BEE_CmdRec* rec) {
  ReinsertItemCmd c = Words<ReinsertItemCmd>(*rec);
  // Only an item outside the project belongs to the record.
  if (IsLiveItem(c.item) && std::find(G().order.begin(), G().order.end(), c.item) == G().order.end())
    DisposeItem(c.item);
  c.item = nullptr;
  Store(*rec, c);
}

void DisposeOwnedLayer(BEE_CmdRec* rec) {
  ReinsertLayerCmd c = Words<ReinsertLayerCmd>(*rec);
  if (IsLiveLayer(c.layer) && IndexOfLayer(c.layer) == kNotFound) DisposeLayer(c.layer);
  c.layer = nullptr;
  Store(*rec, c);
}

}  // namespace tv::bee

using namespace tv;
using namespace tv::bee;

ErrorCode BEE_DoCommand(int32_t command, intptr_t* params) try {
  int32_t number = command & 0xFFFF;
  CommandEntry* e = Entry(number);
  if (!e) return kReport.Report(BEE_SiteDoCommand, kSevError, kErrRange, kTextCommandNumber, {number});
  if (!e->operation) {
    U_Beep();
    return kErrUnimplemented;
  }
  BEE_CmdRec req{};
  req.name = e->name;
  req.param1 = params ? params[0] : 0;
  req.param2 = params ? params[1] : 0;
  req.operation = e->operation;
  const bool top = gInCommand == 0;
  const uint16_t flags = e->flags;
  Stack& undo = UndoStack();
  if (top) ClearStack(RedoStack());

  BEE_CmdRec inverse{};
  ErrorCode err = 0;
  if ((flags & BEE_CmdNotUndoable) && top) {
    ClearStack(undo);
    err = CarryOut(req, inverse, nullptr, nullptr);
    if (!err) {
      intptr_t w2 = inverse.param1, w3 = inverse.param2;
      DisposeRecord(inverse);
      if (params) {
        params[0] = w2;
        params[1] = w3;
      }
    }
  } else {
    BEE_CmdRec candidate{};
    const BEE_CmdRec* merge = nullptr;
    int32_t n = undo.records.size();
    if (top && (flags & BEE_CmdCollapsible) && !gInhibitCollapse && n > 0) {
      undo.records.Get(n - 1, candidate);
      if (candidate.operation == e->operation) merge = &candidate;
    }
    uint8_t merged = 0;
    err = CarryOut(req, inverse, merge, &merged);
    if (!err) {
      intptr_t w2 = inverse.param1, w3 = inverse.param2;
      if (!top || (merge && merged)) {
        // Inside another command the outer inverse restores everything; a
        // merged change is restored by the older record already on top.
        DisposeRecord(inverse);
      } else if (inverse.operation) {
        const BEE_TaskBlock* task = inverse.flags & BEE_RecTask ? Words<TaskCmd>(inverse).task : nullptr;
        bool named = inverse.flags & BEE_RecTask ? (task && task->name[0]) : e->name != 0;
        if (named) {
          if (task) {
            char text[BEE_GroupNameSize];
            fmt::CopyTo(std::span<char>(text), std::string_view(task->name, strnlen(task->name, sizeof task->name)));
            err = StartGroup(undo, text, 0);
          } else {
            err = StartGroup(undo, nullptr, e->name);
          }
        }
        if (!err) {
          if (ErrorCode perr = PushRecord(undo, inverse, false)) {
            DisposeRecord(inverse);
            err = perr;
          }
          if (named) EndGroup(undo);
        } else {
          DisposeRecord(inverse);
        }
      } else {
        if (!(flags & BEE_CmdSilent)) {
          kReport.Note(BEE_SiteDoCommand, kSevError, kTextCantUndo);
          // Older records may refer to what this change removed: they are
          // dropped rather than left to act on a changed project. Commands
          // that leave the dirty flag alone do not change the project, so
          // the older steps stay.
          if (!(flags & BEE_CmdKeepsDirty)) ClearStack(undo);
        }
        DisposeRecord(inverse);
      }
      if (params) {
        params[0] = w2;
        params[1] = w3;
      }
    }
  }
  if (!err && !(flags & BEE_CmdKeepsDirty)) G().dirty = !(flags & BEE_CmdLeavesClean);
  gInhibitCollapse = false;
  if (!err && top) {
    BEE_ChangeNote note{BEE_ChangeCommand, number};
    Notify(BEE_SelProjectChanged, &note);
  }
  return err;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_InhibitCollapsingForNextCmd(void) try {
  gInhibitCollapse = true;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEEp_RegisterCommand(int32_t command, BEE_CmdOp operation) try {
  CommandEntry* e = Entry(command);
  if (!e) return kReport.Report(BEE_SiteDoCommand, kSevError, kErrRange, kTextCommandNumber, {command});
  e->operation = operation;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetPrefs(BEE_Prefs* prefs) try {
  if (!prefs) return kReport.BadParam(kSiteArgument, {"BEE_GetPrefs"});
  if (gPrefs.undoLevels == 0 && gPrefs.shutter.den == 0) DefaultPrefs(gPrefs);
  *prefs = gPrefs;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_SetPrefs(const BEE_Prefs* prefs) try {
  if (!prefs) return kReport.BadParam(kSiteArgument, {"BEE_SetPrefs"});
  // A shutter over no denominator, or a negative one, would fail only later
  // inside rendering: it is refused here, as is a phase beyond a whole turn.
  if (prefs->shutter.den == 0 || prefs->shutter.num < 0 || prefs->shutterPhase < -36000 ||
      prefs->shutterPhase > 36000)
    return kReport.Report(BEE_SitePrefs, kSevError, kErrBadParam, kTextBadPrefs);
  if (gPrefs.shutter.den == 0) DefaultPrefs(gPrefs);
  BEE_Prefs p = *prefs;
  Ratio reduced{};
  if (M_ReduceRatio(p.shutter, &reduced, nullptr) == 0) p.shutter = reduced;
  if (FramesStaleAfterPrefs(gPrefs, p)) PurgeAllFrames();
  gPrefs = p;
  SetUndoLimit(p.undoLevels);
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_FreeUpSomeMemory(int32_t size, Boolean32 allowUndoLoss, Boolean32* undoLost, int32_t* freed) try {
  (void)size;
  if (undoLost) *undoLost = 0;
  if (freed) *freed = 0;
  if (allowUndoLoss && (UndoStack().records.size() > 0 || RedoStack().records.size() > 0)) {
    ResetStacks();
    if (undoLost) *undoLost = 1;
  }
  const int32_t released = SweepFrames();
  if (freed) *freed = released > 0 ? 1 : 0;
  return 0;
} TV_CATCH(BEE_PackageNumber)

namespace tv::bee {
void ResetPrefs() { DefaultPrefs(gPrefs); }
}  // namespace tv::bee
