// FLT: effect sequences and parades. An effect class is one registered
// effect (its entry point, declared out flags and parameter template); a
// Sequence is one instance of a class with its parameters, one keyframe
// Stream per animatable parameter and the effect's own sequence data; a
// Parade is the ordered chain of Sequences on one layer, each with a flags
// word (on, audio only, audio as well). A frame parade runs a Parade over a
// pair of worlds, effect after effect.
//
// What callers may rely on:
// - Every operation answers an ErrorCode and clears its out-parameters first
//   (null handles, index 0x80000000, 0 flags); a null required out-pointer is
//   a bad argument (3, reported once).
// - Failures are reported once (package 25, location 0x19xxxxxx, severity
//   8): 2 for a Sequence, Parade or frame parade whose magic words are not
//   intact (" %s (seq)", " %s (parade)", " %s (frame parade)"); 3 for a bad
//   argument or index ("parameter list index out of range"); 4 out of memory;
//   6401 for a class whose global setup failed ("invalid filter"); the codes
//   of the effect and of the packages below are passed up unchanged.
// - An effect's interrupt (517) ends a render early and is handed to the
//   caller without a report: the output is then incomplete.
// - A Sequence belongs to at most one Parade; disposing a Parade disposes
//   its Sequences, and every Stream and handle a Sequence holds.
// - Class indices are stable from registration to the package's death.
#pragma once

#include "BM.h"
#include "PF_Effect.h"
#include "SLU.h"
#include "STR.h"
#include "Types.h"

enum { FLT_PackageNumber = 25 };

// Codes of the package (besides the general codes 2 to 12).
enum {
  FLT_ErrInvalidFilter = 6401,  // the class's global setup failed: never called again
  FLT_ErrBadData = 0x1906,      // effect data in a file that cannot be parsed
};

typedef Handle FLT_Sequence;
typedef Handle FLT_Parade;
typedef Handle FLT_FrameParade;
typedef Handle FLT_AudioParade;

// Parade item flags.
enum {
  FLT_Item_On = 0x1,
  FLT_Item_AudioOnly = 0x2,
  FLT_Item_AudioAlso = 0x4,
};

// FLT_ParadeWillNop's `which`.
enum { FLT_Nop_Images = 0x1, FLT_Nop_Audio = 0x2 };

// Validation flags of FLT_SeqGetStreamMinMax.
enum { FLT_Valid_ClampMin = 0x1, FLT_Valid_ClampMax = 0x2, FLT_Valid_Round = 0x4 };

// What the layer-information procedure answers before an effect call.
typedef struct FLT_LayerInfo {
  int32_t time;
  int32_t timeStep;
  int32_t duration;
  uint32_t timeScale;  // 0: the package uses time 0 at scale 600
  int32_t geometry[6];
} FLT_LayerInfo;
typedef ErrorCode (*FLT_LayerInfoProc)(void* refcon, FLT_Parade parade, FLT_LayerInfo* info);

// Called for every layer parameter of a new Sequence.
typedef ErrorCode (*FLT_LayerInitFunc)(int32_t index, uintptr_t hostRef, uint32_t* layerRef, uint32_t* companion);
// Called for every layer parameter by FLT_ResolveLayers.
typedef ErrorCode (*FLT_ResolveFunc)(ErrorCode running, FLT_Sequence seq, void* refcon, uint32_t* layerRef,
                                     uint32_t* companion);
// Makes the copy of a Sequence for FLT_ParadeDuplicate.
typedef ErrorCode (*FLT_DuplicateFunc)(void* refcon, FLT_Sequence seq, FLT_Sequence* copy);
// Supplies the two host words of a parameter's 'parL' entry when writing.
typedef ErrorCode (*FLT_ParamWriterFunc)(int32_t selector, FLT_Sequence seq, void* refcon, uint32_t* word3,
                                         uint32_t* word4);
typedef void (*FLT_HostProc)(void);
// Host slot 2: the frame of another layer (a layer parameter's reference and
// companion value) at a time, as a world the host keeps until slot 3 is
// called with the same reference and companion.
typedef ErrorCode (*FLT_LayerCheckoutProc)(uint32_t layerRef, uint32_t companion, int32_t time, int32_t timeStep,
                                           uint32_t timeScale, PFWorld* world);
