// Shared by the tests of fixedint and fixedfloat: the set-up run before any
// test reads the trace, thrown messages, numbers from digits, checks of a
// result, and the random operands and rounds of the differential tests.
#ifndef VELDRA_TESTS_NUMBERS_HPP
#define VELDRA_TESTS_NUMBERS_HPP

#include "support/gmpref.hpp"
#include "support/testseed.hpp"
#include "support/tracecapture.hpp"
#include "veldra.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>

namespace veldratest {

// The first number of a process writes the set-up lines before its own; a
// test program that includes this header has them written before any test.
class setupfirst : public testing::Environment {
  void SetUp() override { VELDRA::setup(); }
};
inline testing::Environment* const setupenvironment =
    testing::AddGlobalTestEnvironment(new setupfirst);

// The what() text of the E that `action` throws.
template <class E, class F> std::string whatof(F action) {
  try {
    action();
  } catch (const E& e) {
    return e.what();
  }
  ADD_FAILURE() << "nothing was thrown";
  return {};
}

// A number whose places are `digits`, least significant first.
inline VELDRA::fixedint withdigits(const digitvector& digits,
                                   bool negative = false) {
  VELDRA::fixedint n(digits.size());
  n.digits = digits;
  n.isneg = negative;
  return n;
}

// A fixed-point number whose scaled magnitude is `scaled`: its length is
// that of the digits.
inline VELDRA::fixedfloat floatwithdigits(const digitvector& scaled,
                                          bool negative = false) {
  VELDRA::fixedfloat f(scaled.size());
  f.digits.digits = scaled;
  f.isneg = negative;
  return f;
}

// Sign and every place, top first ("-0042"): a view of a number that hides
// nothing, malformed places included, for comparing with a model.
inline std::string placesof(const digitvector& digits, bool negative) {
  std::string out = negative ? "-" : "";
  for (auto place = digits.rbegin(); place != digits.rend(); ++place) {
    out += std::to_string(*place);
  }
  return out;
}

inline std::string placesof(const VELDRA::fixedint& n) {
  return placesof(n.digits, n.isneg);
}

// `digits` and `negative` hold `value` wrapped to their length, a zero
// never negative.
inline void expectwrapped(const digitvector& digits, bool negative,
                          const bigint& value) {
  const digitvector magnitude = todigits(value, digits.size());
  const bool zero = magnitude == digitvector(digits.size(), 0);
  EXPECT_EQ(placesof(digits, negative),
            placesof(magnitude, mpz_sgn(value.get()) < 0 && !zero));
}

// `n` holds `value` wrapped, with the flags of a fresh result.
inline void expectwrapped(const VELDRA::fixedint& n, const bigint& value) {
  expectwrapped(n.digits, n.isneg, value);
  EXPECT_TRUE(n.numsigned && !n.throwwhenover);
}

// `f` holds the signed scaled value `value` wrapped, the sign in f.isneg
// alone.
inline void expectscaled(const VELDRA::fixedfloat& f, const bigint& value) {
  expectwrapped(f.digits.digits, f.isneg, value);
  EXPECT_FALSE(f.digits.isneg);
}

// The length, sign and flags every fixedfloat operation leaves behind.
inline void expectwellformed(const VELDRA::fixedfloat& number,
                             std::uint64_t length) {
  EXPECT_EQ(number.size, length);
  EXPECT_EQ(number.digits.size, length);
  EXPECT_EQ(number.digits.digits.size(), length);
  EXPECT_FALSE(number.digits.isneg);
  EXPECT_TRUE(number.floatsigned);
}

// asdouble() of a number is the nearest double to its text: strtod of the
// text is the reference, sign of a zero included (the tests run in the "C"
// locale).
inline void expectnearest(double value, const std::string& text) {
  const double expected = std::strtod(text.c_str(), nullptr);
  EXPECT_EQ(value, expected) << text;
  EXPECT_EQ(std::signbit(value), std::signbit(expected)) << text;
}

// Rounds of the main differential tests; VELDRA_DIFF_CASES=100000 runs a
// longer comparison.
inline std::size_t differentialcases() {
  const char* text = std::getenv("VELDRA_DIFF_CASES");
  return text != nullptr ? std::strtoull(text, nullptr, 10) : 20000;
}

// Random operands weighted to where faults hide: zeros (negative ones too),
// all nines, powers of ten (long carry and borrow chains), sparse digits
// (zeros around the point) and random digits up to a random top place.
class operandsource {
public:
  explicit operandsource(std::uint64_t seed) : rng_(seed) {}

  std::size_t below(std::size_t n) { return rng_() % n; }
  bool coin() { return (rng_() & 1) != 0; }

  digitvector digits(std::size_t length) {
    digitvector d(length, 0);
    switch (below(6)) {
    case 0:
      break;
    case 1:
      d.assign(length, 9);
      break;
    case 2:
      if (length > 0) {
        d[below(length)] = 1;
      }
      break;
    case 3:
      for (auto& place : d) {
        place = static_cast<signed char>(below(7) == 0 ? below(10) : 0);
      }
      break;
    default:
      for (std::size_t place = below(length + 1); place-- > 0;) {
        d[place] = static_cast<signed char>(below(10));
      }
    }
    return d;
  }

  VELDRA::fixedint number(std::size_t length) {
    const digitvector d = digits(length);
    return withdigits(d, coin());
  }

  // A right operand for `a`: now and then `a` itself with a random sign
  // (equal magnitudes: zero sums, equality), else a random number of a's
  // length or, when `anylength`, now and then of any length up to 60.
  VELDRA::fixedint partner(const VELDRA::fixedint& a, bool anylength) {
    if (below(6) == 0) {
      VELDRA::fixedint b = a;
      b.isneg = coin();
      return b;
    }
    return number(anylength && below(4) == 0 ? below(61) : a.size);
  }

private:
  std::mt19937_64 rng_;
};

// The fixedint differential tests: `check(op, a, b)` on differentialcases()
// rounds, op drawn from `ops`, a of 1 to 60 places with random flags and b
// its partner (see operandsource::partner), each round under a trace that
// names them and with the trace emptied.
template <class Check>
void differentialrounds(const testseed& seed, std::string_view ops,
                        bool anylength, const Check& check) {
  operandsource source(seed.value());
  const std::size_t rounds = differentialcases();
  for (std::size_t round = 0; round < rounds && !testing::Test::HasFailure();
       ++round) {
    tracecapture::reset();
    const char op = ops[source.below(ops.size())];
    VELDRA::fixedint a = source.number(1 + source.below(60));
    const VELDRA::fixedint b = source.partner(a, anylength);
    a.numsigned = source.coin();
    a.throwwhenover = source.coin();
    SCOPED_TRACE(placesof(a) + " " + op + " " + placesof(b) +
                 (a.numsigned ? "" : ", left unsigned") +
                 (a.throwwhenover ? ", left throws on overflow" : ""));
    check(op, a, b);
  }
  tracecapture::reset();
}

// asdouble() against strtod of asstring() on random numbers of even length,
// now and then past the double range both ways; `make(digits, negative)`
// makes them.
template <class Make>
void expectnearestonrandomdigits(const testseed& seed, const Make& make) {
  operandsource source(seed.value());
  for (int round = 0; round < 3000 && !testing::Test::HasFailure(); ++round) {
    const std::size_t length = 2 + 2 * source.below(round % 10 ? 20 : 400);
    const auto number = make(source.digits(length), source.coin());
    expectnearest(number.asdouble(), number.asstring());
    tracecapture::reset();
  }
}

} // namespace veldratest

#endif // VELDRA_TESTS_NUMBERS_HPP
