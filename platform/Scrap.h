// The public clipboard ("scrap") of a desktop without a window system: an
// in-process store of typed data (one block per four-character type), and
// the hand-over of its contents to and from the host, which prints it or
// reads it from a stream (the command line's standard output and input).
//
// What callers may rely on:
// - Putting data replaces what the type held; clearing forgets every type.
// - Nothing is shared with other processes; the store lives until the
//   process ends or it is cleared.
// - Export writes the whole block or fails with the platform code of the
//   system's error; import reads at most `limit` bytes and fails with
//   kSysParam (-50) for input longer than that, leaving the store unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Types.h"

namespace tv::platform {

void ClearPublicScrap();
void PutPublicScrap(uint32_t type, std::string_view data);
// false (data cleared) when the type holds nothing.
bool GetPublicScrap(uint32_t type, std::string* data);
// The types held, in the order they were first put.
std::vector<uint32_t> PublicScrapTypes();
// Writes what the type holds to the descriptor (nothing held: writes nothing).
ErrorCode ExportPublicScrap(uint32_t type, int fd);
// Reads the descriptor to its end into the type.
ErrorCode ImportPublicScrap(uint32_t type, int fd, size_t limit);

}  // namespace tv::platform
