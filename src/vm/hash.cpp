// std::hash for both classes, consistent with their ==: the elements a
// number holds folded a word at a time, with what else == looks at.
#include "digits.hpp"
#include "veldra.hpp"

#include <cstdint>
#include <cstring>

namespace {

using std::uint64_t;

// The finaliser of splitmix64: every bit of x reaches every bit of the
// result.
uint64_t mixed(uint64_t x) {
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9u;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebu;
  return x ^ (x >> 31);
}

// The elements d[0, n) and their count folded into `seed`, eight to a word.
std::size_t hashplaces(const VELDRA::detail::digit* d, std::size_t n,
                       uint64_t seed) {
  uint64_t h = mixed(seed ^ mixed(n));
  for (; n >= 8; d += 8, n -= 8) {
    uint64_t w = 0;
    std::memcpy(&w, d, sizeof w);
    h = mixed(h ^ w);
  }
  if (n > 0) {
    uint64_t w = 0;
    std::memcpy(&w, d, n);
    h = mixed(h ^ w);
  }
  return static_cast<std::size_t>(h);
}

} // namespace

std::size_t std::hash<VELDRA::fixedint>::operator()(
    const VELDRA::fixedint& number) const noexcept {
  return hashplaces(number.digits.data(), number.digits.size(),
                    number.isneg ? 1 : 0);
}

std::size_t std::hash<VELDRA::fixedfloat>::operator()(
    const VELDRA::fixedfloat& number) const noexcept {
  // == aligns the points and counts a missing place as 0: equal numbers
  // share the run from their lowest to their highest non-zero element and
  // where it stands against the point, and only a value below zero is
  // negative.
  const std::vector<VELDRA::detail::digit>& d = number.digits.digits;
  const std::size_t low = VELDRA::detail::firstplacenot(d.data(), d.size(), 0);
  if (low == d.size()) {
    return hashplaces(nullptr, 0, 0);
  }
  const std::size_t high =
      VELDRA::detail::significantlength(d.data(), d.size());
  const uint64_t lowplace = uint64_t{low} - number.size / 2;
  return hashplaces(d.data() + low, high - low,
                    mixed(lowplace) ^ (number.isneg ? 1 : 0));
}
