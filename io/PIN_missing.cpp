// Missing footage found again (through its alias, or by name in a folder the
// user points at), a SeqSpec's source replaced in place, and the sources
// closed around a project save and reopened.
#include <cstring>

#include "PIN_internal.h"

namespace tv::pin {
namespace {

constexpr uint32_t kSite = kSiteMissing;

// The import options that recreate seq's kind of footage.
uint32_t OptionsOf(const SeqSpec& s) { return s.files ? PIN_Import_Sequence : 0; }

// Frees what a SeqSpec owns, keeping its handle (the module disposes of its
// instance data first).
void ReleaseContents(PIN_SeqSpecH seq) {
  const Module* m = ModuleOf(seq);
  if (m && !Rec(seq).missing && Filled(m->procs, PIN_Slot_DisposeSeqSpec)) m->procs.disposeSeqSpec(seq);
  SeqSpec& s = Rec(seq);
  if (s.file) FILE_Dispose(s.file);
  if (s.alias) FILE_DisposeAliasRec(s.alias);
  if (s.files) LIST_Dispose(s.files, 0);
  if (s.options) DisposeHandle(s.options);
  s.file = nullptr, s.alias = nullptr, s.files = nullptr, s.options = nullptr, s.instance = nullptr;
}

// The module lets go of what its instance data holds (open files, decoders).
ErrorCode DropInstance(PIN_SeqSpecH seq, const Module* m) {
  if (m && Filled(m->procs, PIN_Slot_DisposeSeqSpec))
    if (ErrorCode err = m->procs.disposeSeqSpec(seq)) return err;
  Rec(seq).instance = nullptr;
  return 0;
}

}  // namespace

}  // namespace tv::pin

using namespace tv;
using namespace tv::pin;

ErrorCode PIN_SwapSeqSpecFile(PIN_SeqSpecH seq, FILE_SpecH file) try {
  if (!file) return kReport.BadParam(kSite, {"PIN_SwapSeqSpecFile"});
  if (ErrorCode err = CheckSeq(seq, kSite)) return err;
  // The new source is read whole first: a file that does not import leaves
  // the SeqSpec as it was.
  PIN_SeqSpecH fresh = nullptr;
  if (ErrorCode err = PIN_NewSeqSpecFromFileOptions(file, OptionsOf(Rec(seq)), &fresh)) return err;
  // The user's interpretation goes with the footage to its new source; the
  // reel stays. Missing footage keeps what it was saved with.
  PIN_Interpretation interp{};
  const bool keep = PIN_GetInterpretation(seq, &interp) == 0 && Rec(seq).alpha.marker == PIN_AlphaMarker;
  const PIN_Reel reel = Rec(seq).reel;
  ReleaseContents(seq);
  std::memcpy(*seq, *fresh, sizeof(SeqSpec));
  // fresh's contents now belong to seq: only its handle goes.
  DisposeHandle(fresh);
  SeqSpec& s = Rec(seq);
  s.reel = reel;
  if (keep) {
    // Depth and the time flags are the new footage's own; the rest is set
    // as far as the new footage allows.
    interp.depth = static_cast<int16_t>(s.depth);
    PIN_SetInterpretation(seq, &interp);
  }
  return 0;
}
TV_CATCH(PIN_PackageNumber)

ErrorCode PIN_FindMissingSeqSpec(PIN_SeqSpecH seq, FILE_SpecH relativeTo, Boolean32* found) {
  if (!found) return kReport.BadParam(kSite, {"PIN_FindMissingSeqSpec"});
  *found = 0;
  if (ErrorCode err = CheckSeq(seq, kSite)) return err;
  const SeqSpec& s = Rec(seq);
  if (!s.missing) return 0;
  FILE_SpecH ref = nullptr;
  Boolean32 changed = 0, exists = 0;
  if (s.alias) {
    // A source that is not where its alias says is not found: no failure.
    if (FILE_ResolveAliasRec(s.alias, relativeTo, 0, &ref, &changed) != 0) ref = nullptr;
  } else if (s.file && FILE_InqExist(s.file, &exists) == 0 && exists) {
    FILE_Duplicate(s.file, &ref);
  }
  if (!ref) return 0;
  ErrorCode err = PIN_SwapSeqSpecFile(seq, ref);
  FILE_Dispose(ref);
  if (!err) *found = 1;
  return err;
}

ErrorCode PIN_LookHereMissingSeqSpec(PIN_SeqSpecH seq, FILE_SpecH folder, Boolean32* found) {
  if (!found || !folder) return kReport.BadParam(kSite, {"PIN_LookHereMissingSeqSpec"});
  *found = 0;
  if (ErrorCode err = CheckSeq(seq, kSite)) return err;
  const SeqSpec& s = Rec(seq);
  if (!s.missing) return 0;
  char name[FILE_MaxName + 1] = "";
  if (s.file)
    FILE_InqName(s.file, FILE_NameOnly, name, sizeof name);
  else if (s.alias)
    FILE_InqAliasRecName(s.alias, name, sizeof name);
  if (!name[0]) return 0;
  FILE_SpecH ref = nullptr;
  Boolean32 exists = 0;
  if (FILE_DirInqFileSpecByName(folder, name, &ref) != 0 || !ref) return 0;
  ErrorCode err = 0;
  if (FILE_InqExist(ref, &exists) == 0 && exists) {
    err = PIN_SwapSeqSpecFile(seq, ref);
    if (!err) *found = 1;
  }
  FILE_Dispose(ref);
  return err;
}

ErrorCode PIN_CloseSeqSpecSources(PIN_SeqSpecH seq) {
  if (ErrorCode err = CheckSeq(seq, kSite)) return err;
  SeqSpec& s = Rec(seq);
  if (s.missing || s.sourcesClosed) return 0;
  // The module's instance data holds the open sources: it goes, and the
  // SeqSpec reopens them (PIN_UnCloseSeqSpecSources, or the next drawing).
  if (ErrorCode err = DropInstance(seq, ModuleOf(seq))) return err;
  Rec(seq).sourcesClosed = 1;
  return 0;
}

ErrorCode PIN_UnCloseSeqSpecSources(PIN_SeqSpecH seq) {
  if (ErrorCode err = CheckSeq(seq, kSite)) return err;
  if (!Rec(seq).sourcesClosed) return 0;
  const Module* m = ModuleOf(seq);
  // A module may have opened its source on demand while closed (a sound
  // read): that instance goes first, or reading again would leave it open.
  if (Rec(seq).instance)
    if (ErrorCode err = DropInstance(seq, m)) return err;
  // The module reads its source again; what the SeqSpec was told (the
  // interpretation and the module's options) stays as it was.
  const Handle options = Rec(seq).options;
  Rec(seq).options = nullptr;
  const SeqSpec saved = Rec(seq);
  ErrorCode err = saved.file ? CallSlot(m, PIN_Slot_NewSeqSpecFromFile, &PIN_ModuleProcs::newSeqSpecFromFile, seq,
                                        saved.file, OptionsOf(saved))
                             : 0;
  SeqSpec& s = Rec(seq);
  const Handle instance = s.instance;
  if (s.options) DisposeHandle(s.options);
  s = saved;
  s.instance = instance;
  s.options = options;
  if (err) return err;
  s.sourcesClosed = 0;
  s.inSynch = 1;
  return 0;
}
