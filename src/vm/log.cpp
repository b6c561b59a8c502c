// The process-wide trace and the once-only module set-up.  The crash report
// that the terminate handler writes is in crashreport.cpp.
#include "logline.hpp"
#include "trace.hpp"
#include "tracestore.hpp"
#include "veldra.hpp"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <exception>
#include <limits>
#include <string>

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

using detail::counttext;
using detail::stored;

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
    const stored count =
        storewithin(detail::trace::lostlines, counttext(bounds.lost).view());
    if (count != stored::yes) {
      return count;
    }
    bounds.lost = 0;
  }
  return storewithin(message, tail);
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

} // namespace

namespace detail {

void logline(std::string_view message) noexcept { appendline(message, {}); }

void logline(std::string_view message, std::uint64_t number) noexcept {
  appendline(message, counttext(number).view());
}

std::stringbuf& tracetext() noexcept { return tracebuffer(); }

stored storereportline(std::string_view message,
                       std::string_view tail) noexcept {
  refreshprefix();
  return storebounded(message, tail);
}

std::string_view lineprefixnow() noexcept {
  formatprefix(std::time(nullptr));
  return {prefix.text, prefix.length};
}

std::uint64_t droppedcount() noexcept { return bounds.dropped; }

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
  detail::logline(detail::trace::firstnumber);
  detail::logline(detail::trace::startsetup);
  init = true;
  detail::logline(detail::trace::settingdumper);
  // A caller that cleared `init` must not make the report hand over to
  // itself.
  const terminate_handler previous = std::set_terminate(logdumper);
  if (previous != logdumper) {
    oldtermfunc = previous;
  }
  detail::logline(detail::trace::setupdone);
}
} // namespace VELDRA
