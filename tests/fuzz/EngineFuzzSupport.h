// Shared by the footage and project fuzz targets: the packages they need,
// born once for the whole run, and the text of a handle the engine hands back.
#pragma once

#include <string>

#include "BEE.h"
#include "BM.h"
#include "FLT.h"
#include "FuzzSupport.h"
#include "MC.h"
#include "OM.h"
#include "PIN.h"
#include "VAL.h"
#include "drivers/rla/D_RLA.h"  // the auxiliary channel description

namespace tv::fuzz {

// Births U quietly and then the packages footage is read with, once.
inline void FootageEngine() {
  static bool born = [] {
    QuietEngine();
    BM_Birth(0);
    PIN_Birth();
    return true;
  }();
  (void)born;
}

// Describes and draws every auxiliary channel of the footage (and the
// indexes just outside them), freeing what is drawn.
inline void DrawAuxChannels(PIN_SeqSpecH seq) {
  int32_t count = 0;
  PIN_GetNumAuxChannels(seq, &count);
  PIN_DrawParams p{};
  p.time = Time{0, 1};
  for (int32_t i = -1; i <= count; ++i) {
    D_AuxChannelDesc d{};
    PIN_GetAuxChannelDesc(seq, i, &d, sizeof d);
    Handle data = nullptr;
    if (PIN_DrawAuxChannel(seq, i, &p, &data) == 0) PIN_FreeAuxChannel(seq, data);
  }
}

// Births U quietly and then every package a project uses, once.
inline void ProjectEngine() {
  static bool born = [] {
    QuietEngine();
    VAL_Birth();
    MC_Birth(0, 0);
    BM_Birth(0);
    FLT_Birth(0, 0, nullptr);
    PIN_Birth();
    OM_Birth();
    BEE_Birth();
    return true;
  }();
  (void)born;
}

// The C text held by `h` (empty when `h` is null), then `h` disposed.
inline std::string TakeText(Handle h) {
  if (!h) return {};
  std::string s(*h);
  DisposeHandle(h);
  return s;
}

}  // namespace tv::fuzz
