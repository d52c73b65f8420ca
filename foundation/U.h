// U: the utilities package. Package frame (versions, birth and death), the one
// failure-report path with its interact mask, last-error record and deferred
// reporting, English texts of codes, version text, byte swaps, elapsed time,
// fault injection and environment queries.
//
// What callers may rely on:
// - Operations marked "needs U" below answer 0x1701 (U_ErrUnborn) when U is
//   not born and 2 when its globals are damaged (U is then marked dead); that
//   failure is shown as a direct dialog, never through the report path, and
//   nothing else changes.
// - Codes are returned without a report unless an entry says "reported"; a
//   reported failure goes through U's one report path, once.
// - Getters clear their out-parameters (0, null, an empty text) before
//   anything can fail, so a failed getter leaves them cleared.
// - Reporting never reports its own failures: a report made while another is
//   in progress is dropped (its entry returns its code unchanged).
// - Texts are UTF-8 and every cut keeps characters whole. Single thread.
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
// U_Birth: 12 (reported, severity 8) when U is already born, which keeps the
// living globals; 4 when its blocks cannot be allocated (a direct dialog).
TV_EXPORT ErrorCode U_Birth(const char* name, Boolean32 initToolbox);
// Needs U. Frees the globals; U is unborn afterwards.
TV_EXPORT ErrorCode U_Death(void);
// 1 when U is dead (a fatal report was made) or its globals are missing or
// damaged (then with two beeps), else 0.
TV_EXPORT Boolean32 U_Die(void);
// U_GetGlobals takes the globals away (U is unborn until U_SetGlobals gives
// them back): 3 for a null globals, needs U (*globals null on failure).
// U_SetGlobals: 3 for a null pointer or handle, 2 (direct dialog) for a block
// that is not a living U globals block; U stays as it was on failure.
TV_EXPORT ErrorCode U_GetGlobals(Handle* globals);
TV_EXPORT ErrorCode U_SetGlobals(Handle* globals);
// Needs U; 3 for a null buffer (at least U_NameBufferSize bytes; "" on failure).
TV_EXPORT ErrorCode U_GetName(char* buffer);
// Need U. Null out-pointers are allowed (nothing is written to them).
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
// Each report counts one error, logs (stream, then callback) and shows it as
// the interact mask says; a fatal severity marks U dead. Up_ReportError
// reports the text already in the last-error record and answers 0, the log
// callback's non-zero answer, the dialog sink's non-zero answer or the U
// codes (needs U). The three string forms store their text and answer their
// code (Up_ReportErrString: as Up_ReportError); a code of 0 reports nothing.
TV_EXPORT ErrorCode Up_ReportError(LocationCode location, Severity severity);
TV_EXPORT ErrorCode Up_ReportErrString(LocationCode location, Severity severity, const char* text);
TV_EXPORT ErrorCode Up_ReportSyserrString(LocationCode location, Severity severity,
                                          ErrorCode platformCode, const char* text);
TV_EXPORT ErrorCode Up_ReportVeskErrString(LocationCode location, Severity severity, ErrorCode code,
                                           const char* text);
// text: at least U_MessageBufferSize bytes; every pointer may be null. Always 0.
TV_EXPORT ErrorCode U_GetLastError(char* text, Severity* severity, LocationCode* location,
                                   ErrorCode* code);
// Both need U and answer 3 for a null state (Start clears state first), else
// 0. End with report set repeats the last report when errors happened since
// Start; the mask is restored either way.
TV_EXPORT ErrorCode U_DeferredReportingStart(uint32_t mask, int32_t state[3]);
TV_EXPORT ErrorCode U_DeferredReportingEnd(Boolean32 report, const char* fallbackText,
                                           int32_t state[3]);
// Reports at severity 8, shown whatever the mask says; needs U; answers 0.
TV_EXPORT ErrorCode Up_AssertFailed(const char* expressionText, const char* fileName,
                                    int32_t lineNumber);
// Reports at severity 8 and answers as Up_ReportError.
TV_EXPORT ErrorCode U_ReportFailedVerification(LocationCode location, int32_t number,
                                               const char* description, const char* numberText);
