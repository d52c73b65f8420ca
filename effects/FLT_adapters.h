// The adapters that run the foreign filter kinds as effect classes: their
// records (attached to the class at registration) and their entry points
// (the class's entry once its code is loaded).
#pragma once

#include "FLT_Filters.h"
#include "FLT_internal.h"
#include "PLUG.h"

namespace tv::flt {

constexpr uint32_t kImageAdapterMagic = 0x2BAF1EA;
constexpr uint32_t kVideoAdapterMagic = 0xAE00900D;
constexpr uint32_t kVideoFilterOutFlags = 0x80000020;

// The image filter's adapter record.
struct ImageAdapter {
  uint32_t magic;
  uint16_t modes;          // 'mode'
  uint16_t known;          // 1: one of the filters known by match name
  uint8_t caseInfo[28];    // 'fici'
  uint32_t filterFlags;    // 'aFLT' flags word
  uint32_t paramCount;     // the 'aPAR' parameters (the three fixed ones come after)
  FF_ImageEntry entry;     // set when the class's code is loaded
  uint32_t reserved;
};
// The sound filter's adapter record.
struct VideoAdapter {
  uint32_t magic;
  uint32_t outFlags;
  FF_SoundEntry entry;     // set when the class's code is loaded
  uint32_t reserved[2];
};

// One parameter description of 'aPAR'.
struct ImageParam {
  char name[16];
  int16_t minimum, maximum, value;
};
// Reads 'aPAR' (count clamped to 4, names cut to 15 bytes); 0 parameters when absent.
int32_t ReadImageParams(PLUG_PiPL pipl, ImageParam out[FF_MaxParams]);

PF_Result ImageAdapterEntry(int32_t cmd, PF_InputRecord* in, PF_OutputRecord* out, PF_ParamDef* params[],
                            PFWorld* output, void* extra);
PF_Result VideoAdapterEntry(int32_t cmd, PF_InputRecord* in, PF_OutputRecord* out, PF_ParamDef* params[],
                            PFWorld* output, void* extra);

// The class being called (from the effect reference of the call) and its
// adapter record; false when either is not there.
template <class Record>
bool AdapterOf(const PF_InputRecord* in, uint32_t magic, ClassRec& c, Record& record) {
  if (!in || !in->effectRef || !ActiveRef(in->effectRef)) return false;
  const auto* ref = static_cast<const EffectRef*>(in->effectRef);
  if (GetClass(ref->classIndex, c) || !c.adapter || !*c.adapter ||
      GetHandleSize(c.adapter) != static_cast<Size>(sizeof(Record)))
    return false;
  std::memcpy(&record, *c.adapter, sizeof record);
  return record.magic == magic && record.entry;
}

// The filter's own data word kept in the class's global data handle.
inline void* FilterData(const PF_InputRecord* in) {
  return in->globalData && *in->globalData ? *reinterpret_cast<void**>(*in->globalData) : nullptr;
}
// Global setup's answer: a handle holding the filter's data word.
ErrorCode KeepFilterData(PF_OutputRecord* out, void* data);

// Global setup, the same for both filter kinds: the filter's setup call, its
// data word kept in the class's global data (the filter torn down again when
// that fails), and the class's flags and version in the answer.
template <class Record>
PF_Result FilterGlobalSetup(int32_t (*entry)(int32_t, Record*), PF_OutputRecord* out, uint32_t outFlags,
                            uint32_t version) {
  Record r{};
  if (PF_Result err = entry(FF_Sel_Setup, &r)) return err;
  if (ErrorCode err = KeepFilterData(out, r.data)) {
    entry(FF_Sel_Teardown, &r);
    return err;
  }
  out->outFlags = outFlags;
  out->version = version;
  return 0;
}
// Global setdown: the filter's teardown with its data word, then the handle
// that kept it is released.
template <class Record>
PF_Result FilterGlobalSetdown(int32_t (*entry)(int32_t, Record*), PF_InputRecord* in, PF_OutputRecord* out) {
  Record r{};
  r.data = FilterData(in);
  const PF_Result err = entry(FF_Sel_Teardown, &r);
  if (in->globalData) DisposeHandle(in->globalData);
  out->globalData = nullptr;
  return err;
}

}  // namespace tv::flt
