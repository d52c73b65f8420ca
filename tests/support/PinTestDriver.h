// A synthetic footage format for the tests of the module framework: ".tsf"
// files of one frame each (a numbered still sequence), holding "TSF1", the
// frame's width, height and seed (u32 each, big-endian); the frame's pixels
// follow from the seed. The driver fills the slots a still driver has and
// installs the framework's still-image behaviour for the rest.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "PIN_internal.h"

namespace tv::test::pin {

inline constexpr FourCC kTsfSig = MakeFourCC("TSFD");
inline constexpr FourCC kTsfType = MakeFourCC("TSFf");

// The driver's birth, and one of a module that fills no slot ("Empty").
ErrorCode TsfBirth(PIN_ModuleInfo* info, PIN_ModuleProcs* procs);
ErrorCode EmptyBirth(PIN_ModuleInfo* info, PIN_ModuleProcs* procs);

// Writes a .tsf file.
void WriteTsf(const std::string& path, uint32_t width, uint32_t height, uint32_t seed);
// The ARGB pixel of a frame.
uint32_t TsfPixel(uint32_t seed, int32_t x, int32_t y);

// A module that only writes ("Test Output", "TOUT", at most 100 x 100):
// it keeps a log of the calls its slots get ("start", "frame 3", "sound",
// "end", "flush", "info 24", "file <name>", "data 1=7") and answers
// 9992 from GetSizes.
inline constexpr FourCC kOutSig = MakeFourCC("TOUT");
ErrorCode OutBirth(PIN_ModuleInfo* info, PIN_ModuleProcs* procs);
std::vector<std::string>& OutLog();

// How many frames the driver decoded (a frame drawn twice is decoded once).
int32_t TsfDecodes();

}  // namespace tv::test::pin
