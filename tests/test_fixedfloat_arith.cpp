// The nearest double of both classes against strtod.
#include "support/gmpref.hpp"
#include "support/numbers.hpp"
#include "support/tracecapture.hpp"

#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace {

using VELDRA::fixedfloat;
using VELDRA::fixedint;
using namespace veldratest;

fixedfloat floatof(std::uint64_t length, const digitvector& d, bool negative) {
  fixedfloat f(length);
  f.digits.digits = d;
  f.isneg = negative;
  return f;
}

// strtod of the text is the reference; the test runs in the "C" locale.
void expectnearest(double value, const std::string& text) {
  const double expected = std::strtod(text.c_str(), nullptr);
  EXPECT_EQ(value, expected) << text;
  EXPECT_EQ(std::signbit(value), std::signbit(expected)) << text;
}

TEST(Asdouble, MatchesStrtodOfAsstring) {
  operandsource source(104);
  tracecapture cap;
  for (int round = 0; round < 3000 && !HasFailure(); ++round) {
    // Now and then past the double range, both ways.
    const std::size_t length = 2 + 2 * source.below(round % 10 ? 20 : 400);
    const fixedint n = withdigits(source.digits(length), source.coin());
    const fixedfloat f = floatof(length, source.digits(length), source.coin());
    expectnearest(n.asdouble(), n.asstring());
    expectnearest(f.asdouble(), f.asstring());
    cap.reset();
  }
  const fixedint n(17, "9007199254740993"); // 2^53 + 1: a tie, to even
  EXPECT_EQ(n.asdouble(), 9007199254740992.0);
  EXPECT_EQ(fixedfloat(8, "0.1").asdouble(), 0.1);
  EXPECT_EQ(fixedint(400, "-" + std::string(399, '9')).asdouble(), -HUGE_VAL);
  EXPECT_EQ(fixedfloat(620, "0." + std::string(309, '0') + "1").asdouble(),
            1e-310);
  EXPECT_EQ(fixedfloat(900, "0." + std::string(420, '0') + "1").asdouble(),
            0.0);
  EXPECT_TRUE(std::signbit(fixedfloat(4, "-0").asdouble()));
  fixedint malformed(2, 5);
  malformed.digits[1] = 11;
  tracecapture::reset();
  EXPECT_EQ(whatof<std::domain_error>([&] { malformed.asdouble(); }),
            "Malformed digits!");
  EXPECT_TRUE(cap.lines().empty());
}

} // namespace