typedef ErrorCode (*FLT_LayerCheckinProc)(uint32_t layerRef, uint32_t companion);
// Host slot 5: the sound of another layer (a layer parameter's reference and
// companion value) from start for duration (in timeScale units) in the given
// format, as a new sound world (SND.h) the effect checks in again, which
// disposes of it.
typedef ErrorCode (*FLT_AudioCheckoutProc)(uint32_t layerRef, uint32_t companion, int32_t start,
                                           int32_t duration, uint32_t timeScale, int32_t rate,
                                           int32_t bytesPerSample, int32_t channels, Handle* sound);

// A class registered in the process (built-in effects, tests): the fields of
// its property list.
typedef struct FLT_StaticClass {
  const char* matchName;     // at most 47 bytes; required
  const char* name;          // display name, at most 31 bytes (empty: the match name)
  const char* category;
  uint32_t outFlags;         // declared global out flags
  uint32_t version;          // the effect's version
  uint32_t specVersion;      // interface version, major in the high 16 bits (11 or 12)
  PF_EntryFunc entry;
} FLT_StaticClass;

// ---- Package frame -------------------------------------------------------------
TV_EXPORT STR_Table FLTp_G_STRs;
TV_EXPORT uint32_t FLT_PkgObjectVersion(void);
TV_EXPORT ErrorCode FLT_CheckVersions(LocationCode location, int32_t expectedMajor);
// Creates the class table, registers the built-in effects, then the effect
// plug-ins found in `folders` (null, or absolute paths ended by a null; ten
// levels deep). A broken plug-in is reported and skipped. Death runs global
// setdown for every class whose setup ran, releases plug-in code, and
// disposes the scratch world.
TV_EXPORT ErrorCode FLT_Birth(uintptr_t hostA, uintptr_t hostB, const char* const* folders);
TV_EXPORT ErrorCode FLT_Death(void);
// 3 ("invalid parameter") for a slot outside 0..19. The slots this package
// calls: 0 progress, ErrorCode (*)(int32_t done, int32_t total); 1 abort,
// ErrorCode (*)(void) (non-zero stops the effect); 2 and 3 must be set for
// layer parameters to be checked out and in; 5 lets the audio call check out
// a layer's sound (FLT_AudioCheckoutProc); 18 and 19, void (*)(void),
// around a class's global setup. The others are kept for the host's
// services offered to effects.
TV_EXPORT ErrorCode FLT_InstallProcs(int32_t slot, FLT_HostProc proc);

