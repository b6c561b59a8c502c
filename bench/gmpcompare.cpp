#include "gmpcompare.hpp"

#include "benchsupport.hpp"

#include <gmp.h>

#include <cstddef>
#include <string>

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

// The operands of the veldra benchmarks of the same length: seeds 1 and 2.
struct operands {
  integer a, b, product, modulus;
  explicit operands(std::size_t length)
      : a(digittext(randomdigits(length, 1))),
        b(digittext(randomdigits(length, 2))) {
    powerof10(modulus, length);
  }
};

} // namespace

void timegmpintproduct(benchmark::State& state) {
  operands values(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    mpz_mul(values.product.get(), values.a.get(), values.b.get());
    mpz_tdiv_r(values.product.get(), values.product.get(),
               values.modulus.get());
    benchmark::ClobberMemory();
  }
}

void timegmpfloatproduct(benchmark::State& state) {
  const auto length = static_cast<std::size_t>(state.range(0));
  operands values(length);
  integer scale;
  powerof10(scale, length / 2);
  for (auto _ : state) {
    mpz_mul(values.product.get(), values.a.get(), values.b.get());
    mpz_tdiv_q(values.product.get(), values.product.get(), scale.get());
    mpz_tdiv_r(values.product.get(), values.product.get(),
               values.modulus.get());
    benchmark::ClobberMemory();
  }
}

} // namespace veldrabench
