// The crash report that the terminate handler writes: the trace and its
// closing lines, to logs/veldra.log.
#include "trace.hpp"
#include "tracestore.hpp"
#include "veldra.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <exception>
#include <fcntl.h>
#include <typeinfo>

#if defined(_WIN32)
#include <io.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

#if __has_include(<cxxabi.h>)
#include <cxxabi.h>
#define VELDRA_HAS_CXXABI 1
#endif

namespace VELDRA {

namespace {

using detail::stored;

// The crash report runs when memory may be gone, so nothing on its path
// allocates: the report is written with the system's own file calls from
// stack buffers, and the exception is named by pointers into the runtime's
// own data.

// Opens the report, created or replaced, never appended to; a missing logs/
// is not made.  -1 when it cannot be opened.  On Windows in binary mode, so
// that the report holds the trace's bytes, '\n' line ends and all, as
// everywhere else.
int openreport() noexcept {
#if defined(_WIN32)
  return ::_open("logs/veldra.log",
                 _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT,
                 _S_IREAD | _S_IWRITE);
#else
  return ::open("logs/veldra.log", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                0666);
#endif
}

// Writes some of [data, data + size) to fd: the count written, or -1.
long writesome(int fd, const char* data, std::size_t size) noexcept {
#if defined(_WIN32)
  constexpr std::size_t most = 1u << 30; // _write takes an unsigned count
  return ::_write(fd, data, static_cast<unsigned>(std::min(size, most)));
#else
  return ::write(fd, data, size);
#endif
}

void closereport(int fd) noexcept {
#if defined(_WIN32)
  ::_close(fd);
#else
  ::close(fd);
#endif
}

// Names the exception in flight, if any: mangled type name and what().
// Exceptions not derived from std::exception keep "UNKNOWN" as message.
// Both texts live as long as the exception, which is still being handled.
// Whatever is rethrown is caught here.
void describecurrentexception(const char*& type,
                              const char*& message) noexcept {
  if (!std::current_exception()) {
    return;
  }
  try {
    std::rethrow_exception(std::current_exception());
  } catch (const std::exception& e) {
    type = typeid(e).name();
    message = e.what();
  } catch (...) {
#ifdef VELDRA_HAS_CXXABI
    if (const std::type_info* handled = abi::__cxa_current_exception_type()) {
      type = handled->name();
    }
#endif
  }
}

// All of [data, data + size) to fd; false once writing fails.
bool writeall(int fd, const char* data, std::size_t size) noexcept {
  while (size > 0) {
    const long written = writesome(fd, data, size);
    if (written < 0 && errno != EINTR) {
      return false;
    }
    if (written > 0) {
      data += written;
      size -= static_cast<std::size_t>(written);
    }
  }
  return true;
}

// The length of the trace's text: where its next line goes.
std::streamoff tracelength() noexcept {
  const std::streamoff end =
      detail::tracetext().pubseekoff(0, std::ios::cur, std::ios::out);
  return end < 0 ? 0 : end;
}

// The first `length` characters of the trace to fd, a chunk at a time: a
// large trace is never copied whole.
void writetrace(int fd, std::streamoff length) noexcept {
  std::streambuf& trace = detail::tracetext();
  char chunk[16384];
  trace.pubseekoff(0, std::ios::beg, std::ios::in);
  while (length > 0) {
    const std::streamsize got =
        trace.sgetn(chunk, std::min<std::streamoff>(length, sizeof chunk));
    if (got <= 0 || !writeall(fd, chunk, static_cast<std::size_t>(got))) {
      return;
    }
    length -= got;
  }
}

// One trace line straight to fd, with the time of writing.
void writeline(int fd, std::string_view message,
               std::string_view tail) noexcept {
  const std::string_view prefix = detail::lineprefixnow();
  static_cast<void>(writeall(fd, prefix.data(), prefix.size()) &&
                    writeall(fd, message.data(), message.size()) &&
                    writeall(fd, tail.data(), tail.size()) &&
                    writeall(fd, "\n", 1));
}

// The six closing lines of a report.  Each goes into the trace while the
// trace can take it (out of memory, it takes nothing of a line).  From the
// first that it cannot, that line and all after it wait here, and the report
// gets them after the trace: it still ends with all six, in order.  Lines
// the capacity dropped are counted first.
class closinglines {
public:
  void add(std::string_view message, std::string_view tail = {}) noexcept {
    if (waiting_ == 0 &&
        detail::storereportline(message, tail) == stored::yes) {
      return;
    }
    if (waiting_ < maxlines) {
      lines_[waiting_++] = {message, tail};
    }
  }

  void write(int fd) const noexcept {
    if (const std::uint64_t dropped = detail::droppedcount(); dropped != 0) {
      writeline(fd, detail::trace::droppedlines,
                detail::counttext(dropped).view());
    }
    writetrace(fd, tracelength());
    for (std::size_t i = 0; i < waiting_; ++i) {
      writeline(fd, lines_[i].message, lines_[i].tail);
    }
  }

private:
  static constexpr std::size_t maxlines = 6;
  struct line {
    std::string_view message;
    std::string_view tail;
  };
  line lines_[maxlines];
  std::size_t waiting_ = 0;
};

[[noreturn]] void handover() {
  if (oldtermfunc != nullptr) {
    oldtermfunc();
  }
  // A terminate handler must not return.
  std::abort();
}
} // namespace

void logdumper() {
  // Re-entered (a terminate from inside the report or from the earlier
  // handler): end at once rather than loop.
  static bool reporting = false;
  if (reporting) {
    std::abort();
  }
  reporting = true;

  closinglines closing;
  closing.add(detail::trace::reportstart);
  // A report that cannot be opened is simply not written.
  const int dump = openreport();
  closing.add(detail::trace::reportopened);
  closing.add(detail::trace::reportrethrow);

  const char* excptype = "UNKNOWN";
  const char* message = "UNKNOWN";
  describecurrentexception(excptype, message);
  closing.add(detail::trace::reporttype, excptype);
  closing.add(detail::trace::reportwhat, message);
  closing.add(detail::trace::reportend);

  if (dump >= 0) {
    closing.write(dump);
    closereport(dump);
  }
  handover();
}
} // namespace VELDRA
