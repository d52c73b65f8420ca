// The value an engine inquiry gives back through its last argument, with the
// call checked to succeed: EXPECT_EQ(OUT(FILE_InqPos, ref), 10) stands for
// declaring the value, calling, checking the code and then the value. A
// number or pointer starts as a pattern no inquiry answers, so a call that
// leaves it unwritten is seen; a record starts cleared.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <type_traits>
#include <utility>

namespace tv::test {

template <class R, class... P, class... A>
auto Out(const char* name, R (*fn)(P...), A&&... args) {
  using Last = std::tuple_element_t<sizeof...(P) - 1, std::tuple<P...>>;
  std::remove_pointer_t<Last> value{};
  if constexpr (std::is_scalar_v<decltype(value)>) std::memset(&value, 0xA5, sizeof value);
  EXPECT_EQ(fn(std::forward<A>(args)..., &value), 0) << name;
  return value;
}

}  // namespace tv::test

#define OUT(fn, ...) ::tv::test::Out(#fn, fn __VA_OPT__(, ) __VA_ARGS__)
