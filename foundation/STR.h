// STR: per-package string tables. Each package compiles its texts into an
// array ended by STR_END and owns a table (named <PREFIX>p_G_STRs) that
// STRp_BirthStrTab fills at start-up, reduced to the variant of the active
// replacement tag ("{{*MSWindows*}}" on this platform).
//
// What callers may rely on:
// - Lookups never fail: an index outside a table, a table never installed or
//   an invalid ball gives the text "[?]". Texts stay valid until the table is
//   installed again or STRp_Death.
// - Installing a table either replaces it whole or leaves the old one in use;
//   its failures are reported (STR's location), once: 10 for more than 32767
//   texts, 6 when a required string resource is missing, 0x1C01 when there
//   are no compiled texts, 4 out of memory. A string resource whose layout is
//   broken or whose count differs is not used (warning "detaching strings.").
// - A text with "{{*" but no variant for the active tag keeps the part before
//   the first tag.
// - Works without U (reports then go nowhere). Single thread.
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

enum { STR_PackageNumber = 28 };
enum { STR_ErrNoStrings = 0x1C01 };

TV_EXPORT uint32_t STR_PkgObjectVersion(void);
TV_EXPORT ErrorCode STR_CheckVersions(LocationCode location, int32_t expectedMajor);

// Installs the tables of a list of packages (ended by a descriptor whose table
// is null), in order, stopping at the first failure (tables before it stay
// installed). 3 (no report) for null descriptors; the installation codes above.
TV_EXPORT ErrorCode STRp_BirthStrTab(const STR_Descriptor* descriptors);
// The text at index, or "[?]" outside 0 .. count - 1 (or for a table never installed).
TV_EXPORT const char* STRp_Lookup(const STR_Table* table, int32_t index);
// Reports "no strings for pkg #%d!" at (28, 2), severity 16; returns 0x1C01.
TV_EXPORT ErrorCode STRp_ForgotInit(int32_t packageNumber);
// Frees every allocated replacement entry and array of every installed table
// (they become empty). Always 0.
TV_EXPORT ErrorCode STRp_Death(void);
// Tables installed afterwards use this tag. Always 0: a null or empty tag, a
// tag longer than 32 bytes or one not of the form "{{*name*}}" is ignored.
TV_EXPORT ErrorCode STR_UseReplacementTag(const char* tag);

// ---- Double-byte safety ------------------------------------------------------
// Whether installed texts are converted by STR_MakeDBCSSafeStr: on when the
// system script is a double-byte one (never by default on this platform), off
// again once a table was loaded from a string resource. 3 for a null on.
TV_EXPORT ErrorCode STR_IsDBCSafeMode(Boolean32* on);
// Copy in to out (at most outSize bytes with the zero) character by character,
// replacing the single-byte symbols 0x99, 0xA9, 0xB0, 0xB7 and 0xBC by "TM",
// "(C)", "dgr", "*" and "d". STR_CleanTo7BitOnly also replaces every other byte
// of 128 or more, and every multi-byte character, by replacement. changed
// (may be null) tells whether anything was replaced. The output is cut at
// outSize - 1 bytes without splitting a character. 3 for a null in or out or
// outSize < 1 (nothing written).
TV_EXPORT ErrorCode STR_CleanTo7BitOnly(const char* in, char replacement, int32_t outSize, char* out,
                                        Boolean32* changed);
TV_EXPORT ErrorCode STR_MakeDBCSSafeStr(const char* in, int32_t outSize, char* out, Boolean32* changed);

// ---- String resources ------------------------------------------------------------
// There are no resource files on this platform: string resources ("LStr", a
// big-endian signed 16-bit count, then per entry a big-endian 16-bit length and
// that many bytes) live in an in-memory registry that the host fills before
// the tables are installed, e.g. from a translation file. A table whose
// descriptor has resource base b takes its texts from resource b + 1000 when
// one is registered.
enum { STR_ResourceIdOffset = 1000 };
// Registers a copy of the bytes under id (null or size 0 removes it); 3 for a
// negative size or null bytes with a size (the registry unchanged).
TV_EXPORT ErrorCode STR_SetStringResource(int32_t id, const void* bytes, int32_t size);
// Writes the table's current texts in the resource layout into a new handle.
// Reported: 3 for a null or empty table or null resource, 10 for a text over
// 65535 bytes, 4 out of memory; *resource null on failure.
TV_EXPORT ErrorCode STR_ConvertStrTab2Resource(const STR_Table* table, Handle* resource);

// ---- String balls ---------------------------------------------------------------
// A loaded string collection (used by effects, which have no exported table):
// texts from the string resource base + 1000 when registered, else from
// compiled (ended by STR_END; may be null when the resource must exist), reduced
// by the replacement tag like a table.
typedef struct STR_BallRec* STR_Ball;
// 3 (reported) for a null ball, else the installation codes above; *ball
// null on failure.
TV_EXPORT ErrorCode STR_NewBall(int32_t resourceBase, const char* const* compiled, STR_Ball* ball);
// The text at index, or "[?]" outside the collection or for an invalid ball.
TV_EXPORT const char* STR_BallStringLookup(STR_Ball ball, int32_t index);
// A generation number the owner stamps on the collection (0 when made), to
// tell whether the texts it holds are current. 2 (reported) for a ball that
// is not a living one; Get: 3 for a null generation (*generation 0 on failure).
TV_EXPORT ErrorCode STR_SetSterlingGeneration(STR_Ball ball, int32_t generation);
TV_EXPORT ErrorCode STR_GetSterlingGeneration(STR_Ball ball, int32_t* generation);
// Null or *ball null: nothing to do (0). 2 (reported) for a ball that is not a
// living one, left as it is; else *ball becomes null.
TV_EXPORT ErrorCode STR_DisposeBall(STR_Ball* ball);

// Inside the engine only (TAVELO_INTERNAL is defined for the engine's own
// libraries and its tests): C++ helpers that libtavelo.so does not export.
#if defined(__cplusplus) && defined(TAVELO_INTERNAL)
#include <initializer_list>

namespace tv::str {
// Installs one package's table unless it is already installed; packages call
// this from their birth so that tests and hosts need not install tables first.
// quiet: a failure to allocate is not reported.
ErrorCode EnsureTable(STR_Table& table, const char* const* compiled, bool quiet = false);
}  // namespace tv::str
#endif
