// Every text the library writes to the trace, in one place, and the lines
// of the events it logs without an object to log them.  Internal: not
// installed.  Callers and crash reports read these lines, so, as the
// exception texts in messages.hpp, they never change.
//
// Some lines stand for numbers that are no longer made: an operation that
// once copied a number only to destroy it, or stepped through numbers it
// now skips, still writes the lines those numbers wrote, in their order.
// The helpers below write them; a class file that calls one says which
// number's lines they are.
#ifndef VELDRA_TRACE_HPP
#define VELDRA_TRACE_HPP

#include "logline.hpp"
#include "veldra.hpp"

#include <cstdint>
#include <string_view>

namespace VELDRA {
namespace detail {
namespace trace {

// The set-up of the module, once per process.
constexpr std::string_view firstnumber =
    "First fixedint/fixedfloat object created!";
constexpr std::string_view startsetup =
    "Start Initialization of Veldra Arithmetic module.";
constexpr std::string_view settingdumper = "Setting up log dumper...";
constexpr std::string_view setupdone = "Done. Init Successful";

// A fixedint made, resized or destroyed; "Resizing Digits to: " is
// followed by the length.
constexpr std::string_view intmade = "New fixedint object!";
constexpr std::string_view resizerequested = "Resize requested in fixedint.";
constexpr std::string_view resizingto = "Resizing Digits to: ";
constexpr std::string_view done = "Done.";
constexpr std::string_view intdestroyed = "Deleted fixedint object.";

// A fixedfloat made, set to a length, multiplied or destroyed; its init
// line is followed by the length.
constexpr std::string_view floatmade = "Creating new fixedfloat object!";
constexpr std::string_view floatinit =
    "Init called on fixedfloat with length: ";
constexpr std::string_view floatsize = "Register size.";
constexpr std::string_view floatflags = "Init boolean properties.";
constexpr std::string_view floatdigits = "Init digits.";
constexpr std::string_view floatproduct =
    "Multiplication operation in fixedfloat. (oh boy)";
constexpr std::string_view floatdestroyed = "Deleting fixedfloat object!";

// The trace's own bounds, each followed by a count.
constexpr std::string_view lostlines = "Trace lines lost, out of memory: ";
constexpr std::string_view droppedlines =
    "Earlier trace lines dropped, capacity reached: ";

// The closing lines of a crash report; the type and what() lines are
// followed by their texts.
constexpr std::string_view reportstart = "Terminate called. Preparing report.";
constexpr std::string_view reportopened = "Opened File.";
constexpr std::string_view reportrethrow =
    "Rethrowing exception and getting type.";
constexpr std::string_view reporttype = "Exception type: ";
constexpr std::string_view reportwhat = "what(): ";
constexpr std::string_view reportend = "--- LOG END: NO FURTHER MESSAGES ---";

// The lines of fixedint(length): set-up first, then its creation.
inline void numbermade(std::uint64_t length) {
  setup();
  logline(intmade);
  logline(resizingto, length);
  logline(done);
}

// The lines of fixedint::resize(length).
inline void numberresized(std::uint64_t length) {
  logline(resizerequested);
  logline(resizingto, length);
  logline(done);
}

// The line of a fixedint destroyed.
inline void numbergone() { logline(intdestroyed); }

// A number that is no longer made, leaving only its destruction line when
// the scope it lived in ends.
class numberuntilscopeend {
public:
  numberuntilscopeend() = default;
  numberuntilscopeend(const numberuntilscopeend&) = delete;
  numberuntilscopeend& operator=(const numberuntilscopeend&) = delete;
  ~numberuntilscopeend() { numbergone(); }
};

} // namespace trace
} // namespace detail
} // namespace VELDRA

#endif // VELDRA_TRACE_HPP
