/* tavelo_effect.h: everything an effect plug-in needs to be called by the
 * Tavelo engine. A plug-in is a shared object (extension .tvx) that carries
 * its property list in a ".tvrsrc" section (compiled from a text file by
 * piplc) and exports one entry point; it never links against the engine:
 * every service comes through the records and callbacks declared here.
 *
 * What a plug-in may rely on:
 * - The records keep the field order, the widths of non-pointer fields and
 *   every numeric value (commands, codes, flag bits, parameter types) of the
 *   call protocol. Pointer and handle fields are pointer-sized (LP64); the
 *   comments give each field's 32-bit offset in the protocol's first form.
 * - The host clears the output record before every call and locks the
 *   global, sequence and frame data handles around it (*handle is the data).
 * - Callbacks the current command does not allow answer PF_Err_BadSelector.
 * - Nothing handed back is trusted: sizes, texts, handles and counts are
 *   checked, and an effect that answers nonsense is refused for that frame.
 * - Sequence data written to project files is the bytes the effect gives
 *   on sequence flatten: use big-endian there, so files move between
 *   machines.
 *
 * The header is plain C99 and also compiles as C++.
 */
#ifndef TAVELO_EFFECT_H
#define TAVELO_EFFECT_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Interface version ----------------------------------------------------------- */
/* The spec_version of a plug-in's property list: the engine accepts majors
 * 11 and 12; this header describes 12.0. */
#define PF_SPEC_VERSION_MAJOR 12
#define PF_SPEC_VERSION_MINOR 0
/* An effect's own version word (effect_version in the property list, and
 * out->version at global setup): major, minor, bug fix, stage, build. */
#define PF_VERSION(major, minor, bug, stage, build)                                          \
  ((((uint32_t)(major)&0x1FFFu) << 19) | (((uint32_t)(minor)&0xFu) << 15) |                   \
   (((uint32_t)(bug)&0xFu) << 11) | (((uint32_t)(stage)&0x3u) << 9) | ((uint32_t)(build)&0x1FFu))
enum { PF_Stage_Develop = 0, PF_Stage_Alpha = 1, PF_Stage_Beta = 2, PF_Stage_Release = 3 };

/* The entry point must be visible outside the plug-in. */
#if defined(__GNUC__)
#define PF_EXPORT __attribute__((visibility("default")))
#else
#define PF_EXPORT
#endif

/* ---- Basic types -------------------------------------------------------------------- */
typedef char** PF_Handle;     /* a relocatable block: lock it, then *handle is the data */
typedef int32_t PF_Fixed;     /* 16.16 */
typedef int32_t PF_Boolean;
typedef double PF_FpLong;
typedef struct PF_Point { int16_t v, h; } PF_Point;
typedef struct PF_LPoint { int32_t h, v; } PF_LPoint;
typedef struct PF_Rect { int16_t top, left, bottom, right; } PF_Rect;
typedef struct PF_FloatMatrix { PF_FpLong m[9]; } PF_FloatMatrix;  /* 3 x 3, row vectors */

/* One pixel in memory order: 8 bits a channel, alpha first. */
typedef struct PF_Pixel { uint8_t alpha, red, green, blue; } PF_Pixel;

/* A world: pixels the effect reads or writes. Rows are rowBytes apart (never
 * assume width * 4); write only width pixels of a row. */
typedef struct PF_World {
  uintptr_t reserved0;
  uintptr_t reserved1;
  uint32_t worldFlags;    /* PF_WorldFlag_Writeable */
  char* data;             /* the first pixel */
  int32_t rowBytes;
  int32_t width;
  int32_t height;
  PF_Rect extentHint;     /* the part that matters (top, left, bottom, right) */
  void* platformRef;
  void* world;            /* host data */
  uint32_t kindMagic;
  uint32_t reserved[7];
} PF_World;
enum { PF_WorldFlag_Writeable = 2 };

