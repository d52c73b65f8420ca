/* PF_Effect: the records and constants of the effect call protocol. An
 * effect class has one entry point, called with a command selector, the
 * input record (what the host tells the effect and the callbacks it
 * offers), the output record (what the effect answers), the parameter list
 * and the output world. Built-in effects and effect plug-ins see exactly
 * these records.
 *
 * What callers and effects may rely on:
 * - Field order, the widths of non-pointer fields and every numeric value
 *   (commands, codes, flag bits, parameter types) are fixed. Fields that
 *   hold a pointer or a handle are pointer-sized, so the records are larger
 *   than their 32-bit forms; the comments give each field's 32-bit offset.
 * - The header is plain C11 and uses nothing of the engine but the basic
 *   types and the PFWorld record.
 * - The host clears the output record before every call and locks the
 *   global, sequence and frame data handles around it.
 * - Sequence data written to project files is the bytes the effect gives on
 *   sequence flatten; big-endian is the recommended order for them.
 */
#pragma once

#include "BM.h"
#include "Types.h"

/* ---- Commands ------------------------------------------------------------------ */
enum {
  PF_Cmd_About = 0,
  PF_Cmd_GlobalSetup = 1,
  PF_Cmd_GlobalFlatten = 2,
  PF_Cmd_GlobalSetdown = 3,
  PF_Cmd_ParamsSetup = 4,
  PF_Cmd_SequenceSetup = 5,
  PF_Cmd_SequenceResetup = 6,
  PF_Cmd_SequenceFlatten = 7,
  PF_Cmd_SequenceSetdown = 8,
  PF_Cmd_DoDialog = 9,
  PF_Cmd_FrameSetup = 10,
  PF_Cmd_Render = 11,
  PF_Cmd_FrameSetdown = 12,
  PF_Cmd_ParamsUpdate = 13,
  PF_Cmd_ParamsSupervise = 14,
  PF_Cmd_Event = 15,
  PF_Cmd_Interpolate = 16,
  PF_Cmd_COMPLETELY_GENERAL = 17,
  PF_Cmd_Reserved18 = 18,
  PF_Cmd_AudioRender = 19,
  PF_Cmd_Reserved20 = 20,
  PF_Cmd_Reserved21 = 21,
  PF_Cmd_ArbitraryData = 22,
  PF_Cmd_Count = 23
};

/* ---- Codes ------------------------------------------------------------------------ */
typedef int32_t PF_Result;
enum {
  PF_Result_None = 0,
  PF_Result_Damaged = 512,         /* an effect reference or record that is not one */
  PF_Result_BadSelector = 515,     /* a callback the command does not allow */
  PF_Result_BadCallbackArg = 516,  /* a bad argument to a callback */
  PF_Result_Interrupted = 517,     /* the user stopped the work: not a failure */
  PF_Result_NotHandled = 518       /* an arbitrary-data operation the effect leaves to the host */
};

/* ---- Out flags (output record, and the class's declared flags) ------------------------ */
#define PF_OutFlag_KeepResourceOpen 0x00000001u
#define PF_OutFlag_UsesExtentHints 0x00000040u
#define PF_OutFlag_DialogAtCreation 0x00000080u
#define PF_OutFlag_ErrorTextOnFailure 0x00000100u
#define PF_OutFlag_UnclippedRequest 0x00000200u
#define PF_OutFlag_FirstOfParade 0x00000800u    /* counts when the first active effect has it */
#define PF_OutFlag_AllOfParadeMask 0x00002400u  /* bits that hold only when every active effect has them */
#define PF_OutFlag_AnyOfParadeMask 0x00181206u  /* bits that hold when any active effect has them */
#define PF_OutFlag_CustomUI 0x00008000u
#define PF_OutFlag_EventResult1 0x00020000u     /* handed to the caller as result bit 0x2 */
#define PF_OutFlag_Obsolete 0x00200000u
#define PF_OutFlag_EventResult2 0x00400000u     /* handed to the caller as result bit 0x4 */
#define PF_OutFlag_FlagsMayDiffer 0x00800000u   /* returned flags may differ from the declared ones */
#define PF_OutFlag_FloatAudio 0x08000000u
#define PF_OutFlag_AudioAlso 0x40000000u
#define PF_OutFlag_AudioOnly 0x80000000u

