// The exported command operations: each is one undo group around one table
// command, named by the command's table name.
#include <algorithm>
#include <cstring>

#include "BEE_cmd_internal.h"

using namespace tv;
using namespace tv::bee;

namespace {

intptr_t W(const void* p) { return reinterpret_cast<intptr_t>(p); }

ErrorCode Wrap(int32_t command, intptr_t p1, intptr_t p2, intptr_t* out = nullptr) {
  if (ErrorCode err = BEE_StartGroup(nullptr, command)) return err;
  intptr_t params[2] = {p1, p2};
  ErrorCode err = BEE_DoCommand(command, params);
  // The group is closed whatever happened, so the stacks stay well formed.
  BEE_EndGroup();
  if (!err && out) *out = params[0];
  return err;
}

template <class T>
ErrorCode WrapMake(int32_t command, intptr_t p1, intptr_t p2, T* result) {
  if (result) *result = nullptr;
  intptr_t out = 0;
  ErrorCode err = Wrap(command, p1, p2, &out);
  if (!err && result) *result = reinterpret_cast<T>(out);
  return err;
}

}  // namespace

ErrorCode BEE_NewProject(void) { return BEE_DoCommand(BEE_CmdNumNewProject, nullptr); }
ErrorCode BEE_CloseProject(void) { return BEE_DoCommand(BEE_CmdNumCloseProject, nullptr); }