/* ---- Commands ----------------------------------------------------------------------- */
enum {
  PF_Cmd_About = 0,             /* answer a text in out->message */
  PF_Cmd_GlobalSetup = 1,       /* once per class, before anything else */
  PF_Cmd_GlobalFlatten = 2,
  PF_Cmd_GlobalSetdown = 3,     /* dispose of the global data */
  PF_Cmd_ParamsSetup = 4,       /* add the parameters (in->addParam) */
  PF_Cmd_SequenceSetup = 5,     /* a new instance: make sequence data */
  PF_Cmd_SequenceResetup = 6,   /* sequence data read back from a file */
  PF_Cmd_SequenceFlatten = 7,   /* make the sequence data one flat block */
  PF_Cmd_SequenceSetdown = 8,   /* dispose of the sequence data */
  PF_Cmd_DoDialog = 9,
  PF_Cmd_FrameSetup = 10,       /* answer the output size (out->width, height, origin) */
  PF_Cmd_Render = 11,           /* params[0] is the input, output the output world */
  PF_Cmd_FrameSetdown = 12,
  PF_Cmd_ParamsUpdate = 13,     /* extra: PF_ParamsUpdate */
  PF_Cmd_ParamsSupervise = 14,
  PF_Cmd_Event = 15,
  PF_Cmd_Interpolate = 16,
  PF_Cmd_COMPLETELY_GENERAL = 17,
  PF_Cmd_Reserved18 = 18,
  PF_Cmd_AudioRender = 19,      /* extra: PF_AudioCall */
  PF_Cmd_Reserved20 = 20,
  PF_Cmd_Reserved21 = 21,
  PF_Cmd_ArbitraryData = 22
};

/* ---- Codes -------------------------------------------------------------------------- */
typedef int32_t PF_Err;
enum {
  PF_Err_None = 0,
  PF_Err_OutOfMemory = 4,
  PF_Err_Damaged = 512,         /* an effect reference or record that is not one */
  PF_Err_BadSelector = 515,     /* a callback the command does not allow */
  PF_Err_BadCallbackArg = 516,  /* a bad argument to a callback */
  PF_Err_Interrupted = 517,     /* the user stopped the work: return it, it is no failure */
  PF_Err_NotHandled = 518       /* an arbitrary-data operation left to the host */
};

/* ---- Out flags ---------------------------------------------------------------------- */
#define PF_OutFlag_KeepResourceOpen 0x00000001u
#define PF_OutFlag_UsesExtentHints 0x00000040u
#define PF_OutFlag_DialogAtCreation 0x00000080u
#define PF_OutFlag_ErrorTextOnFailure 0x00000100u
#define PF_OutFlag_UnclippedRequest 0x00000200u
#define PF_OutFlag_CustomUI 0x00008000u
#define PF_OutFlag_EventResult1 0x00020000u
#define PF_OutFlag_Obsolete 0x00200000u
#define PF_OutFlag_EventResult2 0x00400000u
#define PF_OutFlag_FlagsMayDiffer 0x00800000u
#define PF_OutFlag_FloatAudio 0x08000000u
#define PF_OutFlag_AudioAlso 0x40000000u
#define PF_OutFlag_AudioOnly 0x80000000u

/* ---- Parameters --------------------------------------------------------------------- */
enum {
  PF_Param_Layer = 0,        /* another layer; parameter 0 is the input */
  PF_Param_Slider = 1,       /* integer */
  PF_Param_FixedSlider = 2,  /* 16.16 */
  PF_Param_Angle = 3,        /* 16.16 degrees */
  PF_Param_Checkbox = 4,
  PF_Param_Colour = 5,       /* alpha, red, green, blue (0 to 255) */
  PF_Param_Point = 6,        /* 16.16 x and y */
  PF_Param_Popup = 7,        /* 1 to the choice count */
  PF_Param_Type8 = 8,
  PF_Param_Type9 = 9,
  PF_Param_FloatSlider = 10, /* double value, float limits */
  PF_Param_Arbitrary = 11,
  PF_Param_Type12 = 12,
  PF_Param_Type13 = 13,
  PF_Param_Type14 = 14
};
#define PF_ParamFlag_CANNOT_TIME_VARY 0x02u
#define PF_ParamFlag_NoStream 0x08u   /* set by the host */
#define PF_ParamFlag_SUPERVISE 0x40u
#define PF_PUI_TOPIC 0x01u
#define PF_PUI_CONTROL 0x02u
#define PF_PUI_STD_CONTROL_ONLY 0x04u
#define PF_PUI_NoControl 0x08u
#define PF_ChangeFlag_CHANGED_VALUE 0x01u
#define PF_ChangeFlag_CHANGED_UI 0x02u
#define PF_ChangeFlag_SET_TO_VARY 0x04u
#define PF_ChangeFlag_SET_TO_CONSTANT 0x08u