/* ---- Parameters ------------------------------------------------------------------------ */
enum {
  PF_Param_Layer = 0,        /* another layer of the composition; parameter 0 is the input */
  PF_Param_Slider = 1,       /* integer */
  PF_Param_FixedSlider = 2,  /* 16.16 */
  PF_Param_Angle = 3,        /* 16.16 degrees */
  PF_Param_Checkbox = 4,
  PF_Param_Colour = 5,       /* alpha, red, green, blue, each 0 to 255 */
  PF_Param_Point = 6,        /* 16.16 x and y */
  PF_Param_Popup = 7,        /* 1 to the choice count */
  PF_Param_Type8 = 8,
  PF_Param_Type9 = 9,        /* no Stream */
  PF_Param_FloatSlider = 10, /* double value, single-precision limits */
  PF_Param_Arbitrary = 11,   /* the effect's own data */
  PF_Param_Type12 = 12,      /* no Stream */
  PF_Param_Type13 = 13,      /* no Stream */
  PF_Param_Type14 = 14,      /* no Stream */
  PF_Param_TypeCount = 15
};

/* Parameter flags (word at 32-bit offset 48). */
#define PF_ParamFlag_Reserved0 0x01u
#define PF_ParamFlag_CANNOT_TIME_VARY 0x02u  /* the effect declares the value constant */
#define PF_ParamFlag_NoStream 0x08u          /* set by the host: the parameter has no Stream */
#define PF_ParamFlag_Reserved4 0x10u
#define PF_ParamFlag_SUPERVISE 0x40u

/* UI flags (word at 32-bit offset 4). */
#define PF_PUI_TOPIC 0x01u
#define PF_PUI_CONTROL 0x02u
#define PF_PUI_STD_CONTROL_ONLY 0x04u
#define PF_PUI_NoControl 0x08u

/* Change flags of a change record (after params update). */
#define PF_ChangeFlag_CHANGED_VALUE 0x01u
#define PF_ChangeFlag_CHANGED_UI 0x02u
#define PF_ChangeFlag_SET_TO_VARY 0x04u
#define PF_ChangeFlag_SET_TO_CONSTANT 0x08u

enum { PF_ParamUnionWords = 23, PF_ParamNameBytes = 32, PF_ParamTextBytes = 84 };

/* Words of the value union by parameter type (word w is at 32-bit offset
 * 56 + 4w):
 *   layer (0):    w0 the layer reference, w1 its companion value
 *   slider (1), Fixed slider (2): w0 value, w1 default, w17 minimum, w18 maximum
 *   angle (3), checkbox (4), colour (5): w0 value, w1 default; a checkbox's
 *                 label text from byte 8 of the union
 *   point (6):    w0, w1 value (x, y), w2, w3 default
 *   popup (7):    w0 value, i16 choice count at byte 4, i16 default at byte 6,
 *                 choices separated by '|' from byte 8
 *   float slider (10): value (double) in w0-w1, default (double) in w2-w3,
 *                 minimum and maximum (float) in w12 and w13
 * A checked-out layer parameter carries its world in `world`. */
enum {
  PF_Word_Value = 0,
  PF_Word_Default = 1,
  PF_Word_PointDefault = 2,
  PF_Word_FloatDefault = 2,
  PF_Word_FloatMin = 12,
  PF_Word_FloatMax = 13,
  PF_Word_Min = 17,
  PF_Word_Max = 18,
  PF_Byte_ChoiceCount = 4,
  PF_Byte_ChoiceDefault = 6,
  PF_Byte_Text = 8
};

typedef union PF_ParamValue {
  uint32_t words[PF_ParamUnionWords];
  uint8_t bytes[4 * PF_ParamUnionWords];
  PFWorld world;
} PF_ParamValue;

/* A parameter definition, as the effect adds it and as the host keeps it. */
typedef struct PF_ParamDef {
  uint32_t identifier;              /* 0: 0 means the parameter's index */
  uint32_t uiFlags;                 /* 4: PF_PUI_* */
  int16_t uiWidth, uiHeight;        /* 8, 10 */
  uint32_t type;                    /* 12: PF_Param_* */
  char name[PF_ParamNameBytes];     /* 16: zero-terminated */
  uint32_t flags;                   /* 48: PF_ParamFlag_* */
  void* stream;                     /* 52: the parameter's Stream (host data) */
  PF_ParamValue u;                  /* 56: 23 words */
} PF_ParamDef;

/* One change record per parameter after params update. */
typedef struct PF_ChangeRecord {
  uint8_t flags;                    /* PF_ChangeFlag_* */
  uint8_t reserved[3];
  uint32_t value[9];                /* the new value, in the union's word layout */
} PF_ChangeRecord;

