// U: the utilities package. Package frame (versions, birth and death), the one
// failure-report path with its interact mask, last-error record and deferred
// reporting, English texts of codes, version text, byte swaps, elapsed time,
// fault injection and environment queries.
#pragma once

#include <cstdio>

#include "Types.h"

typedef ErrorCode (*U_LogCallback)(intptr_t data, LocationCode location, Severity severity,
                                   const char* text);
// Replaces a U string by index: a non-null result is used instead of the
// built-in text.
typedef const char* (*U_StringCallback)(intptr_t data, int32_t index);
typedef Boolean32 (*U_RandErrFilterProc)(int32_t a, int32_t b, intptr_t data);

enum : int32_t {
  U_PackageNumber = 23,
  U_MessageBufferSize = 512,  // U_GetLastError's text buffer must hold this many bytes
  U_NameBufferSize = 31,      // U_GetName's buffer must hold this many bytes
  U_StringCount = 112,
};
// The U package's own codes.
enum : ErrorCode {
  U_ErrUnborn = 0x1701,  // the U globals are missing
};
// Interact mask: bit s shows severity s, bit (s << 16) logs it.
enum : uint32_t { U_InitialInteractMask = 0xFFBFFF9Fu };

// ---- Package frame ----------------------------------------------------------
TV_EXPORT uint32_t U_PkgObjectVersion(void);
TV_EXPORT ErrorCode U_CheckVersions(LocationCode location, int32_t expectedMajor);

// ---- Birth, death and globals -------------------------------------------------
TV_EXPORT ErrorCode U_Birth(const char* name, Boolean32 initToolbox);
TV_EXPORT ErrorCode U_Death(void);
TV_EXPORT Boolean32 U_Die(void);
TV_EXPORT ErrorCode U_GetGlobals(Handle* globals);
TV_EXPORT ErrorCode U_SetGlobals(Handle* globals);
TV_EXPORT ErrorCode U_GetName(char* buffer);  // at least U_NameBufferSize bytes
TV_EXPORT ErrorCode U_SetFailAttitude(int32_t value, int32_t* old);
TV_EXPORT ErrorCode U_GetFailAttitude(int32_t* value);
TV_EXPORT ErrorCode Up_SetInteract(uint32_t mask);
TV_EXPORT ErrorCode Up_GetInteract(uint32_t* mask);
TV_EXPORT ErrorCode U_SetLoggingOutput(FILE* stream);
TV_EXPORT ErrorCode U_GetLoggingOutput(FILE** stream);
TV_EXPORT ErrorCode U_SetLoggingCallback(U_LogCallback function, intptr_t data);
TV_EXPORT ErrorCode U_GetLoggingCallback(U_LogCallback* function, intptr_t* data);
TV_EXPORT ErrorCode U_GetHowManyErrors(int32_t* count);

// ---- Reporting ------------------------------------------------------------------
TV_EXPORT ErrorCode Up_ReportError(LocationCode location, Severity severity);
TV_EXPORT ErrorCode Up_ReportErrString(LocationCode location, Severity severity, const char* text);
TV_EXPORT ErrorCode Up_ReportSyserrString(LocationCode location, Severity severity,
                                          ErrorCode platformCode, const char* text);
TV_EXPORT ErrorCode Up_ReportVeskErrString(LocationCode location, Severity severity, ErrorCode code,
                                           const char* text);
// text: at least U_MessageBufferSize bytes; every pointer may be null.
TV_EXPORT ErrorCode U_GetLastError(char* text, Severity* severity, LocationCode* location,
                                   ErrorCode* code);
TV_EXPORT ErrorCode U_DeferredReportingStart(uint32_t mask, int32_t state[3]);
TV_EXPORT ErrorCode U_DeferredReportingEnd(Boolean32 report, const char* fallbackText,
                                           int32_t state[3]);
TV_EXPORT ErrorCode Up_AssertFailed(const char* expressionText, const char* fileName,
                                    int32_t lineNumber);
TV_EXPORT ErrorCode U_ReportFailedVerification(LocationCode location, int32_t number,
                                               const char* description, const char* numberText);
// Reports "not enough memory to create <what>..." for an allocation of size
// bytes (severity 2, last code 0) and returns U's out-of-memory code 4.
TV_EXPORT ErrorCode Up_ReportOutOfMemory(LocationCode location, const char* what, uint64_t size);

// ---- Texts ------------------------------------------------------------------------
TV_EXPORT const char* U_GetErrEnglish(ErrorCode code);
TV_EXPORT const char* U_GetSysEnglish(ErrorCode platformCode);
TV_EXPORT const char* Up_GetString(int32_t index);
TV_EXPORT ErrorCode U_SetStringCallback(U_StringCallback callback, intptr_t data);
TV_EXPORT ErrorCode Up_DebugCStr(const char* text);

// ---- Fault injection --------------------------------------------------------------
TV_EXPORT ErrorCode U_SetRandErrFilter(U_RandErrFilterProc filter, intptr_t data);
TV_EXPORT Boolean32 U_RandErr(int32_t a, int32_t b);
TV_EXPORT Boolean32 U_StandardRandErrFilter(int32_t a, int32_t b, intptr_t threshold);

// ---- Time, version text, byte swaps -------------------------------------------------
TV_EXPORT ErrorCode U_SecondsSinceBoot(double* seconds);
TV_EXPORT ErrorCode U_MillisecondsSinceBoot(uint64_t* milliseconds);
TV_EXPORT ErrorCode U_AsciiVersion(uint32_t version, char* buffer);  // 64 bytes are enough
TV_EXPORT uint32_t U_LongSwap(uint32_t value);
TV_EXPORT uint16_t U_ShortSwap(uint16_t value);
TV_EXPORT void U_FpLongSwap(double* value);
TV_EXPORT void U_FpShortSwap(float* value);

// ---- Environment ----------------------------------------------------------------------
TV_EXPORT void U_Beep(void);
TV_EXPORT Boolean32 U_ModKeyDown(uint32_t mask);
TV_EXPORT int32_t U_ColorDepth(void);
TV_EXPORT Boolean32 U_ColorQDAvailable(void);
TV_EXPORT Boolean32 U_32QDAvailable(void);
TV_EXPORT Boolean32 U_TrapAvailable(int32_t trap);
TV_EXPORT ErrorCode U_GetMainScreenRect(Rect* bounds);
TV_EXPORT ErrorCode U_CenterRect(Rect* r, const Rect* bounds);
TV_EXPORT ErrorCode U_CenterRectOnScreen(Rect* r);
TV_EXPORT ErrorCode U_PositionDlgRect(Rect* r, const Rect* bounds);
TV_EXPORT ErrorCode U_PlaceDlgRect(Rect* r);
