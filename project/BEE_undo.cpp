// The undo and redo stacks: groups, pushing, trimming at the limit, undo,
// redo, their availability and clearing.
#include <cstring>
#include <unordered_map>

#include "BEE_cmd_internal.h"

namespace tv::bee {

namespace {

Stack gUndo{};
Stack gRedo{};
int16_t gDefaultLimit = 10;

// Group names held as text are shared by every record of the group and by
// the inverses made from them: a count of holders frees the text with the
// last one.
std::unordered_map<uintptr_t, int32_t> gNameRefs;

}  // namespace

Stack& UndoStack() { return gUndo; }
Stack& RedoStack() { return gRedo; }

void RetainName(uintptr_t h) {
  if (h) ++gNameRefs[h];
}

void ReleaseName(uintptr_t h) {
  if (!h) return;
  auto it = gNameRefs.find(h);
  if (it == gNameRefs.end()) return;
  if (--it->second <= 0) {
    gNameRefs.erase(it);
    DisposeHandle(reinterpret_cast<Handle>(h));
  }
}

void RetainRecord(const BEE_CmdRec& r) {
  if (r.flags & BEE_RecNameText) RetainName(r.name);
}

void ReleaseRecord(const BEE_CmdRec& r) {
  if (r.flags & BEE_RecNameText) ReleaseName(r.name);
}

void DisposeRecord(BEE_CmdRec& r) {
  if (r.dispose) r.dispose(&r);
  r.dispose = nullptr;
}

ErrorCode CreateStacks() {
  for (Stack* s : {&gUndo, &gRedo}) {
    *s = Stack{};
    if (ErrorCode err = list::List<BEE_CmdRec>::Create(s->records, 10, 2)) {
      DisposeStacks();
      return err;
    }
    s->limit = gDefaultLimit;
  }
  gRedo.role = 1;
  return 0;
}

void ClearStack(Stack& s) {
  if (!s.records) return;
  // Newest first, so that an inverse that owns an object goes after the
  // records above it that refer to it.
  while (s.records.size() > 0) {
    BEE_CmdRec r{};
    s.records.Remove(-1, &r);
    DisposeRecord(r);
    ReleaseRecord(r);
  }
  s.groups = 0;
  // A group still open starts again on the emptied stack, so that what it
  // records from now on stays undoable as a group.
  s.pending = s.depth > 0;
}

void DisposeStacks() {
  for (Stack* s : {&gUndo, &gRedo}) {
    ClearStack(*s);
    if (s->nameIsText) ReleaseName(s->name);
    s->nameIsText = false;
    s->name = 0;
    if (s->records) s->records.Dispose();
    s->depth = 0;
    s->extraCloses = 0;
  }
}

void SetUndoLimit(int32_t levels) {
  // The level count arrives as 16 unsigned bits; held to 0..32767 so that it
  // can never be negative.
  if (levels < 0) levels = 0;
  if (levels > 32767) levels = 32767;
  gUndo.limit = gRedo.limit = static_cast<int16_t>(levels);
}

uint32_t CountingBit(const Stack& s) { return s.role == 0 ? BEE_RecFirst : BEE_RecLast; }
uint32_t TrimmingBit(const Stack& s) { return s.role == 0 ? BEE_RecLast : BEE_RecFirst; }

void Recount(Stack& s) {
  list::List<BEE_CmdRec>::Locked locked(s.records);
  int16_t n = 0;
  for (const BEE_CmdRec& r : locked)
    if (r.flags & CountingBit(s)) ++n;
  s.groups = n;
}

ErrorCode PushRecord(Stack& s, BEE_CmdRec rec, bool raw) {
  if (!raw) {
    if (s.pending) {
      rec.flags |= BEE_RecFirst;
      s.pending = false;
    }
    rec.flags &= ~uintptr_t{BEE_RecNameText};
    rec.name = s.name;
    if (s.nameIsText) rec.flags |= BEE_RecNameText;
  }
  if (ErrorCode err = s.records.Append(rec)) return err;
  RetainRecord(rec);
  if (rec.flags & CountingBit(s)) ++s.groups;
  return 0;
}

bool PopRecord(Stack& s, BEE_CmdRec* rec) {
  if (s.records.size() == 0) return false;
  s.records.Remove(-1, rec);
  return true;
}

void SetTopFlag(Stack& s, uint32_t flag) {
  int32_t n = s.records.size();
  if (n == 0) return;
  BEE_CmdRec r{};
  s.records.Get(n - 1, r);
  r.flags |= flag;
  s.records.Set(n - 1, r);
}

ErrorCode StartGroup(Stack& s, const char* text, uintptr_t number) {
  Handle nameText = nullptr;
  if (text && s.depth == 0)
    if (ErrorCode err = NewText(text, &nameText, BEE_SiteDoCommand)) return err;
  ++s.depth;
  if (s.depth != 1) return 0;
  // Dropping the oldest groups stops when the stack is empty, whatever the
  // limit and the count say.
  while (s.groups >= s.limit && s.records.size() > 0) {
    uint32_t trim = TrimmingBit(s);
    bool done = false;
    while (!done && s.records.size() > 0) {
      BEE_CmdRec r{};
      s.records.Remove(0, &r);
      done = (r.flags & trim) != 0;
      if (r.flags & CountingBit(s)) --s.groups;
      DisposeRecord(r);
      ReleaseRecord(r);
    }
    if (s.groups < 0) s.groups = 0;
  }
  s.pending = true;
  if (s.nameIsText) ReleaseName(s.name);
  if (nameText) {
    s.nameIsText = true;
    s.name = reinterpret_cast<uintptr_t>(nameText);
    RetainName(s.name);
  } else {
    // An empty text names the group by nothing.
    s.nameIsText = false;
    s.name = text ? 0 : number;
  }
  return 0;
}

void EndGroup(Stack& s) {
  // A close without an open group is counted apart instead of driving the
  // depth below 0, where every later group would open at depth 0 without
  // its start mark and its records could never be undone. The next undo
  // still beeps twice for it.
  if (s.depth <= 0) {
    if (s.extraCloses < INT16_MAX) ++s.extraCloses;
    return;
  }
  --s.depth;
  if (s.depth != 0) return;
  if (s.pending) {
    s.pending = false;
  } else {
    SetTopFlag(s, BEE_RecLast);
  }
  if (s.nameIsText) ReleaseName(s.name);
  s.nameIsText = false;
  s.name = 0;
}

namespace {

std::string GroupName(const Stack& s) {
  list::List<BEE_CmdRec>::Locked locked(s.records);
  for (size_t i = locked.size(); i-- > 0;) {
    const BEE_CmdRec& r = locked[i];
    if (!(r.flags & (BEE_RecFirst | BEE_RecLast))) continue;
    // A task names itself; an unnamed task inside a named group shows the group's name.
    const BEE_TaskBlock* task = r.flags & BEE_RecTask ? Words<TaskCmd>(r).task : nullptr;
    if (task) {
      std::string own(task->name, strnlen(task->name, sizeof task->name));
      if (!own.empty() || !(r.flags & BEE_RecNameText)) return own;
    }
    if (r.flags & BEE_RecNameText) return std::string(TextOf(reinterpret_cast<Handle>(r.name)));
    return r.name ? kReport.Text(static_cast<int32_t>(r.name)) : "";
  }
  return {};
}

ErrorCode Available(const char* operation, const Stack& s, Boolean32* available, char* name) {
  if (available) *available = 0;
  if (name) name[0] = 0;
  if (!available) return kReport.BadParam(kSiteArgument, {operation});
  if (s.groups < 1) return 0;
  std::string n = GroupName(s);
  *available = 1;
  if (name) fmt::CopyTo(std::span<char>(name, BEE_GroupNameSize), n);
  return 0;
}

// Runs the records of one group from `from` and keeps their inverses on `to`.
ErrorCode Replay(Stack& from, Stack& to, bool undo) {
  const uint32_t stopBit = undo ? BEE_RecFirst : BEE_RecLast;
  const uint32_t countDown = undo ? BEE_RecLast : BEE_RecFirst;
  const uint32_t site = undo ? BEE_SiteUndo : BEE_SiteRedo;
  bool pushedAny = false;
  bool lostInverse = false;
  BEE_CmdRec rec{};
  while (PopRecord(from, &rec)) {
    if (rec.flags & countDown) --from.groups;
    BEE_CmdRec inverse{};
    ErrorCode err = CarryOut(rec, inverse, nullptr, nullptr);
    if (err) {
      // The failed record goes back, and both stacks are closed around what
      // ran: the rest of the group stays undoable (or redoable) and what was
      // carried out can be taken back from the other stack.
      from.records.Append(rec);
      SetTopFlag(from, undo ? BEE_RecLast : BEE_RecFirst);
      if (pushedAny) SetTopFlag(to, undo ? BEE_RecFirst : BEE_RecLast);
      Recount(from);
      Recount(to);
      return err;
    }
    if (inverse.operation) {
      if (ErrorCode perr = PushRecord(to, inverse, true)) {
        DisposeRecord(inverse);
        lostInverse = true;
        (void)perr;
      } else {
        pushedAny = true;
      }
    } else {
      kReport.Note(site, kSevError, undo ? kTextCantUndo : kTextCantRedo);
      DisposeRecord(inverse);
      lostInverse = true;
    }
    // What the record still owns after it ran is released with it.
    DisposeRecord(rec);
    ReleaseRecord(rec);
    if (rec.flags & stopBit) break;
  }
  // A group with a missing inverse cannot be replayed the other way.
  if (lostInverse) ClearStack(to);
  return 0;
}

}  // namespace

}  // namespace tv::bee

