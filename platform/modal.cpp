// The modal counter (see Modal.h).
#include <atomic>

#include "Modal.h"

namespace tv::platform {
namespace {
std::atomic<int32_t> gModal{0};
}  // namespace

void RaiseModal() { gModal.fetch_add(1, std::memory_order_relaxed); }
void LowerModal() { gModal.fetch_sub(1, std::memory_order_relaxed); }
int32_t ModalCount() { return gModal.load(std::memory_order_relaxed); }

}  // namespace tv::platform