// ---- Classes ----------------------------------------------------------------------
// 3 for a missing match name or entry; 3 (reported as the warning "there are
// multiple copies of plug-in effect "%s" on your drive.") when the match name
// is taken.
TV_EXPORT ErrorCode FLTp_RegisterStaticClass(const FLT_StaticClass* info, int16_t* classIndex);
// Registers the effect plug-ins found in folders (as at birth) after birth;
// 3 for a null list. A plug-in's code is loaded when its class is first used.
// Plug-in files of kind 'eFKT' need the properties 'ePVR' (major 2), 'eMNA',
// 'eSVR', 'eINF', 'eGLO' and 'eVER' and may give 'name' and 'catg'. The
// image filter ('Q7FM', "*.q7f") and sound filter ('KFlt', "*.vqf") kinds
// register classes named "RZ %s" / "VQF %s" that run through their adapters
// (FLT_Filters.h); one described only by a property list, with no code,
// fails with 5 ("plug-in effect "%s" is not available.") when used.
TV_EXPORT ErrorCode FLTp_ScanPluginFolders(const char* const* folders, int32_t maxDepth);
// ---- Suites (FLT_suites.cpp) ----
// Adds "PF Path Query Suite", "PF Path Data Suite" and "PF Param Utils
// Suite" (1.1, FLT_Suites.h) to the suite system; suites already there
// stay. Birth calls it when the plug-in registry lives. PLUG's codes.
TV_EXPORT ErrorCode FLT_InstallStandardSuites(void);
TV_EXPORT ErrorCode FLT_InqNumPF(int32_t* count);
// name receives the display name (32 bytes), matchName 48 bytes; either may be null.
TV_EXPORT ErrorCode FLT_InqPFInfo(int16_t classIndex, char* name, char* matchName, uint32_t* classFlags);
TV_EXPORT ErrorCode FLT_InqPFOutFlags(int16_t classIndex, uint32_t* outFlags);
// The class with this match name (0x80000000 and 0 when none, no report).
TV_EXPORT ErrorCode FLTp_FindClass(const char* matchName, int16_t* classIndex, Boolean32* found);
// The class's parameter count (after its params setup ran).
TV_EXPORT ErrorCode FLT_InqParamInfo(int16_t classIndex, int32_t* paramCount);
// Match names of the built-in effects.
#define FLT_MatchInvert "TVLO Invert"
#define FLT_MatchFill "TVLO Fill Colour"
#define FLT_MatchFastBlur "TVLO Fast Blur"
#define FLT_MatchLevels "TVLO Levels"
#define FLT_MatchCopy "TVLO Copy"
// The Text effect draws text onto its layer (shaped with HarfBuzz, drawn
// with FreeType, fonts found by fontconfig). Its parameters by number; Text
// and Font are arbitrary data holding UTF-8 bytes (their printed and
// scanned text is the same bytes), the others are animatable.
#define FLT_MatchText "TVLO Text"
enum {
  FLT_TextParam_Text = 1,            // the text; lines end at "\n"
  FLT_TextParam_Font = 2,            // a family ("DejaVu Sans"), family and style ("DejaVu Sans Bold"),
                                     // a fontconfig pattern ("DejaVu Sans:bold") or a font file
  FLT_TextParam_Size = 3,            // pixels per em, 1 to 2000 (default 60)
  FLT_TextParam_FillColour = 4,      // default opaque white
  FLT_TextParam_StrokeColour = 5,    // default opaque black
  FLT_TextParam_StrokeWidth = 6,     // pixels outside the outline, 0 to 200 (0: no stroke)
  FLT_TextParam_Tracking = 7,        // thousandths of an em after each character, -1000 to 5000
  FLT_TextParam_Leading = 8,         // baseline to baseline, percent of the size, 0 to 1000 (default 120)
  FLT_TextParam_Alignment = 9,       // 1 left, 2 centre (default), 3 right of the anchor
  FLT_TextParam_Direction = 10,      // 1 from the text (default), 2 left to right, 3 right to left
  FLT_TextParam_Offset = 11,         // the anchor (first baseline) from the layer's centre, pixels
  FLT_TextParam_CharactersShown = 12, // percent of the characters shown, in the text's order (default 100)
  FLT_TextParam_Opacity = 13,        // percent (default 100)
  FLT_TextParam_CompositeOnOriginal = 14  // 1: over the layer (default); 0: the text alone
};

// ---- Sequences ---------------------------------------------------------------------
TV_EXPORT ErrorCode FLT_NewSequence(int16_t classIndex, FLT_Parade owner, uintptr_t hostRef,
                                    FLT_LayerInitFunc layerInit, uint32_t* outFlags, FLT_Sequence* seq,
                                    Boolean32* classFound);
// Calls sequence setdown and frees the Sequence with its Streams. 3 while it
// is in a Parade.
TV_EXPORT ErrorCode FLT_DisposeSequence(FLT_Sequence seq);
TV_EXPORT ErrorCode FLT_SeqDoDialog(FLT_Sequence seq);
// name null or empty clears the instance name; longer names are cut at 47
// bytes (never inside a UTF-8 sequence).
TV_EXPORT ErrorCode FLT_SeqSetName(FLT_Sequence seq, const char* name);
TV_EXPORT ErrorCode FLT_SeqInqName(FLT_Sequence seq, char* name48);
TV_EXPORT ErrorCode FLT_SeqInqClass(FLT_Sequence seq, int16_t* classIndex);
// Locks (nests). *index receives the parameter list: count addresses of
// PF_ParamDef records, then 0.
TV_EXPORT ErrorCode FLT_SeqLockParams(FLT_Sequence seq, Boolean32 moveHigh, PF_ParamDef*** index);
TV_EXPORT ErrorCode FLT_SeqUnlockParams(FLT_Sequence seq);
TV_EXPORT ErrorCode FLT_SeqInqNumParams(FLT_Sequence seq, int32_t* count);
// Streams: 3 with "cannot inquire or set stream of property that cannot
// timevary." for a parameter without one. Setting takes the Stream over;
// with old null the previous one is disposed.
TV_EXPORT ErrorCode FLT_SeqInqParamStream(FLT_Sequence seq, int32_t index, Handle* stream);
TV_EXPORT ErrorCode FLT_SeqSetParamStream(FLT_Sequence seq, int32_t index, Handle stream, Handle* old);
TV_EXPORT ErrorCode FLT_SeqInqParamInfoPlus(FLT_Sequence seq, int32_t index, uint32_t* flags, uint32_t* uiWord,
                                            uint32_t* type);
