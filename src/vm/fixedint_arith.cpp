// fixedint: comparison and arithmetic, sign and magnitude apart.
//
// The trace records every number these operators make and destroy, so the
// operators are written in terms of each other exactly where a caller's trace
// depends on it (a < b runs > and !=, each on its own copy of b); the digit
// loops themselves are free to be fast.
#include "decimal_kernels.hpp"
#include "veldra.hpp"

#include <stdexcept>

namespace VELDRA {

namespace {

// -1, 0 or 1 as |a| is below, equal to or above |b|: the significant digits
// decide, compared from the top as signed values.
int comparemagnitudes(const fixedint& a, const fixedint& b) {
  const std::size_t la =
      detail::significantlength(a.digits.data(), a.digits.size());
  const std::size_t lb =
      detail::significantlength(b.digits.data(), b.digits.size());
  if (la != lb) {
    return la < lb ? -1 : 1;
  }
  for (std::size_t place = la; place-- > 0;) {
    if (a.digits[place] != b.digits[place]) {
      return a.digits[place] < b.digits[place] ? -1 : 1;
    }
  }
  return 0;
}

void requireequallengths(const fixedint& a, const fixedint& b) {
  if (a.size != b.size) {
    throw std::length_error("Int sizes are not equal!");
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
      throw std::overflow_error("Overflow occured.");
    }
    // Only malformed digits carry more than one; refuse before touching this
    // number, so a failure leaves it as it was.
    if (carry > 9) {
      throw std::out_of_range("Carry over 9!");
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

} // namespace VELDRA
