// Basic types shared by every package of the engine: results, locations,
// severities, handles, fixed-point numbers, times, ratios, points, rectangles
// and four-character codes.
//
// What callers may rely on:
// - Every public header of the engine compiles alone as C11 and as C++20; its
//   C part uses only the types below, <stdint.h> types and plain enums or
//   defines. C++ helpers are under __cplusplus (and the engine's own under
//   TAVELO_INTERNAL, which a host never defines).
// - Only operations and data declared TV_EXPORT leave libtavelo.so, all with
//   C linkage.
// - An ErrorCode is 0 on success; positive codes are the general codes (2 to
//   12) or a package's own ((package << 8) + index), negative ones platform
//   codes. Records here are plain data with the layouts written below.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
#define TV_EXTERN_C extern "C"
#define TV_EXPORT extern "C" __attribute__((visibility("default")))
#else
#define TV_EXTERN_C
#define TV_EXPORT extern __attribute__((visibility("default")))
#endif

// The result of every exported operation; 0 is success.
typedef int32_t ErrorCode;
// Where a failure was reported: package number in bits 24-31, site in bits 0-7.
typedef uint32_t LocationCode;
typedef int32_t Severity;

typedef char** Handle;
typedef char* Ptr;
typedef int32_t Boolean32;

typedef int32_t Fixed;   // 16.16
typedef int32_t Fract;   // 2.30
typedef int32_t Fix24;   // 8.24
typedef double FpLong;
typedef float FpShort;
typedef uint32_t FourCC;

typedef struct Time {
  int32_t value;
  uint32_t scale;
} Time;

typedef struct Ratio {
  int32_t num;
  uint32_t den;
} Ratio;

typedef struct Point {
  int16_t v, h;
} Point;
typedef struct Rect {
  int16_t top, left, bottom, right;
} Rect;
typedef struct LPoint {
  int32_t h, v;
} LPoint;
typedef struct LRect {
  int32_t left, top, right, bottom;
} LRect;
typedef struct FixedPoint {
  Fixed h, v;
} FixedPoint;
typedef struct FixedRect {
  Fixed left, top, right, bottom;
} FixedRect;

#ifdef __cplusplus
namespace tv {

// General ("Vesk") codes shared by every package.
enum : ErrorCode {
  kErrNone = 0,
  kErrDamaged = 2,
  kErrBadParam = 3,
  kErrOutOfMemory = 4,
  kErrUnimplemented = 5,
  kErrResource = 6,
  kErrVersion = 7,
  kErrUnsupported = 8,
  kErrDocVersion = 9,
  kErrRange = 10,
  kErrDeath = 11,
  kErrBirth = 12,
};

// Platform codes the engine produces itself.
enum : ErrorCode {
  kSysDiskFull = -34,
  kSysIO = -36,
  kSysBadName = -37,
  kSysEOF = -39,
  kSysTooManyFiles = -42,
  kSysFileNotFound = -43,
  kSysWriteProtected = -44,
  kSysFileLocked = -45,
  kSysBusy = -47,
  kSysDuplicate = -48,
  kSysParam = -50,
  kSysBadRefNum = -51,
  kSysPermission = -54,
  kSysMemFull = -108,
  kSysNilHandle = -109,
  kSysMemWZ = -111,
  kSysNoDirectory = -120,
  kSysResNotFound = -192,
};

enum : Severity {
  kSevPlain = 1,
  kSevFailure = 2,
  kSevWarning = 4,
  kSevError = 8,
  kSevFatal = 16,
  kSevIndented = 32,
  kSevDebug = 64,
};

// A package's own code: (package number << 8) + index, index from 1.
constexpr ErrorCode PackageCode(int32_t package, int32_t index) { return (package << 8) + index; }
constexpr LocationCode Location(uint32_t package, uint32_t site) {
  return (package << 24) | (site & 0xFFu);
}
constexpr uint32_t LocationPackage(LocationCode loc) { return loc >> 24; }
constexpr uint32_t LocationSite(LocationCode loc) { return loc & 0xFFu; }

// A four-character code, first character in the high byte.
constexpr FourCC MakeFourCC(const char (&s)[5]) {
  return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
         (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
}

// "Not found" for list indices; -1 addresses the last item.
constexpr int32_t kNotFound = INT32_MIN;
constexpr int32_t kLastIndex = -1;

constexpr Time kInvalidTime{INT32_MIN, 0};

constexpr Fixed kFixedOne = 0x10000;
constexpr Fract kFractOne = 0x40000000;
constexpr Fix24 kFix24One = 0x1000000;

}  // namespace tv
#endif
