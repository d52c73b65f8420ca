// The project a sub-command works on: opened from a project file or built
// from a description, its compositions, and frames rendered from them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "BEE.h"
#include "image_file.h"

namespace tavelo {

// A path ending in ".json" is a description, anything else a project file.
// Throws Failure naming a missing file or what is wrong with it.
void LoadProject(const std::string& path);
// Saves the open project to path (replacing the file atomically).
void SaveProject(const std::string& path);

std::string ItemName(BEE_Item item);
std::vector<BEE_Item> Comps();
// The composition named name, or the only one when name is "" (--comp left
// out); a usage Failure listing the compositions otherwise.
BEE_Item FindComp(const std::string& name);

// The footage a composition draws on (through its nested compositions and
// the proxies in use) that is missing: one line each, its name and where it
// was ("\"plate.png\" (/mnt/media/plate.png)").
std::vector<std::string> MissingFootage(BEE_Item comp);
// A Failure naming the missing footage of the composition, when it has any,
// followed by why: for renders whose frames must not show placeholders.
void RefuseMissingFootage(BEE_Item comp, const std::string& why);

// The composition's frame grid.
struct FrameGrid {
  Time frame;       // one frame's duration
  int64_t count;    // frames in the composition's duration
};
FrameGrid GridOf(BEE_Item comp);
// The request for one frame of a composition, with all its layers.
BEE_RenderRequest FrameRequest(BEE_Item comp, int64_t frame);
// "2.5" (seconds) or "75f" (a frame): the frame at or before that time.
int64_t ParseFrameTime(const std::string& text, BEE_Item comp);
// full, half, third or quarter: the composition's resolution (1, 2, 3, 4).
void SetResolution(BEE_Item comp, const std::string& resolution);

// Renders one frame of the composition at its resolution (exit 130 when
// interrupted, Failure with the engine's text otherwise); writes it to
// writeTo through the output module of its extension when given. Without
// writeTo the frame is not kept in the frame cache, and it is made of two
// fields when the description asks for them, as `render` writes frames.
Image RenderFrame(BEE_Item comp, int64_t frame, const std::string& writeTo = {});
// Renders one frame and writes it to path through the output module of its
// extension, without keeping it in the frame cache.
void WriteFrame(BEE_Item comp, int64_t frame, const std::string& path);
// The height of a composition's frames scaled to width, as they are seen
// (its pixel aspect applied).
int ThumbnailHeight(BEE_Item comp, int width);
// A frame scaled to width pixels across (keeping the composition's shape as
// it is seen) over the composition's background colour, as a contact sheet
// shows it.
Image Thumbnail(BEE_Item comp, int64_t frame, int width);

}  // namespace tavelo