/* ---- Callbacks of the input record ------------------------------------------------------ */
typedef void* PF_ProgPtr;  /* the effect reference handed to every callback */

typedef PF_Result (*PF_CheckoutParamFunc)(PF_ProgPtr ref, int32_t index, int32_t time, int32_t timeStep,
                                          uint32_t timeScale, PF_ParamDef* param);
typedef PF_Result (*PF_CheckinParamFunc)(PF_ProgPtr ref, PF_ParamDef* param);
typedef PF_Result (*PF_AddParamFunc)(PF_ProgPtr ref, int32_t index, PF_ParamDef* def);
typedef PF_Result (*PF_AbortFunc)(PF_ProgPtr ref);
typedef PF_Result (*PF_ProgressFunc)(PF_ProgPtr ref, int32_t done, int32_t total);
typedef PF_Result (*PF_RegisterUIFunc)(PF_ProgPtr ref, const uint32_t* description);
typedef PF_Result (*PF_CheckoutAudioFunc)(PF_ProgPtr ref, int32_t index, int32_t start, int32_t duration,
                                          uint32_t timeScale, int32_t rate, int32_t bytesPerSample,
                                          int32_t channels, Handle* sound);
typedef PF_Result (*PF_CheckinAudioFunc)(PF_ProgPtr ref, Handle sound);
typedef PF_Result (*PF_AudioDataFunc)(PF_ProgPtr ref, Handle sound, int32_t* rate, int32_t* bytesPerSample,
                                      int32_t* channels, int32_t* length);
typedef void* (*PF_StringFunc)(void* a, void* b);

/* ---- The input record ------------------------------------------------------------------- */
typedef struct PF_InputRecord {
  PF_CheckoutParamFunc checkoutParam;  /* 0 */
  PF_CheckinParamFunc checkinParam;    /* 4 */
  PF_AddParamFunc addParam;            /* 8: params setup only */
  PF_AbortFunc abort;                  /* 12 */
  PF_ProgressFunc progress;            /* 16 */
  PF_RegisterUIFunc registerUI;        /* 20: params setup only */
  PF_CheckoutAudioFunc checkoutAudio;  /* 24 */
  PF_CheckinAudioFunc checkinAudio;    /* 28 */
  PF_AudioDataFunc audioData;          /* 32 */
  PF_StringFunc newBall;               /* 36 */
  PF_StringFunc ballLookup;            /* 40 */
  PF_StringFunc disposeBall;           /* 44 */
  uint32_t reserved48[10];             /* 48 to 84 */
  const void* utilCallbacks;           /* 88: the PF_UtilCallbacks of the call's quality */
  PF_ProgPtr effectRef;                /* 92 */
  int32_t quality;                     /* 96 */
  uint32_t reserved100;                /* 100 */
  uintptr_t hostA, hostB;              /* 104, 108: the host values given at the package's birth */
  uint32_t reserved112[2];             /* 112, 116 */
  int32_t processor;                   /* 120 */
  int32_t fpu;                         /* 124 */
  uintptr_t hostDatum;                 /* 128 */
  int32_t time;                        /* 132: the time of the call */
  int32_t timeStep;                    /* 136 */
  int32_t duration;                    /* 140 */
  uint32_t timeScale;                  /* 144 */
  uint32_t reserved148[5];             /* 148 to 164 */
  int32_t width;                       /* 168: frame setup: the input size */
  int32_t height;                      /* 172 */
  Rect request;                        /* 176: frame setup: the request rectangle */
  int32_t geometry[6];                 /* 184 to 204: the layer's geometry */
  uint32_t reserved208;                /* 208 */
  Handle globalData;                   /* 212 */
  Handle sequenceData;                 /* 216 */
  Handle frameData;                    /* 220 */
  uint32_t reserved224[8];             /* 224 to 252 */
  const void* basicSuite;              /* 258 (by order) */
} PF_InputRecord;

