// OM's package frame: its checked text table and reporter, version
// operations, birth (the shape value kind) and death.
#include "OM_internal.h"

STR_Table OMp_G_STRs = {};

namespace tv::om {
namespace {

constexpr pkg::Text kTexts[] = {
    {kTextUnknown, "unknown error (%ld)."},
    {kTextShape, "shape"},
    {kTextInvalidType, "invalid shape type"},
    {kTextDamaged, "attempt to %s an internally damaged shape."},
    {kTextDispose, "dispose"},
    {kTextCreating, "creating new shape"},
    {kTextDuplicate, "duplicate"},
    {kTextDuplicating, "duplicating shape"},
    {kTextCorrupt, "shape is corrupt in file."},
    {kTextMakeRelative, "make relative"},
    {kTextCannotRelative, "cannot %s a relative shape."},
    {kTextCannotAbsolute, "cannot %s an absolute shape."},
    {kTextMakeAbsolute, "make absolute"},
    {kTextConvertType, "convert shape type of"},
    {kTextAlter, "alter values in"},
    {kTextInquire, "inquire values about"},
    {kTextSetting, "setting shape values"},
    {kTextTangent, "shape tangent vector"},
    {kTextSpatialMethod, "Unsupported spatial interpolation method: %d."},
    {kTextVertex, "Bezier vertex %s"},
    {kTextNotCtpt, "is not control point."},
    {kTextBeyond, "is beyond the last vertex of shape."},
    {kTextSamplePoints, "list of sample points"},
    {kTextPointCount, "Number of points in OM_Shape is not consistent with Bezier curve %s"},
    {kTextAddingPoints, "while adding points for interpolation."},
    {kTextPreserve,
     "deleting points from an animated mask shape deletes points from all keyframes for that shape unless you "
     "turn off the Preserve Constant Vertex Count option in the General Preferences dialog box."},
    {kTextBadArgument, "bad argument to %s."},
    {kTextOffset, "offset"},
    {kTextNotAvailable, "%s is not available."},
};
TV_TEXT_TABLE(kTexts, kTextCount);

constexpr pkg::Lifecycle gLife(OM_PackageNumber);
int32_t gLiveShapes = 0;

}  // namespace

constinit const pkg::Reporter kReport{.number = OM_PackageNumber,
                                      .table = &OMp_G_STRs,
                                      .compiled = pkg::CompiledTexts<kTexts>,
                                      .count = kTextCount,
                                      .damaged = kTextDamaged,
                                      .badParam = kTextBadArgument,
                                      .installOnUse = true};

void CountShape(int32_t delta) { gLiveShapes += delta; }

ErrorCode Check(OM_Shape s, uint32_t site, int32_t verb) {
  // The verb's text is looked up only for a report (the table is installed
  // on first use).
  if (kShapeMagic.Intact(reinterpret_cast<Handle>(s))) return 0;
  return kReport.Damaged(site, {kReport.Text(verb)});
}

ErrorCode BadArg(uint32_t site, const char* operation) { return kReport.BadParam(site, {operation}); }

}  // namespace tv::om

using namespace tv;
using namespace tv::om;

TV_PACKAGE_VERSION_OPS(OM, OM_PackageNumber)

ErrorCode OM_Birth(void) {
  if (ErrorCode err = gLife.Birth(kSiteBirth)) return err;
  if (ErrorCode err = kReport.InstallTable()) {
    gLife.SetAlive(false);
    return err;
  }
  if (ErrorCode err = RegisterShapeKind(true)) {
    gLife.SetAlive(false);
    return err;
  }
  return 0;
}

ErrorCode OM_Death(void) {
  if (ErrorCode err = gLife.Death(kSiteBirth)) return err;
  RegisterShapeKind(false);
  return 0;
}

ErrorCode OMp_GetLiveCount(int32_t* count) {
  if (!count) return 3;
  *count = gLiveShapes;
  return 0;
}
