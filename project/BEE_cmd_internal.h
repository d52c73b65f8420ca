// The command machinery shared by the dispatcher, the stacks, the table and
// the operations.
#pragma once

#include <type_traits>

#include "BEE_internal.h"
#include "BEE_records.h"

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
ErrorCode NewBlock(const void* data, size_t size, void** out);
// A copy of count values in a new pointer block.
template <class T>
ErrorCode NewCopy(const T* data, size_t count, T** out) {
  void* block = nullptr;
  ErrorCode err = NewBlock(data, sizeof(T) * count, &block);
  *out = static_cast<T*>(block);
  return err;
}
// Replaces the comment text in *slot by text (null clears); *oldBlock gets a
// copy of the old text for the inverse (null when there was none).
ErrorCode SwapComment(Handle* slot, const char* text, char** oldBlock);
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
BEE_OP(OpSetSources);
// ---- Effects on layers (BEE_effects.cpp) ----
BEE_OP(OpApplyEffect);
BEE_OP(OpDeleteEffect);
BEE_OP(OpReinsertEffect);
BEE_OP(OpEffectToggle);
BEE_OP(OpEffectReorder);
BEE_OP(OpEffectName);
// Masks on layers (BEE_masks.cpp).
BEE_OP(OpAddMask);
BEE_OP(OpDeleteMask);
BEE_OP(OpReinsertMask);
BEE_OP(OpReorderMask);
BEE_OP(OpMaskInvert);
BEE_OP(OpMaskName);
BEE_OP(OpMaskMode);
BEE_OP(OpMaskLock);
// Keyframe editing (BEE_keys.cpp): 23 constant/animated, 24 interpolation,
// 48 ease, 49 spatial tangents, 52 key flags; their inverses restore the
// whole stream (OpRestoreStream).
BEE_OP(OpStreamVary);
BEE_OP(OpKeyInterp);
BEE_OP(OpKeyEase);
BEE_OP(OpKeyTangent);
BEE_OP(OpKeyFlag);
BEE_OP(OpRestoreStream);
// Time markers of compositions (BEE_markers.cpp).
BEE_OP(OpTimeMarker);
// Selection and scrap (BEE_select_cmds.cpp, BEE_scrap.cpp): 7 replaces a
// composition's selection, 8 a scrap slot.
BEE_OP(OpSelect);
BEE_OP(OpSetScrap);
BEE_OP(OpPasteLayer);
// Project files (BEE_projfile*.cpp).
BEE_OP(OpSaveProject);
BEE_OP(OpOpenProject);
BEE_OP(OpImportProject);
// Commands whose packages are not built yet: code 5 with a message naming
// what is missing.
template <int N>
BEE_OP(OpUnimplemented);

// ---- Command words ----
// The two parameter words of a record are read and written through one typed
// record per command (and per operation that serves only as an inverse): an
// aggregate of two members, packed into the two words in order. Its kOp is
// the operation that carries it out; kNumber (for commands) its number in
// the table; kOwned (when present) what an inverse of that kind owns and how
// it is released; Made (for commands that make something) the record of the
// inverse, whose first word names what was made.

struct Unused {};  // a word the command does not use: 0
struct Switch {    // a switch bit and its new state (BEE_PackSwitch)
  uint32_t bit;
  bool on;
};
struct Factors {  // horizontal and vertical downsampling factors: (h << 16) | v
  uint16_t h, v;
};
// Where an item stood: its parent and its place in the project order (-1: the end).
struct Place {
  BEE_Item parent;
  intptr_t index;
};
// A layer and the source it is to get (replacing an item everywhere).
struct SourcePair {
  BEE_Layer layer;
  BEE_Item source;
};
// A block of pairs: the count, then the pairs.
struct SourceList {
  int64_t count;
  const SourcePair* pairs() const { return reinterpret_cast<const SourcePair*>(this + 1); }
  SourcePair* pairs() { return reinterpret_cast<SourcePair*>(this + 1); }
};
static_assert(sizeof(SourceList) % alignof(SourcePair) == 0);

