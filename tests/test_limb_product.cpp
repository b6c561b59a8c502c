// The limb products against GMP: every kernel around the thresholds that
// choose it, the transform's length edges and columns, and powers.
#include "digits.hpp"
#include "limbs.hpp"
#include "support/gmpref.hpp"
#include "support/testseed.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace VELDRA::detail;
using veldratest::bigint;
using veldratest::digitsof;
using limbs = std::vector<limb>;
using digits = std::vector<digit>;

// Sanitized builds run every path, on fewer random rounds.
#if defined(__SANITIZE_ADDRESS__)
constexpr int rounds = 2;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr int rounds = 2;
#else
constexpr int rounds = 6;
#endif
#else
constexpr int rounds = 6;
#endif

// The random limbs and digits of every test, started from its seed.
std::mt19937_64 rng;
constexpr std::uint64_t rngseed = 20260612;

// n random limbs; every third array all 10^19 - 1, the largest columns.
limbs randomlimbs(std::size_t n) {
  limbs x(n, radix - 1);
  if (rng() % 3 != 0) {
    for (limb& l : x) {
      l = rng() % radix;
    }
  }
  return x;
}

bigint valueof(const limbs& x) {
  digits d(x.size() * limbdigits);
  unpacklimbs(x.data(), x.size(), d.data(), d.size());
  return veldratest::fromdigits(d);
}

// The low k limbs of u v from GMP.
limbs expected(const limbs& u, const limbs& v, std::size_t k) {
  bigint p;
  mpz_mul(p.get(), valueof(u).get(), valueof(v).get());
  const digits d = veldratest::todigits(p, k * limbdigits);
  limbs w(k);
  packlimbs(d.data(), d.size(), w.data());
  return w;
}

// product, and lowproduct at k, of u and v (v empty: u squared), against
// GMP; a guard limb past the result must stay untouched.
void expectproduct(const limbs& u, const limbs& v, std::size_t k) {
  const bool squaring = v.empty();
  const limbs& other = squaring ? u : v;
  const std::size_t m = u.size(), n = other.size();
  limbs w(k + 1, 42);
  limbs t(std::max(productscratch(m, n), 7 * k));
  if (k == m + n) {
    product(u.data(), m, other.data(), n, w.data(), t.data());
  } else {
    lowproduct(u.data(), m, other.data(), n, w.data(), k, t.data());
  }
  EXPECT_EQ(w.back(), 42u) << "wrote past k";
  w.pop_back();
  EXPECT_TRUE(w == expected(u, other, k))
      << m << " x " << n << (squaring ? " (square)" : "") << ", k " << k;
}

// Lengths just below, at and above a threshold: the tests take their
// lengths from the thresholds, so they follow any retuning.
std::vector<std::size_t> around(std::size_t threshold) {
  return {threshold - 1, threshold, threshold + 1};
}

TEST(Product, SchoolbookAndKaratsubaAroundTheirThreshold) {
  const veldratest::testseed seed(rngseed);
  rng.seed(seed.value());
  for (const std::size_t n : around(karatsubathreshold)) {
    const limbs u = randomlimbs(n), v = randomlimbs(n);
    expectproduct(u, v, 2 * n);
    expectproduct(u, randomlimbs(n - 7), 2 * n - 7);
    // A factor below half the other's length goes slice by slice.
    expectproduct(randomlimbs(2 * n + 5), v, 3 * n + 5);
  }
  for (const std::size_t n : around(karatsubasquarethreshold)) {
    expectproduct(randomlimbs(n), {}, 2 * n);
    expectproduct(randomlimbs(2 * n + 1), {}, 4 * n + 2);
  }
}

// n limbs whose Toom-3 thirds (ceil(n/3) limbs, the top one shorter) hold
// `outer`, `middle` and `outer` in every limb: a small outer and a large
// middle make the value at -1, u0 - u1 + u2, negative.
limbs thirds(std::size_t n, limb outer, limb middle) {
  limbs x(n, outer);
  std::fill_n(x.begin() + (n + 2) / 3, (n + 2) / 3, middle);
  return x;
}

