// Long division of digit arrays against GMP: the machine-word and single-
// limb paths, schoolbook division with its scaling, estimate and add-back,
// and the recursive division at and around divthreshold, with quotient and
// remainder each written alone, whole, or cut to fewer places.
#include "digits.hpp"
#include "limbs.hpp"
#include "support/gmpref.hpp"
#include "support/numbers.hpp"
#include "support/testseed.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace VELDRA::detail;
using veldratest::bigint;
using veldratest::fromdigits;
using veldratest::todigits;
using digits = std::vector<digit>;

constexpr digit guard = 42;

// divide(a, b) into outputs of nq and nr places, either left out when its
// length is npos, against GMP; the place after each output stays untouched.
void expectplaces(const digits& a, const digits& b, std::size_t nq,
                  std::size_t nr) {
  bigint q, r;
  mpz_tdiv_qr(q.get(), r.get(), fromdigits(a).get(), fromdigits(b).get());
  const bool wantq = nq != std::string::npos, wantr = nr != std::string::npos;
  digits qout(wantq ? nq + 1 : 0, guard), rout(wantr ? nr + 1 : 0, guard);
  divide(a.data(), a.size(), b.data(), b.size(), wantq ? qout.data() : nullptr,
         nq, wantr ? rout.data() : nullptr, nr);
  if (wantq) {
    EXPECT_EQ(qout.back(), guard) << "quotient written past " << nq;
    qout.pop_back();
    EXPECT_TRUE(qout == todigits(q, nq)) << "quotient, " << nq << " places";
  }
  if (wantr) {
    EXPECT_EQ(rout.back(), guard) << "remainder written past " << nr;
    rout.pop_back();
    EXPECT_TRUE(rout == todigits(r, nr)) << "remainder, " << nr << " places";
  }
}

// Both outputs longer than needed, then shorter, then each alone.
void expectdivision(const digits& a, const digits& b) {
  SCOPED_TRACE(std::to_string(a.size()) + " / " + std::to_string(b.size()) +
               " digits");
  constexpr std::size_t none = std::string::npos;
  expectplaces(a, b, a.size() + 3, b.size() + 3);
  expectplaces(a, b, a.size() / 3, b.size() / 2);
  expectplaces(a, b, a.size(), none);
  expectplaces(a, b, none, b.size());
}

// Digits of values that GMP builds, least significant first.
digits digitsof(const bigint& value) {
  return todigits(value, value.str() == "0" ? 0 : value.str().size());
}

bigint radixpower(std::size_t limbs) {
  return veldratest::powerof10(limbs * limbdigits);
}

// A number of exactly `length` digits: random ones, or runs of nines that
// make the quotient estimates and corrections work hardest.
class operands {
public:
  explicit operands(std::uint64_t seed) : random_(seed) {}

  digits exact(std::size_t length) {
    digits d(length);
    const bool nines = random_() % 3 == 0;
    for (digit& place : d) {
      place =
          static_cast<digit>(nines && random_() % 8 != 0 ? 9 : random_() % 10);
    }
    if (length > 0 && d.back() == 0) {
      d.back() = 1;
    }
    return d;
  }

  std::size_t below(std::size_t n) { return random_() % n; }

private:
  std::mt19937_64 random_;
};

TEST(LimbDivision, MachineWordAndSingleLimbDivisors) {
  const veldratest::testseed seed(1);
  operands source(seed.value());
  const digits one{1}, nines(limbdigits, 9);
  digits half(limbdigits, 0); // radix / 2
  half.back() = 5;
  for (std::size_t na : {std::size_t{1}, limbdigits - 1, limbdigits,
                         limbdigits + 1, 3 * limbdigits, std::size_t{1000}}) {
    for (int round = 0; round < 20; ++round) {
      const digits a = source.exact(na);
      expectdivision(a, source.exact(1 + source.below(limbdigits)));
      expectdivision(a, one);
      expectdivision(a, nines);
      expectdivision(a, half);
    }
  }
  // Leading zeros do not count: 19 significant digits are one word.
  digits padded = source.exact(limbdigits);
  padded.resize(200, 0);
  expectdivision(padded, digits{7, 0, 0, 0});
}

TEST(LimbDivision, DividendShorterThanOrAsLongAsTheDivisor) {
  const veldratest::testseed seed(2);
  operands source(seed.value());
  for (std::size_t nb : {limbdigits + 1, 2 * limbdigits, 5 * limbdigits + 3,
                         (divthreshold + 1) * limbdigits}) {
    for (int round = 0; round < 10; ++round) {
      const digits b = source.exact(nb);
      expectdivision(source.exact(1 + source.below(nb - 1)), b);
      expectdivision(source.exact(nb), b);
      expectdivision(b, b);
      expectdivision(digits{0, 0, 0}, b);
    }
  }
}

