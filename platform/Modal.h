// The modal counter: raised while code that may show its own modal UI (an
// effect's entry point) runs, so the host holds back its own event handling.
// Headless, it is a plain counter that tests and the host can read.
#pragma once

#include <cstdint>

namespace tv::platform {

void RaiseModal();
void LowerModal();
int32_t ModalCount();

// Raises the counter for its lifetime.
class ModalScope {
 public:
  ModalScope() { RaiseModal(); }
  ~ModalScope() { LowerModal(); }
  ModalScope(const ModalScope&) = delete;
  ModalScope& operator=(const ModalScope&) = delete;
};

}  // namespace tv::platform
