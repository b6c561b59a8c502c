// The trace as the crash report sees it: its buffer, its line prefix and
// its bounds.  Internal: not installed.  The library's classes log through
// logline.hpp instead.
#ifndef VELDRA_TRACESTORE_HPP
#define VELDRA_TRACESTORE_HPP

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string_view>

namespace VELDRA {
namespace detail {

// A count in decimal, on the stack.
class counttext {
public:
  explicit counttext(std::uint64_t count)
      : end_(std::to_chars(text_, text_ + sizeof text_, count).ptr) {}
  std::string_view view() const {
    return {text_, static_cast<std::size_t>(end_ - text_)};
  }

private:
  char text_[24];
  char* end_;
};

// What became of a line handed to the trace.
enum class stored { yes, nomemory, overcapacity };

// The buffer that holds the trace's lines.
std::stringbuf& tracetext() noexcept;

// A line now, within the capacity and after the count of any lines lost
// before it, for the crash report's closing lines.
stored storereportline(std::string_view message,
                       std::string_view tail) noexcept;

// The prefix of a line written now: "VELDRA [" + ctime text + "]: ".
std::string_view lineprefixnow() noexcept;

// Lines the capacity dropped, which the report counts at its top.
std::uint64_t droppedcount() noexcept;

} // namespace detail
} // namespace VELDRA

#endif // VELDRA_TRACESTORE_HPP