enum { PF_ParamUnionWords = 23, PF_ParamNameBytes = 32, PF_ParamTextBytes = 84 };
/* Words of the value union by type:
 *   slider (1), Fixed slider (2): w0 value, w1 default, w17 minimum, w18 maximum
 *   angle (3), checkbox (4), colour (5): w0 value, w1 default (a colour's
 *     words hold a PF_Pixel: alpha, red, green, blue bytes); a checkbox's
 *     label (a char pointer when added, the text itself afterwards) at byte 8
 *   point (6): w0, w1 value (x, y), w2, w3 default
 *   popup (7): w0 value, int16 choice count at byte 4, int16 default at byte
 *     6, the choices ("One|Two|Three") as for the checkbox label at byte 8
 *   float slider (10): double value at w0, double default at w2, float
 *     minimum at w12 and maximum at w13
 *   layer (0): a checked-out layer carries its world in `world` */
enum {
  PF_Word_Value = 0, PF_Word_Default = 1, PF_Word_PointDefault = 2, PF_Word_FloatDefault = 2,
  PF_Word_FloatMin = 12, PF_Word_FloatMax = 13, PF_Word_Min = 17, PF_Word_Max = 18,
  PF_Byte_ChoiceCount = 4, PF_Byte_ChoiceDefault = 6, PF_Byte_Text = 8
};
typedef union PF_ParamValue {
  uint32_t words[PF_ParamUnionWords];
  uint8_t bytes[4 * PF_ParamUnionWords];
  PF_World world;
} PF_ParamValue;

typedef struct PF_ParamDef {
  uint32_t identifier;            /* 0: 0 means the parameter's index */
  uint32_t uiFlags;               /* 4: PF_PUI_* */
  int16_t uiWidth, uiHeight;      /* 8, 10 */
  uint32_t type;                  /* 12: PF_Param_* */
  char name[PF_ParamNameBytes];   /* 16 */
  uint32_t flags;                 /* 48: PF_ParamFlag_* */
  void* stream;                   /* 52: host data */
  PF_ParamValue u;                /* 56 */
} PF_ParamDef;

typedef struct PF_ChangeRecord {
  uint8_t flags;                  /* PF_ChangeFlag_* */
  uint8_t reserved[3];
  uint32_t value[9];              /* the new value, in the union's word layout */
} PF_ChangeRecord;

/* ---- Pixel utilities (the callback block of in->utilCallbacks) -------------------- */
typedef void* PF_ProgPtr;   /* the effect reference: pass in->effectRef to callbacks */
typedef PF_Handle PF_Chunk;
typedef struct PF_SampleParams {
  PF_Fixed xRadius, yRadius, area;
  const PF_World* source;
  int32_t edgeMode;               /* 0 transparent outside, 1 repeat edges */
  int32_t reserved[3];
} PF_SampleParams;
typedef struct PF_CompositeMode {
  int32_t mode;                   /* transfer mode 0 to 25 */
  uint32_t seed;
  uint8_t opacity;
  uint8_t colourOnly;
  uint8_t reserved[2];
} PF_CompositeMode;
typedef struct PF_MaskWorld {
  PF_World world;
  PF_LPoint offset;
  int32_t flags;
} PF_MaskWorld;
typedef struct PF_Destination {
  uint32_t magic;
  int32_t depth;
  PF_World* world;
  void* port;
  void* device;
  PF_Rect bounds;
} PF_Destination;
enum { PF_Batch_Straight = 1, PF_Batch_Area = 2 };

typedef PF_Err (*PF_PixelFunc)(void* refcon, int32_t x, int32_t y, PF_Pixel* in, PF_Pixel* out);
typedef PF_Err (*PF_IndexFunc)(void* refcon, int32_t index, int32_t count);
typedef PF_Err (*PF_SampleFunc)(PF_ProgPtr ref, PF_Fixed x, PF_Fixed y, const PF_SampleParams* params,
                                PF_Pixel* out);