// words receives the 23 words of the value union.
TV_EXPORT ErrorCode FLT_SeqInqParamUnion(FLT_Sequence seq, int32_t index, uint32_t* words);
TV_EXPORT ErrorCode FLT_SeqInqParamName(FLT_Sequence seq, int32_t index, char* name32);
// The parameter's default as Stream values (as many as its Stream's dimensions).
TV_EXPORT ErrorCode FLT_SeqInqParamDefault(FLT_Sequence seq, int32_t index, double* values, int32_t* count);
TV_EXPORT ErrorCode FLT_SeqGetStreamMinMax(FLT_Sequence seq, int32_t index, uint32_t* flags, double* minimum,
                                           double* maximum);
// Validates count values of the parameter's dimensions in place.
TV_EXPORT ErrorCode FLT_SeqValidateStreamValue(FLT_Sequence seq, int32_t index, double* values,
                                               Boolean32* changed);
// A copy of the parameter's record as the Sequence holds it.
TV_EXPORT ErrorCode FLT_SeqInqParamInfo(FLT_Sequence seq, int32_t index, PF_ParamDef* def);
// The parameter's value at a time as Stream values (*count of them); a
// parameter without a Stream answers its current value.
TV_EXPORT ErrorCode FLT_SeqGetParamFPV(FLT_Sequence seq, int32_t index, const Time* time, double* values,
                                       int32_t* count);
// Sets the value at a time in stream (a Stream of the parameter's kind, such
// as a copy the caller swaps in later), or, with stream null, in the
// parameter's own Stream; a constant Stream takes the value, an animated one
// gets (or changes) a keyframe at the time. A parameter without a Stream
// takes the value directly. count must be the parameter's dimension (else 3).
TV_EXPORT ErrorCode FLT_SeqSetParamFPV(FLT_Sequence seq, int32_t index, Handle stream, const Time* time,
                                       const double* values, int32_t count);
// A new constant Stream of the parameter's kind holding its default.
TV_EXPORT ErrorCode FLT_NewEmptyParamStream(FLT_Sequence seq, int32_t index, Handle* stream);
// Tells the effect that parameter index changed (params update). changes
// receives one change record per parameter (count of them, at least the
// Sequence's parameter count, else 3): the effect's own requests.
TV_EXPORT ErrorCode FLT_ParamChanged(FLT_Sequence seq, int32_t index, PF_ChangeRecord* changes, int32_t count);
// The general call (convert parameters) with the caller's data; 3 with
// "PF_Cmd_COMPLETELY_GENERAL can not be called reentrantly." while one runs.
TV_EXPORT ErrorCode FLT_CompletelyGeneralEffectCall(FLT_Sequence seq, void* data, void* extra);
// The about call of a class (its message is reported as information).
TV_EXPORT ErrorCode FLT_DoAbout(int16_t classIndex);
// The host reference of the Sequence behind an effect reference (the layer
// given to FLT_NewSequence); 512 with "bad PF_ProgPtr" for anything else.
TV_EXPORT ErrorCode FLT_GetLayerFromProgPtr(PF_ProgPtr ref, uintptr_t* hostRef);
// Evaluates every parameter's Stream at the time into its value union.
TV_EXPORT ErrorCode FLT_SeekParams(FLT_Sequence seq, const Time* time);
TV_EXPORT ErrorCode FLT_ResolveLayers(FLT_Sequence seq, FLT_ResolveFunc fn, void* refcon);
// A new Sequence of the same class with copies of the parameters, Streams,
// name and sequence data (flattened and set up again by the effect).
TV_EXPORT ErrorCode FLTp_DuplicateSequence(FLT_Sequence seq, FLT_Sequence* copy);
// A number no other Sequence of the process has had (a Sequence freed and
// another made at its address tell apart by it); kept in memory only.
TV_EXPORT ErrorCode FLTp_SeqSerial(FLT_Sequence seq, uint64_t* serial);
// The layer a layer parameter names (type 0, from index 1: 0 is the input):
// the host's reference and companion, 0 for none. Another index or type
// fails with 3.
TV_EXPORT ErrorCode FLTp_SeqGetLayerRef(FLT_Sequence seq, int32_t index, uint32_t* layerRef,
                                        uint32_t* companion);
