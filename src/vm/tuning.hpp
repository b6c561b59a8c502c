// The tuned parameters: where one kernel hands over to another, in limbs
// (19 decimal digits) of the shorter factor or of the divisor.  Internal:
// not installed.  The measurements that chose them are in
// docs/performance.md, "Tuned parameters".
#ifndef VELDRA_TUNING_HPP
#define VELDRA_TUNING_HPP

#include <cstddef>

namespace VELDRA {
namespace detail {

// Products from this size split by Karatsuba; below it, schoolbook columns.
constexpr std::size_t karatsubathreshold = 64;
// The same for squares.
constexpr std::size_t karatsubasquarethreshold = 112;
// Products from this size split in thirds by Toom-3, when the shorter
// factor is longer than two thirds of the longer; below it, Karatsuba.
constexpr std::size_t toomthreshold = 224;
// The same for squares.
constexpr std::size_t toomsquarethreshold = 224;
// Products from this size go through the number-theoretic transform.
constexpr std::size_t nttthreshold = 760;
// The same for squares.
constexpr std::size_t nttsquarethreshold = 850;
// Low products from this size split into a full and two low products;
// below it, truncated schoolbook columns.
constexpr std::size_t lowsplitthreshold = 160;
// Low squares from this size split into a square and one low product.
constexpr std::size_t lowsplitsquarethreshold = 224;
// Low products from this size take the transform of the full product.
constexpr std::size_t nttlowthreshold = 700;
// The same for low squares.
constexpr std::size_t nttlowsquarethreshold = 1300;
// Divisors from this size divide recursively; below it, by schoolbook.
constexpr std::size_t divthreshold = 12;

} // namespace detail
} // namespace VELDRA

#endif // VELDRA_TUNING_HPP