// Toom-3 around its thresholds and two levels deep, with the product at -1
// negative, positive from two negative factors, and all limbs 10^19 - 1; a
// shorter factor just above two thirds of the longer (a top third of one or
// two limbs) and at it, where Karatsuba takes over.
TEST(Product, ToomAroundItsThresholdAtEverySign) {
  const veldratest::testseed seed(rngseed);
  rng.seed(seed.value());
  for (const std::size_t n : {toomthreshold - 1, toomthreshold,
                              toomthreshold + 1, 3 * toomthreshold + 2}) {
    const limbs negative = thirds(n, 1, radix - 1), v = randomlimbs(n);
    expectproduct(randomlimbs(n), v, 2 * n);
    expectproduct(negative, v, 2 * n);
    expectproduct(v, negative, 2 * n);
    expectproduct(negative, thirds(n, 7, radix - 2), 2 * n);
    expectproduct(limbs(n, radix - 1), limbs(n, radix - 1), 2 * n);
    for (const std::size_t m : {3 * ((n - 1) / 2), 3 * ((n + 1) / 2)}) {
      expectproduct(randomlimbs(m), v, m + n);
    }
  }
  for (const std::size_t n :
       {toomsquarethreshold - 1, toomsquarethreshold, toomsquarethreshold + 1,
        3 * toomsquarethreshold + 2}) {
    expectproduct(randomlimbs(n), {}, 2 * n);
    expectproduct(thirds(n, 1, radix - 1), {}, 2 * n);
    expectproduct(limbs(n, radix - 1), {}, 2 * n);
  }
}

TEST(Product, KaratsubaAndTransformAroundTheirThreshold) {
  const veldratest::testseed seed(rngseed);
  rng.seed(seed.value());
  for (const std::size_t n : around(nttthreshold)) {
    expectproduct(randomlimbs(n), randomlimbs(n), 2 * n);
    expectproduct(randomlimbs(3 * n), randomlimbs(n), 4 * n);
  }
  for (const std::size_t n : around(nttsquarethreshold)) {
    expectproduct(randomlimbs(n), {}, 2 * n);
  }
}

// Low products of every kind: the low half (k = m = n), a length between
// that and the 5/8 where the full product is cut instead, the full length,
// and unequal factors.
TEST(LowProduct, EveryKernelAroundItsThreshold) {
  const veldratest::testseed seed(rngseed);
  rng.seed(seed.value());
  for (const std::size_t n :
       {lowsplitthreshold - 1, lowsplitthreshold, nttlowthreshold - 1,
        nttlowthreshold, nttlowthreshold + 1}) {
    const limbs u = randomlimbs(n), v = randomlimbs(n);
    expectproduct(u, v, n);
    expectproduct(u, v, n + n / 5);
    expectproduct(u, v, 2 * n - n / 3);
    expectproduct(u, randomlimbs(n / 2 + 1), n + 1);
  }
  for (const std::size_t n :
       {lowsplitsquarethreshold - 1, lowsplitsquarethreshold,
        lowsplitsquarethreshold + 1, nttlowsquarethreshold - 1,
        nttlowsquarethreshold}) {
    const limbs u = randomlimbs(n);
    expectproduct(u, {}, n);     // odd or even k: both splits
    expectproduct(u, {}, n + 1); // of a square
    expectproduct(u, {}, n + n / 4);
  }
}

TEST(LowProduct, RandomShapes) {
  const veldratest::testseed seed(rngseed);
  rng.seed(seed.value());
  for (int round = 0; round < 40 * rounds; ++round) {
    const std::size_t m = 1 + rng() % (lowsplitthreshold * 3);
    const std::size_t n = 1 + rng() % (lowsplitthreshold * 3);
    if (round % 3 == 0) {
      expectproduct(randomlimbs(m), {}, m + rng() % (m + 1));
    } else {
      const std::size_t low = std::max(m, n);
      expectproduct(randomlimbs(m), randomlimbs(n),
                    low + rng() % (m + n - low + 1));
    }
  }
}

// The transform on its own, at lengths where its size changes: columns
// filling a power of two or three times one, and one past either; one
// factor a single limb (only the last levels of butterflies run), squares,
// and results cut below the column count.
TEST(Transform, LengthEdges) {
  const veldratest::testseed seed(rngseed);
  rng.seed(seed.value());
  for (std::size_t power = 1; power <= 2048; power *= 2) {
    for (const std::size_t columns :
         {power, power + 1, 3 * power, 3 * power + 1}) {
      const std::size_t m = (columns + 1) / 2, n = columns + 1 - m;
      const limbs u = randomlimbs(m), v = randomlimbs(n), one = randomlimbs(1);
      limbs full(m + n), half(m), bylimb(m + 1);
      nttproduct(u.data(), m, v.data(), n, full.data(), m + n);
      EXPECT_TRUE(full == expected(u, v, m + n)) << m << " x " << n;
      nttproduct(u.data(), m, u.data(), m, half.data(), m);
      EXPECT_TRUE(half == expected(u, u, m)) << m << " squared, low half";
      nttproduct(u.data(), m, one.data(), 1, bylimb.data(), m + 1);
      EXPECT_TRUE(bylimb == expected(u, one, m + 1)) << m << " x 1";
    }
  }
  EXPECT_EQ(transformlength(1), 1u);
  EXPECT_EQ(transformlength(3), 3u);
  EXPECT_EQ(transformlength(4), 4u);
  EXPECT_EQ(transformlength(5), 6u);
  EXPECT_EQ(transformlength(7), 8u);
  EXPECT_EQ(transformlength(1537), 2048u);
}

