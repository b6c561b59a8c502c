// The trace: the line format, and the set-up the first number runs once; what
// depends on process state runs in a forked child, never in this process.
#include "support/childprocess.hpp"
#include "support/tracecapture.hpp"

#include "veldra.hpp"

#include <algorithm>
#include <ctime>
#include <exception>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace veldratest;

// The C standard's ctime layout, which the trace keeps everywhere: Windows'
// ctime writes the day of the month with a leading zero, not a space.
std::string ctimetext(std::time_t when) {
  std::string text = std::ctime(&when);
  text.pop_back();
  if (text[8] == '0') {
    text[8] = ' ';
  }
  return text;
}

TEST(TraceLine, HasPrefixTimeAndTheMessageAsItIsBeforeSetup) {
  tracecapture capture;
  const std::time_t before = std::time(nullptr);
  VELDRA::log("tab\there ]: [brackets] \\ 100%");
  VELDRA::log("");
  const std::time_t after = std::time(nullptr);

  const std::string trace = VELDRA::logstream.str();
  ASSERT_EQ(capture.lines(), (lines{"tab\there ]: [brackets] \\ 100%", ""}));
  const std::string stamp = trace.substr(8, 24);
  EXPECT_TRUE(stamp == ctimetext(before) || stamp == ctimetext(after)) << stamp;
  EXPECT_EQ(trace.back(), '\n');
  EXPECT_FALSE(VELDRA::init) << "log must not run the set-up";
}

// Short lines are assembled in one piece and long ones written in parts; both
// must read back whole, on either side of the boundary.
TEST(TraceLine, KeepsMessagesOfAnyLengthWhole) {
  tracecapture capture;
  std::vector<std::string> sent;
  for (const std::size_t length : {219, 220, 221, 5000}) {
    sent.emplace_back(length, static_cast<char>('a' + sent.size()));
    VELDRA::log(sent.back());
  }
  EXPECT_EQ(capture.lines(), sent);
}

// A line flushes the trace as any output stream is flushed: a stream tied to
// it is flushed first.
TEST(TraceLine, FlushesTheStreamTiedToTheTrace) {
  struct countingbuffer : std::stringbuf {
    int syncs = 0;
    int sync() override {
      ++syncs;
      return 0;
    }
  };
  tracecapture capture;
  countingbuffer buffer;
  std::ostream tied(&buffer);
  std::ostream* const previous = VELDRA::logstream.tie(&tied);
  VELDRA::log("one");
  VELDRA::log("two");
  VELDRA::logstream.tie(previous);
  EXPECT_EQ(buffer.syncs, 2);
}

void previoushandler() { std::abort(); }

TEST(Setup, RunsOnceBeforeTheFirstNumbersOwnLines) {
  const childrun run = runinchild([] {
    std::set_terminate(previoushandler);
    { VELDRA::fixedint first(3); }
    { VELDRA::fixedint second(2, 7); }
    std::cout << VELDRA::logstream.str() << std::flush;
  });
  ASSERT_TRUE(run.exitedwith(0));
  EXPECT_EQ(messages(run.output),
            concat({setuplines(), creationlines(3), numbersgone(),
                    creationlines(2), numbersgone()}));
}

TEST(Setup, InstallsTheReportAndKeepsThePreviousHandler) {
  const childrun run = runinchild([] {
    std::set_terminate(previoushandler);
    VELDRA::fixedint number(1);
    const bool installed = std::get_terminate() == VELDRA::logdumper;
    const bool kept = VELDRA::oldtermfunc == previoushandler;
    // Even a forced second set-up must not save the report as its own
    // predecessor.
    VELDRA::init = false;
    VELDRA::setup();
    const bool stillkept = VELDRA::oldtermfunc == previoushandler;
    std::cout << installed << kept << stillkept << VELDRA::init;
  });
  ASSERT_TRUE(run.exitedwith(0));
  EXPECT_EQ(run.output, "1111");
}

} // namespace

// With a capacity the trace keeps the newest whole lines, in order: never
// more than the capacity and, once it has dropped some, at least a quarter
// of it.  A line longer than the capacity is dropped itself.
TEST(TraceCapacity, KeepsTheNewestWholeLinesWithinIt) {
  for (const std::size_t capacity : {100, 1000, 4096}) {
    SCOPED_TRACE(capacity);
    tracecapture capture;
    VELDRA::setlogcapacity(capacity);
    lines sent;
    std::size_t written = 0;
    for (int i = 0; i < 300 && !HasFailure(); ++i) {
      sent.push_back(std::to_string(i) + std::string(i % 37, 'x'));
      VELDRA::log(sent.back());
      written += prefixlength + sent.back().size() + 1;
      const std::string trace = VELDRA::logstream.str();
      const lines kept = capture.lines();
      EXPECT_LE(trace.size(), capacity);
      EXPECT_GE(trace.size(), std::min(written, capacity / 4));
      EXPECT_EQ(kept, lines(sent.end() - kept.size(), sent.end()));
    }
    const std::string before = VELDRA::logstream.str();
    VELDRA::log(std::string(capacity, 'y'));
    EXPECT_EQ(VELDRA::logstream.str(), before);
    // A line holding the quarter's mark that would keep too much goes too.
    VELDRA::log(std::string(capacity - 100, 'z'));
    VELDRA::log(std::string(40, 'w'));
    EXPECT_EQ(capture.lines(), lines{std::string(40, 'w')});
  }
  VELDRA::setlogcapacity(30); // below any line: the trace goes down to it
  VELDRA::log("dropped");
  EXPECT_EQ(VELDRA::logstream.str(), "");
  VELDRA::setlogcapacity(0);
}
