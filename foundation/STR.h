// STR: per-package string tables. Each package compiles its texts into an
// array ended by STR_END and owns a table (named <PREFIX>p_G_STRs) that
// STRp_BirthStrTab fills at start-up, reduced to the variant of the active
// replacement tag ("{{*MSWindows*}}" on this platform).
#pragma once

#include "Types.h"

typedef struct STR_Table {
  int16_t count;
  const char** texts;
  uint8_t* replaced;  // non-zero where texts[i] is an allocated replacement
} STR_Table;

typedef struct STR_Descriptor {
  int32_t resourceBase;            // 0: no string resource override
  const char* const* compiled;     // ended by STR_END
  STR_Table* table;                // null ends a descriptor list
} STR_Descriptor;

// Ends a package's array of compiled texts.
#define STR_END ((const char*)(intptr_t)-1)

enum : int32_t { STR_PackageNumber = 28 };
enum : ErrorCode { STR_ErrNoStrings = 0x1C01 };

TV_EXPORT uint32_t STR_PkgObjectVersion(void);
TV_EXPORT ErrorCode STR_CheckVersions(LocationCode location, int32_t expectedMajor);

// Installs the tables of a list of packages (ended by a descriptor whose table is null).
TV_EXPORT ErrorCode STRp_BirthStrTab(const STR_Descriptor* descriptors);
// The text at index, or "[?]" outside 0 .. count - 1 (or for a table never installed).
TV_EXPORT const char* STRp_Lookup(const STR_Table* table, int32_t index);
// Reports "no strings for pkg #%d!" at (28, 2), severity 16; returns 0x1C01.
TV_EXPORT ErrorCode STRp_ForgotInit(int32_t packageNumber);
// Frees every allocated replacement entry and array of every installed table.
TV_EXPORT ErrorCode STRp_Death(void);
TV_EXPORT ErrorCode STR_UseReplacementTag(const char* tag);

#ifdef __cplusplus
#include <initializer_list>

namespace tv::str {
// Installs one package's table unless it is already installed; packages call
// this from their birth so that tests and hosts need not install tables first.
ErrorCode EnsureTable(STR_Table& table, const char* const* compiled);
}  // namespace tv::str
#endif