ErrorCode BEE_CmdNewFolder(BEE_Item parent, const char* name, BEE_Item* folder) try {
  return WrapMake(BEE_CmdNumNewFolder, W(parent), W(name ? name : ""), folder);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdNewComp(BEE_Item folder, const BEE_CompSettings* settings, BEE_Item* comp) try {
  return WrapMake(BEE_CmdNumNewComposition, W(folder), W(settings), comp);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdNewLayer(BEE_Item comp, BEE_Item source, BEE_Layer* layer) try {
  return WrapMake(BEE_CmdNumNewLayer, W(comp), W(source), layer);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdNewSolidLayer(BEE_Item comp, const BEE_SolidSettings* settings, BEE_Layer* layer) try {
  return WrapMake(BEE_CmdNumNewSolidLayer, W(comp), W(settings), layer);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdRemoveItem(BEE_Item item) { return Wrap(BEE_CmdNumRemoveItem, W(item), 0); }
ErrorCode BEE_CmdMoveItem(BEE_Item item, BEE_Item folder) { return Wrap(BEE_CmdNumMoveItem, W(item), W(folder)); }

// Selecting the layer first (command 7) joins this group once selections exist.
ErrorCode BEE_CmdDeleteLayer(BEE_Layer layer) { return Wrap(BEE_CmdNumClearLayer, W(layer), 0); }

ErrorCode BEE_CmdDuplicateLayer(BEE_Layer layer, BEE_Layer* copy) try {
  return WrapMake(BEE_CmdNumDuplicateLayer, W(layer), 0, copy);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetCompSettings(BEE_Item comp, const BEE_CompSettings* settings) try {
  return Wrap(BEE_CmdNumCompSettings, W(comp), W(settings));
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetResolution(BEE_Item comp, uint16_t hFactor, uint16_t vFactor) try {
  return Wrap(BEE_CmdNumResolutionChange, W(comp), (intptr_t{hFactor} << 16) | vFactor);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetBackgroundColor(BEE_Item comp, uint32_t color) try {
  return Wrap(BEE_CmdNumBackgroundColor, W(comp), color);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetCompSwitch(BEE_Item comp, uint32_t bit, Boolean32 on) try {
  return Wrap(BEE_CmdNumCompSwitch, W(comp), BEE_PackSwitch(bit, on != 0));
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetLayerSwitch(BEE_Layer layer, uint32_t bit, Boolean32 on) try {
  return Wrap(BEE_CmdNumToggleSwitch, W(layer), BEE_PackSwitch(bit, on != 0));
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetLayerTimes(BEE_Layer layer, Time offset, Time inPoint, Time outPoint) try {
  BEE_LayerTimes t{offset, inPoint, outPoint};
  return Wrap(BEE_CmdNumLayerTimeChange, W(layer), W(&t));
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetLayerStretch(BEE_Layer layer, Ratio stretch) try {
  return Wrap(BEE_CmdNumLayerStretch, W(layer), BEE_PackRatio(stretch));
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetLayerQuality(BEE_Layer layer, int16_t quality) try {
  return Wrap(BEE_CmdNumQualityChange, W(layer), quality);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetTransfer(BEE_Layer layer, uint32_t mode, uint32_t flags, uint32_t trackMatte) try {
  BEE_TransferSettings t{mode, flags, trackMatte};
  return Wrap(BEE_CmdNumTransferMode, W(layer), W(&t));
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdReorderLayer(BEE_Layer layer, int32_t index) { return Wrap(BEE_CmdNumLayerReorder, W(layer), index); }

ErrorCode BEE_CmdReplaceSource(BEE_Layer layer, BEE_Item source) try {
  return Wrap(BEE_CmdNumReplaceSource, W(layer), W(source));
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdReplaceItem(BEE_Item item, BEE_Item replacement) try {
  return Wrap(BEE_CmdNumReplaceItem, W(item), W(replacement));
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdDuplicateComp(BEE_Item comp, BEE_Item* copy) try {
  return WrapMake(BEE_CmdNumDuplicateComp, W(comp), 0, copy);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetSolidSettings(BEE_Item solid, const BEE_SolidSettings* settings) try {
  return Wrap(BEE_CmdNumSolidSettings, W(solid), W(settings));
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdRenameItem(BEE_Item item, const char* name) { return Wrap(BEE_CmdNumNameChange, W(item), W(name)); }
ErrorCode BEE_CmdRenameLayer(BEE_Layer layer, const char* name) { return Wrap(BEE_CmdNumLayerName, W(layer), W(name)); }

ErrorCode BEE_CmdSeekItemToTime(BEE_Item item, Time time) try {
  return Wrap(BEE_CmdNumTimeChange, W(item), BEE_PackTime(time));
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetItemLabel(BEE_Item item, int8_t label) { return Wrap(BEE_CmdNumItemLabel, W(item), label); }
ErrorCode BEE_CmdSetLayerLabel(BEE_Layer layer, int8_t label) { return Wrap(BEE_CmdNumLayerLabel, W(layer), label); }

ErrorCode BEE_CmdSetItemComment(BEE_Item item, const char* comment) try {
  return Wrap(BEE_CmdNumItemComment, W(item), W(comment));
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetLayerComment(BEE_Layer layer, const char* comment) try {
  return Wrap(BEE_CmdNumLayerComment, W(layer), W(comment));
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetItemOrigin(BEE_Item item, const BEE_RulerOrigin* origin) try {
  return Wrap(BEE_CmdNumRulerOrigin, W(item), W(origin));
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetLayerOrigin(BEE_Layer layer, const BEE_RulerOrigin* origin) try {
  return Wrap(BEE_CmdNumRulerOrigin, W(layer), W(origin));
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdAddGuide(BEE_Item item, BEE_Guide guide) try {
  BEE_GuideChange c{-1, guide};
  return Wrap(BEE_CmdNumNewGuide, W(item), W(&c));
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdRemoveGuide(BEE_Item item, int32_t index) { return Wrap(BEE_CmdNumRemoveGuide, W(item), index); }

ErrorCode BEE_CmdMoveGuide(BEE_Item item, int32_t index, BEE_Guide guide) try {
  BEE_GuideChange c{index, guide};
  return Wrap(BEE_CmdNumGuideMove, W(item), W(&c));
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetStreamKeys(BEE_Layer layer, int32_t index, TDB_Stream stream) try {
  BEE_StreamRef ref{layer, index};
  return Wrap(BEE_CmdNumKeyframeChange, W(&ref), W(stream));
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSynchronizeRelatedItems(BEE_Item comp) try {
  if (ErrorCode err = CheckKind(comp, BEE_KindComp, kTextNotComp)) return err;
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
        intptr_t p[2] = {W(s), BEE_PackTime(st)};
        err = BEE_DoCommand(BEE_CmdNumTimeChange, p);
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
  if (ErrorCode err = BEE_StartGroup(Str(kTextConsolidation), 0)) return err;
  ErrorCode err = 0;
  int32_t count = 0;
  for (size_t i = 0; i < footage.size() && !err; ++i) {
    if (!footage[i]) continue;
    for (size_t j = i + 1; j < footage.size() && !err; ++j) {
      if (!footage[j] ||
          std::memcmp(*R(footage[i]).footage, *R(footage[j]).footage, sizeof(BEE_FootageDesc)) != 0)
        continue;
      intptr_t p[2] = {W(footage[j]), W(footage[i])};
      err = BEE_DoCommand(BEE_CmdNumReplaceItem, p);
      if (!err) {
        intptr_t q[2] = {W(footage[j]), 0};
        err = BEE_DoCommand(BEE_CmdNumRemoveItem, q);
      }
      if (!err) ++count;
      footage[j] = nullptr;
    }
  }
  BEE_EndGroup();
  if (removed) *removed = count;
  return err;
} TV_CATCH(BEE_PackageNumber)
