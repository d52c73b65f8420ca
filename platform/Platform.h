// Headless stand-ins for the desktop toolbox: message dialogs, debugger output,
// the beep, toolbox start-up, modifier keys, the main screen, clocks and the
// platform pseudo-random numbers. Everything here can be replaced by tests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "Types.h"

namespace tv::platform {

// ---- Dialogs ---------------------------------------------------------------
enum class Icon { None, Information, Warning, Stop };

// The texts are views valid only during the sink's call (showing a dialog
// allocates nothing, so reports can show one while memory is short); a sink
// that keeps a dialog copies them.
struct Dialog {
  std::string_view title;
  std::string_view text;
  Icon icon;
};

using DialogSink = std::function<ErrorCode(const Dialog&)>;

// Shows a task-modal message. Without a sink the dialog is written to
// standard error; its result is the sink's result.
ErrorCode ShowDialog(std::string_view title, std::string_view text, Icon icon);
// Installs a sink (an empty function restores the standard-error default).
void SetDialogSink(DialogSink sink);

// ---- Debugger output and beep ----------------------------------------------
// Written to standard error when the environment variable TAVELO_DEBUG_OUTPUT
// is set (or when enabled by SetDebugOutputEnabled); always counted.
void DebugOutput(std::string_view text);
void SetDebugOutputEnabled(bool on);
uint64_t DebugOutputCount();

void Beep();
uint64_t BeepCount();

// ---- Toolbox start-up -------------------------------------------------------
// Records that graphics, fonts, windows, menus, text editing, dialogs and the
// cursor were initialised (in that order); there is no window system.
void InitToolbox();
int InitToolboxCount();

// ---- Modifier keys ----------------------------------------------------------
void SetModifierKeys(uint32_t mask);
uint32_t ModifierKeys();

// ---- Screen -----------------------------------------------------------------
struct Screen {
  Rect bounds;     // main screen bounds
  int16_t depth;   // pixel depth
  bool color;      // colour graphics present
  bool deep;       // 32-bit graphics present
  int16_t menuBar; // menu bar height
};
// Default: 0,0,1024,768 at depth 32 with colour and 32-bit graphics and a
// menu bar of 20 pixels.
Screen MainScreen();
void SetMainScreen(const Screen& screen);
void ResetMainScreen();

// ---- Clocks -----------------------------------------------------------------
// Monotonic seconds since an arbitrary start; 0 frequency means unavailable.
uint64_t HighResCounter();
uint64_t HighResFrequency();
// Ticks of 1/60 second; tests may install their own source.
uint32_t TickCount();
void SetTickSource(std::function<uint32_t()> source);

// ---- Pseudo-random numbers --------------------------------------------------
// A 15-bit linear congruential generator (0..0x7FFF), seedable for tests.
int32_t Random15();
void SeedRandom(uint32_t seed);

}  // namespace tv::platform

// ---- Movie media layer ------------------------------------------------------
// The engine asks a platform's movie media layer to start before it uses it
// (U_TrapAvailable(0xAAAA)). This platform has none: movies are read and
// written by the engine's own movie driver, and the start answers
// tv::kErrUnsupported.
extern "C" ErrorCode QTI_InitializeQTML(int32_t flags);