typedef PF_Err (*PF_BatchSampleFunc)(PF_ProgPtr ref, PF_Fixed x, PF_Fixed y, PF_Fixed dx, PF_Fixed dy,
                                     int32_t count, const PF_SampleParams* params, PF_Pixel* out);

typedef struct PF_UtilCallbacks {
  void* reserved0;                                                                       /* 0 */
  PF_SampleFunc subpixelSample;                                                          /* 1 */
  PF_SampleFunc areaSample;                                                              /* 2 */
  PF_Err (*getBatchFunc)(PF_ProgPtr, int32_t quality, int32_t flags, const PF_SampleParams*,
                         void** batch); /* 3: *batch is a PF_BatchSampleFunc */
  void* reserved4;                                                                       /* 4 */
  PF_Err (*compositeRect)(PF_ProgPtr, const PF_Rect* srcRect, int32_t opacity, const PF_World* src,
                          int32_t destH, int32_t destV, int32_t field, int32_t mode, PF_World* dst); /* 5 */
  PF_Err (*blend)(PF_ProgPtr, const PF_World* src1, const PF_World* src2, PF_Fixed ratio, PF_World* dst); /* 6 */
  PF_Err (*convolve)(PF_ProgPtr, const PF_World* src, const PF_Rect* area, int32_t flags, int32_t kernelSize,
                     const void* a, const void* r, const void* g, const void* b, PF_World* dst); /* 7 */
  PF_Err (*copy)(PF_ProgPtr, const PF_World* src, PF_World* dst, const PF_Rect* srcRect,
                 const PF_Rect* dstRect);                                                /* 8 */
  PF_Err (*fill)(PF_ProgPtr, const PF_Pixel* colour, const PF_Rect* rect, PF_World* world); /* 9 */
  PF_Err (*gaussianKernel)(PF_ProgPtr, PF_FpLong radius, int32_t flags, PF_FpLong multiplier,
                           int32_t* diameter, int32_t* kernel);                          /* 10 */
  PF_Err (*iterate)(PF_ProgPtr, int32_t progressBase, int32_t progressFinal, const PF_World* src,
                    const PF_Rect* area, void* refcon, PF_PixelFunc fn, PF_World* dst);  /* 11 */
  PF_Err (*premul)(PF_ProgPtr, PF_Boolean forward, PF_World* world);                     /* 12 */
  PF_Err (*premulColor)(PF_ProgPtr, PF_Boolean forward, const PF_Pixel* colour, PF_World* world); /* 13 */
  PF_Err (*newWorld)(void* ref, int32_t width, int32_t height, PF_Boolean clear, PF_World* world); /* 14 */
  PF_Err (*getPlatformRefs)(void* ref, const PF_World* world, void** port, void** device); /* 15 */
  PF_Err (*disposeWorld)(void* ref, PF_World* world);                                    /* 16 */
  PF_Err (*iterateOrigin)(PF_ProgPtr, int32_t progressBase, int32_t progressFinal, const PF_World* src,
                          const PF_Rect* area, const PF_Point* origin, void* refcon, PF_PixelFunc fn,
                          PF_World* dst);                                                /* 17 */
  PF_Err (*iterateLUT)(PF_ProgPtr, int32_t progressBase, int32_t progressFinal, const PF_World* src,
                       const PF_Rect* area, const uint8_t* a, const uint8_t* r, const uint8_t* g,
                       const uint8_t* b, PF_World* dst);                                 /* 18 */
  PF_Err (*transferRect)(PF_ProgPtr, int32_t quality, int32_t flags, int32_t field, const PF_Rect* srcRect,
                         const PF_World* src, const PF_CompositeMode* mode, const PF_MaskWorld* mask,
                         int32_t destH, int32_t destV, PF_World* dst);                   /* 19 */
  PF_Err (*transformWorld)(PF_ProgPtr, int32_t quality, int32_t flags, int32_t field, const PF_World* src,
                           const PF_CompositeMode* mode, const PF_MaskWorld* mask, const PF_FloatMatrix* matrices,
                           int32_t matrixCount, PF_Boolean reserved, const PF_Rect* destRect,
                           PF_World* dst);                                               /* 20 */
  PF_Handle (*newHandle)(PF_ProgPtr, int32_t size);                                      /* 21 */
  void* (*lockHandle)(PF_ProgPtr, PF_Handle h);                                          /* 22 */
  PF_Err (*unlockHandle)(PF_ProgPtr, PF_Handle h);                                       /* 23 */
  PF_Err (*disposeHandle)(PF_ProgPtr, PF_Handle h);                                      /* 24 */
  PF_Err (*getCallbackAddr)(PF_ProgPtr, int32_t quality, int32_t flags, int32_t selector, void** address); /* 25 */
  PF_Err (*appCallback)(PF_ProgPtr, int32_t selector, void* data);                       /* 26 */
  PF_FpLong (*atan)(PF_FpLong);                                                          /* 27 */
  PF_FpLong (*atan2)(PF_FpLong, PF_FpLong);                                              /* 28 */
  PF_FpLong (*ceil)(PF_FpLong);                                                          /* 29 */
  PF_FpLong (*cos)(PF_FpLong);                                                           /* 30 */
  PF_FpLong (*exp)(PF_FpLong);                                                           /* 31 */
  PF_FpLong (*fabs)(PF_FpLong);                                                          /* 32 */
  PF_FpLong (*floor)(PF_FpLong);                                                         /* 33 */
  PF_FpLong (*fmod)(PF_FpLong, PF_FpLong);                                               /* 34 */
  PF_FpLong (*hypot)(PF_FpLong, PF_FpLong);                                              /* 35 */
  PF_FpLong (*log)(PF_FpLong);                                                           /* 36 */
  PF_FpLong (*log10)(PF_FpLong);                                                         /* 37 */
  PF_FpLong (*pow)(PF_FpLong, PF_FpLong);                                                /* 38 */
  PF_FpLong (*sin)(PF_FpLong);                                                           /* 39 */
  PF_FpLong (*sqrt)(PF_FpLong);                                                          /* 40 */
  PF_FpLong (*tan)(PF_FpLong);                                                           /* 41 */
  int (*sprintf)(char*, const char*, ...);                                               /* 42 */
  char* (*strcpy)(char*, const char*);                                                   /* 43 */
  PF_FpLong (*asin)(PF_FpLong);                                                          /* 44 */
  PF_FpLong (*acos)(PF_FpLong);                                                          /* 45 */
  void* reserved46;                                                                      /* 46 */
  PF_Err (*RGBtoHLS)(PF_ProgPtr, const PF_Pixel* pixel, PF_Fixed* hls);                  /* 47 */
  PF_Err (*HLStoRGB)(PF_ProgPtr, const PF_Fixed* hls, PF_Pixel* pixel);                  /* 48 */
  PF_Err (*RGBtoYIQ)(PF_ProgPtr, const PF_Pixel* pixel, PF_Fixed* yiq);                  /* 49 */
  PF_Err (*YIQtoRGB)(PF_ProgPtr, const PF_Fixed* yiq, PF_Pixel* pixel);                  /* 50 */
  PF_Err (*luminance)(PF_ProgPtr, const PF_Pixel* pixel, int32_t* value);               /* 51: 30R+59G+11B */
  PF_Err (*hue)(PF_ProgPtr, const PF_Pixel* pixel, int32_t* value);                     /* 52 */
  PF_Err (*lightness)(PF_ProgPtr, const PF_Pixel* pixel, int32_t* value);               /* 53 */
  PF_Err (*saturation)(PF_ProgPtr, const PF_Pixel* pixel, int32_t* value);              /* 54 */
  PF_Err (*obsoleteInquiry)(PF_ProgPtr, int32_t kind, void* port, void* answer);        /* 55 */
  PF_Err (*platformInquiry)(PF_ProgPtr, int32_t kind, void* port, void* answer);        /* 56 */
  int32_t (*getHandleSize)(PF_ProgPtr, PF_Handle h);                                     /* 57 */
  PF_Err (*iterateOriginNoClip)(PF_ProgPtr, int32_t progressBase, int32_t progressFinal, const PF_World* src,
                                const PF_Rect* area, const PF_Point* origin, void* refcon, PF_PixelFunc fn,
                                PF_World* dst);                                          /* 58 */
  PF_Err (*iterateIndexed)(PF_ProgPtr, int32_t count, void* refcon, PF_IndexFunc fn);    /* 59 */
  PF_Err (*resizeHandle)(PF_ProgPtr, int32_t size, PF_Handle* h);                        /* 60 */
  PF_Err (*newChunk)(PF_ProgPtr, int32_t size, PF_Chunk* chunk);                         /* 61 */
  PF_Err (*disposeChunk)(PF_ProgPtr, PF_Chunk chunk);                                    /* 62 */
  PF_Err (*lockChunk)(PF_ProgPtr, PF_Chunk chunk, void** data);                          /* 63 */
  PF_Err (*unlockChunk)(PF_ProgPtr, PF_Chunk chunk);                                     /* 64 */
  PF_Err (*chunkDataSize)(PF_ProgPtr, PF_Chunk chunk, int32_t* size);                    /* 65 */
  PF_Err (*openDestination)(PF_ProgPtr, PF_World* world, PF_Destination* dest);          /* 66 */
  PF_Err (*closeDestination)(PF_ProgPtr, PF_Destination* dest);                          /* 67 */
  void* reserved[3];                                                                     /* 68 to 70 */
} PF_UtilCallbacks;
enum { PF_CallbackWords = 71 };

