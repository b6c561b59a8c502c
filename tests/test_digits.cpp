// The digit layer's kernels: the checks, multiplybylimbs against GMP, sums and
// differences on every path, comparisons, words, limbs and text, and the
// nearest double to a decimal value.
#include "digits.hpp"
#include "limbs.hpp"
#include "support/gmpref.hpp"
#include "support/intmodel.hpp"
#include "support/testseed.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace VELDRA::detail;
using digits = std::vector<digit>;
using veldratest::randomdigits;

// multiplybylimbs(a, b) at outlen against GMP, and no place written past
// outlen.
void expectlowproduct(const digits& a, const digits& b, std::size_t outlen) {
  const digits product = veldratest::lowproduct(a, b, outlen);
  digits out(outlen + 1, 42);
  multiplybylimbs(a.data(), a.size(), b.data(), b.size(), out.data(), outlen);
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

// Lengths at the 19-digit limb edge and at the limb counts where the
// Karatsuba and the split low products take over, taken from the thresholds;
// all nines carry the furthest.
TEST(MultiplyLow, CarriesAcrossLimbsAndThresholds) {
  const veldratest::testseed seed(3);
  std::mt19937_64 random(seed.value());
  std::vector<std::size_t> lengths = {1, 18, 19, 20, 37, 38, 39};
  for (const std::size_t limbs : {karatsubathreshold, lowsplitthreshold}) {
    const std::size_t n = limbs * limbdigits;
    lengths.insert(lengths.end(), {n - limbdigits, n, n + 1});
  }
  for (const std::size_t n : lengths) {
    const digits nines(n, 9), other = randomdigits(random, n);
    for (std::size_t outlen : {n - 1, n, n + 1, 2 * n - 1, 2 * n}) {
      expectlowproduct(nines, nines, outlen);
      expectlowproduct(nines, other, outlen);
    }
  }
  // Limbs of a times 10^19 - 1 make the fourth column sum to just under
  // 2^128, so adding the carry from the third wraps it.
  const std::string limb = "8507059173023461587";
  const digits a =
      veldratest::digitsof("8507059173023461588" + limb + limb + limb);
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
    for (const digit bad :
         {digit{-128}, digit{-118}, digit{-1}, digit{10}, digit{127}}) {
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
    multiplydigits(a.data(), a.size(), b.data(), b.size(), out.data(),
                   out.size());
    EXPECT_EQ(out, (digits{-5, 5, 0, 0}));
  }
}

// ---------------------------------------------------------------------------
// Sums and differences
// ---------------------------------------------------------------------------

using kernelfunction = int (*)(const digit*, const digit*, digit*, std::size_t,
                               int);

// Each kernel this machine has: the portable one always, so both paths run
// here.
struct kernelpair {
  const char* name;
  kernelfunction add, subtract;
};
const kernelpair kernels[] = {
    {"portable", kernel::addportable, kernel::subtractportable},
#if defined(VELDRA_HAS_SSE2)
    {"sse2", kernel::addsse2, kernel::subtractsse2},
#endif
};

// Word and register edges, and longer runs.
const std::size_t edgelengths[] = {0,  1,  7,  8,  9,  15, 16,  17,
                                   31, 32, 33, 63, 64, 65, 200, 4099};

// The schoolbook sum or difference, one place at a time: the reference.
int referencerun(bool add, const digits& a, const digits& b, digits& out,
                 int carry) {
  for (std::size_t i = 0; i < a.size(); ++i) {
    int place = add ? a[i] + b[i] + carry : a[i] - b[i] - carry;
    carry = add ? place / 10 : place < 0;
    place = add ? place % 10 : place + 10 * carry;
    out[i] = static_cast<digit>(place);
  }
  return carry;
}

// One kernel against the reference, into a separate buffer (nothing written
// past n) and into each operand itself.
void expectrun(const kernelpair& k, bool add, const digits& a, const digits& b,
               int carry) {
  SCOPED_TRACE(std::string(k.name) + (add ? " add" : " subtract") +
               ", length " + std::to_string(a.size()) + ", carry in " +
               std::to_string(carry));
  const kernelfunction run = add ? k.add : k.subtract;
  digits want(a.size());
  const int wantcarry = referencerun(add, a, b, want, carry);
  digits out(a.size() + 1, 42);
  EXPECT_EQ(run(a.data(), b.data(), out.data(), a.size(), carry), wantcarry);
  EXPECT_EQ(out.back(), 42) << "wrote past the end";
  out.pop_back();
  EXPECT_EQ(out, want);
  digits ina = a, inb = b;
  EXPECT_EQ(run(ina.data(), b.data(), ina.data(), a.size(), carry), wantcarry);
  EXPECT_EQ(run(a.data(), inb.data(), inb.data(), a.size(), carry), wantcarry);
  EXPECT_TRUE(ina == want && inb == want) << "in place";
}

// Random digits, and carries or borrows that run the whole length: nines
// plus one, 10^n minus one, zero minus a borrow, and stretches of places
// summing to 9 (or differing by 0) at every offset, which pass on a carry
// (borrow) from below.
TEST(SumKernels, MatchTheReferenceAcrossWordsAndRegisters) {
  const veldratest::testseed seed(13);
  std::mt19937_64 random(seed.value());
  for (const kernelpair& k : kernels) {
    for (const std::size_t n : edgelengths) {
      const digits nines(n, 9), zeros(n, 0);
      digits one(n, 0), power(n, 0);
      if (n > 0) {
        one[0] = 1;
        power[n - 1] = 1;
      }
      expectrun(k, true, nines, one, 0);
      expectrun(k, true, nines, zeros, 1);
      expectrun(k, false, power, one, 0);
      expectrun(k, false, zeros, zeros, 1);
      for (int round = 0; round < 12 && n > 0; ++round) {
        const digits a = randomdigits(random, n);
        digits sumto9 = randomdigits(random, n), same = sumto9;
        expectrun(k, round % 2 == 0, a, sumto9, round / 2 % 2);
        const std::size_t from = random() % n;
        const std::size_t to = from + random() % (n - from + 1);
        for (std::size_t i = from; i < to; ++i) {
          sumto9[i] = static_cast<digit>(9 - a[i]);
          same[i] = a[i];
        }
        expectrun(k, true, a, sumto9, round % 2);
        expectrun(k, false, a, same, round % 2);
      }
    }
  }
}

TEST(SumKernels, ReportMalformedElementsAnywhere) {
  const veldratest::testseed seed(14);
  std::mt19937_64 random(seed.value());
  for (const kernelpair& k : kernels) {
    for (const std::size_t n : {1, 8, 15, 40}) {
      for (std::size_t i = 0; i < n; ++i) {
        for (const digit bad :
             {digit{-128}, digit{-1}, digit{10}, digit{127}}) {
          digits a = randomdigits(random, n), b = randomdigits(random, n);
          (i % 2 == 0 ? a : b)[i] = bad;
          digits out(n);
          SCOPED_TRACE(std::string(k.name) + ": " + std::to_string(bad) +
                       " at " + std::to_string(i) + " of " + std::to_string(n));
          EXPECT_EQ(k.add(a.data(), b.data(), out.data(), n, 0), notdigits);
          EXPECT_EQ(k.subtract(a.data(), b.data(), out.data(), n, 1),
                    notdigits);
        }
      }
    }
  }
}

// Malformed elements take the place-by-place loops, whose places keep what
// their signed 8-bit arithmetic gives; well-formed ones the kernels.
TEST(SumPlaces, MalformedElementsKeepThePlaceByPlaceResults) {
  struct placecase {
    bool add;
    digits a, b, out;
    digit carry;
  };
  const placecase cases[] = {
      {true, {12, 0}, {12, 0}, {4, 2}, 0},    // 24: two tens carried
      {true, {127, 0}, {127, 0}, {-2, 0}, 0}, // 254 wraps to -2
      {true, {50}, {50}, {0}, 10},            // carry above nine
      {false, {-3, 5}, {9, 0}, {8, 3}, 0},    // -12: two tens borrowed
      {false, {0, 0}, {0, 12}, {0, 8}, 2},
      {true, {5, 9, 9}, {5, 0, 0}, {0, 0, 0}, 1},
      {false, {0, 0, 1}, {1, 0, 0}, {9, 9, 0}, 0},
  };
  for (const placecase& c : cases) {
    digits out(c.a.size());
    const digit carry =
        c.add ? addplaces(c.a.data(), c.b.data(), out.data(), out.size())
              : subtractplaces(c.a.data(), c.b.data(), out.data(), out.size());
    EXPECT_EQ(out, c.out);
    EXPECT_EQ(int{carry}, int{c.carry});
  }
}

// ---------------------------------------------------------------------------
// Comparisons
// ---------------------------------------------------------------------------

int sign(int order) { return (order > 0) - (order < 0); }

// Random magnitudes with leading zeros at random lengths, against GMP; the
// fixed-point ones scaled to the same number of fraction places.
TEST(Comparisons, MatchGmpAcrossLengthsAndPoints) {
  const veldratest::testseed seed(16);
  std::mt19937_64 random(seed.value());
  for (int round = 0; round < 3000; ++round) {
    const std::size_t na = random() % 70, nb = random() % 70;
    digits a = randomdigits(random, na);
    digits b = round % 3 == 0 ? a : randomdigits(random, nb);
    b.resize(round % 5 == 0 ? b.size() + random() % 20 : b.size());
    std::fill(a.begin() + static_cast<std::ptrdiff_t>(random() % (na + 1)),
              a.end(), 0);
    const int want = mpz_cmp(veldratest::fromdigits(a).get(),
                             veldratest::fromdigits(b).get());
    EXPECT_EQ(comparesignificant(a.data(), a.size(), b.data(), b.size()),
              sign(want));

    const std::size_t ha = random() % (a.size() + 3);
    const std::size_t hb = random() % (b.size() + 3);
    veldratest::bigint x = veldratest::fromdigits(a),
                       y = veldratest::fromdigits(b);
    const std::size_t h = std::max(ha, hb);
    mpz_mul(x.get(), x.get(), veldratest::powerof10(h - ha).get());
    mpz_mul(y.get(), y.get(), veldratest::powerof10(h - hb).get());
    EXPECT_EQ(comparealigned(a.data(), a.size(), ha, b.data(), b.size(), hb),
              sign(mpz_cmp(x.get(), y.get())))
        << na << " places, " << ha << " after the point, against " << nb << ", "
        << hb;
  }
}

// Elements compare as signed values where they stand.
TEST(Comparisons, MalformedElementsCountWhereTheyStand) {
  const digits minus{0, -1}, five{5}, two{0, 2};
  EXPECT_EQ(comparesignificant(minus.data(), 2, five.data(), 1), 1);
  EXPECT_EQ(comparesignificant(minus.data(), 2, two.data(), 2), -1);
  EXPECT_EQ(comparealigned(minus.data(), 2, 0, five.data(), 1, 0), -1);
  // -1 in the lowest fraction place of a, where b has no place at all.
  const digits low{-1, 5}, whole{5};
  EXPECT_EQ(comparealigned(low.data(), 2, 1, whole.data(), 1, 0), -1);
  EXPECT_EQ(comparealigned(whole.data(), 1, 0, low.data(), 2, 1), 1);
}

// ---------------------------------------------------------------------------
// Words, limbs and text
// ---------------------------------------------------------------------------

// Text and words at powers of ten, cut to lengths at and around the word and
// limb edges; text shows malformed elements by value.
TEST(Words, DigitsToAndFromWordsAndText) {
  std::vector<std::uint64_t> values = {
      0, 1, std::numeric_limits<std::uint64_t>::max()};
  std::uint64_t power = 1;
  for (int k = 1; k < 20; ++k) {
    power *= 10;
    values.insert(values.end(), {power - 1, power, power + 1});
  }
  for (const std::uint64_t v : values) {
    const std::string text = std::to_string(v);
    for (const std::size_t n : {std::size_t{1}, std::size_t{8}, std::size_t{19},
                                text.size(), std::size_t{30}}) {
      digits d(n + 1, 42);
      wordtodigits(v, d.data(), n);
      EXPECT_EQ(d.back(), 42);
      d.pop_back();
      std::string want(n, '0');
      for (std::size_t i = 0; i < n && i < text.size(); ++i) {
        want[n - 1 - i] = text[text.size() - 1 - i];
      }
      std::string got;
      appendtext(d.data(), d.size(), got);
      EXPECT_EQ(got, want) << v << " in " << n << " places";
      if (n <= 19 && n >= text.size()) {
        EXPECT_EQ(digitstoword(d.data(), n), v);
      }
    }
    EXPECT_EQ(decimallength(v), text.size());
  }
  const digits odd = {3, -2, 1, 0, 0, 0, 0, 0, 127, 4};
  std::string text = "x";
  appendtext(odd.data(), odd.size(), text);
  EXPECT_EQ(text, "x4127000001-23");
}

TEST(Words, ReadStopsAtTheFirstPlaceOutOfBounds) {
  std::uint64_t value = 7;
  const auto read = [&value](const digits& d, std::uint64_t limit) {
    return readword(d.data(), d.size(), limit, value);
  };
  EXPECT_EQ(read({1, 2, 3}, 500), wordread::fits);
  EXPECT_EQ(value, 321u);
  EXPECT_EQ(read({1, 2, 3}, 321), wordread::fits);
  EXPECT_EQ(read({2, 2, 3}, 321), wordread::toolarge);
  EXPECT_EQ(value, 321u);
  EXPECT_EQ(read({12, 9, 9}, 50), wordread::toolarge);
  EXPECT_EQ(read({12, 9, 0}, 500), wordread::malformed);
  EXPECT_EQ(read({10, 0}, 500), wordread::malformed);
  // Leading zeros, and values beyond a word (the int64_t edges are the
  // class tests').
  digits d(60, 0);
  d[0] = 5;
  EXPECT_EQ(read(d, 10), wordread::fits);
  EXPECT_EQ(value, 5u);
  d[40] = 1;
  EXPECT_EQ(read(d, std::numeric_limits<std::uint64_t>::max()),
            wordread::toolarge);
}

TEST(Words, LimbsRoundTripAtEveryLength) {
  const veldratest::testseed seed(17);
  std::mt19937_64 random(seed.value());
  for (std::size_t n = 0; n < 80; ++n) {
    const digits d = randomdigits(random, n);
    std::vector<limb> x(limbsfor(n) + 1, 42);
    packlimbs(d.data(), n, x.data());
    EXPECT_EQ(x.back(), 42u);
    for (std::size_t k = 0; k < limbsfor(n); ++k) {
      const std::size_t m = std::min(limbdigits, n - k * limbdigits);
      EXPECT_EQ(x[k], digitstoword(d.data() + k * limbdigits, m));
    }
    digits back(n + 5, 42);
    unpacklimbs(x.data(), limbsfor(n), back.data(), n + 4);
    EXPECT_EQ(back.back(), 42);
    back.pop_back();
    digits want = d;
    want.resize(n + 4, 0);
    EXPECT_EQ(back, want) << n;
  }
  // A limb of 10^19 or more, which malformed digits can make, gives its low
  // 19 digits.
  const limb big = std::numeric_limits<limb>::max();
  digits out(19);
  unpacklimbs(&big, 1, out.data(), 19);
  std::string text;
  appendtext(out.data(), out.size(), text);
  EXPECT_EQ(text, std::to_string(big).substr(1));
}

// The scans by blocks, words and tail: a malformed place, or the highest
// non-zero one, at every place of every edge length.
TEST(DigitChecks, ScansAtEveryPlaceOfEdgeLengths) {
  const digit malformed[] = {-128, -118, -1, 10, 127};
  for (const std::size_t n : edgelengths) {
    digits nines(n, 9), zeros(n, 0);
    EXPECT_TRUE(wellformed(nines.data(), n));
    EXPECT_EQ(significantlength(zeros.data(), n), 0u);
    for (std::size_t i = 0; i < n; ++i) {
      nines[i] = malformed[i % std::size(malformed)];
      EXPECT_FALSE(wellformed(nines.data(), n)) << n << " at " << i;
      nines[i] = 9;
      zeros[i] = static_cast<digit>(i % 2 == 0 ? 1 : -128);
      EXPECT_EQ(significantlength(zeros.data(), n), i + 1) << n;
      zeros[i] = 0;
    }
  }
}

TEST(DigitChecks, FirstPlaceNotAValue) {
  for (const std::size_t n : edgelengths) {
    for (const digit value : {digit{0}, digit{9}}) {
      digits d(n, value);
      EXPECT_EQ(firstplacenot(d.data(), n, value), n);
      for (std::size_t i = n; i-- > 0;) {
        d[i] = static_cast<digit>(value == 0 ? -1 : 0);
        EXPECT_EQ(firstplacenot(d.data(), n, value), i);
      }
    }
  }
}

// ---------------------------------------------------------------------------
// The nearest double
// ---------------------------------------------------------------------------

// decimaltodouble of the decimal text (top digit not 0) over 10^scale
// against the double the library has always read from "<text>e-<scale>".
void expectnearestdouble(const std::string& text, std::uint64_t scale) {
  const std::string exponent = text + "e-" + std::to_string(scale);
  double expected = 0.0;
#if defined(__cpp_lib_to_chars)
  const char* end = exponent.data() + exponent.size();
  if (std::from_chars(exponent.data(), end, expected).ec ==
      std::errc::result_out_of_range) {
    expected = text.size() > scale ? HUGE_VAL : 0.0;
  }
#else
  expected = std::strtod(exponent.c_str(), nullptr);
#endif
  digits d(text.rbegin(), text.rend());
  for (digit& place : d) {
    place = static_cast<digit>(place - '0');
  }
  EXPECT_EQ(decimaltodouble(d.data(), d.size(), scale), expected) << exponent;
}

// The exact decimal text of n 2^k and its scale.
std::pair<std::string, std::uint64_t> exacttext(const veldratest::bigint& n,
                                                long k) {
  veldratest::bigint x = n;
  if (k >= 0) {
    mpz_mul_2exp(x.get(), x.get(), static_cast<unsigned long>(k));
    return {x.str(), 0};
  }
  veldratest::bigint five;
  mpz_ui_pow_ui(five.get(), 5, static_cast<unsigned long>(-k));
  mpz_mul(x.get(), x.get(), five.get());
  return {x.str(), static_cast<std::uint64_t>(-k)};
}

TEST(NearestDouble, MatchesTheStandardLibraryOnRandomDigits) {
  const veldratest::testseed seed(17);
  std::mt19937_64 random(seed.value());
  for (int round = 0; round < 2000 && !HasFailure(); ++round) {
    std::string text = "1";
    for (std::size_t n = random() % (round % 10 == 0 ? 1200 : 30); n > 0; --n) {
      text += static_cast<char>('0' + random() % 10);
    }
    expectnearestdouble(text, random() % (text.size() + 340));
  }
}

// The points halfway between a double and the next: exactly (a tie, to the
// even one), and with a last digit 1000 places further down added or
// taken away, past the digits kept whole.
TEST(NearestDouble, RoundsHalfwayPointsToEvenAndTheirNeighboursAway) {
  const double max = std::numeric_limits<double>::max();
  const double tiny = std::numeric_limits<double>::denorm_min();
  const double doubles[] = {0.0,       tiny, 3 * tiny, 0x1.ffffffffffffep-1023,
                            0x1p-1022, 0.1,  1.0,      0x1p53,
                            1e23,      max};
  for (const double x : doubles) {
    // x = n 2^k with 2^k the distance to the next double.
    const int k = x == 0.0 ? -1074 : std::max(std::ilogb(x) - 52, -1074);
    veldratest::bigint n(
        std::to_string(static_cast<std::uint64_t>(std::ldexp(x, -k))).c_str());
    mpz_mul_2exp(n.get(), n.get(), 1);
    mpz_add_ui(n.get(), n.get(), 1);
    const auto [text, scale] = exacttext(n, k - 1);
    expectnearestdouble(text, scale);
    expectnearestdouble(text + std::string(999, '0') + "1", scale + 1000);
    veldratest::bigint below(text.c_str());
    mpz_mul(below.get(), below.get(), veldratest::powerof10(1000).get());
    mpz_sub_ui(below.get(), below.get(), 1);
    expectnearestdouble(below.str(), scale + 1000);
  }
}

} // namespace
