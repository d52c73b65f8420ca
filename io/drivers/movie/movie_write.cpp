// The movie module's output slots.
#include "movie.h"

namespace tv::pin {

void InstallMovieOutput(PIN_ModuleProcs&) {}

}  // namespace tv::pin