// All limbs 10^19 - 1 give the largest columns the three primes rebuild,
// min(m, n) (10^19 - 1)^2, and a carry through every limb.
TEST(Transform, LargestColumns) {
  for (const std::size_t n : {std::size_t{1}, std::size_t{2}, std::size_t{97},
                              std::size_t{500} * rounds}) {
    const limbs nines(n, radix - 1);
    limbs w(2 * n);
    nttproduct(nines.data(), n, nines.data(), n, w.data(), 2 * n);
    EXPECT_TRUE(w == expected(nines, nines, 2 * n)) << n;
    const limbs copy(nines.begin(), nines.end());
    nttproduct(nines.data(), n, copy.data(), n, w.data(), 2 * n);
    EXPECT_TRUE(w == expected(nines, nines, 2 * n)) << n;
  }
}

digits randomdigits(std::size_t n) { return veldratest::randomdigits(rng, n); }

// power(base, exponent) at outlen against GMP's powm modulo 10^outlen, and
// no place written past outlen.
void expectpower(const digits& base, const digits& exponent,
                 std::size_t outlen) {
  bigint value;
  mpz_powm(value.get(), veldratest::fromdigits(base).get(),
           veldratest::fromdigits(exponent).get(),
           veldratest::powerof10(outlen).get());
  digits out(outlen + 1, 42);
  power(base.data(), base.size(), exponent.data(), exponent.size(), out.data(),
        outlen);
  EXPECT_EQ(out.back(), 42) << "wrote past outlen";
  out.pop_back();
  EXPECT_TRUE(out == veldratest::todigits(value, outlen))
      << base.size() << " digits ^ " << exponent.size() << " digits, outlen "
      << outlen;
}

// Exponents 0, 1 and 2; 257 (eight squares and a product); the largest that
// fits a word and the smallest that does not; and a long one, a decimal
// digit at a time.
TEST(Power, MatchesGmpPowm) {
  const veldratest::testseed seed(rngseed);
  rng.seed(seed.value());
  const std::vector<digits> exponents = {{},
                                         {1},
                                         {2},
                                         {7, 5, 2},
                                         digitsof("18446744073709551615"),
                                         digitsof("18446744073709551616"),
                                         randomdigits(40)};
  for (const std::size_t outlen :
       {std::size_t{1}, std::size_t{19}, std::size_t{100},
        lowsplitsquarethreshold * limbdigits + 5}) {
    const digits base = randomdigits(outlen);
    for (const digits& e : exponents) {
      expectpower(base, e, outlen);
    }
  }
  // Squares long enough for the transform, and a base longer than the
  // result, whose top places cannot matter.
  const std::size_t outlen = nttlowsquarethreshold * limbdigits + 3;
  expectpower(randomdigits(outlen), {3}, outlen);
  expectpower(randomdigits(2 * outlen), {2}, outlen);
}

TEST(Power, ZerosOnesAndShortBases) {
  expectpower({}, {}, 5);            // 0^0 = 1
  expectpower({0, 0}, {0, 0, 0}, 5); // leading zeros everywhere
  expectpower({}, {3}, 5);
  expectpower({1}, digitsof("99999999999999999999999"), 30);
  expectpower({3}, {0, 0, 1}, 40); // 3^100: the power outgrows 1 limb
  expectpower({2}, digitsof("100000000000000000000"), 60);
  expectpower({0, 1}, {0, 2}, 50); // 10^20 wraps to zero
  digits out{7};
  power(nullptr, 0, nullptr, 0, out.data(), 0);
  EXPECT_EQ(out, digits{7}); // no places, nothing written
}

// The preconditions the kernels state, checked where the build keeps
// assertions: a call that breaks one ends the process naming it.
TEST(Contracts, ABrokenPreconditionAbortsNamingIt) {
#ifdef NDEBUG
  GTEST_SKIP() << "VELDRA_ASSERT is compiled out of this build";
#else
  limbs u{1, 2, 3, 4}, w(8), t(64);
  digits d{1, 2, 3, 4}, q(4);
  const digits zero{0, 0}, malformed{12, 1};
  EXPECT_DEATH(lowproduct(u.data(), 3, u.data() + 3, 1, w.data(), 2, t.data()),
               "contract broken: m <= k");
  EXPECT_DEATH(addplaces(d.data(), d.data(), d.data() + 1, 3),
               "contract broken: !overlap");
  EXPECT_DEATH(divide(d.data(), 4, zero.data(), 2, q.data(), 4, nullptr, 0),
               "contract broken: n > 0");
  EXPECT_DEATH(multiplybylimbs(malformed.data(), 2, d.data(), 4, q.data(), 4),
               "contract broken: wellformed");
#endif
}

} // namespace
