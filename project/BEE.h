// BEE: the project engine. It owns one open project: a tree of items
// (folders, footage, compositions, solids, render items) and, inside each
// composition, an ordered stack of layers whose properties are keyframed
// streams (TDB). Every change goes through one command dispatcher,
// BEE_DoCommand, which keeps each command's inverse on an undo stack inside
// named groups; the exported BEE_Cmd operations wrap it.
//
// Items and layers are handles. An item's block starts with the 16-bit magic
// 0xBEE1, a layer's with 0xBEE7; every operation that takes one checks it
// (and that the handle belongs to the engine) and fails with "damaged item."
// or "damaged layer." (result 2, severity 16) otherwise.
//
// Failures are reported once, here, at location (26 << 24) | site.
//
// What callers may rely on:
// - Every operation on an item or layer answers 2 (severity 16) for a handle
//   the engine did not make, already freed, or whose magic is wrong; nothing
//   is dereferenced before that check. The queries answer 3 (reported) when
//   the item is not of the kind asked (a composition, a solid, footage), 10
//   (reported) for an index outside the list, and 3 without a report for a
//   null out-pointer; their out-parameters are cleared first (null handles,
//   0, "", zeroed records, the invalid time), so a failed query leaves them
//   cleared.
// - Changes go through the dispatcher: a command that fails pushes nothing
//   on the undo stack. Commands and item walks on a closed project answer 3
//   ("no project"); a command whose part of the engine is not built yet
//   answers 5, reported with what is missing. The layers below (TDB, LIST,
//   M) report their own failures; their codes are passed up. Out of memory
//   is 4.
// - The exported command operations each form one undo group named after
//   the command; after every successful top-level command, undo and redo the
//   host callback hears selector 26.
// - Single thread: the library thread.
#pragma once

#include <stddef.h>

#include "BM.h"
#include "M.h"
#include "MC.h"
#include "PIN.h"
#include "STR.h"
#include "OM.h"
#include "TDB.h"
#include "Types.h"

typedef struct BEE_ItemRec** BEE_Item;
typedef struct BEE_LayerRec** BEE_Layer;

enum {
  BEE_PackageNumber = 26,
  BEE_NameSize = 32,          // names: at most 31 bytes and the zero
  BEE_GroupNameSize = 256,    // undo group names handed out
  BEE_MaxEffects = 31,
  BEE_MaxMasks = 127,
  BEE_CommandCount = 78,
  BEE_StandardStreamCount = 10,
};

enum {
  BEE_ItemMagic = 0xBEE1,
  BEE_LayerMagic = 0xBEE7,
};

// Item kinds.
enum {
  BEE_KindFolder = 1,
  BEE_KindDefunct2 = 2,
  BEE_KindDefunct3 = 3,
  BEE_KindComp = 4,
  BEE_KindRenderItem = 5,
  BEE_KindSolid = 6,
  BEE_KindFootage = 7,
};

// Item flags.
enum {
  BEE_ItemStill = 0x10,
  BEE_ItemVideo = 0x20,     // a layer is active only over a source with this flag
  BEE_ItemProxyOn = 0x100,
};

// Layer switches.
enum {
  BEE_SwitchVideo = 0x1,
  BEE_SwitchEffects = 0x4,
  BEE_SwitchMotionBlur = 0x8,
  BEE_SwitchGated10 = 0x10,
  BEE_SwitchCollapse = 0x80,
  BEE_SwitchOrient = 0x100,
  BEE_SwitchFieldRule = 0x200,
  // Footage with time is drawn with neighbouring frames blended: two frames
  // by the time between them at draft quality, every frame the composition's
  // frame overlaps at best. Effective when the composition's
  // BEE_CompSwitchFrameBlend is on.
  BEE_SwitchFrameBlend = 0x40000,
};

// Composition switches that gate layer switches 0x8 and 0x10.
enum {
  BEE_CompSwitchMotionBlur = 0x8,
  BEE_CompSwitchGated10 = 0x10,
  BEE_CompSwitchFrameBlend = 0x40000,  // enables its layers' BEE_SwitchFrameBlend
};

// Layer quality.
enum {
  BEE_QualityWireframe = 0,
  BEE_QualityDraft = 1,
  BEE_QualityBest = 2,
};

// Transfer flags and track matte modes.
enum {
  BEE_TransferKeepAlpha = 0x1,
  BEE_TransferLayerTime = 0x2,
  BEE_MatteNone = 0,
  BEE_MatteAlpha = 1,
  BEE_MatteAlphaInverted = 2,
  BEE_MatteLuma = 3,
  BEE_MatteLumaInverted = 4,
};

// Standard stream indices of a layer. 128..511 address mask streams
// (mask (index - 128) / 3, stream (index - 128) % 3); 512 and up address
// effect parameters (effect index / 128 - 4, parameter index % 128 + 1).
enum {
  BEE_StreamMaskShape = 0,
  BEE_StreamMaskFeather = 1,
  BEE_StreamAnchorPoint = 2,
  BEE_StreamPosition = 3,
  BEE_StreamScale = 4,
  BEE_StreamRotation = 5,
  BEE_StreamOpacity = 6,
  BEE_StreamAudioLevels = 7,
  BEE_StreamMarker = 8,
  BEE_StreamTimeRemap = 9,
  BEE_StreamFirstMask = 128,
  BEE_StreamFirstEffect = 512,
};

// BEE_GetLayerTime selectors.
enum {
  BEE_LayerTimeInClipped = 0,
  BEE_LayerTimeOutClipped = 1,
  BEE_LayerTimeOffset = 2,
  BEE_LayerTimeStretch = 3,
  BEE_LayerTimeIn = 4,
  BEE_LayerTimeOut = 5,
};

// Report sites (location (26 << 24) | site). Sites 2, 9, 10 and 0xA8 are
// fixed: the dispatcher, undo, redo and the effect limit.
enum {
  BEE_SiteBirth = 1,
  BEE_SiteDoCommand = 2,
  BEE_SiteDeath = 3,
  BEE_SiteUndo = 9,
  BEE_SiteRedo = 10,
  BEE_SiteItem = 0x10,         // item checks
  BEE_SiteLayer = 0x11,        // layer checks
  BEE_SiteTypeName = 0x12,
  BEE_SiteItemQuery = 0x13,
  BEE_SiteLayerTime = 0x14,
  BEE_SiteStream = 0x15,
  BEE_SiteCompSettings = 0x16,
  BEE_SiteFolder = 0x17,
  BEE_SiteSource = 0x18,
  BEE_SiteOrigin = 0x19,
  BEE_SiteProject = 0x1A,
  BEE_SiteTimeMap = 0x1B,
  BEE_SiteSwitch = 0x1C,
  BEE_SiteCommandOp = 0x1D,    // table operations
  BEE_SiteUnimplemented = 0x1E,
  BEE_SitePrefs = 0x1F,
  BEE_SiteMemory = 0x20,
  BEE_SiteApplyEffect = 0xA8,
};

// ---- Public records ----------------------------------------------------------------
// Composition settings (BEE_GetCompSettings; the argument of "Composition
// Settings" and of BEE_CmdNewComp). frameRate is 16.16.
typedef struct BEE_CompSettings {
  char name[32];
  Time duration;
  Time secondTime;
  uint16_t width;
  uint16_t height;
  uint32_t frameRate;
  Ratio pixelAspect;
  uint16_t dsfH;
  uint16_t dsfV;
} BEE_CompSettings;

// Item information (BEE_GetItemInfo), cleared before filling.
typedef struct BEE_ItemInfo {
  int16_t kind;                 // 0
  char name[32];                // 2
  char kindName[32];            // 34
  uint16_t width;               // 66
  uint16_t height;              // 68
  uint8_t pad70[2];
  Time duration;                // 72
  uint32_t userCount;           // 80: layers that use the item as their source
  uint32_t flags;               // 84
  uint32_t info88;              // 88
  uint32_t frameRate;           // 92 (16.16; footage and compositions)
  uint8_t info96[16];           // 96
  uint32_t depth;               // 112 (compositions: 32)
  uint8_t info116[28];          // 116
  uint32_t fieldOrder;          // 144
  char text[128];               // 148
  Ratio pixelAspect;            // 276
  uint16_t dsfH;                // 284
  uint16_t dsfV;                // 286
  uint16_t dsfWidth;            // 288
  uint16_t dsfHeight;           // 290
} BEE_ItemInfo;

// Layer information (BEE_GetLayerInfo).
typedef struct BEE_LayerInfo {
  uint32_t switches;      // 0
  int16_t sourceKind;     // 4
  int16_t quality;        // 6
  Ratio stretch;          // 8
  char name[32];          // 16
  char sourceName[32];    // 48
} BEE_LayerInfo;

// What a footage item knows of its source until the footage modules read
// files: filled by whoever makes the item and kept as given.
typedef struct BEE_FootageDesc {
  char name[32];
  char formatName[32];
  uint16_t width;
  uint16_t height;
  Time duration;          // 0 for a still
  Ratio pixelAspect;
  uint32_t frameRate;     // 16.16
  uint32_t depth;
  int32_t fieldSetting;   // 0 none, 1 interlaced, 2 and 3 others
  Boolean32 fieldSecond;  // the second field flag of setting 1
  Boolean32 hasVideo;
  char text[128];
} BEE_FootageDesc;

// A ruler origin (items and layers).
typedef struct BEE_RulerOrigin {
  double h, v;
} BEE_RulerOrigin;

// A guide of an item.
typedef struct BEE_Guide {
  int32_t position;
  uint8_t settings[3];    // orientation and two further bytes, kept as given
  uint8_t pad;
} BEE_Guide;

// A guide to insert or move (commands 68 and 70).
typedef struct BEE_GuideChange {
  int32_t index;
  BEE_Guide guide;
} BEE_GuideChange;

// A solid layer's settings (command 13 and BEE_CmdNewSolidLayer; command 37
// uses color, width and height).
typedef struct BEE_SolidSettings {
  char name[32];
  uint32_t color;         // 0xAARRGGBB
  uint16_t width;
  uint16_t height;
} BEE_SolidSettings;

// A layer's three times (command 25).
typedef struct BEE_LayerTimes {
  Time offset;
  Time inPoint;
  Time outPoint;
} BEE_LayerTimes;

// A layer's transfer settings (command 33).
typedef struct BEE_TransferSettings {
  uint32_t mode;
  uint32_t flags;
  uint32_t trackMatte;
} BEE_TransferSettings;

// Names one stream of a layer.
typedef struct BEE_StreamRef {
  BEE_Layer layer;
  intptr_t index;
} BEE_StreamRef;

// Engine preferences (BEE_GetPrefs / BEE_SetPrefs).
typedef struct BEE_Prefs {
  uint16_t cacheMode;          // 0
  uint16_t undoLevels;         // 2 (default 20)
  uint8_t flag4;               // 4 (default 1)
  uint8_t flag5;               // 5 (default 1)
  uint8_t pad6[2];
  uint32_t value8;             // 8
  uint32_t value12;            // 12
  uint32_t value16;            // 16
  Ratio shutter;               // 20: motion-blur shutter, of a frame (default 1/2)
  uint32_t value28;            // 28 (default 30.0 as 16.16)
  int32_t shutterPhase;        // 32: where the shutter opens, hundredths of a degree of a
                               //     frame after the frame's time (-36000..36000, default 0)
  uint32_t value36;            // 36
  uint8_t bytes40[6];          // 40..45 (default 255)
  uint8_t byte46;              // 46 (default 1)
  uint8_t pad47;
} BEE_Prefs;

// ---- Commands ------------------------------------------------------------------------
// A command record: six pointer-sized words. The same layout serves for a
// request, for the inverse a command produces and for the entries of the
// undo and redo stacks.
typedef struct BEE_CmdRec BEE_CmdRec;
// Carries rec out, fills inverse (prefilled: flags and name from rec, words
// 2 and 3 the default pair, dispose and operation null). mergeCandidate is
// the record on top of the undo stack when this command may collapse into
// it; the operation sets *merged when it did.
typedef ErrorCode (*BEE_CmdOp)(BEE_CmdRec* rec, BEE_CmdRec* inverse, const BEE_CmdRec* mergeCandidate,
                               uint8_t* merged);
