// fixedfloat: comparison and arithmetic.  The scaled integers in the digits
// (the magnitudes times 10^h) do the work; the sign stays apart in isneg.
#include "digits.hpp"
#include "instep.hpp"
#include "logline.hpp"
#include "messages.hpp"
#include "trace.hpp"
#include "veldra.hpp"

#include <algorithm>
#include <array>
#include <limits>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace VELDRA {

fixedfloat fixedfloat::operator*(fixedfloat x) const {
  detail::requireinstep(*this, x);
  detail::logline(detail::trace::floatproduct);
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
  detail::multiplydigits(digits.digits.data(), digits.digits.size(),
                         x.digits.digits.data(), x.digits.digits.size(),
                         product, h + size);
  std::copy(product + h, product + h + size, out.digits.digits.begin());
  out.isneg = floatsigned && isneg != x.isneg;
  detail::logline(detail::trace::done);
  return out;
}

namespace {

// -1, 0 or 1 as |a| is below, equal to or above |b|, compared place by place
// from the top with the points aligned.
int comparemagnitudes(const fixedfloat& a, const fixedfloat& b) {
  const auto& da = a.digits.digits;
  const auto& db = b.digits.digits;
  return detail::comparealigned(da.data(), da.size(), a.size / 2, db.data(),
                                db.size(), b.size / 2);
}

bool isnegative(const fixedfloat& number) {
  return detail::negativevalue(number.isneg, number.digits.digits);
}

// -1, 0 or 1 as the value of a is below, equal to or above that of b.
int comparevalues(const fixedfloat& a, const fixedfloat& b) {
  detail::requireinstep(a, b);
  const bool nega = isnegative(a);
  if (nega != isnegative(b)) {
    return nega ? -1 : 1;
  }
  const int order = comparemagnitudes(a, b);
  return nega ? -order : order;
}

// Digits that do not match the length are as malformed as elements outside
// 0..9, which the sum's kernel reports: the message these operations have
// always given for them.  Other members out of step are refused as
// everywhere.
void requirematchinglength(const fixedfloat& number) {
  if (number.digits.digits.size() != number.size) {
    throw std::domain_error(detail::message::malformed);
  }
  detail::requireinstep(number);
}

// Matching length and digits 0..9 only: what / and round work on.
void requirewellformed(const fixedfloat& number) {
  requirematchinglength(number);
  detail::requirewellformed(number.digits.digits.data(), number.size);
}

// a plus b, b taken with the sign `bneg`.  b is the operator's own copy of
// its right operand: its digits become those of the result, worked out
// before the result is made, so a failure makes and logs nothing.
fixedfloat signedsum(const fixedfloat& a, fixedfloat& b, bool bneg) {
  if (a.size != b.size) {
    throw std::length_error(detail::message::floatsizes);
  }
  requirematchinglength(a);
  requirematchinglength(b);
  const detail::digit* x = a.digits.digits.data();
  detail::digit* y = b.digits.digits.data();
  const std::size_t n = b.digits.digits.size();
  const bool samesigns = a.isneg == bneg;
  bool negative = a.isneg;
  int carry = 0;
  if (samesigns) {
    carry = detail::kernel::add(x, y, y, n, 0);
  } else if (comparemagnitudes(a, b) < 0) {
    carry = detail::kernel::subtract(y, x, y, n, 0);
    negative = bneg;
  } else {
    carry = detail::kernel::subtract(x, y, y, n, 0);
  }
  if (carry == detail::notdigits) {
    throw std::domain_error(detail::message::malformed);
  }
  if (samesigns && carry != 0 && a.digits.throwwhenover) {
    throw std::overflow_error(detail::message::overflow);
  }
  fixedfloat out(a.size);
  out.digits.digits.swap(b.digits.digits);
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

using digitvector = std::vector<detail::digit>;

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

// Whether rounding away the well-formed places d[0, k), 0 < k < the length,
// adds one at place k.
bool roundsawayat(const digitvector& d, std::size_t k, roundmode mode,
                  bool negative) {
  return roundsaway(mode, detail::weighplaces(d.data(), k), negative,
                    d[k] % 2 != 0);
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
  fixedfloat out(size);
  detail::dividescaled(digits.digits.data(), size, size / 2,
                       x.digits.digits.data(), x.digits.digits.size(),
                       out.digits.digits.data(), size);
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
    const bool away = roundsawayat(result, k, mode, isneg);
    std::fill_n(result.begin(), k, detail::digit{0});
    if (away && detail::incrementat(result.data(), result.size(), k) &&
        digits.throwwhenover) {
      throw std::overflow_error(detail::message::overflow);
    }
  }
  fixedfloat out(size);
  out.digits.digits = std::move(result);
  out.isneg = isneg && !detail::allzero(out.digits.digits);
  return out;
}

namespace {

// The text of a number rounded to `places` fraction places, worked out from
// its digits without changing them.  The rounded magnitude R is the places
// from k up (k = h - kept, kept = min(places, h)), plus one at place k when
// rounding away: the nines from k up turn to zeros and the place above them
// (`stop`) gains one, the carry leaving the top when every place is a nine.
// R is written with at least one integer digit and its last `kept` digits
// after the point, then zeros up to `places`.
class roundedtext {
public:
  roundedtext(const fixedfloat& number, std::uint64_t places, roundmode mode)
      : d_(number.digits.digits), places_(places) {
    requireroundmode(mode);
    requirewellformed(number);
    const std::size_t h = number.size / 2;
    kept_ = std::min<std::uint64_t>(places, h);
    k_ = h - kept_;
    const std::size_t n = d_.size();
    up_ = kept_ < h && roundsawayat(d_, k_, mode, number.isneg);
    stop_ = up_ ? k_ + detail::firstplacenot(d_.data() + k_, n - k_, 9) : n;
    std::size_t used = detail::significantlength(d_.data() + k_, n - k_);
    if (up_) {
      used = std::max(used, stop_ - k_ + 1);
    }
    width_ = std::max(used, kept_ + 1);
    negative_ = number.isneg && used != 0;
  }

