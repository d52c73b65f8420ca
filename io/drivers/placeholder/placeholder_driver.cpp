// The placeholder module: it stands for footage whose file or module is
// missing, draws the missing-footage frame at any size up to 30000 x 30000,
// and keeps what was stored for such footage so that saving writes it back.
#include <cstring>

#include "PIN_internal.h"

namespace tv::pin {
namespace {

ErrorCode DrawMissing(PIN_SeqSpecH seq, const PIN_DrawParams*, BM_World world) {
  if (ErrorCode err = CheckSeq(seq, kSiteDraw)) return err;
  char name[FILE_MaxName + 1] = "";
  const SeqSpec& s = Rec(seq);
  if (s.file)
    FILE_InqName(s.file, FILE_NameOnly, name, sizeof name);
  else if (s.alias)
    FILE_InqAliasRecName(s.alias, name, sizeof name);
  return DrawPlaceholder(world, name);
}

}  // namespace

ErrorCode PlaceholderBirth(PIN_ModuleInfo* info, PIN_ModuleProcs* procs) {
  info->signature = kPlaceholderSig;
  std::strcpy(info->name, "Placeholder");
  info->flags = PIN_ModFlag_NoTime;
  info->maxWidth = info->maxHeight = 30000;
  InstallStill(*procs);
  procs->drawSparseFrame = DrawMissing;
  return 0;
}

}  // namespace tv::pin
