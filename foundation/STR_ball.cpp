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

ErrorCode Damaged() { return kReport.Damaged(kSiteBall); }
}  // namespace
}  // namespace tv::str

using namespace tv;
using namespace tv::str;

ErrorCode STR_NewBall(int32_t resourceBase, const char* const* compiled, STR_Ball* ball) try {
  if (!ball) return kReport.Fail(kSiteBall, kErrBadParam, kTextBall);
  *ball = nullptr;
  auto* rec = reinterpret_cast<STR_BallRec*>(U_AllocatePtrClear(kReport.Loc(kSiteBallMemory), kReport.Text(kTextBall), sizeof(STR_BallRec)));
  if (!rec) return kErrOutOfMemory;
  // The record goes back on every failure, an exception of the table's
  // working strings included.
  struct Owner {
    STR_BallRec* rec;
    ~Owner() {
      if (rec) DisposePtr(reinterpret_cast<Ptr>(rec));
    }
  } owner{rec};
  if (ErrorCode err = Fill(rec->table, compiled, resourceBase, false)) return err;
  owner.rec = nullptr;
  rec->magic = rec->magic2 = kBallMagic;
  *ball = rec;
  return 0;
} TV_CATCH(STR_PackageNumber)

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
  if (!generation) return kReport.BadParam(kSiteArgument, {"STR_GetSterlingGeneration"});
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
