// Selections: what the selection, scrap and keyframe-text files share.
#pragma once

#include <cstdint>
#include <vector>

#include "BEE_internal.h"

// A selection: entries ordered by (layer ID, stream index); stream index -1
// stands for the layer itself, a mask is its shape stream's index. An
// entry's sub-items (mask vertices or keyframe indices) are kept sorted.
struct BEE_SelectionRec {
  struct Entry {
    uint32_t layerId;
    int32_t index;
    BEE_Layer layer;
    std::vector<int32_t> sub;
  };
  std::vector<Entry> entries;
};

namespace tv::bee {

constexpr int32_t kLayerEntry = -1;
// Report sites of selections and scraps.
constexpr uint32_t kSiteVertex = 0xC7;
constexpr uint32_t kSiteSelType = 0xCD;
constexpr uint32_t kSiteCopyKeys = 0x72;
constexpr uint32_t kSitePaste = 0x0D;
constexpr uint32_t kSiteScrap = 0xCE;
constexpr uint32_t kSiteKeyText = 0xCF;

// Whether the layer still stands in a composition (entries of other layers
// are skipped).
bool LayerInComp(BEE_Layer layer);
// As above, and still the layer the entry was made for (a freed layer's
// handle may come back for another layer).
bool LayerInComp(BEE_Layer layer, uint32_t id);
// The composition's selection, made empty on first use.
ErrorCode CompSelection(BEE_Item comp, BEE_SelectionRec** selection);

}  // namespace tv::bee