// Reports "not enough memory to create <what>..." for an allocation of size
// bytes (severity 2, last code 0) and returns U's out-of-memory code 4.
TV_EXPORT ErrorCode Up_ReportOutOfMemory(LocationCode location, const char* what, uint64_t size);

// ---- Texts ------------------------------------------------------------------------
// The English text of a general code (0, 2 to 12) or a platform code; "" for
// any other code. Up_GetString: "unknown string" outside 0 .. U_StringCount - 1.
TV_EXPORT const char* U_GetErrEnglish(ErrorCode code);
TV_EXPORT const char* U_GetSysEnglish(ErrorCode platformCode);
TV_EXPORT const char* Up_GetString(int32_t index);
// Both need U. Up_DebugCStr writes at most 255 bytes to the debugger output.
TV_EXPORT ErrorCode U_SetStringCallback(U_StringCallback callback, intptr_t data);
TV_EXPORT ErrorCode Up_DebugCStr(const char* text);

// ---- Fault injection --------------------------------------------------------------
// U_SetRandErrFilter needs U. U_RandErr answers the filter's answer, 0
// without a filter; the standard filter answers 1 when a 15-bit random
// number is below threshold.
TV_EXPORT ErrorCode U_SetRandErrFilter(U_RandErrFilterProc filter, intptr_t data);
TV_EXPORT Boolean32 U_RandErr(int32_t a, int32_t b);
TV_EXPORT Boolean32 U_StandardRandErrFilter(int32_t a, int32_t b, intptr_t threshold);

// ---- Time, version text, byte swaps -------------------------------------------------
// These work without U. The three text and time operations answer 3 (nothing
// written) for a null pointer, else 0; the float swaps ignore a null pointer.
TV_EXPORT ErrorCode U_SecondsSinceBoot(double* seconds);
TV_EXPORT ErrorCode U_MillisecondsSinceBoot(uint64_t* milliseconds);
TV_EXPORT ErrorCode U_AsciiVersion(uint32_t version, char* buffer);  // 64 bytes are enough
TV_EXPORT uint32_t U_LongSwap(uint32_t value);
TV_EXPORT uint16_t U_ShortSwap(uint16_t value);
TV_EXPORT void U_FpLongSwap(double* value);
TV_EXPORT void U_FpShortSwap(float* value);

// ---- Environment ----------------------------------------------------------------------
// Need U: without it the queries answer 0 (U_ColorDepth 1) and U_Beep does
// nothing. The rectangle operations answer 3 for a null rectangle, leaving
// it unchanged (U_GetMainScreenRect clears *bounds first); U_CenterRectOnScreen
// and U_PlaceDlgRect work on the virtual main screen.
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

// The script of the system (U_ScriptRoman unless a host or test sets another);
// 3 for any other script number. Everything in this part works without U.
TV_EXPORT ErrorCode U_SetSystemScript(int32_t script);
TV_EXPORT int32_t U_GetSystemScript(void);
TV_EXPORT Boolean32 U_IsDoubleByteScript(int32_t script);
// Classifies text[offset] within its character (U_SingleByte outside the text).
TV_EXPORT int16_t U_CharByte(const char* text, int32_t offset);
TV_EXPORT int16_t U_CharByteFromScript(const char* text, int32_t offset, int32_t script);

// ---- Bounded strings ------------------------------------------------------------
// size counts the terminating zero; a text that does not fit is cut at size - 1
// without splitting a character. Null texts, and a negative length, answer 3
// without a report and change nothing; a size of 0 or less writes nothing.
TV_EXPORT ErrorCode U_CopyString(const char* source, int32_t size, char* destination);
TV_EXPORT ErrorCode U_ConcatString(const char* source, int32_t size, char* destination);
TV_EXPORT ErrorCode U_TruncateString(int32_t length, char* text);
TV_EXPORT ErrorCode U_StringToUpper(char* text);
TV_EXPORT ErrorCode U_StringToLower(char* text);
// Searches match only at character starts; comparisons order unsigned bytes and
// fold case only of single-byte ASCII characters. Results are -1, 0 or 1.
// Null texts: searches answer null; a null text orders before any other.
TV_EXPORT const char* U_strstr(const char* text, const char* pattern);
TV_EXPORT const char* U_strchr(const char* text, int32_t c);
TV_EXPORT const char* U_strrchr(const char* text, int32_t c);
TV_EXPORT int32_t U_strcmp(const char* a, const char* b);
TV_EXPORT int32_t U_stricmp(const char* a, const char* b);
// Length-prefixed strings (a length byte and up to 255 bytes; destinations hold
// 256 bytes). Both answer null for a null pointer; U_Pstrcat also answers
// null, leaving destination unchanged, when the total would exceed 255.
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
// 3 for a null out.
TV_EXPORT ErrorCode U_FormatNum(double value, int32_t flags, int32_t minimumDigits, int32_t precision,
                                char* out);
