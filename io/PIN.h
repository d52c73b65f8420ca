// PIN: the footage and output module framework. It keeps the registry of
// input/output modules (one per file format), describes every piece of
// footage by a SeqSpec, and turns each PIN_ operation into a call through the
// owning module's table of 51 entry points. Above the modules it adds what is
// the same for every format: numbered still sequences, the common still-image
// behaviour that drivers install, drawing a frame into a World (with scaling
// and the missing-footage placeholder), and the "LIST"/"Pin " chunk form of a
// SeqSpec inside project files.
//
// Modules are drivers compiled into the engine and registered at birth from
// one table, in a fixed order; a driver whose library cannot start answers
// PIN_ErrNotAvailable from its birth and is left out. The module table is a
// plain C struct of function pointers, so a driver could live in a shared
// object of its own.
//
// What callers may rely on:
// - Every failure is reported once (package 39, severity 8 unless said
//   otherwise): by the module that finds it, or here; PIN never reports a
//   module's failure again. Codes: 2 for a SeqSpec whose magic words are not
//   intact ("damaged i/o structure.") or a package that is not born; 3 for a
//   null required pointer or a bad argument; 4 out of memory; 9985 for an
//   operation the module lacks (reported as "the <module> module does not
//   support <operation>"); the other PIN_Err* codes below.
// - Out-parameters are cleared first (null handles, 0, the invalid time,
//   zeroed records), so a failed call leaves them cleared. A failed creation
//   leaves nothing behind.
// - The registry is sorted by module name, byte-wise over unsigned
//   characters, a shorter name first on a common prefix; indices run from 0.
// - Numbered still sequences are gathered in one sorted pass over the folder;
//   frame numbers are read as 64-bit values.
// - Everything PIN writes to files is big-endian and byte-exact; every field
//   it reads back is validated before use, and words it does not understand
//   are kept and written back unchanged.
// - Single thread; the exported API is called from one thread at a time.
#pragma once

#include "BM.h"
#include "FILE.h"
#include "SLU.h"
#include "SND.h"
#include "STR.h"
#include "Types.h"

// A SeqSpec: a handle to the description of one footage source.
typedef Handle PIN_SeqSpecH;
// An OutputSpec: a handle to one output module instance.
typedef Handle PIN_OutputSpecH;

enum { PIN_PackageNumber = 39 };

// The package's codes: (39 << 8) + index.
enum {
  PIN_ErrUnsupported = 9985,   // the module lacks the operation
  PIN_ErrObsolete = 9986,      // an obsolete entry point ("unimplemented routine.")
  PIN_ErrCannotImport = 9987,  // no module reads the file; malformed footage data
  PIN_ErrBadRequest = 9988,    // a request the footage cannot answer
  PIN_ErrBadTime = 9991,       // an invalid sample time
  PIN_ErrNoSizes = 9992,       // size reporting not supported (handled inside)
  PIN_ErrNotAvailable = 9995,  // a module not available here (answered by a driver's birth)
  PIN_ErrRulesSyntax = 9997,   // a syntax error in the interpretation rules
};
// Codes of output continuation (PIN_ContinueOutput); 792 (FILE_ErrExists)
// when the continuation's file or folder is already there.
enum {
  PIN_ErrNoOverflowSpace = 6662,  // no overflow volume has room left
};

// Magic words.
#define PIN_SeqSpecMagic 0x05221969u
#define PIN_OutputSpecMagic 0x04281939u
// The registration mark of a module record that was added.
#define PIN_RegisteredMark 0x50494E21u

// "Not found" signature of PIN_GetSigFromType.
#define PIN_NoSignature 0x80000000u

// Module flags (PIN_ModuleInfo.flags).
enum {
  PIN_ModFlag_Files = 4,               // the data lives in files
  PIN_ModFlag_StillPerFile = 8,        // one still image per file (a numbered still sequence)
  PIN_ModFlag_RescaleDuration = 16,    // a rate change rescales the duration
  PIN_ModFlag_NoTime = 64,             // no time of its own (stills and still sequences)
  PIN_ModFlag_NoDefaultPAR = 0x400000, // no default pixel aspect from the frame size
  PIN_ModFlag_NoVideo = 0x800000       // sound only: no picture (the one-pixel frame is a placeholder)
};

enum {
  PIN_ModuleNameSize = 32,  // bytes of a module name, terminator included
  PIN_MaxFileTypes = 16,    // (file type, reserved) pairs of one module
  PIN_MaxExtensions = 8,    // extension codes of one module
  PIN_SlotCount = 51,
};

// The number of the module table's slots.
enum {
  PIN_Slot_Death = 0,
  PIN_Slot_NewSeqSpecFromFile,
  PIN_Slot_NewSeqSpecInteractive,
  PIN_Slot_DisposeSeqSpec,
  PIN_Slot_WriteSeqSpec,
  PIN_Slot_ReadSeqSpec,
  PIN_Slot_SynchSeqSpec,
  PIN_Slot_GetActiveExtent,
  PIN_Slot_GetSeqSpecInfo,
  PIN_Slot_DrawSparseFrame,
  PIN_Slot_DrawPartialFrame,
  PIN_Slot_GetDimensions,
  PIN_Slot_GetDuration,
  PIN_Slot_GetTime,
  PIN_Slot_GetSound,
  PIN_Slot_GetFile,
  PIN_Slot_InqNextFrameTime,
  PIN_Slot_NewOutputSpec,
  PIN_Slot_GetOutputOptions,
  PIN_Slot_DisposeOutputOptions,
  PIN_Slot_UserOptionsDialog,
  PIN_Slot_GetOutputInfo,
  PIN_Slot_SetOutputInfo,
  PIN_Slot_SetOutputFile,
  PIN_Slot_StartAdding,
  PIN_Slot_AddFrame,
  PIN_Slot_EndAdding,
  PIN_Slot_OutputFrame,
  PIN_Slot_WriteLabels,
  PIN_Slot_GetSizes,
  PIN_Slot_Flush,
  PIN_Slot_AddSoundChunk,
  PIN_Slot_SetModuleSpecificData,
  PIN_Slot_GetModuleSpecificData,
  PIN_Slot_SetInSpecificData,
  PIN_Slot_GetInSpecificData,
  PIN_Slot_SetOutSpecificData,
  PIN_Slot_GetOutSpecificData,
  PIN_Slot_Idle,
  PIN_Slot_GetLegalDepths,
  PIN_Slot_GetOutputSuffix,
  PIN_Slot_ConvertScrap,
  PIN_Slot_CleanupScrap,
  PIN_Slot_Reserved43,
  PIN_Slot_GetNumAuxChannels,
  PIN_Slot_GetAuxChannelDesc,
  PIN_Slot_DrawAuxChannel,
  PIN_Slot_FreeAuxChannel,
  PIN_Slot_Reserved48,
  PIN_Slot_Reserved49,
  PIN_Slot_Reserved50,
};

