// Custom UI contexts: a window of the host (composition, layer or effect
// controls) in which an effect with a custom UI draws and takes events. A
// context belongs to one Sequence; the effect keeps its own data for it,
// handed back with every event. Contexts still open when their Sequence goes
// are closed first and then answer "sequence context not available".
#include <cstring>

#include "FLT_internal.h"

namespace tv::flt {
namespace {

constexpr uint32_t kContextMagic = 0x4C99C0DE;

struct ContextRec {
  uint32_t magic;
  Handle seq;  // null once the Sequence is gone
  int32_t windowType;
  void* window;
  Handle contextData;
  Handle next;  // the package's list of open contexts
  uint32_t tailMagic;
};
constexpr pkg::Magic<ContextRec> kContextMagicDesc{&ContextRec::magic, kContextMagic, &ContextRec::tailMagic,
                                                   kContextMagic};

Handle gContexts = nullptr;

ContextRec* Rec(Handle c) { return reinterpret_cast<ContextRec*>(*c); }

ErrorCode Check(Handle context) {
  return kReport.CheckRecord(context, kContextMagicDesc, kSiteContext, {"context"});
}

void Unlink(Handle context) {
  for (Handle* link = &gContexts; *link; link = &Rec(*link)->next) {
    if (*link == context) {
      *link = Rec(context)->next;
      return;
    }
  }
}

// One event for the effect; the context's data and the result bits are
// taken from its answer.
ErrorCode Send(Handle context, PF_EventRecord& event, uint32_t* result) {
  if (result) *result = 0;
  Handle seq = Rec(context)->seq;
  if (!seq) return kReport.Fail(kSiteContext, 3, kTextNoContext);
  if (ErrorCode err = SeqCheck(seq, kSiteContext)) return err;
  const auto* s = reinterpret_cast<const SeqRec*>(*seq);
  const auto cls = static_cast<int16_t>(s->classIndex);
  event.windowType = Rec(context)->windowType;
  event.window = Rec(context)->window;
  event.contextData = Rec(context)->contextData;
  PF_InputRecord in{};
  PF_OutputRecord out{};
  EffectRef ref{};
  PrepareInput(in, ref, PF_Cmd_Event, cls, seq);
  FillTimes(in, seq);
  ErrorCode err = 0;
  {
    ParamsLock lock(seq);
    if (lock.error()) return lock.error();
    err = CallEffect(cls, PF_Cmd_Event, seq, in, out, lock.list(), nullptr, &event);
    reinterpret_cast<SeqRec*>(*seq)->seqData = out.sequenceData;
  }
  Rec(context)->contextData = event.kind == PF_Event_CloseContext ? nullptr : event.contextData;
  if (result) {
    if (out.outFlags & PF_OutFlag_EventResult1) *result |= 0x2;
    if (out.outFlags & PF_OutFlag_EventResult2) *result |= 0x4;
  }
  return err;
}

void Free(Handle context) {
  Unlink(context);
  Rec(context)->magic = Rec(context)->tailMagic = 0;
  DisposeHandle(context);
}

}  // namespace

void CloseContextsOf(Handle seq) {
  for (Handle c = gContexts; c; c = Rec(c)->next) {
    if (Rec(c)->seq != seq) continue;
    PF_EventRecord event{};
    event.kind = PF_Event_CloseContext;
    Send(c, event, nullptr);
    Rec(c)->seq = nullptr;
  }
}

void DisposeAllContexts() {
  while (gContexts) {
    Handle c = gContexts;
    if (Rec(c)->seq) {
      PF_EventRecord event{};
      event.kind = PF_Event_CloseContext;
      Send(c, event, nullptr);
    }
    Free(c);
  }
}

}  // namespace tv::flt

using namespace tv;
using namespace tv::flt;

ErrorCode FLT_NewContext(FLT_Sequence seq, int32_t windowType, void* window, FLT_Context* context) {
  if (context) *context = nullptr;
  if (!context || windowType < PF_Window_Comp || windowType > PF_Window_Effect)
    return kReport.BadParam(kSiteContext, {"FLT_NewContext"});
  if (ErrorCode err = SeqCheck(seq, kSiteContext)) return err;
  const auto* s = reinterpret_cast<const SeqRec*>(*seq);
  ClassRec c{};
  if (s->classIndex == kMissingClass || GetClass(static_cast<int16_t>(s->classIndex), c) ||
      !(c.outFlags & PF_OutFlag_CustomUI))
    return kReport.Fail(kSiteContext, 3, kTextNoContext);
  Handle h = NewHandleClear(static_cast<Size>(sizeof(ContextRec)));
  if (!h) return kReport.OutOfMemory(kSiteContext, kTextMemory, sizeof(ContextRec));
  ContextRec* r = Rec(h);
  r->magic = r->tailMagic = kContextMagic;
  r->seq = seq;
  r->windowType = windowType;
  r->window = window;
  r->next = gContexts;
  gContexts = h;
  PF_EventRecord event{};
  event.kind = PF_Event_NewContext;
  if (ErrorCode err = Send(h, event, nullptr)) {
    Free(h);
    return err;
  }
  *context = h;
  return 0;
}

ErrorCode FLT_HandleEvent(FLT_Context context, PF_EventRecord* event, uint32_t* result) {
  if (result) *result = 0;
  if (!event || !result) return kReport.BadParam(kSiteContext, {"FLT_HandleEvent"});
  if (ErrorCode err = Check(context)) return err;
  // Opening and closing belong to FLT_NewContext and FLT_DisposeContext.
  if (event->kind <= PF_Event_NewContext || event->kind >= PF_Event_CloseContext)
    return kReport.BadParam(kSiteContext, {"FLT_HandleEvent: event kind"});
  return Send(context, *event, result);
}

ErrorCode FLT_DisposeContext(FLT_Context context) {
  if (!context) return 0;
  if (ErrorCode err = Check(context)) return err;
  ErrorCode err = 0;
  if (Rec(context)->seq) {
    PF_EventRecord event{};
    event.kind = PF_Event_CloseContext;
    err = Send(context, event, nullptr);
  }
  Free(context);
  return err;
}

ErrorCode FLT_InqContextSeq(FLT_Context context, FLT_Sequence* seq) {
  if (seq) *seq = nullptr;
  if (!seq) return kReport.BadParam(kSiteContext, {"FLT_InqContextSeq"});
  if (ErrorCode err = Check(context)) return err;
  if (!Rec(context)->seq) return kReport.Fail(kSiteContext, 3, kTextNoContext);
  *seq = Rec(context)->seq;
  return 0;
}
