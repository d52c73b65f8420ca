// Pre-composing: the selected layers of a composition put into a new
// composition, which takes their place as one layer; one undo step.
#include <string_view>
#include <vector>

#include "BEE_cmd_internal.h"
#include "T.h"

namespace tv::bee {
namespace {

constexpr uint32_t kSite = BEE_SiteCommandOp;

ErrorCode Refuse(int32_t text, std::initializer_list<fmt::Arg> args = {}) {
  return kReport.Report(kSite, kSevError, kErrBadParam, text, args);
}

// The selected layers of comp, topmost first.
ErrorCode SelectedLayers(BEE_Item comp, std::vector<BEE_Layer>* layers) {
  BEE_Selection sel = nullptr;
  if (ErrorCode err = BEE_GetCompSelection(comp, &sel)) return err;
  for (int32_t i = 0; i < LayerCount(comp); ++i) {
    Boolean32 on = 0;
    if (ErrorCode err = BEE_IsLayerSelected(sel, LayerAt(comp, i), &on)) return err;
    if (on) layers->push_back(LayerAt(comp, i));
  }
  if (layers->empty()) return Refuse(kTextPrecomposeNothing);
  return 0;
}

// The settings of the new composition: comp's, under the new name.
BEE_CompSettings SettingsFrom(BEE_Item comp, std::string_view name) {
  BEE_CompSettings s{};
  BEE_GetCompSettings(comp, &s);
  CopyName(s.name, name);
  return s;
}

// The name given, or else the fallback.
std::string_view NameOr(const char* name, const char* fallback) {
  return name && *name ? std::string_view(name) : NameOf(fallback);
}

// Makes the composition in comp's folder, with comp's background colour,
// switches and label.
ErrorCode MakeComp(BEE_Item comp, const BEE_CompSettings& s, BEE_Item* made) {
  intptr_t words[2] = {};
  if (ErrorCode err = DoCommand(NewCompCmd{R(comp).parent, &s}, words)) return err;
  *made = reinterpret_cast<BEE_Item>(words[0]);
  if (ErrorCode err = DoCommand(BackgroundColorCmd{*made, R(comp).bgColor})) return err;
  for (uint32_t bit = 1; bit; bit <<= 1)
    if ((R(comp).compSwitches & bit) != (R(*made).compSwitches & bit))
      if (ErrorCode err = DoCommand(CompSwitchCmd{*made, Switch{bit, (R(comp).compSwitches & bit) != 0}}))
        return err;
  return DoCommand(ItemLabelCmd{*made, R(comp).label});
}

// Moves the layers (topmost first) into a new composition of comp's
// settings; one layer of it takes the place of the topmost.
ErrorCode MoveAll(BEE_Item comp, const std::vector<BEE_Layer>& layers, const char* name, BEE_Item* made,
                  BEE_Layer* placed) {
  const BEE_CompSettings s = SettingsFrom(comp, NameOr(name, R(comp).name));
  if (ErrorCode err = MakeComp(comp, s, made)) return err;
  const int32_t top = IndexOfLayer(layers.front());
  // Copies pasted bottom first keep the order; every stream, mask, effect
  // and switch goes with them. The originals are cleared afterwards.
  std::vector<BEE_Layer> copies(layers.size());
  for (size_t i = layers.size(); i-- > 0;) {
    if (ErrorCode err = CheckNesting(*made, R(layers[i]).source, kSite)) return err;
    BEE_Layer copy = nullptr;
    if (ErrorCode err = DuplicateLayerRec(layers[i], &copy)) return err;
    if (ErrorCode err = DoCommand(PasteLayerCmd{*made, copy})) {
      DisposeLayer(copy);
      return err;
    }
    copies[i] = copy;
  }
  // Effects of the moved layers read the moved layers they named.
  CopyLayerChoices(layers, copies);
  for (BEE_Layer l : layers)
    if (ErrorCode err = DoCommand(ClearLayerCmd{l, {}})) return err;
  intptr_t words[2] = {};
  if (ErrorCode err = DoCommand(NewLayerCmd{comp, *made}, words)) return err;
  *placed = reinterpret_cast<BEE_Layer>(words[0]);
  if (top > 0)
    if (ErrorCode err = DoCommand(LayerReorderCmd{*placed, top})) return err;
  return DoCommand(LayerLabelCmd{*placed, R(layers.front()).label});
}

// The layer keeps its transform, masks, effects and times; its source moves
// into a new composition of the source's size, where it is alone.
ErrorCode LeaveAll(BEE_Item comp, BEE_Layer layer, const char* name, BEE_Item* made) {
  BEE_Item source = R(layer).source;
  const bool ownSolid = IsLiveItem(source) && R(source).kind == BEE_KindSolid && R(source).solidLayer == layer;
  if (!IsLiveItem(source) || ownSolid) return Refuse(kTextPrecomposeSource, {NameOf(R(layer).name)});
  BEE_CompSettings s = SettingsFrom(comp, NameOr(name, R(source).name));
  int32_t w = 0, h = 0;
  if (ErrorCode err = BEE_GetItemDimensions(source, &w, &h)) return err;
  if (w <= 0 || h <= 0) return Refuse(kTextPrecomposeSource, {NameOf(R(layer).name)});
  s.width = static_cast<uint16_t>(w);
  s.height = static_cast<uint16_t>(h);
  // Of the source's pixel aspect too: drawn in a composition of other
  // pixels, footage of another aspect was widened or narrowed inside it
  // and cut at its edges.
  Ratio aspect{1, 1};
  if (BEE_GetItemHSF(source, &aspect) == 0 && aspect.num > 0 && aspect.den > 0) s.pixelAspect = aspect;
  // As long as the source; a still lasts as long as the layer shows it.
  bool hasTime = false;
  const Time d = SourceDuration(layer, &hasTime);
  if (hasTime) {
    s.duration = d;
  } else {
    Time until = R(layer).outPoint;
    if (ErrorCode err = BEE_LayerToSourceTime(layer, R(layer).outPoint, &until)) return err;
    if (ErrorCode err = T_MaxTime(until, R(comp).duration, &s.duration)) return err;
  }
  int32_t order = 0;
  T_CompareTime(s.secondTime, s.duration, &order);
  if (order >= 0) s.secondTime = Time{0, s.duration.scale};
  if (ErrorCode err = MakeComp(comp, s, made)) return err;
  intptr_t words[2] = {};
  if (ErrorCode err = DoCommand(NewLayerCmd{*made, source}, words)) return err;
  const auto inner = reinterpret_cast<BEE_Layer>(words[0]);
  // The source's layer shows it for as long as the composition lasts.
  const BEE_LayerTimes t{Time{0, 600}, Time{0, 600}, s.duration};
  if (ErrorCode err = DoCommand(LayerTimesCmd{inner, &t})) return err;
  if (ErrorCode err = DoCommand(LayerLabelCmd{inner, R(layer).label})) return err;
  return DoCommand(ReplaceSourceCmd{layer, *made});
}

}  // namespace
}  // namespace tv::bee

