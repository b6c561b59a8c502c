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
#include <limits>
#include <string>
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
std::stringbuf& tracebuffer() { return *logstream.rdbuf(); }
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

std::stringbuf& tracebuffer() {
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
  // The prefix: 35 characters while years have four digits.
  char text[64];
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
// flush would do nothing and is skipped; otherwise it runs as usual.  A line
// may be written from a destructor, so an exception from flushing (a tied
// stream that throws on failure) is not passed on: the failing stream's own
// state records it.
void flushtrace() noexcept {
  if (!tracemade()) {
    return;
  }
  const std::ios& stream = logstream;
  const bool ownbuffer = stream.rdbuf() == logstream.rdbuf();
  if (!ownbuffer || logstream.tie() != nullptr || !logstream.good()) {
    try {
      logstream.flush();
    } catch (...) { // NOLINT(bugprone-empty-catch): recorded in its state
    }
  }
}

// Lines the trace did not keep, and the bound a caller set on it.
struct tracebounds {
  // setlogcapacity's bytes; 0 for none.
  std::size_t capacity;
  // Lines dropped for want of memory, not yet counted in the trace.
  std::uint64_t lost;
  // Lines the capacity dropped, counted at the top of the crash report.
  std::uint64_t dropped;
  // With a capacity: the lines of the trace and its size when a line last
  // went in here.  A trace of another size was written or emptied by a
  // caller since, and its lines are counted afresh.
  std::uint64_t lines;
  std::size_t size;
};
tracebounds bounds; // constant-initialised, as prefix is

constexpr std::string_view lostlines = "Trace lines lost, out of memory: ";
constexpr std::string_view droppedlines =
    "Earlier trace lines dropped, capacity reached: ";

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

// The trace's buffer through the protected members every stream buffer
// has: the text written so far and the room behind it, into which a line
// that fits is copied straight.
class putarea : std::stringbuf {
public:
  static const char* begin(const std::stringbuf& buffer) {
    return (buffer.*&putarea::pbase)();
  }
  static char* next(const std::stringbuf& buffer) {
    return (buffer.*&putarea::pptr)();
  }
  static std::size_t size(const std::stringbuf& buffer) {
    return static_cast<std::size_t>(next(buffer) - begin(buffer));
  }
  // The text and the room behind it.
  static std::size_t capacity(const std::stringbuf& buffer) {
    return static_cast<std::size_t>((buffer.*&putarea::epptr)() -
                                    begin(buffer));
  }
  static std::size_t room(const std::stringbuf& buffer) {
    return capacity(buffer) - size(buffer);
  }
  // Moves the put pointer `count` characters on.
  static void advance(std::stringbuf& buffer, int count) {
    (buffer.*&putarea::pbump)(count);
  }

  // Where the put pointer and the get area stood, as offsets that outlive
  // a new string.
  struct mark {
    std::size_t put, get, getend;
  };
  static mark markof(const std::stringbuf& buffer) {
    const char* first = (buffer.*&putarea::eback)();
    return {size(buffer),
            static_cast<std::size_t>((buffer.*&putarea::gptr)() - first),
            static_cast<std::size_t>((buffer.*&putarea::egptr)() - first)};
  }
  // Back to `where`: what was put since is taken out again.  A string
  // buffer's text reaches the put pointer or, where it went further, the
  // end of the get area, which a growth may have moved on; beyond these an
  // implementation notes how far the text reaches only when it is read,
  // sought or grown, and a growth that fails notes nothing.
  static void restore(std::stringbuf& buffer, const mark& where) {
    for (std::size_t back = size(buffer) - where.put; back > 0;) {
      const int step = static_cast<int>(
          std::min<std::size_t>(back, std::numeric_limits<int>::max()));
      advance(buffer, -step);
      back -= static_cast<std::size_t>(step);
    }
    char* first = (buffer.*&putarea::eback)();
    (buffer.*&putarea::setg)(first, first + where.get, first + where.getend);
  }
};

enum class stored { yes, nomemory, overcapacity };

// The buffer's text replaced by `text`, the put pointer at its end.
bool replacetext(std::stringbuf& buffer, const std::string& text) noexcept {
  try {
    buffer.str(text);
  } catch (...) {
    return false;
  }
  buffer.pubseekoff(0, std::ios::end, std::ios::out);
  return true;
}

// Where the kept part of the trace `text` begins when its oldest whole lines
// go: at the start of the line holding the `wanted`-th character from the
// end, or, when that keeps more than `most`, at the next line's.
std::size_t firstkept(std::string_view text, std::size_t wanted,
                      std::size_t most) {
  const std::size_t mark = text.size() - std::min(wanted, text.size());
  // npos + 1 is 0: no newline before the mark keeps the text whole.
  std::size_t cut = mark == 0 ? 0 : text.rfind('\n', mark - 1) + 1;
  if (text.size() - cut > most) {
    const std::size_t newline = text.find('\n', mark);
    cut = newline == std::string_view::npos ? text.size() : newline + 1;
  }
  return cut;
}

// The newlines of `text`, a byte counter per stretch of 255 characters: a
// loop the compiler runs sixteen or more characters a step.
std::uint64_t countlines(std::string_view text) {
  std::uint64_t lines = 0;
  for (std::size_t begin = 0; begin < text.size(); begin += 255) {
    unsigned char stretch = 0;
    for (const char c : text.substr(begin, 255)) {
      stretch = static_cast<unsigned char>(stretch + (c == '\n' ? 1 : 0));
    }
    lines += stretch;
  }
  return lines;
}

// Notes a line that went into a bounded trace.
void noteline(const std::stringbuf& buffer) {
  ++bounds.lines;
  bounds.size = putarea::size(buffer);
}

// Whether a line of `length` characters keeps the trace within the capacity.
bool withincapacity(const std::stringbuf& buffer, std::size_t length) {
  return length <= bounds.capacity &&
         putarea::size(buffer) <= bounds.capacity - length;
}

// With a capacity: room within it for a line of `length` characters.  The
// oldest whole lines go so that a quarter of the capacity (as far as whole
// lines allow) stays besides the new line: a drop comes once per three
// quarters of the capacity written and costs about what it keeps (copied,
// and its lines counted: those dropped are those noted less those kept), so
// amortised O(1) a line.
stored makeroom(std::stringbuf& buffer, std::size_t length) noexcept {
  const std::size_t capacity = bounds.capacity;
  if (withincapacity(buffer, length)) {
    return stored::yes;
  }
  // A line longer than the capacity is dropped; a trace left longer than
  // a capacity set since still goes down to it.
  const stored outcome =
      length <= capacity ? stored::yes : stored::overcapacity;
  const std::size_t added = outcome == stored::yes ? length : 0;
  const std::string_view text(putarea::begin(buffer), putarea::size(buffer));
  if (text.size() + added <= capacity) {
    return outcome;
  }
  const std::size_t quarter = capacity / 4;
  const std::size_t cut =
      firstkept(text, quarter > added ? quarter - added : 0, capacity - added);
  const std::uint64_t held =
      bounds.size == text.size() ? bounds.lines : countlines(text);
  const std::uint64_t keptlines = countlines(text.substr(cut));
  std::string kept;
  try {
    kept = text.substr(cut);
  } catch (...) {
    return stored::nomemory;
  }
  if (!replacetext(buffer, kept)) {
    return stored::nomemory;
  }
  bounds.dropped += held - keptlines;
  bounds.lines = keptlines;
  bounds.size = kept.size();
  return outcome;
}

// The prefix for a line written now.
void refreshprefix() {
  const std::time_t now = std::time(nullptr);
  if (!prefix.valid || now != prefix.second) {
    formatprefix(now);
  }
}

std::size_t linelength(std::string_view message, std::string_view tail) {
  return prefix.length + message.size() + tail.size() + 1;
}

// The text with the line behind it, handed to the buffer whole.
bool rebuildwith(std::stringbuf& buffer, std::string_view message,
                 std::string_view tail) noexcept {
  std::string text;
  try {
    text.reserve(putarea::size(buffer) + linelength(message, tail));
    text.append(putarea::begin(buffer), putarea::size(buffer))
        .append(prefix.text, prefix.length)
        .append(message)
        .append(tail)
        .push_back('\n');
  } catch (...) {
    return false;
  }
  return replacetext(buffer, text);
}

// A line that needs more room, whole or not at all; false when the
// buffer's string could not grow.  The buffer grows its string itself, by
// half or more, so a line of up to half of what it holds needs one growth,
// which either succeeds or changes nothing: what the line put before it
// can be taken out again.  A longer line goes in with the text rebuilt
// around it.
bool storegrowing(std::stringbuf& buffer, std::string_view message,
                  std::string_view tail) noexcept {
  if (linelength(message, tail) > putarea::capacity(buffer) / 2) {
    return rebuildwith(buffer, message, tail);
  }
  const auto put = [&buffer](std::string_view text) {
    const auto count = static_cast<std::streamsize>(text.size());
    return buffer.sputn(text.data(), count) == count;
  };
  const putarea::mark start = putarea::markof(buffer);
  try {
    if (put({prefix.text, prefix.length}) && put(message) && put(tail) &&
        put("\n")) {
      return true;
    }
  } catch (...) { // NOLINT(bugprone-empty-catch): the line is taken back out
  }
  putarea::restore(buffer, start);
  return false;
}

// Whether the room behind the text holds a line of `length` characters.
bool inroom(const std::stringbuf& buffer, std::size_t length) {
  return length <= putarea::room(buffer) &&
         length <= static_cast<std::size_t>(std::numeric_limits<int>::max());
}

// Copies a line of `length` characters into the room behind the text.
void putinroom(std::stringbuf& buffer, std::string_view message,
               std::string_view tail, std::size_t length) {
  char* out = std::copy_n(prefix.text, prefix.length, putarea::next(buffer));
  out = std::copy(message.begin(), message.end(), out);
  out = std::copy(tail.begin(), tail.end(), out);
  *out = '\n';
  putarea::advance(buffer, static_cast<int>(length));
}

// One line, whole or not at all; false when the buffer could not take it.
bool storeline(std::string_view message, std::string_view tail) noexcept {
  std::stringbuf& buffer = tracebuffer();
  const std::size_t length = linelength(message, tail);
  if (inroom(buffer, length)) {
    putinroom(buffer, message, tail, length);
    return true;
  }
  return storegrowing(buffer, message, tail);
}

// storeline within the capacity, if one is set.
stored storewithin(std::string_view message, std::string_view tail) noexcept {
  if (bounds.capacity != 0) {
    const stored room = makeroom(tracebuffer(), linelength(message, tail));
    if (room != stored::yes) {
      return room;
    }
  }
  if (!storeline(message, tail)) {
    return stored::nomemory;
  }
  if (bounds.capacity != 0) {
    noteline(tracebuffer());
  }
  return stored::yes;
}

// The line after the count of lines lost before it, within the capacity.
stored storebounded(std::string_view message, std::string_view tail) noexcept {
  if (bounds.lost != 0) {
    const stored count = storewithin(lostlines, counttext(bounds.lost).view());
    if (count != stored::yes) {
      return count;
    }
    bounds.lost = 0;
  }
  return storewithin(message, tail);
}

// A line now, for the crash report's closing lines.
stored storecounted(std::string_view message, std::string_view tail) noexcept {
  refreshprefix();
  return storebounded(message, tail);
}

// Every line of the trace comes here.  It never throws: a line the trace
// cannot keep is counted instead.  In the trace's ordinary state (no line
// waiting to be counted, room behind the text, within the capacity if one
// is set) the line is copied straight in.
void appendline(std::string_view message, std::string_view tail) noexcept {
  refreshprefix();
  std::stringbuf& buffer = tracebuffer();
  const std::size_t length = linelength(message, tail);
  if (bounds.lost == 0 && inroom(buffer, length) &&
      (bounds.capacity == 0 || withincapacity(buffer, length))) {
    putinroom(buffer, message, tail, length);
    if (bounds.capacity != 0) {
      noteline(buffer);
    }
    flushtrace();
    return;
  }
  switch (storebounded(message, tail)) {
  case stored::yes:
    flushtrace();
    return;
  case stored::nomemory:
    ++bounds.lost;
    return;
  case stored::overcapacity:
    ++bounds.dropped;
    return;
  }
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
// trace can take it (out of memory, it takes nothing of a line).  From the
// first that it cannot, that line and all after it wait here, and the report
// gets them after the trace: it still ends with all six, in order.  Lines
// the capacity dropped are counted first.
class closinglines {
public:
  void add(std::string_view message, std::string_view tail = {}) noexcept {
    if (waiting_ == 0 && storecounted(message, tail) == stored::yes) {
      return;
    }
    if (waiting_ < maxlines) {
      lines_[waiting_++] = {message, tail};
    }
  }

  void write(int fd) const noexcept {
    if (bounds.dropped != 0) {
      writeline(fd, droppedlines, counttext(bounds.dropped).view());
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

namespace detail {

void logline(std::string_view message) noexcept { appendline(message, {}); }

void logline(std::string_view message, std::uint64_t number) noexcept {
  appendline(message, counttext(number).view());
}

} // namespace detail

// The message is taken by value, as callers of the trace have always passed
// it.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
void log(std::string target) { appendline(target, {}); }

void setlogcapacity(std::size_t bytes) { bounds.capacity = bytes; }

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