// How a value of each member type sits in a word.
template <class T>
struct Word;
template <class T>
struct Word<T*> {
  static intptr_t Pack(T* p) { return reinterpret_cast<intptr_t>(p); }
  static T* Unpack(intptr_t w) { return reinterpret_cast<T*>(w); }
};
template <>
struct Word<Unused> {
  static intptr_t Pack(Unused) { return 0; }
  static Unused Unpack(intptr_t) { return {}; }
};
// A whole word: indices and qualities are checked as words before they are narrowed.
template <>
struct Word<intptr_t> {
  static intptr_t Pack(intptr_t v) { return v; }
  static intptr_t Unpack(intptr_t w) { return w; }
};
template <>
struct Word<int8_t> {
  static intptr_t Pack(int8_t v) { return v; }
  static int8_t Unpack(intptr_t w) { return static_cast<int8_t>(w); }
};
template <>
struct Word<uint32_t> {
  static intptr_t Pack(uint32_t v) { return static_cast<intptr_t>(v); }
  static uint32_t Unpack(intptr_t w) { return static_cast<uint32_t>(w); }
};
template <>
struct Word<Time> {
  static intptr_t Pack(Time t) { return BEE_PackTime(t); }
  static Time Unpack(intptr_t w) { return BEE_UnpackTime(w); }
};
template <>
struct Word<Ratio> {
  static intptr_t Pack(Ratio r) { return BEE_PackRatio(r); }
  static Ratio Unpack(intptr_t w) { return BEE_UnpackRatio(w); }
};
template <>
struct Word<Switch> {
  static intptr_t Pack(Switch s) { return BEE_PackSwitch(s.bit, s.on); }
  static Switch Unpack(intptr_t w) {
    return Switch{static_cast<uint32_t>(w), (static_cast<uint64_t>(w) >> 32) != 0};
  }
};
template <>
struct Word<Factors> {
  static intptr_t Pack(Factors f) { return (intptr_t{f.h} << 16) | f.v; }
  static Factors Unpack(intptr_t w) { return Factors{static_cast<uint16_t>(w >> 16), static_cast<uint16_t>(w)}; }
};

template <class C>
C Unpack(intptr_t first, intptr_t second) {
  C c{};
  auto& [a, b] = c;
  a = Word<std::remove_cvref_t<decltype(a)>>::Unpack(first);
  b = Word<std::remove_cvref_t<decltype(b)>>::Unpack(second);
  return c;
}
template <class C>
void Pack(const C& c, intptr_t& first, intptr_t& second) {
  const auto& [a, b] = c;
  first = Word<std::remove_cvref_t<decltype(a)>>::Pack(a);
  second = Word<std::remove_cvref_t<decltype(b)>>::Pack(b);
}
// The words of a record as the command C reads them.
template <class C>
C Words(const BEE_CmdRec& r) {
  return Unpack<C>(r.param1, r.param2);
}
// Rewrites a record's words (an operation that took over what they owned).
template <class C>
void Store(BEE_CmdRec& r, const C& c) {
  Pack(c, r.param1, r.param2);
}
// Describes the inverse: C's operation with c's words, owning what C's inverses own.
template <class C>
void SetInverse(BEE_CmdRec* inv, const C& c) {
  inv->operation = C::kOp;
  Store(*inv, c);
  if constexpr (requires { C::kOwned; }) inv->dispose = C::kOwned;
}

