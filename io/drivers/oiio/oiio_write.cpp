// The image-file module's output slots.
#include "oiio.h"

namespace tv::pin {

void InstallImageOutput(PIN_ModuleProcs&) {}

}  // namespace tv::pin
