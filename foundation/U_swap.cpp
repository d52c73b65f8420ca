// Byte order reversal.
#include <bit>
#include <cstring>

#include "U.h"

uint32_t U_LongSwap(uint32_t value) { return __builtin_bswap32(value); }

uint16_t U_ShortSwap(uint16_t value) { return __builtin_bswap16(value); }

void U_FpLongSwap(double* value) {
  if (!value) return;
  *value = std::bit_cast<double>(__builtin_bswap64(std::bit_cast<uint64_t>(*value)));
}

void U_FpShortSwap(float* value) {
  if (!value) return;
  *value = std::bit_cast<float>(__builtin_bswap32(std::bit_cast<uint32_t>(*value)));
}
