// The one handle guard: a HandleLock saves a block's state, locks it and
// restores the saved state when it goes out of scope, so a pointer into the
// block stays valid for the guard's life and a caller's own lock survives.
//
// What callers may rely on:
// - While the guard lives the block does not move (see Memory.h); get() is the
//   block's data address, null for an empty guard, a null handle or a purged
//   block.
// - The destructor (or reset()) puts back exactly the state byte the
//   constructor found: a block locked before stays locked, an unlocked one is
//   unlocked again, its purgeable flag is untouched.
// - Typed guards are for trivially copyable records only.
#pragma once

#include <type_traits>
#include <utility>

#include "Memory.h"

namespace tv {

template <class T = char>
class HandleLock {
  static_assert(std::is_trivially_copyable_v<T>, "only trivially copyable records live in handle blocks");

 public:
  HandleLock() = default;
  // h may be null: the guard is then empty.
  explicit HandleLock(Handle h) : h_(h) {
    if (h_) {
      state_ = HGetState(h_);
      HLock(h_);
    }
  }
  ~HandleLock() { reset(); }
  HandleLock(HandleLock&& other) noexcept : h_(std::exchange(other.h_, nullptr)), state_(other.state_) {}
  HandleLock& operator=(HandleLock&& other) noexcept {
    if (this != &other) {
      reset();
      h_ = std::exchange(other.h_, nullptr);
      state_ = other.state_;
    }
    return *this;
  }
  HandleLock(const HandleLock&) = delete;
  HandleLock& operator=(const HandleLock&) = delete;

  // Restores the saved state now; the guard is empty afterwards.
  void reset() {
    if (h_) HSetState(h_, state_);
    h_ = nullptr;
  }

  Handle handle() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }
  T* get() const { return h_ ? reinterpret_cast<T*>(*h_) : nullptr; }
  T* operator->() const { return get(); }
  T& operator*() const { return *get(); }

 private:
  Handle h_ = nullptr;
  SignedByte state_ = 0;
};

}  // namespace tv
