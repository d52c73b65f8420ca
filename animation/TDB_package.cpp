// TDB's package frame: its checked text table and reporter, version
// operations and the report helpers.
#include "Package.h"
#include "TDB_internal.h"

STR_Table TDBp_G_STRs = {};

namespace tv::tdb {
namespace {
constexpr pkg::Text kTexts[] = {
    {kStrUnknown, "unknown error (%ld)."},
    {kStrDamaged, "attempt to %s an internally damaged time stream."},
    {kStrKeyExists, "attempt to %s time stream key value."},
    {kStrConstant, "attempt to %s a constant time stream."},
    {kStrNoKeys, "attempt to %s a time stream with no key values."},
    {kStrTimeScale, "invalid time scale in %s."},
    {kStrOverflow, "%s caused time value overflow."},
    {kStrTimePosition, "attempt to %s a time stream at a time position not representable in the stream time scale."},
    {kStrMethod, "interpolation method not allowed for this stream (%d)."},
    {kStrFileData, "invalid time stream information in file (%s)."},
    {kStrNotSpatial, "attempt to %s a non-spatial stream."},
    {kStrArcLength2D, "only 2d spatial streams allow arc-length interpolation"},
    {kStrNoCustomInterp, "no custom interp function specified"},
    {kStrOverlap, "Some interpolated values may be incorrect in this project due to nearly overlapping keyframes."},
    {kVerbDispose, "dispose"},
    {kVerbGetValue, "get a value from"},
    {kVerbInsert, "insert a key value into"},
    {kVerbRemove, "remove a key value from"},
    {kVerbAlterKey, "alter a key value in"},
    {kVerbGetKey, "get a key value from"},
    {kVerbInquireKey, "inquire about a key value in"},
    {kVerbDuplicate, "duplicate"},
    {kVerbMerge, "merge"},
    {kVerbWrite, "write out"},
    {kVerbRead, "read in"},
    {kVerbModify, "modify"},
    {kVerbSetValueDesc, "set value description"},
    {kVerbSetIMask, "set imask"},
    {kVerbSetSpIMask, "set spatial imask"},
    {kVerbSetSpInterp, "set spatial interp"},
    {kVerbSetMultiplier, "set multiplier of"},
    {kVerbSetTangents, "set tangents for a key in"},
    {kVerbOverwrite, "overwrite an already existing"},
    {kVerbTimeVarying, "alter time-varyingness of"},
    {kVerbIterate, "iterate over key values in"},
    {kStrTimeOverflow, "time value overflow"},
    {kStrNotSpatialStream, "stream isn't spatial"},
    {kStrKeySizeMismatch, "key data size mismatch"},
    {kStrBadRescale, "invalid time stream rescaling technique"},
    {kStrNoDeriv, "unable to inquire derivative"},
    {kStrNoDirectManip, "can't directly manipulate this stream."},
    {kVerbPredict, "predict spatial change of"},
    {kStrAdaptiveTemp, "adaptive stream temporary data"},
    {kStrBadMethod, "invalid method while interpolating"},
    {kDetailHeaderLength, "header length"},
    {kDetailOldHeaderInfo, "old-style header info"},
    {kDetailOldHeaderLength, "old-style header length"},
    {kDetailChunkId, "unrecognized chunk ID"},
    {kDetailOldInterp, "unknown old-style interpolation constant"},
    {kDetailOldDataType, "unknown old-style data type constant"},
    {kDetailMultiInterp, "multiple value interpolation array"},
    {kVerbClone, "clone"},
    {kVerbRescale, "rescale"},
    {kVerbSetAccuracy, "set accuracy of"},
    {kVerbSetCustom, "set custom functions of"},
    {kVerbSParametrize, "set arc-length parametrization of"},
    {kVerbMoveKey, "move a key value in"},
    {kVerbSetKeyFlags, "set key flags in"},
    {kVerbSetVelocity, "set key velocity in"},
    {kVerbSetInfluence, "set key influence in"},
    {kVerbGetDeriv, "get a derivative from"},
    {kVerbSample, "sample"},
    {kVerbFindKey, "find a key value in"},
    {kVerbCopyKey, "copy a key value from"},
    {kVerbUpdate, "update"},
    {kStrTimeStream, "time stream"},
    {kStrKeyList, "time stream key list"},
    {kStrHeaderWhat, "time stream header"},
    {kDetailConstantSize, "constant value size"},
    {kDetailKeyListSize, "key list size"},
    {kDetailKeyOrder, "key order"},
    {kDetailDimension, "dimension"},
    {kDetailValueDesc, "value description"},
    {kDetailFlags, "stream flags"},
    {kStrOldForms, "old-style stream header forms are not supported"},
    {kStrCustomKind, "custom value kind"},
    {kStrTimeArith, "time arithmetic"},
    {kStrZeroVelocity, "zero velocity points"},
    {kVerbDirectManip, "directly manipulate"},
};
TV_TEXT_TABLE(kTexts, TDB_StringCount);
}  // namespace

// The table is installed on first use (TDB has no birth).
constinit const pkg::Reporter kReport{.number = TDB_PackageNumber,
                                      .table = &TDBp_G_STRs,
                                      .compiled = pkg::CompiledTexts<kTexts>,
                                      .count = TDB_StringCount,
                                      .installOnUse = true};

ErrorCode Fail(uint32_t site, ErrorCode code, int32_t verb, int32_t number) {
  int32_t text = kStrUnknown;
  switch (code) {
    case kErrDamaged: text = kStrDamaged; break;
    case TDB_ErrKeyExists: text = kStrKeyExists; break;
    case TDB_ErrConstant: text = kStrConstant; break;
    case TDB_ErrNoKeys: text = kStrNoKeys; break;
    case TDB_ErrTimeScale: text = kStrTimeScale; break;
    case TDB_ErrOverflow: text = kStrOverflow; break;
    case TDB_ErrTimePosition: text = kStrTimePosition; break;
    case TDB_ErrMethod: text = kStrMethod; break;
    case TDB_ErrFileData: text = kStrFileData; break;
    case TDB_ErrNotSpatial: text = kStrNotSpatial; break;
    case TDB_ErrArcLength2D: text = kStrArcLength2D; break;
    case TDB_ErrValueDesc:
    case TDB_ErrNoSuchKind: return code;
    default: break;
  }
  if (text == kStrMethod) return kReport.Fail(site, code, text, {number});
  if (text == kStrUnknown) return kReport.Fail(site, code, text, {code});
  return kReport.Fail(site, code, text, {kReport.Text(verb)});
}

ErrorCode FailText(uint32_t site, ErrorCode code, int32_t text) {
  return kReport.Message(site, kSevError, code, kReport.Text(text));
}

ErrorCode OutOfMemory(uint32_t site, uint64_t size) { return kReport.OutOfMemory(site, kStrTimeStream, size); }

ErrorCode FileData(int32_t detail) { return Fail(kSiteRead, TDB_ErrFileData, detail); }

}  // namespace tv::tdb

TV_PACKAGE_VERSION_OPS(TDB, TDB_PackageNumber)
