// Environment queries and dialog placement on the (virtual) main screen.
#include "Platform.h"
#include "U_internal.h"

using namespace tv;
using u::Guard;
using u::kSiteEnvironment;

void U_Beep(void) {
  if (Guard(kSiteEnvironment)) return;
  platform::Beep();
}

Boolean32 U_ModKeyDown(uint32_t mask) {
  if (Guard(kSiteEnvironment)) return 0;
  return (platform::ModifierKeys() & mask) == mask;
}

int32_t U_ColorDepth(void) {
  if (Guard(kSiteEnvironment)) return 1;
  platform::Screen s = platform::MainScreen();
  return s.color ? s.depth : 1;
}

Boolean32 U_ColorQDAvailable(void) {
  if (Guard(kSiteEnvironment)) return 0;
  return platform::MainScreen().color;
}

Boolean32 U_32QDAvailable(void) {
  if (Guard(kSiteEnvironment)) return 0;
  return platform::MainScreen().color && platform::MainScreen().deep;
}

namespace {
// The movie media layer: started once, on first use.
bool gMediaTried = false;
bool gMediaPresent = false;
}  // namespace

Boolean32 U_TrapAvailable(int32_t trap) {
  if (Guard(kSiteEnvironment)) return 0;
  if (trap != 0xAAAA) return 1;
  // 0xAAAA asks for the movie media layer: started on first use (this
  // platform has none, and its start says so).
  if (!gMediaTried) {
    gMediaTried = true;
    gMediaPresent = QTI_InitializeQTML(0) == 0;
  }
  return gMediaPresent ? 1 : 0;
}

ErrorCode U_GetMainScreenRect(Rect* bounds) {
  if (bounds) *bounds = Rect{};
  if (ErrorCode err = Guard(kSiteEnvironment)) return err;
  if (!bounds) return BadArgument(kSiteEnvironment);
  *bounds = platform::MainScreen().bounds;
  return 0;
}

ErrorCode U_CenterRect(Rect* r, const Rect* bounds) {
  if (ErrorCode err = Guard(kSiteEnvironment)) return err;
  if (!r || !bounds) return BadArgument(kSiteEnvironment);
  int32_t w = r->right - r->left, h = r->bottom - r->top;
  int32_t left = bounds->left + (bounds->right - bounds->left - w) / 2;
  int32_t top = bounds->top + (bounds->bottom - bounds->top - h) / 2;
  r->left = static_cast<int16_t>(left);
  r->top = static_cast<int16_t>(top);
  r->right = static_cast<int16_t>(left + w);
  r->bottom = static_cast<int16_t>(top + h);
  return 0;
}

ErrorCode U_CenterRectOnScreen(Rect* r) {
  Rect screen = platform::MainScreen().bounds;
  return U_CenterRect(r, &screen);
}

ErrorCode U_PositionDlgRect(Rect* r, const Rect* bounds) {
  if (ErrorCode err = U_CenterRect(r, bounds)) return err;
  // Half of the space that centring left above goes away: the dialog sits at
  // a quarter of the free height.
  int32_t above = r->top - bounds->top;
  int32_t up = above - above / 2;
  r->top = static_cast<int16_t>(r->top - up);
  r->bottom = static_cast<int16_t>(r->bottom - up);
  return 0;
}

ErrorCode U_PlaceDlgRect(Rect* r) {
  platform::Screen s = platform::MainScreen();
  Rect bounds = s.bounds;
  bounds.top = static_cast<int16_t>(bounds.top + s.menuBar + 4);
  return U_PositionDlgRect(r, &bounds);
}