// Reads a decimal number (after converting the locale characters back unless
// flag 1 is given; thousands characters between digits are skipped). Answers 3
// without a report, and value 0, when the text holds no number or a pointer
// is null.
TV_EXPORT ErrorCode U_ScanNum(const char* text, int32_t flags, double* value);
// In place: "." and "," followed by a digit become the locale's decimal and
// thousands characters, and back. 3 for a null text.
TV_EXPORT ErrorCode U_InternationalizeNum(char* text);
TV_EXPORT ErrorCode U_DeInternationalizeNum(char* text);
TV_EXPORT char U_DecimalChar(void);
TV_EXPORT char U_ThousandsChar(void);
// Overrides the locale characters (both 0: read the user's locale again); 3,
// changing nothing, when only one is 0 or both are the same.
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
// The result is cut to outSize - 1 bytes (and to 1023) without splitting a
// character. 3 for a null out or outSize < 1 (nothing written), and for a
// null format, argCount < 0 or null args with argCount > 0 (out becomes "").
// A malformed number format is reported as a warning and the marker is kept.
TV_EXPORT ErrorCode U_SubString(char* out, int32_t outSize, const char* format, const U_SubArg* args,
                                int32_t argCount);

// ---- Allocation -----------------------------------------------------------------------------
// The reporting forms report "not enough memory to create <name>..." (severity
// 2) at location and answer null; a negative size is reported as code 3
// (severity 8) instead. The quiet forms answer null and report nothing.
TV_EXPORT Ptr U_AllocatePtr(LocationCode location, const char* name, int64_t size);
TV_EXPORT Handle U_AllocateHandle(LocationCode location, const char* name, int64_t size);
TV_EXPORT Ptr U_AllocatePtrClear(LocationCode location, const char* name, int64_t size);
TV_EXPORT Handle U_AllocateHandleClear(LocationCode location, const char* name, int64_t size);
TV_EXPORT Ptr U_AllocatePtrQuiet(int64_t size);
TV_EXPORT Handle U_AllocateHandleQuiet(int64_t size);
TV_EXPORT Ptr U_AllocatePtrClearQuiet(int64_t size);
TV_EXPORT Handle U_AllocateHandleClearQuiet(int64_t size);
// The memory manager's code (MemError: -111 for a stale or foreign block).
TV_EXPORT ErrorCode U_FreePtr(Ptr p);
TV_EXPORT ErrorCode U_FreeHandle(Handle h);
// Reported failures: 3 for a null handle or size, else the memory manager's
// code (*size 0).
TV_EXPORT ErrorCode U_GetHandleSize(Handle h, int64_t* size);
// Reported failures, the block unchanged: 3 for a null or empty handle or a
// negative size, 4 out of memory, else the memory manager's code (severity 2).
TV_EXPORT ErrorCode U_ResizeHandle(LocationCode location, int64_t newSize, const char* name, Handle* h);
// Copies into a new block (the old one is kept on failure): 3, 4 as above.
TV_EXPORT ErrorCode U_ResizePtr(LocationCode location, int64_t newSize, const char* name, Ptr* p);
// 3 (reported) for null or purged handles or handles of different sizes.
TV_EXPORT ErrorCode U_SwapHandleData(Handle h1, Handle h2);
// 3 (reported) for a null handle or copy or a purged block, 4 (reported);
// *copy null on failure.
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