TV_EXPORT ErrorCode FLTp_SeqSetLayerRef(FLT_Sequence seq, int32_t index, uint32_t layerRef,
                                        uint32_t companion);

// ---- Parades ------------------------------------------------------------------------
TV_EXPORT ErrorCode FLT_NewParade(FLT_LayerInfoProc proc, void* refcon, FLT_Parade* parade);
TV_EXPORT ErrorCode FLT_DisposeParade(FLT_Parade parade);
// 3 for a Sequence already in a Parade, or an index outside -1..count.
TV_EXPORT ErrorCode FLT_InsertSeqParade(FLT_Parade parade, FLT_Sequence seq, int32_t index);
TV_EXPORT ErrorCode FLT_RemoveSeqParade(FLT_Parade parade, int32_t index, FLT_Sequence* seq);
TV_EXPORT ErrorCode FLT_ReorderParade(FLT_Parade parade, int32_t from, int32_t to);
TV_EXPORT ErrorCode FLT_GetParadeSeq(FLT_Parade parade, int32_t index, FLT_Sequence* seq);
TV_EXPORT ErrorCode FLT_InqParadeSeqFlags(FLT_Parade parade, int32_t index, uint32_t* flags);
TV_EXPORT ErrorCode FLT_SetParadeSeqFlags(FLT_Parade parade, int32_t index, uint32_t value, uint32_t mask);
TV_EXPORT ErrorCode FLT_InqParadeNumSeqs(FLT_Parade parade, int32_t* count);
TV_EXPORT ErrorCode FLT_InqParadeSeqIndex(FLT_Parade parade, FLT_Sequence seq, int32_t* index);
TV_EXPORT ErrorCode FLT_InqParadeSeqIndexSafe(FLT_Parade parade, FLT_Sequence seq, int32_t* index);
TV_EXPORT ErrorCode FLT_ParadeDuplicate(FLT_Parade parade, FLT_LayerInfoProc proc, void* procRefcon,
                                        FLT_DuplicateFunc dup, void* refcon, FLT_Parade* copy);
TV_EXPORT ErrorCode FLT_ParadeResolveLayers(FLT_Parade parade, FLT_ResolveFunc fn, void* refcon);
TV_EXPORT ErrorCode FLT_InqParadeOutFlags(FLT_Parade parade, uint32_t* outFlags);
TV_EXPORT ErrorCode FLT_ParadeWillNop(FLT_Parade parade, int32_t which, int32_t reserved, Boolean32* willNop);

// ---- Rendering ------------------------------------------------------------------------
// Frame setup for every Sequence that is on and not audio-only, with the
// layer's input size; an effect may answer a larger output size (1..30000),
// which is the next effect's input size.
TV_EXPORT ErrorCode FLT_NewFrameParade(FLT_Parade parade, int32_t width, int32_t height, int32_t quality,
                                       FLT_FrameParade* frameParade);
// As FLT_NewFrameParade, with the part of the frame the caller wants
// (request, in the input's pixels; null: the whole frame). An effect with
// PF_OutFlag_UsesExtentHints is told the request at frame setup (clipped to
// its input unless it has PF_OutFlag_UnclippedRequest; with both flags and
// no request it is asked for -32000..32000) and gets it, clipped to its
// output, as the output world's extent hint at render; other effects get
// their whole input and output. The request moves with each effect's
// output origin.
TV_EXPORT ErrorCode FLTp_NewFrameParadeRequest(FLT_Parade parade, int32_t width, int32_t height, int32_t quality,
                                               const Rect* request, FLT_FrameParade* frameParade);
