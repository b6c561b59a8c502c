// Whole-place shifts of a digit vector by any number of places.  Internal:
// not installed.  Repeated one-place shifts are spelled as one move here, so
// a k-place shift costs O(n) rather than O(k n).
#ifndef VELDRA_DIGITSHIFT_HPP
#define VELDRA_DIGITSHIFT_HPP

#include <algorithm>
#include <cstddef>
#include <vector>

namespace VELDRA {
namespace detail {

// Magnitude times 10^places, the top places dropped.
inline void shiftup(std::vector<signed char>& digits, std::size_t places) {
  const std::size_t kept = places < digits.size() ? digits.size() - places : 0;
  std::move_backward(digits.begin(), digits.begin() + kept, digits.end());
  std::fill(digits.begin(), digits.end() - kept, 0);
}

// Magnitude divided by 10^places, the low places dropped.
inline void shiftdown(std::vector<signed char>& digits, std::size_t places) {
  const std::size_t kept = places < digits.size() ? digits.size() - places : 0;
  std::move(digits.end() - kept, digits.end(), digits.begin());
  std::fill(digits.begin() + kept, digits.end(), 0);
}

} // namespace detail
} // namespace VELDRA

#endif // VELDRA_DIGITSHIFT_HPP