// Draw flags of PIN_DrawParams.
enum {
  PIN_Draw_InvertAlpha = 1,  // invert every alpha byte
  PIN_Draw_Premultiply = 2,  // the caller wants premultiplied output
  PIN_Draw_FrameBlend = 4,   // blend neighbouring frames (footage with time only): at draft
                             // quality the frames before and after the time by its place
                             // between them, at best quality every frame the output frame
                             // overlaps by its share of frameDuration
};

// What a drawing asks for. Scales shrink (or grow) the footage's frame: the
// frame drawn is width * scaleX by height * scaleY, each rounded to nearest.
typedef struct PIN_DrawParams {
  Time time;
  Ratio scaleX;  // 0/0 means 1/1
  Ratio scaleY;
  int32_t quality;  // 0 draft, 1 best
  uint32_t flags;   // PIN_Draw_*
  LRect part;       // the part to draw for DrawPartialFrame (left, top, right, bottom)
  // Frame blending at best quality: the duration of the output frame drawn
  // (every source frame it overlaps is mixed by its share); 0 or an invalid
  // time blends the two frames around the time as at draft quality.
  Time frameDuration;
} PIN_DrawParams;

// Creation options of PIN_NewSeqSpecFromFileOptions.
enum {
  PIN_Import_Sequence = 1,  // gather the numbered still sequence the file belongs to
  PIN_Import_Folder = 2,    // the file is a folder: its files form the sequence
};

// The reel record (22 bytes on file).
typedef struct PIN_Reel {
  uint32_t a;
  uint16_t b;
  char text[16];
} PIN_Reel;

// Alpha interpretation (10 bytes on file: u16 marker, u32 flags, r, g, b, type).
typedef struct PIN_AlphaInfo {
  uint16_t marker;  // 0x0101 once set
  uint32_t flags;   // bit 0: premultiplied
  uint8_t red, green, blue;
  uint8_t type;  // PIN_Alpha_*
} PIN_AlphaInfo;
enum { PIN_Alpha_Straight = 0, PIN_Alpha_Premul = 1, PIN_Alpha_Ignore = 2, PIN_Alpha_None = 3 };
enum { PIN_AlphaMarker = 0x0101 };

// Field interpretation (18 bytes on file).
typedef struct PIN_FieldInfo {
  FourCC tag;          // "FIEL"
  uint16_t version;    // 1
  uint32_t separate;   // 0 or 1
  uint32_t dominance;  // 0 upper field first, 1 lower field first
  uint32_t reserved;
} PIN_FieldInfo;

typedef struct PIN_Loop {
  uint32_t a, b;
} PIN_Loop;

// What a driver's birth describes of its module; PIN_GetModuleInfo hands it
// out whole.
typedef struct PIN_ModuleInfo {
  uint32_t registered;  // PIN_RegisteredMark once added
  FourCC signature;     // unique per module
  const struct PIN_ModuleProcs* procs;  // null in what PIN_GetModuleInfo hands out
  char name[PIN_ModuleNameSize];
  uint32_t flags;  // PIN_ModFlag_*
  int32_t maxWidth, maxHeight;
  int16_t numFileTypes, numExtensions;
  FourCC creator;
  FourCC fileType;
  FourCC extension;                       // the default extension, e.g. ".rla"
  FourCC fileTypes[PIN_MaxFileTypes][2];  // (file type, reserved)
  FourCC extensions[PIN_MaxExtensions];   // numExtensions codes; [0] is the default
} PIN_ModuleInfo;

// The module table: 51 entry points, each taking the SeqSpec or OutputSpec
// first (Death takes the module's record). A slot left null, or holding the
// framework's default (PIN_GetDefaultProcs), gets the default behaviour.
typedef struct PIN_ModuleProcs {
  ErrorCode (*death)(const PIN_ModuleInfo* info);  // 0
  // The SeqSpec already holds the file; the module fills in what it reads.
  ErrorCode (*newSeqSpecFromFile)(PIN_SeqSpecH seq, FILE_SpecH file, uint32_t options);                // 1
  ErrorCode (*newSeqSpecInteractive)(PIN_SeqSpecH seq, Boolean32* cancelled);                          // 2
  ErrorCode (*disposeSeqSpec)(PIN_SeqSpecH seq);                                                       // 3
  ErrorCode (*writeSeqSpec)(PIN_SeqSpecH seq, SLU_FileContext* context);                               // 4
  ErrorCode (*readSeqSpec)(PIN_SeqSpecH seq, SLU_FileContext* context, const SLU_Chunk* list);         // 5
  ErrorCode (*synchSeqSpec)(PIN_SeqSpecH seq);                                                         // 6
  ErrorCode (*getActiveExtent)(PIN_SeqSpecH seq, const Time* time, LRect* extent);                     // 7
  ErrorCode (*getSeqSpecInfo)(PIN_SeqSpecH seq, char* info, int32_t size);                             // 8
  ErrorCode (*drawSparseFrame)(PIN_SeqSpecH seq, const PIN_DrawParams* params, BM_World world);        // 9
  ErrorCode (*drawPartialFrame)(PIN_SeqSpecH seq, const PIN_DrawParams* params, BM_World world);       // 10
  ErrorCode (*getDimensions)(PIN_SeqSpecH seq, int32_t* width, int32_t* height);                       // 11
  ErrorCode (*getDuration)(PIN_SeqSpecH seq, Time* duration);                                          // 12
  ErrorCode (*getTime)(PIN_SeqSpecH seq, Time* start);                                                 // 13
  ErrorCode (*getSound)(PIN_SeqSpecH seq, const void* request, Handle soundWorld);                     // 14
  ErrorCode (*getFile)(PIN_SeqSpecH seq, const Time* time, FILE_SpecH* file);                          // 15
  ErrorCode (*inqNextFrameTime)(PIN_SeqSpecH seq, const Time* time, Time* next);                       // 16
  ErrorCode (*newOutputSpec)(PIN_OutputSpecH out);                                                     // 17
  ErrorCode (*getOutputOptions)(PIN_OutputSpecH out, Handle* options);                                 // 18
  ErrorCode (*disposeOutputOptions)(PIN_OutputSpecH out, Handle options);                              // 19
  ErrorCode (*userOptionsDialog)(PIN_OutputSpecH out, Boolean32* cancelled);                           // 20
  ErrorCode (*getOutputInfo)(PIN_OutputSpecH out, void* info, int32_t size);                           // 21
  ErrorCode (*setOutputInfo)(PIN_OutputSpecH out, const void* info, int32_t size);                     // 22
  ErrorCode (*setOutputFile)(PIN_OutputSpecH out, FILE_SpecH file);                                    // 23
  ErrorCode (*startAdding)(PIN_OutputSpecH out);                                                       // 24
  ErrorCode (*addFrame)(PIN_OutputSpecH out, int32_t index, BM_World world);                           // 25
  ErrorCode (*endAdding)(PIN_OutputSpecH out);                                                         // 26
  ErrorCode (*outputFrame)(PIN_OutputSpecH out, BM_World world);                                       // 27
  ErrorCode (*writeLabels)(PIN_OutputSpecH out);                                                       // 28
  ErrorCode (*getSizes)(PIN_OutputSpecH out, int64_t* bytesPerFrame, int64_t* bytesFixed);             // 29
  ErrorCode (*flush)(PIN_OutputSpecH out);                                                             // 30
  ErrorCode (*addSoundChunk)(PIN_OutputSpecH out, Handle soundWorld);                                  // 31
  ErrorCode (*setModuleSpecificData)(Handle spec, int32_t selector, const void* data, int32_t size);   // 32
  ErrorCode (*getModuleSpecificData)(Handle spec, int32_t selector, void* data, int32_t size);         // 33
  ErrorCode (*setInSpecificData)(PIN_SeqSpecH seq, int32_t selector, const void* data, int32_t size);  // 34
  ErrorCode (*getInSpecificData)(PIN_SeqSpecH seq, int32_t selector, void* data, int32_t size);        // 35
  ErrorCode (*setOutSpecificData)(PIN_OutputSpecH out, int32_t selector, const void* data,
                                  int32_t size);                                                     // 36
  ErrorCode (*getOutSpecificData)(PIN_OutputSpecH out, int32_t selector, void* data, int32_t size);  // 37
  ErrorCode (*idle)(Handle spec);                                                                    // 38
  ErrorCode (*getLegalDepths)(PIN_OutputSpecH out, uint32_t* depths);                                // 39
  ErrorCode (*getOutputSuffix)(PIN_OutputSpecH out, char* suffix, int32_t size);                     // 40
  ErrorCode (*convertScrap)(Handle spec, Handle scrap, Handle* converted);                           // 41
  ErrorCode (*cleanupScrap)(Handle spec, Handle scrap);                                              // 42
  ErrorCode (*reserved43)(Handle spec);                                                              // 43
  ErrorCode (*getNumAuxChannels)(PIN_SeqSpecH seq, int32_t* count);                                  // 44
  ErrorCode (*getAuxChannelDesc)(PIN_SeqSpecH seq, int32_t index, void* desc, int32_t size);         // 45
  ErrorCode (*drawAuxChannel)(PIN_SeqSpecH seq, int32_t index, const PIN_DrawParams* params,
                              Handle* data);                   // 46
  ErrorCode (*freeAuxChannel)(PIN_SeqSpecH seq, Handle data);  // 47
  ErrorCode (*reserved48)(Handle spec);                        // 48
  ErrorCode (*reserved49)(Handle spec);                        // 49
  ErrorCode (*reserved50)(Handle spec);                        // 50
} PIN_ModuleProcs;

