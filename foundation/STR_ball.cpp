// String balls: string collections loaded at run time.
#include "Memory.h"
#include "STR_internal.h"

struct STR_BallRec {
  uint32_t magic;
  STR_Table table;
  int32_t generation;
  uint32_t magic2;
};

namespace tv::str {
namespace {
constexpr uint32_t kBallMagic = MakeFourCC("STRb");
constexpr uint32_t kDeadBallMagic = MakeFourCC("STRx");

bool Valid(STR_Ball ball) { return ball && ball->magic == kBallMagic && ball->magic2 == kBallMagic; }

ErrorCode Damaged() { return Up_ReportVeskErrString(Loc(kSiteBall), kSevError, kErrDamaged, "string ball"); }
}  // namespace
}  // namespace tv::str

using namespace tv;
using namespace tv::str;

ErrorCode STR_NewBall(int32_t resourceBase, const char* const* compiled, STR_Ball* ball) {
  if (!ball) return Up_ReportVeskErrString(Loc(kSiteBall), kSevError, kErrBadParam, "string ball");
  *ball = nullptr;
  auto* rec = reinterpret_cast<STR_BallRec*>(U_AllocatePtrClear(Loc(kSiteBallMemory), "string ball", sizeof(STR_BallRec)));
  if (!rec) return kErrOutOfMemory;
  if (ErrorCode err = Fill(rec->table, compiled, resourceBase, false)) {
    DisposePtr(reinterpret_cast<Ptr>(rec));
    return err;
  }
  rec->magic = rec->magic2 = kBallMagic;
  *ball = rec;
  return 0;
}

const char* STR_BallStringLookup(STR_Ball ball, int32_t index) {
  if (!Valid(ball)) return "[?]";
  return STRp_Lookup(&ball->table, index);
}

ErrorCode STR_SetSterlingGeneration(STR_Ball ball, int32_t generation) {
  if (!Valid(ball)) return Damaged();
  ball->generation = generation;
  return 0;
}

ErrorCode STR_GetSterlingGeneration(STR_Ball ball, int32_t* generation) {
  if (generation) *generation = 0;
  if (!Valid(ball)) return Damaged();
  if (!generation) return kErrBadParam;
  *generation = ball->generation;
  return 0;
}

ErrorCode STR_DisposeBall(STR_Ball* ball) {
  if (!ball || !*ball) return 0;
  if (!Valid(*ball)) return Damaged();
  Free((*ball)->table);
  (*ball)->magic = (*ball)->magic2 = kDeadBallMagic;
  DisposePtr(reinterpret_cast<Ptr>(*ball));
  *ball = nullptr;
  return 0;
}
