// Stream values in user units: what the readers and the keyframe commands
// share (BEE_units.cpp, BEE_keys.cpp).
#pragma once

#include "BEE_internal.h"
#include "FLT.h"

namespace tv::bee {

enum class Conversion { None, Percent, Source };
enum class UnitKind { Numeric, Shape, Marker, Effect };

// A resolved stream reference: the stream, how its values convert and their limits.
struct Unit {
  int32_t index = 0;
  UnitKind kind = UnitKind::Numeric;
  Conversion conversion = Conversion::None;
  uint32_t flags = 0;
  double minimum = 0, maximum = 0;
  TDB_Stream stream = nullptr;   // null only for an effect's standard control
  int16_t dimension = 0;         // numeric values per time (0 for shapes and markers)
  bool spatial = false;
  // Effect parameters.
  FLT_Sequence seq = nullptr;
  int32_t param = 0;
  uint32_t uiFlags = 0;
  uint32_t paramType = 0;
};

// Resolves a stream index of a layer (the failures of BEE_StreamLookup;
// 10 for a standard stream the layer does not have).
ErrorCode ResolveUnit(BEE_Layer layer, int32_t index, Unit* u);
// The layer time of a request (composition time, else layer time, else now).
ErrorCode ResolveLayerTime(BEE_Layer layer, const Time* compTime, const Time* layerTime, Time* t);
// Internal <-> user units in place (u.dimension values).
void ConvertValues(BEE_Layer layer, const Unit& u, bool toUser, double* v);
// Clamps and rounds user values in place.
ErrorCode ValidateValues(const Unit& u, double* v, bool* changed);
int32_t TemporalDimension(const Unit& u);
void ConvertVelocity(BEE_Layer layer, const Unit& u, bool toUser, double* v);

}  // namespace tv::bee
