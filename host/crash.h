// Fatal signals (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT): the host writes,
// with async-signal-safe calls only, what was in flight (the plug-in file,
// the effect, the layer and the frame), removes the temporary files of
// writes under way and its frame reservation, and ends: with exit code 3
// when an effect plug-in was being called, else by the signal itself (the
// usual death, with a core file where the system keeps them).
#pragma once

#include <sys/types.h>

#include <string>

namespace tavelo {

void InstallCrashHandler();

// The frame reservation a crash removes while the name still holds that
// empty file (one at a time); Unlist when the claim ends.
void ListClaimForCrash(const std::string& path, dev_t dev, ino_t ino);
void UnlistClaimForCrash();

}  // namespace tavelo