// Releases what a record owns. A record is released when it is thrown away
// without being carried out, and also after it was carried out from the
// undo or redo stack: an operation that takes over what its record owns (an
// item, a layer, a stream) clears that word or the dispose function first.
typedef void (*BEE_CmdDispose)(BEE_CmdRec* rec);
struct BEE_CmdRec {
  uintptr_t flags;        // BEE_Rec* bits
  uintptr_t name;         // a string number, or (BEE_RecNameText) a handle with the name text
  intptr_t param1;
  intptr_t param2;
  BEE_CmdDispose dispose;
  BEE_CmdOp operation;    // null in an inverse: the change cannot be undone
};

// Record flags.
enum {
  BEE_RecFirst = 0x1,
  BEE_RecLast = 0x2,
  BEE_RecNameText = 0x4,
  BEE_RecTask = 0x8,
};

// Table flags.
enum {
  BEE_CmdNotUndoable = 0x1,
  BEE_CmdSilent = 0x2,
  BEE_CmdCollapsible = 0x4,
  BEE_CmdLeavesClean = 0x8,
  BEE_CmdKeepsDirty = 0x10,
};

// A task block (command 60): its first word is the task's function, called
// like an operation; its text from byte 8 is the record's own name.
typedef struct BEE_TaskBlock {
  BEE_CmdOp function;
  char name[BEE_GroupNameSize];
} BEE_TaskBlock;

// Command numbers and what their two parameter words hold. "block" words
// point to the caller's record for the duration of the call; inverses own
// copies. On return params[0] and params[1] hold the inverse's words.
// Commands without a layout here belong to packages not built yet and answer
// code 5 with a message naming what is missing.
enum {
  BEE_CmdNumRemoveItem = 1,         // item, -                    -> (item, position)
  BEE_CmdNumNewProject = 2,         // -, -
  BEE_CmdNumCloseProject = 3,       // -, -
  BEE_CmdNumSaveProject = 4,
  BEE_CmdNumOpenProject = 5,
  BEE_CmdNumImportProject = 6,
  BEE_CmdNumSelect = 7,
  BEE_CmdNumCopy = 8,
  BEE_CmdNumPasteLayer = 9,
  BEE_CmdNumKeyframeChange = 10,    // BEE_StreamRef*, TDB_Stream (ownership passes to the layer)
  BEE_CmdNumNewComposition = 11,    // folder, BEE_CompSettings*  -> (comp, -)
  BEE_CmdNumNewLayer = 12,          // comp, source item          -> (layer, -)
  BEE_CmdNumNewSolidLayer = 13,     // comp, BEE_SolidSettings*   -> (layer, -)
  BEE_CmdNumImport = 14,
  BEE_CmdNumCompSettings = 15,      // comp, BEE_CompSettings*
  BEE_CmdNumApplyEffect = 16,
  BEE_CmdNumDeleteEffect = 17,
  BEE_CmdNumEffectToggle = 18,
  BEE_CmdNumEffectReorder = 19,
  BEE_CmdNumClearLayer = 20,        // layer, -                   -> (layer, index)
  BEE_CmdNumChangeValue = 21,
  BEE_CmdNumRemoveKeyframe = 22,
  BEE_CmdNumInterpolation1 = 23,
  BEE_CmdNumInterpolation2 = 24,
  BEE_CmdNumLayerTimeChange = 25,   // layer, BEE_LayerTimes*
  BEE_CmdNumTimeChange = 26,        // item, Time packed by BEE_PackTime
  BEE_CmdNumNameChange = 27,        // item, const char*
  BEE_CmdNumResolutionChange = 28,  // comp, (h << 16) | v
  BEE_CmdNumLayerReorder = 29,      // layer, new index
  BEE_CmdNumBackgroundColor = 30,   // comp, colour
  BEE_CmdNumLayerStretch = 31,      // layer, Ratio packed by BEE_PackRatio
  BEE_CmdNumQualityChange = 32,     // layer, quality
  BEE_CmdNumTransferMode = 33,      // layer, BEE_TransferSettings*
  BEE_CmdNumMaskInvert = 34,        // layer, BEE_PackMaskValue(mask, invert)
  BEE_CmdNumToggleSwitch = 35,      // layer, BEE_PackSwitch(bit, on)
  BEE_CmdNumCompSwitch = 36,        // comp, BEE_PackSwitch(bit, on)
  BEE_CmdNumSolidSettings = 37,     // solid item, BEE_SolidSettings*
  BEE_CmdNumDuplicateLayer = 38,    // layer, -                   -> (copy, -)
  BEE_CmdNumDuplicateComp = 39,     // comp, -                   -> (copy, -)
  BEE_CmdNumReplaceSource = 40,     // layer, item
  BEE_CmdNumReplaceItem = 41,       // item, new item (every layer using it)
  BEE_CmdNumInterpretFootage = 42,
  BEE_CmdNumInterpretProxy = 43,
  BEE_CmdNumCompoundControl1 = 44,
  BEE_CmdNumProjectOp45 = 45,
  BEE_CmdNumProjectOp46 = 46,
  BEE_CmdNumLayerLooping = 47,      // -, -  (a marker record)
  BEE_CmdNumEaseAdjust = 48,
  BEE_CmdNumTangentAdjust = 49,
  BEE_CmdNumTimeMarker = 50,
  BEE_CmdNumLayerName = 51,         // layer, const char*
  BEE_CmdNumKeyframeFlag = 52,
  BEE_CmdNumSetProxy = 53,
  BEE_CmdNumProxyToggle = 54,
  BEE_CmdNumBeep = 55,              // -, -
  BEE_CmdNumReplaceFootage = 56,
  BEE_CmdNumNewFolder = 57,         // parent folder, const char* -> (folder, -)
  BEE_CmdNumChangeFolder = 58,
  BEE_CmdNumMoveItem = 59,          // item, folder
  BEE_CmdNumTask = 60,              // BEE_TaskBlock*, -
  BEE_CmdNumRememberInterp = 61,
  BEE_CmdNumMaskInvert2 = 62,       // as 34
  BEE_CmdNumMaskName = 63,          // layer, const BEE_MaskName*
  BEE_CmdNumMaskMode = 64,          // layer, BEE_PackMaskValue(mask, mode)
  BEE_CmdNumAddMask = 65,           // layer, OM_Shape (copied)  -> (layer, new mask's index)
  BEE_CmdNumDeleteMask = 66,        // layer, mask index
  BEE_CmdNumMaskReorder = 67,       // layer, BEE_PackMaskValue(from, to)
  BEE_CmdNumNewGuide = 68,          // item, BEE_GuideChange* (index -1 appends)
  BEE_CmdNumRemoveGuide = 69,       // item, guide index
  BEE_CmdNumGuideMove = 70,         // item, BEE_GuideChange*
  BEE_CmdNumCompoundControl2 = 71,
  BEE_CmdNumItemLabel = 72,         // item, label
  BEE_CmdNumLayerLabel = 73,        // layer, label
  BEE_CmdNumItemComment = 74,       // item, const char* (null clears)
  BEE_CmdNumLayerComment = 75,      // layer, const char* (null clears)
  BEE_CmdNumEffectName = 76,
  BEE_CmdNumRulerOrigin = 77,       // item or layer, const BEE_RulerOrigin*
  BEE_CmdNumMaskLock = 78,          // layer, BEE_PackMaskValue(mask, locked)
};

#ifdef __cplusplus
inline intptr_t BEE_PackTime(Time t) {
  return static_cast<intptr_t>((static_cast<uint64_t>(static_cast<uint32_t>(t.value)) << 32) | t.scale);
}
inline Time BEE_UnpackTime(intptr_t w) {
  uint64_t u = static_cast<uint64_t>(w);
  return Time{static_cast<int32_t>(static_cast<uint32_t>(u >> 32)), static_cast<uint32_t>(u)};
}
inline intptr_t BEE_PackRatio(Ratio r) { return BEE_PackTime(Time{r.num, r.den}); }
inline Ratio BEE_UnpackRatio(intptr_t w) {
  Time t = BEE_UnpackTime(w);
  return Ratio{t.value, t.scale};
}
inline intptr_t BEE_PackSwitch(uint32_t bit, bool on) {
  return static_cast<intptr_t>((static_cast<uint64_t>(on ? 1 : 0) << 32) | bit);
}
// Masks: a mask index (or the first of two) and a value.
inline intptr_t BEE_PackMaskValue(int32_t mask, int32_t value) {
  return static_cast<intptr_t>((static_cast<uint64_t>(static_cast<uint32_t>(mask)) << 32) |
                               static_cast<uint32_t>(value));
}
#endif

// ---- Host callback --------------------------------------------------------------------
// The host's one callback. Selectors and their data:
//   0  event poll: data null; the answer is ignored.
//   1  progress: data BEE_Progress*; a non-zero answer aborts the work (517).
//   2  movie render status (movie rendering).
//   3, 4  saving and opening the host's own chunks (project files).
//   25 a layer switch changed: data BEE_SwitchNote*, after the engine's state
//      is updated.
//   26 the project changed: data BEE_ChangeNote*, after every top-level
//      command, undo and redo that succeeded.
//   52 an opened project was converted from an older version.
//   64 save progress: data double* (fraction).
typedef ErrorCode (*BEE_CallbackFunc)(intptr_t refcon, int32_t selector, void* data);

enum {
  BEE_SelEventPoll = 0,
  BEE_SelProgress = 1,
  BEE_SelMovieStatus = 2,
  BEE_SelSaveChunks = 3,
  BEE_SelOpenChunks = 4,
  BEE_SelSwitchChanged = 25,
  BEE_SelProjectChanged = 26,
  BEE_SelConverted = 52,
  BEE_SelSaveFraction = 64,
};

typedef struct BEE_Progress {
  int32_t phase, done, total;
} BEE_Progress;

typedef struct BEE_SwitchNote {
  BEE_Layer layer;    // null for a composition switch
  BEE_Item comp;
  uint32_t bit;
  Boolean32 on;
} BEE_SwitchNote;

enum { BEE_ChangeCommand = 0, BEE_ChangeUndo = 1, BEE_ChangeRedo = 2 };
typedef struct BEE_ChangeNote {
  int32_t how;        // BEE_Change*
  int32_t command;    // the command number (0 for undo and redo)
} BEE_ChangeNote;

// ---- Package frame ---------------------------------------------------------------------
TV_EXPORT uint32_t BEE_PkgObjectVersion(void);
TV_EXPORT ErrorCode BEE_CheckVersions(LocationCode location, int32_t expectedMajor);
TV_EXPORT STR_Table BEEp_G_STRs;
// Sets the defaults, creates both stacks and an empty project: 12 when alive,
// the string table's installation codes, 4 (the package stays unborn).
// Death: 11 when not alive; frees the project and both stacks.
TV_EXPORT ErrorCode BEE_Birth(void);
TV_EXPORT ErrorCode BEE_Death(void);
// Items and layers alive (in the project or held by undo records).
TV_EXPORT ErrorCode BEEp_GetLiveCounts(int32_t* items, int32_t* layers);
// A text dump of the whole project (items, layers, streams and their keys)
// in a new handle (zero-terminated), for comparisons.
TV_EXPORT ErrorCode BEEp_DumpProject(Handle* text);
TV_EXPORT ErrorCode BEE_SetCallbackFunc(BEE_CallbackFunc func, intptr_t refcon);

// ---- Project ---------------------------------------------------------------------------
// These answer 3 only for a null out-pointer.
// The root folder of the open project (null when none is open).
TV_EXPORT ErrorCode BEE_QueryProject(BEE_Item* root);
TV_EXPORT ErrorCode BEE_GetProjectDirty(Boolean32* dirty);
TV_EXPORT ErrorCode BEE_SetProjectDirty(Boolean32 dirty);
// Modes: 1 name, 2 kind, 5 label; 0 and others keep the project's order.
TV_EXPORT ErrorCode BEE_SetProjectSortingMode(int32_t mode);
TV_EXPORT ErrorCode BEE_GetProjectSortingMode(int32_t* mode);
TV_EXPORT ErrorCode BEE_LazyProjectResort(void);
TV_EXPORT ErrorCode BEE_SetProjectGuideProps(uint32_t props);
TV_EXPORT ErrorCode BEE_GetProjectGuideProps(uint32_t* props);
TV_EXPORT ErrorCode BEE_FreshTimeStamp(uint32_t* stamp);
TV_EXPORT ErrorCode BEE_Now(uint32_t* stamp);

