#include "Platform.h"

namespace tv::platform {
namespace {
constexpr Screen kDefaultScreen{Rect{0, 0, 768, 1024}, 32, true, true, 20};
Screen gScreen = kDefaultScreen;
}  // namespace

Screen MainScreen() { return gScreen; }
void SetMainScreen(const Screen& screen) { gScreen = screen; }
void ResetMainScreen() { gScreen = kDefaultScreen; }

}  // namespace tv::platform
