// Footage interpretation: how a footage item's source is read (alpha, fields,
// pulldown, pixel aspect, rates, looping) changes as one undoable command; the
// interpretation lives in the item's SeqSpec and is saved with it.
#include <cstring>

#include "BEE_cmd_internal.h"

namespace tv::bee {

BEE_OP(OpInterpretFootage) {
  const auto [item, interp] = Words<InterpretFootageCmd>(*rec);
  if (ErrorCode err = CheckItem(item)) return err;
  if (R(item).kind != BEE_KindFootage || !R(item).footage)
    return Strange(BEE_SiteItemQuery, "OpInterpretFootage", R(item).kind);
  if (!interp) return kReport.BadParam(BEE_SiteCommandOp, {"OpInterpretFootage"});
  PIN_SeqSpecH seq = R(item).seqSpec;
  if (!seq) return Unimplemented("interpreting footage without a source module", InterpretFootageCmd::kNumber);
  PIN_Interpretation was{};
  if (ErrorCode err = PIN_GetInterpretation(seq, &was)) return err;
  PIN_Interpretation* old = nullptr;
  if (ErrorCode err = NewCopy(&was, 1, &old)) return err;
  if (ErrorCode err = PIN_SetInterpretation(seq, interp)) {
    DisposePtr(reinterpret_cast<Ptr>(old));
    return err;
  }
  // The item's description follows what the interpretation changes.
  BEE_FootageDesc desc{};
  if (DescribeFootageSource(seq, &desc) == 0) {
    BEE_FootageDesc& d = *reinterpret_cast<BEE_FootageDesc*>(*R(item).footage);
    d.duration = desc.duration;
    d.pixelAspect = desc.pixelAspect;
    d.frameRate = desc.frameRate;
    d.fieldSetting = desc.fieldSetting;
    d.fieldSecond = desc.fieldSecond;
  }
  Touch(item);
  SetInverse(inv, InterpretFootageCmd{item, old});
  return 0;
}

}  // namespace tv::bee

using namespace tv;
using namespace tv::bee;

ErrorCode BEE_CmdInterpretFootage(BEE_Item footage, const PIN_Interpretation* interp) try {
  if (ErrorCode err = CheckItem(footage)) return err;
  if (!interp) return kReport.BadParam(kSiteArgument, {"BEE_CmdInterpretFootage"});
  if (ErrorCode err = BEE_StartGroup(nullptr, InterpretFootageCmd::kNumber)) return err;
  ErrorCode err = DoCommand(InterpretFootageCmd{footage, interp});
  BEE_EndGroup();
  return err;
}
TV_CATCH(BEE_PackageNumber)
