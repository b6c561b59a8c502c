// The process-wide trace, the once-only module set-up and the crash report
// written by the terminate handler.
#include "logline.hpp"
#include "veldra.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <fcntl.h>
#include <new>
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

terminate_handler oldtermfunc = nullptr;
bool init = false;

// Numbers made by other translation units' static initialisers log too, so
// the trace is built ahead of ordinary static objects where the toolchain
// allows it; elsewhere their lines wait until it is (see tracebuffer).
#if defined(__GNUC__) && !defined(VELDRA_PORTABLE)
#define VELDRA_HAS_INIT_PRIORITY 1
std::stringstream logstream __attribute__((init_priority(101)));
#else
std::stringstream logstream;
#endif

namespace {

#if defined(VELDRA_HAS_INIT_PRIORITY)
constexpr bool tracemade() { return true; }
std::streambuf& tracebuffer() { return *logstream.rdbuf(); }
#else
// Until this file's own initialisation has made logstream, lines go to a
// buffer made on first use; they join the trace, ahead of all others, as
// soon as it exists.  After the trace is gone at exit, they go there again.
bool made = false; // constant-initialised: valid before any constructor
bool tracemade() { return made; }

std::stringbuf& waitinglines() {
  static std::stringbuf lines;
  return lines;
}

std::streambuf& tracebuffer() {
  return made ? *logstream.rdbuf() : waitinglines();
}

struct tracemaker {
  tracemaker() {
    const std::string waiting = waitinglines().str();
    logstream.rdbuf()->sputn(waiting.data(),
                             static_cast<std::streamsize>(waiting.size()));
    waitinglines().str({});
    made = true;
  }
  tracemaker(const tracemaker&) = delete;
  tracemaker& operator=(const tracemaker&) = delete;
  ~tracemaker() { made = false; }
};
// Made after logstream, as it is defined after it in this file.
const tracemaker maketrace;
#endif

// "VELDRA [" + 24 characters of ctime text + "]: ", remade only when the
// second changes: converting to local time costs far more than the append.
struct lineprefix {
  bool valid;
  std::time_t second;
  std::size_t length;
  // The prefix, and behind it room to assemble a line.
  char text[256];
};
lineprefix prefix; // constant-initialised: usable before any constructor

// The local time of `now`; false when it has none.
bool localtimeof(std::time_t now, std::tm& parts) {
#if defined(_WIN32)
  return localtime_s(&parts, &now) == 0;
#else
  return localtime_r(&now, &parts) != nullptr;
#endif
}

void formatprefix(std::time_t now) {
  static const char weekdays[7][4] = {"Sun", "Mon", "Tue", "Wed",
                                      "Thu", "Fri", "Sat"};
  static const char months[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm parts{};
  int written;
  // The layout of ctime/asctime, built without their shared static buffer
  // and without dereferencing a null result for unrepresentable times.
  if (localtimeof(now, parts)) {
    written = std::snprintf(
        prefix.text, sizeof prefix.text,
        "VELDRA [%.3s %.3s%3d %.2d:%.2d:%.2d %d]: ", weekdays[parts.tm_wday],
        months[parts.tm_mon], parts.tm_mday, parts.tm_hour, parts.tm_min,
        parts.tm_sec, parts.tm_year + 1900);
  } else {
    written = std::snprintf(prefix.text, sizeof prefix.text,
                            "VELDRA [??? ??? ?? ??:??:?? ????]: ");
  }
  prefix.length = static_cast<std::size_t>(written);
  prefix.second = now;
  prefix.valid = true;
}

// Flushes the trace after a line.  A string buffer has nothing to sync, so
// while the stream writes to its own buffer, untied and in a good state, a
// flush would do nothing and is skipped; otherwise it runs as usual.
void flushtrace() {
  if (!tracemade()) {
    return;
  }
  const std::ios& stream = logstream;
  const bool ownbuffer = stream.rdbuf() == logstream.rdbuf();
  if (!ownbuffer || logstream.tie() != nullptr || !logstream.good()) {
    logstream.flush();
  }
}

// All of [data, data + size) into the buffer, `written` counting what the
// line has put so far.  Out of memory, libstdc++'s string buffer throws
// std::bad_alloc, while libc++'s takes what fits and fails the rest: that
// line is stepped back to where it began and fails the same way.
void put(std::streambuf& buffer, const char* data, std::size_t size,
         std::streamsize& written) {
  const auto count = static_cast<std::streamsize>(size);
  const std::streamsize took = buffer.sputn(data, count);
  written += took;
  if (took != count) {
    buffer.pubseekoff(-written, std::ios::cur, std::ios::out);
    throw std::bad_alloc();
  }
}

// One line: prefix, the message in two pieces, newline.  A line that fits is
// assembled behind the cached prefix and handed to the buffer in one call.
void appendline(std::string_view message, std::string_view tail) {
  const std::time_t now = std::time(nullptr);
  if (!prefix.valid || now != prefix.second) {
    formatprefix(now);
  }
  std::streambuf& buffer = tracebuffer();
  const std::size_t length = prefix.length + message.size() + tail.size() + 1;
  std::streamsize written = 0;
  if (length <= sizeof prefix.text) {
    char* end = prefix.text + prefix.length;
    end = std::copy(message.begin(), message.end(), end);
    end = std::copy(tail.begin(), tail.end(), end);
    *end = '\n';
    put(buffer, prefix.text, length, written);
  } else {
    put(buffer, prefix.text, prefix.length, written);
    put(buffer, message.data(), message.size(), written);
    put(buffer, tail.data(), tail.size(), written);
    put(buffer, "\n", 1, written);
  }
  flushtrace();
}

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
      tracebuffer().pubseekoff(0, std::ios::cur, std::ios::out);
  return end < 0 ? 0 : end;
}

// The first `length` characters of the trace to fd, a chunk at a time: a
// large trace is never copied whole.
void writetrace(int fd, std::streamoff length) noexcept {
  std::streambuf& trace = tracebuffer();
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
  formatprefix(std::time(nullptr));
  static_cast<void>(writeall(fd, prefix.text, prefix.length) &&
                    writeall(fd, message.data(), message.size()) &&
                    writeall(fd, tail.data(), tail.size()) &&
                    writeall(fd, "\n", 1));
}

// The six closing lines of a report.  Each goes into the trace while the
// trace can take it.  From the first that it cannot (out of memory, the line
// perhaps half written), that line and all after it wait here, and the
// report gets them after the trace as it stood before: it still ends with
// all six, in order.
class closinglines {
public:
  void add(std::string_view message, std::string_view tail = {}) noexcept {
    if (waiting_ == 0) {
      const std::streamoff before = tracelength();
      try {
        appendline(message, tail);
        return;
      } catch (...) {
        kept_ = before;
      }
    }
    if (waiting_ < maxlines) {
      lines_[waiting_++] = {message, tail};
    }
  }