// The records. An inverse that holds a block owns it (released with the record).
struct RemoveItemCmd {
  static constexpr int32_t kNumber = BEE_CmdNumRemoveItem;
  static constexpr BEE_CmdOp kOp = &OpRemoveItem;
  BEE_Item item;
  Unused unused;
};
struct ReinsertItemCmd {  // the inverse of a removal: the record owns the item until it is back
  static constexpr BEE_CmdOp kOp = &OpReinsertItem;
  static constexpr BEE_CmdDispose kOwned = &DisposeOwnedItem;
  BEE_Item item;
  intptr_t position;
};
struct NewProjectCmd {
  static constexpr int32_t kNumber = BEE_CmdNumNewProject;
  static constexpr BEE_CmdOp kOp = &OpNewProject;
  Unused first, second;
};
struct CloseProjectCmd {
  static constexpr int32_t kNumber = BEE_CmdNumCloseProject;
  static constexpr BEE_CmdOp kOp = &OpCloseProject;
  Unused first, second;
};
struct KeyframeChangeCmd {  // the stream passes to the layer; an inverse owns both
  static constexpr int32_t kNumber = BEE_CmdNumKeyframeChange;
  static constexpr BEE_CmdOp kOp = &OpKeyframeChange;
  static constexpr BEE_CmdDispose kOwned = &DisposeStreamChange;
  BEE_StreamRef* ref;
  TDB_Stream stream;
};
struct ClearLayerCmd {
  static constexpr int32_t kNumber = BEE_CmdNumClearLayer;
  static constexpr BEE_CmdOp kOp = &OpClearLayer;
  BEE_Layer layer;
  Unused unused;
};
struct ReinsertLayerCmd {  // the inverse of a clear: the record owns the layer until it is back
  static constexpr BEE_CmdOp kOp = &OpReinsertLayer;
  static constexpr BEE_CmdDispose kOwned = &DisposeOwnedLayer;
  BEE_Layer layer;
  intptr_t index;
};
struct NewCompCmd {
  static constexpr int32_t kNumber = BEE_CmdNumNewComposition;
  static constexpr BEE_CmdOp kOp = &OpNewComp;
  using Made = RemoveItemCmd;
  BEE_Item folder;  // null: the project's root
  const BEE_CompSettings* settings;
};
struct NewLayerCmd {
  static constexpr int32_t kNumber = BEE_CmdNumNewLayer;
  static constexpr BEE_CmdOp kOp = &OpNewLayer;
  using Made = ClearLayerCmd;
  BEE_Item comp;
  BEE_Item source;
};
struct NewSolidLayerCmd {
  static constexpr int32_t kNumber = BEE_CmdNumNewSolidLayer;
  static constexpr BEE_CmdOp kOp = &OpNewSolidLayer;
  using Made = ClearLayerCmd;
  BEE_Item comp;
  const BEE_SolidSettings* settings;
};
struct CompSettingsCmd {
  static constexpr int32_t kNumber = BEE_CmdNumCompSettings;
  static constexpr BEE_CmdOp kOp = &OpCompSettings;
  static constexpr BEE_CmdDispose kOwned = &DisposeParam2Block;
  BEE_Item comp;
  const BEE_CompSettings* settings;
};
struct LayerTimesCmd {
  static constexpr int32_t kNumber = BEE_CmdNumLayerTimeChange;
  static constexpr BEE_CmdOp kOp = &OpLayerTimes;
  static constexpr BEE_CmdDispose kOwned = &DisposeParam2Block;
  BEE_Layer layer;
  const BEE_LayerTimes* times;
};
struct TimeChangeCmd {
  static constexpr int32_t kNumber = BEE_CmdNumTimeChange;
  static constexpr BEE_CmdOp kOp = &OpTimeChange;
  BEE_Item item;
  Time time;
};
struct NameChangeCmd {
  static constexpr int32_t kNumber = BEE_CmdNumNameChange;
  static constexpr BEE_CmdOp kOp = &OpNameChange;
  static constexpr BEE_CmdDispose kOwned = &DisposeParam2Block;
  BEE_Item item;
  const char* name;
};
struct ResolutionCmd {
  static constexpr int32_t kNumber = BEE_CmdNumResolutionChange;
  static constexpr BEE_CmdOp kOp = &OpResolution;
  BEE_Item comp;
  Factors factors;
};
struct LayerReorderCmd {
  static constexpr int32_t kNumber = BEE_CmdNumLayerReorder;
  static constexpr BEE_CmdOp kOp = &OpLayerReorder;
  BEE_Layer layer;
  intptr_t index;
};
struct BackgroundColorCmd {
  static constexpr int32_t kNumber = BEE_CmdNumBackgroundColor;
  static constexpr BEE_CmdOp kOp = &OpBackgroundColor;
  BEE_Item comp;
  uint32_t color;
};
struct LayerStretchCmd {
  static constexpr int32_t kNumber = BEE_CmdNumLayerStretch;
  static constexpr BEE_CmdOp kOp = &OpLayerStretch;
  BEE_Layer layer;
  Ratio stretch;
};
struct QualityCmd {
  static constexpr int32_t kNumber = BEE_CmdNumQualityChange;
  static constexpr BEE_CmdOp kOp = &OpQuality;
  BEE_Layer layer;
  intptr_t quality;
};
struct TransferCmd {
  static constexpr int32_t kNumber = BEE_CmdNumTransferMode;
  static constexpr BEE_CmdOp kOp = &OpTransfer;
  static constexpr BEE_CmdDispose kOwned = &DisposeParam2Block;
  BEE_Layer layer;
  const BEE_TransferSettings* settings;
};
struct LayerSwitchCmd {
  static constexpr int32_t kNumber = BEE_CmdNumToggleSwitch;
  static constexpr BEE_CmdOp kOp = &OpToggleSwitch;
  BEE_Layer layer;
  Switch change;
};
struct CompSwitchCmd {
  static constexpr int32_t kNumber = BEE_CmdNumCompSwitch;
  static constexpr BEE_CmdOp kOp = &OpCompSwitch;
  BEE_Item comp;
  Switch change;
};
struct SolidSettingsCmd {
  static constexpr int32_t kNumber = BEE_CmdNumSolidSettings;
  static constexpr BEE_CmdOp kOp = &OpSolidSettings;
  static constexpr BEE_CmdDispose kOwned = &DisposeParam2Block;
  BEE_Item solid;
  const BEE_SolidSettings* settings;
};
struct DuplicateLayerCmd {
  static constexpr int32_t kNumber = BEE_CmdNumDuplicateLayer;
  static constexpr BEE_CmdOp kOp = &OpDuplicateLayer;
  using Made = ClearLayerCmd;
  BEE_Layer layer;
  Unused unused;
};
struct DuplicateCompCmd {
  static constexpr int32_t kNumber = BEE_CmdNumDuplicateComp;
  static constexpr BEE_CmdOp kOp = &OpDuplicateComp;
  using Made = RemoveItemCmd;
  BEE_Item comp;
  Unused unused;
};
struct ReplaceSourceCmd {
  static constexpr int32_t kNumber = BEE_CmdNumReplaceSource;
  static constexpr BEE_CmdOp kOp = &OpReplaceSource;
  BEE_Layer layer;
  BEE_Item source;
};
struct ReplaceItemCmd {
  static constexpr int32_t kNumber = BEE_CmdNumReplaceItem;
  static constexpr BEE_CmdOp kOp = &OpReplaceItem;
  BEE_Item item;
  BEE_Item replacement;
};
struct SetSourcesCmd {  // the inverse of replacing an item: the sources the layers had
  static constexpr BEE_CmdOp kOp = &OpSetSources;
  static constexpr BEE_CmdDispose kOwned = &DisposeParam2Block;
  Unused unused;
  const SourceList* list;
};
struct LayerLoopingCmd {  // a marker: its words are kept as they are
  static constexpr int32_t kNumber = BEE_CmdNumLayerLooping;
  static constexpr BEE_CmdOp kOp = &OpLayerLooping;
  intptr_t first, second;
};
struct LayerNameCmd {
  static constexpr int32_t kNumber = BEE_CmdNumLayerName;
  static constexpr BEE_CmdOp kOp = &OpLayerName;
  static constexpr BEE_CmdDispose kOwned = &DisposeParam2Block;
  BEE_Layer layer;
  const char* name;
};
struct NewFolderCmd {
  static constexpr int32_t kNumber = BEE_CmdNumNewFolder;
  static constexpr BEE_CmdOp kOp = &OpNewFolder;
  using Made = RemoveItemCmd;
  BEE_Item parent;  // null: the project's root
  const char* name;
};
struct MoveItemCmd {
  static constexpr int32_t kNumber = BEE_CmdNumMoveItem;
  static constexpr BEE_CmdOp kOp = &OpMoveItem;
  BEE_Item item;
  BEE_Item folder;  // null: the project's root
};
struct MoveItemAtCmd {  // the inverse of a move: back to where the item stood
  static constexpr BEE_CmdOp kOp = &OpMoveItemAt;
  static constexpr BEE_CmdDispose kOwned = &DisposeParam2Block;
  BEE_Item item;
  const Place* place;
};
struct TaskCmd {
  static constexpr int32_t kNumber = BEE_CmdNumTask;
  static constexpr BEE_CmdOp kOp = &OpTask;
  BEE_TaskBlock* task;
  Unused unused;
};
struct NewGuideCmd {
  static constexpr int32_t kNumber = BEE_CmdNumNewGuide;
  static constexpr BEE_CmdOp kOp = &OpNewGuide;
  static constexpr BEE_CmdDispose kOwned = &DisposeParam2Block;
  BEE_Item item;
  const BEE_GuideChange* change;
};
struct RemoveGuideCmd {
  static constexpr int32_t kNumber = BEE_CmdNumRemoveGuide;
  static constexpr BEE_CmdOp kOp = &OpRemoveGuide;
  BEE_Item item;
  intptr_t index;
};
struct GuideMoveCmd {
  static constexpr int32_t kNumber = BEE_CmdNumGuideMove;
  static constexpr BEE_CmdOp kOp = &OpGuideMove;
  static constexpr BEE_CmdDispose kOwned = &DisposeParam2Block;
  BEE_Item item;
  const BEE_GuideChange* change;
};
struct ItemLabelCmd {
  static constexpr int32_t kNumber = BEE_CmdNumItemLabel;
  static constexpr BEE_CmdOp kOp = &OpItemLabel;
  BEE_Item item;
  int8_t label;
};
struct LayerLabelCmd {
  static constexpr int32_t kNumber = BEE_CmdNumLayerLabel;
  static constexpr BEE_CmdOp kOp = &OpLayerLabel;
  BEE_Layer layer;
  int8_t label;
};
struct ItemCommentCmd {
  static constexpr int32_t kNumber = BEE_CmdNumItemComment;
  static constexpr BEE_CmdOp kOp = &OpItemComment;
  static constexpr BEE_CmdDispose kOwned = &DisposeParam2Block;
  BEE_Item item;
  const char* text;  // null clears
};
struct LayerCommentCmd {
  static constexpr int32_t kNumber = BEE_CmdNumLayerComment;
  static constexpr BEE_CmdOp kOp = &OpLayerComment;
  static constexpr BEE_CmdDispose kOwned = &DisposeParam2Block;
  BEE_Layer layer;
  const char* text;  // null clears
};
struct RulerOriginCmd {
  static constexpr int32_t kNumber = BEE_CmdNumRulerOrigin;
  static constexpr BEE_CmdOp kOp = &OpRulerOrigin;
  static constexpr BEE_CmdDispose kOwned = &DisposeParam2Block;
  void* target;  // an item or a layer
  const BEE_RulerOrigin* origin;
};