// ---- Items -----------------------------------------------------------------------------
typedef ErrorCode (*BEE_ItemVisitor)(BEE_Item item, intptr_t data);
// Visits every item of the project in project order (root first); a non-zero
// answer stops the walk and is returned.
TV_EXPORT ErrorCode BEE_ForEachItem(BEE_ItemVisitor visitor, intptr_t data);
// The item after item in project order (item null: the root); null at the end.
TV_EXPORT ErrorCode BEE_GetNextItem(BEE_Item item, BEE_Item* next);
// The item with the ID (null when absent).
TV_EXPORT ErrorCode BEE_LookupItemID(uint32_t id, BEE_Item* item);
TV_EXPORT ErrorCode BEE_GetItemID(BEE_Item item, uint32_t* id);
// The first item named name (of kind, 0 for any) within folder (null: the
// whole project); null when absent.
TV_EXPORT ErrorCode BEE_FindItem(BEE_Item folder, const char* name, int16_t kind, BEE_Item* item);
TV_EXPORT ErrorCode BEE_GetTypeName(int16_t kind, char name[32]);
TV_EXPORT ErrorCode BEE_GetItemKind(BEE_Item item, int16_t* kind);
TV_EXPORT ErrorCode BEE_GetItemParent(BEE_Item item, BEE_Item* parent);
// Whether the item is in the project's tree (0 for one removed and kept for
// an undo, and, without a report, for a handle the engine freed); a solid
// while its layer is in a composition.
TV_EXPORT ErrorCode BEEp_IsItemInProject(BEE_Item item, Boolean32* in);
TV_EXPORT ErrorCode BEE_GetItemFlags(BEE_Item item, uint32_t* flags);
TV_EXPORT ErrorCode BEE_GetItemLabel(BEE_Item item, int8_t* label);
TV_EXPORT ErrorCode BEE_GetItemName(BEE_Item item, char name[32]);
// The names of the item's folders from below the root down to the item,
// joined by '/', bounded by size (UTF-8 safe).
TV_EXPORT ErrorCode BEE_GetItemPath(BEE_Item item, char* path, int32_t size);
TV_EXPORT ErrorCode BEE_GetItemInfo(BEE_Item item, BEE_ItemInfo* info);
TV_EXPORT ErrorCode BEE_GetItemDimensions(BEE_Item item, int32_t* width, int32_t* height);
// units600 (may be null): the duration in 1/600-second units.
TV_EXPORT ErrorCode BEE_GetItemDuration(BEE_Item item, Time* duration, int32_t* units600);
TV_EXPORT ErrorCode BEE_GetItemCurrentTime(BEE_Item item, Time* time);
TV_EXPORT ErrorCode BEE_GetItemHSF(BEE_Item item, Ratio* hsf);
TV_EXPORT ErrorCode BEE_GetItemCommentLength(BEE_Item item, int32_t* length);
// Copies the comment (at most size bytes with the zero).
TV_EXPORT ErrorCode BEE_GetItemComment(BEE_Item item, char* text, int32_t size);
TV_EXPORT ErrorCode BEE_GetItemModDate(BEE_Item item, uint32_t* stamp);
TV_EXPORT ErrorCode BEE_GetItemOrigin(BEE_Item item, BEE_RulerOrigin* origin);
TV_EXPORT ErrorCode BEE_GetItemGuides(BEE_Item item, int32_t* count, BEE_Guide* guides, int32_t capacity);
TV_EXPORT ErrorCode BEE_TouchItem(BEE_Item item);
TV_EXPORT ErrorCode BEE_IsItemNewerThan(BEE_Item item, uint32_t stamp, Boolean32* newer);
TV_EXPORT ErrorCode BEE_IsLayerNewerThan(BEE_Layer layer, uint32_t stamp, Boolean32* newer);
TV_EXPORT ErrorCode BEE_DoesFolderContainItem(BEE_Item folder, BEE_Item item, Boolean32* contains);
TV_EXPORT ErrorCode BEE_GetLayerFromSolid(BEE_Item solid, BEE_Layer* layer);
TV_EXPORT ErrorCode BEE_GetSolidColor(BEE_Item solid, uint32_t* color);
// Whether item may be the source of a layer of comp (comp may be null).
TV_EXPORT ErrorCode BEE_ValidSource(BEE_Item comp, BEE_Item item, Boolean32* valid);
TV_EXPORT ErrorCode BEE_GetCompSettings(BEE_Item comp, BEE_CompSettings* settings);
TV_EXPORT ErrorCode BEE_GetCompFrameDuration(BEE_Item comp, Time* frameDuration);
TV_EXPORT ErrorCode BEE_GetCompBackgroundColor(BEE_Item comp, uint32_t* color);
TV_EXPORT ErrorCode BEE_GetCompSwitches(BEE_Item comp, uint32_t* switches);
TV_EXPORT ErrorCode BEE_GetCompWorkArea(BEE_Item comp, Time* start, Time* end);
TV_EXPORT ErrorCode BEE_GetCompNumLayers(BEE_Item comp, int32_t* count);
// frame (may be null): top 0, left 0, bottom the height, right the width.
TV_EXPORT ErrorCode BEE_GetCompDimensionsDSF(BEE_Item comp, int32_t* width, int32_t* height, LRect* frame);
// d becomes 0 when 0, else (d - 1) / factor + 1; a factor of 0 counts as 1.
TV_EXPORT ErrorCode BEE_AdjustForDSF(uint16_t hFactor, uint16_t vFactor, int32_t* width, int32_t* height);
// The time snapped to the composition's frame grid (nearest frame).
TV_EXPORT ErrorCode BEE_GridToCompTime(BEE_Item comp, Time time, Time* snapped);
// Field order label of a footage field setting: 1 with the second flag gives
// 2, 1 without it gives 1, anything else 0.
TV_EXPORT ErrorCode BEE_FieldLabelConversion(int32_t fieldSetting, Boolean32 second, int32_t* label);
// Makes a footage item from a source description in folder (null: the root).
// The footage modules call this once they have read a file; import commands
// are built on it.
TV_EXPORT ErrorCode BEEp_MakeFootageItem(BEE_Item folder, const BEE_FootageDesc* desc, BEE_Item* item);
TV_EXPORT ErrorCode BEE_GetFootageDesc(BEE_Item footage, BEE_FootageDesc* desc);

// ---- Layers ----------------------------------------------------------------------------
TV_EXPORT ErrorCode BEE_GetIndLayer(BEE_Item comp, int32_t index, BEE_Layer* layer);
TV_EXPORT ErrorCode BEE_LayerIndex(BEE_Layer layer, int32_t* index);
TV_EXPORT ErrorCode BEE_GetLayerComp(BEE_Layer layer, BEE_Item* comp);
TV_EXPORT ErrorCode BEE_GetLayerSource(BEE_Layer layer, BEE_Item* source);
TV_EXPORT ErrorCode BEE_GetLayerInfo(BEE_Layer layer, BEE_LayerInfo* info);
TV_EXPORT ErrorCode BEE_GetLayerName(BEE_Layer layer, char name[32]);
// The layer's ID, unique in the project (a layer freed and another made at
// its address tell apart by it); 0, without a report, for a handle the
// engine freed.
TV_EXPORT ErrorCode BEEp_GetLayerID(BEE_Layer layer, uint32_t* id);
TV_EXPORT ErrorCode BEE_GetLayerTransfer(BEE_Layer layer, BEE_TransferSettings* transfer);
TV_EXPORT ErrorCode BEE_GetLayerLabel(BEE_Layer layer, int8_t* label);
TV_EXPORT ErrorCode BEE_GetLayerOrigin(BEE_Layer layer, BEE_RulerOrigin* origin);
TV_EXPORT ErrorCode BEE_GetLayerTime(BEE_Layer layer, int32_t which, Time* time, Ratio* ratio);
// The composition's current time as layer time.
TV_EXPORT ErrorCode BEE_GetLayerCurrentTime(BEE_Layer layer, Time* time);
TV_EXPORT ErrorCode BEE_GetLayerCommentLength(BEE_Layer layer, int32_t* length);
TV_EXPORT ErrorCode BEE_GetLayerComment(BEE_Layer layer, char* text, int32_t size);
TV_EXPORT ErrorCode BEE_GetSourceDimensions(BEE_Layer layer, int32_t* width, int32_t* height);
TV_EXPORT ErrorCode BEE_GetSourceDimensionsDSF(BEE_Layer layer, int32_t* width, int32_t* height);
TV_EXPORT ErrorCode BEE_GetSourceDuration(BEE_Layer layer, Time* duration);
// The layer time limited to the source's duration (0 .. duration); sources
// without time (stills, solids, no source) do not limit it.
TV_EXPORT ErrorCode BEE_ClipToSourceDuration(BEE_Layer layer, Time time, Time* clipped);
TV_EXPORT ErrorCode BEE_LayerActive(BEE_Layer layer, Time compTime, Boolean32 asMatte, Boolean32* active,
                                    Time* layerTime);
TV_EXPORT ErrorCode BEE_LayerActiveOrTrackMatte(BEE_Layer layer, Time compTime, Boolean32* active,
                                                Time* layerTime);
TV_EXPORT ErrorCode BEE_LayerIsUsedAsTrackMatte(BEE_Layer layer, Boolean32 requireVideo, Boolean32* result);
// The layer's effect chain: null while effects do not exist (an empty chain).
TV_EXPORT ErrorCode BEE_InqLayerEffectSeq(BEE_Layer layer, Handle* parade, int32_t* count);
TV_EXPORT ErrorCode BEE_GetLayerNumMasks(BEE_Layer layer, int32_t* count);

// ---- Masks on layers ----------------------------------------------------------------------
// A layer's masks are applied in order (index 0 first). Each has three
// streams, addressed as BEE_StreamFirstMask + 3 x mask + one of these (the
// shape a shape stream of OM, the feather two values in pixels, the opacity
// one value in percent), and the settings below. Failures: 10 (reported) for
// a mask index outside the layer's masks, 3 for a mode outside 1..6 or more
// than BEE_MaxMasks masks ("can't apply more than 127 masks to one layer.").
enum { BEE_MaskStreamShape = 0, BEE_MaskStreamFeather = 1, BEE_MaskStreamOpacity = 2 };
typedef struct BEE_MaskInfo {
  char name[32];
  uint32_t mode;      // PF_UnoMode_*: 1 add, 2 subtract, 3 intersect, 4 lighten, 5 darken, 6 difference
  Boolean32 invert;
  Boolean32 locked;
  uint32_t id;        // unique in the project
} BEE_MaskInfo;
// The block of the "Mask Name" command.
typedef struct BEE_MaskName {
  int32_t mask;
  char name[32];
} BEE_MaskName;
TV_EXPORT ErrorCode BEE_GetMaskInfo(BEE_Layer layer, int32_t mask, BEE_MaskInfo* info);
// Adds a mask after the last one, named "Mask <n>" (n its one-based number),
// mode add, feather 0, opacity 100, whose constant shape stream holds a copy
// of shape (an absolute path in layer pixels). *mask (optional) receives its
// index.
TV_EXPORT ErrorCode BEE_CmdAddMask(BEE_Layer layer, OM_Shape shape, int32_t* mask);
TV_EXPORT ErrorCode BEE_CmdDeleteMask(BEE_Layer layer, int32_t mask);
// Moves mask from to index to (the others keep their order).
TV_EXPORT ErrorCode BEE_CmdReorderMasks(BEE_Layer layer, int32_t from, int32_t to);
// Moves every shape of the mask (its constant shape, or every keyframe's)
// through the matrix, in layer pixels; a rectangle or an oval becomes the
// path it stands for. One undo step named name (null or empty: "Mask
// Transform"), a task record of command 60. 3 for a missing or not finite
// matrix, 10 for a mask the layer does not have, M's 0x1102 for a point
// that leaves the 16.16 range; the mask is then as it was.
TV_EXPORT ErrorCode BEE_CmdMaskTransform(BEE_Layer layer, int32_t mask, const FloatMatrix* matrix, const char* name);

