// fixedint: comparison and arithmetic, sign and magnitude apart.
//
// The trace records every number these operators make and destroy, so the
// operators are written in terms of each other exactly where a caller's trace
// depends on it (a < b runs > and !=, each on its own copy of b); the digit
// loops themselves are free to be fast.
#include "digits.hpp"
#include "instep.hpp"
#include "messages.hpp"
#include "trace.hpp"
#include "veldra.hpp"

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <stdexcept>
#include <utility>
#include <vector>

namespace VELDRA {

namespace {

void requireequallengths(const fixedint& a, const fixedint& b) {
  if (a.size != b.size) {
    throw std::length_error(detail::message::intsizes);
  }
}

// x.getcopy() for a number the caller owns and no longer needs: the same
// creation lines and flags, x's digits moved instead of copied.
fixedint takeover(fixedint& x) {
  fixedint newcopy(x.size);
  newcopy.isneg = x.isneg;
  newcopy.numsigned = x.numsigned;
  newcopy.throwwhenover = x.throwwhenover;
  newcopy.digits.swap(x.digits);
  return newcopy;
}

// Set while a sum of mixed signs re-runs itself with the operands' magnitudes
// reversed.  Well-formed digits never borrow on that second run; malformed
// ones can, and must not send it round again.
bool reversing = false;

class reversalscope {
public:
  reversalscope() { reversing = true; }
  ~reversalscope() { reversing = false; }
  reversalscope(const reversalscope&) = delete;
  reversalscope& operator=(const reversalscope&) = delete;
};

// Restores the left operand's numsigned when a difference ends, thrown or not.
class signedscope {
public:
  explicit signedscope(fixedint& number)
      : number_(number), previous_(number.numsigned) {
    number.numsigned = true;
  }
  ~signedscope() { number_.numsigned = previous_; }
  signedscope(const signedscope&) = delete;
  signedscope& operator=(const signedscope&) = delete;

private:
  fixedint& number_;
  bool previous_;
};

// The sum of two numbers whose signs differ: the negative operand's
// magnitude is subtracted from the other's place by place; a final borrow
// means the negative one was larger, and the difference is taken again the
// other way round.  x is the operator's own copy of its right operand.
fixedint addmixedsigns(const fixedint& self, fixedint& x) {
  // The sum's copies of both operands show only as their destruction lines
  // at the end: one takes over x's digits, the other is no longer made.
  fixedint other(std::move(x));
  const detail::trace::numberuntilscopeend secondcopy;
  fixedint result(self.size);
  // a == b, then a < b on copies of b: < runs > on a further copy and, when
  // this number is the negative one, != on another, which runs == on one
  // more.  The signs differ, so every answer is known; what shows is each
  // copy's destruction line.
  for (int copies = self.isneg ? 5 : 3; copies > 0; --copies) {
    detail::trace::numbergone();
  }
  const fixedint& positive = self.isneg ? other : self;
  const fixedint& negative = self.isneg ? self : other;
  result.isneg = positive.isneg;
  const signed char borrow =
      detail::subtractplaces(positive.digits.data(), negative.digits.data(),
                             result.digits.data(), self.size);
  if (borrow > 0 && !reversing) {
    const reversalscope scope;
    result = negative.abs() - positive.abs();
    result.isneg = !positive.isneg;
  }
  return result;
}

} // namespace

bool fixedint::operator==(fixedint x) const {
  detail::requireinstep(*this, x);
  return digits == x.digits && isneg == x.isneg;
}

bool fixedint::operator!=(fixedint x) const {
  detail::requireinstep(*this, x);
  return !(*this == x);
}

bool fixedint::operator>(fixedint x) const {
  detail::requireinstep(*this, x);
  if (isneg != x.isneg) {
    return !isneg;
  }
  const int order = detail::comparesignificant(
      digits.data(), digits.size(), x.digits.data(), x.digits.size());
  return isneg ? order < 0 : order > 0;
}

bool fixedint::operator<(fixedint x) const {
  detail::requireinstep(*this, x);
  return !(*this > x) && *this != x;
}

fixedint fixedint::operator+(fixedint x) {
  detail::requireinstep(*this, x);
  requireequallengths(*this, x);
  fixedint out(size);
  if (numsigned && isneg != x.isneg) {
    return addmixedsigns(*this, x);
  }
  // Same signs (or this number unsigned): magnitudes add, this sign stays.
  out.isneg = isneg;
  const signed char carry = detail::addplaces(digits.data(), x.digits.data(),
                                              out.digits.data(), size);
  if (carry > 0) {
    if (throwwhenover) {
      throw std::overflow_error(detail::message::overflow);
    }
    // Only malformed digits carry more than one; refuse before touching this
    // number, so a failure leaves it as it was.
    if (carry > 9) {
      throw std::out_of_range(detail::message::carryover);
    }
    *this = std::int64_t{0};
    digits[0] = carry;
  }
  // The sum is a copy of out, which is then destroyed: it takes out's
  // digits instead, and out still leaves its line.
  return fixedint(std::move(out));
}

fixedint fixedint::operator-(fixedint x) {
  detail::requireinstep(*this, x);
  fixedint tempcopy = takeover(x);
  tempcopy.flipsign();
  const signedscope scope(*this);
  // The sum's copy of tempcopy takes its digits; both are destroyed where
  // a copy and tempcopy were.
  return *this + std::move(tempcopy);
}

fixedint fixedint::operator*(fixedint x) const {
  detail::requireinstep(*this, x);
  requireequallengths(*this, x);
  fixedint result(size + x.size);
  result = std::int64_t{0};
  detail::multiplydigits(digits.data(), size, x.digits.data(), x.size,
                         result.digits.data(), size);
  result.isneg = numsigned && isneg != x.isneg;
  result.resize(size);
  return result;
}

bool fixedint::operator>=(fixedint x) const {
  detail::requireinstep(*this, x);
  return *this > x || *this == x;
}

bool fixedint::operator<=(fixedint x) const {
  detail::requireinstep(*this, x);
  return *this < x || *this == x;
}

namespace {

using detail::digit;

// A zero with its sign set counts as zero here, not as a negative number.
bool isnegative(const fixedint& number) {
  return detail::negativevalue(number.isneg, number.digits);
}

void requirewellformed(const fixedint& number) {
  detail::requirewellformed(number.digits.data(), number.digits.size());
}

// The lowest place that does not hold `skip`, checked to hold a digit;
// digits.size() when every place holds `skip`.
std::size_t steppingplace(const fixedint& number, digit skip) {
  const auto& d = number.digits;
  const std::size_t place = detail::firstplacenot(d.data(), d.size(), skip);
  if (place < d.size()) {
    detail::requirewellformed(d.data() + place, 1);
  }
  return place;
}

// The magnitude leaves 0 .. 10^size - 1 in a step: throw, or wrap to
// `wrapped` in every place.
void overflowstep(fixedint& number, digit wrapped) {
  if (number.throwwhenover) {
    throw std::overflow_error(detail::message::overflow);
  }
  std::fill(number.digits.begin(), number.digits.end(), wrapped);
  if (detail::allzero(number.digits)) {
    number.isneg = false;
  }
}

// Magnitude plus one in place: the nines below the first other digit become
// zeros.  A magnitude of all nines wraps to zero.
void incrementmagnitude(fixedint& number) {
  const std::size_t place = steppingplace(number, 9);
  if (place == number.digits.size()) {
    overflowstep(number, 0);
    return;
  }
  ++number.digits[place];
  std::fill_n(number.digits.begin(), place, digit{0});
}

// Magnitude minus one in place; false, the number untouched, for a zero.
bool decrementmagnitude(fixedint& number) {
  const std::size_t place = steppingplace(number, 0);
  if (place == number.digits.size()) {
    return false;
  }
  --number.digits[place];
  std::fill_n(number.digits.begin(), place, digit{9});
  if (place == 0 && number.digits[0] == 0 && detail::allzero(number.digits)) {
    number.isneg = false;
  }
  return true;
}

// One step up (++) or down (--).  Signed, the magnitude grows when the step
// leads away from zero, and from a zero of either sign the step gives +1 or
// -1; unsigned, ++ grows it and -- shrinks it.
void step(fixedint& number, bool up) {
  detail::requireinstep(number);
  const bool grows = number.numsigned ? up != number.isneg : up;
  if (grows) {
    incrementmagnitude(number);
    return;
  }
  if (decrementmagnitude(number)) {
    return;
  }
  if (number.numsigned && !number.digits.empty()) {
    number.digits[0] = 1;
    number.isneg = !up;
  } else {
    // Unsigned zero minus one, or a signed step with no place to hold it.
    overflowstep(number, 9);
  }
}

// a / b or a % b as a new number, every check made before it is.
fixedint divisionresult(const fixedint& a, const fixedint& b, bool remainder) {
  detail::requireinstep(a, b);
  requireequallengths(a, b);
  requirewellformed(a);
  requirewellformed(b);
  if (detail::allzero(b.digits)) {
    throw std::domain_error(detail::message::divisionbyzero);
  }
  fixedint out(a.size);
  digit* target = out.digits.data();
  const std::size_t places = out.digits.size();
  detail::divide(a.digits.data(), a.digits.size(), b.digits.data(),
                 b.digits.size(), remainder ? nullptr : target, places,
                 remainder ? target : nullptr, places);
  const bool negative = remainder ? a.isneg : a.isneg != b.isneg;
  out.isneg = a.numsigned && negative && !detail::allzero(out.digits);
  return out;
}

// The count as a number of places, at most `limit`.
std::uint64_t placecount(const fixedint& count, std::uint64_t limit) {
  requirewellformed(count);
  if (isnegative(count)) {
    throw std::domain_error(detail::message::negativeshift);
  }
  // A count above the limit leaves `places` at the limit.
  std::uint64_t places = limit;
  detail::readword(count.digits.data(), count.digits.size(), limit, places);
  return places;
}

fixedint shifted(const fixedint& number, const fixedint& count, bool up) {
  detail::requireinstep(number, count);
  const std::uint64_t places = placecount(count, number.size);
  fixedint out(number.size);
  out.isneg = number.isneg;
  out.digits = number.digits;
  out.digits.resize(number.size);
  if (up) {
    detail::shiftup(out.digits, places);
  } else {
    detail::shiftdown(out.digits, places);
  }
  return out;
}

} // namespace

fixedint& fixedint::operator++() {
  step(*this, true);
  return *this;
}

fixedint& fixedint::operator++(int) { return ++*this; }

fixedint& fixedint::operator--() {
  step(*this, false);
  return *this;
}

fixedint& fixedint::operator--(int) { return --*this; }

fixedint fixedint::operator/(fixedint x) const {
  return divisionresult(*this, x, false);
}

fixedint fixedint::operator%(fixedint x) const {
  return divisionresult(*this, x, true);
}

fixedint fixedint::operator^(fixedint x) const {
  detail::requireinstep(*this, x);
  requirewellformed(*this);
  requirewellformed(x);
  if (isnegative(x)) {
    throw std::domain_error(detail::message::negativeexponent);
  }
  fixedint out(size);
  detail::power(digits.data(), digits.size(), x.digits.data(), x.digits.size(),
                out.digits.data(), out.digits.size());
  const bool oddexponent = !x.digits.empty() && x.digits[0] % 2 != 0;
  out.isneg = numsigned && isneg && oddexponent && !detail::allzero(out.digits);
  return out;
}

fixedint fixedint::operator<<(fixedint x) const {
  return shifted(*this, x, true);
}

fixedint fixedint::operator>>(fixedint x) const {
  return shifted(*this, x, false);
}

std::ostream& operator<<(std::ostream& out, const fixedint& number) {
  return out << number.asstring();
}

} // namespace VELDRA