// A driver's birth: fills info and the slots it has; 0 adds the module,
// PIN_ErrNotAvailable leaves it out silently, anything else ends PIN_Birth.
typedef ErrorCode (*PIN_DriverBirth)(PIN_ModuleInfo* info, PIN_ModuleProcs* procs);

TV_EXPORT STR_Table PINp_G_STRs;
// Set to 1 by birth: file names without digits may form a sequence.
TV_EXPORT int32_t PIN_G_Allow_AlphaOnly_SeqB;

// ---- Package frame ------------------------------------------------------------
TV_EXPORT uint32_t PIN_PkgObjectVersion(void);
TV_EXPORT ErrorCode PIN_CheckVersions(LocationCode location, int32_t expectedMajor);
// Registers every built-in driver in order and sorts the registry. 12 when
// born already; a driver birth's failure (other than 9995) is passed up, with
// nothing left registered.
TV_EXPORT ErrorCode PIN_Birth(void);
// Calls every module's Death and frees the registry; 11 when not born.
TV_EXPORT ErrorCode PIN_Death(void);
// Calls every module's Idle slot that a driver filled (defaults stay silent).
TV_EXPORT ErrorCode PIN_Idle(void);

// ---- Registry -----------------------------------------------------------------
TV_EXPORT ErrorCode PIN_GetNumModules(int32_t* count);
// index -1 finds by signature; an unknown signature falls back on the
// module whose signature is 0 (the placeholder). 3 for an index out of range
// or an unknown signature without a fallback ("cannot find the given module").
TV_EXPORT ErrorCode PIN_GetModuleInfo(int32_t index, FourCC signature, PIN_ModuleInfo* info);
// name: a file name whose extension is tried (may be null). *signature is
// PIN_NoSignature when no module claims the file (not a failure).
TV_EXPORT ErrorCode PIN_GetSigFromType(FourCC fileType, FourCC creator, const char* name, FourCC* signature);
// The framework's default table (every slot at its default).
TV_EXPORT ErrorCode PIN_GetDefaultProcs(PIN_ModuleProcs* procs);

// ---- Creation and disposal --------------------------------------------------------
// A SeqSpec for the file, read by the module that claims it (by extension,
// then type and creator; files no module claims go to the movie module
// "MooV"; 9987 "file '...' cannot be imported -- ..." when it is missing).
TV_EXPORT ErrorCode PIN_NewSeqSpecFromFile(FILE_SpecH file, PIN_SeqSpecH* seq);
// options: PIN_Import_*. A sequence gathers the folder's files that share the
// file's numbered pattern (or every file of a folder), sorted by frame
// number; duplicates and gaps are counted and noted (severity 4).
TV_EXPORT ErrorCode PIN_NewSeqSpecFromFileOptions(FILE_SpecH file, uint32_t options, PIN_SeqSpecH* seq);
// 0 with *seq null when the user cancels; "cannot find the given module" (3).
TV_EXPORT ErrorCode PIN_NewSeqSpecInteractive(FourCC signature, PIN_SeqSpecH* seq);
// Missing footage: drawn by the placeholder; MissingPlus also keeps a size,
// a duration and a rate.
TV_EXPORT ErrorCode PIN_NewSeqSpecMissing(PIN_SeqSpecH* seq);
TV_EXPORT ErrorCode PIN_NewSeqSpecMissingPlus(int32_t width, int32_t height, const Time* duration, Fixed rate,
                                              PIN_SeqSpecH* seq);
// Disposes the SeqSpec and whatever it owns (null is accepted).
TV_EXPORT ErrorCode PIN_DisposeSeqSpec(PIN_SeqSpecH seq);
TV_EXPORT ErrorCode PIN_SynchSeqSpec(PIN_SeqSpecH seq);
// Missing footage found again: through its alias (relativeTo: the folder of
// the project, or null) or by its name in `folder`; the SeqSpec is then read
// from the file in place. *found 0 when it is still missing (not a failure).
// Footage that is not missing: 0 and *found 0.
TV_EXPORT ErrorCode PIN_FindMissingSeqSpec(PIN_SeqSpecH seq, FILE_SpecH relativeTo, Boolean32* found);
TV_EXPORT ErrorCode PIN_LookHereMissingSeqSpec(PIN_SeqSpecH seq, FILE_SpecH folder, Boolean32* found);
// Reads the SeqSpec from another file in place (the handle stays): the
// footage's interpretation and reel go with it. A file that does not import
// leaves the SeqSpec as it was (the import's failure).
TV_EXPORT ErrorCode PIN_SwapSeqSpecFile(PIN_SeqSpecH seq, FILE_SpecH file);
// Closes the module's open sources (around a project save) and reopens them;
// a drawing reopens them as well. Both may be called again harmlessly.
TV_EXPORT ErrorCode PIN_CloseSeqSpecSources(PIN_SeqSpecH seq);
TV_EXPORT ErrorCode PIN_UnCloseSeqSpecSources(PIN_SeqSpecH seq);

