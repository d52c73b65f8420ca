// The engine's work in flight, for crash reports (see InFlight.h).
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "InFlight.h"

namespace tv::platform {
namespace {

constexpr size_t kRoom = 512;
// Each field is written by the one thread that calls effects and renders;
// the text is always NUL-terminated within its room, so a handler that
// interrupts a change reads a cut text, never past the end.
char gFields[kInFlightFields][kRoom];
std::atomic<int> gPluginDepth{0};

void Store(InFlight field, std::string_view text) {
  char* f = gFields[static_cast<int>(field)];
  const size_t n = std::min(text.size(), kRoom - 1);
  f[0] = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  std::memcpy(f + 1, text.data() + (n > 0 ? 1 : 0), n > 0 ? n - 1 : 0);
  f[n] = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  if (n > 0) f[0] = text[0];
}

void Put(int fd, const char* text) {
  size_t n = std::strlen(text);
  while (n > 0) {
    const ssize_t w = ::write(fd, text, n);
    if (w <= 0) return;
    text += w, n -= static_cast<size_t>(w);
  }
}

}  // namespace

InFlightScope::InFlightScope(InFlight field, std::string_view text)
    : field_(field), counted_(field == InFlight::PluginFile && !text.empty()) {
  std::memcpy(saved_, gFields[static_cast<int>(field)], kRoom);
  Store(field, text);
  if (counted_) gPluginDepth.fetch_add(1, std::memory_order_relaxed);
}

InFlightScope::~InFlightScope() {
  if (counted_) gPluginDepth.fetch_sub(1, std::memory_order_relaxed);
  Store(field_, std::string_view(saved_, strnlen(saved_, kRoom)));
}

bool PluginCallInFlight() { return gPluginDepth.load(std::memory_order_relaxed) > 0; }

void WriteInFlight(int fd, const char* prefix) {
  static const char* const kLabels[kInFlightFields] = {"plug-in", "effect", "layer", "frame"};
  for (int i = 0; i < kInFlightFields; ++i) {
    if (!gFields[i][0]) continue;
    Put(fd, prefix);
    Put(fd, kLabels[i]);
    Put(fd, ": ");
    Put(fd, gFields[i]);
    Put(fd, "\n");
  }
}

}  // namespace tv::platform
