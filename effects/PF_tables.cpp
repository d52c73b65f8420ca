// The colour tables of the pixel routines: luminance weights and soft-light
// curves (built here), and the bracket around the math package's 8-bit
// multiply and divide tables.
#include <memory>

#include "PF_internal.h"

namespace tv::pf {
namespace {

constexpr uint32_t ISqrt(uint32_t v) {
  uint32_t r = 0;
  while ((r + 1) * (r + 1) <= v) ++r;
  return r;
}

struct ColourTables : PF_ColourTables {
  constexpr ColourTables() : PF_ColourTables{} {
    for (uint32_t v = 0; v < 256; ++v) {
      // 0.30, 0.59 and 0.11 of v, rounded half up: 77 + 150 + 28 = 255 at 255.
      lumR[v] = static_cast<uint8_t>((30 * v + 50) / 100);
      lumG[v] = static_cast<uint8_t>((59 * v + 50) / 100);
      lumB[v] = static_cast<uint8_t>((11 * v + 50) / 100);
      // d (255 - d) / 255 rounded up; floor(sqrt(255 d)) - d.
      softLight1[v] = static_cast<uint8_t>((v * (255 - v) + 254) / 255);
      softLight2[v] = static_cast<uint8_t>(ISqrt(255 * v) - v);
    }
  }
};
constexpr ColourTables kTables{};
static_assert(kTables.lumR[255] + kTables.lumG[255] + kTables.lumB[255] == 255);
static_assert(kTables.lumR[128] == 38 && kTables.lumG[128] == 76 && kTables.lumB[128] == 14);
static_assert(kTables.softLight1[64] == 48 && kTables.softLight1[128] == 64 && kTables.softLight1[192] == 48);
static_assert(kTables.softLight2[32] == 58 && kTables.softLight2[64] == 63 && kTables.softLight2[128] == 52 &&
              kTables.softLight2[192] == 29 && kTables.softLight2[255] == 0);

// The package's own copy of the multiply and divide tables, filled by the
// math package's fill, for when its tables cannot be had.
struct OwnCharMath {
  uint8_t mul[65536];
  uint8_t div[65536];
  OwnCharMath() { tv::m::FillCharMathTables(mul, div); }
};
const OwnCharMath& Own() {
  static const std::unique_ptr<OwnCharMath> own(new OwnCharMath);
  return *own;
}

}  // namespace

const PF_ColourTables& Tables() { return kTables; }

TableBracket::TableBracket() {
  Handle trig = nullptr, charMath = nullptr;
  Mp_GetTableHandles(&trig, &charMath);
  if (charMath) {
    Boolean32 available = false;
    const uint8_t* mul = nullptr;
    const uint8_t* div = nullptr;
    M_PrepareFCMD(false, false, &available, &mul, &div);
    prepared_ = true;  // a prepare counts even when it found no table
    if (available && mul && div) {
      ops_ = TableOps{mul, div};
      return;
    }
  }
  ops_ = TableOps{Own().mul, Own().div};
}

TableBracket::~TableBracket() {
  if (prepared_) M_UnprepareFCMD();
}

}  // namespace tv::pf

const PF_ColourTables* PFp_GetColourTables(void) { return &tv::pf::Tables(); }