// ---- Queries -------------------------------------------------------------------
TV_EXPORT ErrorCode PIN_GetSeqSpecInfo(PIN_SeqSpecH seq, char* info, int32_t size);
// "("<module>") <file name>".
TV_EXPORT ErrorCode PIN_GetSeqSpecName(PIN_SeqSpecH seq, char* name, int32_t size);
// scale may be null (1/1 in both directions); rect may be null.
TV_EXPORT ErrorCode PIN_GetDimensions(PIN_SeqSpecH seq, const Ratio scale[2], int32_t* width, int32_t* height,
                                      LRect* rect);
// Scales width by scaleX and height by scaleY, each rounded to nearest.
TV_EXPORT ErrorCode PIN_ScaleDimensions(const Ratio* scaleX, const Ratio* scaleY, int32_t* width,
                                        int32_t* height);
TV_EXPORT ErrorCode PIN_ScaleRect(const Ratio* scaleX, const Ratio* scaleY, LRect* rect);
TV_EXPORT ErrorCode PIN_GetDuration(PIN_SeqSpecH seq, Time* duration);
TV_EXPORT ErrorCode PIN_GetStartTime(PIN_SeqSpecH seq, Time* start);
TV_EXPORT ErrorCode PIN_InqNextFrameTime(PIN_SeqSpecH seq, const Time* time, Time* next);
// A new reference to the source file (the caller disposes it); null for
// footage without a file (not a failure).
TV_EXPORT ErrorCode PIN_GetFile(PIN_SeqSpecH seq, FILE_SpecH* file);
TV_EXPORT ErrorCode PIN_GetFileAtTime(PIN_SeqSpecH seq, const Time* time, FILE_SpecH* file);
TV_EXPORT ErrorCode PIN_NumFilesPerFrame(PIN_SeqSpecH seq, int32_t* count);
TV_EXPORT ErrorCode PIN_GetNthFileSpecForFrame(PIN_SeqSpecH seq, const Time* time, int32_t n,
                                               FILE_SpecH* file);
TV_EXPORT ErrorCode PIN_GetActiveExtent(PIN_SeqSpecH seq, const Time* time, LRect* extent);
TV_EXPORT ErrorCode PIN_GetModuleSignature(PIN_SeqSpecH seq, FourCC* signature);
// Frames in the SeqSpec's file list (0 for footage that is not a still sequence).
TV_EXPORT ErrorCode PIN_GetNumFiles(PIN_SeqSpecH seq, int32_t* count);
// The 64-bit frame number of file `index` (from 0), and its name.
TV_EXPORT ErrorCode PIN_GetNthFile(PIN_SeqSpecH seq, int32_t index, uint64_t* number, char* name,
                                   int32_t size);
TV_EXPORT ErrorCode PIN_IsMissing(PIN_SeqSpecH seq, Boolean32* missing);
// Whether footage read from a project was found by the path from the
// project file to it (the project and its footage moved together) rather
// than where it was when the project was saved.
TV_EXPORT ErrorCode PINp_IsRelinked(PIN_SeqSpecH seq, Boolean32* relinked);
// Where missing footage was when its project was saved (its file's full
// path); empty for footage that is not missing or whose place is unknown
// (a placeholder made without a file). Cut to size bytes, terminator
// included, without splitting a character.
TV_EXPORT ErrorCode PINp_GetMissingPath(PIN_SeqSpecH seq, char* path, int32_t size);

// ---- Pixels and sound ------------------------------------------------------------
// Draws the frame at params->time into a 32-bit World of the scaled size.
// 9991 "bad parameters: invalid sample time for sequence." for an invalid
// time; 3 "attempt to draw into world of wrong size." / "... non 32-bit
// world." for a World of the wrong kind. Missing footage draws the
// placeholder frame.
TV_EXPORT ErrorCode PIN_DrawFrame(PIN_SeqSpecH seq, BM_World world, const PIN_DrawParams* params);
// Draws params->part of the frame (in scaled pixels) into a World of the
// part's size.
TV_EXPORT ErrorCode PIN_DrawPartialFrame(PIN_SeqSpecH seq, BM_World world, const PIN_DrawParams* params);
// Obsolete: 9986 "unimplemented routine.".
TV_EXPORT ErrorCode PIN_DrawSparseFrame(PIN_SeqSpecH seq, BM_World world, const PIN_DrawParams* params);
TV_EXPORT ErrorCode PIN_GetNumAuxChannels(PIN_SeqSpecH seq, int32_t* count);
TV_EXPORT ErrorCode PIN_GetAuxChannelDesc(PIN_SeqSpecH seq, int32_t index, void* desc, int32_t size);
TV_EXPORT ErrorCode PIN_DrawAuxChannel(PIN_SeqSpecH seq, int32_t index, const PIN_DrawParams* params,
                                       Handle* data);
TV_EXPORT ErrorCode PIN_FreeAuxChannel(PIN_SeqSpecH seq, Handle data);
// Sound requests: the sound of [start, start + duration) of the footage
// (times from the footage's start) in `format`, at quality SND_Quality_*.
// The world (an SND_World) is converted to the format and holds exactly the
// span's frames, silence where the footage has none, starting at `start`.
typedef struct PIN_SoundRequest {
  Time start;
  Time duration;
  SND_Format format;
  int32_t quality;
} PIN_SoundRequest;
TV_EXPORT ErrorCode PIN_GetSound(PIN_SeqSpecH seq, const void* request, Handle soundWorld);

// ---- Private data ----------------------------------------------------------------
TV_EXPORT ErrorCode PIN_SetModuleSpecificData(PIN_SeqSpecH seq, int32_t selector, const void* data,
                                              int32_t size);
TV_EXPORT ErrorCode PIN_GetModuleSpecificData(PIN_SeqSpecH seq, int32_t selector, void* data, int32_t size);
TV_EXPORT ErrorCode PIN_SetSeqSpecificData(PIN_SeqSpecH seq, int32_t selector, const void* data,
                                           int32_t size);
TV_EXPORT ErrorCode PIN_GetSeqSpecificData(PIN_SeqSpecH seq, int32_t selector, void* data, int32_t size);
// Sound of footage: PIN_GetSeqSpecificData with this selector and an
// SND_Format fills in the format of the footage's own sound (channels 0:
// none). Modules without sound leave the record as it was.
enum { PIN_SeqData_SoundFormat = 0x534E4466 };  // "SNDf"
// Whether the footage has a picture: PIN_GetSeqSpecificData with this
// selector and an int32_t sets it to 0 for a file of sound alone (a song
// read by a movie module, which also reads pictures). Modules that do not
// answer leave it as it was.
enum { PIN_SeqData_HasPicture = 0x50494374 };  // "PICt"