TEST(LimbDivision, ScalingOfEveryDivisorTopLimb) {
  // The divisor's top limb decides the scale factor: 1 (factor about
  // radix / 2), up to at least radix / 2 (no scaling); the dividend may gain
  // a limb by the scaling or not.
  const veldratest::testseed seed(3);
  operands source(seed.value());
  for (const char* top :
       {"1", "2", "4999999999999999999", "5000000000000000000",
        "9999999999999999999", "3162277660168379332"}) {
    for (std::size_t below : {1, 2, 7}) {
      const bigint high(top);
      bigint b;
      mpz_mul(b.get(), high.get(), radixpower(below).get());
      mpz_add(b.get(), b.get(),
              fromdigits(source.exact(below * limbdigits)).get());
      const digits bd = digitsof(b);
      for (int round = 0; round < 8; ++round) {
        const std::size_t extra = source.below(4 * limbdigits);
        expectdivision(source.exact(bd.size() + extra), bd);
      }
    }
  }
}

// Dividends whose quotient limb, estimated from the top three limbs of the
// window over the divisor's top two, is one too large: the product
// subtracted overshoots and the divisor is added back.  A divisor of whole
// limbs with a top limb of at least radix / 2 is not scaled, so the window
// is the dividend's limbs as written.  a = q (b's top two limbs)
// radix^(n - 2) for 2 <= q < radix is n + 1 limbs whose estimate is q, while
// b exceeds its top two limbs by the lower ones, so a / b is q - 1.
TEST(LimbDivision, AddBackAfterAnEstimateOneTooLarge) {
  const veldratest::testseed seed(4);
  operands source(seed.value());
  for (std::size_t n :
       {std::size_t{3}, std::size_t{4}, std::size_t{6}, divthreshold + 3}) {
    for (int round = 0; round < 12; ++round) {
      digits bd = source.exact(n * limbdigits);
      bd.back() = static_cast<digit>(5 + source.below(5));
      bd[source.below(limbdigits)] = 1; // the lower limbs are not all zero
      const bigint b = fromdigits(bd);
      bigint top, a, q, overshoot;
      mpz_tdiv_q(top.get(), b.get(), radixpower(n - 2).get());
      const bigint qhat(
          fromdigits(source.exact(2 + source.below(limbdigits - 1))));
      mpz_mul(a.get(), top.get(), qhat.get());
      mpz_mul(a.get(), a.get(), radixpower(n - 2).get());
      mpz_tdiv_q(q.get(), a.get(), b.get());
      mpz_sub(overshoot.get(), qhat.get(), q.get());
      ASSERT_EQ(mpz_cmp_ui(overshoot.get(), 1), 0) << "not an add-back case";
      expectdivision(digitsof(a), bd);
    }
  }
}

TEST(LimbDivision, QuotientLimbsOfRadixMinusOne) {
  // a = b (radix^k - 1) + b - 1: every quotient limb is 10^19 - 1 and the
  // remainder as large as it gets.
  const veldratest::testseed seed(5);
  operands source(seed.value());
  for (std::size_t n : {std::size_t{2}, std::size_t{4}, divthreshold - 1,
                        divthreshold, 2 * divthreshold + 1}) {
    for (std::size_t k : {std::size_t{1}, std::size_t{3}, n, 2 * n + 1}) {
      const bigint b =
          fromdigits(source.exact(n * limbdigits - source.below(3)));
      bigint a, factor;
      mpz_sub_ui(factor.get(), radixpower(k).get(), 1);
      mpz_mul(a.get(), b.get(), factor.get());
      mpz_add(a.get(), a.get(), b.get());
      mpz_sub_ui(a.get(), a.get(), 1);
      expectdivision(digitsof(a), digitsof(b));
    }
  }
  // a = (b's top limb) radix^n for an unscaled b of n limbs: the window's
  // top limb equals the divisor's, so the estimate starts from radix - 1.
  for (std::size_t n : {2, 3, 5}) {
    digits b = source.exact(n * limbdigits);
    b.back() = static_cast<digit>(5 + source.below(5));
    b[source.below(limbdigits)] = 1;
    digits a(n * limbdigits, 0);
    a.insert(a.end(), b.end() - limbdigits, b.end());
    expectdivision(a, b);
  }
}

TEST(LimbDivision, RecursiveDivisionAroundTheThreshold) {
  // Divisors from just below the threshold to several times it, odd sizes
  // among them, by quotients of one limb up to several blocks of the
  // divisor's length: a first block shorter than the divisor divides by its
  // top limbs, then full blocks follow.
  const veldratest::testseed seed(6);
  operands source(seed.value());
  const std::size_t t = divthreshold;
  for (std::size_t n :
       {t - 1, t, t + 1, 2 * t - 1, 2 * t, 2 * t + 1, 4 * t + 3}) {
    for (std::size_t qn : {std::size_t{1}, std::size_t{2}, t / 2, t - 1, n - 1,
                           n, n + 1, 2 * n + 5, 3 * n}) {
      for (int round = 0; round < 3; ++round) {
        const std::size_t nb = n * limbdigits - source.below(limbdigits);
        expectdivision(source.exact(nb + qn * limbdigits), source.exact(nb));
      }
    }
  }
}

