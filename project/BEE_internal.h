// The project engine's records, globals and helpers shared by its files.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "BEE.h"
#include "LIST.h"
#include "Memory.h"
#include "Package.h"
#include "T.h"

// An item. Items and layers are fixed-size blocks that are never resized and
// never purgeable, so they do not move while the engine holds their address
// within one operation.
struct BEE_ItemRec {
  uint16_t magic;
  int16_t kind;
  int8_t label;
  uint8_t pad[3];
  BEE_Item parent;
  uint32_t id;
  uint32_t flags;
  char name[32];
  Handle comment;          // zero-terminated text; null: none
  uint32_t stamp;
  uint32_t compStamps[3];  // compositions: layers, settings, view
  BEE_RulerOrigin origin;
  LIST_Handle guides;      // BEE_Guide
  uint32_t folderState;
  // Compositions.
  LIST_Handle layers;      // BEE_Layer, index 0 the topmost
  uint16_t width, height;  // compositions and solids
  Time duration, secondTime;
  uint32_t frameRate;
  Time frameDuration;
  Ratio hsf;
  uint16_t dsfH, dsfV;
  uint32_t bgColor;
  uint32_t compSwitches;
  Time currentTime, workStart, workEnd;
  // Solids.
  uint32_t solidColor;
  BEE_Layer solidLayer;
  // Footage: the source description (BEE_FootageDesc).
  Handle footage;
  // Footage sources: the footage module's SeqSpec (owned), or null.
  PIN_SeqSpecH seqSpec;
  // Time markers of compositions: a time per marker number (scale 0: none).
  Time timeMarkers[BEE_TimeMarkerCount];
  // Project files: settings the project file keeps unchanged, and the proxy.
  uint8_t fileSettings[14];   // per-item settings ("fdta", "idta" bytes 2..15)
  uint32_t fileState;         // "idta" bytes 80..83
  uint8_t guideSettings[3];   // "gdta"
  Time furtherTime;           // compositions: "cdta" bytes 12..19
  uint32_t viewState[20];     // compositions: "cdta" bytes 56..135
  uint32_t solidSetting;      // solids: "crdt" bytes 4..7
  PIN_SeqSpecH proxy;         // owned, or null
  // Selection: a composition's selection (owned; null until first asked for).
  struct BEE_SelectionRec* selection;
};

struct BEE_LayerRec {
  uint16_t magic;
  int16_t quality;
  int8_t label;
  uint8_t pad[3];
  BEE_Item comp;
  char name[32];
  BEE_Item source;
  uint32_t transferMode, transferFlags, trackMatte;
  Ratio stretch;
  Time offset, inPoint, outPoint;
  uint32_t switches;
  Handle parade;           // the effect chain; null is the empty chain
  LIST_Handle masks;       // null: no masks
  TDB_Stream streams[BEE_StandardStreamCount];
  Handle comment;
  BEE_RulerOrigin origin;
  uint32_t id;
  uint32_t stamp;
  // Project files: settings the project file keeps unchanged.
  uint16_t fileSetting;       // "ldta" bytes 6..7
  uint8_t fileSettings[14];   // "ldta" bytes 44..57
  uint8_t maskRecord[16];     // "mdta"
  // Whether the layer is in its composition's layer list (and so among its
  // source's users).
  bool linked;
};

struct FLT_LayerInfo;  // effects on layers (FLT.h)