// ---- Persistence ---------------------------------------------------------------
// Writes the SeqSpec as a "LIST" chunk of type "Pin ": "sspc" (168 bytes),
// the source file reference (left out without a file), the file list of a
// still sequence ("FLst"), and "opti" with the module's options. A source
// file that vanished is noted (severity 4) and saved as a placeholder.
TV_EXPORT ErrorCode PIN_WriteSeqSpec(PIN_SeqSpecH seq, SLU_FileContext* context);
// Reads a SeqSpec from its entered "LIST"/"Pin " chunk. Footage whose file
// or module is missing comes back as missing footage that keeps its stored
// data. 9987 ("bad footage data (...)") for malformed data.
TV_EXPORT ErrorCode PIN_ReadSeqSpec(SLU_FileContext* context, const SLU_Chunk* list, PIN_SeqSpecH* seq);

// ---- Interpretation ------------------------------------------------------------
// How footage is interpreted (fields, alpha, pulldown, looping, pixel aspect,
// rates); the last four bytes: has time (a non-zero duration), a module with
// time of its own, sequence flag bit 0, 0.
typedef struct PIN_Interpretation {
  PIN_FieldInfo field;
  PIN_AlphaInfo alpha;
  uint32_t pulldown;
  PIN_Loop loop;
  uint32_t hsfNum, hsfDen;
  Fixed nativeRate;
  Fixed conformedRate;
  int16_t depth;
  uint8_t hasTime, moduleHasTime, seqFlag0, reserved;
} PIN_Interpretation;
TV_EXPORT ErrorCode PIN_GetInterpretation(PIN_SeqSpecH seq, PIN_Interpretation* interp);

// Interpretation setters. Each checks the SeqSpec (2) and its arguments (3
// for a null record or a value out of range) before changing anything.
// Alpha: type 0 to 3; footage without 32 bits keeps "no alpha"; the matte
// colour is kept only for premultiplied alpha.
TV_EXPORT ErrorCode PIN_SetAlphaType(PIN_SeqSpecH seq, const PIN_AlphaInfo* alpha);
// Fields: separate 0 or 1, dominance 0 (upper first) or 1. Turning field
// separation off also turns pulldown removal off.
TV_EXPORT ErrorCode PIN_SetInterlace(PIN_SeqSpecH seq, const PIN_FieldInfo* field);
// Phase 0 (none) to 5. 9988 "field order must be set before 3:2 pulldown can
// be removed." without separated fields; 9988 "attempt to set FPS of NO_TIME
// module." for footage without time of its own. With a phase, film frame n
// comes from the video frames around n + n / 4 at the effective (video) rate:
// the film rate is four fifths of it.
TV_EXPORT ErrorCode PIN_SetPulldown(PIN_SeqSpecH seq, uint32_t phase);
// rate: 16.16 frames a second from 1/65536 to 999, or 0xFFFFFFFF for the
// native rate (3 for anything else, 0 included). Footage without time of its
// own takes the rate as its native rate (a still sequence: one file a frame);
// 9988 "sequences without time do not have a native frame rate." for the
// native rate, "attempt to set FPS of NO_TIME module." for a single still.
// Footage with time is conformed to the rate; the native rate clears the
// conformed rate and the pulldown.
TV_EXPORT ErrorCode PIN_SetSequenceFPS(PIN_SeqSpecH seq, Fixed rate);
// Pixel aspect numerator / denominator, each 1 to 100000.
TV_EXPORT ErrorCode PIN_SetHSF(PIN_SeqSpecH seq, uint32_t numerator, uint32_t denominator);
TV_EXPORT ErrorCode PIN_SetReel(PIN_SeqSpecH seq, const PIN_Reel* reel);
// loop->a: how many times the footage plays (0 and 1 once, at most
// PIN_MaxLoops); past the last play it holds its last frame. loop->b is kept.
enum { PIN_MaxLoops = 10000 };
TV_EXPORT ErrorCode PIN_SetLooping(PIN_SeqSpecH seq, const PIN_Loop* loop);
TV_EXPORT ErrorCode PIN_SetSeqFlags(PIN_SeqSpecH seq, uint32_t flags);
// Writes fields, alpha, pulldown, loop, pixel aspect, sequence flag bit 0 and
// the rate (the conformed rate of footage with time, 0 meaning native; the
// native rate of footage without, 0 leaving it). Depth and the time flags are
// the footage's own and are not written. All is checked first (3); nothing
// changes on failure.
TV_EXPORT ErrorCode PIN_SetInterpretation(PIN_SeqSpecH seq, const PIN_Interpretation* interp);
// Hands from's interpretation to `to` (footage without time gets from's rate,
// or defaultRate when from has none). *asked: 0 (no question is put).
TV_EXPORT ErrorCode PIN_TransferInterpretation(PIN_SeqSpecH from, Fixed defaultRate, PIN_SeqSpecH to,
                                               Boolean32* asked);
// Guesses the alpha interpretation from the first frame's pixels (footage
// without 32 bits: "no alpha" at once). A frame with no alpha above 0 gives
// "ignore" with the note "Unable to guess alpha channel." (severity 4).
// The SeqSpec is unchanged; *asked is 0.
TV_EXPORT ErrorCode PIN_GuessAlphaType(PIN_SeqSpecH seq, PIN_AlphaInfo* alpha, Boolean32* asked);
// Guesses the 3:2 pulldown from the field differences of the first six
// frames: *fieldOrder 0 none, 1 upper field first, 2 lower field first;
// *phase 0 none or 1 to 5. Footage with fewer than six frames: 0 and 0.
// The SeqSpec is unchanged.
// Interpretation rules, appended from a text file (null: "Interpretation
// Rules.txt" in $XDG_CONFIG_HOME/tavelo, or ~/.config/tavelo; no file there is
// no failure). Lines end at CR, LF or CRLF; "#" starts a comment; numbers are
// read without the locale. 9988 "could not use ... because it is too large."
// for a file of 32768 bytes or more (nothing loaded); 9997 "... because of a
// syntax error on line <n>." for the first bad line (the rules before it
// stay). Every new SeqSpec read from a file gets the matching rules applied
// in file order.
// Birth loads the default file, or the one the host named.
TV_EXPORT ErrorCode PIN_LoadAutoInterpFile(FILE_SpecH file);
// Names the rules file to use instead of the default (null or "": the
// default again). Before birth it is what birth loads; while born the rules
// are dropped and the named file is loaded at once (a file that is not there
// leaves no rules; failures as PIN_LoadAutoInterpFile).
TV_EXPORT ErrorCode PIN_SetAutoInterpPath(const char* path);
typedef struct PIN_NamedRatio {
  uint32_t numerator, denominator;
  char name[32];
} PIN_NamedRatio;
// The named pixel aspect ratios the rules gave, sorted by name: up to
// capacity copied, *count the number there is.
TV_EXPORT ErrorCode PIN_GetNamedPixelAspectRatios(PIN_NamedRatio* ratios, int32_t capacity, int32_t* count);
TV_EXPORT ErrorCode PIN_GuessPulldown(PIN_SeqSpecH seq, uint32_t* fieldOrder, uint32_t* phase, Boolean32* asked);

