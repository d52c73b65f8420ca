// The preferences file: a private-profile text file of sections ("[Tavelo]")
// and "key=value" lines whose path the host sets. Section and key names match
// without regard to case; other lines are kept as they are. Every write
// replaces the file atomically (temporary file in the same folder, flushed,
// then renamed over it), and a value that is already there is not rewritten.
// Until a path is set the settings live in memory only.
//
// What callers may rely on:
// - Every value a write accepts reads back exactly as given. A value that
//   begins or ends with a blank or a quote is written inside double quotes
//   (the reader trims blanks and takes off one pair of matching quotes).
// - A write never adds lines beyond its own: a section, key or value holding
//   a carriage return, a line feed or a NUL is refused with -50 and nothing is
//   written. So are names the reader would not find again: empty names, names
//   that begin or end with a blank, keys holding '=' or beginning with ';',
//   '#' or '[', and section names holding ']'.
// - A file that does not exist reads as empty (defaults apply) and the first
//   write creates it. A file that exists but cannot be read is never
//   rewritten: reads answer their defaults, and writes fail with the platform
//   code of the read failure (-54 when access is refused) and leave the file
//   as it was. A failed replacement leaves the old file as it was too.
// - A null or empty section means TV_PREFS_SECTION. Reads never fail: a
//   missing file, section or key gives the default (a null key too).
// - Nothing is reported (the preferences sit below the report path).
// - Single thread: the library thread.
#pragma once

#include <stdint.h>

#include "Types.h"

// The section of the engine's machine-level settings.
#define TV_PREFS_SECTION "Tavelo"

// Sets the file (null or "" goes back to the in-memory settings); always 0.
TV_EXPORT ErrorCode EMUL_SetTVPrefsFile(const char* path);
// The file's path, "" when none is set.
TV_EXPORT const char* EMUL_GetTVPrefsFile(void);

// The value's leading integer (optional sign, decimal digits; 0 when there are
// none), or defaultValue when the key is absent.
TV_EXPORT int32_t EMUL_GetProfileInt(const char* section, const char* key, int32_t defaultValue);
// As EMUL_GetProfileInt, but an absent key is first written with its default.
// A refused write of the default (see above) still answers the default.
TV_EXPORT int32_t EMUL_GetRequiredProfileInt(const char* section, const char* key, int32_t defaultValue);
// Writes the value in decimal. Fails with -50 for a null or refused key or
// section, with the read failure's code for a file that cannot be read, and
// with the platform code of a failed replacement (-120 when the folder is
// missing, -34 when the disk is full ...); the file is then as it was.
TV_EXPORT ErrorCode EMUL_SetProfileInt(const char* section, const char* key, int32_t value);
// Copies the value (or the default when the key is absent) into buffer,
// truncated to size - 1 bytes without splitting a UTF-8 sequence; returns the
// number of bytes copied (0, nothing written, for a null buffer or size < 1).
TV_EXPORT int32_t EMUL_GetProfileString(const char* section, const char* key, const char* defaultValue,
                                        char* buffer, int32_t size);
TV_EXPORT int32_t EMUL_GetRequiredProfileString(const char* section, const char* key,
                                                const char* defaultValue, char* buffer, int32_t size);
// As EMUL_SetProfileInt; a null value writes "". Also -50 for a value holding
// a carriage return or a line feed.
TV_EXPORT ErrorCode EMUL_SetProfileString(const char* section, const char* key, const char* value);

// Inside the engine only (TAVELO_INTERNAL is defined for the engine's own
// libraries and its tests): C++ helpers that libtavelo.so does not export.
#if defined(__cplusplus) && defined(TAVELO_INTERNAL)
#include <optional>
#include <string>
#include <string_view>

namespace tv::platform::prefs {

// The value, or nothing when the key is absent or the file cannot be read.
std::optional<std::string> GetString(std::string_view section, std::string_view key);
int32_t GetInt(std::string_view section, std::string_view key, int32_t defaultValue);
int32_t GetRequiredInt(std::string_view section, std::string_view key, int32_t defaultValue);
std::string GetRequiredString(std::string_view section, std::string_view key, std::string_view defaultValue);
// The codes of EMUL_SetProfileString (a NUL anywhere is refused with -50 too).
ErrorCode SetString(std::string_view section, std::string_view key, std::string_view value);
ErrorCode SetInt(std::string_view section, std::string_view key, int64_t value);
// The leading integer of a value as the reader sees it (clamped to 32 bits).
int32_t ParseInt(std::string_view value);

}  // namespace tv::platform::prefs
#endif
