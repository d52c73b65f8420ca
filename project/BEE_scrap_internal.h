// Scraps: what the scrap, paste and keyframe-text files share.
#pragma once

#include <string>
#include <vector>

#include "BEE_select_internal.h"
#include "BEE_units.h"

namespace tv::bee {

// One copied stream of a keyframe scrap. Values are kept in internal units
// of the layer they came from; the scrap's source size and aspects turn them
// into user units.
struct ScrapStream {
  int32_t index = 0;          // stream index as copied (effects: 512 + 128 x group + parameter - 1)
  TDB_Stream stream = nullptr;  // owned
  Conversion conversion = Conversion::None;
  int16_t dimension = 0;      // 0 for custom data (mask shapes)
  bool spatial = false;
  bool custom = false;
  int16_t customKind = 0;
  std::string name;           // stream name, or the effect parameter's name
  std::string effect;         // the effect's display name ("" for other streams)
  std::string matchName;      // the effect's match name
  int32_t param = 0;          // the effect parameter's number
  std::vector<std::string> labels;  // column labels, one per dimension
};

}  // namespace tv::bee

struct BEE_ScrapRec {
  uint16_t kind = BEE_ScrapEmpty;
  std::vector<BEE_Layer> layers;  // owned, outside every composition
  // Where each layer was copied from: its ID, its composition and the
  // project then (what the layer parameters of its effects name).
  struct Origin {
    uint32_t id;
    BEE_Item comp;
    uint64_t generation;
  };
  std::vector<Origin> origins;
  std::vector<tv::bee::ScrapStream> streams;
  double fps = 0;
  int32_t sourceWidth = 0, sourceHeight = 0;
  double sourceAspect = 1, compAspect = 1;
  ~BEE_ScrapRec();
  BEE_ScrapRec() = default;
  BEE_ScrapRec(const BEE_ScrapRec&) = delete;
  BEE_ScrapRec& operator=(const BEE_ScrapRec&) = delete;
};

namespace tv::bee {

// Describes stream index of layer into s (without the stream itself).
ErrorCode DescribeScrapStream(BEE_Layer layer, int32_t index, ScrapStream* s);
// User units of a scrap stream's values (in place) and back.
void ScrapToUser(const BEE_ScrapRec& scrap, const ScrapStream& s, double* v);
void ScrapFromUser(const BEE_ScrapRec& scrap, const ScrapStream& s, double* v);
// Column labels of a standard or mask stream index.
std::vector<std::string> StandardLabels(int32_t index);
// The stream index and description of a standard or mask stream named name
// (masks: index of mask 0), or -1.
int32_t StandardStreamByName(std::string_view name);

}  // namespace tv::bee
