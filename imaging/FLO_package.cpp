// FLO's package frame: its checked text table and reporter, version
// operations and the record check.
#include "FLO_internal.h"

STR_Table FLOp_G_STRs = {};

namespace tv::flo {
namespace {

constexpr pkg::Text kTexts[] = {
    {kTextUnknown, "unknown distortion error (%ld)."},
    {kTextFitFailed, "couldn't fit the distortion curves (%s)."},                         // 16643
    {kTextNotPrepared, "the distortion is not prepared (%s)."},                          // 16644
    {kTextBadKind, "unknown distortion kind (%ld)."},                                   // 16647
    {kTextTooFewPoints, "a distortion curve needs at least 3 points (it has %ld)."},     // 16648
    {kTextSizeMismatch, "the image size (%ld x %ld) does not match the distortion (%ld x %ld)."},  // 16648
    {kTextBusy, "the distortion is already being drawn."},                               // 16649
    {kTextGridIndex, "grid element (%ld, %ld) is outside the distortion grid (%ld x %ld)."},  // 16650
    {kTextDamaged, "the distortion record is damaged."},                                 // code 2
    {kTextBadParam, "bad argument to %s."},                                              // code 3
    {kTextMemory, "distortion %s"},                                                      // out of memory
    {kTextArraySize, "the forward array has %ld bytes, not %ld."},                       // 16648
    {kTextMemoryData, "distortion data"},
    {kTextNoWork, "no working state"},
    {kTextNoGrid, "no grid"},
    {kTextSourceNoLength, "the source curve has no length"},
    {kTextDestinationNoLength, "the destination curve has no length"},
    {kTextNoGridPosition, "the grid generator gave no position"},
};
TV_TEXT_TABLE(kTexts, kTextCount);

constexpr pkg::Magic<Record> kRecordMagic{&Record::magic, FLO_Magic, &Record::endMagic, FLO_Magic};

}  // namespace

// The table is installed on first use (FLO has no birth).
constinit const pkg::Reporter kReport{.number = FLO_PackageNumber,
                                      .table = &FLOp_G_STRs,
                                      .compiled = pkg::CompiledTexts<kTexts>,
                                      .count = kTextCount,
                                      .damaged = kTextDamaged,
                                      .badParam = kTextBadParam,
                                      .installOnUse = true};

ErrorCode FailMemory(uint32_t site, uint64_t size) { return kReport.OutOfMemory(site, kTextMemoryData, size); }

ErrorCode Check(FLO_Distortion d, uint32_t site) {
  if (ErrorCode err = kReport.CheckRecord(d, kRecordMagic, site)) return err;
  const Record& r = Rec(d);
  if (!r.work || !*r.work || GetHandleSize(r.work) < static_cast<Size>(sizeof(Work)) ||
      WorkOf(d).magic != kWorkMagic)
    return kReport.Fail(site, FLO_ErrNotPrepared, kTextNotPrepared, {kReport.Text(kTextNoWork)});
  return 0;
}

}  // namespace tv::flo

TV_PACKAGE_VERSION_OPS(FLO, FLO_PackageNumber)