// ---- Streams ---------------------------------------------------------------------------
// The stream a reference names (null for a standard stream that has none
// yet: the mask shape and the markers).
TV_EXPORT ErrorCode BEE_StreamLookup(const BEE_StreamRef* ref, TDB_Stream* stream);
// Stream name, unit and dimension count of a standard stream index.
TV_EXPORT ErrorCode BEE_GetStreamDescription(int32_t index, char name[32], char unit[32], int16_t* dimension);
// The value of a numeric stream at a composition time (dimension doubles),
// in user units (as BEE_GetStreamFPV).
TV_EXPORT ErrorCode BEE_GetLayerStreamValueF(BEE_Layer layer, int32_t index, Time compTime, double* value);

// ---- Time mapping ----------------------------------------------------------------------
TV_EXPORT ErrorCode BEE_LayerToCompTime(BEE_Layer layer, Time layerTime, Time* compTime);
TV_EXPORT ErrorCode BEE_CompToLayerTime(BEE_Layer layer, Time compTime, Time* layerTime);
TV_EXPORT ErrorCode BEE_LayerToCompDuration(BEE_Layer layer, Time duration, Time* compDuration);
TV_EXPORT ErrorCode BEE_CompToLayerDuration(BEE_Layer layer, Time duration, Time* layerDuration);
TV_EXPORT ErrorCode BEE_LayerToSourceTime(BEE_Layer layer, Time layerTime, Time* sourceTime);
TV_EXPORT ErrorCode BEE_LayerToSourceTimeSpan(BEE_Layer layer, Time layerStart, Time layerDuration,
                                              Time* sourceStart, Time* sourceDuration);

// ---- Dispatcher, groups and undo -------------------------------------------------------
// params: two words (record words 2 and 3), or null for the default pair
// (0, 0); they receive the inverse's words (unchanged on failure). 10
// (reported) for a command number outside the table; 5 with a beep (no
// report) for a table entry without an operation; else the operation's code.
TV_EXPORT ErrorCode BEE_DoCommand(int32_t command, intptr_t* params);
// Groups nest; 4 when the group record cannot be stored. EndGroup: always 0.
TV_EXPORT ErrorCode BEE_StartGroup(const char* name, int32_t command);
TV_EXPORT ErrorCode BEE_EndGroup(void);
// Nothing to undo (redo) is not a failure. A record that fails stops the
// step with its code: it goes back on its stack, and what ran before it can
// be taken back from the other stack.
TV_EXPORT ErrorCode BEE_Undo(void);
TV_EXPORT ErrorCode BEE_Redo(void);
// name (may be null): at least BEE_GroupNameSize bytes.
TV_EXPORT ErrorCode BEE_UndoAvailable(Boolean32* available, char* name);
TV_EXPORT ErrorCode BEE_RedoAvailable(Boolean32* available, char* name);
TV_EXPORT ErrorCode BEE_ClearRedoStack(void);
TV_EXPORT ErrorCode BEE_ClearUndoRedo(void);
TV_EXPORT ErrorCode BEE_InhibitCollapsingForNextCmd(void);
TV_EXPORT ErrorCode BEE_GetPrefs(BEE_Prefs* prefs);
TV_EXPORT ErrorCode BEE_SetPrefs(const BEE_Prefs* prefs);
TV_EXPORT ErrorCode BEE_FreeUpSomeMemory(int32_t size, Boolean32 allowUndoLoss, Boolean32* undoLost, int32_t* freed);
// Installs the operation of a table entry (null removes it), for packages
// built on the engine; the flags and name of the entry stay.
TV_EXPORT ErrorCode BEEp_RegisterCommand(int32_t command, BEE_CmdOp operation);
// Undo and redo stack sizes: records and complete groups.
TV_EXPORT ErrorCode BEEp_GetStackCounts(int32_t* undoRecords, int32_t* undoGroups, int32_t* redoRecords,
                                        int32_t* redoGroups);

// ---- Frame cache: cached item frames --------------------------------------------------
// A render request: the composition time, the time span of one frame, the
// field (0 whole frame, 1 even rows, 2 odd rows), flags (byte 2: the frame
// may come from and go into the cache; byte 3: channel order wanted), the
// number of layers from the bottom (-1 all) and two words for effects and
// footage.
typedef struct BEE_RenderRequest {
  Time time;
  Time span;
  int32_t field;
  uint32_t flags;
  int32_t layerCount;
  uint32_t data[2];
} BEE_RenderRequest;
#define BEE_Request_Cacheable 0x00FF0000u
// The request's data words as footage reads them: data[0] holds PIN draw
// flags (PIN_Draw_FrameBlend asks for frame blending over the request's
// span), data[1] the draw quality (0 draft, 1 best). A layer's source request
// sets them from the layer's switches and quality.
// Frames are cached per item, keyed by the request, the frame size and the
// composition's resolution. Every change through a command, undo or redo
// drops the frames it made stale: those of the changed item and of every
// composition that nests it. A hit is checked out (receipt, World, *exact
// 1); a miss is not a failure (*exact 0, null receipt and World). 5 when the
// cache package is not alive.
TV_EXPORT ErrorCode BEE_CheckoutCachedItemFrame(BEE_Item item, const BEE_RenderRequest* request, int32_t width,
                                                int32_t height, Boolean32* exact, MC_Receipt* receipt,
                                                BM_World* world);
// Stores a rendered frame (the cache takes the World over on success) with
// its render time in ticks as its cost and checks it out.
TV_EXPORT ErrorCode BEE_CacheItemFrame(BEE_Item item, const BEE_RenderRequest* request, BM_World world,
                                       int32_t renderTicks, MC_Receipt* receipt);
TV_EXPORT ErrorCode BEE_CheckinItemFrame(MC_Receipt receipt);
TV_EXPORT ErrorCode BEE_GetReceiptWorld(MC_Receipt receipt, BM_World* world);
TV_EXPORT ErrorCode BEE_GetReceiptCheckoutCount(MC_Receipt receipt, int32_t* count);
// Mode 1 (the default) keeps every cached frame's pixels locked; 0 leaves
// them unlocked. Other modes: 3.
TV_EXPORT ErrorCode BEE_GetMemoryMode(int32_t* mode, int32_t* inverse);
TV_EXPORT ErrorCode BEE_SetMemoryMode(int32_t mode);
// Does nothing.
TV_EXPORT ErrorCode BEE_CompactCache(void);

// ---- Command wrappers (each is one undo group) -----------------------------------------
// Each answers BEE_DoCommand's codes; a made item or layer is returned only on
// success (null otherwise).
TV_EXPORT ErrorCode BEE_NewProject(void);
TV_EXPORT ErrorCode BEE_CloseProject(void);
TV_EXPORT ErrorCode BEE_CmdNewFolder(BEE_Item parent, const char* name, BEE_Item* folder);
TV_EXPORT ErrorCode BEE_CmdNewComp(BEE_Item folder, const BEE_CompSettings* settings, BEE_Item* comp);
TV_EXPORT ErrorCode BEE_CmdNewLayer(BEE_Item comp, BEE_Item source, BEE_Layer* layer);
TV_EXPORT ErrorCode BEE_CmdNewSolidLayer(BEE_Item comp, const BEE_SolidSettings* settings, BEE_Layer* layer);
TV_EXPORT ErrorCode BEE_CmdRemoveItem(BEE_Item item);
TV_EXPORT ErrorCode BEE_CmdMoveItem(BEE_Item item, BEE_Item folder);
TV_EXPORT ErrorCode BEE_CmdDeleteLayer(BEE_Layer layer);
TV_EXPORT ErrorCode BEE_CmdDuplicateLayer(BEE_Layer layer, BEE_Layer* copy);
TV_EXPORT ErrorCode BEE_CmdSetCompSettings(BEE_Item comp, const BEE_CompSettings* settings);
TV_EXPORT ErrorCode BEE_CmdSetResolution(BEE_Item comp, uint16_t hFactor, uint16_t vFactor);
TV_EXPORT ErrorCode BEE_CmdSetBackgroundColor(BEE_Item comp, uint32_t color);
TV_EXPORT ErrorCode BEE_CmdSetCompSwitch(BEE_Item comp, uint32_t bit, Boolean32 on);
TV_EXPORT ErrorCode BEE_CmdSetLayerSwitch(BEE_Layer layer, uint32_t bit, Boolean32 on);
TV_EXPORT ErrorCode BEE_CmdSetLayerTimes(BEE_Layer layer, Time offset, Time inPoint, Time outPoint);
TV_EXPORT ErrorCode BEE_CmdSetLayerStretch(BEE_Layer layer, Ratio stretch);
TV_EXPORT ErrorCode BEE_CmdSetLayerQuality(BEE_Layer layer, int16_t quality);
TV_EXPORT ErrorCode BEE_CmdSetTransfer(BEE_Layer layer, uint32_t mode, uint32_t flags, uint32_t trackMatte);
TV_EXPORT ErrorCode BEE_CmdReorderLayer(BEE_Layer layer, int32_t index);
TV_EXPORT ErrorCode BEE_CmdReplaceSource(BEE_Layer layer, BEE_Item source);
// Every layer whose source is item takes replacement instead.
TV_EXPORT ErrorCode BEE_CmdReplaceItem(BEE_Item item, BEE_Item replacement);
// A copy of the composition with copies of its layers, after it in its folder.
TV_EXPORT ErrorCode BEE_CmdDuplicateComp(BEE_Item comp, BEE_Item* copy);
TV_EXPORT ErrorCode BEE_CmdSetSolidSettings(BEE_Item solid, const BEE_SolidSettings* settings);
TV_EXPORT ErrorCode BEE_CmdRenameItem(BEE_Item item, const char* name);
TV_EXPORT ErrorCode BEE_CmdRenameLayer(BEE_Layer layer, const char* name);
TV_EXPORT ErrorCode BEE_CmdSeekItemToTime(BEE_Item item, Time time);
// "Time Change": every composition nested in comp (through its layers'
// sources, at any depth) is seeked to the source time its layer shows at
// comp's current time. Compositions reached by no active layer stay.
TV_EXPORT ErrorCode BEE_CmdSynchronizeRelatedItems(BEE_Item comp);
// "Consolidation": footage items with the same source description as an
// earlier one are replaced by it everywhere and removed; *removed counts them.
TV_EXPORT ErrorCode BEE_CmdConsolidateItemSources(int32_t* removed);
// Pre-composes the composition's selected layers as one undo step
// "Pre-compose". The new composition (named name; null or empty: the
// composition's or, leaving attributes, the source's name) goes into the
// composition's folder with its background colour, switches and label, and
// is given in *newComp (may be null). moveAttributes: the selected layers
// move, with everything they hold, into a composition of the same settings;
// one layer of it takes the place of the topmost of them. Otherwise exactly
// one layer is selected and keeps its transform, masks, effects and times;
// its source alone goes into a composition of the source's size and
// duration (a still's: as long as the layer shows it), which becomes the
// layer's source. The layer that stands for the new composition is then
// the one selected. 3 with nothing selected, with several layers to leave
// attributes of, or for a layer whose source cannot stand alone (its own
// solid, no picture); a command that fails takes back what was done.
TV_EXPORT ErrorCode BEE_CmdCompify(BEE_Item comp, const char* name, Boolean32 moveAttributes, BEE_Item* newComp);
TV_EXPORT ErrorCode BEE_CmdSetItemLabel(BEE_Item item, int8_t label);
TV_EXPORT ErrorCode BEE_CmdSetLayerLabel(BEE_Layer layer, int8_t label);
TV_EXPORT ErrorCode BEE_CmdSetItemComment(BEE_Item item, const char* comment);
TV_EXPORT ErrorCode BEE_CmdSetLayerComment(BEE_Layer layer, const char* comment);
TV_EXPORT ErrorCode BEE_CmdSetItemOrigin(BEE_Item item, const BEE_RulerOrigin* origin);
TV_EXPORT ErrorCode BEE_CmdSetLayerOrigin(BEE_Layer layer, const BEE_RulerOrigin* origin);
TV_EXPORT ErrorCode BEE_CmdAddGuide(BEE_Item item, BEE_Guide guide);
TV_EXPORT ErrorCode BEE_CmdRemoveGuide(BEE_Item item, int32_t index);
TV_EXPORT ErrorCode BEE_CmdMoveGuide(BEE_Item item, int32_t index, BEE_Guide guide);
// Effects on layers. Each is one undo group: apply (command 16; a 32nd
// effect is refused with "can't apply more than 31 effects to one layer!",
// 3, before anything is recorded; *index the new effect's), delete (18 then
// 17), switch (18), reorder (19) and rename (76). An effect's parameter p of
// effect e is stream 512 + 128 e + p - 1 (BEE_StreamLookup, BEE_CmdSetStreamKeys).
TV_EXPORT ErrorCode BEE_CmdApplyEffect(BEE_Layer layer, int16_t classIndex, int32_t* index);
TV_EXPORT ErrorCode BEE_CmdDeleteEffect(BEE_Layer layer, int32_t index);
TV_EXPORT ErrorCode BEE_CmdReorderEffects(BEE_Layer layer, int32_t from, int32_t to);
TV_EXPORT ErrorCode BEE_CmdSetEffectEnabled(BEE_Layer layer, int32_t index, Boolean32 on);
TV_EXPORT ErrorCode BEE_CmdRenameEffect(BEE_Layer layer, int32_t index, const char* name);
// Sets arbitrary-data parameter `param` of effect `index` from its text
// form, scanned by the effect (the Text effect's text and font are their
// UTF-8 bytes), as one undo step ("Effect Text Change"). length -1: text is
// zero-terminated. 3 for a parameter of another type ("invalid arbitrary
// data index."); 518 (not reported) for an effect that cannot scan text.
TV_EXPORT ErrorCode BEE_CmdSetEffectParamText(BEE_Layer layer, int32_t index, int32_t param, const char* text,
                                              int32_t length);
