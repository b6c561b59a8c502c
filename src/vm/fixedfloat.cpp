// fixedfloat: storage, conversion from fixedint and float, text, comparison
// and arithmetic.  The digits are one fixedint of even length; places h and
// up hold the integer part, places 0 to h-1 the fraction (h = size / 2).
#include "decimal_kernels.hpp"
#include "digitshift.hpp"
#include "logline.hpp"
#include "veldra.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <ostream>
#include <stdexcept>
#include <utility>

namespace VELDRA {

namespace {

// The integer part must have a 64-bit truncation before anything is made.
void requireint64part(float val) {
  if (!std::isfinite(val)) {
    throw std::out_of_range("Float value is not finite!");
  }
  // -2^63 and 2^63 are exact in single precision.
  if (!(val >= -9223372036854775808.0f && val < 9223372036854775808.0f)) {
    throw std::out_of_range("Integer part of float out of int64_t range!");
  }
}

// val truncated toward zero, back in single precision.
float truncated(float val) {
  return static_cast<float>(static_cast<std::int64_t>(val));
}

// How many times a fraction is multiplied by ten until it is integral within
// 0.001.  Every step is single precision: the digits stored are those of the
// float itself, so 0.123f scales to exactly 123 while 0.01f, just below
// 0.01, scales to 9999999.  A fraction above 0.001 passes 2^23, where floats
// have no fraction bits, within ten rounds.
unsigned scalefraction(float& fraction) {
  unsigned places = 0;
  while (static_cast<double>(std::fabs(fraction - truncated(fraction))) >
         0.001) {
    fraction *= 10.0f;
    ++places;
  }
  return places;
}

// The body shared by the constructors: digits(0) is made by then.
void startfloat(fixedfloat& number, std::uint64_t length) {
  detail::logline("Creating new fixedfloat object!");
  number.init(length);
}

} // namespace

fixedfloat::fixedfloat(std::uint64_t length) : digits(0) {
  startfloat(*this, length);
}

// Not a delegating constructor: a value the assignment refuses means the
// number never existed, so no "Deleting fixedfloat object!" may follow.
fixedfloat::fixedfloat(std::uint64_t length, float val) : digits(0) {
  startfloat(*this, length);
  *this = val;
}

fixedfloat::fixedfloat(const fixedfloat& other)
    : digits(other.digits), size(other.size), floatsigned(other.floatsigned),
      isneg(other.isneg) {}

fixedfloat::~fixedfloat() { detail::logline("Deleting fixedfloat object!"); }

void fixedfloat::init(std::uint64_t length) {
  detail::logline("Init called on fixedfloat with length: ", length);
  if (length % 2 != 0) {
    throw std::runtime_error("length should be able to be divided by 2!");
  }
  detail::logline("Register size.");
  detail::logline("Init boolean properties.");
  detail::logline("Init digits.");
  {
    // The new digits come first: a length that cannot be held leaves this
    // number as it was, its size matching its digits.
    fixedint zero(length);
    size = length;
    floatsigned = true;
    isneg = false;
    digits = std::move(zero);
  }
  detail::logline("Done.");
}

fixedint fixedfloat::getintpart() const {
  fixedint out = digits.getcopy();
  detail::shiftdown(out.digits, size / 2);
  return out;
}

fixedint fixedfloat::getfractionpart() const {
  fixedint out = digits.getcopy();
  detail::shiftup(out.digits, size / 2);
  detail::shiftdown(out.digits, size / 2);
  return out;
}

void fixedfloat::updsign() {
  isneg = digits.isneg;
  digits.isneg = false;
}

fixedfloat& fixedfloat::operator=(fixedint val) {
  const std::uint64_t h = size / 2;
  if (val.size < h) {
    throw std::out_of_range("Val too small for fixedfloat!");
  }
  // Resized before it is taken over: if growing fails, this number is
  // untouched.
  val.resize(size);
  digits = std::move(val);
  updsign();
  // Into the integer half one place at a time, each place a multiplication
  // by ten; the top place drops out each time.
  for (std::uint64_t i = 0; i < h; ++i) {
    digits = digits * fixedint(size, 10);
  }
  return *this;
}

fixedfloat& fixedfloat::operator=(float val) {
  requireint64part(val);
  const std::uint64_t h = size / 2;
  const auto integer = static_cast<std::int64_t>(val);
  *this = fixedint(h, integer);

  float fraction = std::fabs(val - static_cast<float>(integer));
  if (fraction == 0.0f) {
    return *this;
  }
  const unsigned places = scalefraction(fraction);
  if (places > h) {
    throw std::length_error("Fraction of float too big to fit in fixedfloat!");
  }
  // The fraction's digits without the zeros after the point, moved so its
  // last digit lands `places` places after the point.
  fixedint temp(size, static_cast<std::int64_t>(fraction));
  detail::shiftup(temp.digits, h - places);
  digits = digits + temp;
  // Values such as -0.5 have no integer part to carry their sign.
  if (val < 0 && !detail::allzero(digits.digits)) {
    isneg = true;
  }
  return *this;
}

std::string fixedfloat::asstring() const {
  const std::uint64_t h = size / 2;
  std::string out = isneg ? "-" : "";
  out += getintpart().asstring();
  out += '.';

  fixedint fraction = getfractionpart();
  std::string fracstring = fraction.asstring();
  // An empty scratch number: part of the rendering's trace.
  static_cast<void>(fixedint(0));
  if (detail::allzero(fraction.digits)) {
    out += '0';
    return out;
  }
  fraction.resize(h);
  // The zeros right after the point, then no trailing zeros.
  const std::size_t used =
      detail::significantlength(fraction.digits.data(), fraction.digits.size());
  fracstring.insert(0, h - used, '0');
  const auto firstnonzero =
      std::find_if(fraction.digits.begin(), fraction.digits.end(),
                   [](signed char digit) { return digit != 0; });
  const auto trailing = std::min<std::size_t>(
      static_cast<std::size_t>(firstnonzero - fraction.digits.begin()),
      fracstring.size());
  fracstring.erase(fracstring.size() - trailing);
  out += fracstring;
  return out;
}

fixedfloat fixedfloat::operator*(fixedfloat x) const {
  detail::logline("Multiplication operation in fixedfloat. (oh boy)");
  if (size != x.size) {
    throw std::length_error("Size is not equal!");
  }
  fixedfloat out(size);
  // The scaled product (Va × Vb) / 10^h, cut to `size` places: only the low
  // h + size places of Va × Vb matter.
  const std::uint64_t h = size / 2;
  // Short numbers, the common case, take their scratch from the stack.
  std::array<detail::digit, 96> local;
  std::vector<detail::digit> heap;
  detail::digit* product = local.data();
  if (h + size > local.size()) {
    heap.resize(h + size);
    product = heap.data();
  }
  detail::multiply(digits.digits.data(), digits.digits.size(),
                   x.digits.digits.data(), x.digits.digits.size(), product,
                   h + size);
  std::copy(product + h, product + h + size, out.digits.digits.begin());
  out.isneg = floatsigned && isneg != x.isneg;
  detail::logline("Done.");
  return out;
}

fixedint& fixedint::operator=(const fixedfloat& val) {
  *this = val.getintpart();
  return *this;
}

fixedfloat fixedfloat::getcopy() const {
  fixedfloat newcopy(size);
  newcopy.digits = digits;
  newcopy.floatsigned = floatsigned;
  newcopy.isneg = isneg;
  return newcopy;
}

fixedfloat fixedfloat::abs() const {
  fixedfloat temp = getcopy();
  temp.isneg = false;
  return temp;
}

void fixedfloat::flipsign() { isneg = !isneg; }

namespace {

using digitvector = std::vector<detail::digit>;

// The place of `d` that holds 10^power when h places follow the point; zero
// outside the vector.
int placeat(const digitvector& d, std::uint64_t h, std::int64_t power) {
  const std::int64_t index = power + static_cast<std::int64_t>(h);
  return index >= 0 && index < static_cast<std::int64_t>(d.size())
             ? d[static_cast<std::size_t>(index)]
             : 0;
}

// -1, 0 or 1 as |a| is below, equal to or above |b|, compared place by place
// from the top with the points aligned.
int comparemagnitudes(const fixedfloat& a, const fixedfloat& b) {
  const auto& da = a.digits.digits;
  const auto& db = b.digits.digits;
  const std::uint64_t ha = a.size / 2;
  const std::uint64_t hb = b.size / 2;
  const auto top = static_cast<std::int64_t>(
      std::max(da.size() - std::min<std::uint64_t>(ha, da.size()),
               db.size() - std::min<std::uint64_t>(hb, db.size())));
  const auto bottom = -static_cast<std::int64_t>(std::max(ha, hb));
  for (std::int64_t power = top; power-- > bottom;) {
    const int x = placeat(da, ha, power);
    const int y = placeat(db, hb, power);
    if (x != y) {
      return x < y ? -1 : 1;
    }
  }
  return 0;
}

bool isnegative(const fixedfloat& number) {
  return number.isneg && !detail::allzero(number.digits.digits);
}

// -1, 0 or 1 as the value of a is below, equal to or above that of b.
int comparevalues(const fixedfloat& a, const fixedfloat& b) {
  const bool nega = isnegative(a);
  if (nega != isnegative(b)) {
    return nega ? -1 : 1;
  }
  const int order = comparemagnitudes(a, b);
  return nega ? -order : order;
}

void requirewellformed(const fixedfloat& number) {
  const auto& d = number.digits.digits;
  if (d.size() != number.size || !detail::wellformed(d.data(), d.size())) {
    throw std::domain_error("Malformed digits!");
  }
}

// sum = x + y place by place; true when a carry leaves the top place.
bool addmagnitudes(const digitvector& x, const digitvector& y,
                   digitvector& sum) {
  int carry = 0;
  for (std::size_t place = 0; place < sum.size(); ++place) {
    const int total = x[place] + y[place] + carry;
    carry = total >= 10 ? 1 : 0;
    sum[place] = static_cast<detail::digit>(total - 10 * carry);
  }
  return carry != 0;
}

// difference = x - y place by place, for x no smaller than y.
void subtractmagnitudes(const digitvector& x, const digitvector& y,
                        digitvector& difference) {
  int borrow = 0;
  for (std::size_t place = 0; place < difference.size(); ++place) {
    const int total = x[place] - y[place] - borrow;
    borrow = total < 0 ? 1 : 0;
    difference[place] = static_cast<detail::digit>(total + 10 * borrow);
  }
}

// a plus b, b taken with the sign `bneg`.  The digits are worked out before
// the result is made, so a failure makes and logs nothing.
fixedfloat signedsum(const fixedfloat& a, const fixedfloat& b, bool bneg) {
  if (a.size != b.size) {
    throw std::length_error("Size is not equal!");
  }
  requirewellformed(a);
  requirewellformed(b);
  const digitvector& x = a.digits.digits;
  const digitvector& y = b.digits.digits;
  digitvector result(x.size());
  bool negative = a.isneg;
  if (a.isneg == bneg) {
    if (addmagnitudes(x, y, result) && a.digits.throwwhenover) {
      throw std::overflow_error("Overflow occured.");
    }
  } else if (comparemagnitudes(a, b) < 0) {
    subtractmagnitudes(y, x, result);
    negative = bneg;
  } else {
    subtractmagnitudes(x, y, result);
  }
  fixedfloat out(a.size);
  out.digits.digits = std::move(result);
  out.isneg = negative && !detail::allzero(out.digits.digits);
  return out;
}

} // namespace

bool fixedfloat::operator==(fixedfloat x) const {
  return comparevalues(*this, x) == 0;
}

bool fixedfloat::operator!=(fixedfloat x) const {
  return comparevalues(*this, x) != 0;
}

bool fixedfloat::operator>(fixedfloat x) const {
  return comparevalues(*this, x) > 0;
}

bool fixedfloat::operator<(fixedfloat x) const {
  return comparevalues(*this, x) < 0;
}

bool fixedfloat::operator>=(fixedfloat x) const {
  return comparevalues(*this, x) >= 0;
}

bool fixedfloat::operator<=(fixedfloat x) const {
  return comparevalues(*this, x) <= 0;
}

fixedfloat fixedfloat::operator+(fixedfloat x) const {
  return signedsum(*this, x, x.isneg);
}

fixedfloat fixedfloat::operator-(fixedfloat x) const {
  return signedsum(*this, x, !x.isneg);
}

std::ostream& operator<<(std::ostream& out, const fixedfloat& number) {
  return out << number.asstring();
}

} // namespace VELDRA