namespace tv::bee {

// Indices into BEEp_G_STRs. Index 0 is empty: string number 0 means unnamed.
enum Text : int32_t {
  kTextNone = 0,
  // Command names (shown for undo) and group names.
  kTextRemoveItem, kTextKeyframeChange, kTextNewComposition, kTextNewLayer, kTextImport,
  kTextCompSettings, kTextApplyEffect, kTextDeleteEffect, kTextEffectToggle, kTextEffectReordering,
  kTextClearLayer, kTextChangeValue, kTextRemoveKeyframe, kTextInterpolationChange, kTextLayerTimeChange,
  kTextTimeChange, kTextNameChange, kTextResolutionChange, kTextLayerReordering, kTextBackgroundColor,
  kTextLayerStretch, kTextQualityChange, kTextTransferMode, kTextMaskInvert, kTextToggleSwitch,
  kTextCompSwitch, kTextSolidSettings, kTextDuplicateLayer, kTextDuplicateComp, kTextReplaceSource,
  kTextReplaceItem, kTextInterpretFootage, kTextInterpretProxy, kTextCompoundControl, kTextLayerLooping,
  kTextEaseAdjustment, kTextTangentAdjustment, kTextTimeMarker, kTextLayerName, kTextKeyframeFlag,
  kTextSetProxy, kTextProxyToggle, kTextReplaceFootage, kTextNewFolder, kTextChangeFolder, kTextMoveItem,
  kTextRememberInterp, kTextMaskName, kTextMaskMode, kTextAddMask, kTextDeleteMask, kTextMaskReordering,
  kTextNewGuide, kTextRemoveGuide, kTextGuideMove, kTextLabelChange, kTextCommentChange,
  kTextEffectNameChange, kTextRulerOrigin, kTextMaskLock, kTextCopy, kTextPasteLayer, kTextPasteLayers,
  kTextPasteKeyframes, kTextMoveKeyframes, kTextConsolidation, kTextPrecompose, kTextMakingMovie,
  kTextMaskTransform, kTextPrecomposeNothing, kTextPrecomposeOne, kTextPrecomposeSource,
  // Messages.
  kTextDamagedItem, kTextDamagedLayer, kTextStrange, kTextTooManyEffects, kTextTooManyMasks,
  kTextBadSource, kTextSourceDeleted, kTextCircularSolid, kTextCircularPaste, kTextMissing,
  kTextFolderInside, kTextOriginProblem, kTextCommandNumber, kTextCantUndo, kTextCantRedo,
  kTextObsoleteSetValue, kTextObsoleteClearKey, kTextMaskName1,
  // Kind names.
  kTextFolder, kTextDefunct, kTextComposition, kTextRenderingMovie, kTextSolid, kTextFootage,
  // Standard streams, units and dimension labels.
  kTextStreamMaskShape, kTextStreamMaskFeather, kTextStreamAnchor, kTextStreamPosition, kTextStreamScale,
  kTextStreamRotation, kTextStreamOpacity, kTextStreamAudio, kTextStreamMarker, kTextStreamTimeRemap,
  kTextMaskOpacity, kTextUnitPixels, kTextUnitPercent, kTextUnitDegrees, kTextUnitDB, kTextUnitSeconds,
  kTextDimX, kTextDimY, kTextDimLeft, kTextDimRight,
  // Our own messages.
  kTextUnimplemented, kTextNoProject, kTextSelfContaining, kTextBadFrameRate, kTextBadResolution,
  kTextBadStretch, kTextBadSwitch, kTextNotFolder, kTextNotComp, kTextNotSolid, kTextItemInUse,
  kTextBadIndex, kTextBadStream, kTextNoStream, kTextBadPrefs, kTextBadDimensions, kTextOutOfMemoryWhat,
  kTextRootItem, kTextBadQuality, kTextBadMatte, kTextBadTimes, kTextBadArgument,
  kTextBadTransferMode, kTextBadFrameDuration, kTextBadCompTimes, kTextBadKeys, kTextTooDeep,
  kTextCacheUnbalanced,  // frame cache
  // Stream values in user units: answers of effects to a parameter change.
  kTextChangedValueStdControl, kTextChangedUI, kTextSetToVary, kTextSetToConstant,
  // Project files.
  kTextNotProjectFile, kTextNewerVersion, kTextOlderVersion, kTextStrangeData, kTextFileLocked,
  kTextImportingOld, kTextOpeningOld, kTextRemoved1, kTextRemovedN, kTextRemovedEtc, kTextMissingEff1,
  kTextMissingEffN, kTextMissingEffEtc, kTextFileMissing1, kTextFilesMissingN, kTextFilesChanged,
  kTextNoProjectPath,
  // Selection, scrap and keyframe text.
  kTextVertexTwice, kTextVertexNotFound, kTextCountVertexes, kTextGetIndVertexes, kTextIterVertexes,
  kTextIllegalSelType, kTextSelLayerNotFound, kTextSelLayerInquiry, kTextMultiLayerKeys, kTextCoerceCustom,
  kTextFromCustom, kTextToCustom, kTextSpatialToTemporal, kTextTemporalToSpatial, kTextPasteDims,
  kTextKeyTextFormat, kTextNotKeyScrap, kTextScrapKind,
  // Effect favorites.
  kTextFavRemoved1, kTextFavRemovedN, kTextFavRemovedEtc, kTextNotFavorite,
  // Movie rendering.
  kTextBadOutputFrame, kTextNotAllOutputs, kTextEmptyFileKept, kTextInOrderNote, kTextMovieBusy,
  // Effect data set from text (BEE_effect_text.cpp).
  kTextEffectTextChange,
  // Effects' layer parameters (BEE_effect_layers.cpp, BEE_effect_layer_choice.cpp).
  kTextEffectLayerChange, kTextStretchedHearing,
  kTextCount
};

// Where null out-pointers and other bad arguments are reported.
constexpr uint32_t kSiteArgument = 0x21;

extern const pkg::Reporter kReport;

constexpr LocationCode Loc(uint32_t site) { return Location(BEE_PackageNumber, site); }
// "strange situation [%s/%ld]." (result 1).
ErrorCode Strange(uint32_t site, const char* what, int64_t value);
// A command whose package is not built yet.
ErrorCode Unimplemented(const char* what, int32_t command);
// Installs (or, with false, removes) the procedures through which effects
// check out a layer parameter's frame and sound (BEE_effect_layers.cpp).
void InstallEffectLayerProcs(bool install);

// ---- Masks on layers (BEE_masks.cpp) ----
// An item of a layer's mask list (the list owns the streams).
struct MaskRec {
  uint32_t id;
  uint32_t mode;
  uint32_t invert;
  uint32_t locked;
  char name[32];
  TDB_Stream streams[3];  // shape, feather, opacity
};
// Disposes the layer's masks with their streams.
void DisposeMasks(BEE_Layer layer);
// Gives copy copies of layer's masks (copy has none yet).
ErrorCode DuplicateMasks(BEE_Layer layer, BEE_Layer copy);
// The mask stream of a stream index from BEE_StreamFirstMask (10, reported,
// for a mask the layer does not have); the setter swaps it in.
ErrorCode MaskStream(BEE_Layer layer, int32_t index, TDB_Stream* stream);
void SetMaskStream(BEE_Layer layer, int32_t index, TDB_Stream stream);

// ---- Registry and checks ----
struct State {
  bool born = false;
  bool open = false;
  BEE_Item root = nullptr;
  std::vector<BEE_Item> order;     // every item of the tree, root first, project order
  uint32_t nextId = 1;
  uint32_t stamp = 0;
  uint64_t generation = 0;  // counts the projects opened (IDs start again in each)
  bool dirty = false;
  int32_t sortMode = 0;
  bool sortStale = false;
  uint32_t guideProps = 0;
  std::unordered_set<const void*> liveItems;
  std::unordered_set<const void*> liveLayers;
  // The users of every item: the layers in compositions' layer lists whose
  // source it is (changes propagate through them, and nesting is checked
  // with them, without walking every composition).
  std::unordered_map<BEE_Item, std::vector<BEE_Layer>> users;
  BEE_CallbackFunc callback = nullptr;
  intptr_t refcon = 0;
  // Project files: the file the project was opened from or saved to ("" for
  // an untitled project) and the further project setting of "nhed".
  std::string path;
  uint32_t fileSetting = 0;
};
State& G();

// Item and layer checks: "damaged item." / "damaged layer." (2, severity 16).
ErrorCode CheckItem(BEE_Item item);
ErrorCode CheckLayer(BEE_Layer layer);
ErrorCode CheckKind(BEE_Item item, int16_t kind, int32_t text);  // the kind or 3 with the text
inline BEE_ItemRec& R(BEE_Item item) { return **item; }
inline BEE_LayerRec& R(BEE_Layer layer) { return **layer; }
bool IsLiveItem(const void* h);
bool IsLiveLayer(const void* h);
// A live item that is in the project (not one removed, kept for an undo).
bool IsInProject(BEE_Item item);
ErrorCode RequireProject();
inline ErrorCode CheckComp(BEE_Item item) { return CheckKind(item, BEE_KindComp, kTextNotComp); }
inline ErrorCode CheckSolid(BEE_Item item) { return CheckKind(item, BEE_KindSolid, kTextNotSolid); }

// ---- Queries ----
// The one shape of the queries of a single value: the out-parameter first
// holds its invalid value, then the item or layer is checked (Check), a
// missing out-parameter is refused with 3 (reported once, naming the
// operation), and the value is read.
template <class T>
constexpr T InvalidValue() {
  if constexpr (std::is_same_v<T, Time>)
    return kInvalidTime;
  else
    return T{};
}
template <auto Check, class Obj, class T, class Read>
ErrorCode Query(const char* operation, Obj obj, T* out, Read read, T invalid = InvalidValue<T>()) {
  if (out) *out = invalid;
  if (ErrorCode err = Check(obj)) return err;
  if (!out) return kReport.BadParam(kSiteArgument, {operation});
  *out = read(obj);
  return 0;
}
// A field of the record as it is.
template <auto Check, auto Field, class Obj, class T>
ErrorCode QueryField(const char* operation, Obj obj, T* out) {
  return Query<Check>(operation, obj, out, [](Obj o) { return R(o).*Field; });
}
// A text into a buffer of size bytes, cut on a UTF-8 boundary; the buffer
// holds "" on failure (when it has room).
template <auto Check, class Obj, class Read>
ErrorCode QueryText(const char* operation, Obj obj, char* out, int32_t size, Read read) {
  if (out && size > 0) out[0] = 0;
  if (ErrorCode err = Check(obj)) return err;
  if (!out || size <= 0) return kReport.BadParam(kSiteArgument, {operation});
  fmt::CopyTo(std::span<char>(out, static_cast<size_t>(size)), read(obj));
  return 0;
}

// Copies text into a 32-byte name, cut at 31 bytes on a UTF-8 boundary.
void CopyName(char (&out)[32], std::string_view text);
std::string_view NameOf(const char* name);   // bounded by 32 bytes
// A new zero-terminated text handle (null for an empty text).
ErrorCode NewText(std::string_view text, Handle* h, uint32_t site);
std::string_view TextOf(Handle h);

// ---- Items ----
void CloseProjectState();
// Closes the open project (if any) and opens an empty one; when its root
// cannot be made, the open project stays as it was.
ErrorCode OpenEmptyProject();
// Disposes every item and layer still registered (after the undo stacks and
// the project tree are gone, an operation that ran out of memory halfway may
// have left one outside both).
void DisposeLeftovers();
// Rebuilds the project order from the parents (siblings keep their order).
void RebuildOrder();
ErrorCode NewItem(int16_t kind, std::string_view name, BEE_Item* item);
void DisposeItem(BEE_Item item);   // the item, its layers, lists and texts
// Tree membership: inserts item (and, for folders, nothing else) into the
// project order after its parent's last descendant; removal takes the
// item out of the order (its parent is kept in the record).
void AttachItem(BEE_Item item, BEE_Item parent);
void DetachItem(BEE_Item item);
bool IsDescendant(BEE_Item folder, BEE_Item item);  // bounded walk
int32_t CountUsers(BEE_Item item);
// A layer that enters its composition's layer list joins its source's users
// (Link), one that leaves leaves them (Unlink); a placed layer's source is
// changed through SetSource.
void LinkSource(BEE_Layer layer);
void UnlinkSource(BEE_Layer layer);
void SetSource(BEE_Layer layer, BEE_Item source);
// Refuses (code 3, reported) a source that would nest compositions deeper
// than a frame renders: comp's levels above and source's below together.
ErrorCode CheckNesting(BEE_Item comp, BEE_Item source, uint32_t site);
// The most levels of items from one of items down to its deepest source (1
// for a solid, footage or composition without nested ones), counted up to
// one beyond the deepest a frame renders.
int32_t DeepestNesting(const std::vector<BEE_Item>& items);
void Touch(BEE_Item item);
void TouchLayer(BEE_Layer layer);
// Effect `index` of the layer's chain, a Sequence (3, "bad index", outside it).
ErrorCode EffectSeq(BEE_Layer layer, intptr_t index, Handle* seq);
// The layer of comp that has the ID (what a layer parameter holds), or null.
BEE_Layer LayerByID(BEE_Item comp, uint32_t id);
// The copies' layer parameters that name one of the originals name that
// one's copy instead (copies[i] is originals[i]'s, with an ID of its own).
void CopyLayerChoices(std::span<const BEE_Layer> originals, std::span<const BEE_Layer> copies);
// The layer's layer parameters that name an ID of ids name the ID it maps
// to; the others keep theirs when keepOthers, else name none.
void FollowLayerChoices(BEE_Layer layer, const std::unordered_map<uint32_t, uint32_t>& ids, bool keepOthers);
// How many layers deep effects read layers through their layer parameters:
// a layer read through as many others reads as none.
constexpr size_t kMaxLayerReads = 16;
// A layer parameter's sound for the audio effect now running (ref: the
// layer's ID; start and duration in the effect's layer time): the layer's
// sound as it plays in the composition, silence for none (no layer, a
// deleted one, or one whose audio effects are running).
ErrorCode CheckoutEffectLayerSound(uint32_t ref, Time start, Time duration, const SND_Format& f,
                                   SND_World* world);
// Layer parameters of the chain name no layer.
ErrorCode ClearLayerChoices(Handle parade);
// Layer parameters read from a file whose IDs were offset by base name the
// layers by the offset IDs.
ErrorCode OffsetLayerChoices(Handle parade, uint32_t base);
uint32_t FreshStamp();
void MarkSortStale();
// The composition's defaults for new settings.
void InitCompDefaults(BEE_ItemRec& r);
// Applies validated settings (the "Composition Settings" steps).
ErrorCode ApplyCompSettings(BEE_Item comp, const BEE_CompSettings& s);
// The frame duration of a frame rate, its scale brought into 2000..115200;
// 3 (not reported) for a rate that has none.
ErrorCode NormalisedFrameDuration(uint32_t frameRate, Time* duration);
Time SnapToGrid(const BEE_ItemRec& comp, Time t);
// Whether source may be a layer's source in comp (no composition contains itself).
bool SourceAllowed(BEE_Item comp, BEE_Item source);

// ---- Layers ----
ErrorCode NewLayer(BEE_Item comp, BEE_Item source, std::string_view name, BEE_Layer* layer);
void DisposeLayer(BEE_Layer layer);   // its streams, texts and owned solid
ErrorCode DuplicateLayerRec(BEE_Layer layer, BEE_Layer* copy);
int32_t LayerCount(BEE_Item comp);
BEE_Layer LayerAt(BEE_Item comp, int32_t index);
int32_t IndexOfLayer(BEE_Layer layer);
ErrorCode InsertLayer(BEE_Item comp, BEE_Layer layer, int32_t index);
ErrorCode RemoveLayer(BEE_Layer layer, int32_t* index);
ErrorCode RescaleLayerStreams(BEE_Item comp, uint32_t newScale);
ErrorCode ValidStreamIndex(int32_t index, uint32_t site);
Time SourceDuration(BEE_Layer layer, bool* hasTime);
void NotifySwitch(BEE_Layer layer, BEE_Item comp, uint32_t bit, bool on);
void Notify(int32_t selector, void* data);

// ---- Commands ----
ErrorCode RunCommandInternal(int32_t command, intptr_t* params);
void ResetStacks();
void DisposeStacks();
ErrorCode CreateStacks();
void SetUndoLimit(int32_t levels);
void ResetPrefs();

// ---- Frame cache (BEE_cache.cpp) ----
ErrorCode CacheBirth();
void CacheDeath();
// After every change through the command layer: frames the change made
// stale leave the cache.
void CacheAfterChange();
int32_t SweepFrames();
bool FramesStaleAfterPrefs(const BEE_Prefs& before, const BEE_Prefs& after);
void PurgeAllFrames();
// Whether frames can be cached (the cache and value packages are alive).
bool FrameCacheOn();

// ---- Dump ----
// The dump text; 0 or the first failure met while reading streams (reported).
ErrorCode DumpProject(std::string& out);

// ---- Effects on layers (BEE_effects.cpp) ----
// The stream of an effect parameter (stream index 512 and up); setting hands
// the stream to the effect and leaves the old one to the caller.
ErrorCode EffectStream(BEE_Layer layer, int32_t index, TDB_Stream* stream);
ErrorCode SetEffectStream(BEE_Layer layer, int32_t index, TDB_Stream stream);
void DisposeEffects(Handle parade);
// Brings effect index's parameter values to the layer's current time (after
// it was applied).
ErrorCode RefreshEffect(BEE_Layer layer, int32_t index);

// ---- Composition rendering (BEE_render*.cpp) ----
// The layer-information procedure of every layer's effect chain: the time,
// frame step and duration of the frame being rendered (time 0 outside a render).
ErrorCode EffectLayerInfo(void* refcon, Handle parade, ::FLT_LayerInfo* info);
ErrorCode DuplicateEffects(Handle parade, Handle* copy);

// ---- Selection and scrap (BEE_select*.cpp, BEE_scrap*.cpp) ----
void DisposeSelectionRec(struct BEE_SelectionRec* selection);
// Empties the scrap slots (death).
void ScrapDeath();

}  // namespace tv::bee
