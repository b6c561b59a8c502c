// The trace line format, the once-only set-up and the crash report on the
// ordinary paths.  Anything that depends on process state runs in a forked
// child; this process itself never makes a number.
#include "support/childprocess.hpp"
#include "support/tracecapture.hpp"

#include "veldra.hpp"

#include <csignal>
#include <ctime>
#include <exception>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

using namespace veldratest;
using lines = std::vector<std::string>;

std::string ctimetext(std::time_t when) {
  std::string text = std::ctime(&when);
  text.pop_back();
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
            concat({setuplines(), creationlines(3), deletions(1),
                    creationlines(2), deletions(1)}));
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

TEST(CrashReport, TerminateWithoutExceptionWritesThirteenLines) {
  const childrun run = runinchild([] {
    VELDRA::fixedint number(3);
    std::terminate();
  });
  EXPECT_TRUE(run.abortedbysignal(SIGABRT));
  const std::string report = run.report();
  EXPECT_EQ(messages(report), concat({setuplines(), creationlines(3),
                                      closinglines("UNKNOWN", "UNKNOWN")}));
  EXPECT_EQ(report.back(), '\n');
}

// An exception leaving a noexcept function reaches terminate while still in
// flight, as an uncaught one does at the top of main.
void makeoversized() noexcept { VELDRA::fixedint number(3, 1234); }

TEST(CrashReport, NamesAnUncaughtModuleException) {
  const childrun run = runinchild([] { makeoversized(); });
  EXPECT_TRUE(run.abortedbysignal(SIGABRT));
  EXPECT_EQ(messages(run.report()),
            concat({setuplines(), creationlines(3),
                    closinglines("St12out_of_range",
                                 "Input int bigger than size!")}));
}

TEST(CrashReport, ReplacesAnEarlierReport) {
  const childrun run = runinchild([] {
    std::ofstream("logs/veldra.log") << std::string(10000, 'x') << '\n';
    VELDRA::fixedint number(1);
    std::terminate();
  });
  EXPECT_TRUE(run.abortedbysignal(SIGABRT));
  const std::string report = run.report();
  EXPECT_EQ(report.find('x' + std::string(9, 'x')), std::string::npos);
  EXPECT_EQ(messages(report).size(), setuplines().size() + 3 + 6);
}

// No report without a logs/ directory, without a number made (nothing
// installed the handler), or on a normal exit.
TEST(CrashReport, NotWrittenWithoutLogsANumberOrATerminate) {
  const childrun nologs = runinchild(
      [] {
        VELDRA::fixedint number(1);
        std::cout << "made" << std::flush;
        std::terminate();
      },
      /*withlogs=*/false);
  EXPECT_TRUE(nologs.abortedbysignal(SIGABRT));
  EXPECT_EQ(nologs.output, "made");
  EXPECT_FALSE(nologs.hasreport());
  const childrun nonumber = runinchild([] {
    VELDRA::log("a line, but no number");
    std::terminate();
  });
  EXPECT_TRUE(nonumber.abortedbysignal(SIGABRT));
  EXPECT_FALSE(nonumber.hasreport());
  const childrun normal = runinchild([] { VELDRA::fixedint number(4, 42); });
  EXPECT_TRUE(normal.exitedwith(0));
  EXPECT_FALSE(normal.hasreport());
}

} // namespace