/* ---- Suites -------------------------------------------------------------------------- */
/* in->basicSuite: acquire other suites by name and major version. */
typedef struct PF_BasicSuite {
  PF_Err (*acquireSuite)(const char* name, int32_t major, const void** suite);
  PF_Err (*releaseSuite)(const char* name, int32_t major);
  PF_Boolean (*isEqual)(const char* a, const char* b);
  PF_Err (*allocateBlock)(uint32_t size, void** block);
  PF_Err (*freeBlock)(void* block);
  PF_Err (*reallocateBlock)(void* block, uint32_t size, void** moved);
  PF_Err (*undefined)(void);
} PF_BasicSuite;

/* ---- The input and output records --------------------------------------------------- */
typedef PF_Err (*PF_CheckoutParamFunc)(PF_ProgPtr ref, int32_t index, int32_t time, int32_t timeStep,
                                       uint32_t timeScale, PF_ParamDef* param);
typedef PF_Err (*PF_CheckinParamFunc)(PF_ProgPtr ref, PF_ParamDef* param);
typedef PF_Err (*PF_AddParamFunc)(PF_ProgPtr ref, int32_t index, PF_ParamDef* def);
typedef PF_Err (*PF_AbortFunc)(PF_ProgPtr ref);
typedef PF_Err (*PF_ProgressFunc)(PF_ProgPtr ref, int32_t done, int32_t total);
typedef PF_Err (*PF_RegisterUIFunc)(PF_ProgPtr ref, const uint32_t* description);
typedef PF_Err (*PF_CheckoutAudioFunc)(PF_ProgPtr ref, int32_t index, int32_t start, int32_t duration,
                                       uint32_t timeScale, int32_t rate, int32_t bytesPerSample, int32_t channels,
                                       PF_Handle* sound);
