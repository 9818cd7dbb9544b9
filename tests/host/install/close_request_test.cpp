#include <gtest/gtest.h>

#include <string>

#include "install/close_request.h"
#include "platform/headless/headless.h"

namespace brevaro::install {

namespace headless = platform::headless;
namespace {

constexpr const char* kDir = "C:\\Program Files\\brevaro\\";

std::string at(const char* name) { return std::string(kDir) + name; }

TEST(CloseRequest, AnsweringSideActsOnceAndWritesItsLine) {
  headless::MemoryFileSystem fs;
  fs.put(at("brevaro.exe"), "MZ");
  EXPECT_FALSE(answer_close_request(fs, kDir, kClientMarkers));
  EXPECT_FALSE(fs.file_exists(at("BVClosed.dat")));

  fs.put(at("Close.dat"), "Close Now.\r\n");
  EXPECT_TRUE(answer_close_request(fs, kDir, kClientMarkers));
  EXPECT_FALSE(fs.file_exists(at("Close.dat")));
  EXPECT_EQ(fs.read_file(at("BVClosed.dat")), "BVClosed.\r\n");
  EXPECT_FALSE(answer_close_request(fs, kDir, kClientMarkers));  // the request is gone: acted on once

  fs.put(at("TClose.dat"), "x");
  EXPECT_FALSE(answer_close_request(fs, kDir, kClientMarkers));  // not the client's request
  EXPECT_TRUE(answer_close_request(fs, kDir, kTrayMarkers));
  EXPECT_EQ(fs.read_file(at("TClosed.dat")), "TrayClosed.\r\n");
}

TEST(CloseRequest, AnsweringSideClosesEvenWhenTheFilesResist) {
  struct Case {
    const char* what;
    void (*arrange)(headless::MemoryFileSystem&);
    bool answer_written;
  } cases[] = {
      {"locked request", [](headless::MemoryFileSystem& fs) { fs.set_in_use(at("Close.dat"), true); }, true},
      {"answer in use",
       [](headless::MemoryFileSystem& fs) {
         fs.put(at("BVClosed.dat"), "old");
         fs.set_in_use(at("BVClosed.dat"), true);
       },
       false},
      {"read-only folder",
       [](headless::MemoryFileSystem& fs) { fs.set_read_only_folder("C:\\Program Files\\brevaro", true); }, false},
  };
  for (const auto& c : cases) {
    headless::MemoryFileSystem fs;
    fs.put(at("Close.dat"), "Close Now.\r\n");
    c.arrange(fs);
    EXPECT_TRUE(answer_close_request(fs, kDir, kClientMarkers)) << c.what;
    EXPECT_EQ(fs.read_file(at("BVClosed.dat")) == "BVClosed.\r\n", c.answer_written) << c.what;
  }
  // A folder named like the request is no request.
  headless::MemoryFileSystem fs;
  fs.create_directory("C:\\Program Files");
  fs.create_directory("C:\\Program Files\\brevaro");
  fs.create_directory(at("Close.dat"));
  EXPECT_FALSE(answer_close_request(fs, kDir, kClientMarkers));
}

struct Asking : ::testing::Test {
  headless::MemoryFileSystem fs;
  headless::VirtualClock clock;
  int pauses = 0;
  int questions = 0;
  std::function<void()> on_pause;
  std::function<bool()> answer = [] { return false; };

