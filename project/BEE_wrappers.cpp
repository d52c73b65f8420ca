// The exported command operations: each is one undo group around one table
// command, named by the command's table name.
#include <algorithm>
#include <cstring>

#include "BEE_cmd_internal.h"

using namespace tv;
using namespace tv::bee;

namespace {

// One undo group around command C; inverse (when given) receives the
// inverse's words.
template <class C>
ErrorCode Wrap(const C& c, intptr_t* inverse = nullptr) {
  if (ErrorCode err = BEE_StartGroup(nullptr, C::kNumber)) return err;
  ErrorCode err = DoCommand(c, inverse);
  // The group is closed whatever happened, so the stacks stay well formed.
  BEE_EndGroup();
  return err;
}

// As Wrap; *made receives what the command made (named by its inverse).
template <class C, class T>
ErrorCode WrapMake(const C& c, T* made) {
  if (made) *made = nullptr;
  intptr_t words[2] = {0, 0};
  ErrorCode err = Wrap(c, words);
  if (!err && made) {
    const auto [what, rest] = Unpack<typename C::Made>(words[0], words[1]);
    static_cast<void>(rest);
    *made = what;
  }
  return err;
}

}  // namespace

ErrorCode BEE_NewProject(void) try {
  return DoCommand(NewProjectCmd{});
} TV_CATCH(BEE_PackageNumber)
ErrorCode BEE_CloseProject(void) try {
  return DoCommand(CloseProjectCmd{});
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdNewFolder(BEE_Item parent, const char* name, BEE_Item* folder) try {
  return WrapMake(NewFolderCmd{parent, name ? name : ""}, folder);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdNewComp(BEE_Item folder, const BEE_CompSettings* settings, BEE_Item* comp) try {
  return WrapMake(NewCompCmd{folder, settings}, comp);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdNewLayer(BEE_Item comp, BEE_Item source, BEE_Layer* layer) try {
  return WrapMake(NewLayerCmd{comp, source}, layer);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdNewSolidLayer(BEE_Item comp, const BEE_SolidSettings* settings, BEE_Layer* layer) try {
  return WrapMake(NewSolidLayerCmd{comp, settings}, layer);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdRemoveItem(BEE_Item item) try {
  return Wrap(RemoveItemCmd{item, {}});
} TV_CATCH(BEE_PackageNumber)
ErrorCode BEE_CmdMoveItem(BEE_Item item, BEE_Item folder) try {
  return Wrap(MoveItemCmd{item, folder});
} TV_CATCH(BEE_PackageNumber)

// Selecting the layer first (command 7) joins this group once selections exist.
ErrorCode BEE_CmdDeleteLayer(BEE_Layer layer) try {
  return Wrap(ClearLayerCmd{layer, {}});
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdDuplicateLayer(BEE_Layer layer, BEE_Layer* copy) try {
  return WrapMake(DuplicateLayerCmd{layer, {}}, copy);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetCompSettings(BEE_Item comp, const BEE_CompSettings* settings) try {
  return Wrap(CompSettingsCmd{comp, settings});
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetResolution(BEE_Item comp, uint16_t hFactor, uint16_t vFactor) try {
  return Wrap(ResolutionCmd{comp, Factors{hFactor, vFactor}});
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetBackgroundColor(BEE_Item comp, uint32_t color) try {
  return Wrap(BackgroundColorCmd{comp, color});
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetCompSwitch(BEE_Item comp, uint32_t bit, Boolean32 on) try {
  return Wrap(CompSwitchCmd{comp, Switch{bit, on != 0}});
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetLayerSwitch(BEE_Layer layer, uint32_t bit, Boolean32 on) try {
  return Wrap(LayerSwitchCmd{layer, Switch{bit, on != 0}});
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetLayerTimes(BEE_Layer layer, Time offset, Time inPoint, Time outPoint) try {
  const BEE_LayerTimes t{offset, inPoint, outPoint};
  return Wrap(LayerTimesCmd{layer, &t});
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetLayerStretch(BEE_Layer layer, Ratio stretch) try {
  return Wrap(LayerStretchCmd{layer, stretch});
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetLayerQuality(BEE_Layer layer, int16_t quality) try {
  return Wrap(QualityCmd{layer, quality});
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetTransfer(BEE_Layer layer, uint32_t mode, uint32_t flags, uint32_t trackMatte) try {
  const BEE_TransferSettings t{mode, flags, trackMatte};
  return Wrap(TransferCmd{layer, &t});
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdReorderLayer(BEE_Layer layer, int32_t index) try {
  return Wrap(LayerReorderCmd{layer, index});
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdReplaceSource(BEE_Layer layer, BEE_Item source) try {
  return Wrap(ReplaceSourceCmd{layer, source});
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdReplaceItem(BEE_Item item, BEE_Item replacement) try {
  return Wrap(ReplaceItemCmd{item, replacement});
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdDuplicateComp(BEE_Item comp, BEE_Item* copy) try {
  return WrapMake(DuplicateCompCmd{comp, {}}, copy);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetSolidSettings(BEE_Item solid, const BEE_SolidSettings* settings) try {
  return Wrap(SolidSettingsCmd{solid, settings});
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdRenameItem(BEE_Item item, const char* name) try {
  return Wrap(NameChangeCmd{item, name});
} TV_CATCH(BEE_PackageNumber)
ErrorCode BEE_CmdRenameLayer(BEE_Layer layer, const char* name) try {
  return Wrap(LayerNameCmd{layer, name});
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSeekItemToTime(BEE_Item item, Time time) try {
  return Wrap(TimeChangeCmd{item, time});
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetItemLabel(BEE_Item item, int8_t label) try {
  return Wrap(ItemLabelCmd{item, label});
} TV_CATCH(BEE_PackageNumber)
ErrorCode BEE_CmdSetLayerLabel(BEE_Layer layer, int8_t label) try {
  return Wrap(LayerLabelCmd{layer, label});
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetItemComment(BEE_Item item, const char* comment) try {
  return Wrap(ItemCommentCmd{item, comment});
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetLayerComment(BEE_Layer layer, const char* comment) try {
  return Wrap(LayerCommentCmd{layer, comment});
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetItemOrigin(BEE_Item item, const BEE_RulerOrigin* origin) try {
  return Wrap(RulerOriginCmd{item, origin});
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetLayerOrigin(BEE_Layer layer, const BEE_RulerOrigin* origin) try {
  return Wrap(RulerOriginCmd{layer, origin});
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdAddGuide(BEE_Item item, BEE_Guide guide) try {
  const BEE_GuideChange c{-1, guide};
  return Wrap(NewGuideCmd{item, &c});
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdRemoveGuide(BEE_Item item, int32_t index) try {
  return Wrap(RemoveGuideCmd{item, index});
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdMoveGuide(BEE_Item item, int32_t index, BEE_Guide guide) try {
  const BEE_GuideChange c{index, guide};
  return Wrap(GuideMoveCmd{item, &c});
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetStreamKeys(BEE_Layer layer, int32_t index, TDB_Stream stream) try {
  BEE_StreamRef ref{layer, index};
  return Wrap(KeyframeChangeCmd{&ref, stream});
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSynchronizeRelatedItems(BEE_Item comp) try {
  if (ErrorCode err = CheckComp(comp)) return err;
  if (ErrorCode err = BEE_StartGroup(nullptr, BEE_CmdNumTimeChange)) return err;
  ErrorCode err = 0;
  // Each composition is seeked once, from the first layer that reaches it.
  std::vector<BEE_Item> todo{comp};
  std::vector<BEE_Item> seen{comp};
  while (!todo.empty() && !err) {
    BEE_Item c = todo.back();
    todo.pop_back();
    Time now = R(c).currentTime;
    int32_t n = LayerCount(c);
    for (int32_t i = 0; i < n && !err; ++i) {
      BEE_Layer l = LayerAt(c, i);
      BEE_Item s = R(l).source;
      if (!IsLiveItem(s) || R(s).kind != BEE_KindComp) continue;
      if (std::find(seen.begin(), seen.end(), s) != seen.end()) continue;
      Time lt{}, st{};
      Boolean32 active = 0;
      if (BEE_LayerActive(l, now, 1, &active, &lt) != 0 || !active) continue;
      err = BEE_LayerToSourceTime(l, lt, &st);
      if (!err) {
        // Each item's own step: collapsing with the previous one stays off.
        BEE_InhibitCollapsingForNextCmd();
        err = DoCommand(TimeChangeCmd{s, st});
      }
      seen.push_back(s);
      todo.push_back(s);
    }
  }
  BEE_EndGroup();
  return err;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdConsolidateItemSources(int32_t* removed) try {
  if (removed) *removed = 0;
  if (ErrorCode err = RequireProject()) return err;
  std::vector<BEE_Item> footage;
  for (BEE_Item it : G().order)
    if (R(it).kind == BEE_KindFootage && R(it).footage) footage.push_back(it);
  if (ErrorCode err = BEE_StartGroup(kReport.Text(kTextConsolidation), 0)) return err;
  ErrorCode err = 0;
  int32_t count = 0;
  for (size_t i = 0; i < footage.size() && !err; ++i) {
    if (!footage[i]) continue;
    for (size_t j = i + 1; j < footage.size() && !err; ++j) {
      if (!footage[j] ||
          std::memcmp(*R(footage[i]).footage, *R(footage[j]).footage, sizeof(BEE_FootageDesc)) != 0)
        continue;
      err = DoCommand(ReplaceItemCmd{footage[j], footage[i]});
      if (!err) err = DoCommand(RemoveItemCmd{footage[j], {}});
      if (!err) ++count;
      footage[j] = nullptr;
    }
  }
  BEE_EndGroup();
  if (removed) *removed = count;
  return err;
} TV_CATCH(BEE_PackageNumber)