// Footage sources: replacing a footage item's source. The block holds a
// SeqSpec and the description that goes with it; an inverse owns its block
// and, unless the item holds it again, the SeqSpec in it.
struct FootageSource {
  PIN_SeqSpecH seq;
  BEE_FootageDesc desc;
};
BEE_OP(OpReplaceFootage);
void DisposeFootageSource(BEE_CmdRec* rec);
struct ReplaceFootageCmd {
  static constexpr int32_t kNumber = BEE_CmdNumReplaceFootage;
  static constexpr BEE_CmdOp kOp = &OpReplaceFootage;
  static constexpr BEE_CmdDispose kOwned = &DisposeFootageSource;
  BEE_Item item;
  const FootageSource* source;
};
// Importing footage: a new footage item for a SeqSpec, which it takes.
BEE_OP(OpImportFootage);
struct ImportFootageCmd {
  static constexpr int32_t kNumber = BEE_CmdNumImport;
  static constexpr BEE_CmdOp kOp = &OpImportFootage;
  using Made = RemoveItemCmd;
  BEE_Item folder;  // null: the project's root
  PIN_SeqSpecH seq;
};

// Footage interpretation: the SeqSpec's interpretation replaced; an inverse
// owns its block (the interpretation before).
BEE_OP(OpInterpretFootage);
struct InterpretFootageCmd {
  static constexpr int32_t kNumber = BEE_CmdNumInterpretFootage;
  static constexpr BEE_CmdOp kOp = &OpInterpretFootage;
  static constexpr BEE_CmdDispose kOwned = &DisposeParam2Block;
  BEE_Item item;
  const PIN_Interpretation* interp;
};
// The description of a footage item that a SeqSpec gives.
ErrorCode DescribeFootageSource(PIN_SeqSpecH seq, BEE_FootageDesc* desc);

