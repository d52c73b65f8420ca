// The engine's memory budget as the host sees it: sizes written the way a
// batch scheduler takes them ("512M", "2G", "1.5G"), the --memory option
// applied, and the budget in force described with where it came from.
#pragma once

#include <cstdint>
#include <string>

namespace tavelo {

// "2G", "512M", "1.5G", "4096K", "1T" (binary multiples; "MB", "GiB" and
// lower case are accepted too); a bare number is megabytes, as for Slurm's
// --mem. Throws a usage Failure naming `option` otherwise.
int64_t ParseMemorySize(const std::string& text, const std::string& option);
// "512 MiB", "1.83 GiB".
std::string FormatBytes(int64_t bytes);
// Sets the engine's budget from --memory ("" leaves the automatic one).
void ApplyMemoryOption(const std::string& text);
// The budget in force: "11.0 GiB (physical memory 23.4 GiB, MemoryUsage 50 %
// after the system's reserve)".
std::string DescribeBudget();
// `tavelo info --memory`: the budget, where it came from, the level purging
// starts at and the ceiling, as text or as JSON.
int PrintMemoryInfo(bool json);

}  // namespace tavelo
