// The project engine's package frame: its checked text table (command and
// group names, whose indices are the string numbers of the command table,
// messages, kind names and the names of the standard streams), reporter,
// version operations, birth and death, and the report helpers.
#include "BEE_internal.h"
#include "BEE_render_internal.h"

STR_Table BEEp_G_STRs = {};

namespace tv::bee {
namespace {

constexpr pkg::Text kTexts[] = {
    {kTextNone, ""},
    {kTextRemoveItem, "Remove Item"},
    {kTextKeyframeChange, "Keyframe Change"},
    {kTextNewComposition, "New Composition"},
    {kTextNewLayer, "New Layer"},
    {kTextImport, "Import"},
    {kTextCompSettings, "Composition Settings"},
    {kTextApplyEffect, "Apply Effect"},
    {kTextDeleteEffect, "Delete Effect"},
    {kTextEffectToggle, "Effect Toggle"},
    {kTextEffectReordering, "Effect Reordering"},
    {kTextClearLayer, "Clear Layer"},
    {kTextChangeValue, "Change Value"},
    {kTextRemoveKeyframe, "Remove Keyframe"},
    {kTextInterpolationChange, "Interpolation Change"},
    {kTextLayerTimeChange, "Layer Time Change"},
    {kTextTimeChange, "Time Change"},
    {kTextNameChange, "Name Change"},
    {kTextResolutionChange, "Resolution Change"},
    {kTextLayerReordering, "Layer Reordering"},
    {kTextBackgroundColor, "Background Color Change"},
    {kTextLayerStretch, "Layer Stretch"},
    {kTextQualityChange, "Quality Change"},
    {kTextTransferMode, "Transfer Mode"},
    {kTextMaskInvert, "Mask Invert"},
    {kTextToggleSwitch, "Toggle Switch"},
    {kTextCompSwitch, "Composition Switch"},
    {kTextSolidSettings, "Solid Settings"},
    {kTextDuplicateLayer, "Duplicate Layer"},
    {kTextDuplicateComp, "Duplicate Composition"},
    {kTextReplaceSource, "Replace Source"},
    {kTextReplaceItem, "Replace Item"},
    {kTextInterpretFootage, "Interpret Footage"},
    {kTextInterpretProxy, "Interpret Proxy"},
    {kTextCompoundControl, "Compound Control Change"},
    {kTextLayerLooping, "Layer Looping"},
    {kTextEaseAdjustment, "Ease Adjustment"},
    {kTextTangentAdjustment, "Tangent Adjustment"},
    {kTextTimeMarker, "Time Marker Change"},
    {kTextLayerName, "Layer Name"},
    {kTextKeyframeFlag, "Keyframe Flag"},
    {kTextSetProxy, "Set Proxy"},
    {kTextProxyToggle, "Proxy Toggle"},
    {kTextReplaceFootage, "Replace Footage"},
    {kTextNewFolder, "New Folder"},
    {kTextChangeFolder, "Change Folder"},
    {kTextMoveItem, "Move Item"},
    {kTextRememberInterp, "Remember Interpretation"},
    {kTextMaskName, "Mask Name"},
    {kTextMaskMode, "Mask Mode"},
    {kTextAddMask, "Add Mask"},
    {kTextDeleteMask, "Delete Mask"},
    {kTextMaskReordering, "Mask Reordering"},
    {kTextNewGuide, "New Guide"},
    {kTextRemoveGuide, "Remove Guide"},
    {kTextGuideMove, "Guide Move"},
    {kTextLabelChange, "Label Change"},
    {kTextCommentChange, "Comment Change"},
    {kTextEffectNameChange, "Effect Name Change"},
    {kTextRulerOrigin, "Ruler Origin"},
    {kTextMaskLock, "Mask Lock"},
    {kTextCopy, "Copy"},
    {kTextPasteLayer, "Paste Layer"},
    {kTextPasteLayers, "Paste Layers"},
    {kTextPasteKeyframes, "Paste Keyframes"},
    {kTextMoveKeyframes, "Move Keyframes"},
    {kTextConsolidation, "Consolidation"},
    {kTextPrecompose, "Pre-compose"},
    {kTextMakingMovie, "Making Movie"},
    {kTextMaskTransform, "Mask Transform"},
    {kTextPrecomposeNothing, "no layer is selected to pre-compose."},
    {kTextPrecomposeOne, "leaving the attributes in the composition pre-composes one layer (%ld are selected)."},
    {kTextPrecomposeSource, "the source of layer \"%s\" cannot be pre-composed on its own."},
    {kTextDamagedItem, "damaged item."},
    {kTextDamagedLayer, "damaged layer."},
    {kTextStrange, "strange situation [%s/%ld]."},
    {kTextTooManyEffects, "can't apply more than 31 effects to one layer!"},
    {kTextTooManyMasks, "can't apply more than 127 masks to one layer."},
    {kTextBadSource, "item can't be installed as a source to this layer."},
    {kTextSourceDeleted, "Original Source Deleted"},
    {kTextCircularSolid, "Was Circular Reference"},
    {kTextCircularPaste,
     "a layer being pasted has a source that references this composition.  Since circular references are "
     "not permitted, a red solid will be substituted."},
    {kTextMissing, "<Missing>"},
    {kTextFolderInside, "a folder cannot be moved inside itself."},
    {kTextOriginProblem, "problem setting ruler origin."},
    {kTextCommandNumber, "command #%ld"},
    {kTextCantUndo, "can't undo last action."},
    {kTextCantRedo, "can't redo last action."},
    {kTextObsoleteSetValue, "BEEp_DoSetStreamKeyValue obsolete"},
    {kTextObsoleteClearKey, "BEEp_DoClearStreamKey obsolete"},
    {kTextMaskName1, "Mask ^L1"},
    {kTextFolder, "Folder"},
    {kTextDefunct, "Defunct Type"},
    {kTextComposition, "Composition"},
    {kTextRenderingMovie, "Rendering Movie"},
    {kTextSolid, "Solid"},
    {kTextFootage, "Footage"},
    {kTextStreamMaskShape, "Mask Shape"},
    {kTextStreamMaskFeather, "Mask Feather"},
    {kTextStreamAnchor, "Anchor Point"},
    {kTextStreamPosition, "Position"},
    {kTextStreamScale, "Scale"},
    {kTextStreamRotation, "Rotation"},
    {kTextStreamOpacity, "Opacity"},
    {kTextStreamAudio, "Audio Levels"},
    {kTextStreamMarker, "Marker"},
    {kTextStreamTimeRemap, "Time Remap"},
    {kTextMaskOpacity, "Mask Opacity"},
    {kTextUnitPixels, "pixels"},
    {kTextUnitPercent, "percent"},
    {kTextUnitDegrees, "degrees"},
    {kTextUnitDB, "dB"},
    {kTextUnitSeconds, "seconds"},
    {kTextDimX, "X"},
    {kTextDimY, "Y"},
    {kTextDimLeft, "Left"},
    {kTextDimRight, "Right"},
    {kTextUnimplemented, "%s is not available in this engine yet (command #%ld)."},
    {kTextNoProject, "no project is open."},
    {kTextSelfContaining, "a composition cannot contain itself, directly or through nested compositions."},
    {kTextBadFrameRate, "a frame rate must be above 0 (%ld)."},
    {kTextBadResolution, "a resolution factor must be at least 1 (%ld, %ld)."},
    {kTextBadStretch, "a layer stretch must lie between 1/65536 and 65536 times, forwards or backwards (%ld/%lu)."},
    {kTextBadSwitch, "a switch change must name exactly one switch (%lX)."},
    {kTextNotFolder, "the item is not a folder."},
    {kTextNotComp, "the item is not a composition."},
    {kTextNotSolid, "the item is not a solid."},
    {kTextItemInUse, "the item is used by a layer or holds other items and cannot be removed."},
    {kTextBadIndex, "index out of range (%ld)."},
    {kTextBadStream, "invalid stream index (%ld)."},
    {kTextNoStream, "the layer has no such stream yet (%ld)."},
    {kTextBadPrefs, "invalid engine preferences."},
    {kTextBadDimensions, "invalid dimensions (%ld x %ld)."},
    {kTextOutOfMemoryWhat, "project item"},
    {kTextRootItem, "the root folder cannot be changed this way."},
    {kTextBadQuality, "invalid layer quality (%ld)."},
    {kTextBadMatte, "invalid track matte mode (%ld)."},
    {kTextBadTimes, "invalid layer times."},
    {kTextBadArgument, "bad argument to %s."},
    {kTextBadTransferMode, "invalid transfer mode (%ld)."},
    {kTextBadFrameDuration, "a frame duration must be the one its frame rate gives (%ld/%lu)."},
    {kTextBadCompTimes, "invalid composition times."},
    {kTextBadKeys, "invalid keyframes for stream %ld: a value is missing, not a number, out of its range or a relative shape."},
    {kTextTooDeep,
     "compositions can be nested at most %ld levels deep: putting \"%s\" into \"%s\" would nest them deeper."},
    {kTextCacheUnbalanced, "memory inefficiency due to %ld unbalanced frame checkouts"},
    {kTextChangedValueStdControl,
     "PF_ChangeFlag_CHANGED_VALUE not allowed for PF_PUI_STD_CONTROL_ONLY params, use PF_UpdateParamUI() instead."},
    {kTextChangedUI, "use PFParamUtilsSuite instead of PF_ChangeFlag_CHANGED_UI"},
    {kTextSetToVary, "PF_ChangeFlag_SET_TO_VARY not yet implemented."},
    {kTextSetToConstant, "PF_ChangeFlag_SET_TO_CONSTANT not yet implemented."},
    {kTextNotProjectFile, "not a valid Project file."},
    {kTextNewerVersion, "this file was created with a newer version of Tavelo -- time to upgrade your application!"},
    {kTextOlderVersion,
     "this file was created with an older version of Tavelo, and can't be opened.  Sorry.{{*MSWindows*}}this file "
     "was created with an older version of Tavelo, and can't be opened. You can convert this file using the MacOS "
     "version of Tavelo."},
    {kTextStrangeData, "strange data in project file. (%s in %s at offset %ld)"},
    {kTextFileLocked, "File \"%s\" is locked. Please save file under different name."},
    {kTextImportingOld, "importing project created with an earlier version.  You should experience no discomfort."},
    {kTextOpeningOld,
     "this project must be converted from an earlier version and will open as \"Untitled\".  The original file "
     "will be unchanged."},
    {kTextRemoved1, "^L1 effect reference has been removed because an effect used by this project is missing. (^2)"},
    {kTextRemovedN,
     "^L1 effect references have been removed because some effects used by this project are missing. (^2)"},
    {kTextRemovedEtc,
     "^L1 effect references have been removed because some effects used by this project are missing. (^2, etc.)"},
    {kTextMissingEff1, "^L1 effect reference is missing. (^2)"},
    {kTextMissingEffN, "^L1 effect references are missing. (^2)"},
    {kTextMissingEffEtc, "^L1 effect references are missing. (^2, etc.)"},
    {kTextFileMissing1, "^L1 file is missing since you last saved this project."},
    {kTextFilesMissingN, "^L1 files are missing since you last saved this project."},
    {kTextFilesChanged,
     "Note: some files have changed or moved since you last saved this project.  Save to incorporate these "
     "changes."},
    {kTextNoProjectPath, "the project has no file yet; save it under a name first."},
    {kTextVertexTwice, "Mask Vertex Selected Twice."},
    {kTextVertexNotFound, "Selected Mask Vertex Not Found."},
    {kTextCountVertexes, "Implement Count Vertexes over layers."},
    {kTextGetIndVertexes, "Implement GetIndSel Vertexes over layers."},
    {kTextIterVertexes, "Implement Iterate Vertexes over layers."},
    {kTextIllegalSelType, "Illegal Selection Type."},
    {kTextSelLayerNotFound, "Selected Layer Not Found."},
    {kTextSelLayerInquiry, "invalid inquiry of selected layer %ld."},
    {kTextMultiLayerKeys, "can't copy keyframes from multiple layers."},
    {kTextCoerceCustom, "can't coerce different custom data types."},
    {kTextFromCustom, "can't paste from custom data."},
    {kTextToCustom, "can't paste to custom data."},
    {kTextSpatialToTemporal, "can't paste spatial data to temporal data."},
    {kTextTemporalToSpatial, "can't paste temporal data to spatial data."},
    {kTextPasteDims, "can't paste from ^L1 dimension(s) to ^L2"},
    {kTextKeyTextFormat, "invalid clipboard format -- %s (line %ld, near column %ld)."},
    {kTextNotKeyScrap, "Tavelo must have keyframes selected from one layer in order to export them as text."},
    {kTextScrapKind, "the scrap does not hold what this operation needs (kind %ld)."},
    {kTextFavRemoved1,
     "^L1 effect reference has been removed because an effect used by this favorite is missing. (^2)"},
    {kTextFavRemovedN,
     "^L1 effect references have been removed because some effects used by this favorite are missing. (^2)"},
    {kTextFavRemovedEtc,
     "^L1 effect references have been removed because some effects used by this favorite are missing. (^2, etc.)"},
    {kTextNotFavorite, "not a valid effect favorite file."},
    {kTextBadOutputFrame, "invalid output frame dimensions."},
    {kTextNotAllOutputs, "last frame was written to one or more output modules, but not all!"},
    {kTextEmptyFileKept, "didn't delete empty file \"^1\" because it was larger than expected."},
    {kTextInOrderNote,
     "Note: frames are rendered in order because an output is a movie or takes sound."},
    {kTextMovieBusy, "a movie is being rendered, or an undo group is open."},
    {kTextEffectTextChange, "Effect Text Change"},
    {kTextEffectLayerChange, "Effect Layer Change"},
    {kTextStretchedHearing, "an effect on a stretched layer cannot hear another layer in this engine yet."},
};
TV_TEXT_TABLE(kTexts, kTextCount);

constexpr pkg::Lifecycle gLife(BEE_PackageNumber);

}  // namespace

// BEE installs its table at birth; before that the compiled texts are used.
constinit const pkg::Reporter kReport{.number = BEE_PackageNumber,
                                      .table = &BEEp_G_STRs,
                                      .compiled = pkg::CompiledTexts<kTexts>,
                                      .count = kTextCount,
                                      .badParam = kTextBadArgument};

ErrorCode Strange(uint32_t site, const char* what, int64_t value) {
  return kReport.Fail(site, 1, kTextStrange, {what, value});
}

ErrorCode Unimplemented(const char* what, int32_t command) {
  return kReport.Fail(BEE_SiteUnimplemented, kErrUnimplemented, kTextUnimplemented, {what, command});
}

}  // namespace tv::bee