// The layer that layer parameter `param` of effect `index` reads (its frames
// and sound, checked out by the effect), null for none: one of the effect's
// composition, found by its ID, so a deleted layer reads as none until its
// deletion is undone. Setting it is one undo step ("Effect Layer Change");
// target null chooses none. 3 for a parameter of another type, the effect's
// own layer or another composition's.
TV_EXPORT ErrorCode BEE_GetEffectParamLayer(BEE_Layer layer, int32_t index, int32_t param, BEE_Layer* target);
TV_EXPORT ErrorCode BEE_CmdSetEffectParamLayer(BEE_Layer layer, int32_t index, int32_t param,
                                               BEE_Layer target);
// Replaces the keyframes of a layer's stream with stream (command 10,
// "Keyframe Change"): on success the layer owns stream; on failure the
// caller keeps it. Successive changes of one stream collapse into one step.
TV_EXPORT ErrorCode BEE_CmdSetStreamKeys(BEE_Layer layer, int32_t index, TDB_Stream stream);

// ---- Footage sources ------------------------------------------------------------------
// A footage item's source is a SeqSpec of the footage modules (PIN.h); its
// description (BEE_GetFootageDesc) follows from it. Items made from a
// description alone have no SeqSpec.
// Makes a footage item for seq in folder (null: the root); the item owns seq
// on success, the caller keeps it on failure.
TV_EXPORT ErrorCode BEEp_MakeFootageFromSeqSpec(BEE_Item folder, PIN_SeqSpecH seq, BEE_Item* item);
// Imports file (PIN_Import_* options) as a new footage item in folder (null:
// the root), one undoable step (command 14, "Import"); *item null on failure.
TV_EXPORT ErrorCode BEE_CmdImportFootage(BEE_Item folder, FILE_SpecH file, uint32_t options, BEE_Item* item);
// The item's SeqSpec (still the item's), null for an item without one.
TV_EXPORT ErrorCode BEE_GetFootageSeqSpec(BEE_Item footage, PIN_SeqSpecH* seq);
// Gives a footage item another source (command 56, "Replace Footage"): on
// success the item owns seq and the old source is kept for undo; on failure
// the caller keeps seq. 10 for an item that is not footage.
TV_EXPORT ErrorCode BEE_CmdReplaceFootage(BEE_Item footage, PIN_SeqSpecH seq);
// Points a footage item at another file, read the way its source was (a
// numbered sequence stays a sequence), as one "Replace Footage" step.
TV_EXPORT ErrorCode BEE_CmdRelinkFootage(BEE_Item footage, FILE_SpecH file);
// Draws the footage item's frame at time (in the footage's own time) into a
// 32-bit World of its size scaled by scale (may be null), through its module;
// 5 for an item without a SeqSpec.
TV_EXPORT ErrorCode BEE_DrawFootageFrame(BEE_Item footage, Time time, const Ratio scale[2], BM_World world);

// ---- Composition rendering ---------------------------------------------------------------
// An item's frame: a composition composites its layers bottom to top into a
// World of its downsampled size (scaled into a World of another size), a
// solid fills, footage is drawn by its module at the request time (footage
// without a module gives a cleared World). Renders are deterministic.
//
// What callers may rely on:
// - Every temporary World is released on every path. A non-zero answer of
//   the host callback to a progress poll ends the frame with 517 (no report);
//   the destination then holds the layers composited so far.
// - Failures: the item and layer checks (2), 3 for a null argument or a
//   World that is not 32 bits deep, the codes of the pixel, mask, effect and
//   footage packages passed up, 1 (reported) for compositions nested deeper
//   than BEE_MaxRenderDepth (a damaged project that nests a composition in
//   itself). Out-parameters are cleared first.
// - Pixels are straight (unmatted) alpha-red-green-blue throughout.
// - A field render (request field 1 or 2) changes only the rows of its field
//   in the destination, also when a layer needs whole frames or the frame is
//   scaled; the other field's rows keep what they held.
enum { BEE_MaxRenderDepth = 64, BEE_MotionBlurSamples = 17 };
// Draws item's frame for request into world (locked or not; its size decides
// the scale). The cache is neither consulted nor filled.
TV_EXPORT ErrorCode BEEp_RenderItemFrame(BEE_Item item, const BEE_RenderRequest* request, BM_World world);
// Renders item's frame at its own (downsampled) size without consulting the
// cache; the frame becomes a cache entry checked out to the caller.
TV_EXPORT ErrorCode BEE_RenderCompFrameCheckout(BEE_Item item, const BEE_RenderRequest* request,
                                                MC_Receipt* receipt);
TV_EXPORT ErrorCode BEE_RenderCompFrameCheckin(MC_Receipt receipt);
// The cached form: a cached frame of that size when the request is cacheable
// and one is there, else a new render that becomes the cache entry. The
// receipt's World (BEE_GetReceiptWorld) is the frame; check it in with
// BEE_CheckinItemFrame.
TV_EXPORT ErrorCode BEE_CheckoutItemFrame(BEE_Item item, const BEE_RenderRequest* request, int32_t width,
                                          int32_t height, MC_Receipt* receipt);
// The layer's source frame (a solid's fill, a nested composition's frame,
// footage) at the layer time of the composition time, at the source's full
// size, in a new World the caller disposes; *world null for an inactive
// layer.
TV_EXPORT ErrorCode BEE_CheckoutLayerSourceFrame(BEE_Layer layer, const BEE_RenderRequest* request,
                                                 BM_World* world);
// Source pixels to composition pixels at a composition time: minus the
// anchor point, the source's pixel aspect, scale, rotation (plus the path's
// direction with the orient switch), the composition's pixel aspect
// inverted, plus the position. Pixel aspects that are not positive count as
// 1. Row vectors: x' = x m0 + y m3 + m6.
TV_EXPORT ErrorCode BEE_GetLayerToCompMatrix(BEE_Layer layer, Time compTime, FloatMatrix* matrix);
// 1 (reported) for a singular matrix; *inverse the identity on failure.
TV_EXPORT ErrorCode BEE_InvertMatrix(const FloatMatrix* matrix, FloatMatrix* inverse);
TV_EXPORT ErrorCode BEE_TransformFloatPointSourceToComp(BEE_Layer layer, Time compTime, FloatPoint* point);
TV_EXPORT ErrorCode BEE_TransformFloatPointCompToSource(BEE_Layer layer, Time compTime, FloatPoint* point);
// Whole pixels, rounded to the nearest.
TV_EXPORT ErrorCode BEE_TransformPointSourceToComp(BEE_Layer layer, Time compTime, LPoint* point);
TV_EXPORT ErrorCode BEE_TransformPointCompToSource(BEE_Layer layer, Time compTime, LPoint* point);
// Whether the composition point lies on the layer's source rectangle (the
// layer active and its video on).
TV_EXPORT ErrorCode BEE_LayerHitCheck(BEE_Layer layer, Time compTime, FloatPoint point, Boolean32* hit);
// The topmost layer hit at the composition point (null when none).
TV_EXPORT ErrorCode BEE_CompHitCheck(BEE_Item comp, Time compTime, FloatPoint point, BEE_Layer* layer);
// Whether a nested composition's layers may be composited straight into the
// outer composition (the layer's matrix concatenated to theirs): the layer
// has the collapse switch and a composition source, no enabled effects, no
// masks, no track matte, is not the matte of the layer below, uses the
// normal mode without transfer flags at a constant 100 % opacity and no
// motion blur, and the nested composition has the outer one's pixel aspect
// and only normal-mode layers without track mattes. The result then equals
// the nested frame composited whole, up to resampling and the nested frame's
// edges, which no longer clip.
TV_EXPORT ErrorCode BEE_CouldLayerCompFlatten(BEE_Layer layer, Boolean32* result);
// Whether the source could be drawn at its transformed size: the layer has
// the collapse switch, its source is a solid (not showing a proxy), and it
// has no masks and no enabled effects. Such a layer is filled at the size
// its matrix gives it, only over the part that reaches the destination, and
// that fill is transformed: the pixels equal those of the whole solid
// transformed inside the layer and differ only along its edges, where the
// sampling of a fill of another size covers a pixel slightly differently.
TV_EXPORT ErrorCode BEE_CouldLayerRasterize(BEE_Layer layer, Boolean32* result);

// Row threads: the heavy pixel routines of a frame (the layer transform,
// the transfer modes, mask coverage and the fast blur) share their rows
// among up to count threads while the engine renders; the bytes are those of
// one thread. 0 sets the number of processors (the start value, and the
// value again after the engine's death), 1 renders on the caller's thread
// alone; other values 1 to 64.
// 3 (reported) for another count; *count the value in force.
TV_EXPORT ErrorCode BEE_SetRenderThreads(int32_t count);
TV_EXPORT ErrorCode BEE_GetRenderThreads(int32_t* count);

// ---- Composition rendering: display, thumbnails, export, selection --------------------
// The cached form of BEE_CheckoutLayerSourceFrame: the source's frame at the
// layer's source time, checked out of the frame cache (rendered and cached on
// a miss) at the source's full size; *receipt null for an inactive layer or a
// layer without a source. Check it in with BEE_CheckinItemFrame.
TV_EXPORT ErrorCode BEE_CheckoutCachedLayerSourceFrame(BEE_Layer layer, const BEE_RenderRequest* request,
                                                       MC_Receipt* receipt);
// Display frames: the item's frame (through the cache when the request is
// cacheable) scaled to world's size and matted on an opaque background:
// *background (alpha ignored), or when null a composition's background
// colour and black for other items. world ends fully opaque.
TV_EXPORT ErrorCode BEE_DrawMattedItemFrame(BEE_Item item, const BEE_RenderRequest* request,
                                            const uint32_t* background, BM_World world);
// The same for a layer's source frame at the layer's source time; an
// inactive layer gives the background alone.
TV_EXPORT ErrorCode BEE_DrawMattedSourceFrame(BEE_Layer layer, const BEE_RenderRequest* request,
                                              const uint32_t* background, BM_World world);
// A thumbnail: the item's frame at its current time, fitted inside world
// with its pixel aspect kept, centred and matted as above; the rest of world
// is cleared to zeros. Folders and render items leave world cleared.
TV_EXPORT ErrorCode BEE_DrawItemThumbnail(BEE_Item item, BM_World world);
// Writes the item's frame for request (at its downsampled size) to file
// through the footage module of signature (0: the module that claims the
// file's name) and its single-frame output. 3 (reported) when no module
// claims the file, the module framework's 9985 (reported there) when the
// module writes no single frames; a failed write leaves no file under the
// name. A cacheable request writes the cached frame (caching it when
// rendered); any other frame is rendered for the file and not cached.
TV_EXPORT ErrorCode BEE_SaveFrameAs(BEE_Item item, const BEE_RenderRequest* request, FILE_SpecH file,
                                    FourCC signature);
