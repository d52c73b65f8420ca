// The suite system: suites registered by name and version, looked up,
// iterated, and messages sent to plug-ins.
#include "PLUG_internal.h"

namespace tv::plug {

void DisposeSuites() {}

}  // namespace tv::plug
