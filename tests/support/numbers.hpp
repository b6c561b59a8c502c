// Shared by the tests of fixedint and fixedfloat: the set-up run before any
// test reads the trace, thrown messages, numbers from digits, and the random
// operands and round counts of the differential tests.
#ifndef VELDRA_TESTS_NUMBERS_HPP
#define VELDRA_TESTS_NUMBERS_HPP

#include "veldra.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace veldratest {

using digitvector = std::vector<signed char>;

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

private:
  std::mt19937_64 rng_;
};

} // namespace veldratest

#endif // VELDRA_TESTS_NUMBERS_HPP