  // The characters before the zeros beyond the number's own places.
  std::size_t headlength() const {
    return (negative_ ? 1 : 0) + width_ + (places_ > 0 ? 1 : 0);
  }
  std::uint64_t zeros() const { return places_ - kept_; }

  char* writehead(char* out) const {
    if (negative_) {
      *out++ = '-';
    }
    for (std::size_t j = width_; j-- > 0;) {
      *out++ = static_cast<char>('0' + at(k_ + j));
      if (j == kept_ && places_ > 0) {
        *out++ = '.';
      }
    }
    return out;
  }

private:
  const digitvector& d_;
  std::uint64_t places_;
  std::size_t kept_;
  std::size_t k_;
  bool up_;
  std::size_t stop_;
  std::size_t width_;
  bool negative_;

  // The digit of R at `place` (k or above).
  int at(std::size_t place) const {
    if (place >= d_.size()) {
      return up_ && place == stop_ ? 1 : 0;
    }
    if (up_ && place <= stop_) {
      return place == stop_ ? d_[place] + 1 : 0;
    }
    return d_[place];
  }
};

} // namespace

std::string fixedfloat::asstring(std::uint64_t places, roundmode mode) const {
  const roundedtext text(*this, places, mode);
  std::string out(text.headlength(), '0');
  text.writehead(out.data());
  // std::string refuses what it cannot hold.
  out.append(static_cast<std::size_t>(std::min<std::uint64_t>(
                 text.zeros(), std::numeric_limits<std::size_t>::max())),
             '0');
  return out;
}

std::to_chars_result to_chars(char* first, char* last, const fixedfloat& value,
                              std::uint64_t places, roundmode mode) {
  const roundedtext text(value, places, mode);
  const std::size_t room = detail::room(first, last);
  if (room < text.headlength() || room - text.headlength() < text.zeros()) {
    return {last, std::errc::value_too_large};
  }
  char* const end = text.writehead(first);
  return {std::fill_n(end, text.zeros(), '0'), std::errc{}};
}

} // namespace VELDRA