// ---- For modules ------------------------------------------------------------------
// What a module reads from its source and hands to the framework.
typedef struct PIN_SourceInfo {
  FourCC fileType, creator;
  int32_t width, height;  // 1 to 30000
  int32_t depth;          // 1, 8, 24 or 32 (only 32 carries alpha)
  Time duration;          // 0/1 for footage without time
  Time start;
  Fixed nativeRate;     // 0 for footage without time
  PIN_AlphaInfo alpha;  // the module's native alpha interpretation
} PIN_SourceInfo;
// 3 for sizes or a depth out of range. A still sequence's duration is the
// number of its files at its rate, whatever is given.
TV_EXPORT ErrorCode PIN_SetSourceInfo(PIN_SeqSpecH seq, const PIN_SourceInfo* info);
TV_EXPORT ErrorCode PIN_GetSourceInfo(PIN_SeqSpecH seq, PIN_SourceInfo* info);
// The module's instance data (the module disposes it in its DisposeSeqSpec).
TV_EXPORT ErrorCode PIN_SetInstanceData(PIN_SeqSpecH seq, Handle data);
TV_EXPORT ErrorCode PIN_GetInstanceData(PIN_SeqSpecH seq, Handle* data);
// The module's per-sequence options, saved in "opti" (the SeqSpec takes a
// copy; Get hands out the SeqSpec's own handle, null when there are none).
TV_EXPORT ErrorCode PIN_SetOptions(PIN_SeqSpecH seq, Handle options);
TV_EXPORT ErrorCode PIN_GetOptions(PIN_SeqSpecH seq, Handle* options);
// The frame index of a time (from 0) at the SeqSpec's effective rate,
// clamped to the footage; 0 for footage without time.
TV_EXPORT ErrorCode PIN_GetFrameIndex(PIN_SeqSpecH seq, const Time* time, int32_t* index);
// Installs the framework's common still-image behaviour in a module's table:
// dimensions, duration, start time, file (the frame's file of a still
// sequence), active extent, next frame time, synchronisation, information,
// disposal, saving and loading.
TV_EXPORT ErrorCode PIN_InstallStillProcs(PIN_ModuleProcs* procs);

// ---- Host callbacks ------------------------------------------------------------------
typedef struct PIN_SeqCallbacks {
  intptr_t refcon;
  // Progress while gathering or reading; non-zero aborts.
  ErrorCode (*progress)(intptr_t refcon, int32_t done, int32_t total);
} PIN_SeqCallbacks;
TV_EXPORT ErrorCode PIN_SetSeqCallbacks(const PIN_SeqCallbacks* callbacks);

// ---- Output ------------------------------------------------------------------------
// An OutputSpec is made for one module, given its information and file,
// started once, fed frames and sound, ended and disposed:
//   PIN_NewOutputSpec -> PIN_SetOutputInfo / PIN_SetOutputFile ->
//   PIN_StartAdding -> (PIN_AddFrame | PIN_AddSoundChunk)* -> PIN_EndAdding ->
//   PIN_DisposeOutputSpec.
// Every operation checks the OutputSpec's magic words (2, "damaged i/o
// structure.") and forwards to the module's slot of the same name; a module
// lacking the slot answers 9985 with "the <module> module does not support
// <operation>", except where said otherwise below.

// What is written: frame size and depth, rates, fields, pixel aspect and the
// sound format. Kept by the OutputSpec; the module sees it through its
// SetOutputInfo slot when it has one. Stored big-endian (88 bytes) when saved.
enum { PIN_OutputInfoVersion = 2 };
typedef struct PIN_OutputInfo {
  uint32_t version;  // PIN_OutputInfoVersion
  int32_t width, height;
  int16_t depth;     // 24 or 32
  int16_t quality;   // 0 draft, 1 best
  Fixed frameRate;   // 16.16 frames a second; 0 for a single still
  uint32_t fieldOrder;  // 0 whole frames, 1 upper field first, 2 lower field first
  uint32_t hsfNum, hsfDen;  // pixel aspect
  uint32_t pulldown;        // 3:2 pulldown phase added (0 none, 1 to 5)
  // Unsigned 16.16 Hz (up to 65535 Hz); 0 without sound. A signed 16.16
  // figure would end at 32767 Hz, below the usual 44.1 and 48 kHz.
  uint32_t soundRate;
  uint16_t soundEncoding;   // SND encodings (1 unsigned, 2 signed, 3 float)
  uint16_t soundBytes;      // bytes a sample
  uint16_t soundChannels;   // 1 or 2
  uint16_t reserved0;
  Time start;               // time of the first frame written
  Time duration;            // of the whole output
  uint32_t flags;
  uint32_t reserved[6];
} PIN_OutputInfo;
// The first version of the record (40 bytes stored): 16-bit sizes, no pixel
// aspect, pulldown nor times.
typedef struct PIN_OutputInfoV1 {
  uint32_t version;  // 1
  int16_t width, height;
  int16_t depth;
  int16_t quality;
  Fixed frameRate;
  uint32_t fieldOrder;
  uint32_t soundRate;  // unsigned 16.16 Hz
  uint16_t soundBytes;
  uint16_t soundChannels;
  uint32_t flags;
  uint32_t reserved[3];
} PIN_OutputInfoV1;

// What the framework keeps of an output under way.
typedef struct PIN_OutputState {
  FourCC signature;
  Boolean32 started;
  int32_t frames;       // frames added since the first start
  int32_t bytes;        // bytes written (still sequences), capped at 0x7FFFFFFF
  int32_t firstNumber;  // number of frame index 0 in numbered still names
  Boolean32 noNumbering;
  Boolean32 reservedFrame;  // a frame was reserved
  int32_t lastIndex;        // the last frame index added, -1 before the first
} PIN_OutputState;