using namespace tv;
using namespace tv::bee;

TV_PACKAGE_VERSION_OPS(BEE, BEE_PackageNumber)

ErrorCode BEE_Birth(void) try {
  if (ErrorCode err = gLife.Birth(BEE_SiteBirth)) return err;
  if (ErrorCode err = kReport.InstallTable()) {
    gLife.SetAlive(false);
    return err;
  }
  State& g = G();
  g.callback = nullptr;
  g.refcon = 0;
  g.stamp = 0;
  g.sortMode = 0;
  g.guideProps = 0;
  ResetPrefs();
  ErrorCode err = 0;
  try {
    err = CreateStacks();
    if (!err) err = OpenEmptyProject();
    if (!err) err = CacheBirth();
  } catch (...) {
    // A container that could not grow: the package stays unborn.
    DisposeStacks();
    CloseProjectState();
    DisposeLeftovers();
    gLife.SetAlive(false);
    throw;
  }
  if (err) {
    DisposeStacks();
    CloseProjectState();
    DisposeLeftovers();
    gLife.SetAlive(false);
    return err;
  }
  InstallEffectLayerProcs(true);
  g.born = true;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_Death(void) try {
  if (ErrorCode err = gLife.Death(BEE_SiteDeath)) return err;
  InstallEffectLayerProcs(false);
  CacheDeath();
  ResetRenderThreads();
  // Undo records may own items and layers: release them first.
  DisposeStacks();
  ScrapDeath();
  CloseProjectState();
  DisposeLeftovers();
  State& g = G();
  g.liveItems.clear();
  g.liveLayers.clear();
  g.callback = nullptr;
  g.born = false;
  return 0;
} TV_CATCH(BEE_PackageNumber)

