// fixedint division and powers: / % ^ against GMP on random operands, with
// the edges and the failures (the quotient corrections are the kernel's).
#include "support/intmodel.hpp"
#include "support/numbers.hpp"
#include "support/testseed.hpp"
#include "support/tracecapture.hpp"

#include <stdexcept>

namespace {

using VELDRA::fixedint;
using namespace veldratest;

TEST(FixedintDivision, MatchesGmp) {
  const testseed seed(81);
  operandsource source(seed.value());
  for (int round = 0; round < 3000 && !HasFailure(); ++round) {
    tracecapture::reset();
    const std::size_t length = 1 + source.below(round % 10 == 0 ? 300 : 40);
    const fixedint a = source.number(length);
    const fixedint b = source.number(length);
    if (b.digits == digitvector(length, 0)) {
      continue;
    }
    SCOPED_TRACE(placesof(a) + " / " + placesof(b));
    expectwrapped(a / b, quotientof(intstate(a), intstate(b)));
    expectwrapped(a % b, remainderof(intstate(a), intstate(b)));
  }
}

TEST(FixedintDivision, UnsignedLeftAndFailures) {
  fixedint unsignedleft(3, -7);
  unsignedleft.numsigned = false;
  unsignedleft.throwwhenover = true;
  const fixedint q = unsignedleft / fixedint(3, 2);
  EXPECT_EQ(q.asstring(), "3");
  EXPECT_TRUE(q.numsigned && !q.throwwhenover);
  EXPECT_EQ((unsignedleft % fixedint(3, -2)).asstring(), "1");

  fixedint negzero(3);
  negzero.flipsign();
  const fixedint malformed = withdigits({5, 12, 0});
  const fixedint a(3, 5);
  tracecapture cap;
  EXPECT_EQ(whatof<std::domain_error>([&] { static_cast<void>(a / negzero); }),
            "Division by zero!");
  EXPECT_EQ(
      whatof<std::domain_error>([&] { static_cast<void>(a % fixedint(3)); }),
      "Division by zero!");
  EXPECT_EQ(
      whatof<std::domain_error>([&] { static_cast<void>(a / malformed); }),
      "Malformed digits!");
  EXPECT_EQ(
      whatof<std::length_error>([&] { static_cast<void>(a % fixedint(4, 1)); }),
      "Int sizes are not equal!");
  // No result is made: only the right operands come and go, the two made
  // in place as the operators' own.
  EXPECT_EQ(cap.lines(),
            concat({operandsgone(), creationlines(3), operandsgone(),
                    operandsgone(), creationlines(4), operandsgone()}));
}

TEST(FixedintPower, MatchesGmp) {
  const testseed seed(82);
  operandsource source(seed.value());
  for (int round = 0; round < 600 && !HasFailure(); ++round) {
    tracecapture::reset();
    const fixedint base = source.number(1 + source.below(60));
    // Short exponents half of the time, to reach 0, 1 and small powers.
    fixedint exponent = source.number(1 + source.below(round % 2 ? 2 : 40));
    exponent.isneg = false;
    SCOPED_TRACE(placesof(base) + " ^ " + placesof(exponent));
    expectwrapped(base ^ exponent, powerof(intstate(base), intstate(exponent)));
  }
}

TEST(FixedintPower, EdgesAndHugeExponents) {
  fixedint negzero(4);
  negzero.flipsign();
  EXPECT_EQ((fixedint(3, -5) ^ negzero).asstring(), "1");
  fixedint unsignedbase(3, -5);
  unsignedbase.numsigned = false;
  EXPECT_EQ((unsignedbase ^ fixedint(1, 3)).asstring(), "125");
  EXPECT_EQ(whatof<std::domain_error>(
                [] { static_cast<void>(fixedint(3, 2) ^ fixedint(3, -1)); }),
            "Negative exponent!");

  // The largest exponent a word holds, on either side of the lengths whose
  // powers run in machine words (nine places, and one limb).
  const fixedint largest(20, "18446744073709551615");
  for (const std::uint64_t length : {9, 10, 19, 20}) {
    const fixedint base = withdigits(digitvector(length, 7), true);
    expectwrapped(base ^ largest, powerof(intstate(base), intstate(largest)));
  }
  // 3 ^ (10^1000 - 1) at 100 digits: the work follows the exponent's
  // length, so this is quick.
  const fixedint three(100, 3);
  const fixedint exponent = withdigits(digitvector(1000, 9));
  expectwrapped(three ^ exponent, powerof(intstate(three), intstate(exponent)));
}

} // namespace