// A new OutputSpec of the module for frames of width x height. 3 "cannot
// output to this format because it is not currently installed." for a
// signature no module has, "Unknown output module" for the placeholder;
// 3 "Cannot output to <module> because the image size is too large." for a
// frame above the module's maximum; the module's NewOutputSpec failure (9985
// when it writes nothing). *out null on failure.
TV_EXPORT ErrorCode PIN_NewOutputSpec(FourCC signature, int32_t width, int32_t height, PIN_OutputSpecH* out);
// Frees the OutputSpec, its file reference and the module's state; output
// that was not ended leaves no file under its final name. Null is accepted.
TV_EXPORT ErrorCode PIN_DisposeOutputSpec(PIN_OutputSpecH out);
// The module's options as a new handle (released with PIN_DisposeOutputOptions).
TV_EXPORT ErrorCode PIN_GetOutputOptions(PIN_OutputSpecH out, Handle* options);
TV_EXPORT ErrorCode PIN_DisposeOutputOptions(PIN_OutputSpecH out, Handle options);
// The module's options dialog; 0 with *cancelled set when the user cancels.
TV_EXPORT ErrorCode PIN_UserOptionsDialog(PIN_OutputSpecH out, Boolean32* cancelled);
// Asks the host's dialog procedure (PIN_SetUserDialogProc) for the output
// file and sets it. 8 "this module requires user interaction to choose a
// file." without one; 0 with *cancelled set when the user cancels.
TV_EXPORT ErrorCode PIN_DestinationDialog(PIN_OutputSpecH out, Boolean32* cancelled);
// size: sizeof(PIN_OutputInfo). Get hands out what the OutputSpec keeps
// (zeroes with the version before any Set), as the module's GetOutputInfo
// slot completes it when it has one. Set checks the record (version, size
// within the module's maximum, depth 24 or 32, field order 0 to 2, pulldown
// 0 to 5, pixel aspect terms 1 to 100000 when given, sound channels 0 to 2;
// 3 otherwise), hands it to the module's SetOutputInfo slot when it has one
// and keeps it on success.
TV_EXPORT ErrorCode PIN_GetOutputInfo(PIN_OutputSpecH out, PIN_OutputInfo* info, int32_t size);
TV_EXPORT ErrorCode PIN_SetOutputInfo(PIN_OutputSpecH out, const PIN_OutputInfo* info, int32_t size);
// The output file (for a still-sequence module: the name template, with a
// "[##...]" number field or without). The OutputSpec keeps its own copy.
TV_EXPORT ErrorCode PIN_SetOutputFile(PIN_OutputSpecH out, FILE_SpecH file);
// A new reference to the output file (null when none is set; not a failure).
TV_EXPORT ErrorCode PIN_GetOutputFile(PIN_OutputSpecH out, FILE_SpecH* file);
TV_EXPORT ErrorCode PIN_SetOutSpecificData(PIN_OutputSpecH out, int32_t selector, const void* data, int32_t size);
TV_EXPORT ErrorCode PIN_GetOutSpecificData(PIN_OutputSpecH out, int32_t selector, void* data, int32_t size);
// Depth bits: 1 << (depth / 4) for each depth the module writes (0x40 24
// bits, 0x80 32 bits).
TV_EXPORT ErrorCode PIN_GetLegalDepths(PIN_OutputSpecH out, uint32_t* depths);
// The extension the module gives its files (".png"); the module's default
// extension when it has no slot of its own.
TV_EXPORT ErrorCode PIN_GetOutputSuffix(PIN_OutputSpecH out, char* suffix, int32_t size);
// Still sequences: the number of frame index 0 and whether names carry
// numbers at all (without, a second frame is refused with 9988).
TV_EXPORT ErrorCode PIN_SetOutputNumbering(PIN_OutputSpecH out, int32_t firstNumber, Boolean32 noNumbering);
TV_EXPORT ErrorCode PIN_GetOutputState(PIN_OutputSpecH out, PIN_OutputState* state);

// The write path. StartAdding zeroes the frame count the first time and
// calls the module. AddFrame (index < 0: the last index + 1): a
// still-sequence module writes each frame to its numbered file (the name's
// "[#...]" field, or "[#####]" added before the extension, the number at
// the field's width; prefix, then suffix shortened to fit; 1 "<name> is not
// a valid filename" for a name out of 1 to 255 bytes, before anything is
// written; 9988 "adding multiple still frames without frame numbering." for
// a second frame without numbering) and its size is added to the byte total,
// unless the file lies under a folder listed in the preference
// "DontCheckSpaceDrives" (section "Tavelo"; absolute folders, normally mount
// points, separated by ';' or ','; there are no drive letters here, and
// entries that are not absolute paths match nothing); other modules get the
// frame through their AddFrame slot. EndAdding calls the module's EndAdding
// then its Flush (when it has one).
TV_EXPORT ErrorCode PIN_StartAdding(PIN_OutputSpecH out);
TV_EXPORT ErrorCode PIN_AddFrame(PIN_OutputSpecH out, int32_t index, BM_World world);
TV_EXPORT ErrorCode PIN_AddSoundChunk(PIN_OutputSpecH out, Handle soundWorld);
TV_EXPORT ErrorCode PIN_EndAdding(PIN_OutputSpecH out);
TV_EXPORT ErrorCode PIN_OutputFrame(PIN_OutputSpecH out, BM_World world);
TV_EXPORT ErrorCode PIN_Flush(PIN_OutputSpecH out);
// The free space of the output's volume and the bytes written: the module's
// answer, or (a module answering 9992 or lacking the slot) the volume's free
// space and the byte total of the still files written, counted in 64 bits
// (PIN_OutputState.bytes holds the same total saturated at 0x7FFFFFFF).
TV_EXPORT ErrorCode PIN_GetSizes(PIN_OutputSpecH out, int64_t* volumeSpace, int64_t* fileSize);

// ---- Numbered stills and frame reservation ------------------------------------------
// Several renderers (processes, machines) can share one numbered still
// sequence in one folder without a coordinator: each claims a frame by
// creating its file empty, which succeeds for exactly one of them (the
// creation is exclusive on the file system), renders it and writes over it.
//
// The file of numbered still `index` (index < 0: the last index + 1), as a
// new reference (not created). 3 "no output file specified!" without an
// output file; 1 "<name> is not a valid filename" (also written to stderr)
// for a name out of 1 to 255 bytes, before anything is made on disk.
TV_EXPORT ErrorCode PIN_LocSpecStillFrameFromOutSpec(PIN_OutputSpecH out, int32_t index, FILE_SpecH* file);
// Claims frame `index` (index < 0: the last index + 1) by creating its
// numbered file empty. *reserved 1: the frame is this renderer's, and the
// OutputSpec is marked as having reserved a frame. *reserved 0 with 0
// returned: another renderer holds it (the file exists), nothing reported,
// and the last index moves to this frame so that index -1 asks for the next
// one. Any other failure to create the file (a missing folder, no
// permission, a full volume) is reported and returned: a render must not
// skip every frame and call that success. flags: reserved, pass 0.
TV_EXPORT ErrorCode PIN_ReserveFrame(PIN_OutputSpecH out, int32_t index, uint32_t flags, Boolean32* reserved);
// Gives a claimed frame back: deletes its file while it is still empty.
// 1 "trying to unreserve a file without reserving it first." when this
// OutputSpec never reserved a frame (always, quiet or not); 1 "trying to
// unreserve a non-existent file." / "trying to unreserve a file with
// non-zero size." unless quiet (then 0, nothing reported, the file left as
// it is). index < 0: the last index. flags: reserved, pass 0.
TV_EXPORT ErrorCode PIN_UnReserveFrame(PIN_OutputSpecH out, int32_t index, uint32_t flags, Boolean32 quiet);
// Whether the numbered file of frame `index` (index < 0: the last index +
// 1) exists; when it does, the last index moves to it. flags: reserved.
TV_EXPORT ErrorCode PIN_DoesFileExist(PIN_OutputSpecH out, int32_t index, uint32_t flags, Boolean32* exists);
// The byte length of the extension of name, its "." included (".png" -> 4;
// 0 when the name has none; a leading dot alone is not an extension).
TV_EXPORT ErrorCode PIN_ExtLen(const char* name, int32_t* length);

