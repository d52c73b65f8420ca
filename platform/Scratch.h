// The one scratch array: working memory for one operation (rows, kernels,
// tables, temporary vectors), taken from the memory manager with NewPtr so
// that it counts against the memory budget like every other block, and given
// back when the array goes out of scope.
//
// What callers may rely on:
// - Allocation never throws: check ok() (or the bool answer of Allocate).
//   A count whose byte size does not fit in 63 bits fails like a short of
//   memory.
// - An array of 0 elements is ok() with a null data().
// - Elements are not initialised unless the array is cleared; data blocks are
//   at least 16-byte aligned.
// - An array may also grow (Reserve, Resize, Push keep the contents); a failed
//   growth leaves it as it was and tells the bytes it asked for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>
#include <utility>

#include "Memory.h"

namespace tv {

template <class T>
class ScratchArray {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>,
                "scratch arrays hold plain values");

 public:
  ScratchArray() = default;
  explicit ScratchArray(size_t count, bool clear = false) { Allocate(count, clear); }
  ~ScratchArray() { Free(); }
  ScratchArray(ScratchArray&& other) noexcept { Take(other); }
  ScratchArray& operator=(ScratchArray&& other) noexcept {
    if (this != &other) {
      Free();
      Take(other);
    }
    return *this;
  }
  ScratchArray(const ScratchArray&) = delete;
  ScratchArray& operator=(const ScratchArray&) = delete;

  // Replaces the contents by count elements (cleared to zero bytes when
  // asked); false, with an empty array, when memory is short.
  bool Allocate(size_t count, bool clear = false) {
    Free();
    if (count == 0) return true;
    if (count > static_cast<size_t>(INT64_MAX) / sizeof(T)) {
      ok_ = false;
      failedBytes_ = UINT64_MAX;
      return false;
    }
    const Size bytes = static_cast<Size>(count * sizeof(T));
    p_ = reinterpret_cast<T*>(clear ? NewPtrClear(bytes) : NewPtr(bytes));
    ok_ = p_ != nullptr;
    if (!ok_) failedBytes_ = static_cast<uint64_t>(bytes);
    n_ = cap_ = ok_ ? count : 0;
    return ok_;
  }
  // Makes room for n elements, keeping the contents (capacity at least
  // doubles); false, with the array unchanged, when memory is short.
  bool Reserve(size_t n) {
    if (n <= cap_) return true;
    size_t want = cap_ ? cap_ * 2 : 16;
    if (want < n) want = n;
    if (want > static_cast<size_t>(INT64_MAX) / sizeof(T)) {
      failedBytes_ = UINT64_MAX;
      return false;
    }
    Ptr p = NewPtr(static_cast<Size>(want * sizeof(T)));
    if (!p) {
      failedBytes_ = static_cast<uint64_t>(want * sizeof(T));
      return false;
    }
    if (n_) BlockMove(p_, p, static_cast<Size>(n_ * sizeof(T)));
    if (p_) DisposePtr(reinterpret_cast<Ptr>(p_));
    p_ = reinterpret_cast<T*>(p);
    cap_ = want;
    return true;
  }
  bool Resize(size_t n) {
    if (!Reserve(n)) return false;
    n_ = n;
    return true;
  }
  bool Push(const T& v) {
    if (!Reserve(n_ + 1)) return false;
    p_[n_++] = v;
    return true;
  }
  void Clear() { n_ = 0; }
  // Gives the memory back; the array is empty and ok() again.
  void Free() {
    if (p_) DisposePtr(reinterpret_cast<Ptr>(p_));
    p_ = nullptr;
    n_ = cap_ = 0;
    ok_ = true;
  }

  bool ok() const { return ok_; }
  T* data() const { return p_; }
  size_t size() const { return n_; }
  bool empty() const { return n_ == 0; }
  uint64_t bytes() const { return static_cast<uint64_t>(n_) * sizeof(T); }
  // The bytes the last failed allocation asked for.
  uint64_t failedBytes() const { return failedBytes_; }
  T& operator[](size_t i) const { return p_[i]; }
  std::span<T> span() const { return std::span<T>(p_, n_); }
  T* begin() const { return p_; }
  T* end() const { return p_ + n_; }

 private:
  void Take(ScratchArray& other) {
    p_ = std::exchange(other.p_, nullptr);
    n_ = std::exchange(other.n_, 0);
    cap_ = std::exchange(other.cap_, 0);
    ok_ = std::exchange(other.ok_, true);
    failedBytes_ = other.failedBytes_;
  }

  T* p_ = nullptr;
  size_t n_ = 0;
  size_t cap_ = 0;
  bool ok_ = true;
  uint64_t failedBytes_ = 0;
};

}  // namespace tv
