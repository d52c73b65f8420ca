// Frame lists on the command line (`render --frames`, `sheet --frames`,
// `farm submit|status|assemble --frames`). Frames count from 0, the
// composition's first frame. A list is one or more parts joined by commas:
//   7         one frame
//   0-99      a range, both ends included
//   1-99x2    every 2nd frame of a range (1, 3, 5 ... 99)
//   10-       from frame 10 to the last frame
//   0-9,20-29,40
// Anything else is a usage error (exit 2) that names the bad part.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavelo {

// Where a list may end: the last frame of the composition (or of the
// sequence found on disk), or no known end (an open range is refused then).
constexpr int64_t kNoLastFrame = -1;

// The frames of text, ascending, each once. Open ranges end at last; with
// a limit, a frame past last is refused (a composition's end); without,
// last only ends open ranges (the last frame found on disk). Throws a usage
// Failure naming the bad part.
enum class LastFrame { Limit, OpenEndOnly };
std::vector<int64_t> ParseFrameList(const std::string& text, int64_t last, LastFrame kind = LastFrame::Limit);

// Checks the form of a list alone (before the project is opened); a usage
// Failure naming the bad part.
void CheckFrameList(const std::string& text);

// The shortest list text of sorted frames ("0-9,20-40x2,45"), which
// ParseFrameList reads back to the same frames.
std::string FrameListText(const std::vector<int64_t>& frames);

// Sorted frames as a person reads them: "3, 7-9, 12".
std::string FrameRanges(const std::vector<int64_t>& frames);

// Whether sorted frames are one run without gaps (a movie's span).
bool IsOneSpan(const std::vector<int64_t>& frames);

// The frames first..last.
std::vector<int64_t> FrameSpan(int64_t first, int64_t last);

// Splits sorted frames into runs without gaps: each [first, last].
std::vector<std::pair<int64_t, int64_t>> FrameRuns(const std::vector<int64_t>& frames);

}  // namespace tavelo
