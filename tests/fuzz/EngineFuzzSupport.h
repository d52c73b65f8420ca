// Shared by the footage and project fuzz targets: the packages they need,
// born once for the whole run, footage opened and drawn, and the text of a
// handle the engine hands back.
#pragma once

#include <initializer_list>
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

// Draws the footage at `time` and `scale` into a new 32-bit world of the
// size it asks for.
inline void DrawFrameAt(PIN_SeqSpecH seq, Time time, Ratio scale) {
  PIN_DrawParams p{};
  p.time = time;
  p.scaleX = p.scaleY = scale;
  const Ratio both[2] = {scale, scale};
  int32_t w = 0, h = 0;
  if (PIN_GetDimensions(seq, both, &w, &h, nullptr) != 0 || w < 1 || h < 1) return;
  const Rect bounds{0, 0, static_cast<int16_t>(h), static_cast<int16_t>(w)};
  BM_World world = nullptr;
  if (BM_NewWorld(nullptr, 0, &bounds, 32, 0, nullptr, &world) != 0) return;
  PIN_DrawFrame(seq, world, &p);
  BM_DisposeWorld(world);
}

// Opens the footage file at `path` through the module framework; unless its
// frames have more than a million pixels (kept to opening, so runs stay
// fast), draws it at `times` at full size, at time 0 at half size, and
// every auxiliary channel.
inline void ReadFootage(const std::string& path, std::initializer_list<Time> times) {
  FILE_SpecH ref = nullptr;
  if (FILE_New(path.c_str(), FILE_LocFullPath, &ref) != 0) return;
  PIN_SeqSpecH seq = nullptr;
  if (PIN_NewSeqSpecFromFile(ref, &seq) == 0) {
    int32_t w = 0, h = 0;
    PIN_GetDimensions(seq, nullptr, &w, &h, nullptr);
    if (int64_t{w} * h <= 1000000) {
      for (Time t : times) DrawFrameAt(seq, t, Ratio{1, 1});
      DrawFrameAt(seq, Time{0, 1}, Ratio{1, 2});
      DrawAuxChannels(seq);
    }
    PIN_DisposeSeqSpec(seq);
  }
  FILE_Dispose(ref);
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
