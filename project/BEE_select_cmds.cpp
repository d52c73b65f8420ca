// Command 7: a composition's selection replaced, undoably.
#include <new>

#include "BEE_cmd_internal.h"
#include "BEE_select_internal.h"

using namespace tv;
using namespace tv::bee;

namespace tv::bee {

namespace {

void DisposeHeldSelection(BEE_CmdRec* rec) {
  DisposeSelectionRec(reinterpret_cast<BEE_SelectionRec*>(rec->param2));
  rec->param2 = 0;
}

// Words: the composition and the selection it is to get (owned by the record).
struct SelectCmd {
  static constexpr int32_t kNumber = BEE_CmdNumSelect;
  static constexpr BEE_CmdOp kOp = &OpSelect;
  static constexpr BEE_CmdDispose kOwned = &DisposeHeldSelection;
  BEE_Item comp;
  BEE_SelectionRec* selection;
};

}  // namespace

BEE_OP(OpSelect) {
  const auto [comp, selection] = Words<SelectCmd>(*rec);
  if (ErrorCode err = CheckComp(comp)) return err;
  if (!selection) return kReport.BadParam(kSiteArgument, {"Selection"});
  BEE_SelectionRec* old = R(comp).selection;
  if (!old) old = new (std::nothrow) BEE_SelectionRec;
  if (!old) return kReport.OutOfMemory(BEE_SiteCommandOp, "selection", sizeof(BEE_SelectionRec));
  R(comp).selection = selection;
  // The composition owns the new selection now.
  rec->param2 = 0;
  rec->dispose = nullptr;
  // Successive changes of one composition's selection are one step: the
  // inverse already on the stack keeps the oldest selection.
  if (merge && merge->operation == &OpSelect && Words<SelectCmd>(*merge).comp == comp) *merged = 1;
  SetInverse(inv, SelectCmd{comp, old});
  return 0;
}

}  // namespace tv::bee

ErrorCode BEE_GetCompSelection(BEE_Item comp, BEE_Selection* selection) try {
  if (selection) *selection = nullptr;
  BEE_SelectionRec* s = nullptr;
  if (ErrorCode err = CompSelection(comp, &s)) return err;
  if (!selection) return kReport.BadParam(kSiteArgument, {"BEE_GetCompSelection"});
  *selection = s;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetCompSelection(BEE_Item comp, BEE_Selection selection) try {
  if (ErrorCode err = CheckComp(comp)) return err;
  if (!selection) return kReport.BadParam(kSiteArgument, {"BEE_CmdSetCompSelection"});
  BEE_SelectionRec* copy = new BEE_SelectionRec(*selection);
  // A group of its own: a record outside every group would join the step
  // before it.
  if (ErrorCode err = BEE_StartGroup(nullptr, BEE_CmdNumSelect)) {
    DisposeSelectionRec(copy);
    return err;
  }
  ErrorCode err = DoCommand(SelectCmd{comp, copy});
  BEE_EndGroup();
  // On failure the copy never reached the composition.
  if (err) DisposeSelectionRec(copy);
  return err;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdDeselectAllKeyframes(BEE_Item comp) try {
  BEE_SelectionRec* now = nullptr;
  if (ErrorCode err = CompSelection(comp, &now)) return err;
  int32_t keys = 0;
  if (ErrorCode err = BEE_CountSelectedKeyframes(now, &keys)) return err;
  if (keys == 0) return 0;  // nothing to forget: no step
  BEE_SelectionRec* copy = new BEE_SelectionRec(*now);
  BEE_DeselectAllKeyframes(copy);
  // No group of its own: the change joins the step that is open (or the one
  // before it), as selections that follow an edit do.
  ErrorCode err = DoCommand(SelectCmd{comp, copy});
  if (err) DisposeSelectionRec(copy);
  return err;
} TV_CATCH(BEE_PackageNumber)