// ---- Output continuation -------------------------------------------------------------
// The render loop calls PIN_ContinueOutput before writing each frame to an
// output (modules writing files only; others are left alone). The output goes
// on in a new file, folder or volume when:
// - the free space of the output's volume is at or below marginKB +
//   estimateKB (the volume is full): with overflow on, in the first overflow
//   folder (tried in turn from slot overflowSlot, empty slots
//   skipped) whose volume has at least marginKB + 2 x estimateKB + 1 KB free;
//   a folder with less is skipped with the note (severity 32) "Note: not
//   enough free space on volume "<folder>" to overflow onto.  (Available =
//   <n>K, wanted = at least <m>K.)"; none left: 6662 "render can't continue
//   -- out of disk space on all overflow volumes.". With overflow off the
//   output stays where it is (its writes will fail when the disk is full);
// - else, for a still sequence, the output's folder holds at least
//   folderFileLimit entries (0: no limit): a new folder beside it;
// - else, for other modules, the file's KB (rounded up, 64-bit) +
//   estimateKB reaches fileSizeLimitKB (0: no limit): a new file beside it.
// The new name is the current one ("clip.avi"; for a still sequence its
// folder's name) with " (n)" before the extension, n = continuations + 2
// ("clip (2).avi", then "clip (3).avi": an earlier " (n)" is taken off at
// the last space); the stem is shortened (whole characters) so the name fits
// 255 bytes. A still sequence's new folder is created (on an overflow
// volume, in its folder, which is created when missing) and gets the
// template's name. 792 "can't overflow to "<path>" because it already
// exists!" when the new file or folder is there. Then continuations goes up
// by 1, the output is ended (PIN_EndAdding), pointed at the new file
// (PIN_SetOutputFile) and started again (PIN_StartAdding; frame numbering
// and counts go on), and the note "Note: output hit <volume freespace |
// folder file-count | filesize> limit, continuing as "<path>"." is made
// (severity 32). When the output carries sound (its info has sound channels)
// and soundSecondsLeft > 0: "Warning: <seconds> seconds of audio were left
// in the previous file and will be missing from this next file." (severity
// 4). 3 "no output file specified!" without an output file. *continued: 1
// when the output moved on (also set when a later step failed).
enum { PIN_MaxOverflowVolumes = 8 };
typedef struct PIN_ContinuationSettings {
  uint32_t marginKB;         // free space kept on every volume
  uint32_t folderFileLimit;  // still sequences: entries in one folder (0 none)
  uint32_t fileSizeLimitKB;  // other modules: KB of one file (0 none)
  Boolean32 overflow;        // go on to the overflow folders when the volume is full
  // Absolute folder paths, owned by the caller; null or "" = an empty slot.
  const char* overflowFolders[PIN_MaxOverflowVolumes];
  // State kept by PIN_ContinueOutput between frames (start both at 0):
  int32_t overflowSlot;   // the slot the next search starts with (the one after the last used)
  int32_t continuations;  // continuations made so far
} PIN_ContinuationSettings;
TV_EXPORT ErrorCode PIN_ContinueOutput(PIN_OutputSpecH out, PIN_ContinuationSettings* settings,
                                       uint32_t estimateKB, double soundSecondsLeft, Boolean32* continued);

// Output information records swapped in place between host order and the
// stored big-endian order, field by field (the same call goes both ways),
// and a first-version record converted to the current one.
TV_EXPORT ErrorCode PIN_Swap_OutputInfo(PIN_OutputInfo* info);
TV_EXPORT ErrorCode PIN_Swap_OutputInfoV1(PIN_OutputInfoV1* info);
TV_EXPORT ErrorCode PIN_ConvertOutputInfoV1(const PIN_OutputInfoV1* v1, PIN_OutputInfo* info);

// For modules: the state of one output, owned by the OutputSpec and released
// with dispose (on replacement, on PIN_SetOutputInstance(out, null, null) and
// with the OutputSpec).
TV_EXPORT ErrorCode PIN_SetOutputInstance(PIN_OutputSpecH out, void* state, void (*dispose)(void* state));
TV_EXPORT ErrorCode PIN_GetOutputInstance(PIN_OutputSpecH out, void** state);

// ---- Host procedures, dialogs and clipboard -------------------------------------------
// Two host callbacks handed on to drivers that ask for them (null removes them).
typedef struct PIN_HostProcs {
  intptr_t refcon;
  ErrorCode (*proc1)(intptr_t refcon, void* data);
  ErrorCode (*proc2)(intptr_t refcon, void* data);
} PIN_HostProcs;
TV_EXPORT ErrorCode PIN_SetHostProcs(const PIN_HostProcs* procs);
TV_EXPORT ErrorCode PIN_GetHostProcs(PIN_HostProcs* procs);
// The host's cue sheet: an opaque record kept for drivers (null removes it).
TV_EXPORT ErrorCode PIN_SetCueSheet(void* cueSheet);
TV_EXPORT ErrorCode PIN_GetCueSheet(void** cueSheet);
// The host's dialogs. kind PIN_Dialog_Destination: write the chosen output
// path into path (size bytes) for the OutputSpec `spec`; PIN_Dialog_SeqOptions:
// show the footage options of the SeqSpec `spec`. *cancelled when the user
// cancels.
enum { PIN_Dialog_Destination = 1, PIN_Dialog_SeqOptions = 2 };
typedef ErrorCode (*PIN_UserDialogProc)(intptr_t refcon, int32_t kind, Handle spec, char* path, int32_t size,
                                        Boolean32* cancelled);
TV_EXPORT ErrorCode PIN_SetUserDialogProc(PIN_UserDialogProc proc, intptr_t refcon);
// The footage options dialog through the host's dialog procedure; 8 "this
// module requires user interaction to choose a file." without one.
TV_EXPORT ErrorCode PIN_SeqOptionsDialog(PIN_SeqSpecH seq, Boolean32* cancelled);
// Whether a drawing request can be answered as it is: a valid time and
// scale (*sufficient 1), else 0. Not a failure either way.
TV_EXPORT ErrorCode PIN_IsThisPBSufficient(PIN_SeqSpecH seq, const PIN_DrawParams* params, Boolean32* sufficient);
// A device-independent bitmap (40-byte little-endian info header, colour
// table for 1, 4 and 8 bits, rows padded to four bytes, bottom-up unless the
// height is negative; 1, 4, 8, 24 or 32 bits, uncompressed) as a new 32-bit
// World (opaque, or with the fourth byte as alpha for 32 bits when asked).
// 3 "bad argument to PIN_DIB2BM." for a malformed or truncated bitmap.
TV_EXPORT ErrorCode PIN_DIB2BM(const void* dib, int32_t size, Boolean32 useAlpha, BM_World* world);
// The clipboard: the module that converts items of the clipboard type (a
// module declaring the type with a ConvertScrap slot of its own;
// PIN_NoSignature when none), converting through it, and disposing of what
// it converted.
TV_EXPORT ErrorCode PIN_GetScrapModuleSignature(FourCC scrapType, FourCC* signature);
TV_EXPORT ErrorCode PIN_ConvertScrap(FourCC signature, Handle scrap, Handle* converted);
TV_EXPORT ErrorCode PIN_CleanupScrap(FourCC signature, Handle scrap);
// The module for a file, by extension first when asked, then file type,
// creator and extension again (PIN_NoSignature when none).
TV_EXPORT ErrorCode PINp_GetSigFromType(FourCC fileType, FourCC creator, const char* name, Boolean32 extensionFirst,
                                        FourCC* signature);
