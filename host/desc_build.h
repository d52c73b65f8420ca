// The parts of the description builder that its files share.
#pragma once

#include <functional>
#include <string_view>
#include <vector>

#include "BEE.h"
#include "desc_node.h"

namespace tavelo::desc {

// The text parsed; every fault ends in a Failure naming the file, line and
// column and what is wrong.
Json ParseDescription(const Source& src);

// Checks the engine's answer: a failure names the place and what was done.
void Check(ErrorCode err, const Node& n, const std::string& what);

// The value of a constant property or of one keyframe, set at a
// composition time (null: the constant value).
struct KeyValueSetter {
  virtual ~KeyValueSetter() = default;
  virtual void Set(const Node& value, const Time* compTime) = 0;
};
// A constant value (set once) or a list of keyframes (each key's value, then
// its interpolation, ease, spatial tangents and roving; keys the stream had
// before are removed).
void SetAnimatable(BEE_Layer layer, int32_t index, const Node& n, KeyValueSetter& setter);
// Whether n is a list of keyframes (objects) rather than a constant.
bool IsKeyList(const Node& n);

// The numbers of a value for a stream of `dimension` numbers.
using ValueReader = std::function<std::vector<double>(const Node& value, size_t dimension)>;
// Sets stream `index` of the layer from n, constant or keyframed, its
// values read by read.
void SetProperty(BEE_Layer layer, int32_t index, const Node& n, const ValueReader& read);
// The same with numbers: one, or a list as long as the stream's dimension
// (one number stands for all when scalarForAll).
void SetProperty(BEE_Layer layer, int32_t index, const Node& n, bool scalarForAll);

// A layer parameter a description sets: the name of a layer of the
// effect's composition, chosen once all of its layers are made.
struct LayerChoice {
  BEE_Layer layer;
  int32_t effect, param;
  Node value;
};

// Adds the masks and the effects of a layer; layer parameters' choices go
// to choices.
void AddMasks(BEE_Layer layer, const Node& list);
void AddEffects(BEE_Layer layer, const Node& list, std::vector<LayerChoice>& choices);
// Chooses the layers named (the composition's layers are all made).
void ChooseLayers(BEE_Item comp, const std::vector<LayerChoice>& choices);

// Makes the text layer a layer description's "text" object describes
// (desc_text.cpp); layer is the layer's object, for its name. place, when
// given, sets the layer's times once it exists: keys are composition times,
// so they are placed after the layer's offset and stretch are set.
BEE_Layer AddTextLayer(BEE_Item comp, const Node& layer, const Node& text,
                       const std::function<void(BEE_Layer)>& place = {});
// "#rrggbb" (opaque) or "#aarrggbb" as 0xAARRGGBB; false for anything else.
bool ParseColour(std::string_view text, uint32_t* argb);
// A ratio for a user's factor (pixel aspects, stretch), kept to 1/10000.
Ratio RatioOf(double v);
// Seconds as a time, on a grid of 1/24000 s: it holds the frames of the
// whole rates (24, 25, 30, 48, 50, 60, 120 fps ...) exactly. Of a
// composition whose frames (frame: one frame's duration) the grid does not
// hold (29.97 and 59.94 fps), a time within half a step of a frame is that
// frame's own time, so keys and layer times given at frame times fall on
// their frames rather than a step after some of them.
Time TimeOfSeconds(double seconds, Time frame = Time{0, 1});
// The frame at or before a time in seconds, with frames of that duration;
// a time within half a step of the grid from a frame's is that frame's (as
// TimeOfSeconds takes it).
int64_t FrameAtSeconds(double seconds, Time frame);
// Empty when every frame of the composition has a time the engine can
// hold (a frame's time is a count of its frame duration's units, at most
// 2^31 - 1: about 19.9 hours at 29.97 fps, 9.9 at 59.94); else why not,
// with the longest duration it can have.
std::string FramesBeyondTimes(BEE_Item comp);
// The duration of one frame of the layer's composition (0 when unknown).
Time FrameOfLayer(BEE_Layer layer);
// A pixel aspect (0.01 to 100) as footage and compositions keep it: a
// fraction of terms up to 100 within 2e-5 of it as files' aspects are kept
// (0.9091 is the 10/11 of an NTSC frame's file, so footage of its
// composition's aspect is drawn pixel for pixel), else to 1/10000 in lowest
// terms, from 10 up to 1/1000.
void FootageAspectOf(double v, uint32_t& num, uint32_t& den);
Ratio PixelAspectRatioOf(double v);

}  // namespace tavelo::desc