  void write(int fd) const noexcept {
    writetrace(fd, waiting_ == 0 ? tracelength() : kept_);
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
  std::streamoff kept_ = 0;
};

[[noreturn]] void handover() {
  if (oldtermfunc != nullptr) {
    oldtermfunc();
  }
  // A terminate handler must not return.
  std::abort();
}

} // namespace

namespace detail {

void logline(std::string_view message) { appendline(message, {}); }

void logline(std::string_view message, std::uint64_t number) {
  char text[24];
  const auto result = std::to_chars(text, text + sizeof text, number);
  appendline(message, std::string_view(text, result.ptr - text));
}

} // namespace detail

// The message is taken by value, as callers of the trace have always passed
// it.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
void log(std::string target) { appendline(target, {}); }

void setup() {
  if (init) {
    return;
  }
  detail::logline("First fixedint/fixedfloat object created!");
  detail::logline("Start Initialization of Veldra Arithmetic module.");
  init = true;
  detail::logline("Setting up log dumper...");
  // A caller that cleared `init` must not make the report hand over to
  // itself.
  const terminate_handler previous = std::set_terminate(logdumper);
  if (previous != logdumper) {
    oldtermfunc = previous;
  }
  detail::logline("Done. Init Successful");
}

void logdumper() {
  // Re-entered (a terminate from inside the report or from the earlier
  // handler): end at once rather than loop.
  static bool reporting = false;
  if (reporting) {
    std::abort();
  }
  reporting = true;

  closinglines closing;
  closing.add("Terminate called. Preparing report.");
  // A report that cannot be opened is simply not written.
  const int dump = openreport();
  closing.add("Opened File.");
  closing.add("Rethrowing exception and getting type.");

  const char* excptype = "UNKNOWN";
  const char* message = "UNKNOWN";
  describecurrentexception(excptype, message);
  closing.add("Exception type: ", excptype);
  closing.add("what(): ", message);
  closing.add("--- LOG END: NO FURTHER MESSAGES ---");

  if (dump >= 0) {
    closing.write(dump);
    closereport(dump);
  }
  handover();
}

} // namespace VELDRA