/* ---- The output record ------------------------------------------------------------------ */
enum { PF_MessageBytes = 256 };
typedef struct PF_OutputRecord {
  uint32_t version;                    /* 0 */
  uint32_t reserved4[8];               /* 4 to 32 */
  Handle globalData;                   /* 36 */
  int32_t paramCount;                  /* 40 */
  Handle sequenceData;                 /* 44 */
  uint32_t reserved48;                 /* 48 */
  Handle frameData;                    /* 52 */
  int32_t width;                       /* 56: frame setup's output size */
  int32_t height;                      /* 60 */
  Point origin;                        /* 64 */
  uint32_t outFlags;                   /* 68 */
  char message[PF_MessageBytes];       /* 72: zero-terminated */
  uint32_t reserved328[7];             /* 328 to 352 */
} PF_OutputRecord;

/* What the audio call (PF_Cmd_AudioRender) gets as its extra argument: the
 * input samples and the output to write, frames of the same format. */
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

/* What params update (PF_Cmd_ParamsUpdate) gets as its extra argument: the
 * parameter the user changed and one change record per parameter (cleared
 * by the host) for the effect's own requests. */
typedef struct PF_ParamsUpdate {
  int32_t index;
  int32_t count;
  PF_ChangeRecord* changes;
} PF_ParamsUpdate;

/* The entry point of an effect class. params holds the parameter list
 * (parameter 0 is the input layer), output the output world (render). */
typedef PF_Result (*PF_EntryFunc)(int32_t cmd, PF_InputRecord* in, PF_OutputRecord* out, PF_ParamDef* params[],
                                  PFWorld* output, void* extra);

/* ---- Arbitrary data, dependencies, custom UI events ------------------------------------ */
/* An effect that makes sound from nothing (its output is not silent when its
 * input is). */
#define PF_OutFlag_SynthesizesAudio 0x04000000u

/* Arbitrary-data parameters (PF_Param_Arbitrary) hold their value in a
 * handle (union bytes 0-7; the default the effect gives when adding the
 * parameter at bytes 8-15). The host asks the effect to work on such values
 * with PF_Cmd_ArbitraryData and a PF_ArbitraryCall as extra. An effect that
 * answers PF_Result_NotHandled leaves the work to the host, which treats the
 * value as plain bytes (new, dispose, copy, flat size, flatten, unflatten,
 * compare); print size, print and scan have no host form. */
enum {
  PF_Arb_New = 0,         /* result: a new default value */
  PF_Arb_Dispose = 1,     /* value */
  PF_Arb_Copy = 2,        /* value -> result */
  PF_Arb_FlatSize = 3,    /* value -> size */
  PF_Arb_Flatten = 4,     /* value -> bytes (size bytes of room) */
  PF_Arb_Unflatten = 5,   /* bytes, size -> result */
  PF_Arb_Interpolate = 6, /* value, other, ratio -> result */
  PF_Arb_Compare = 7,     /* value, other -> compare (<0, 0, >0) */
  PF_Arb_PrintSize = 8,   /* value -> size (bytes of text with the terminator) */
  PF_Arb_Print = 9,       /* value -> text in bytes (size bytes of room) */
  PF_Arb_Scan = 10        /* text in bytes (size bytes) -> result */
};
typedef struct PF_ArbitraryCall {
  int32_t op;
  int32_t paramIndex;
  Handle value;
  Handle other;
  Handle result;
  void* bytes;
  uint32_t size;
  int32_t compare;
  double ratio;
} PF_ArbitraryCall;

/* PF_Cmd_Interpolate's extra (asked by the host to learn what a Sequence
 * needs from outside the project: fonts, files): the effect writes a
 * zero-terminated description into text (size bytes), or leaves it empty. */
typedef struct PF_Dependencies {
  char* text;
  int32_t size;
  int32_t reserved;
} PF_Dependencies;

/* PF_Cmd_Event's extra: one event of a custom UI context. The effect may
 * keep its own data for the context in contextData (it is handed back with
 * every event and is the effect's to dispose on PF_Event_CloseContext). */
enum {
  PF_Event_NewContext = 0,
  PF_Event_Click = 1,
  PF_Event_Drag = 2,
  PF_Event_Draw = 3,
  PF_Event_Keydown = 4,
  PF_Event_AdjustCursor = 5,
  PF_Event_CloseContext = 6
};
enum { PF_Window_Comp = 0, PF_Window_Layer = 1, PF_Window_Effect = 2 };
typedef struct PF_EventRecord {
  int32_t kind;           /* PF_Event_* */
  int32_t windowType;     /* PF_Window_* of the context */
  Point where;
  uint32_t modifiers;
  uint32_t key;
  int32_t paramIndex;     /* the control the event is for (0: none) */
  void* window;           /* the host's window, opaque */
  Handle contextData;
} PF_EventRecord;
