#include "gmpcompare.hpp"

#include "benchsupport.hpp"

#include <gmp.h>

#include <cstddef>
#include <string>
#include <vector>

namespace veldrabench {
namespace {

class integer {
public:
  integer() { mpz_init(value_); }
  explicit integer(const std::string& decimal) {
    mpz_init_set_str(value_, decimal.c_str(), 10);
  }
  ~integer() { mpz_clear(value_); }
  integer(const integer&) = delete;
  integer& operator=(const integer&) = delete;
  mpz_ptr get() { return value_; }

private:
  mpz_t value_;
};

// 10^exponent.
void powerof10(integer& out, std::size_t exponent) {
  mpz_ui_pow_ui(out.get(), 10, exponent);
}

// The operands of the veldra benchmarks of the same length: the digits of
// seeds 1 and 2, or of n/2 digits for a divisor.
struct operands {
  integer a, b, result, modulus;
  explicit operands(std::size_t length, bool halfdivisor = false)
      : a(digittext(randomdigits(length, 1))),
        b(digittext(randomdigits(halfdivisor ? length / 2 : length, 2))) {
    powerof10(modulus, length);
  }
};

// Times `op` on the operands of the benchmark's length.
template <class Op>
void timegmp(benchmark::State& state, Op op, bool halfdivisor = false) {
  operands values(static_cast<std::size_t>(state.range(0)), halfdivisor);
  for (auto _ : state) {
    op(values);
    benchmark::ClobberMemory();
  }
}

} // namespace

void timegmpsum(benchmark::State& state) {
  timegmp(state,
          [](operands& v) { mpz_add(v.result.get(), v.a.get(), v.b.get()); });
}

void timegmpdifference(benchmark::State& state) {
  timegmp(state,
          [](operands& v) { mpz_sub(v.result.get(), v.a.get(), v.b.get()); });
}

void timegmpintproduct(benchmark::State& state) {
  timegmp(state, [](operands& v) {
    mpz_mul(v.result.get(), v.a.get(), v.b.get());
    mpz_tdiv_r(v.result.get(), v.result.get(), v.modulus.get());
  });
}

void timegmpfloatproduct(benchmark::State& state) {
  integer scale;
  powerof10(scale, static_cast<std::size_t>(state.range(0)) / 2);
  timegmp(state, [&scale](operands& v) {
    mpz_mul(v.result.get(), v.a.get(), v.b.get());
    mpz_tdiv_q(v.result.get(), v.result.get(), scale.get());
    mpz_tdiv_r(v.result.get(), v.result.get(), v.modulus.get());
  });
}

void timegmpquotient(benchmark::State& state) {
  timegmp(
      state,
      [](operands& v) { mpz_tdiv_q(v.result.get(), v.a.get(), v.b.get()); },
      true);
}

void timegmpremainder(benchmark::State& state) {
  timegmp(
      state,
      [](operands& v) { mpz_tdiv_r(v.result.get(), v.a.get(), v.b.get()); },
      true);
}

void timegmpfloatquotient(benchmark::State& state) {
  integer scale;
  powerof10(scale, static_cast<std::size_t>(state.range(0)) / 2);
  timegmp(state, [&scale](operands& v) {
    mpz_mul(v.result.get(), v.a.get(), scale.get());
    mpz_tdiv_q(v.result.get(), v.result.get(), v.b.get());
  });
}

void timegmpfromtext(benchmark::State& state) {
  const std::string text =
      digittext(randomdigits(static_cast<std::size_t>(state.range(0)), 1));
  integer value;
  for (auto _ : state) {
    mpz_set_str(value.get(), text.c_str(), 10);
    benchmark::ClobberMemory();
  }
}

void timegmppower(benchmark::State& state) {
  timegmp(state, [](operands& v) {
    mpz_powm_ui(v.result.get(), v.a.get(), 257, v.modulus.get());
  });
}

} // namespace veldrabench
