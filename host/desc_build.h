// The parts of the description builder that its files share.
#pragma once

#include "BEE.h"
#include "desc_node.h"

namespace tavelo::desc {

// Sets stream `index` of the layer from n: a number or a list of numbers
// (the stream's dimension; one number stands for all when scalarForAll), or
// a list of keyframes {"time", "value", "interpolation", "ease"}.
void SetProperty(BEE_Layer layer, int32_t index, const Node& n, bool scalarForAll);

// Adds the masks and the effects of a layer.
void AddMasks(BEE_Layer layer, const Node& list);
void AddEffects(BEE_Layer layer, const Node& list);

// Makes the text layer a layer description's "text" object describes
// (desc_text.cpp); layer is the layer's object, for its name.
BEE_Layer AddTextLayer(BEE_Item comp, const Node& layer, const Node& text);

}  // namespace tavelo::desc
