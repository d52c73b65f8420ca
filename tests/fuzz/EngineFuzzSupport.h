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
