// The table services' part of M's birth and death.
#pragma once

#include "Types.h"

namespace tv::m {
// Builds the tables that flags request; adds the bits built to *granted.
// Returns the first failure (already reported), or 0.
ErrorCode BuildTables(int32_t flags, int32_t* granted);
// Frees every table.
void FreeTables();
}  // namespace tv::m
