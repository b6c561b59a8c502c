// The digit-array kernels: the validity checks, and multiplylow against GMP
// on random operands and on the lengths where its limb arithmetic changes
// course (limb edges, the Karatsuba and low-split thresholds).
#include "digits.hpp"
#include "support/intmodel.hpp"
#include "support/testseed.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace VELDRA::detail;
using digits = std::vector<digit>;

digits randomdigits(std::mt19937_64& random, std::size_t n) {
  digits d(n);
  for (digit& place : d) {
    place = static_cast<digit>(random() % 10);
  }
  return d;
}

// multiplylow(a, b) at outlen against GMP, and no place written past outlen.
void expectlowproduct(const digits& a, const digits& b, std::size_t outlen) {
  const digits product = veldratest::lowproduct(a, b, outlen);
  digits out(outlen + 1, 42);
  multiplylow(a.data(), a.size(), b.data(), b.size(), out.data(), outlen);
  EXPECT_EQ(out.back(), 42) << "wrote past outlen " << outlen;
  out.pop_back();
  EXPECT_TRUE(out == product)
      << "lengths " << a.size() << " x " << b.size() << ", outlen " << outlen;
}

TEST(MultiplyLow, MatchesGmpOnRandomOperands) {
  const veldratest::testseed seed(20240611);
  std::mt19937_64 random(seed.value());
  for (int round = 0; round < 1500; ++round) {
    digits a = randomdigits(random, random() % 600);
    a.resize(a.size() + (round % 4 == 0 ? random() % 40 : 0)); // leading 0s
    const digits b = randomdigits(random, random() % 600);
    const std::size_t full = a.size() + b.size();
    expectlowproduct(a, b, random() % (full + 1)); // below or at na + nb
    expectlowproduct(a, b, full + random() % 30);  // at or above
  }
}

TEST(MultiplyLow, MatchesGmpOnKaratsubaSizes) {
  // Square low products split from 4864 digits (twice over from 9728, and
  // 4990 places are an odd number of limbs); from 5/8 of the full length up
  // the full product is cut instead; a factor under half the other's length
  // is multiplied slice by slice.
  struct shape {
    std::size_t na, nb, outlen;
  };
  const veldratest::testseed seed(7);
  std::mt19937_64 random(seed.value());
  for (const shape s : {shape{5000, 5000, 3000}, shape{5000, 5000, 5000},
                        shape{5000, 5000, 4990}, shape{5000, 5000, 6000},
                        shape{5000, 5000, 6300}, shape{5000, 5000, 10100},
                        shape{12000, 12000, 12000}, shape{5000, 1300, 6300},
                        shape{9000, 1300, 5000}}) {
    const digits a = randomdigits(random, s.na);
    expectlowproduct(a, randomdigits(random, s.nb), s.outlen);
  }
}

TEST(MultiplyLow, CarriesAcrossLimbsAndThresholds) {
  // Lengths at the 19-digit limb edge, the Karatsuba threshold (64 limbs)
  // and the low-split threshold (256 limbs); all nines carry the furthest.
  const veldratest::testseed seed(3);
  std::mt19937_64 random(seed.value());
  for (std::size_t n :
       {1, 18, 19, 20, 37, 38, 39, 1197, 1216, 1235, 4845, 4864, 4883}) {
    const digits nines(n, 9), other = randomdigits(random, n);
    for (std::size_t outlen : {n - 1, n, n + 1, 2 * n - 1, 2 * n}) {
      expectlowproduct(nines, nines, outlen);
      expectlowproduct(nines, other, outlen);
    }
  }
  // Limbs of a times 10^19 - 1 make the fourth column sum to just under
  // 2^128, so adding the carry from the third wraps it.
  const std::string limb = "8507059173023461587";
  const std::string text = "8507059173023461588" + limb + limb + limb;
  digits a(text.rbegin(), text.rend());
  for (digit& place : a) {
    place = static_cast<digit>(place - '0');
  }
  expectlowproduct(a, digits(76, 9), 152);
}

TEST(MultiplyLow, ZeroFactorsAndEmptyResults) {
  const digits zeros(50, 0), seven{7}, none;
  expectlowproduct(zeros, seven, 60);
  expectlowproduct(none, seven, 5);
  expectlowproduct(seven, seven, 0);
  expectlowproduct(digits{1, 2, 0, 0}, digits{5, 0, 0}, 1); // 21 × 5 = 105
}

TEST(DigitChecks, WellFormedAndSignificantLength) {
  // Whole words and the tail; 0x8a (-118) is the smallest byte whose
  // well-formedness check carries into its neighbour.
  digits d(17, 9);
  for (std::size_t i = 0; i < d.size(); ++i) {
    for (digit bad : {-128, -118, -1, 10, 127}) {
      d[i] = bad;
      EXPECT_FALSE(wellformed(d.data(), d.size())) << int{bad} << " at " << i;
      d[i] = 9;
    }
  }
  EXPECT_TRUE(wellformed(d.data(), d.size()));
  EXPECT_TRUE(wellformed(nullptr, 0));

  digits z(40, 0);
  EXPECT_EQ(significantlength(z.data(), z.size()), 0u);
  for (std::size_t i = 0; i < z.size(); ++i) {
    z[i] = static_cast<digit>(i % 2 == 0 ? 1 : -1); // any non-zero counts
    EXPECT_EQ(significantlength(z.data(), z.size()), i + 1);
    EXPECT_EQ(significantlength(z.data(), i), 0u);
    z[i] = 0;
  }
}

// Either factor holding a digit outside 0..9 sends the product down the
// place-by-place loop, whose places keep what its remainders give.
TEST(Multiply, MalformedFactorTakesThePlaceByPlaceLoop) {
  const digits wellformed = {5, 0};
  const digits malformed = {-1, 1};
  for (const auto& [a, b] :
       {std::pair(wellformed, malformed), std::pair(malformed, wellformed)}) {
    digits out(4, 7);
    multiply(a.data(), a.size(), b.data(), b.size(), out.data(), out.size());
    EXPECT_EQ(out, (digits{-5, 5, 0, 0}));
  }
}

} // namespace
