#include <cstdio>
#include <cstdlib>

#include "Platform.h"

namespace tv::platform {
namespace {
DialogSink gSink;
bool gDebugOn = std::getenv("TAVELO_DEBUG_OUTPUT") != nullptr;
uint64_t gDebugCount = 0;
uint64_t gBeeps = 0;
int gToolboxInits = 0;
uint32_t gModifiers = 0;

const char* IconName(Icon icon) {
  switch (icon) {
    case Icon::None: return "";
    case Icon::Information: return "info";
    case Icon::Warning: return "warning";
    case Icon::Stop: return "stop";
  }
  return "";
}
}  // namespace

ErrorCode ShowDialog(std::string_view title, std::string_view text, Icon icon) {
  if (gSink) return gSink(Dialog{title, text, icon});
  std::fprintf(stderr, "[%.*s%s%s] %.*s\n", static_cast<int>(title.size()), title.data(),
               icon == Icon::None ? "" : " ", IconName(icon), static_cast<int>(text.size()), text.data());
  return 0;
}

void SetDialogSink(DialogSink sink) { gSink = std::move(sink); }

void DebugOutput(std::string_view text) {
  ++gDebugCount;
  if (gDebugOn) std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
}
void SetDebugOutputEnabled(bool on) { gDebugOn = on; }
uint64_t DebugOutputCount() { return gDebugCount; }

void Beep() { ++gBeeps; }
uint64_t BeepCount() { return gBeeps; }

void InitToolbox() { ++gToolboxInits; }
int InitToolboxCount() { return gToolboxInits; }

void SetModifierKeys(uint32_t mask) { gModifiers = mask; }
uint32_t ModifierKeys() { return gModifiers; }

}  // namespace tv::platform
