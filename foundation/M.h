// M: exact ratio arithmetic with defined 32-bit overflow behaviour, and the
// geometric half: fixed-point numbers, points, rectangles, 3x3 matrices and
// the fast lookup tables.
#pragma once

#include "STR.h"
#include "Types.h"

enum : int32_t { M_PackageNumber = 17 };
// M's own codes.
enum : ErrorCode {
  M_ErrOverflow = 0x1102,
  M_ErrUnderflow = 0x1103,       // reported as a warning
  M_ErrDivideByZero = 0x1104,
  M_ErrUnrequestedService = 0x1105,
  M_ErrZeroDenominator = 0x1106,
  M_ErrSingularMatrix = 0x1107,
};

TV_EXPORT uint32_t M_PkgObjectVersion(void);
TV_EXPORT ErrorCode M_CheckVersions(LocationCode location, int32_t expectedMajor);
TV_EXPORT STR_Table Mp_G_STRs;  // declaration: extern "C" on one declaration implies extern

// ---- Ratios ------------------------------------------------------------------

// ---- Fixed point, geometry, matrices, tables and birth -----------------------