// Handles of a layer's transformed bounds, for hit checks of the selection.
enum {
  BEE_HandleNone = -1,  // the layer's body
  BEE_HandleTopLeft = 0, BEE_HandleTop, BEE_HandleTopRight, BEE_HandleRight, BEE_HandleBottomRight,
  BEE_HandleBottom, BEE_HandleBottomLeft, BEE_HandleLeft,
  BEE_HandleAnchor = 8,
};
// Which of the given (selected) layers of comp, or which of their handles,
// lies under the composition point: the layers are taken in stacking order,
// top first; a handle within radius composition pixels of the point wins
// over any body, else the topmost layer whose source rectangle holds the
// point (*handle BEE_HandleNone). *layer null and *handle BEE_HandleNone when
// nothing is hit; 3 for a layer that is not comp's.
TV_EXPORT ErrorCode BEE_CompHitCheckSelection(BEE_Item comp, Time compTime, FloatPoint point,
                                              const BEE_Layer* layers, int32_t count, double radius,
                                              BEE_Layer* layer, int32_t* handle);

// ---- Stream values in user units ------------------------------------------------------
// Streams hold values in internal units; these operations read and write
// them in the units a user sees. "Anchor Point" is kept as a fraction of the
// source's width and height (pixels to the user), "Scale" with 1.0 for
// 100 %, "Opacity" and every "Mask Opacity" from 0 to 1 (percent); the other
// layer and mask streams need no conversion. Effect parameters are kept as
// their effect reads them and are validated by the effect package. An axis
// whose source dimension is 0 is not scaled in either direction.
//
// Times: a composition time (mapped to layer time) when given, else a layer
// time when given, else the layer's current time.
//
// Failures: those of BEE_StreamLookup (1 "strange situation" for indices 10
// to 127 and negative ones, 2 for a damaged layer), 10 (reported) for a mask,
// effect or parameter the layer does not have and for a standard stream it
// does not have (the layer-level mask shape and the markers), 3 (reported) for a null
// out-pointer, a direction other than 0 and 1, or a value that is not
// finite; the codes of TDB, OM and FLT are passed up. Out-parameters are
// zeroed first.
enum {
  BEE_MaxStreamValues = 8,
  BEE_Limit_ClampMin = 0x1,
  BEE_Limit_ClampMax = 0x2,
  BEE_Limit_Round = 0x4,
  BEE_Limit_NotNumeric = 0x8,
};
// A value at a time: count doubles, or (mask shapes) a shape. A shape that
// BEE_GetStreamFPV hands out is the caller's until BEE_UnGetStreamFPV.
typedef struct BEE_StreamValue {
  double values[BEE_MaxStreamValues];
  int32_t count;
  OM_Shape shape;
} BEE_StreamValue;
// Limits in user units (flags BEE_Limit_*).
TV_EXPORT ErrorCode BEE_GetStreamMinMax(BEE_Layer layer, int32_t index, uint32_t* flags, double* minimum,
                                        double* maximum);
TV_EXPORT ErrorCode BEE_GetStreamFPV(BEE_Layer layer, int32_t index, const Time* compTime, const Time* layerTime,
                                     BEE_StreamValue* value);
// Releases the shape of a value (nothing else needs releasing); clears it.
TV_EXPORT ErrorCode BEE_UnGetStreamFPV(BEE_Layer layer, int32_t index, BEE_StreamValue* value);
// count values at count layer times: values receives count x dimension
// doubles in user units (dimension: the stream's, in *dimension).
TV_EXPORT ErrorCode BEE_GetStreamValues(BEE_Layer layer, int32_t index, int32_t count, const Time* layerTimes,
                                        double* values, int32_t* dimension);
// direction 1: internal to user units (then validated); 0: user to internal.
// values holds the stream's dimension count of doubles.
TV_EXPORT ErrorCode BEE_ConvertStreamFPV(BEE_Layer layer, int32_t index, int32_t direction, double* values);
// Clamps and rounds user values in place as the limits say; a value that is
// not a number becomes the minimum (or the maximum when only that clamps).
// changed (may be null): whether any value changed.
TV_EXPORT ErrorCode BEE_ValidateStreamValue(BEE_Layer layer, int32_t index, double* values, Boolean32* changed);
// 1 for a spatial stream, else its dimension count.
TV_EXPORT ErrorCode BEE_GetStreamTemporalDimension(TDB_Stream stream, int32_t* count);
// Speeds (per second) at count layer times in user units: count x temporal
// dimension doubles.
TV_EXPORT ErrorCode BEE_GetStreamTemporalVelocity(BEE_Layer layer, int32_t index, int32_t count,
                                                  const Time* layerTimes, double* velocities);
// Converts one key's speeds (temporal dimension doubles); direction as above.
TV_EXPORT ErrorCode BEE_ConvertStreamTemporalVelocity(BEE_Layer layer, int32_t index, int32_t direction,
                                                      double* velocity);
// Sets the value at a time, undoably (command 10, "Keyframe Change";
// successive sets of one stream collapse into one step). A constant stream
// takes the value; an animated one gets a key at the time (its
// interpolation chosen from its neighbours) or has that key's value changed.
// User values are validated before they are stored (opacity 150 stores
// 100 %). An effect parameter is set through the effect package and the
// effect is told (a change it requests in answer does not call it again).
// Mask shapes take value->shape (copied; an absolute path in layer pixels).
TV_EXPORT ErrorCode BEE_CmdSetStreamFPV(BEE_Layer layer, int32_t index, const Time* compTime, const Time* layerTime,
                                        const BEE_StreamValue* value);
// Switches a stream between constant and animated in one "Interpolation
// Change" step (command 23). Nothing happens when it already is. time (layer
// time; null: the layer's current time) is where the key is made when
// animating and where the value is taken when holding. Switching "Time
// Remap" on makes keys (0 -> 0 s) and (source duration -> its length in
// seconds) and ignores time; 3 (reported) for a source without a valid
// duration.
TV_EXPORT ErrorCode BEE_CmdSetStreamVary(BEE_Layer layer, int32_t index, const Time* time, Boolean32 vary);

// ---- Keyframe editing -----------------------------------------------------------------
// Each is one undo step; key is a key index of the stream (10, reported, for
// a key the stream does not have; 3 for a constant stream). Speeds are in
// user units per second, influences 0 to 1 (limited), tangents in user units.
// "Interpolation Change" (command 24; key -1: every key).
TV_EXPORT ErrorCode BEE_CmdSetKeyInterps(BEE_Layer layer, int32_t index, int32_t key, int8_t inInterp,
                                         int8_t outInterp);
// "Ease Adjustment" (command 48): temporal dimension doubles each.
TV_EXPORT ErrorCode BEE_CmdSetKeyEase(BEE_Layer layer, int32_t index, int32_t key, const double* inVelocity,
                                      const double* inInfluence, const double* outVelocity,
                                      const double* outInfluence);
// "Tangent Adjustment" (command 49): spatial streams only (3 otherwise).
TV_EXPORT ErrorCode BEE_CmdSetKeySpaceTangents(BEE_Layer layer, int32_t index, int32_t key, const double* inTangent,
                                               const double* outTangent);
// "Keyframe Flag" (command 52): the bits of mask take those of flags.
TV_EXPORT ErrorCode BEE_CmdSetKeyFlags(BEE_Layer layer, int32_t index, int32_t key, uint16_t mask, uint16_t flags);
// "Move Keyframes" (command 10): keys first .. first + count - 1 move by
// delta (layer time); 0x1D01 when one would land on a key that stays.
TV_EXPORT ErrorCode BEE_CmdMoveKeyframes(BEE_Layer layer, int32_t index, int32_t first, int32_t count, Time delta);
// "Move Keyframes" (command 10): the keys' times from the first of them are
// multiplied by factor (positive).
TV_EXPORT ErrorCode BEE_CmdStretchKeyframes(BEE_Layer layer, int32_t index, int32_t first, int32_t count,
                                            Ratio factor);
// "Keyframe Change" (command 10): removes one key; removing the last key
// leaves the stream constant at that key's value.
TV_EXPORT ErrorCode BEE_CmdDeleteKeyframe(BEE_Layer layer, int32_t index, int32_t key);

// ---- Time markers ---------------------------------------------------------------------
// A composition has BEE_TimeMarkerCount numbered time markers, each unset or
// at a composition time. 3 (reported) for a number outside 0..9 or a time
// without a scale; 3 for an item that is not a composition.
enum { BEE_TimeMarkerCount = 10 };
// The marker's time, or the invalid time when it is not set.
TV_EXPORT ErrorCode BEE_GetCompTimeMarker(BEE_Item comp, int32_t number, Time* time);
// "Time Marker Change" (command 50): sets the marker to time, or (time null)
// removes it.
TV_EXPORT ErrorCode BEE_CmdSetCompTimeMarker(BEE_Item comp, int32_t number, const Time* time);

// ---- Project files ----------------------------------------------------------------------
// A project is saved as one chunked file ("RIFX" of form "Egg!", version 22).
// Saving goes through the atomic replacement: a save that fails anywhere
// leaves the file on disk as it was. Opening and importing read and check
// the whole file before anything of the open project changes; a damaged
// file fails with BEE_ErrProjectFile and one report naming the chunk path
// and offset (or the code of the package whose data is damaged), and the
// open project stays as it was. Files of versions 11 to 21 are converted;
// older and newer ones are refused with 9.
enum {
  BEE_ErrProjectFile = 0x1A4A,  // "not a valid Project file." / "strange data in project file."
};
// What the host hears at selectors 3 (after the items, to add chunks inside
// the "RIFX" container) and 4 (after reading, to read them).
typedef struct BEE_FileChunkNote {
  SLU_FileContext* file;
  const SLU_Chunk* chunk;
} BEE_FileChunkNote;
// Command 4's first word: what to save and where.
typedef struct BEE_SaveParams {
  FILE_SpecH file;          // null: the project's own file
  uint32_t headerValue1;    // kept in the header as given
  uint32_t headerValue2;
} BEE_SaveParams;
// Command 5's first word; converted is set by the command.
typedef struct BEE_OpenParams {
  FILE_SpecH file;
  Boolean32 keepMissingEffects;
  Boolean32 converted;      // out: the file was converted and opens untitled
} BEE_OpenParams;
// Command 6: words file (FILE_SpecH) and target folder (null: the root).

// Saves the project (command 4). file null saves to the project's own file
// (3, reported, for an untitled project); another file is "save as": on
// success the project takes that file's path. 787 for a locked target.
// Clears the dirty flag on success.
TV_EXPORT ErrorCode BEE_CmdSaveProject(FILE_SpecH file, uint32_t headerValue1, uint32_t headerValue2);
// Opens a project file in place of the open project (command 5). *converted
// (may be null) tells that the file was converted from an older version; the
// project then has no file path.
TV_EXPORT ErrorCode BEE_CmdOpenProject(FILE_SpecH file, Boolean32 keepMissingEffects, Boolean32* converted);
// Imports a project file's items into folder (null: the root) (command 6).
// Imported items get new IDs above those of the project.
TV_EXPORT ErrorCode BEE_CmdImportProject(FILE_SpecH file, BEE_Item folder);
// The project's file path ("" while untitled), cut to size bytes.
TV_EXPORT ErrorCode BEE_GetProjectPath(char* path, int32_t size);
// For tests of the conversion of older files: saves with the given file
// version (11..22) and the record sizes of that version.
TV_EXPORT ErrorCode BEEp_SaveProjectVersion(FILE_SpecH file, uint16_t version);
// The proxy of an item (null: none). Setting hands seq to the item (the old
// proxy is disposed); not undoable.
TV_EXPORT ErrorCode BEEp_SetItemProxy(BEE_Item item, PIN_SeqSpecH seq);
TV_EXPORT ErrorCode BEEp_GetItemProxy(BEE_Item item, PIN_SeqSpecH* seq);

// Footage interpretation: replaces the footage item's interpretation (fields,
// alpha, pulldown, pixel aspect, rate, looping; PIN_SetInterpretation) as one
// undoable step (command 42, "Interpret Footage"); the item's description
// follows. 10 for an item that is not footage, 5 for one without a source.
TV_EXPORT ErrorCode BEE_CmdInterpretFootage(BEE_Item footage, const PIN_Interpretation* interp);