// The output size of the last effect (the input size when none runs).
TV_EXPORT ErrorCode FLT_InqFrameParadeSize(FLT_FrameParade frameParade, int32_t* width, int32_t* height);
// Where the input's top-left pixel lies in that output: the sum of the
// origins the effects that run answered at frame setup.
TV_EXPORT ErrorCode FLTp_InqFrameParadeOrigin(FLT_FrameParade frameParade, LPoint* origin);
// Renders input into output (32-bit worlds). output must be at least the
// frame parade's output size (3, "inconsistent buffer size information").
// With no effect to run the input is copied. flags bit 0: the input may be
// written by the effects.
TV_EXPORT ErrorCode FLT_RenderFrParade(FLT_FrameParade frameParade, int32_t flags, BM_World input,
                                       BM_World output);
TV_EXPORT ErrorCode FLT_DisposeFrParade(FLT_FrameParade frameParade);

// Audio: the Sequences that are on and take part in audio (audio only or
// audio as well), run with the audio call over sound worlds (SND.h).
TV_EXPORT ErrorCode FLT_NewAudioParade(FLT_Parade parade, FLT_AudioParade* audioParade);
// output (any format) receives input's frames run through every effect, in
// input's format, or in 4-byte float samples when an effect's class asks for
// them (out flag PF_OutFlag_FloatAudio). With no effect the input is copied.
TV_EXPORT ErrorCode FLT_RenderAudioParade(FLT_AudioParade audioParade, int32_t quality, Handle input,
                                          Handle output);
TV_EXPORT ErrorCode FLT_DisposeAudioParade(FLT_AudioParade audioParade);
#define FLT_MatchGain "TVLO Audio Gain"

// ---- Files -----------------------------------------------------------------------------
// A Parade is written as a "LIST"/"Par8" chunk: the item list (8-byte items:
// a word written as 0, then the flags), then one "LIST"/"SeqS" per Sequence.
TV_EXPORT ErrorCode FLT_WriteParade(FLT_Parade parade, FLT_ParamWriterFunc writer, void* refcon,
                                    SLU_FileContext* file);
// Reads a Parade. A Sequence of a class that is not installed is kept as it
// was read (its chunk bytes) and written back unchanged; its stored effect
// name is added to missingNames (", " between names, while the text stays
// under 255 bytes) and *missingCount grows by one. entered: the "Par8"
// chunk the caller already descended into, or null.
TV_EXPORT ErrorCode FLT_ReadParade(SLU_FileContext* file, FLT_LayerInfoProc proc, int32_t fileVersion,
                                   void* refcon, const SLU_Chunk* parentChunk, const SLU_Chunk* entered,
                                   char* missingNames, int32_t* missingCount, FLT_Parade* parade);
// Whether item index holds an effect that is not installed.
TV_EXPORT ErrorCode FLT_InqParadeSeqMissing(FLT_Parade parade, int32_t index, Boolean32* missing);

// ---- Texts, definitions and factors of parameters ------------------------------------
// The effect name (the Sequence's instance name when it has one, else its
// class's display name; 48 bytes) and the name of parameter index (32
// bytes); either may be null. A missing effect answers its stored name and
// 3 ("parameter list index out of range") for any parameter.
TV_EXPORT ErrorCode FLT_GetStreamText(FLT_Sequence seq, int32_t index, char* effectName48, char* paramName32);
// The same from a class's parameter template (display name, 32 bytes).
TV_EXPORT ErrorCode FLT_GetGlobalStreamText(int16_t classIndex, int32_t index, char* effectName32,
                                            char* paramName32);