using namespace tv;
using namespace tv::bee;

ErrorCode BEE_StartGroup(const char* name, int32_t command) try {
  uintptr_t number = 0;
  if (!name) {
    const CommandEntry* e = Entry(command & 0xFFFF);
    number = e ? e->name : 0;
  }
  return StartGroup(UndoStack(), name, number);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_EndGroup(void) try {
  EndGroup(UndoStack());
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_Undo(void) try {
  Stack& u = UndoStack();
  if (u.depth < 0 || u.extraCloses > 0) {
    U_Beep();
    U_Beep();
    u.depth = 0;
    u.extraCloses = 0;
  } else if (u.depth > 0) {
    U_Beep();
    while (u.depth > 0) EndGroup(u);
  }
  // Records pushed outside any group onto an empty stack form no group:
  // with no group there is nothing to undo.
  if (u.groups < 1) return 0;
  ErrorCode err = Replay(u, RedoStack(), true);
  u.depth = 0;
  // An undo changes the project: a saved project becomes dirty again.
  G().dirty = true;
  if (!err) {
    BEE_ChangeNote note{BEE_ChangeUndo, 0};
    Notify(BEE_SelProjectChanged, &note);
  }
  return err;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_Redo(void) try {
  Stack& r = RedoStack();
  if (r.groups < 1) return 0;
  ErrorCode err = Replay(r, UndoStack(), false);
  G().dirty = true;
  if (!err) {
    BEE_ChangeNote note{BEE_ChangeRedo, 0};
    Notify(BEE_SelProjectChanged, &note);
  }
  return err;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_UndoAvailable(Boolean32* available, char* name) try {
  return Available("BEE_UndoAvailable", UndoStack(), available, name);
} TV_CATCH(BEE_PackageNumber)
ErrorCode BEE_RedoAvailable(Boolean32* available, char* name) try {
  return Available("BEE_RedoAvailable", RedoStack(), available, name);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_ClearRedoStack(void) try {
  ClearStack(RedoStack());
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_ClearUndoRedo(void) try {
  ClearStack(RedoStack());
  ClearStack(UndoStack());
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEEp_GetStackCounts(int32_t* undoRecords, int32_t* undoGroups, int32_t* redoRecords,
                              int32_t* redoGroups) try {
  if (undoRecords) *undoRecords = UndoStack().records.size();
  if (undoGroups) *undoGroups = UndoStack().groups;
  if (redoRecords) *redoRecords = RedoStack().records.size();
  if (redoGroups) *redoGroups = RedoStack().groups;
  return 0;
} TV_CATCH(BEE_PackageNumber)
