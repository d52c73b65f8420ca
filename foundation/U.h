// U: the utilities package. Package frame (versions, birth and death), the one
// failure-report path with its interact mask, last-error record and deferred
// reporting, English texts of codes, version text, byte swaps, elapsed time,
// fault injection and environment queries.
#pragma once

#include <stdio.h>

#include "Types.h"

typedef ErrorCode (*U_LogCallback)(intptr_t data, LocationCode location, Severity severity,
                                   const char* text);
// Replaces a U string by index: a non-null result is used instead of the
// built-in text.
typedef const char* (*U_StringCallback)(intptr_t data, int32_t index);
typedef Boolean32 (*U_RandErrFilterProc)(int32_t a, int32_t b, intptr_t data);

enum {
  U_PackageNumber = 23,
  U_MessageBufferSize = 512,  // U_GetLastError's text buffer must hold this many bytes
  U_NameBufferSize = 31,      // U_GetName's buffer must hold this many bytes
  U_StringCount = 112,
};
// The U package's own codes.
enum {
  U_ErrUnborn = 0x1701,  // the U globals are missing
};
// Interact mask: bit s shows severity s, bit (s << 16) logs it.
#define U_InitialInteractMask 0xFFBFFF9Fu

// ---- Package frame ----------------------------------------------------------
TV_EXPORT uint32_t U_PkgObjectVersion(void);
TV_EXPORT ErrorCode U_CheckVersions(LocationCode location, int32_t expectedMajor);
// The engine's package table in package-number order (it also names packages
// this build does not contain: look up <name>_PkgObjectVersion to tell). Index
// 0 .. count - 1 gives the name, number and version; any other index answers
// 10 without a report and sets *name null, *number and *version 0. Each out
// pointer may be null. Works before U_Birth.
TV_EXPORT ErrorCode Up_GetPackageInfo(int32_t index, const char** name, int32_t* number, uint32_t* version);
// Packages that so far only take part in version checks.
TV_EXPORT uint32_t RI_PkgObjectVersion(void);
TV_EXPORT ErrorCode RI_CheckVersions(LocationCode location, int32_t expectedMajor);
TV_EXPORT uint32_t TVFX_PkgObjectVersion(void);
TV_EXPORT ErrorCode TVFX_CheckVersions(LocationCode location, int32_t expectedMajor);

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

// ==== Text, numbers and allocation ============================================
// String primitives, number formatting and scanning, message substitution and
// the allocation wrappers.

// ---- Characters -------------------------------------------------------------
// Text is UTF-8 under the default script; under the double-byte script a lead
// byte (0x81-0x9F or 0xE0-0xFC) and the byte after it form one character.
// Every cut, search and case change keeps characters whole.
enum {
  U_ScriptRoman = 0,     // the default: UTF-8
  U_ScriptJapanese = 1,  // double-byte (Shift-JIS lead bytes)
};
// Classes answered by U_CharByte.
enum { U_SingleByte = 0, U_FirstByte = -1, U_LastByte = 1, U_MiddleByte = 2 };

// The script of the system (U_ScriptRoman unless a host or test sets another).
TV_EXPORT ErrorCode U_SetSystemScript(int32_t script);
TV_EXPORT int32_t U_GetSystemScript(void);
TV_EXPORT Boolean32 U_IsDoubleByteScript(int32_t script);
// Classifies text[offset] within its character.
TV_EXPORT int16_t U_CharByte(const char* text, int32_t offset);
TV_EXPORT int16_t U_CharByteFromScript(const char* text, int32_t offset, int32_t script);

// ---- Bounded strings ------------------------------------------------------------
// size counts the terminating zero; a text that does not fit is cut at size - 1
// without splitting a character. Null texts answer 3 without a report.
TV_EXPORT ErrorCode U_CopyString(const char* source, int32_t size, char* destination);
TV_EXPORT ErrorCode U_ConcatString(const char* source, int32_t size, char* destination);
TV_EXPORT ErrorCode U_TruncateString(int32_t length, char* text);
TV_EXPORT ErrorCode U_StringToUpper(char* text);
TV_EXPORT ErrorCode U_StringToLower(char* text);
// Searches match only at character starts; comparisons order unsigned bytes and
// fold case only of single-byte ASCII characters. Results are -1, 0 or 1.
TV_EXPORT const char* U_strstr(const char* text, const char* pattern);
TV_EXPORT const char* U_strchr(const char* text, int32_t c);
TV_EXPORT const char* U_strrchr(const char* text, int32_t c);
TV_EXPORT int32_t U_strcmp(const char* a, const char* b);
TV_EXPORT int32_t U_stricmp(const char* a, const char* b);
// Length-prefixed strings (a length byte and up to 255 bytes; destinations hold
// 256 bytes). U_Pstrcat answers null, leaving destination unchanged, when the
// total would exceed 255.
TV_EXPORT unsigned char* U_Pstrcpy(unsigned char* destination, const unsigned char* source);
TV_EXPORT unsigned char* U_Pstrcat(unsigned char* destination, const unsigned char* source);