// ---- Proxies and remembered interpretations ------------------------------------------------
// Each one undoable step. An item (footage or composition) takes proxy as
// its proxy (command 53, "Set Proxy"; null removes it); the old proxy is
// kept for undo. The proxy switched on or off (54, "Proxy Toggle"), its
// interpretation changed (43, "Interpret Proxy"; 10 without a proxy), and a
// footage item's interpretation remembered (61, "Remember Interpretation"),
// read back with BEE_GetRememberedInterpretation (*has 0 before any).
TV_EXPORT ErrorCode BEE_CmdSetProxy(BEE_Item item, PIN_SeqSpecH proxy);
TV_EXPORT ErrorCode BEE_CmdProxyToggle(BEE_Item item, Boolean32 on);
TV_EXPORT ErrorCode BEE_CmdInterpretProxy(BEE_Item item, const PIN_Interpretation* interp);
TV_EXPORT ErrorCode BEE_CmdRememberInterpretation(BEE_Item footage);
TV_EXPORT ErrorCode BEE_GetRememberedInterpretation(PIN_Interpretation* interp, Boolean32* has);
// ---- Composition audio --------------------------------------------------------------------
// The sound of an item as a sound world (SND.h) covering start .. start +
// duration: footage through its module, a composition as the mix of its
// layers (bottom to top), each layer's sound through its time remapping, its
// audio effects, its "Audio Levels" (dB, Left and Right) and its timing
// (offset, stretch, reversal, in and out points). Layers whose audio is
// switched off (BEE_SwitchAudioMute), whose source has no sound or that are
// silent over the span give nothing.
//
// What callers may rely on:
// - A rendered world is in the requested format and holds exactly the
//   frames of the span: frame i sits at start + i / rate, and there are
//   ceil(rate * (start + duration) - 1e-8) - ceil(rate * start - 1e-8) of
//   them. Silence where nothing sounds. Layers line up sample for sample, so
//   a layer whose offset is a whole number of frames mixes without
//   resampling.
// - The progress record (optional) is updated before each stage, and the
//   host callback then hears a progress poll (selector 1, BEE_Progress: the
//   stage, the layer's index, the composition's layer count); a non-zero
//   answer ends the render with 517 (no report). Stages in order:
//   6 a composition, 7 one of its layers (bottom first), 8 the layer's source,
//   10 its audio effects, 12 its levels, then 13 the composition's final
//   conversion.
// - Failures dispose every world made and answer the code with *world null:
//   3 for a null argument, an invalid format or span, or a stretch of 0; 1
//   for compositions nested deeper than BEE_MaxRenderDepth; the codes of SND,
//   FLT and PIN passed up.
// - Intermediate worlds are disposed as soon as they are mixed.
enum {
  BEE_SwitchAudioMute = 0x20000,  // the layer's audio is off
};
enum {
  BEE_SoundStageComp = 6,
  BEE_SoundStageLayer = 7,
  BEE_SoundStageSource = 8,
  BEE_SoundStageEffects = 10,
  BEE_SoundStageLevels = 12,
  BEE_SoundStageConvert = 13,
};
typedef struct BEE_SoundProgress {
  int32_t stage;   // BEE_SoundStage*
  int32_t layer;   // the layer's index in its composition (stages 7 to 12)
  int32_t layers;  // the composition's layer count
} BEE_SoundProgress;
// quality: 1 best, 0 draft, -1 best for every layer whatever its quality.
// Items other than footage and compositions, and footage without sound,
// give *world null (not a failure).
TV_EXPORT ErrorCode BEE_RenderItemSound(BEE_Item item, int32_t quality, Time start, Time duration,
                                        const SND_Format* format, BEE_SoundProgress* progress, SND_World* world);
// A composition always gives a world (silence when no layer sounds).
TV_EXPORT ErrorCode BEE_RenderCompSound(BEE_Item comp, Boolean32 forceBest, Time start, Time duration,
                                        const SND_Format* format, SND_World* world);
// start and duration in composition time; *world null for a silent layer.
TV_EXPORT ErrorCode BEE_RenderLayerSound(BEE_Layer layer, Boolean32 forceBest, Time start, Time duration,
                                         const SND_Format* format, BEE_SoundProgress* progress, SND_World* world);
TV_EXPORT ErrorCode BEEp_LayerHasAudio(BEE_Layer layer, Boolean32* hasAudio);
TV_EXPORT ErrorCode BEEp_ItemHasAudio(BEE_Item item, Boolean32* hasAudio);
// ---- Selection ------------------------------------------------------------------------
// Each composition keeps a selection of layers, masks, mask vertices,
// streams and keyframes. A selection is an ordered set of entries, each a
// layer (or a stream of a layer: a mask is its shape stream,
// BEE_StreamFirstMask + 3 x mask) with the sub-items picked in it (mask
// vertices, keyframe indices), ordered by layer ID and stream index, so
// indexed access and iteration give the same order in every run.
// Entries of layers that are no longer in a composition are skipped by
// every query.
typedef struct BEE_SelectionRec* BEE_Selection;
// Descriptor kinds.
enum {
  BEE_SelKindLayer = 1,     // layer
  BEE_SelKindMask = 2,      // layer (null: every layer), mask index
  BEE_SelKindStream = 4,    // layer, stream index
  BEE_SelKindVertex = 6,    // layer, mask index (BEE_SelAllMasks: every mask), vertex index
};
#define BEE_SelAllMasks ((intptr_t)(int32_t)0x80000000)
typedef struct BEE_SelDesc {
  intptr_t kind;
  BEE_Layer layer;
  intptr_t index;           // mask index or stream index
  intptr_t vertex;          // vertex index (kind 6)
} BEE_SelDesc;
enum {
  BEE_ErrSelectedTwice = 0x1A07,    // "Mask Vertex Selected Twice."
  BEE_ErrSelNotFound = 0x1B05,      // "Selected Mask Vertex Not Found."
  BEE_ErrSelType = 0x1701,          // "Illegal Selection Type." and the kind-6 limits
  BEE_MaxSelectedSubItems = 1 << 20,
};
typedef ErrorCode (*BEE_SelVisitor)(const BEE_SelDesc* thing, intptr_t reference);
// Failures of the operations below: 3 (reported) for a null selection or
// out-pointer, a kind outside 1, 2, 4, 6, a layer that is damaged (2), a mask
// index outside the layer's masks or a vertex outside the mask's shape (10,
// reported); the codes above as their texts say. Out-parameters are cleared
// first.
TV_EXPORT ErrorCode BEE_NewSelection(BEE_Selection* selection);
// A null selection copies to null.
TV_EXPORT ErrorCode BEE_DuplicateSelection(BEE_Selection selection, BEE_Selection* copy);
// null is allowed.
TV_EXPORT ErrorCode BEE_DisposeSelection(BEE_Selection selection);
// Selects (select 1) or deselects one thing; *changed (may be null) tells
// whether anything changed. Selecting a mask none of whose vertices is
// selected selects all of them; deselecting the last selected vertex of a
// mask deselects the mask. A vertex selected twice answers 0x1A07, one not
// selected answers 0x1B05 on deselection; the selection is then unchanged.
TV_EXPORT ErrorCode BEE_Select(BEE_Selection selection, Boolean32 select, const BEE_SelDesc* descriptor,
                               Boolean32* changed);
// Exactly one of kind and descriptor is given (else 0x1701 "Illegal
// Selection Type."). Given a kind: whether anything of it is selected;
// kinds 3 and 5 never are.
TV_EXPORT ErrorCode BEE_IsSelected(BEE_Selection selection, int32_t kind, const BEE_SelDesc* descriptor,
                                   Boolean32* result);
// Whether exactly one thing of the descriptor's kind and scope is selected.
TV_EXPORT ErrorCode BEE_IsOneSelected(BEE_Selection selection, const BEE_SelDesc* descriptor, Boolean32* result);
// Counts, indexed access and iteration over the things of the descriptor's
// kind within its scope (a layer, or every layer for kinds 1, 2 and 4; kind
// 6 needs a layer: 0x1701 at severity 4 otherwise). An index beyond the
// count answers 10 (reported).
TV_EXPORT ErrorCode BEE_CountSelected(BEE_Selection selection, const BEE_SelDesc* descriptor, int32_t* count);
TV_EXPORT ErrorCode BEE_GetIndSelected(BEE_Selection selection, const BEE_SelDesc* descriptor, int32_t index,
                                       BEE_SelDesc* thing);
// Selects or deselects everything of the descriptor's kind in its scope
// (kind 1: the layers of the layer's composition; 2: the layer's masks; 4:
// the layer's streams; 6: the vertices of the mask, or of every mask).
TV_EXPORT ErrorCode BEE_SelectAll(BEE_Selection selection, Boolean32 select, const BEE_SelDesc* descriptor);
// Visits the things BEE_GetIndSelected would give, in order; a non-zero
// answer stops the walk and is returned.
TV_EXPORT ErrorCode BEE_SelIterate(BEE_Selection selection, const BEE_SelDesc* descriptor, BEE_SelVisitor visitor,
                                   intptr_t reference);
TV_EXPORT ErrorCode BEE_SelectLayer(BEE_Selection selection, BEE_Layer layer, Boolean32 select, Boolean32* changed);
TV_EXPORT ErrorCode BEE_IsLayerSelected(BEE_Selection selection, BEE_Layer layer, Boolean32* result);
TV_EXPORT ErrorCode BEE_CountSelectedLayers(BEE_Selection selection, int32_t* count);
// "Selected Layer Not Found." (10) when the selection holds no layers;
// "invalid inquiry of selected layer %ld." (10) for an index beyond them.
TV_EXPORT ErrorCode BEE_GetIndSelectedLayer(BEE_Selection selection, int32_t index, BEE_Layer* layer);
// Keyframes are sub-items of their stream's entry: selecting one selects
// the stream; deselecting the last one leaves the stream selected. key is
// an index of the stream's keys (10 for a key the stream does not have).
TV_EXPORT ErrorCode BEE_SelectKeyframe(BEE_Selection selection, BEE_Layer layer, int32_t index, int32_t key,
                                       Boolean32 select, Boolean32* changed);
TV_EXPORT ErrorCode BEE_IsKeyframeSelected(BEE_Selection selection, BEE_Layer layer, int32_t index, int32_t key,
                                           Boolean32* result);
// As BEE_IsKeyframeSelected, or the key's layer is selected as a whole.
TV_EXPORT ErrorCode BEE_IsKeyframeSelectedPlus(BEE_Selection selection, BEE_Layer layer, int32_t index,
                                               int32_t key, Boolean32* result);
TV_EXPORT ErrorCode BEE_CountSelectedKeyframes(BEE_Selection selection, int32_t* count);
// Forgets every selected keyframe (the streams stay selected).
TV_EXPORT ErrorCode BEE_DeselectAllKeyframes(BEE_Selection selection);
// The composition's own selection (never null while the composition lives;
// it changes only through command 7). Do not dispose it.
TV_EXPORT ErrorCode BEE_GetCompSelection(BEE_Item comp, BEE_Selection* selection);
// Command 7 ("Selection"; words: composition, BEE_Selection taken over by
// the command): replaces the composition's selection by a copy of
// selection. Successive changes collapse into one undo step; the inverse
// keeps the old selection until it is dropped.
TV_EXPORT ErrorCode BEE_CmdSetCompSelection(BEE_Item comp, BEE_Selection selection);
// Forgets every selected keyframe of the composition's selection (the
// streams stay selected) through command 7, without a group of its own: it
// joins the undo step that is open, or the one before it. Nothing is done
// when no keyframe is selected.
TV_EXPORT ErrorCode BEE_CmdDeselectAllKeyframes(BEE_Item comp);

