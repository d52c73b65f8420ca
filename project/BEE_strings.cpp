// The project engine's string table: command and group names (their indices
// are the string numbers of the command table), messages, kind names and the
// names of the standard streams.
#include "BEE_internal.h"

STR_Table BEEp_G_STRs = {};

namespace tv::bee {

extern const char* const kCompiledStrings[];
const char* const kCompiledStrings[] = {
    "",
    // Command and group names.
    "Remove Item", "Keyframe Change", "New Composition", "New Layer", "Import", "Composition Settings",
    "Apply Effect", "Delete Effect", "Effect Toggle", "Effect Reordering", "Clear Layer", "Change Value",
    "Remove Keyframe", "Interpolation Change", "Layer Time Change", "Time Change", "Name Change",
    "Resolution Change", "Layer Reordering", "Background Color Change", "Layer Stretch", "Quality Change",
    "Transfer Mode", "Mask Invert", "Toggle Switch", "Composition Switch", "Solid Settings", "Duplicate Layer",
    "Duplicate Composition", "Replace Source", "Replace Item", "Interpret Footage", "Interpret Proxy",
    "Compound Control Change", "Layer Looping", "Ease Adjustment", "Tangent Adjustment", "Time Marker Change",
    "Layer Name", "Keyframe Flag", "Set Proxy", "Proxy Toggle", "Replace Footage", "New Folder",
    "Change Folder", "Move Item", "Remember Interpretation", "Mask Name", "Mask Mode", "Add Mask",
    "Delete Mask", "Mask Reordering", "New Guide", "Remove Guide", "Guide Move", "Label Change",
    "Comment Change", "Effect Name Change", "Ruler Origin", "Mask Lock", "Copy", "Paste Layer",
    "Paste Layers", "Paste Keyframes", "Move Keyframes", "Consolidation", "Pre-compose", "Making Movie",
    // Messages.
    "damaged item.", "damaged layer.", "strange situation [%s/%ld].",
    "can't apply more than 31 effects to one layer!", "can't apply more than 127 masks to one layer.",
    "item can't be installed as a source to this layer.", "Original Source Deleted", "Was Circular Reference",
    "a layer being pasted has a source that references this composition.  Since circular references are not "
    "permitted, a red solid will be substituted.",
    "<Missing>", "a folder cannot be moved inside itself.", "problem setting ruler origin.", "command #%ld",
    "can't undo last action.", "can't redo last action.", "BEEp_DoSetStreamKeyValue obsolete",
    "BEEp_DoClearStreamKey obsolete", "Mask ^L1",
    // Kind names.
    "Folder", "Defunct Type", "Composition", "Rendering Movie", "Solid", "Footage",
    // Streams, units, dimensions.
    "Mask Shape", "Mask Feather", "Anchor Point", "Position", "Scale", "Rotation", "Opacity", "Audio Levels",
    "Marker", "Time Remap", "Mask Opacity", "pixels", "percent", "degrees", "dB", "seconds", "X", "Y", "Left",
    "Right",
    // Our own messages.
    "%s is not available in this engine yet (command #%ld).", "no project is open.",
    "a composition cannot contain itself, directly or through nested compositions.",
    "a frame rate must be above 0 (%ld).", "a resolution factor must be at least 1 (%ld, %ld).",
    "a layer stretch must have a non-zero numerator and denominator (%ld/%lu).",
    "a switch change must name exactly one switch (%lX).", "the item is not a folder.",
    "the item is not a composition.", "the item is not a solid.",
    "the item is used by a layer or holds other items and cannot be removed.", "index out of range (%ld).",
    "invalid stream index (%ld).", "the layer has no such stream yet (%ld).",
    "invalid engine preferences.", "invalid dimensions (%ld x %ld).", "project item",
    "the root folder cannot be changed this way.", "invalid layer quality (%ld).",
    "invalid track matte mode (%ld).", "invalid layer times.",
    STR_END,
};

static_assert(sizeof(kCompiledStrings) / sizeof(kCompiledStrings[0]) == kTextCount + 1,
              "every text index has its text");

const char* Str(int32_t index) {
  if (BEEp_G_STRs.texts) return STRp_Lookup(&BEEp_G_STRs, index);
  if (index < 0 || index >= kTextCount) return "[?]";
  return kCompiledStrings[index];
}

}  // namespace tv::bee