  CloseWait wait() {
    return CloseWait{[this] {
                       ++pauses;
                       clock.advance(kCloseRetryMs);
                       if (on_pause) on_pause();
                     },
                     [this] { return clock.ticks_ms(); },
                     [this] {
                       ++questions;
                       return answer();
                     }};
  }
};

TEST_F(Asking, ProgramNotRunningLosesItsExecutableAtTheFirstTry) {
  fs.put(at("Tray.exe"), "MZ");
  fs.put(at("TClosed.dat"), "TrayClosed.\r\n");
  EXPECT_EQ(ask_to_close(fs, kDir, kTrayMarkers, wait()), CloseOutcome::closed);
  EXPECT_FALSE(fs.file_exists(at("Tray.exe")));
  EXPECT_FALSE(fs.file_exists(at("TClosed.dat")));              // the stale answer went first
  EXPECT_EQ(fs.read_file(at("TClose.dat")), "Close Now.\r\n");  // stays for the later removal steps
  EXPECT_EQ(pauses, 0);
}

TEST_F(Asking, WaitsUntilTheProgramAnswersAndExits) {
  fs.put(at("brevaro.exe"), "MZ");
  fs.set_running(at("brevaro.exe"), true);
  // The client sees the request on its third look and exits.
  on_pause = [this] {
    if (pauses == 3 && answer_close_request(fs, kDir, kClientMarkers)) fs.set_running(at("brevaro.exe"), false);
  };
  EXPECT_EQ(ask_to_close(fs, kDir, kClientMarkers, wait()), CloseOutcome::closed);
  EXPECT_EQ(pauses, 3);
  EXPECT_FALSE(fs.file_exists(at("brevaro.exe")));
  EXPECT_EQ(fs.read_file(at("BVClosed.dat")), "BVClosed.\r\n");
  EXPECT_EQ(questions, 0);
}

TEST_F(Asking, ProgramThatNeverExitsBringsTheQuestionEveryThirtySeconds) {
  fs.put(at("brevaro.exe"), "MZ");
  fs.set_running(at("brevaro.exe"), true);
  int asked = 0;
  answer = [&] { return ++asked < 2; };  // "keep waiting" once, then give up
  EXPECT_EQ(ask_to_close(fs, kDir, kClientMarkers, wait()), CloseOutcome::gave_up);
  EXPECT_EQ(questions, 2);
  EXPECT_EQ(clock.ticks_ms(), 60000u);
  EXPECT_TRUE(fs.file_exists(at("brevaro.exe")));
}

TEST_F(Asking, ARequestThatCannotBeWrittenStopsAtOnceAndGivingUpTakesItBack) {
  // A folder in the way of the request: the step ends with the system's
  // reason before the executable is touched.
  fs.put(at("brevaro.exe"), "MZ");
  fs.create_directory(at("Close.dat"));
  EXPECT_THROW(ask_to_close(fs, kDir, kClientMarkers, wait()), platform::FileError);
  EXPECT_TRUE(fs.file_exists(at("brevaro.exe")));
  EXPECT_EQ(pauses, 0);

  // A read-only program folder: the same.
  headless::MemoryFileSystem ro;
  ro.put(at("Tray.exe"), "MZ");
  ro.set_read_only_folder("C:\\Program Files\\brevaro", true);
  EXPECT_THROW(ask_to_close(ro, kDir, kTrayMarkers, wait()), platform::FileError);
  EXPECT_TRUE(ro.file_exists(at("Tray.exe")));

  // Giving up removes the request again, so the next start is not closed by it.
  headless::MemoryFileSystem busy;
  busy.put(at("brevaro.exe"), "MZ");
  busy.set_running(at("brevaro.exe"), true);
  EXPECT_EQ(ask_to_close(busy, kDir, kClientMarkers, wait()), CloseOutcome::gave_up);
  EXPECT_FALSE(busy.file_exists(at("Close.dat")));
  EXPECT_TRUE(busy.file_exists(at("brevaro.exe")));
}

TEST_F(Asking, ClosingProgramsAsksOnlyThoseNamedAndStopsAtTheFirstThatStays) {
  fs.put(at("Tray.exe"), "MZ");
  fs.put(at("brevaro.exe"), "MZ");
  fs.set_running(at("Tray.exe"), true);
  EXPECT_EQ(close_programs(fs, kDir, wait(), wait()), CloseResult::tray_running);
  EXPECT_FALSE(fs.file_exists(at("Close.dat")));  // the client was never asked
  EXPECT_TRUE(fs.file_exists(at("brevaro.exe")));

  EXPECT_EQ(close_programs(fs, kDir, wait(), wait(), ClosePrograms{false, true}), CloseResult::closed);
  EXPECT_FALSE(fs.file_exists(at("brevaro.exe")));
  EXPECT_TRUE(fs.file_exists(at("Tray.exe")));
}

TEST(CloseRequestWatch, ARequestLeftOverThatCannotBeDeletedDoesNotCloseEveryStart) {
  struct Case {
    const char* what;
    bool deletable;
    bool closes_at_first_look;
  } cases[] = {{"a request written before the start", true, true}, {"a locked request left over", false, false}};
  for (const auto& c : cases) {
    headless::MemoryFileSystem fs;
    fs.put(at("Close.dat"), "Close Now.\r\n");
    if (!c.deletable) fs.set_in_use(at("Close.dat"), true);
    CloseRequestWatch watch(fs, kDir, kClientMarkers);
    EXPECT_EQ(watch.poll(), c.closes_at_first_look) << c.what;
    EXPECT_FALSE(watch.poll()) << c.what;
    if (!c.deletable) {
      // Once the stale file has gone, a new request is answered as usual.
      fs.set_in_use(at("Close.dat"), false);
      fs.delete_file(at("Close.dat"));
      EXPECT_FALSE(watch.poll()) << c.what;
      fs.put(at("Close.dat"), "Close Now.\r\n");
      EXPECT_TRUE(watch.poll()) << c.what;
      EXPECT_EQ(fs.read_file(at("BVClosed.dat")), "BVClosed.\r\n");
    }
  }
}

}  // namespace
}  // namespace brevaro::install
