// The image-file module's parts.
#pragma once

#include "../common/drivers.h"

namespace tv::pin {

// Fills the module's table (its own shared object's entry installs it).
void InstallImageFiles(PIN_ModuleProcs* procs);
// Fills the output slots of the module's table.
void InstallImageOutput(PIN_ModuleProcs& procs);

// Encodes width x height RGB samples (rows packed) as a JPEG file of the
// quality (1 to 100, full colour resolution) into bytes. False with
// libjpeg's message in *why when the library fails.
bool EncodeJpeg(const uint8_t* rgb, int width, int height, int quality, std::vector<uint8_t>* bytes,
                std::string* why);

}  // namespace tv::pin
