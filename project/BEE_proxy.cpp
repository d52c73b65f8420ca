// Proxies and remembered interpretations: an item's proxy set or removed
// (the proxy's SeqSpec kept for undo), the proxy switched on or off, the
// proxy's interpretation changed, and a footage interpretation remembered
// for later use; each one undoable step.
#include <cstring>

#include "BEE_cmd_internal.h"

namespace tv::bee {
namespace {

// The interpretation last remembered (command 61).
RememberedInterp gRemembered{};

ErrorCode CheckProxyItem(BEE_Item item, const char* op) {
  if (ErrorCode err = CheckItem(item)) return err;
  if (R(item).kind != BEE_KindFootage && R(item).kind != BEE_KindComp)
    return Strange(BEE_SiteItemQuery, op, R(item).kind);
  return 0;
}

}  // namespace

BEE_OP(OpSetProxy) {
  const auto [item, seq] = Words<SetProxyCmd>(*rec);
  if (ErrorCode err = CheckProxyItem(item, "OpSetProxy")) return err;
  const PIN_SeqSpecH old = R(item).proxy;
  R(item).proxy = seq;
  Touch(item);
  SetInverse(inv, SetProxyCmd{item, old});
  return 0;
}

void DisposeProxy(BEE_CmdRec* rec) {
  SetProxyCmd c = Words<SetProxyCmd>(*rec);
  // The SeqSpec is the record's unless the item holds it again.
  const bool held = IsLiveItem(c.item) && R(c.item).proxy == c.seq;
  if (c.seq && !held) PIN_DisposeSeqSpec(c.seq);
  c.seq = nullptr;
  Store(*rec, c);
}

BEE_OP(OpProxyToggle) {
  const auto [item, on] = Words<ProxyToggleCmd>(*rec);
  if (ErrorCode err = CheckProxyItem(item, "OpProxyToggle")) return err;
  const bool was = (R(item).flags & BEE_ItemProxyOn) != 0;
  if (on)
    R(item).flags |= BEE_ItemProxyOn;
  else
    R(item).flags &= ~static_cast<decltype(R(item).flags)>(BEE_ItemProxyOn);
  Touch(item);
  SetInverse(inv, ProxyToggleCmd{item, was ? 1 : 0});
  return 0;
}

BEE_OP(OpInterpretProxy) {
  const auto [item, interp] = Words<InterpretProxyCmd>(*rec);
  if (ErrorCode err = CheckProxyItem(item, "OpInterpretProxy")) return err;
  if (!interp) return kReport.BadParam(BEE_SiteCommandOp, {"OpInterpretProxy"});
  PIN_SeqSpecH seq = R(item).proxy;
  if (!seq) return Strange(BEE_SiteItemQuery, "OpInterpretProxy", R(item).kind);
  PIN_Interpretation was{};
  if (ErrorCode err = PIN_GetInterpretation(seq, &was)) return err;
  PIN_Interpretation* old = nullptr;
  if (ErrorCode err = NewCopy(&was, 1, &old)) return err;
  if (ErrorCode err = PIN_SetInterpretation(seq, interp)) {
    DisposePtr(reinterpret_cast<Ptr>(old));
    return err;
  }
  Touch(item);
  SetInverse(inv, InterpretProxyCmd{item, old});
  return 0;
}

BEE_OP(OpRememberInterp) {
  const auto [item, state] = Words<RememberInterpCmd>(*rec);
  RememberedInterp next{};
  if (state) {
    next = *state;  // an undo or redo: the state it holds
  } else {
    if (ErrorCode err = CheckItem(item)) return err;
    if (R(item).kind != BEE_KindFootage || !R(item).seqSpec)
      return Strange(BEE_SiteItemQuery, "OpRememberInterp", R(item).kind);
    if (ErrorCode err = PIN_GetInterpretation(R(item).seqSpec, &next.interp)) return err;
    next.has = 1;
  }
  RememberedInterp* old = nullptr;
  if (ErrorCode err = NewCopy(&gRemembered, 1, &old)) return err;
  gRemembered = next;
  SetInverse(inv, RememberInterpCmd{nullptr, old});
  return 0;
}

}  // namespace tv::bee

using namespace tv;
using namespace tv::bee;

ErrorCode BEE_CmdSetProxy(BEE_Item item, PIN_SeqSpecH proxy) try {
  if (ErrorCode err = CheckProxyItem(item, "BEE_CmdSetProxy")) return err;
  if (proxy && R(item).proxy == proxy) return 0;
  if (ErrorCode err = BEE_StartGroup(nullptr, SetProxyCmd::kNumber)) return err;
  ErrorCode err = DoCommand(SetProxyCmd{item, proxy});
  BEE_EndGroup();
  return err;
}
TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdProxyToggle(BEE_Item item, Boolean32 on) try {
  if (ErrorCode err = CheckProxyItem(item, "BEE_CmdProxyToggle")) return err;
  if (ErrorCode err = BEE_StartGroup(nullptr, ProxyToggleCmd::kNumber)) return err;
  ErrorCode err = DoCommand(ProxyToggleCmd{item, on ? 1 : 0});
  BEE_EndGroup();
  return err;
}
TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdInterpretProxy(BEE_Item item, const PIN_Interpretation* interp) try {
  if (ErrorCode err = CheckProxyItem(item, "BEE_CmdInterpretProxy")) return err;
  if (!interp) return kReport.BadParam(kSiteArgument, {"BEE_CmdInterpretProxy"});
  if (ErrorCode err = BEE_StartGroup(nullptr, InterpretProxyCmd::kNumber)) return err;
  ErrorCode err = DoCommand(InterpretProxyCmd{item, interp});
  BEE_EndGroup();
  return err;
}
TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdRememberInterpretation(BEE_Item footage) try {
  if (ErrorCode err = CheckItem(footage)) return err;
  if (ErrorCode err = BEE_StartGroup(nullptr, RememberInterpCmd::kNumber)) return err;
  ErrorCode err = DoCommand(RememberInterpCmd{footage, nullptr});
  BEE_EndGroup();
  return err;
}
TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetRememberedInterpretation(PIN_Interpretation* interp, Boolean32* has) {
  if (!interp || !has) return kReport.BadParam(kSiteArgument, {"BEE_GetRememberedInterpretation"});
  *interp = gRemembered.interp;
  *has = gRemembered.has;
  return 0;
}
