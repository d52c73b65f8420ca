// Exact big-integer models shared by the ratio and time property tests: a
// rational wrapper, the exact half-up conversion between denominators, the
// nearest multiple with ties away from zero, and a generator of ratios that
// favours the 32-bit boundaries, common time scales and cancelling factors.
#pragma once

#include <gmp.h>

#include <climits>
#include <cstdint>
#include <iterator>
#include <random>

#include "M.h"

namespace tv::gmptest {

// A small RAII wrapper over mpq_t.
class Q {
 public:
  Q() { mpq_init(q_); }
  explicit Q(Ratio r) : Q() { Set(r.num, r.den); }
  ~Q() { mpq_clear(q_); }
  Q(const Q&) = delete;
  Q& operator=(const Q&) = delete;
  void Set(int64_t num, uint64_t den) {
    mpz_set_si(mpq_numref(q_), num);
    mpz_set_ui(mpq_denref(q_), den);
    mpq_canonicalize(q_);
  }
  mpq_t& q() { return q_; }
  const mpq_t& q() const { return q_; }
  double d() const { return mpq_get_d(q_); }

 private:
  mpq_t q_;
};

// floor(num * to / from + 1/2) into out; whether that is exact.
inline bool RoundConvert(int32_t num, uint32_t from, uint32_t to, mpz_t out) {
  mpz_t n, d;
  mpz_inits(n, d, nullptr);
  mpz_set_si(n, num);
  mpz_mul_ui(n, n, to);
  mpz_mul_2exp(d, n, 1);
  mpz_add_ui(d, d, from);
  mpz_set_ui(out, from);
  mpz_mul_2exp(out, out, 1);
  mpz_fdiv_q(out, d, out);
  mpz_mul_ui(d, out, from);  // exact when out * from == num * to
  bool exact = mpz_cmp(d, n) == 0;
  mpz_clears(n, d, nullptr);
  return exact;
}

inline bool Fits(const mpz_t v) { return mpz_cmp_si(v, INT32_MAX) <= 0 && mpz_cmp_si(v, INT32_MIN) >= 0; }

class Gen {
 public:
  explicit Gen(uint64_t seed) : rng_(seed) {}
  uint32_t U32() { return static_cast<uint32_t>(rng_()); }
  int32_t Num() {
    switch (rng_() % 6) {
      case 0: return static_cast<int32_t>(U32());
      case 1: return static_cast<int32_t>(U32() % 2001) - 1000;
      case 2: return kNums[rng_() % std::size(kNums)];
      case 3: return static_cast<int32_t>(Smooth()) * ((rng_() & 1) ? 1 : -1);
      case 4: return static_cast<int32_t>(U32() >> (rng_() % 32)) * ((rng_() & 1) ? 1 : -1);
      default: return static_cast<int32_t>(U32() % 65536) - 32768;
    }
  }
  uint32_t Den() {
    uint32_t d = 0;
    switch (rng_() % 6) {
      case 0: d = U32(); break;
      case 1: d = U32() % 1000 + 1; break;
      case 2: d = kDens[rng_() % std::size(kDens)]; break;
      case 3: d = Smooth(); break;
      case 4: d = U32() >> (rng_() % 32); break;
      default: d = U32() % 65536; break;
    }
    return d == 0 ? 1 : d;
  }
  Ratio R() { return Ratio{Num(), Den()}; }
  uint64_t Raw() { return rng_(); }

 private:
  // A product of small primes below 2^31, so that reductions and cancellations happen.
  uint32_t Smooth() {
    static const uint32_t primes[] = {2, 3, 5, 7, 11, 13, 1001, 2997, 30000, 44100};
    uint64_t v = 1;
    for (int i = 0; i < 8; ++i) {
      uint64_t next = v * primes[rng_() % std::size(primes)];
      if (next > 0x7FFFFFFF) break;
      v = next;
    }
    return static_cast<uint32_t>(v);
  }
  static constexpr int32_t kNums[] = {INT32_MIN, INT32_MIN + 1, INT32_MAX, INT32_MAX - 1, 0, 1, -1,
                                      1 << 30, -(1 << 30), 65536, -65536, 1001, 30000};
  static constexpr uint32_t kDens[] = {1,     2,     3,     24,    25,    30,    0x7FFFFFFFu, 0x80000000u,
                                       0x80000001u, 0xFFFFFFFFu, 0xFFFFFFFEu, 65536, 65537, 1001, 30000,
                                       2997,  600,   1000,  44100, 48000, 90000};
  std::mt19937_64 rng_;
};

}  // namespace tv::gmptest
