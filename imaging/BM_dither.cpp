// The pattern dither matrix.
#include "BM_internal.h"

using namespace tv;
using namespace tv::bm;

namespace {
constexpr int32_t kMaxDitherSide = 64;
constexpr uint8_t kDefaultMatrix[16] = {15, 30,  60,  105, 45,  75,  120, 165,
                                        90, 135, 180, 210, 150, 195, 225, 240};
}  // namespace

namespace tv::bm {
void DisposeDitherMatrix() {
  if (G().dither) DisposePtr(reinterpret_cast<Ptr>(G().dither));
  G().dither = nullptr;
  G().ditherColumns = G().ditherRows = 0;
}
}  // namespace tv::bm

ErrorCode BM_SetPatternDitherMatrix(int32_t columns, int32_t rows, const uint8_t* values) {
  if (ErrorCode err = CheckBorn(kSiteDither)) return err;
  if (!values) {
    columns = rows = 4;
    values = kDefaultMatrix;
  }
  if (columns < 1 || rows < 1 || columns > kMaxDitherSide || rows > kMaxDitherSide)
    return kReport.Fail(kSiteDither, kErrBadParam, kStrDitherSize, {columns, rows});
  const int32_t cells = columns * rows;
  if (!G().dither || int32_t{G().ditherColumns} * G().ditherRows != cells) {
    auto* block = reinterpret_cast<uint16_t*>(NewPtr(static_cast<Size>(cells) * 2));
    if (!block) return kReport.OutOfMemory(kSiteDither, kStrDitherMemory, static_cast<uint64_t>(cells) * 2);
    DisposeDitherMatrix();
    G().dither = block;
  }
  G().ditherColumns = static_cast<int16_t>(columns);
  G().ditherRows = static_cast<int16_t>(rows);
  // Values are bytes: 255 x 100 still fits a 16-bit cell.
  for (int32_t i = 0; i < cells; ++i) G().dither[i] = static_cast<uint16_t>(values[i] * 100);
  return 0;
}

ErrorCode BMp_GetPatternDitherMatrix(int32_t* columns, int32_t* rows, const uint16_t** cells) {
  if (columns) *columns = 0;
  if (rows) *rows = 0;
  if (cells) *cells = nullptr;
  if (ErrorCode err = CheckBorn(kSiteDither)) return err;
  if (!columns || !rows || !cells) return kReport.BadParam(kSiteDither, {"BMp_GetPatternDitherMatrix"});
  *columns = G().ditherColumns;
  *rows = G().ditherRows;
  *cells = G().dither;
  return 0;
}