// ---- Numbers ------------------------------------------------------------------------
enum {
  U_NumNoLocale = 1,          // n: no locale characters
  U_NumBlankPad = 2,          // blank: pad with blanks instead of zeros
  U_NumNoTrailingZeros = 4,   // z
  U_NumThousands = 8,         // s: thousands separators
  U_NumPlus = 16,             // +: always a sign
  U_NumSpace = 32,            // p: a blank before positive numbers
  U_FormatNumSize = 33,       // U_FormatNum's out must hold this many bytes
};
TV_EXPORT ErrorCode U_FormatNum(double value, int32_t flags, int32_t minimumDigits, int32_t precision,
                                char* out);
// Reads a decimal number (after converting the locale characters back unless
// flag 1 is given; thousands characters between digits are skipped). Answers 3
// without a report, and value 0, when the text holds no number.
TV_EXPORT ErrorCode U_ScanNum(const char* text, int32_t flags, double* value);
// In place: "." and "," followed by a digit become the locale's decimal and
// thousands characters, and back.
TV_EXPORT ErrorCode U_InternationalizeNum(char* text);
TV_EXPORT ErrorCode U_DeInternationalizeNum(char* text);
TV_EXPORT char U_DecimalChar(void);
TV_EXPORT char U_ThousandsChar(void);
// Overrides the locale characters (both 0: read the user's locale again).
TV_EXPORT ErrorCode U_SetLocaleChars(char decimalChar, char thousandsChar);

// ---- Substitution ----------------------------------------------------------------------
// ^1..^9 take a text, ^L1..^L9 a 32-bit number ("%ld"), ^F1..^F9 a double
// (U_FormatNum, with an optional @min.precFLAGS@ format); the digit is the
// argument's position. Markers inside inserted arguments are left alone.
enum { U_SubArgText = 0, U_SubArgLong = 1, U_SubArgDouble = 2 };
typedef struct U_SubArg {
  int32_t kind;
  int32_t number;
  double real;
  const char* text;
} U_SubArg;
TV_EXPORT ErrorCode U_SubString(char* out, int32_t outSize, const char* format, const U_SubArg* args,
                                int32_t argCount);

// ---- Allocation -----------------------------------------------------------------------------
// The reporting forms report "not enough memory to create <name>..." (severity
// 2) at location and answer null; the quiet forms report nothing.
TV_EXPORT Ptr U_AllocatePtr(LocationCode location, const char* name, int64_t size);
TV_EXPORT Handle U_AllocateHandle(LocationCode location, const char* name, int64_t size);
TV_EXPORT Ptr U_AllocatePtrClear(LocationCode location, const char* name, int64_t size);
TV_EXPORT Handle U_AllocateHandleClear(LocationCode location, const char* name, int64_t size);
TV_EXPORT Ptr U_AllocatePtrQuiet(int64_t size);
TV_EXPORT Handle U_AllocateHandleQuiet(int64_t size);
TV_EXPORT Ptr U_AllocatePtrClearQuiet(int64_t size);
TV_EXPORT Handle U_AllocateHandleClearQuiet(int64_t size);
TV_EXPORT ErrorCode U_FreePtr(Ptr p);
TV_EXPORT ErrorCode U_FreeHandle(Handle h);
TV_EXPORT ErrorCode U_GetHandleSize(Handle h, int64_t* size);
TV_EXPORT ErrorCode U_ResizeHandle(LocationCode location, int64_t newSize, const char* name, Handle* h);
TV_EXPORT ErrorCode U_ResizePtr(LocationCode location, int64_t newSize, const char* name, Ptr* p);
TV_EXPORT ErrorCode U_SwapHandleData(Handle h1, Handle h2);
TV_EXPORT ErrorCode U_DuplicateHandle(Handle h, const char* name, Handle* copy);

// Inside the engine only (TAVELO_INTERNAL is defined for the engine's own
// libraries and its tests): C++ helpers that libtavelo.so does not export.
#if defined(__cplusplus) && defined(TAVELO_INTERNAL)
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "Format.h"

namespace tv::u {
// U_SubString over typed arguments (texts, integers, floating point).
ErrorCode SubString(std::span<char> out, std::string_view format, std::initializer_list<fmt::Arg> args);
std::string SubString(std::string_view format, std::initializer_list<fmt::Arg> args);
// U_FormatNum into a string.
std::string FormatNum(double value, int32_t flags, int32_t minimumDigits, int32_t precision);

// Bytes in the character that starts at text[pos] under script (1 for a
// single byte or a byte that starts no valid sequence).
size_t CharLength(std::string_view text, size_t pos, int32_t script);
// Length of the longest prefix of text of at most maxBytes that keeps every
// character whole, under the system script.
size_t SafePrefix(std::string_view text, size_t maxBytes);
}  // namespace tv::u
#endif
