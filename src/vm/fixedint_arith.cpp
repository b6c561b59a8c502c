// fixedint: comparison and arithmetic, sign and magnitude apart.
//
// The trace records every number these operators make and destroy, so the
// operators are written in terms of each other exactly where a caller's trace
// depends on it (a < b runs > and !=, each on its own copy of b); the digit
// loops themselves are free to be fast.
#include "digits.hpp"
#include "messages.hpp"
#include "veldra.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <stdexcept>
#include <vector>

namespace VELDRA {

namespace {

// One past the highest place where a and b differ; 0 when they are equal.
// Eight places are compared at a time from the top.
std::size_t differencelength(const detail::digit* a, const detail::digit* b,
                             std::size_t n) {
  for (; n >= 8; n -= 8) {
    std::uint64_t worda;
    std::uint64_t wordb;
    std::memcpy(&worda, a + n - 8, sizeof worda);
    std::memcpy(&wordb, b + n - 8, sizeof wordb);
    if (worda != wordb) {
      break;
    }
  }
  while (n > 0 && a[n - 1] == b[n - 1]) {
    --n;
  }
  return n;
}

// -1, 0 or 1 as a[0, n) is below, equal to or above b[0, n), the highest
// differing place deciding.
int comparetop(const detail::digit* a, const detail::digit* b, std::size_t n) {
  const std::size_t differ = differencelength(a, b, n);
  if (differ == 0) {
    return 0;
  }
  return a[differ - 1] < b[differ - 1] ? -1 : 1;
}

// -1, 0 or 1 as |a| is below, equal to or above |b|: the significant digits
// decide, compared from the top as signed values.
int comparemagnitudes(const fixedint& a, const fixedint& b) {
  const detail::digit* da = a.digits.data();
  const detail::digit* db = b.digits.data();
  const std::size_t n = a.digits.size();
  if (n != b.digits.size()) {
    const std::size_t la = detail::significantlength(da, n);
    const std::size_t lb = detail::significantlength(db, b.digits.size());
    if (la != lb) {
      return la < lb ? -1 : 1;
    }
    return comparetop(da, db, la);
  }
  // Equal lengths, one pass from the top: above the highest difference both
  // agree, so a significant digit there puts both lengths above it and the
  // differing place decides; otherwise a zero at that place is the shorter.
  const std::size_t differ = differencelength(da, db, n);
  if (differ == 0) {
    return 0;
  }
  const detail::digit x = da[differ - 1];
  const detail::digit y = db[differ - 1];
  if ((x != 0 && y != 0) ||
      detail::significantlength(da + differ, n - differ) != 0) {
    return x < y ? -1 : 1;
  }
  return x == 0 ? -1 : 1;
}

void requireequallengths(const fixedint& a, const fixedint& b) {
  if (a.size != b.size) {
    throw std::length_error(detail::message::intsizes);
  }
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
// other way round.
fixedint addmixedsigns(const fixedint& self, const fixedint& x) {
  fixedint a(self);
  fixedint b(x);
  fixedint result(self.size);
  // Signs differ, so this never holds; the comparison stays for the copy it
  // leaves in the trace.
  static_cast<void>(a == b);
  if (a < b) {
    a = b;
    b = self;
  }
  result.isneg = a.isneg;
  signed char carry = 0;
  for (std::size_t place = 0; place < self.size; ++place) {
    auto temp =
        static_cast<signed char>(a.digits[place] - b.digits[place] - carry);
    carry = 0;
    while (temp < 0) {
      temp = static_cast<signed char>(temp + 10);
      ++carry;
    }
    result.digits[place] = temp;
  }
  if (carry > 0 && !reversing) {
    const reversalscope scope;
    result = b.abs() - a.abs();
    result.isneg = !a.isneg;
  }
  return result;
}

} // namespace

bool fixedint::operator==(fixedint x) const {
  return digits == x.digits && isneg == x.isneg;
}

bool fixedint::operator!=(fixedint x) const { return !(*this == x); }

bool fixedint::operator>(fixedint x) const {
  if (isneg != x.isneg) {
    return !isneg;
  }
  const int order = comparemagnitudes(*this, x);
  return isneg ? order < 0 : order > 0;
}

bool fixedint::operator<(fixedint x) const {
  return !(*this > x) && *this != x;
}

fixedint fixedint::operator+(fixedint x) {
  requireequallengths(*this, x);
  fixedint out(size);
  if (numsigned && isneg != x.isneg) {
    return addmixedsigns(*this, x);
  }
  // Same signs (or this number unsigned): magnitudes add, this sign stays.
  out.isneg = isneg;
  signed char carry = 0;
  for (std::size_t place = 0; place < size; ++place) {
    auto temp =
        static_cast<signed char>(digits[place] + x.digits[place] + carry);
    carry = 0;
    while (temp > 9) {
      temp = static_cast<signed char>(temp - 10);
      ++carry;
    }
    out.digits[place] = temp;
  }
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
  return fixedint(out);
}

fixedint fixedint::operator-(fixedint x) {
  fixedint tempcopy = x.getcopy();
  tempcopy.flipsign();
  const signedscope scope(*this);
  return *this + tempcopy;
}

fixedint fixedint::operator*(fixedint x) const {
  requireequallengths(*this, x);
  fixedint result(size + x.size);
  result = std::int64_t{0};
  detail::multiply(digits.data(), size, x.digits.data(), x.size,
                   result.digits.data(), size);
  result.isneg = numsigned && isneg != x.isneg;
  result.resize(size);
  return result;
}

bool fixedint::operator>=(fixedint x) const { return *this > x || *this == x; }

bool fixedint::operator<=(fixedint x) const { return *this < x || *this == x; }

namespace {

using detail::digit;

// A zero with its sign set counts as zero here, not as a negative number.
bool isnegative(const fixedint& number) {
  return number.isneg && !detail::allzero(number.digits);
}

void requirewellformed(const fixedint& number) {
  if (!detail::wellformed(number.digits.data(), number.digits.size())) {
    throw std::domain_error(detail::message::malformed);
  }
}

// The lowest place that does not hold `skip`, checked to hold a digit;
// digits.size() when every place holds `skip`.
std::size_t firstplacenot(const fixedint& number, digit skip) {
  const auto& d = number.digits;
  const auto place = static_cast<std::size_t>(
      std::find_if(d.begin(), d.end(), [skip](digit v) { return v != skip; }) -
      d.begin());
  if (place < d.size() && (d[place] < 0 || d[place] > 9)) {
    throw std::domain_error(detail::message::malformed);
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
  const std::size_t place = firstplacenot(number, 9);
  if (place == number.digits.size()) {
    overflowstep(number, 0);
    return;
  }
  ++number.digits[place];
  std::fill_n(number.digits.begin(), place, digit{0});
}

// Magnitude minus one in place; false, the number untouched, for a zero.
bool decrementmagnitude(fixedint& number) {
  const std::size_t place = firstplacenot(number, 0);
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
  std::uint64_t places = 0;
  for (std::size_t place = count.digits.size(); place-- > 0;) {
    if (places > limit / 10) {
      return limit;
    }
    places = places * 10 + static_cast<std::uint64_t>(count.digits[place]);
  }
  return std::min(places, limit);
}

fixedint shifted(const fixedint& number, const fixedint& count, bool up) {
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