// ---- Scrap ----------------------------------------------------------------------------
// A scrap holds copied layers (kind 1) or copied streams with their keys
// (kind 2, with the frame rate, the source size and the source and
// composition pixel aspects they were copied with); kind 0 is empty. Scraps
// are kept in BEE_ScrapSlots numbered slots; command 8 ("Copy"; words: slot,
// BEE_Scrap taken over) puts a scrap into a slot, and its inverse keeps the
// old one until it is dropped. The scrap in a slot belongs to the engine.
typedef struct BEE_ScrapRec* BEE_Scrap;
enum {
  BEE_ScrapSlots = 4,
  BEE_ScrapEmpty = 0,
  BEE_ScrapLayers = 1,
  BEE_ScrapKeyframes = 2,
  BEE_ErrKeyText = 0x1A03,      // "invalid clipboard format -- ..."
};
typedef struct BEE_ScrapInfo {
  uint16_t kind;
  int32_t count;                // layers or streams
  double framesPerSecond;
  int32_t sourceWidth, sourceHeight;
  double sourcePixelAspect, compPixelAspect;
} BEE_ScrapInfo;
typedef ErrorCode (*BEE_ScrapStreamVisitor)(int32_t index, TDB_Stream stream, intptr_t reference);
TV_EXPORT ErrorCode BEE_NewScrap(BEE_Scrap* scrap);
// Frees a scrap with what it holds (null allowed). Never a scrap in a slot.
TV_EXPORT ErrorCode BEE_DisposeScrap(BEE_Scrap scrap);
// The scrap in a slot (null while the slot is empty); 3 for a slot outside
// 0..BEE_ScrapSlots - 1.
TV_EXPORT ErrorCode BEE_QueryScrap(int32_t slot, BEE_Scrap* scrap);
TV_EXPORT ErrorCode BEE_GetScrapInfo(BEE_Scrap scrap, BEE_ScrapInfo* info);
// Visits the streams of a keyframe scrap (stream index as copied, the
// stream in internal units); a non-zero answer stops the walk.
TV_EXPORT ErrorCode BEE_ForEachScrapStream(BEE_Scrap scrap, BEE_ScrapStreamVisitor visitor, intptr_t reference);
// Turns every stream of a keyframe scrap into a constant holding the value
// of its first key.
TV_EXPORT ErrorCode BEE_MakeScrapStreamsConstant(BEE_Scrap scrap);
// Puts scrap into slot (command 8); the engine takes it over even on failure.
TV_EXPORT ErrorCode BEE_CmdSetScrap(int32_t slot, BEE_Scrap scrap);
// A new keyframe scrap of the selected keyframes (a selected stream without
// selected keys gives the whole stream). All must belong to one layer:
// "can't copy keyframes from multiple layers." (3) otherwise.
TV_EXPORT ErrorCode BEE_CopyKeysToNewScrap(BEE_Selection selection, BEE_Scrap* scrap);
// A new keyframe scrap of every stream of the layer that has a value
// (standard, mask and effect parameter streams), with all their keys.
TV_EXPORT ErrorCode BEE_CopyLayerStreamsToNewScrap(BEE_Layer layer, BEE_Scrap* scrap);
// Adds a copy of layer to a scrap that is empty or holds layers (3 for a
// keyframe scrap).
TV_EXPORT ErrorCode BEE_CopyLayerToScrap(BEE_Scrap scrap, BEE_Layer layer);
// Pastes a keyframe scrap onto the layer as one undo step ("Paste
// Keyframes"): each copied stream goes to the layer's stream of the same
// index (effect parameters: the same parameter of the n-th effect of that
// class, n counting the copied effects of the class), its first key at the
// layer's current time, spacing kept; a constant copied stream sets the
// value at that time. Values are carried in user units (the scrap's source
// size to the layer's). Every stream is checked before anything changes:
// custom against numeric data, spatial against temporal data and differing
// dimension counts fail with 3 and their message; nothing is pasted.
TV_EXPORT ErrorCode BEE_CmdPasteKeyframesIntoLayer(BEE_Layer layer, BEE_Scrap scrap);
// As above for a scrap of one stream, pasted onto the layer's stream index
// (3 for a scrap of more streams).
TV_EXPORT ErrorCode BEE_CmdPasteKeyframesIntoStream(BEE_Layer layer, int32_t index, BEE_Scrap scrap);
// Pastes a layer scrap into the composition above its topmost layer as one
// undo step ("Paste Layers"); the pasted layers become the composition's
// selection. A source that is the composition or contains it is replaced by
// a red solid "Was Circular Reference" (with a warning), a source that no
// longer exists by a red solid "Original Source Deleted".
TV_EXPORT ErrorCode BEE_CmdPasteLayersIntoComp(BEE_Item comp, BEE_Scrap scrap);

// ---- Keyframe text -------------------------------------------------------------------
// The public clipboard forms of a scrap: "TEXT" (keyframe text, CR LF line
// ends, numbers in the C locale whatever the user's locale) and "AICB" (a
// mask path as an Encapsulated PostScript text).
#define BEE_PublicText 0x54455854u    // 'TEXT'
#define BEE_PublicPath 0x41494342u    // 'AICB'
// A keyframe scrap gives "TEXT" (or "AICB" when it holds a mask path
// alone); any other scrap gives "TEXT" holding the message "Tavelo must
// have keyframes selected from one layer in order to export them as
// text.". *text is a new zero-terminated handle of exactly the text's
// length plus the zero.
TV_EXPORT ErrorCode BEE_ConvertScrapToPublic(BEE_Scrap scrap, uint32_t* type, Handle* text);
// Reads size bytes of public data. "TEXT" that begins (after white space)
// with the keyframe header is read into a new keyframe scrap; the first
// fault is reported as "invalid clipboard format -- <what> (line <n>, near
// column <c>)." and answers 0x1A03 with no scrap. Other text gives no scrap
// and no error. "AICB" becomes a scrap holding one mask path.
TV_EXPORT ErrorCode BEE_ConvertScrapFromPublic(uint32_t type, const char* data, int32_t size, BEE_Scrap* scrap);

// ---- Effect favorites ------------------------------------------------------------------
// A favorite is an effect chain saved in a file of its own ("RIFX" of form
// "FaFX": a 16-byte "head", then the chain as FLT_WriteParade writes it).
// Saving goes through the atomic replacement: a failed save leaves an
// existing file as it was. An existing file is replaced only with flags
// FILE_CreateReplace (else 792); script is ignored (names are UTF-8).
TV_EXPORT ErrorCode BEE_SaveFavorite(FILE_SpecH file, int32_t script, int32_t flags, Handle parade);
// Applies the favorite's effects to the layer, first to last, with their
// parameter values and names, as one undo step ("Apply Effect"). Effects that
// are not installed are left out and reported once (severity 4). A file that
// is not a favorite fails with 0x1A4A; a newer version with 9; more effects
// than the layer can take with 3, nothing applied.
TV_EXPORT ErrorCode BEE_CmdApplyFavorite(FILE_SpecH file, BEE_Layer layer);

// ---- Movie rendering -------------------------------------------------------------------
// BEE_CmdMakeMovie renders a composition over a span of time into one or
// more output modules, frame by frame with its sound, telling the host how
// far it is (selector 2) and letting the user stop. Everything the render
// changes in the project is rolled back through the undo machinery: the
// project is left as it was, with its dirty flag, and the redo stack empty.
//
// The host makes each OutputSpec (PIN_NewOutputSpec, PIN_SetOutputInfo,
// PIN_SetOutputFile and the module's own options) and disposes it after the
// render; the render starts, feeds and ends it. An output takes sound when
// its output information has a sound rate and channels.
//
// What callers may rely on:
// - Frames are numbered from 0 over [start, start + duration): the count of
//   whole frame durations in the span, at least one. A duration of 0 or less
//   renders 1/600 second (one frame). Frame k is the composition at start +
//   k x frame duration, written as output frame index k.
// - With fields, each output frame is two field renders into one World: the
//   first field (fieldOrder 1: the even rows, 2: the odd rows) at the frame's
//   time, the other half a frame later.
// - Coarse-to-fine order is kept only when every output is a still sequence
//   and none takes sound (a movie's frames and sound must arrive in order);
//   otherwise the frames go in order and a note (severity 32) says so.
// - With reserveFrames, each frame is first claimed through the first output
//   (a still sequence, else 3): frames another renderer claimed are skipped,
//   so renderers sharing one numbered sequence render each frame once.
//   framesDone counts the frames written and those held elsewhere.
// - Before each frame every output goes through PIN_ContinueOutput with the
//   settings' limits and an estimate of the frame's size: the bytes the
//   output's last frame took where the framework counts them (still
//   sequences), else the frame's uncompressed size (width x height x 4).
// - A stop (a non-zero answer to selector 1 or 2, or 517 from below) returns
//   0 with *stopped 1. Finished frames stay; a claimed frame not yet written
//   is unclaimed. Outputs are ended (a movie keeps the frames it got).
// - Failures: 3 (reported) for a null settings record, an item that is not a
//   composition, no outputs, a frame rate of 0 or less, a field order outside
//   0..2, a call while a render runs or while an undo group is open; 3 at
//   location 0x1A000099 "invalid output frame dimensions." for an output frame
//   without area; the codes of PIN, SND and the renderer, passed up. A frame
//   written to some outputs but not all adds the warning "last frame was
//   written to one or more output modules, but not all!" (severity 4).
// - An output that got no frame is not ended; when its file exists and is
//   smaller than 20481 bytes it is deleted, a larger one is kept with the
//   note "didn't delete empty file "<name>" because it was larger than
//   expected." (severity 32).
enum {
  BEE_MaxMovieOutputs = 16,
  BEE_EmptyOutputLimit = 20481,    // an empty output file this size or larger is kept
  BEE_SiteMakeMovie = 0x98,
  BEE_SiteOutputFrame = 0x99,      // "invalid output frame dimensions."
};
// One output of a render: the host's OutputSpec and what the render counts.
typedef struct BEE_MovieOutput {
  PIN_OutputSpecH out;
  int32_t framesWritten;   // cleared when the render starts
  int32_t continuations;   // continuation files or folders begun
  Boolean32 wrote;         // a frame reached the output
  int32_t reserved;
} BEE_MovieOutput;
// The render settings (the host's record).
typedef struct BEE_RenderSettings {
  BEE_Item comp;
  int32_t outputCount;          // 1..BEE_MaxMovieOutputs
  BEE_MovieOutput* outputs;
  Time start;
  Time duration;                // 0 or less: 1/600 second
  uint32_t frameRate;           // 16.16 frames a second
  int32_t fieldOrder;           // 0 whole frames, 1 upper (even rows) first, 2 lower first
  Boolean32 useResolution;      // render at the composition's downsampled size (else full size)
  Boolean32 reserveFrames;
  Boolean32 coarseToFine;
  // The output continuation limits, applied to every output before each
  // frame (PIN_ContinueOutput). Its state (overflowSlot, continuations) is
  // kept per output by the render, each starting from the values here; an
  // output's count is reported in its entry.
  PIN_ContinuationSettings continuation;
} BEE_RenderSettings;
// The status record of selector 2.
enum {
  BEE_MovieBegin = 1,        // before the first frame
  BEE_MovieRendering = 2,    // a frame is being rendered (frameIndex)
  BEE_MovieSound = 3,        // its sound is being rendered
  BEE_MovieWriting = 4,      // it is being written
  BEE_MovieFrameDone = 5,    // it was written (framesDone counts it)
  BEE_MovieSkipped = 6,      // another renderer holds it
  BEE_MovieEnded = 7,        // the render has ended (after the outputs were ended)
};
typedef struct BEE_MovieStatus {
  int32_t framesDone;
  int32_t framesTotal;
  int32_t elapsedSeconds;    // ticks since the start / 60
  int32_t status;            // BEE_Movie*
  int32_t frameIndex;        // the frame concerned (-1 for none)
  Time frameTime;
} BEE_MovieStatus;
TV_EXPORT ErrorCode BEE_CmdMakeMovie(const BEE_RenderSettings* settings, Boolean32* stopped);
// Whether a movie render is under way (the making-movie flag).
TV_EXPORT ErrorCode BEE_IsMakingMovie(Boolean32* making);
// The order frames 0..count-1 are visited in: sequential, or coarse to fine
// (every S-th frame from 0 where S is the largest power of two not above
// count - 1, then the odd multiples of S/2, S/4 ... down to 1). Fills at most
// capacity entries of order; *filled the number written.
TV_EXPORT ErrorCode BEEp_MovieFrameOrder(int32_t count, Boolean32 coarseToFine, int32_t* order, int32_t capacity,
                                         int32_t* filled);