using namespace tv;
using namespace tv::bee;

ErrorCode BEE_CmdCompify(BEE_Item comp, const char* name, Boolean32 moveAttributes, BEE_Item* newComp) try {
  if (newComp) *newComp = nullptr;
  if (ErrorCode err = CheckComp(comp)) return err;
  std::vector<BEE_Layer> layers;
  if (ErrorCode err = SelectedLayers(comp, &layers)) return err;
  if (!moveAttributes && layers.size() != 1)
    return Refuse(kTextPrecomposeOne, {static_cast<int64_t>(layers.size())});
  if (ErrorCode err = BEE_StartGroup(kReport.Text(kTextPrecompose), 0)) return err;
  BEE_Item made = nullptr;
  BEE_Layer placed = layers.front();
  ErrorCode err = moveAttributes ? MoveAll(comp, layers, name, &made, &placed) : LeaveAll(comp, layers.front(), name, &made);
  // The layer that stands for the new composition is the one selected.
  BEE_Selection sel = nullptr;
  if (!err) err = BEE_NewSelection(&sel);
  if (!err) err = BEE_SelectLayer(sel, placed, 1, nullptr);
  if (!err) err = BEE_CmdSetCompSelection(comp, sel);
  if (sel) BEE_DisposeSelection(sel);
  BEE_EndGroup();
  // A pre-compose that failed halfway is taken back whole.
  if (err) {
    if (made) {
      BEE_Undo();
      BEE_ClearRedoStack();
    }
    return err;
  }
  if (newComp) *newComp = made;
  return 0;
} TV_CATCH(BEE_PackageNumber)
