// The allocation-free entry to the trace used inside the library.  Internal:
// not installed.  The public VELDRA::log(std::string) writes the same lines.
#ifndef VELDRA_LOGLINE_HPP
#define VELDRA_LOGLINE_HPP

#include <cstdint>
#include <string_view>

namespace VELDRA {
namespace detail {

// Appends one trace line carrying `message`.  Never throws: a line the
// trace cannot store is dropped and counted, as log() says.
void logline(std::string_view message) noexcept;

// Appends one trace line carrying `message` followed by `number` in decimal,
// as in "Resizing Digits to: 8".
void logline(std::string_view message, std::uint64_t number) noexcept;

} // namespace detail
} // namespace VELDRA

#endif // VELDRA_LOGLINE_HPP
