// An undoable change of what a parameter of an effect on a layer holds
// outside its stream: the effect's own data (set from text), or the layer a
// layer parameter reads. One step of the undo stack; its inverse holds the
// value the parameter had, and each undo or redo swaps again.
//
// Traits gives:
//   Value                  what the parameter holds (copied by value)
//   Exchange(seq, param, v, &old)  puts v in, gives the value it had (the
//                          inverse's to own); fails leaving the parameter as it was
//   Release(v)             frees a value a record owns
//   Valid(v)               whether a record's value can be put back
#pragma once

#include "BEE_cmd_internal.h"

namespace tv::bee {

template <class Traits>
class EffectParamSwap {
 public:
  using Value = typename Traits::Value;

  // Carries the change out as one undo step named by the text number.
  static ErrorCode Run(BEE_Layer layer, int32_t effect, int32_t param, const Value& value,
                       uintptr_t undoName) {
    const Request request{layer, Held{effect, param, value}};
    BEE_TaskBlock task{&Set, {}};
    intptr_t words[2] = {reinterpret_cast<intptr_t>(&task), reinterpret_cast<intptr_t>(&request)};
    ErrorCode err = StartGroup(UndoStack(), nullptr, undoName);
    if (!err) {
      err = BEE_DoCommand(BEE_CmdNumTask, words);
      EndGroup(UndoStack());
    }
    return err;
  }

 private:
  // A value of an effect's parameter, owned by the record that holds it.
  struct Held {
    intptr_t effect;
    intptr_t param;
    Value value;
  };
  // What Run hands its task: the caller's for the call.
  struct Request {
    BEE_Layer layer;
    Held held;
  };
  static void Dispose(BEE_CmdRec* rec);
  static BEE_OP(Back);
  struct BackCmd {  // gives the parameter its value back (undo, redo)
    static constexpr BEE_CmdOp kOp = &Back;
    static constexpr BEE_CmdDispose kOwned = &Dispose;
    BEE_Layer layer;
    Held* held;
  };

  static ErrorCode Swap(BEE_Layer layer, const Held& held, BEE_CmdRec* inv) {
    Handle seq = nullptr;
    if (ErrorCode err = EffectSeq(layer, held.effect, &seq)) return err;
    Held* block = nullptr;
    if (ErrorCode err = NewCopy(&held, 1, &block)) return err;
    if (ErrorCode err = Traits::Exchange(seq, static_cast<int32_t>(held.param), held.value, &block->value)) {
      DisposePtr(reinterpret_cast<Ptr>(block));
      return err;
    }
    TouchLayer(layer);
    SetInverse(inv, BackCmd{layer, block});
    return 0;
  }
  static BEE_OP(Set) {
    const auto* request = reinterpret_cast<const Request*>(rec->param2);
    if (!request) return kErrBadParam;
    return Swap(request->layer, request->held, inv);
  }
};

template <class Traits>
void EffectParamSwap<Traits>::Dispose(BEE_CmdRec* rec) {
  BackCmd c = Words<BackCmd>(*rec);
  if (c.held) {
    Traits::Release(c.held->value);
    DisposePtr(reinterpret_cast<Ptr>(c.held));
  }
  c.held = nullptr;
  Store(*rec, c);
}

template <class Traits>
BEE_OP(EffectParamSwap<Traits>::Back) {
  const auto [layer, held] = Words<BackCmd>(*rec);
  if (!held || !Traits::Valid(held->value)) return kErrBadParam;
  return Swap(layer, *held, inv);
}

}  // namespace tv::bee
