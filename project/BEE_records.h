// The ranges of the project's records. A field that a command checks is
// checked by the same function when a project file is read, so no file opens
// to a value a command would refuse (the ranges, record by record, are
// written down with the reader, in BEE_projfile.h). Each check answers what
// is wrong, without reporting it: a command reports the fault with its own
// message (code 3), the file reader as "strange data in project file.".
#pragma once

#include "BEE_internal.h"
#include "Format.h"

namespace tv::bee {

struct Fault {
  int32_t text = kTextNone;     // the command's message, formatted with a and b
  const char* field = nullptr;  // what the file reader names
  fmt::Arg a = int64_t{0}, b = int64_t{0};
  // Not bad data but a check that could not be made for want of memory
  // (reported where it failed): the code is passed up as it is.
  ErrorCode error = 0;
  explicit operator bool() const { return text != kTextNone || error != 0; }
};
// A command's refusal: code 3 with the fault's message at the site (a
// fault's own error as it is).
ErrorCode Refuse(uint32_t site, const Fault& fault);

// ---- Compositions ("cdta"; commands 11, 15, 26, 28) ----
// The settings a command gives (frame rate, sizes, pixel aspect,
// resolution factors, duration and the second time).
Fault CheckCompSettings(const BEE_CompSettings& s);
// The whole record: the settings, the frame duration the rate gives, and the
// composition's times.
struct CompRecord {
  BEE_CompSettings settings;
  Time frameDuration;
  Time currentTime, workStart, workEnd;
};
Fault CheckCompRecord(const CompRecord& c);
CompRecord CompRecordOf(BEE_Item comp);

// ---- Solids ("crdt"; commands 13, 37) ----
Fault CheckSolidSize(uint32_t width, uint32_t height);

// ---- Footage descriptions ("fdsc"; footage items made by the engine) ----
Fault CheckFootageDesc(const BEE_FootageDesc& d);

// ---- Layers ("ldta"; commands 25, 31, 32, 33) ----
struct LayerRecord {
  int32_t quality;
  BEE_TransferSettings transfer;
  Ratio stretch;
  BEE_LayerTimes times;
};
Fault CheckLayerRecord(const LayerRecord& l);
LayerRecord LayerRecordOf(BEE_Layer layer);

// ---- Masks ("mkdt"; commands 34, 62, 64, 78) ----
struct MaskRecord {
  uint32_t mode, invert, locked;
};
Fault CheckMaskRecord(const MaskRecord& m);

// ---- Keys (every stream of a layer; command 10 and the keyframe commands) ----
// The stream that is to be the layer's stream `index` (standard, mask or
// effect parameter): it holds a value at every time, every key value (and
// every velocity, influence and spatial tangent) is a finite number, effect
// parameter values lie within their parameter's range, and shapes are
// absolute.
Fault CheckStream(BEE_Layer layer, int32_t index, TDB_Stream stream);
// Every stream of the layer.
Fault CheckLayerStreams(BEE_Layer layer);

}  // namespace tv::bee
