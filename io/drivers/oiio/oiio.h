// The image-file module's parts.
#pragma once

#include "../common/drivers.h"

namespace tv::pin {

inline constexpr FourCC kImageFilesSig = MakeFourCC("OIMG");

// Fills the output slots of the module's table.
void InstallImageOutput(PIN_ModuleProcs& procs);

}  // namespace tv::pin
