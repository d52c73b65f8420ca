// The reference row functions of the transfer modes: the mode formulas with
// literal lookups in the 8-bit multiply and divide tables. They are the
// oracle of the fast kernels and run when reference kernels are asked for.
#include <array>
#include <utility>

#include "PF_transfer_kernels.h"

namespace tv::pf {
namespace {

template <int Mode>
ErrorCode RefRow(void*, int32_t n, PF_CompositeMode* p, const uint8_t* s, const uint8_t* m, uint8_t* d) {
  TableBracket tables;
  xfer::Row<Mode>(tables.ops(), n, p, s, m, d);
  return 0;
}

template <int... Modes>
constexpr auto MakeTable(std::integer_sequence<int, Modes...>) {
  return std::array<PF_TransferFunc, sizeof...(Modes)>{&RefRow<Modes>...};
}
constexpr auto kRows = MakeTable(std::make_integer_sequence<int, PF_Xfer_Count>{});

}  // namespace

PF_TransferFunc ReferenceRow(int32_t mode) {
  return mode >= 0 && mode < PF_Xfer_Count ? kRows[static_cast<size_t>(mode)] : nullptr;
}

}  // namespace tv::pf
