// fixedint shifts and steps: one place in place, << and >> by a count of any
// length, and ++ and --, checked against GMP with the edges and failures.
#include "support/intmodel.hpp"
#include "support/numbers.hpp"
#include "support/testseed.hpp"
#include "support/tracecapture.hpp"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace {

using VELDRA::fixedint;
using namespace veldratest;

TEST(FixedintWholeShift, MovesDigitsOnePlaceAndKeepsTheSign) {
  const struct {
    std::int64_t value;
    bool left;
    const char* places;
  } cases[] = {
      {-120, true, "-1200"},
      {-120, false, "-0012"},
      {5, false, "0000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.places);
    fixedint n(4, c.value);
    tracecapture cap;
    c.left ? n.wholeshiftl() : n.wholeshiftr();
    EXPECT_EQ(placesof(n), c.places);
    EXPECT_TRUE(cap.lines().empty());
  }
  fixedint empty(0);
  empty.wholeshiftl();
  empty.wholeshiftr();
  EXPECT_TRUE(empty.digits.empty());
}

TEST(FixedintShift, MatchesGmpAndKeepsTheSign) {
  const testseed seed(83);
  operandsource source(seed.value());
  for (int round = 0; round < 2000 && !HasFailure(); ++round) {
    tracecapture::reset();
    const std::size_t length = 1 + source.below(40);
    const fixedint a = source.number(length);
    const std::uint64_t places = source.below(length + 3);
    const fixedint count(2 + source.below(25),
                         static_cast<std::int64_t>(places));
    SCOPED_TRACE(placesof(a) + " shifted " + std::to_string(places));
    EXPECT_EQ(placesof(a << count),
              placesof(shifted(a.digits, places, true), a.isneg));
    EXPECT_EQ(placesof(a >> count),
              placesof(shifted(a.digits, places, false), a.isneg));
  }
}

// A count beyond a machine word, a negative zero, and a negative count.
TEST(FixedintShift, HugeZeroAndNegativeCounts) {
  fixedint huge(30);
  huge.digits[29] = 1;
  EXPECT_EQ((fixedint(5, 123) << huge).asstring(), "0");
  fixedint negzero(1);
  negzero.flipsign();
  EXPECT_EQ((fixedint(5, 123) >> negzero).asstring(), "123");
  EXPECT_EQ(whatof<std::domain_error>(
                [] { static_cast<void>(fixedint(5, 123) << fixedint(1, -1)); }),
            "Negative shift count!");
}

// A magnitude of `length` digits at an edge of the range (0, 1, 2, the top
// two) or anywhere in it.
std::int64_t edgeorany(operandsource& source, std::uint64_t length) {
  std::int64_t limit = 1;
  for (std::uint64_t i = 0; i < length; ++i) {
    limit *= 10;
  }
  const std::int64_t picks[] = {
      0,
      1,
      2,
      limit - 1,
      limit - 2,
      static_cast<std::int64_t>(source.below(static_cast<std::size_t>(limit)))};
  return picks[source.below(6)];
}

// Signed the value moves by one, unsigned the magnitude; past the length the
// step throws or wraps.
TEST(FixedintStep, SignedAndUnsignedMatchGmp) {
  const testseed seed(84);
  operandsource source(seed.value());
  for (int round = 0; round < 4000 && !HasFailure(); ++round) {
    tracecapture::reset();
    const std::uint64_t length = 1 + source.below(6);
    const std::int64_t magnitude = edgeorany(source, length);
    const bool wasneg = source.coin();
    const bool up = source.coin();
    const bool numsigned = source.below(3) != 0;
    fixedint n(length, magnitude);
    n.isneg = wasneg;
    n.numsigned = numsigned;
    n.throwwhenover = source.coin();
    const std::string before = placesof(n);
    SCOPED_TRACE(n.asstring() + (up ? " ++" : " --") +
                 (numsigned ? "" : " unsigned"));
    const intoutcome expected = stepof(intstate(n), up);
    if (expected.overflow) {
      EXPECT_EQ(whatof<std::overflow_error>(
                    [&] { static_cast<void>(up ? ++n : --n); }),
                "Overflow occured.");
      EXPECT_EQ(placesof(n), before);
      continue;
    }
    const fixedint& result = up ? n++ : n--;
    EXPECT_EQ(&result, &n);
    EXPECT_EQ(placesof(n), placesof(expected.left.digits, expected.left.isneg));
  }
}

TEST(FixedintStep, FarCarriesLogNothingAndMalformedDigitsThrow) {
  fixedint far = withdigits(digitvector(4096, 9));
  far.digits[4095] = 0;
  tracecapture cap;
  ++far;
  EXPECT_EQ(far.asstring(), "1" + std::string(4095, '0'));
  far--;
  EXPECT_EQ(far.asstring(), std::string(4095, '9'));
  EXPECT_TRUE(cap.lines().empty());
  fixedint malformed = withdigits({9, 9, -4});
  EXPECT_EQ(whatof<std::domain_error>([&] { ++malformed; }),
            "Malformed digits!");
  EXPECT_EQ(malformed.digits, (digitvector{9, 9, -4}));
}

} // namespace
