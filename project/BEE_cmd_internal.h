// The command machinery shared by the dispatcher, the stacks, the table and
// the operations.
#pragma once

#include "BEE_internal.h"

namespace tv::bee {

struct Stack {
  list::List<BEE_CmdRec> records;
  bool nameIsText = false;
  uintptr_t name = 0;      // a text handle or a string number
  bool pending = false;
  uint8_t role = 0;        // 0 undo, 1 redo
  int16_t depth = 0;
  int16_t extraCloses = 0;  // closes without an open group (see EndGroup)
  int16_t groups = 0;
  int16_t limit = 10;
};

Stack& UndoStack();
Stack& RedoStack();
void ClearStack(Stack& s);
ErrorCode PushRecord(Stack& s, BEE_CmdRec rec, bool raw);
ErrorCode StartGroup(Stack& s, const char* text, uintptr_t number);
void EndGroup(Stack& s);
void DisposeRecord(BEE_CmdRec& r);
void ReleaseRecord(const BEE_CmdRec& r);

struct CommandEntry {
  BEE_CmdOp operation;
  uint16_t flags;
  uint16_t name;
};
// The entry of a command number 1..78, or null.
CommandEntry* Entry(int32_t command);

// Prefills the inverse and runs the record's operation (the in-command depth
// counts the call). A failure disposes the partial inverse.
ErrorCode CarryOut(BEE_CmdRec& rec, BEE_CmdRec& inverse, const BEE_CmdRec* merge, uint8_t* merged);
bool InCommand();

// ---- Parameter blocks owned by inverses ----
// A copy of size bytes in a new pointer block (in *out).
ErrorCode NewBlock(const void* data, size_t size, intptr_t* out);
// Dispose functions.
void DisposeParam2Block(BEE_CmdRec* rec);
void DisposeOwnedItem(BEE_CmdRec* rec);
void DisposeOwnedLayer(BEE_CmdRec* rec);
void DisposeStreamChange(BEE_CmdRec* rec);

// ---- Operations ----
#define BEE_OP(name)                                                                   \
  ErrorCode name([[maybe_unused]] BEE_CmdRec* rec, [[maybe_unused]] BEE_CmdRec* inv, \
                 [[maybe_unused]] const BEE_CmdRec* merge, [[maybe_unused]] uint8_t* merged)
BEE_OP(OpRemoveItem);
BEE_OP(OpReinsertItem);
BEE_OP(OpNewProject);
BEE_OP(OpCloseProject);
BEE_OP(OpKeyframeChange);
BEE_OP(OpNewComp);
BEE_OP(OpNewLayer);
BEE_OP(OpNewSolidLayer);
BEE_OP(OpCompSettings);
BEE_OP(OpClearLayer);
BEE_OP(OpReinsertLayer);
BEE_OP(OpObsoleteSetValue);
BEE_OP(OpObsoleteClearKey);
BEE_OP(OpLayerTimes);
BEE_OP(OpTimeChange);
BEE_OP(OpNameChange);
BEE_OP(OpResolution);
BEE_OP(OpLayerReorder);
BEE_OP(OpBackgroundColor);
BEE_OP(OpLayerStretch);
BEE_OP(OpQuality);
BEE_OP(OpTransfer);
BEE_OP(OpToggleSwitch);
BEE_OP(OpCompSwitch);
BEE_OP(OpSolidSettings);
BEE_OP(OpDuplicateLayer);
BEE_OP(OpReplaceSource);
BEE_OP(OpReplaceItem);
BEE_OP(OpDuplicateComp);
BEE_OP(OpLayerLooping);
BEE_OP(OpLayerName);
BEE_OP(OpBeep);
BEE_OP(OpNewFolder);
BEE_OP(OpMoveItem);
BEE_OP(OpMoveItemAt);
BEE_OP(OpTask);
BEE_OP(OpNewGuide);
BEE_OP(OpRemoveGuide);
BEE_OP(OpGuideMove);
BEE_OP(OpItemLabel);
BEE_OP(OpLayerLabel);
BEE_OP(OpItemComment);
BEE_OP(OpLayerComment);
BEE_OP(OpRulerOrigin);
// Commands whose packages are not built yet: code 5 with a message naming
// what is missing.
template <int N>
BEE_OP(OpUnimplemented);

}  // namespace tv::bee
