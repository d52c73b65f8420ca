// The platform's movie media layer: there is none (see Platform.h).
#include "Platform.h"

extern "C" ErrorCode QTI_InitializeQTML(int32_t flags) {
  (void)flags;
  return tv::kErrUnsupported;
}