// dividescaled(a, b, places) against GMP's quotient of a 10^places by b.
void expectscaled(const digits& a, const digits& b, std::size_t places) {
  bigint q;
  mpz_mul(q.get(), fromdigits(a).get(), veldratest::powerof10(places).get());
  mpz_tdiv_q(q.get(), q.get(), fromdigits(b).get());
  const std::size_t nq = a.size() + places + 1;
  digits out(nq + 1, guard);
  dividescaled(a.data(), a.size(), places, b.data(), b.size(), out.data(), nq);
  EXPECT_EQ(out.back(), guard) << "quotient written past " << nq;
  out.pop_back();
  EXPECT_TRUE(out == todigits(q, nq)) << places << " places";
}

TEST(LimbDivision, QuotientEstimatesAndScaledDividends) {
  // A quotient alone is estimated from the divisor's top limbs one limb
  // past the units, and checked by a product when that limb could have
  // been carried into: exact quotients, and dividends just above or just
  // below a multiple, always are.  Dividends moved up across limbs.
  const veldratest::testseed seed(8);
  operands source(seed.value());
  const std::size_t t = divthreshold;
  for (std::size_t n : {t - 1, t, t + 1, 2 * t + 3, 5 * t}) {
    for (std::size_t qn : {std::size_t{1}, n / 2, n, 2 * n + 1}) {
      const digits b = source.exact(n * limbdigits - source.below(limbdigits));
      bigint a;
      mpz_mul(a.get(), fromdigits(b).get(),
              fromdigits(source.exact(qn * limbdigits)).get());
      expectdivision(digitsof(a), b);
      mpz_sub_ui(a.get(), a.get(), 1);
      expectdivision(digitsof(a), b);
      mpz_add_ui(a.get(), a.get(), 2);
      expectdivision(digitsof(a), b);
      for (std::size_t places : {std::size_t{0}, std::size_t{1}, limbdigits,
                                 limbdigits + 1, qn * limbdigits - 7}) {
        expectscaled(source.exact(b.size() - source.below(b.size() / 2)), b,
                     places);
      }
    }
  }
}

TEST(LimbDivision, MatchesGmpOnVariedOperands) {
  const veldratest::testseed seed(7);
  veldratest::operandsource source(seed.value());
  operands lengths(seed.value() + 1);
  for (int round = 0; round < 400; ++round) {
    const std::size_t max =
        round % 10 == 0 ? 8 * divthreshold * limbdigits : 3 * limbdigits;
    const digits a = source.digits(1 + lengths.below(max));
    const digits b = source.digits(1 + lengths.below(max));
    if (significantlength(b.data(), b.size()) != 0) {
      expectdivision(a, b);
    }
  }
}

#if defined(__SIZEOF_INT128__)
// The portable 128-bit arithmetic, bit counts and byte swap against the
// compiler's own, on operands made of the edges of a word and of a limb.
TEST(Portable, MatchesTheIntrinsics) {
  __extension__ using wide = unsigned __int128;
  const limb edges[] = {0,
                        1,
                        2,
                        0xffffffffu,
                        0x100000000,
                        0x123456789abcdef,
                        radix - 1,
                        radix,
                        limb{1} << 63,
                        ~limb{0} - 1,
                        ~limb{0}};
  const auto same = [](wideportable p, wide w) {
    return static_cast<limb>(p) == static_cast<limb>(w) &&
           static_cast<limb>(p >> 64) == static_cast<limb>(w >> 64);
  };
  const unsigned shifts[] = {0, 1, 31, 32, 63, 64, 65, 127};
  for (const limb high : edges) {
    for (const limb low : edges) {
      const wideportable p = wideportable(high) << 64 | low;
      const wide w = wide(high) << 64 | low;
      SCOPED_TRACE(std::to_string(high) + " 2^64 + " + std::to_string(low));
      EXPECT_TRUE(same(~p, ~w));
      for (const unsigned n : shifts) {
        EXPECT_TRUE(same(p << n, w << n) && same(p >> n, w >> n)) << n;
      }
      for (const limb b : edges) {
        const wideportable q = wideportable(b) << 64 | high;
        const wide v = wide(b) << 64 | high;
        EXPECT_TRUE(same(p + q, w + v) && same(p * q, w * v)) << b;
        EXPECT_EQ((p < q) + 2 * (p > q) + 4 * (p == q),
                  (w < v) + 2 * (w > v) + 4 * (w == v))
            << b;
        if (b != 0) {
          EXPECT_TRUE(same(p / b, w / b) && same(p % b, w % b)) << b;
        }
      }
    }
    if (high != 0) {
      EXPECT_EQ(leadingzerosportable(high), __builtin_clzll(high));
      EXPECT_EQ(trailingzerosportable(high), __builtin_ctzll(high));
    }
    EXPECT_EQ(byteswapportable(high), __builtin_bswap64(high));
  }
}
#endif

} // namespace