typedef PF_Err (*PF_CheckinAudioFunc)(PF_ProgPtr ref, PF_Handle sound);
typedef PF_Err (*PF_AudioDataFunc)(PF_ProgPtr ref, PF_Handle sound, int32_t* rate, int32_t* bytesPerSample,
                                   int32_t* channels, int32_t* length);
typedef void* (*PF_StringFunc)(void* a, void* b);

typedef struct PF_InData {
  PF_CheckoutParamFunc checkoutParam;  /* 0: sequence, frame and render calls */
  PF_CheckinParamFunc checkinParam;    /* 4: hand every checkout back */
  PF_AddParamFunc addParam;            /* 8: params setup only */
  PF_AbortFunc abort;                  /* 12: non-zero: stop and return it */
  PF_ProgressFunc progress;            /* 16 */
  PF_RegisterUIFunc registerUI;        /* 20: params setup only (11 words) */
  PF_CheckoutAudioFunc checkoutAudio;  /* 24: the audio call only */
  PF_CheckinAudioFunc checkinAudio;    /* 28 */
  PF_AudioDataFunc audioData;          /* 32 */
  PF_StringFunc newBall;               /* 36 */
  PF_StringFunc ballLookup;            /* 40 */
  PF_StringFunc disposeBall;           /* 44 */
  uint32_t reserved48[10];
  const PF_UtilCallbacks* utilCallbacks; /* 88: for the call's quality */
  PF_ProgPtr effectRef;                /* 92 */
  int32_t quality;                     /* 96: 0 draft */
  uint32_t reserved100;
  uintptr_t hostA, hostB;              /* 104, 108 */
  uint32_t reserved112[2];
  int32_t processor;                   /* 120 */
  int32_t fpu;                         /* 124 */
  uintptr_t hostDatum;                 /* 128 */
  int32_t time;                        /* 132 */
  int32_t timeStep;                    /* 136 */
  int32_t duration;                    /* 140 */
  uint32_t timeScale;                  /* 144 */
  uint32_t reserved148[5];
  int32_t width;                       /* 168: frame setup: the input size */
  int32_t height;                      /* 172 */
  PF_Rect request;                     /* 176: frame setup: the part wanted */
  int32_t geometry[6];                 /* 184 to 204 */
  uint32_t reserved208;
  PF_Handle globalData;                /* 212 */
  PF_Handle sequenceData;              /* 216 */
  PF_Handle frameData;                 /* 220 */
  uint32_t reserved224[8];
  const PF_BasicSuite* basicSuite;     /* 258 (by order) */
} PF_InData;

