// Time markers of compositions: numbered marks on the composition's time
// line, set and removed through "Time Marker Change".
#include "BEE_cmd_internal.h"

using namespace tv;
using namespace tv::bee;

namespace tv::bee {

namespace {

struct TimeMarker {
  int32_t number;
  Time time;  // scale 0: no marker
};

struct TimeMarkerCmd {
  static constexpr int32_t kNumber = BEE_CmdNumTimeMarker;
  static constexpr BEE_CmdOp kOp = &OpTimeMarker;
  static constexpr BEE_CmdDispose kOwned = &DisposeParam2Block;
  BEE_Item comp;
  const TimeMarker* marker;
};

ErrorCode CheckNumber(int32_t number) {
  if (number < 0 || number >= BEE_TimeMarkerCount) return kReport.BadParam(kSiteArgument, {"time marker number"});
  return 0;
}

}  // namespace

BEE_OP(OpTimeMarker) {
  const auto [comp, m] = Words<TimeMarkerCmd>(*rec);
  if (!m) return kErrBadParam;
  if (ErrorCode err = CheckComp(comp)) return err;
  if (ErrorCode err = CheckNumber(m->number)) return err;
  TimeMarker* old = nullptr;
  const TimeMarker previous{m->number, R(comp).timeMarkers[m->number]};
  if (ErrorCode err = NewCopy(&previous, 1, &old)) return err;
  R(comp).timeMarkers[m->number] = m->time.scale ? m->time : Time{0, 0};
  Touch(comp);
  SetInverse(inv, TimeMarkerCmd{comp, old});
  return 0;
}

}  // namespace tv::bee

ErrorCode BEE_GetCompTimeMarker(BEE_Item comp, int32_t number, Time* time) try {
  if (time) *time = kInvalidTime;
  if (ErrorCode err = CheckComp(comp)) return err;
  if (!time) return kReport.BadParam(kSiteArgument, {"BEE_GetCompTimeMarker"});
  if (ErrorCode err = CheckNumber(number)) return err;
  const Time t = R(comp).timeMarkers[number];
  if (t.scale) *time = t;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetCompTimeMarker(BEE_Item comp, int32_t number, const Time* time) try {
  if (ErrorCode err = CheckComp(comp)) return err;
  if (ErrorCode err = CheckNumber(number)) return err;
  if (time && time->scale == 0) return kReport.BadParam(kSiteArgument, {"BEE_CmdSetCompTimeMarker"});
  const TimeMarker m{number, time ? *time : Time{0, 0}};
  if (ErrorCode err = BEE_StartGroup(nullptr, BEE_CmdNumTimeMarker)) return err;
  ErrorCode err = DoCommand(TimeMarkerCmd{comp, &m});
  BEE_EndGroup();
  return err;
} TV_CATCH(BEE_PackageNumber)
