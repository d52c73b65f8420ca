// What the engine is doing at this moment, kept where the handler of a fatal
// signal can read it without allocating or locking: the plug-in file and the
// effect being called, the layer and the frame being rendered. A crash
// report names them (WriteInFlight).
#pragma once

#include <string_view>

namespace tv::platform {

enum class InFlight { PluginFile, Effect, Layer, Frame };
inline constexpr int kInFlightFields = 4;

// Sets a field for the life of the scope; the field's earlier text comes back
// when the scope ends (scopes nest: an effect may render another layer).
// Texts longer than the field's room are cut.
class InFlightScope {
 public:
  InFlightScope(InFlight field, std::string_view text);
  ~InFlightScope();
  InFlightScope(const InFlightScope&) = delete;
  InFlightScope& operator=(const InFlightScope&) = delete;

 private:
  static constexpr size_t kRoom = 512;
  InFlight field_;
  bool counted_;
  char saved_[kRoom];
};

// Async-signal-safe. Whether a plug-in call is under way, and the report of
// what is in flight written to fd: one line per known field, each
// "<prefix><label>: <text>\n" (plug-in, effect, layer, frame).
bool PluginCallInFlight();
void WriteInFlight(int fd, const char* prefix);

}  // namespace tv::platform