enum { PF_MessageBytes = 256 };
typedef struct PF_OutData {
  uint32_t version;                    /* 0: PF_VERSION(...) at global setup */
  uint32_t reserved4[8];
  PF_Handle globalData;                /* 36 */
  int32_t paramCount;                  /* 40: params setup: parameter 0 included */
  PF_Handle sequenceData;              /* 44 */
  uint32_t reserved48;
  PF_Handle frameData;                 /* 52 */
  int32_t width;                       /* 56: frame setup: output size (1 to 30000) */
  int32_t height;                      /* 60 */
  PF_Point origin;                     /* 64 */
  uint32_t outFlags;                   /* 68: global setup: as the property list says */
  char message[PF_MessageBytes];       /* 72: zero-terminated text */
  uint32_t reserved328[7];
} PF_OutData;

/* The extra argument of the audio call: the input samples and the output
 * to write, frames of the same format. */
typedef struct PF_AudioCall {
  const void* input;
  void* output;
  int64_t frames;
  double rate;
  uint16_t encoding;        /* 1 unsigned, 2 signed, 3 float */
  uint16_t bytesPerSample;
  uint16_t channels;
  uint16_t reserved;
} PF_AudioCall;

/* The extra argument of params update. */
typedef struct PF_ParamsUpdate {
  int32_t index;
  int32_t count;
  PF_ChangeRecord* changes;
} PF_ParamsUpdate;

/* ---- The entry point ------------------------------------------------------------------ */
typedef PF_Err (*PF_EntryFunc)(int32_t cmd, PF_InData* in, PF_OutData* out, PF_ParamDef* params[],
                               PF_World* output, void* extra);
/* Declares an entry point under the name the property list's `entry` gives. */
#define PF_ENTRY_POINT(name)                                                                    \
  PF_EXPORT PF_Err name(int32_t cmd, PF_InData* in, PF_OutData* out, PF_ParamDef* params[], \
                        PF_World* output, void* extra)

/* ---- Small helpers ------------------------------------------------------------------ */
/* A pointer written into the value union (a label or choice text at params setup). */
static inline void PF_SetParamText(PF_ParamDef* def, const char* text) {
  const char* p = text;
  size_t i;
  for (i = 0; i < sizeof p; ++i) def->u.bytes[PF_Byte_Text + i] = ((const uint8_t*)&p)[i];
}
/* The address of a pixel of a world. */
static inline PF_Pixel* PF_PixelAt(const PF_World* w, int32_t x, int32_t y) {
  return (PF_Pixel*)(w->data + (ptrdiff_t)y * w->rowBytes + (ptrdiff_t)x * 4);
}

#ifdef __cplusplus
}
#endif

#endif /* TAVELO_EFFECT_H */
