// fixedfloat: comparison and arithmetic.  The scaled integers in the digits
// (the magnitudes times 10^h) do the work; the sign stays apart in isneg.
#include "digits.hpp"
#include "logline.hpp"
#include "messages.hpp"
#include "veldra.hpp"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <utility>
#include <vector>

namespace VELDRA {

fixedfloat fixedfloat::operator*(fixedfloat x) const {
  detail::logline("Multiplication operation in fixedfloat. (oh boy)");
  if (size != x.size) {
    throw std::length_error(detail::message::floatsizes);
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
    throw std::domain_error(detail::message::malformed);
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
    throw std::length_error(detail::message::floatsizes);
  }
  requirewellformed(a);
  requirewellformed(b);
  const digitvector& x = a.digits.digits;
  const digitvector& y = b.digits.digits;
  digitvector result(x.size());
  bool negative = a.isneg;
  if (a.isneg == bneg) {
    if (addmagnitudes(x, y, result) && a.digits.throwwhenover) {
      throw std::overflow_error(detail::message::overflow);
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

namespace {

void requireroundmode(roundmode mode) {
  if (mode < roundmode::down || mode > roundmode::floor) {
    throw std::invalid_argument(detail::message::unknownroundmode);
  }
}

// Whether dropping places worth `rest` moves the magnitude up one unit of
// the last place kept, whose digit is odd when `lastodd`.
bool roundsaway(roundmode mode, detail::dropped rest, bool negative,
                bool lastodd) {
  using detail::dropped;
  if (rest == dropped::zero) {
    return false;
  }
  switch (mode) {
  case roundmode::down:
    return false;
  case roundmode::up:
    return true;
  case roundmode::halfup:
    return rest != dropped::belowhalf;
  case roundmode::halfdown:
    return rest == dropped::abovehalf;
  case roundmode::halfeven:
    return rest == dropped::abovehalf || (rest == dropped::half && lastodd);
  case roundmode::ceiling:
    return !negative;
  case roundmode::floor:
    return negative;
  }
  return false;
}

} // namespace

fixedfloat fixedfloat::operator/(fixedfloat x) const {
  if (size != x.size) {
    throw std::length_error(detail::message::floatsizes);
  }
  requirewellformed(*this);
  requirewellformed(x);
  if (detail::allzero(x.digits.digits)) {
    throw std::domain_error(detail::message::divisionbyzero);
  }
  // (Va × 10^h) / Vb keeps h fraction places; quotient places from `size`
  // up are integer digits beyond h, dropped as * drops them.
  const std::uint64_t h = size / 2;
  digitvector dividend(h + size, 0);
  std::copy(digits.digits.begin(), digits.digits.end(), dividend.begin() + h);
  fixedfloat out(size);
  detail::divide(dividend.data(), dividend.size(), x.digits.digits.data(),
                 x.digits.digits.size(), out.digits.digits.data(), size,
                 nullptr, 0);
  out.isneg =
      floatsigned && isneg != x.isneg && !detail::allzero(out.digits.digits);
  return out;
}

fixedfloat fixedfloat::round(std::uint64_t places, roundmode mode) const {
  requireroundmode(mode);
  requirewellformed(*this);
  const std::uint64_t h = size / 2;
  digitvector result(digits.digits);
  if (places < h) {
    // The low k places go; place k, the last one kept, exists: k <= h < size.
    const std::size_t k = h - places;
    const detail::dropped rest = detail::weighplaces(result.data(), k);
    const bool lastodd = result[k] % 2 != 0;
    std::fill_n(result.begin(), k, detail::digit{0});
    if (roundsaway(mode, rest, isneg, lastodd) &&
        detail::incrementat(result.data(), result.size(), k) &&
        digits.throwwhenover) {
      throw std::overflow_error(detail::message::overflow);
    }
  }
  fixedfloat out(size);
  out.digits.digits = std::move(result);
  out.isneg = isneg && !detail::allzero(out.digits.digits);
  return out;
}

} // namespace VELDRA