// Proxies and remembered interpretations (commands 43, 53, 54, 61). A Set
// Proxy inverse owns its SeqSpec unless the item holds it again; an Interpret
// Proxy or Remember Interpretation inverse owns its block.
BEE_OP(OpSetProxy);
BEE_OP(OpProxyToggle);
BEE_OP(OpInterpretProxy);
BEE_OP(OpRememberInterp);
void DisposeProxy(BEE_CmdRec* rec);
struct SetProxyCmd {
  static constexpr int32_t kNumber = BEE_CmdNumSetProxy;
  static constexpr BEE_CmdOp kOp = &OpSetProxy;
  static constexpr BEE_CmdDispose kOwned = &DisposeProxy;
  BEE_Item item;
  PIN_SeqSpecH seq;  // null: no proxy
};
struct ProxyToggleCmd {
  static constexpr int32_t kNumber = BEE_CmdNumProxyToggle;
  static constexpr BEE_CmdOp kOp = &OpProxyToggle;
  BEE_Item item;
  intptr_t on;
};
struct InterpretProxyCmd {
  static constexpr int32_t kNumber = BEE_CmdNumInterpretProxy;
  static constexpr BEE_CmdOp kOp = &OpInterpretProxy;
  static constexpr BEE_CmdDispose kOwned = &DisposeParam2Block;
  BEE_Item item;
  const PIN_Interpretation* interp;
};
struct RememberedInterp {
  PIN_Interpretation interp;
  Boolean32 has;
};
struct RememberInterpCmd {
  static constexpr int32_t kNumber = BEE_CmdNumRememberInterp;
  static constexpr BEE_CmdOp kOp = &OpRememberInterp;
  static constexpr BEE_CmdDispose kOwned = &DisposeParam2Block;
  BEE_Item item;                  // the footage remembered (null: restore state)
  const RememberedInterp* state;  // the state to restore (null: remember item)
};

// Command 9. Words: the composition and a layer outside every composition,
// which the composition takes (the caller keeps it on failure).
struct PasteLayerCmd {
  static constexpr int32_t kNumber = BEE_CmdNumPasteLayer;
  static constexpr BEE_CmdOp kOp = &OpPasteLayer;
  using Made = ClearLayerCmd;
  BEE_Item comp;
  BEE_Layer layer;
};

// Runs command C through the dispatcher (BEE_DoCommand); on success
// inverse (when given) receives the inverse's two words.
template <class C>
ErrorCode DoCommand(const C& c, intptr_t* inverse = nullptr) {
  intptr_t params[2];
  Pack(c, params[0], params[1]);
  ErrorCode err = BEE_DoCommand(C::kNumber, params);
  if (!err && inverse) {
    inverse[0] = params[0];
    inverse[1] = params[1];
  }
  return err;
}

}  // namespace tv::bee
