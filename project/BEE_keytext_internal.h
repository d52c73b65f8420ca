// Keyframe text: what the writer and the reader share.
#pragma once

#include <string>
#include <string_view>

#include "BEE_scrap_internal.h"

namespace tv::bee {

inline constexpr std::string_view kKeyHeader = "Quorral Tavelo 4.0 Keyframe Data";
inline constexpr std::string_view kKeyEnd = "End of Keyframe Data";
inline constexpr std::string_view kKeyUnitsPerSecond = "Units Per Second";
inline constexpr std::string_view kKeySourceWidth = "Source Width";
inline constexpr std::string_view kKeySourceHeight = "Source Height";
inline constexpr std::string_view kKeySourceAspect = "Source Pixel Aspect Ratio";
inline constexpr std::string_view kKeyCompAspect = "Comp Pixel Aspect Ratio";
inline constexpr std::string_view kKeyEffectParam = "Effect Parameter #";

void AppendNumber(std::string& out, double v);
void AppendWhole(std::string& out, int64_t v);
ErrorCode WriteKeyText(const BEE_ScrapRec& scrap, std::string& out);

}  // namespace tv::bee