// The parameter's full value: a copy of its record with the value at time
// (null: the value it holds now) in the union and a null stream field. An
// arbitrary-data value is a copy the caller releases with
// FLT_SeqDisposeParamFPV (which does nothing for other types).
TV_EXPORT ErrorCode FLT_GetParamDef(FLT_Sequence seq, int32_t index, const Time* time, PF_ParamDef* def);
TV_EXPORT ErrorCode FLT_SeqDisposeParamFPV(FLT_Sequence seq, int32_t index, PF_ParamDef* def);
// The class template's record of parameter index (params setup runs first
// when it has not). Handles in it stay the class's.
TV_EXPORT ErrorCode FLT_GetGlobalParamDef(int16_t classIndex, int32_t index, PF_ParamDef* def);
// What a Stream value of the parameter is multiplied by to give its value
// word: 65536 for the 16.16 types (Fixed slider, angle, point), 1 for the
// other numeric types, 0 for types without a numeric value.
TV_EXPORT ErrorCode FLT_GetEffectStreamFactor(FLT_Sequence seq, int32_t index, double* factor);
// The 11-word custom UI description the class registered in its params
// setup (zeros and registered 0 when none; params setup runs first).
TV_EXPORT ErrorCode FLT_InqPFCustomUIInfo(int16_t classIndex, uint32_t* words11, Boolean32* registered);
// Asks the effect (interpolate command, PF_Dependencies) what the Sequence
// needs from outside the project; text receives it (size bytes, at least 1).
// A missing effect depends on itself: its name is the text.
TV_EXPORT ErrorCode FLT_CheckExternalDependencies(FLT_Sequence seq, char* text, int32_t size, Boolean32* depends);
// Whether some item that is on and takes part in audio belongs to a class
// with PF_OutFlag_SynthesizesAudio: the chain makes sound without a source.
TV_EXPORT ErrorCode FLT_ParadeWillSynthAudio(FLT_Parade parade, Boolean32* willSynth);
// Whether two Parades would do the same: the same classes in the same order,
// the same item flags, and every parameter with the same value at time, or
// with time null the same Streams (keys, times, values, interpolations) and
// values. Arbitrary data compare through the effect.
TV_EXPORT ErrorCode FLT_ParadeCompareParamStreamValues(FLT_Parade a, FLT_Parade b, const Time* time,
                                                       Boolean32* same);

// ---- Arbitrary-data parameters ------------------------------------------------------------
// Values of arbitrary-data parameters (PF_Param_Arbitrary) are handles the
// effect works on (PF_ArbitraryCall); each Sequence holds its own copy of
// the class's default. They have no Stream (they do not vary over time) and
// are stored with the Sequence. Every operation fails with 3 ("invalid
// arbitrary data index.") for a parameter of another type. A value argument
// that is null stands for the parameter's own value.
// Whether two values are equal (the effect's comparison, else their bytes).
TV_EXPORT ErrorCode FLT_AreCustomStreamsEqual(FLT_Sequence seq, int32_t index, Handle a, Handle b, Boolean32* equal);
// The bytes of text (with its terminator) the effect prints for a value;
// 518 unreported when the effect cannot print.
TV_EXPORT ErrorCode FLT_ArbitraryPrintSize(FLT_Sequence seq, int32_t index, Handle value, int32_t* size);
// The text of a value in text (size bytes, always terminated).
TV_EXPORT ErrorCode FLT_ArbitraryPrint(FLT_Sequence seq, int32_t index, Handle value, char* text, int32_t size);
// A new value (the caller's) scanned from length bytes of text; 518
// unreported when the effect cannot scan.
TV_EXPORT ErrorCode FLT_ArbitraryScan(FLT_Sequence seq, int32_t index, const char* text, int32_t length,
                                      Handle* value);
// Sets the parameter's value to a copy of value (the caller keeps value).
TV_EXPORT ErrorCode FLTp_SeqSetArbitraryValue(FLT_Sequence seq, int32_t index, Handle value);

// ---- Custom UI contexts -----------------------------------------------------------------------
// A window (PF_Window_*; window is the host's, opaque) in which the effect of
// seq draws and takes events (PF_Cmd_Event with a PF_EventRecord). Only a
// class with PF_OutFlag_CustomUI has contexts; others, missing effects and a
// context whose Sequence was disposed fail with 3 ("sequence context not
// available"). Disposing a Sequence closes its contexts (the effect gets
// PF_Event_CloseContext); the context records stay until FLT_DisposeContext.
typedef Handle FLT_Context;
TV_EXPORT ErrorCode FLT_NewContext(FLT_Sequence seq, int32_t windowType, void* window, FLT_Context* context);
// Hands an event (click to adjust cursor) to the effect; result bit 0x2 and
// 0x4 when the effect answered out flags 0x20000 and 0x400000.
TV_EXPORT ErrorCode FLT_HandleEvent(FLT_Context context, PF_EventRecord* event, uint32_t* result);
TV_EXPORT ErrorCode FLT_DisposeContext(FLT_Context context);
TV_EXPORT ErrorCode FLT_InqContextSeq(FLT_Context context, FLT_Sequence* seq);
